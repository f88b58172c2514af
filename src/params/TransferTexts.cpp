#include "TransferTexts.h"

#include "History.h"
#include "ParameterExport.h"

#include <utility>

namespace {

constexpr int Blocks = EEAddr::BlockCount;

// "read", "compare", ...: the command line's words; the window's start upper-case.
QString sequenceName(Sequence sequence)
{
    return operationName(sequence).toLower();
}

// A clause in the chosen form: " Clause." in the window, as it is on a line.
QString said(const QString &clause, OutcomeForm form)
{
    if (form == OutcomeForm::Line || clause.isEmpty())
        return clause;
    return QLatin1Char(' ') + clause.at(0).toUpper() + clause.mid(1) + QLatin1Char('.');
}

QString countClause(Sequence sequence, const FieldModel::ImageDifferences &differences)
{
    return sequenceName(sequence) + QStringLiteral(": ") + differenceCountText(differences);
}

// "write: 15 of 15 blocks acknowledged" in the window, "write 15 of 15 ..." on a line.
QString blocksClause(Sequence sequence, OutcomeForm form, const QString &what, int count = Blocks)
{
    return sequenceName(sequence) + (form == OutcomeForm::Window ? QStringLiteral(": ") : QStringLiteral(" "))
           + QStringLiteral("%1 of %2 blocks").arg(count).arg(Blocks) + what;
}

// A stop of the backup, or of the read before a write of changed blocks,
// left the module alone: it says so.
QString stopClause(Sequence sequence, const TransferResult &result, OutcomeForm form,
                   bool beforeWrite = false)
{
    QString reason = stopReason(result);
    if (form == OutcomeForm::Line && !result.portError.isEmpty())
        reason += QStringLiteral(" (%1)").arg(result.portError);
    QString clause = QStringLiteral("%1 stopped at block %2 of %3: ").arg(sequenceName(sequence)).arg(result.stoppedAt).arg(Blocks);
    // Whatever ended the backup, what matters is that the module was left
    // alone; the window says only that.
    if (sequence == Sequence::Backup || beforeWrite)
        return clause + (form == OutcomeForm::Line ? reason + QStringLiteral("; ") : QString())
               + QStringLiteral("nothing was written");
    return clause + reason;
}

// "Block 1 was written", "Blocks 1 to 6 were written", "Blocks 3, 7 to 8
// and 12 were written": runs of blocks, counted from 1.
QString writtenBlocksText(const Transfer::BlockSet &blocks)
{
    QStringList runs;
    for (int b = 0; b < Blocks; ++b) {
        if (!blocks.test(std::size_t(b)))
            continue;
        const int first = b;
        while (b + 1 < Blocks && blocks.test(std::size_t(b + 1)))
            ++b;
        runs << (first == b ? QString::number(b + 1) : QStringLiteral("%1 to %2").arg(first + 1).arg(b + 1));
    }
    const QString last = runs.takeLast();
    const QString list = runs.isEmpty() ? last : runs.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last;
    return blocks.count() == 1 ? QStringLiteral("Block %1 was written").arg(list)
                               : QStringLiteral("Blocks %1 were written").arg(list);
}

// The write's own clause, without the history's note.
QString writeClause(const WriteOutcome &write, OutcomeForm form)
{
    switch (write.ending) {
    case WriteEnding::BackupStopped: return stopClause(Sequence::Backup, write.result, form);
    case WriteEnding::BackupNotKept:
        return QStringLiteral("backup not saved (%1): nothing was written").arg(write.backupError);
    case WriteEnding::ReadStopped: return stopClause(Sequence::Read, write.result, form, true);
    case WriteEnding::AlreadyHeld:
        return form == OutcomeForm::Window ? QStringLiteral("write: the module already holds this parameter set")
                                           : QStringLiteral("write: the module already holds this file");
    case WriteEnding::WriteStopped: return stopClause(Sequence::Write, write.result, form);
    case WriteEnding::Written:
    case WriteEnding::Verified: {
        const bool verified = write.ending == WriteEnding::Verified;
        const QString what = !write.changedOnly ? (verified ? QStringLiteral(" acknowledged and verified") : QStringLiteral(" acknowledged"))
                             : verified ? QStringLiteral(" changed, acknowledged and verified")
                                        : QStringLiteral(" changed and acknowledged");
        return blocksClause(Sequence::Write, form, what, int(write.sent.count())) + repeatedText(write.result);
    }
    case WriteEnding::VerifyDiffered: return countClause(Sequence::Verify, write.differences);
    case WriteEnding::VerifyStopped: return stopClause(Sequence::Verify, write.result, form);
    }
    return {};
}

} // namespace

QString stopReason(const TransferResult &result)
{
    switch (result.stop) {
    case TransferStop::NoAnswer: return QStringLiteral("no answer");
    case TransferStop::OtherBlock: return QStringLiteral("the module answered for block %1").arg(result.answeredBlock);
    case TransferStop::NoAcknowledgement: return QStringLiteral("no acknowledgement");
    case TransferStop::PortClosed: return QStringLiteral("the port is closed");
    case TransferStop::Stopped: return QStringLiteral("stopped");
    case TransferStop::None: break;
    }
    return {};
}

QString repeatedText(const TransferResult &result)
{
    QStringList said;
    if (result.repeated > 0)
        said << QStringLiteral("%1 repeated").arg(result.repeated);
    if (result.checkedByReadBack > 0)
        said << QStringLiteral("%1 checked by reading back").arg(result.checkedByReadBack);
    return said.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(said.join(QStringLiteral(", ")));
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

QString shownValue(const EEAddr::Field &f, const FieldModel::FieldValue &value, FieldModel::Secrets secrets)
{
    if (secrets == FieldModel::Secrets::Masked && FieldModel::isSecret(f)) {
        const QString masked = FieldModel::maskedValue(value);
        return masked.isEmpty() ? QStringLiteral("\"\"") : masked;
    }
    const QString *text = std::get_if<QString>(&value);
    if (!text)
        return FieldModel::formatValue(value);
    using E = EEAddr::Encoding;
    if (f.encoding == E::Digits16 || f.encoding == E::Digits8)
        return text->isEmpty() ? QStringLiteral("(none)") : *text;
    if (text->isEmpty() && f.encoding == E::EventCode)
        return QStringLiteral("(none)");
    return QString::fromUtf8(ParameterExport::jsonString(*text));
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

QString outcomeText(Sequence sequence, const TransferResult &result, const FieldModel::ImageDifferences &differences,
                    OutcomeForm form)
{
    if (result.outcome == TransferOutcome::NotConnected)
        return {};
    if (result.stop != TransferStop::None)
        return said(stopClause(sequence, result, form), form);
    switch (sequence) {
    case Sequence::Read: return said(blocksClause(sequence, form, {}) + repeatedText(result), form);
    case Sequence::Backup: break; // a backup that ran to its end is said by its write's outcome
    case Sequence::File: break;   // not an exchange with a module
    case Sequence::Compare:
        return said(result.differs ? countClause(sequence, differences)
                                   : QStringLiteral("compare: the module holds the last read or written data") + repeatedText(result),
                    form);
    case Sequence::Write: return said(blocksClause(sequence, form, QStringLiteral(" acknowledged")) + repeatedText(result), form);
    case Sequence::Verify:
        return said(result.differs ? countClause(sequence, differences)
                                   : blocksClause(Sequence::Write, form, QStringLiteral(" acknowledged and verified")) + repeatedText(result),
                    form);
    }
    return {};
}

QString outcomeText(const WriteOutcome &write, OutcomeForm form)
{
    if (write.result.outcome == TransferOutcome::NotConnected)
        return {};
    QString text = said(writeClause(write, form), form);
    // On a line the restore file is named whatever happened after it was kept.
    if (form == OutcomeForm::Line && !write.backupPath.isEmpty())
        text += QStringLiteral("; backup in ") + write.backupPath;
    return text + History::outcomeNote(write.history);
}

QString entryOutcomeText(const WriteOutcome &write)
{
    QString text = said(writeClause(write, OutcomeForm::Window), OutcomeForm::Window).trimmed();
    if (write.ending == WriteEnding::WriteStopped)
        text += QStringLiteral(" %1: the module may be half-written.").arg(writtenBlocksText(write.result.reached()));
    return text;
}

QString fileOutcomeText(bool loaded, const QString &name)
{
    return loaded ? QStringLiteral(" Read from file: %1.").arg(name) : QStringLiteral(" Saved to file: %1.").arg(name);
}

QList<DifferenceRow> differenceRows(const FieldModel::ImageDifferences &differences,
                                    std::span<const std::uint8_t> a, std::span<const std::uint8_t> b,
                                    FieldModel::Secrets secrets)
{
    QList<DifferenceRow> rows;
    QList<DifferenceRow> sameValue;
    for (const FieldModel::FieldDifference &d : differences.fields) {
        const EEAddr::Field &f = *d.field;
        DifferenceRow row{FieldModel::pageCaption(f.page), FieldModel::labelOf(f), FieldModel::nameOf(f),
                          shownValue(f, d.a, secrets), shownValue(f, d.b, secrets), false, {}};
        const bool masked = secrets == FieldModel::Secrets::Masked && FieldModel::isSecret(f);
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
        if (row.a == row.b && masked) {
            row.b = QString::fromLatin1(FieldModel::ChangedText);
        } else if (row.a == row.b) {
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
        if (secrets == FieldModel::Secrets::Shown || !FieldModel::isSecret(*f.field))
            return ParameterExport::jsonValue(v);
        const QString masked = FieldModel::maskedValue(v);
        const bool changed = second && !f.sameValue() && masked == FieldModel::maskedValue(f.a);
        return jsonString(changed ? QString::fromLatin1(FieldModel::ChangedText) : masked);
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
