#pragma once
// The editor's load and store of one field, done with the field's encoding
// alone, and what a reload must show afterwards. The parameter file target
// runs every field through it; the editor target compares the settings
// window with it.

#include "params/EEAddr.h"
#include "params/Encodings.h"
#include "params/ParameterImage.h"

#include <QString>
#include <QStringList>

#include <algorithm>
#include <array>

namespace FieldRoundTrip {

using EEAddr::Encoding;
using EEAddr::Field;
namespace E = Encodings;

// The digits a reload shows after storing these cells: gaps closed up.
template <std::size_t N>
inline E::DigitCells<N> closedUp(const E::DigitCells<N> &cells)
{
    E::DigitCells<N> closed{};
    std::size_t n = 0;
    for (const std::optional<char> &d : cells)
        if (d)
            closed[n++] = d;
    return closed;
}

// What a reload shows after a store equals what the load showed, but for the
// clean-ups the store makes.
inline bool reloadShowsTheSame(const Field &f, const ImageBytes &loaded, const ImageBytes &stored)
{
    const auto before = fieldBytes(loaded, f);
    const auto after = fieldBytes(stored, f);
    switch (f.encoding) {
    case Encoding::Digits16:
        return E::Digits16::Read(after) == closedUp(E::Digits16::Read(before));
    case Encoding::Digits8:
        return E::Digits8::Read(after) == closedUp(E::Digits8::Read(before));
    case Encoding::EventCode: {
        // A code with a blank is no code.
        const QString symbols = E::EventCode::Read(before);
        return E::EventCode::Read(after) == (symbols.contains(u' ') ? QStringLiteral("    ") : symbols);
    }
    case Encoding::SmsText:
        return E::SmsText::Read(after) == E::SmsText::Read(before).replace(QChar(0x0170), QChar(0x00DC)); // Ű as Ü
    case Encoding::GprsText:
        return E::GprsText::Read(after) == E::GprsText::Read(before).remove(u' ').remove(u'"');
    case Encoding::FlagByte:
        return E::FlagByte::Read(after, f.flagRead) == E::FlagByte::Read(before, f.flagRead);
    case Encoding::FlagBits:
        return E::FlagBits::Read(after) == E::FlagBits::Read(before);
    case Encoding::Word16BE:
    case Encoding::IPv4Address:
    case Encoding::ByteValue:
        return std::equal(before.begin(), before.end(), after.begin(), after.end());
    case Encoding::ReservedZero:
        return std::all_of(after.begin(), after.end(), [](std::uint8_t b) { return b == 0; });
    }
    return false;
}

// Reads the field from `from` as the editor's load does and writes it into
// `to` as its store does.
inline void loadAndStore(const Field &f, const ImageBytes &from, ImageBytes &to)
{
    const auto in = fieldBytes(from, f);
    const auto out = fieldBytes(to, f);
    switch (f.encoding) {
    case Encoding::Digits16:
        E::Digits16::Write(out, E::digitsOf(E::Digits16::Read(in)));
        break;
    case Encoding::Digits8:
        E::Digits8::Write(out, E::digitsOf(E::Digits8::Read(in)));
        break;
    case Encoding::EventCode: {
        // One grid cell per symbol, blanks included.
        QStringList cells;
        cells.reserve(EEAddr::EventCodeCells);
        for (QChar symbol : E::EventCode::Read(in))
            cells.append(QString(symbol));
        E::EventCode::writeCells(out, cells);
        break;
    }
    case Encoding::SmsText:
        E::SmsText::Write(out, E::SmsText::Read(in));
        break;
    case Encoding::GprsText:
        E::GprsText::Write(out, E::GprsText::Read(in));
        break;
    case Encoding::Word16BE:
        E::Word16BE::Write(out, E::Word16BE::Read(in));
        break;
    case Encoding::IPv4Address:
        E::IPv4Address::Write(out, E::IPv4Address::Read(in));
        break;
    case Encoding::FlagByte:
        E::FlagByte::Write(out, E::FlagByte::Read(in, f.flagRead));
        break;
    case Encoding::FlagBits:
        E::FlagBits::Write(out, E::FlagBits::Read(in));
        break;
    case Encoding::ByteValue:
        E::ByteValue::Write(out, E::ByteValue::Read(in));
        break;
    case Encoding::ReservedZero:
        E::ReservedZero::Write(out);
        break;
    }
}

inline ImageBytes loadAndStoreAll(const ImageBytes &image)
{
    ImageBytes stored = image;
    for (const Field &f : EEAddr::Fields)
        loadAndStore(f, image, stored);
    return stored;
}

// True when every byte that no field covers is the same in both images.
inline bool onlyFieldsDiffer(const ImageBytes &a, const ImageBytes &b)
{
    static const auto covered = [] {
        std::array<bool, EEAddr::ImageSize> mask{};
        for (const Field &f : EEAddr::Fields)
            std::fill_n(mask.begin() + f.offset, f.length, true);
        return mask;
    }();
    for (std::size_t i = 0; i < a.size(); ++i)
        if (!covered[i] && a[i] != b[i])
            return false;
    return true;
}

} // namespace FieldRoundTrip
