#include "TransferTexts.h"

namespace {

QString sequenceName(Sequence sequence)
{
    switch (sequence) {
    case Sequence::Read: return QStringLiteral("Read");
    case Sequence::Compare: return QStringLiteral("Compare");
    case Sequence::Write: return QStringLiteral("Write");
    case Sequence::Backup: return QStringLiteral("Backup");
    case Sequence::Verify: return QStringLiteral("Verify");
    }
    return {};
}

QString countText(Sequence sequence, int differences)
{
    if (differences == 1)
        return QStringLiteral(" %1: 1 field differs.").arg(sequenceName(sequence));
    return QStringLiteral(" %1: %2 fields differ.").arg(sequenceName(sequence)).arg(differences);
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

namespace {

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

} // namespace

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
            .arg(sequenceName(sequence))
            .arg(result.stoppedAt)
            .arg(Blocks)
            .arg(stopReason(result));
    }
    switch (sequence) {
    case Sequence::Read:
    case Sequence::Backup:
        return QStringLiteral(" %1: %2 of %3 blocks.").arg(sequenceName(sequence)).arg(Blocks).arg(Blocks);
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
                          FieldModel::formatValue(f, d.a), FieldModel::formatValue(f, d.b)};
        if (row.a == row.b) {
            const int last = f.offset + f.length - 1;
            row.a = hexBytes(a, f.offset, last);
            row.b = hexBytes(b, f.offset, last);
        }
        for (QString *value : {&row.a, &row.b})
            if (value->isEmpty())
                *value = QStringLiteral("(none)");
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
