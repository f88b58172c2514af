#include "TransferTexts.h"

#include "ParameterExport.h"

namespace {

QString countText(Sequence sequence, int differences)
{
    if (differences == 1)
        return QStringLiteral(" %1: 1 field differs.").arg(operationName(sequence));
    return QStringLiteral(" %1: %2 fields differ.").arg(operationName(sequence)).arg(differences);
}

} // namespace

QString stopReason(const TransferResult &result)
{
    switch (result.stop) {
    case TransferStop::NoAnswer: return QStringLiteral("no answer");
    case TransferStop::OtherBlock: return QStringLiteral("the module answered for block %1").arg(result.answeredBlock);
    case TransferStop::NoAcknowledgement: return QStringLiteral("no acknowledgement");
    case TransferStop::PortClosed: return QStringLiteral("the port is closed");
    case TransferStop::None: break;
    }
    return {};
}

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

QString shownValue(const EEAddr::Field &f, const FieldModel::FieldValue &value)
{
    const QString *text = std::get_if<QString>(&value);
    if (!text)
        return FieldModel::formatValue(f, value);
    using E = EEAddr::Encoding;
    if (f.encoding == E::Digits16 || f.encoding == E::Digits8)
        return text->isEmpty() ? QStringLiteral("(none)") : *text;
    if (text->isEmpty() && f.encoding == E::EventCode)
        return QStringLiteral("(none)");
    return QString::fromUtf8(ParameterExport::jsonString(*text));
}

QString outcomeText(Sequence sequence, const TransferResult &result, int differences)
{
    constexpr int Blocks = EEAddr::BlockCount;
    if (result.outcome == TransferOutcome::NotConnected)
        return {};
    if (result.stop != TransferStop::None) {
        // Whatever ended the backup, what matters is that the module was left alone.
        if (sequence == Sequence::Backup)
            return QStringLiteral(" Backup stopped at block %1 of %2: nothing was written.")
                .arg(result.stoppedAt)
                .arg(Blocks);
        return QStringLiteral(" %1 stopped at block %2 of %3: %4.")
            .arg(operationName(sequence))
            .arg(result.stoppedAt)
            .arg(Blocks)
            .arg(stopReason(result));
    }
    switch (sequence) {
    case Sequence::Read:
    case Sequence::Backup:
        return QStringLiteral(" %1: %2 of %3 blocks.").arg(operationName(sequence)).arg(Blocks).arg(Blocks);
    case Sequence::Compare:
        return result.differs ? countText(sequence, differences)
                              : QStringLiteral(" Compare: the module holds the last read or written data.");
    case Sequence::Write:
        return QStringLiteral(" Write: %1 of %2 blocks acknowledged.").arg(Blocks).arg(Blocks);
    case Sequence::Verify:
        return result.differs ? countText(sequence, differences)
                              : QStringLiteral(" Write: %1 of %2 blocks acknowledged and verified.")
                                    .arg(Blocks)
                                    .arg(Blocks);
    }
    return {};
}

QString outcomeText(const CheckedWriteResult &write, int differences)
{
    switch (write.stage) {
    case WriteStage::Backup:
        if (!write.backupError.isEmpty())
            return QStringLiteral(" Backup not saved (%1): nothing was written.").arg(write.backupError);
        return outcomeText(Sequence::Backup, write.result);
    case WriteStage::Write: return outcomeText(Sequence::Write, write.result);
    case WriteStage::Verify: return outcomeText(Sequence::Verify, write.result, differences);
    }
    return {};
}

QString fileOutcomeText(bool loaded, const QString &name)
{
    return loaded ? QStringLiteral(" Read from file: %1.").arg(name) : QStringLiteral(" Saved to file: %1.").arg(name);
}

QList<DifferenceRow> differenceRows(const FieldModel::ImageDifferences &differences,
                                    std::span<const std::uint8_t> a, std::span<const std::uint8_t> b)
{
    QList<DifferenceRow> rows;
    for (const FieldModel::FieldDifference &d : differences.fields) {
        const EEAddr::Field &f = *d.field;
        DifferenceRow row{FieldModel::pageCaption(f.page), FieldModel::labelOf(f), FieldModel::nameOf(f),
                          shownValue(f, d.a), shownValue(f, d.b)};
        if (row.a == row.b) {
            const int last = f.offset + f.length - 1;
            row.a = hexBytes(a, f.offset, last);
            row.b = hexBytes(b, f.offset, last);
        }
        rows.append(row);
    }
    for (const FieldModel::ByteRange &r : differences.bytes)
        rows.append({QString(), FieldModel::describeRange(r), QString(), hexBytes(a, r.first, r.last),
                     hexBytes(b, r.first, r.last)});
    return rows;
}

QStringList differenceColumns(const QString &headingA, const QString &headingB)
{
    return {QStringLiteral("Page"), QStringLiteral("Field"), QStringLiteral("Name"), headingA, headingB};
}

QString differencesText(const QList<DifferenceRow> &rows, const QString &headingA, const QString &headingB)
{
    const auto line = [](const QStringList &cells) { return cells.join(QLatin1Char('\t')) + QLatin1Char('\n'); };
    QString text = line(differenceColumns(headingA, headingB));
    for (const DifferenceRow &row : rows)
        text += line(row.cells());
    return text;
}

QStringList differenceLines(const QList<DifferenceRow> &rows, const QString &headingA, const QString &headingB)
{
    QStringList lines;
    if (!headingA.isEmpty())
        lines << headingA + QStringLiteral(" -> ") + headingB;
    for (const DifferenceRow &row : rows) {
        const QString what = row.name.isEmpty() ? row.label + QStringLiteral(" (outside every field)")
                                                : row.name + QStringLiteral(" (") + row.label + QLatin1Char(')');
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
                           std::span<const std::uint8_t> b)
{
    using ParameterExport::jsonString;
    QByteArray out = "{\n  \"format\": \"quelmar-parameters-diff\",\n  \"version\": 1,\n  \"fields\": [";
    for (qsizetype i = 0; i < d.fields.size(); ++i) {
        const FieldModel::FieldDifference &f = d.fields.at(i);
        out += QByteArray(i ? "," : "") + "\n    {\"name\": " + jsonString(FieldModel::nameOf(*f.field))
               + ", \"label\": " + jsonString(FieldModel::labelOf(*f.field))
               + ", \"a\": " + ParameterExport::jsonValue(*f.field, f.a)
               + ", \"b\": " + ParameterExport::jsonValue(*f.field, f.b) + '}';
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
