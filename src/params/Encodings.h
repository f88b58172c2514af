#pragma once
// How each kind of parameter field is stored in the image, both ways. Every
// function works on the bytes of one field (the whole field, length byte
// included). Reading accepts any byte pattern; writing accepts any value and
// drops what does not fit, and always rewrites every byte of the field.

#include "EEAddr.h"

#include <QString>
#include <QStringList>
#include <QStringView>

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace Encodings {

using Bytes = std::span<const std::uint8_t>;
using MutableBytes = std::span<std::uint8_t>;

// One digit per position; an empty position is std::nullopt.
template <std::size_t N>
using DigitCells = std::array<std::optional<char>, N>;

// The digits of the cells from left to right, gaps closed up.
template <std::size_t N>
QString digitsOf(const DigitCells<N> &cells)
{
    QString digits;
    for (const std::optional<char> &d : cells)
        if (d)
            digits.append(QLatin1Char(*d));
    return digits;
}

// A grid cell whose text begins with 0-9 gives that digit; other cells give nothing.
QString digitsFromCells(const QStringList &cells);

// Telephone number: length byte, then 16 ASCII digits.
namespace Digits16 {
DigitCells<EEAddr::Digits16Cells> Read(Bytes field);
// Non-digits are skipped, digits beyond 16 dropped. No digit at all is length 0xFF.
void Write(MutableBytes field, QStringView digits);
} // namespace Digits16

// Prefix: as Digits16 with 8 digits, but no number is length 0x00.
namespace Digits8 {
DigitCells<EEAddr::Digits8Cells> Read(Bytes field);
void Write(MutableBytes field, QStringView digits);
} // namespace Digits8

// Four nibble symbols: 0-9, and * as 0xA.
namespace EventCode {
// Four characters: the digit, '*', or ' ' for 0xB-0xF (so 0xFF 0xFF is four blanks).
QString Read(Bytes field);
// Exactly four symbols, each 0-9 or *, make the code; anything else is 0xFF 0xFF.
void Write(MutableBytes field, QStringView symbols);
// The cells from left to right: one beginning with 0-9 or * gives that symbol,
// any other gives nothing; the symbols then go to Write.
void writeCells(MutableBytes field, const QStringList &cells);
} // namespace EventCode

// SMS text: length byte, 40 Windows-1250 characters padded with blanks.
namespace SmsText {
// Empty if the length is above 40; 0x00 and 0xFF skipped; trailing blanks removed.
QString Read(Bytes field);
// At most 40 characters, Ű stored as Ü; blanks at the end count in the length.
void Write(MutableBytes field, QStringView text);
} // namespace SmsText

// GPRS text: length byte, then the field's capacity (its size less one) in characters.
namespace GprsText {
// Empty if the length is above the capacity; 0x00 and 0xFF skipped; no trimming.
QString Read(Bytes field);
// Blanks and double quotes removed, then the first capacity characters.
void Write(MutableBytes field, QStringView text);
} // namespace GprsText

namespace Word16BE {
std::uint16_t Read(Bytes field);
void Write(MutableBytes field, std::uint16_t value);
} // namespace Word16BE

// a.b.c.d stored as a, b, c, d.
namespace IPv4Address {
using Octets = std::array<std::uint8_t, 4>;
Octets Read(Bytes field);
void Write(MutableBytes field, const Octets &octets);
} // namespace IPv4Address

namespace FlagByte {
bool Read(Bytes field, EEAddr::FlagRead rule);
void Write(MutableBytes field, bool on); // 1 or 0
} // namespace FlagByte

// Two flags in bits 0 and 1 of one byte; the other bits are ignored and written 0.
namespace FlagBits {
struct Flags
{
    bool bit0 = false;
    bool bit1 = false;
    friend bool operator==(const Flags &, const Flags &) = default;
};
Flags Read(Bytes field);
void Write(MutableBytes field, Flags flags);
} // namespace FlagBits

namespace ByteValue {
std::uint8_t Read(Bytes field);
void Write(MutableBytes field, std::uint8_t value);
} // namespace ByteValue

namespace ReservedZero {
void Write(MutableBytes field);
} // namespace ReservedZero

} // namespace Encodings
