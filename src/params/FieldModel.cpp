#include "FieldModel.h"

#include "Encodings.h"
#include "common/Windows1250.h"

#include <algorithm>

namespace FieldModel {

namespace {

using EEAddr::Encoding;
using EEAddr::Field;

constexpr auto NamedTable = [] {
    std::array<Field, EEAddr::NamedFieldCount> named{};
    std::size_t n = 0;
    for (const Field &f : EEAddr::Fields)
        if (f.encoding != Encoding::ReservedZero)
            named[n++] = f;
    return named;
}();

QString FromUtf8(std::string_view s)
{
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// Which alternative of FieldValue the field takes.
enum class Kind { Text, Number, Flag, Address };

Kind kindOf(const Field &f)
{
    switch (f.encoding) {
    case Encoding::Digits16:
    case Encoding::Digits8:
    case Encoding::EventCode:
    case Encoding::SmsText:
    case Encoding::GprsText:
        return Kind::Text;
    case Encoding::FlagByte:
        return Kind::Flag;
    case Encoding::IPv4Address:
        return Kind::Address;
    case Encoding::Word16BE:
    case Encoding::ByteValue:
    case Encoding::FlagBits:
    case Encoding::ReservedZero:
        break;
    }
    return Kind::Number;
}

bool holdsKind(const FieldValue &value, Kind kind)
{
    switch (kind) {
    case Kind::Text:
        return std::holds_alternative<QString>(value);
    case Kind::Number:
        return std::holds_alternative<int>(value);
    case Kind::Flag:
        return std::holds_alternative<bool>(value);
    case Kind::Address:
        break;
    }
    return std::holds_alternative<Octets>(value);
}

QString Expected(Kind kind)
{
    switch (kind) {
    case Kind::Text:
        return QStringLiteral("a text is expected");
    case Kind::Number:
        return QStringLiteral("a number is expected");
    case Kind::Flag:
        return QStringLiteral("on or off is expected");
    case Kind::Address:
        break;
    }
    return QStringLiteral("an IPv4 address is expected");
}

QString Broken(const Field &f, const QString &rule)
{
    return nameOf(f) + QStringLiteral(": ") + rule;
}

template <class T>
T valueOr(const FieldValue &value, T empty)
{
    const T *held = std::get_if<T>(&value);
    return held ? *held : empty;
}

template <std::size_t N>
QString Positions(const Encodings::DigitCells<N> &cells)
{
    QString text;
    for (const std::optional<char> &d : cells)
        text.append(d ? QLatin1Char(*d) : QLatin1Char(' '));
    while (text.endsWith(QLatin1Char(' ')))
        text.chop(1);
    return text;
}

bool isDigit(QChar ch)
{
    return ch >= QLatin1Char('0') && ch <= QLatin1Char('9');
}

QString checkDigits(const Field &f, const QString &digits)
{
    const bool ok = digits.size() <= f.capacity && std::all_of(digits.begin(), digits.end(), isDigit);
    return ok ? QString() : Broken(f, QStringLiteral("digits only, at most %1").arg(f.capacity));
}

QString checkEventCode(const Field &f, const QString &code)
{
    const bool ok = code.isEmpty() || (code.size() == f.capacity && std::all_of(code.begin(), code.end(), [](QChar ch) {
                                           return isDigit(ch) || ch == QLatin1Char('*');
                                       }));
    return ok ? QString() : Broken(f, QStringLiteral("four symbols 0-9 or *"));
}

// A character that has no byte, or whose byte a read skips (0x00, 0xFF), cannot be stored.
bool Storable(QStringView ch)
{
    if (ch.size() != 1)
        return false;
    const char byte = Windows1250::fromChar(ch.front());
    if (byte == Windows1250::Unmappable)
        return ch.front() == QLatin1Char(Windows1250::Unmappable);
    return byte != '\0' && byte != '\xFF';
}

QString checkText(const Field &f, const QString &text)
{
    qsizetype characters = 0;
    for (qsizetype i = 0; i < text.size(); ++i, ++characters) {
        const qsizetype width = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QStringView ch = QStringView(text).mid(i, width);
        if (!Storable(ch))
            return Broken(f, QStringLiteral("'%1' cannot be stored in Windows-1250").arg(ch));
        if (f.encoding == Encoding::GprsText && (ch == u" " || ch == u"\""))
            return Broken(f, QStringLiteral("no blanks or double quotes"));
        i += width - 1;
    }
    if (characters > f.capacity)
        return Broken(f, QStringLiteral("at most %1 characters").arg(f.capacity));
    return {};
}

std::optional<Octets> parseAddress(const QString &text)
{
    const QStringList parts = text.trimmed().split(QLatin1Char('.'));
    if (parts.size() != 4)
        return std::nullopt;
    Octets octets{};
    for (std::size_t i = 0; i < octets.size(); ++i) {
        const QString &part = parts[static_cast<qsizetype>(i)];
        bool ok = false;
        const int v = part.toInt(&ok, 10);
        if (!ok || part.size() > 3 || !std::all_of(part.begin(), part.end(), isDigit) || v > 255)
            return std::nullopt;
        octets[i] = static_cast<std::uint8_t>(v);
    }
    return octets;
}

std::optional<bool> parseFlag(const QString &text)
{
    const QString t = text.trimmed().toLower();
    if (t == u"true" || t == u"1" || t == u"on")
        return true;
    if (t == u"false" || t == u"0" || t == u"off")
        return false;
    return std::nullopt;
}

} // namespace

std::span<const Field> namedFields()
{
    return NamedTable;
}

const Field *findField(QStringView name)
{
    for (const Field &f : NamedTable)
        if (name == QLatin1StringView(f.name.data(), static_cast<qsizetype>(f.name.size())))
            return &f;
    return nullptr;
}

QString pageCaption(EEAddr::Page page)
{
    switch (page) {
    case EEAddr::Page::Phone:
        return QStringLiteral("Phone numbers");
    case EEAddr::Page::Sms:
        return QStringLiteral("SMS settings");
    case EEAddr::Page::CallFilter:
        return QStringLiteral("Call Filter");
    case EEAddr::Page::Output:
        return QStringLiteral("Output Control");
    case EEAddr::Page::Bell103:
        return QStringLiteral("Bell 103");
    case EEAddr::Page::Gprs:
        return QStringLiteral("GPRS");
    case EEAddr::Page::Tell:
        break;
    }
    return QStringLiteral("TELL");
}

QString labelOf(const Field &f)
{
    return FromUtf8(f.label);
}

QString nameOf(const Field &f)
{
    return FromUtf8(f.name);
}

FieldValue Decode(std::span<const std::uint8_t> image, const Field &field)
{
    namespace E = Encodings;
    const auto bytes = image.subspan(static_cast<std::size_t>(field.offset), static_cast<std::size_t>(field.length));
    switch (field.encoding) {
    case Encoding::Digits16:
        return Positions(E::Digits16::Read(bytes));
    case Encoding::Digits8:
        return Positions(E::Digits8::Read(bytes));
    case Encoding::EventCode: {
        const QString symbols = E::EventCode::Read(bytes);
        return symbols.trimmed().isEmpty() ? QString() : symbols;
    }
    case Encoding::SmsText:
        return E::SmsText::Read(bytes);
    case Encoding::GprsText:
        return E::GprsText::Read(bytes);
    case Encoding::Word16BE:
        return int(E::Word16BE::Read(bytes));
    case Encoding::IPv4Address:
        return E::IPv4Address::Read(bytes);
    case Encoding::FlagByte:
        return E::FlagByte::Read(bytes, field.flagRead);
    case Encoding::FlagBits: {
        const E::FlagBits::Flags flags = E::FlagBits::Read(bytes);
        return (flags.bit0 ? 1 : 0) + (flags.bit1 ? 2 : 0);
    }
    case Encoding::ByteValue:
        return int(E::ByteValue::Read(bytes));
    case Encoding::ReservedZero:
        break;
    }
    return 0;
}

QByteArray Encode(const Field &field, const FieldValue &value)
{
    namespace E = Encodings;
    QByteArray out(field.length, '\0');
    const E::MutableBytes bytes(reinterpret_cast<std::uint8_t *>(out.data()), static_cast<std::size_t>(out.size()));
    const QString text = valueOr(value, QString());
    const int number = valueOr(value, 0);
    switch (field.encoding) {
    case Encoding::Digits16:
        E::Digits16::Write(bytes, text);
        break;
    case Encoding::Digits8:
        E::Digits8::Write(bytes, text);
        break;
    case Encoding::EventCode:
        E::EventCode::Write(bytes, text);
        break;
    case Encoding::SmsText:
        E::SmsText::Write(bytes, text);
        break;
    case Encoding::GprsText:
        E::GprsText::Write(bytes, text);
        break;
    case Encoding::Word16BE:
        E::Word16BE::Write(bytes, static_cast<std::uint16_t>(number));
        break;
    case Encoding::IPv4Address:
        E::IPv4Address::Write(bytes, valueOr(value, Octets{}));
        break;
    case Encoding::FlagByte:
        E::FlagByte::Write(bytes, valueOr(value, false));
        break;
    case Encoding::FlagBits:
        E::FlagBits::Write(bytes, {(number & 1) != 0, (number & 2) != 0});
        break;
    case Encoding::ByteValue:
        E::ByteValue::Write(bytes, static_cast<std::uint8_t>(number));
        break;
    case Encoding::ReservedZero:
        E::ReservedZero::Write(bytes);
        break;
    }
    return out;
}

void store(std::span<std::uint8_t> image, const Field &field, const FieldValue &value)
{
    const QByteArray bytes = Encode(field, value);
    std::copy(bytes.begin(), bytes.end(), image.begin() + field.offset);
}

QString validate(const Field &field, const FieldValue &value)
{
    const Kind kind = kindOf(field);
    if (!holdsKind(value, kind))
        return Broken(field, Expected(kind));
    switch (field.encoding) {
    case Encoding::Digits16:
    case Encoding::Digits8:
        return checkDigits(field, std::get<QString>(value));
    case Encoding::EventCode:
        return checkEventCode(field, std::get<QString>(value));
    case Encoding::SmsText:
    case Encoding::GprsText:
        return checkText(field, std::get<QString>(value));
    case Encoding::Word16BE:
    case Encoding::ByteValue:
    case Encoding::FlagBits: {
        const int v = std::get<int>(value);
        if (v < 0 || v > field.maximum)
            return Broken(field, QStringLiteral("0 to %1").arg(field.maximum));
        return {};
    }
    case Encoding::IPv4Address:
    case Encoding::FlagByte:
    case Encoding::ReservedZero:
        break;
    }
    return {};
}

Parsed parseValue(const Field &field, const QString &text)
{
    switch (kindOf(field)) {
    case Kind::Text:
        return {text, {}};
    case Kind::Number: {
        bool ok = false;
        const int v = text.trimmed().toInt(&ok, 10);
        if (ok)
            return {v, {}};
        break;
    }
    case Kind::Flag:
        if (const std::optional<bool> on = parseFlag(text))
            return {*on, {}};
        break;
    case Kind::Address:
        if (const std::optional<Octets> octets = parseAddress(text))
            return {*octets, {}};
        return {Octets{}, Broken(field, QStringLiteral("four octets 0 to 255, as 192.168.0.1"))};
    }
    return {0, Broken(field, Expected(kindOf(field)))};
}

QString formatValue(const FieldValue &value)
{
    if (const auto *text = std::get_if<QString>(&value))
        return *text;
    if (const auto *number = std::get_if<int>(&value))
        return QString::number(*number);
    if (const auto *on = std::get_if<bool>(&value))
        return *on ? QStringLiteral("on") : QStringLiteral("off");
    const Octets &o = std::get<Octets>(value);
    return QStringLiteral("%1.%2.%3.%4").arg(o[0]).arg(o[1]).arg(o[2]).arg(o[3]);
}

bool isSecret(const Field &field)
{
    return field.offset == EEAddr::PWD;
}

QString maskedValue(const FieldValue &value)
{
    const QString *text = std::get_if<QString>(&value);
    return text && text->isEmpty() ? QString() : QString::fromLatin1(MaskedText);
}

QString secretState(const FieldValue &value)
{
    return maskedValue(value).isEmpty() ? QStringLiteral("not set") : QStringLiteral("set");
}

QString describeRange(ByteRange r)
{
    if (r.first == r.last)
        return QStringLiteral("byte %1").arg(r.first);
    return QStringLiteral("bytes %1 to %2").arg(r.first).arg(r.last);
}

int ImageDifferences::sameValueCount() const
{
    return int(std::count_if(fields.begin(), fields.end(), [](const FieldDifference &d) { return d.sameValue(); }));
}

ImageDifferences DiffImages(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b, ByteRange range)
{
    const int first = std::max(range.first, 0);
    const int last = std::min({range.last, int(a.size()) - 1, int(b.size()) - 1});
    const auto differs = [&](int i) { return i >= first && i <= last && a[std::size_t(i)] != b[std::size_t(i)]; };

    ImageDifferences result;
    std::array<bool, EEAddr::ImageSize> covered{};
    for (const Field &f : NamedTable) {
        std::fill_n(covered.begin() + f.offset, f.length, true);
        bool changed = false;
        for (int i = f.offset; i < f.offset + f.length; ++i)
            changed = changed || differs(i);
        if (changed)
            result.fields.append({&f, Decode(a, f), Decode(b, f)});
    }
    for (int i = first; i <= last; ++i) {
        if (!differs(i) || (i < EEAddr::ImageSize && covered[std::size_t(i)]))
            continue;
        if (!result.bytes.isEmpty() && result.bytes.back().last == i - 1)
            result.bytes.back().last = i;
        else
            result.bytes.append({i, i});
    }
    return result;
}

} // namespace FieldModel
