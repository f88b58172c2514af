#include "Encodings.h"

#include "common/Windows1250.h"

#include <QByteArray>

#include <algorithm>

namespace Encodings {

namespace {

constexpr std::uint8_t Blank = 0x20;
constexpr std::uint8_t NoCode = 0xFF;
constexpr std::uint8_t SymbolStar = 0xA;
constexpr unsigned char CapitalUDoubleAcute = 0xDB; // Ű
constexpr unsigned char CapitalUDiaeresis = 0xDC;   // Ü

template <typename Span>
void expectSize(const Span &field, std::size_t size)
{
    Q_ASSERT_X(field.size() == size, "Encodings", "field of the wrong size");
    Q_UNUSED(field);
    Q_UNUSED(size);
}

bool isDigit(QChar ch)
{
    return ch >= QLatin1Char('0') && ch <= QLatin1Char('9');
}

template <std::size_t N>
DigitCells<N> readDigits(Bytes field)
{
    expectSize(field, 1 + N);
    DigitCells<N> cells{};
    const std::size_t length = field[0];
    if (length > N)
        return cells;
    for (std::size_t p = 0; p < length; ++p) {
        const std::uint8_t b = field[1 + p];
        if (b >= '0' && b <= '9')
            cells[p] = static_cast<char>(b);
    }
    return cells;
}

template <std::size_t N>
void writeDigits(MutableBytes field, QStringView text, std::uint8_t noNumberLength)
{
    expectSize(field, 1 + N);
    std::fill(field.begin(), field.end(), std::uint8_t{0});
    std::size_t n = 0;
    for (QChar ch : text) {
        if (n == N)
            break;
        if (isDigit(ch))
            field[1 + n++] = static_cast<std::uint8_t>(ch.unicode());
    }
    field[0] = n == 0 ? noNumberLength : static_cast<std::uint8_t>(n);
}

// One byte per character, at most maxChars of them. A character outside the
// basic plane arrives as a surrogate pair but must still take one byte.
template <typename Drop>
QByteArray toCodePage(QStringView text, qsizetype maxChars, Drop drop)
{
    QByteArray bytes;
    for (qsizetype i = 0; i < text.size() && bytes.size() < maxChars; ++i) {
        const QChar ch = text[i];
        if (ch.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            ++i;
            bytes.append(Windows1250::Unmappable);
            continue;
        }
        if (!drop(ch))
            bytes.append(Windows1250::fromChar(ch));
    }
    return bytes;
}

// Length byte, the bytes, blanks up to the capacity.
void WriteText(MutableBytes field, const QByteArray &bytes)
{
    std::fill(field.begin(), field.end(), Blank);
    field[0] = static_cast<std::uint8_t>(bytes.size());
    std::copy(bytes.begin(), bytes.end(), field.begin() + 1);
}

// The first L characters, 0x00 and 0xFF skipped; empty if L is above the capacity.
QString readText(Bytes field)
{
    const std::size_t capacity = field.size() - 1;
    const std::size_t length = field[0];
    QString text;
    if (length > capacity)
        return text;
    for (std::uint8_t b : field.subspan(1, length))
        if (b != 0x00 && b != 0xFF)
            text.append(Windows1250::toChar(b));
    return text;
}

std::optional<std::uint8_t> symbolOf(QChar ch)
{
    if (isDigit(ch))
        return static_cast<std::uint8_t>(ch.unicode() - '0');
    if (ch == QLatin1Char('*'))
        return SymbolStar;
    return std::nullopt;
}

QChar charOfNibble(std::uint8_t nibble)
{
    if (nibble <= 9)
        return QLatin1Char(static_cast<char>('0' + nibble));
    if (nibble == SymbolStar)
        return QLatin1Char('*');
    return QLatin1Char(' ');
}

} // namespace

QString digitsFromCells(const QStringList &cells)
{
    QString digits;
    for (const QString &cell : cells)
        if (!cell.isEmpty() && isDigit(cell.front()))
            digits.append(cell.front());
    return digits;
}

namespace Digits16 {
DigitCells<EEAddr::Digits16Cells> Read(Bytes field)
{
    return readDigits<EEAddr::Digits16Cells>(field);
}
void Write(MutableBytes field, QStringView digits)
{
    writeDigits<EEAddr::Digits16Cells>(field, digits, 0xFF);
}
} // namespace Digits16

namespace Digits8 {
DigitCells<EEAddr::Digits8Cells> Read(Bytes field)
{
    return readDigits<EEAddr::Digits8Cells>(field);
}
void Write(MutableBytes field, QStringView digits)
{
    writeDigits<EEAddr::Digits8Cells>(field, digits, 0x00);
}
} // namespace Digits8

namespace EventCode {
QString Read(Bytes field)
{
    expectSize(field, EEAddr::EventCodeLength);
    QString symbols;
    for (std::uint8_t b : field) {
        symbols.append(charOfNibble(b >> 4));
        symbols.append(charOfNibble(b & 0x0F));
    }
    return symbols;
}

void Write(MutableBytes field, QStringView symbols)
{
    expectSize(field, EEAddr::EventCodeLength);
    field[0] = field[1] = NoCode;
    if (symbols.size() != EEAddr::EventCodeCells)
        return;
    std::array<std::uint8_t, EEAddr::EventCodeCells> nibbles{};
    for (std::size_t i = 0; i < nibbles.size(); ++i) {
        const std::optional<std::uint8_t> s = symbolOf(symbols[static_cast<qsizetype>(i)]);
        if (!s)
            return;
        nibbles[i] = *s;
    }
    field[0] = static_cast<std::uint8_t>(nibbles[0] << 4 | nibbles[1]);
    field[1] = static_cast<std::uint8_t>(nibbles[2] << 4 | nibbles[3]);
}

void writeCells(MutableBytes field, const QStringList &cells)
{
    QString symbols;
    for (const QString &cell : cells)
        if (!cell.isEmpty() && symbolOf(cell.front()))
            symbols.append(cell.front());
    Write(field, symbols);
}
} // namespace EventCode

namespace SmsText {
QString Read(Bytes field)
{
    expectSize(field, EEAddr::SmsTextLength);
    QString text = readText(field);
    qsizetype end = text.size();
    while (end > 0 && text[end - 1] == QLatin1Char(' '))
        --end;
    text.truncate(end);
    return text;
}

void Write(MutableBytes field, QStringView text)
{
    expectSize(field, EEAddr::SmsTextLength);
    QByteArray bytes = toCodePage(text, EEAddr::SmsCapacity, [](QChar) { return false; });
    // Ű is stored as Ü; ű and every other byte go unchanged.
    std::replace(bytes.begin(), bytes.end(), static_cast<char>(CapitalUDoubleAcute),
                 static_cast<char>(CapitalUDiaeresis));
    WriteText(field, bytes);
}
} // namespace SmsText

namespace GprsText {
QString Read(Bytes field)
{
    Q_ASSERT(!field.empty());
    return readText(field);
}

void Write(MutableBytes field, QStringView text)
{
    Q_ASSERT(!field.empty());
    const qsizetype capacity = static_cast<qsizetype>(field.size()) - 1;
    const QByteArray bytes = toCodePage(text, capacity, [](QChar ch) {
        return ch == QLatin1Char(' ') || ch == QLatin1Char('"');
    });
    WriteText(field, bytes);
}
} // namespace GprsText

namespace Word16BE {
std::uint16_t Read(Bytes field)
{
    expectSize(field, EEAddr::Word16Length);
    return static_cast<std::uint16_t>(field[0] << 8 | field[1]);
}
void Write(MutableBytes field, std::uint16_t value)
{
    expectSize(field, EEAddr::Word16Length);
    field[0] = static_cast<std::uint8_t>(value >> 8);
    field[1] = static_cast<std::uint8_t>(value & 0xFF);
}
} // namespace Word16BE

namespace IPv4Address {
Octets Read(Bytes field)
{
    expectSize(field, EEAddr::IPv4Length);
    Octets octets{};
    std::copy(field.begin(), field.end(), octets.begin());
    return octets;
}
void Write(MutableBytes field, const Octets &octets)
{
    expectSize(field, EEAddr::IPv4Length);
    std::copy(octets.begin(), octets.end(), field.begin());
}
} // namespace IPv4Address

namespace FlagByte {
bool Read(Bytes field, EEAddr::FlagRead rule)
{
    expectSize(field, EEAddr::FlagLength);
    return rule == EEAddr::FlagRead::NonZero ? field[0] != 0 : field[0] == 1;
}
void Write(MutableBytes field, bool on)
{
    expectSize(field, EEAddr::FlagLength);
    field[0] = on ? 1 : 0;
}
} // namespace FlagByte

namespace FlagBits {
Flags Read(Bytes field)
{
    expectSize(field, EEAddr::FlagLength);
    return {(field[0] & 0x01) != 0, (field[0] & 0x02) != 0};
}
void Write(MutableBytes field, Flags flags)
{
    expectSize(field, EEAddr::FlagLength);
    field[0] = static_cast<std::uint8_t>((flags.bit0 ? 0x01 : 0) | (flags.bit1 ? 0x02 : 0));
}
} // namespace FlagBits

namespace ByteValue {
std::uint8_t Read(Bytes field)
{
    expectSize(field, EEAddr::ByteValueLength);
    return field[0];
}
void Write(MutableBytes field, std::uint8_t value)
{
    expectSize(field, EEAddr::ByteValueLength);
    field[0] = value;
}
} // namespace ByteValue

namespace ReservedZero {
void Write(MutableBytes field)
{
    expectSize(field, EEAddr::ReservedLength);
    std::fill(field.begin(), field.end(), std::uint8_t{0});
}
} // namespace ReservedZero

} // namespace Encodings
