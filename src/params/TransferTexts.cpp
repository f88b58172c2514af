#include "TransferTexts.h"

#include "History.h"

#include <QFileInfo>

namespace {

constexpr int Blocks = EEAddr::BlockCount;

// A clause in the chosen form: " Clause." in the window, as it is on a line.
QString said(const QString &clause, OutcomeForm form)
{
    if (form == OutcomeForm::Line || clause.isEmpty())
        return clause;
    return QLatin1Char(' ') + clause.at(0).toUpper() + clause.mid(1) + QLatin1Char('.');
}

QString countClause(Operation operation, const FieldModel::ImageDifferences &differences)
{
    return operationWord(operation) + QStringLiteral(": ") + differenceCountText(differences);
}

// "write: 15 of 15 blocks acknowledged" in the window, "write 15 of 15 ..." on a line.
QString blocksClause(Operation operation, OutcomeForm form, const QString &what, int count = Blocks)
{
    return operationWord(operation) + (form == OutcomeForm::Window ? QStringLiteral(": ") : QStringLiteral(" "))
           + QStringLiteral("%1 of %2 blocks").arg(count).arg(Blocks) + what;
}

// A stop of the backup, or of the read before a write of changed blocks,
// left the module alone: it says so.
QString stopClause(Operation operation, const TransferResult &result, OutcomeForm form,
                   bool beforeWrite = false)
{
    QString reason = stopReason(result);
    if (form == OutcomeForm::Line && !result.portError.isEmpty())
        reason += QStringLiteral(" (%1)").arg(result.portError);
    QString clause = QStringLiteral("%1 stopped at block %2 of %3: ").arg(operationWord(operation)).arg(result.stoppedAt).arg(Blocks);
    // Whatever ended the backup, what matters is that the module was left
    // alone; the window says only that.
    if (operation == Operation::Backup || beforeWrite)
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
    case WriteEnding::BackupStopped: return stopClause(Operation::Backup, write.result, form);
    case WriteEnding::BackupNotKept:
        return QStringLiteral("backup not saved (%1): nothing was written").arg(write.backupError);
    case WriteEnding::ReadStopped: return stopClause(Operation::Read, write.result, form, true);
    case WriteEnding::AlreadyHeld:
        return form == OutcomeForm::Window ? QStringLiteral("write: the module already holds this parameter set")
                                           : QStringLiteral("write: the module already holds this file");
    case WriteEnding::WriteStopped: return stopClause(Operation::Write, write.result, form);
    case WriteEnding::Written:
    case WriteEnding::Verified: {
        const bool verified = write.ending == WriteEnding::Verified;
        const QString what = !write.changedOnly ? (verified ? QStringLiteral(" acknowledged and verified") : QStringLiteral(" acknowledged"))
                             : verified ? QStringLiteral(" changed, acknowledged and verified")
                                        : QStringLiteral(" changed and acknowledged");
        return blocksClause(Operation::Write, form, what, int(write.sent.count())) + repeatedText(write.result);
    }
    case WriteEnding::VerifyDiffered: return countClause(Operation::Verify, write.differences);
    case WriteEnding::VerifyStopped: return stopClause(Operation::Verify, write.result, form);
    }
    return {};
}

// The window's line when the press found no connection; the message box
// said it, the line must not go on showing the last operation.
QString notSentText(Operation operation, OutcomeForm form)
{
    return form == OutcomeForm::Window
        ? said(operationWord(operation) + QStringLiteral(": nothing was sent: no serial connection"), form)
        : QString();
}

// "blocks 1 to 7 were written: the module may be half-written" after a write
// that stopped once the module had stored something; else empty.
QString halfWrittenClause(const WriteOutcome &write)
{
    if (!mayBeHalfWritten(write))
        return {};
    const QString blocks = writtenBlocksText(write.result.reached());
    return blocks.at(0).toLower() + blocks.mid(1) + QStringLiteral(": the module may be half-written");
}

} // namespace

bool mayBeHalfWritten(const WriteOutcome &write)
{
    return write.ending == WriteEnding::WriteStopped && write.result.reached().any();
}

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

QString outcomeText(const ExchangeRecord &record, OutcomeForm form)
{
    const TransferResult &result = record.result;
    if (!record.connected())
        return record.inWrite || (record.operation != Operation::Read && record.operation != Operation::Compare)
            ? QString()
            : notSentText(record.operation, form);
    if (record.stopped())
        return said(stopClause(record.operation, result, form), form);
    switch (record.operation) {
    case Operation::Read: return said(blocksClause(record.operation, form, {}) + repeatedText(result), form);
    case Operation::Compare: {
        if (record.differs())
            return said(countClause(record.operation, record.differences), form);
        const QString with = record.against == CompareWith::File   ? QStringLiteral("file's")
                             : record.against == CompareWith::Site ? QStringLiteral("site's")
                                                                   : QStringLiteral("last read or written");
        return said(QStringLiteral("compare: the module holds the %1 data").arg(with) + repeatedText(result), form);
    }
    case Operation::Backup:
    case Operation::Write:
    case Operation::Verify:
    case Operation::File: break; // said by the write's outcome, or not an exchange with a module
    }
    return {};
}

QString siteExchangeText(const ExchangeRecord &record)
{
    if (record.ending == WriteEnding::BackupNotKept)
        return QStringLiteral("not kept: ") + record.keepError;
    if (record.ending == WriteEnding::AlreadyHeld)
        return QStringLiteral("nothing to write: the module holds it");
    QString text;
    if (record.stopped())
        text = QStringLiteral("stopped at block %1: %2").arg(record.result.stoppedAt).arg(stopReason(record.result));
    else if (record.operation == Operation::Compare)
        text = record.differs() ? differenceCountText(record.differences) : QStringLiteral("no difference");
    else if (record.operation == Operation::Verify)
        text = record.differs() ? differenceCountText(record.differences) : QStringLiteral("verified");
    else
        text = QStringLiteral("complete");
    if (record.operation == Operation::Write && record.changedOnly)
        text += QStringLiteral(", %1 of %2 blocks changed").arg(record.sent.count()).arg(Blocks);
    return text;
}

QString outcomeText(const WriteOutcome &write, OutcomeForm form)
{
    if (write.result.outcome == TransferOutcome::NotConnected)
        return notSentText(Operation::Write, form);
    QString text = said(writeClause(write, form), form);
    // The restore file is named whatever happened after it was kept.
    if (form == OutcomeForm::Line) {
        if (!write.backupPath.isEmpty())
            text += QStringLiteral("; backup in ") + write.backupPath;
    } else {
        text += said(halfWrittenClause(write), form);
        if (!write.backupPath.isEmpty())
            text += said(QStringLiteral("backup in ") + QFileInfo(write.backupPath).fileName(), form);
    }
    return text + History::outcomeNote(write.history);
}

QString entryOutcomeText(const WriteOutcome &write)
{
    return (said(writeClause(write, OutcomeForm::Window), OutcomeForm::Window)
            + said(halfWrittenClause(write), OutcomeForm::Window))
        .trimmed();
}

QString siteDifferenceText(const ExchangeRecord &read, const std::optional<ImageBytes> &siteSet)
{
    if (read.operation != Operation::Read || !read.image || !siteSet)
        return {};
    const FieldModel::ImageDifferences differences =
        FieldModel::DiffImages(*read.image, *siteSet, {0, EEAddr::ModuleBytes - 1});
    // Fields only stored differently hold the site's values.
    if (differences.valueCount() == 0)
        return {};
    return QLatin1Char(' ') + differenceCountText(differences) + QStringLiteral(" from the site's parameter set.");
}

QString changedSinceText(const ExchangeRecord &compare, std::span<const std::uint8_t> image)
{
    if (compare.operation != Operation::Compare || !compare.image || compare.differs()
        || std::equal(compare.reference.begin(), compare.reference.begin() + EEAddr::ModuleBytes, image.begin()))
        return {};
    return QStringLiteral(" The parameter set in the tool was changed since: not in the module.");
}

QString fileOutcomeText(bool loaded, const QString &name)
{
    return loaded ? QStringLiteral(" Read from file: %1.").arg(name) : QStringLiteral(" Saved to file: %1.").arg(name);
}
