#pragma once
// One typed value per parameter field, read from and written to the image by
// the field's row in EEAddr::Fields. Everything that shows, edits, compares
// or exports fields goes through here, so a field is described only once.

#include "EEAddr.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringView>

#include <array>
#include <cstdint>
#include <span>
#include <variant>

namespace FieldModel {

using Octets = std::array<std::uint8_t, 4>;

// QString: Digits16, Digits8 (a digit or a blank per position, trailing blanks
//          trimmed; "" is no number), EventCode ("" is no code, else four
//          positions: digit, '*' or ' '), SmsText, GprsText
// int:     ByteValue (0..255), Word16BE (0..65535 as stored), FlagBits (bit0 + 2*bit1)
// bool:    FlagByte, read by the field's FlagRead rule
// Octets:  IPv4Address
using FieldValue = std::variant<QString, int, bool, Octets>;

// The 60 named fields in image order; the reserved rows are not among them.
std::span<const EEAddr::Field> namedFields();
// A named field by its layout name, or nullptr.
const EEAddr::Field *findField(QStringView name);
QString pageCaption(EEAddr::Page page);
QString labelOf(const EEAddr::Field &f);
QString nameOf(const EEAddr::Field &f);

FieldValue Decode(std::span<const std::uint8_t> image, const EEAddr::Field &field);
// Exactly field.length bytes, as the editor's store writes them. A value of
// the wrong kind is written as the kind's empty value; validate() names it.
QByteArray Encode(const EEAddr::Field &field, const FieldValue &value);
void store(std::span<std::uint8_t> image, const EEAddr::Field &field, const FieldValue &value);

// Empty when the value is acceptable for the field, else "NAME: rule".
QString validate(const EEAddr::Field &field, const FieldValue &value);

// A value from text ("0612345678", "on", "10.0.0.1", "12*4"). Only the form is
// checked here (a number, a flag, four octets); validate() checks the rules,
// so what formatValue() gives always parses back to the same value.
struct Parsed
{
    FieldValue value;
    QString error;
};
Parsed parseValue(const EEAddr::Field &field, const QString &text);
// The value as plain text: digits, the text, "12*4", "255", "on"/"off", "192.168.0.1".
QString formatValue(const FieldValue &value);

// The GPRS password (PWD) is a credential of the customer's SIM contract: it
// is masked wherever people read a parameter set, unless they ask to see it.
// Files (exports, parameter files) keep it as it is.
enum class Secrets { Masked, Shown };
bool isSecret(const EEAddr::Field &field);
// What a masked secret shows: "" when none is set, else "********".
QString maskedValue(const FieldValue &value);
inline constexpr char MaskedText[] = "********";
// A masked secret that differs between two sets that both hold one.
inline constexpr char ChangedText[] = "changed";
// "set" or "not set", as a report says it.
QString secretState(const FieldValue &value);

struct FieldDifference
{
    const EEAddr::Field *field;
    FieldValue a;
    FieldValue b;
    // Stored differently, same value: the bytes differ but read as one value
    // (an erased field against one stored empty, a flag's other true byte).
    bool sameValue() const { return a == b; }
};
struct ByteRange
{
    int first; // inclusive image indexes
    int last;
};
// "bytes 94 to 101", "byte 959"
QString describeRange(ByteRange r);
struct ImageDifferences
{
    QList<FieldDifference> fields; // named fields whose bytes differ, image order
    QList<ByteRange> bytes;        // runs of differing bytes outside every named field
    // Every difference of the bytes, stored differently or not.
    int count() const { return int(fields.size() + bytes.size()); }
    bool isEmpty() const { return count() == 0; }
    // The fields stored differently with the same value.
    int sameValueCount() const;
    // The differences people see: count() without the same-value fields.
    int valueCount() const { return count() - sameValueCount(); }
};
// Only bytes inside `range` are looked at. A field differs when any of its
// bytes differ, even if both decode alike.
ImageDifferences DiffImages(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b,
                            ByteRange range = {0, EEAddr::ImageSize - 1});

} // namespace FieldModel
