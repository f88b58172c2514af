#include "DifferenceTexts.h"

#include "ParameterExport.h"

#include "common/ShownText.h"

#include <utility>

namespace {

// A masked secret as shown: its mask, or "changed" for the second of two
// values that differ yet mask alike, so that a change never reads as none.
QString maskedText(const FieldModel::FieldDifference &d, bool second)
{
    const QString masked = FieldModel::maskedValue(second ? d.b : d.a);
    const bool changed = second && !d.sameValue() && masked == FieldModel::maskedValue(d.a);
    return changed ? QString::fromLatin1(FieldModel::ChangedText) : masked;
}

bool masks(const EEAddr::Field &f, FieldModel::Secrets secrets)
{
    return secrets == FieldModel::Secrets::Masked && FieldModel::isSecret(f);
}

// An empty text in quotes, so that it shows.
QString shownText(const QString &text)
{
    return text.isEmpty() ? QStringLiteral("\"\"") : text;
}

} // namespace

QString hexBytes(std::span<const std::uint8_t> image, int first, int last)
{
    QString text;
    for (int i = first; i <= last && i < int(image.size()); ++i) {
        if (!text.isEmpty())
            text += QLatin1Char(' ');
        text += QStringLiteral("%1").arg(image[std::size_t(i)], 2, 16, QLatin1Char('0')).toUpper();
    }
    return text;
}

QString shownValue(const EEAddr::Field &f, const FieldModel::FieldValue &value, FieldModel::Secrets secrets)
{
    if (masks(f, secrets))
        return shownText(FieldModel::maskedValue(value));
    const QString *text = std::get_if<QString>(&value);
    if (!text)
        return FieldModel::formatValue(value);
    using E = EEAddr::Encoding;
    if (f.encoding == E::Digits16 || f.encoding == E::Digits8)
        return text->isEmpty() ? QStringLiteral("(none)") : *text;
    if (text->isEmpty() && f.encoding == E::EventCode)
        return QStringLiteral("(none)");
    return ShownText::quoted(*text);
}

QString differenceCountText(const FieldModel::ImageDifferences &differences)
{
    const int values = differences.valueCount();
    const int same = differences.sameValueCount();
    // Only bytes that read as the same values: "0 fields differ" would hide them.
    if (values == 0 && same > 0)
        return same == 1 ? QStringLiteral("1 field stored differently, same value")
                         : QStringLiteral("%1 fields stored differently, same value").arg(same);
    QString text = values == 1 ? QStringLiteral("1 field differs") : QStringLiteral("%1 fields differ").arg(values);
    if (same > 0)
        text += QStringLiteral(" (%1 stored differently)").arg(same);
    return text;
}

QList<DifferenceRow> differenceRows(const FieldModel::ImageDifferences &differences,
                                    std::span<const std::uint8_t> a, std::span<const std::uint8_t> b,
                                    FieldModel::Secrets secrets)
{
    QList<DifferenceRow> rows;
    QList<DifferenceRow> sameValue;
    for (const FieldModel::FieldDifference &d : differences.fields) {
        const EEAddr::Field &f = *d.field;
        const bool masked = masks(f, secrets);
        DifferenceRow row{FieldModel::pageCaption(f.page), FieldModel::labelOf(f), FieldModel::nameOf(f),
                          masked ? shownText(maskedText(d, false)) : shownValue(f, d.a, secrets),
                          masked ? shownText(maskedText(d, true)) : shownValue(f, d.b, secrets), false, {}};
        if (d.sameValue()) {
            // Only the bytes that differ: a long text stays readable.
            int first = f.offset, last = f.offset + f.length - 1;
            while (a[std::size_t(first)] == b[std::size_t(first)])
                ++first;
            while (a[std::size_t(last)] == b[std::size_t(last)])
                --last;
            row.sameValue = true;
            row.range = FieldModel::describeRange({first, last});
            row.a = masked ? row.a : hexBytes(a, first, last);
            row.b = masked ? row.b : hexBytes(b, first, last);
            sameValue.append(row);
            continue;
        }
        // Two values that show alike show their bytes instead.
        if (row.a == row.b && !masked) {
            const int last = f.offset + f.length - 1;
            row.a = hexBytes(a, f.offset, last);
            row.b = hexBytes(b, f.offset, last);
        }
        rows.append(row);
    }
    for (const FieldModel::ByteRange &r : differences.bytes)
        rows.append({QString(), FieldModel::describeRange(r), QString(), hexBytes(a, r.first, r.last),
                     hexBytes(b, r.first, r.last), false, {}});
    return rows + sameValue;
}

QStringList differenceColumns(const QString &headingA, const QString &headingB)
{
    return {QStringLiteral("Page"), QStringLiteral("Field"), QStringLiteral("Name"), headingA, headingB};
}

QString differencesText(const QList<DifferenceRow> &rows, const QString &headingA, const QString &headingB)
{
    const auto line = [](const QStringList &cells) { return cells.join(QLatin1Char('\t')) + QLatin1Char('\n'); };
    QString text = line(differenceColumns(headingA, headingB));
    bool headed = false;
    for (const DifferenceRow &row : rows) {
        if (row.sameValue && !std::exchange(headed, true))
            text += QString::fromLatin1(SameValueHeading) + QLatin1Char('\n');
        text += line(row.cells());
    }
    return text;
}

QStringList differenceLines(const QList<DifferenceRow> &rows, const QString &headingA, const QString &headingB)
{
    QStringList lines;
    if (!headingA.isEmpty())
        lines << headingA + QStringLiteral(" -> ") + headingB;
    bool headed = false;
    for (const DifferenceRow &row : rows) {
        QString what = row.name.isEmpty() ? row.label + QStringLiteral(" (outside every field)")
                                          : row.name + QStringLiteral(" (") + row.label + QLatin1Char(')');
        if (row.sameValue) {
            if (!std::exchange(headed, true))
                lines << QString::fromLatin1(SameValueHeading);
            what += QStringLiteral(", ") + row.range;
        }
        lines << what + QStringLiteral(": ") + row.a + QStringLiteral(" -> ") + row.b;
    }
    return lines;
}

namespace {

QByteArray hexRun(std::span<const std::uint8_t> image, FieldModel::ByteRange r)
{
    return QByteArray(reinterpret_cast<const char *>(image.data()) + r.first, r.last - r.first + 1).toHex();
}

} // namespace

QByteArray differencesJson(const FieldModel::ImageDifferences &d, std::span<const std::uint8_t> a,
                           std::span<const std::uint8_t> b, FieldModel::Secrets secrets)
{
    using ParameterExport::jsonString;
    const auto value = [secrets](const FieldModel::FieldDifference &f, const FieldModel::FieldValue &v, bool second) {
        return masks(*f.field, secrets) ? jsonString(maskedText(f, second)) : ParameterExport::jsonValue(v);
    };
    QByteArray out = "{\n  \"format\": \"quelmar-parameters-diff\",\n  \"version\": 1,\n  \"fields\": [";
    for (qsizetype i = 0; i < d.fields.size(); ++i) {
        const FieldModel::FieldDifference &f = d.fields.at(i);
        out += QByteArray(i ? "," : "") + "\n    {\"name\": " + jsonString(FieldModel::nameOf(*f.field))
               + ", \"label\": " + jsonString(FieldModel::labelOf(*f.field))
               + ", \"a\": " + value(f, f.a, false) + ", \"b\": " + value(f, f.b, true) + '}';
    }
    out += QByteArray(d.fields.isEmpty() ? "" : "\n  ") + "],\n  \"bytes\": [";
    for (qsizetype i = 0; i < d.bytes.size(); ++i) {
        const FieldModel::ByteRange r = d.bytes.at(i);
        out += QByteArray(i ? "," : "") + "\n    {\"first\": " + QByteArray::number(r.first)
               + ", \"last\": " + QByteArray::number(r.last) + ", \"a\": \"" + hexRun(a, r) + "\", \"b\": \""
               + hexRun(b, r) + "\"}";
    }
    out += QByteArray(d.bytes.isEmpty() ? "" : "\n  ") + "]\n}\n";
    return out;
}
