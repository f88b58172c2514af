#include "CheckedWrite.h"

#include <QDateTime>

#include <algorithm>

namespace {

QList<History::Store> backupStores(const CheckedWriteOptions &options)
{
    return QList<History::Store>{options.history} + options.backupCopies;
}

// A store others could write would keep a backup they can swap: said before
// anything is sent to the module.
bool backupFoldersSafe(WriteOutcome &r, const CheckedWriteOptions &options)
{
    for (const History::Store &store : backupStores(options))
        if (const QString refused = store.refusal(); !refused.isEmpty()) {
            r.backupError = refused;
            return false;
        }
    return true;
}

// Every store keeps the backup, or the write does not start.
bool keepBackup(WriteOutcome &r, const CheckedWriteOptions &options, const QDateTime &when)
{
    for (const History::Store &store : backupStores(options)) {
        const History::Kept kept = store.keep(r.backup, Operation::Backup, options.port, when);
        if (!kept.ok()) {
            r.backupError = kept.error;
            return false;
        }
        r.backupPath = kept.path;
    }
    return true;
}

} // namespace

WriteOutcome checkedWrite(ParameterTransfer &transfer, const CheckedWriteOptions &options)
{
    WriteOutcome r;
    r.changedOnly = options.changedOnly;
    int repeated = 0;
    int checked = 0;
    // Takes the sequence's result, counting the repeats of all so far.
    const auto ran = [&](TransferOutcome outcome) {
        r.result = transfer.Result();
        repeated += r.result.repeated;
        r.result.repeated = repeated;
        checked += r.result.checkedByReadBack;
        r.result.checkedByReadBack = checked;
        return outcome == TransferOutcome::Succeeded;
    };
    // Hands on the stage that just ended; `ended` when the write ends with it.
    const auto stage = [&](Operation operation, std::optional<WriteEnding> ended) {
        ExchangeRecord record;
        record.operation = operation;
        record.port = options.port;
        record.when = QDateTime::currentDateTimeUtc();
        record.result = r.result;
        record.ending = ended;
        record.inWrite = true;
        record.changedOnly = options.changedOnly;
        return record;
    };
    const auto handOn = [&](const ExchangeRecord &record) {
        if (options.stageEnded && record.connected())
            options.stageEnded(record);
    };
    // One read serves as the backup and as what the changed blocks are
    // found against: the module is never read twice.
    if (options.backup && !backupFoldersSafe(r, options)) {
        r.ending = WriteEnding::BackupNotKept;
        transfer.showFailure();
        return r;
    }
    if (options.backup || options.changedOnly) {
        const Operation first = options.backup ? Operation::Backup : Operation::Read;
        if (!ran(transfer.readInto(r.backup))) {
            r.ending = options.backup ? WriteEnding::BackupStopped : WriteEnding::ReadStopped; // the bar is red already
            handOn(stage(first, r.ending));
            return r;
        }
        if (options.backup && !keepBackup(r, options, QDateTime::currentDateTime())) {
            r.ending = WriteEnding::BackupNotKept;
            transfer.showFailure();
            ExchangeRecord record = stage(first, r.ending);
            record.image = r.backup;
            record.keepError = r.backupError;
            handOn(record);
            return r;
        }
        ExchangeRecord record = stage(first, std::nullopt);
        record.image = r.backup;
        handOn(record);
    }
    r.sent = options.changedOnly ? Transfer::differingBlocks(transfer.Image(), r.backup) : Transfer::AllBlocks;
    const bool written = ran(transfer.Write(r.sent));
    if (written) {
        std::copy(transfer.Buffer().begin(), transfer.Buffer().end(), r.written.begin());
        r.ending = r.sent.none() ? WriteEnding::AlreadyHeld : WriteEnding::Written;
    } else {
        r.ending = WriteEnding::WriteStopped;
    }
    ExchangeRecord write = stage(Operation::Write, r.ending);
    write.sent = r.sent;
    write.image = transfer.Image();
    handOn(write);
    if (!written || !options.verify || r.sent.none())
        return r;
    // The blocks not written were read just before: only the others
    // are read back.
    r.readBack = r.backup;
    const bool read = ran(options.changedOnly ? transfer.readInto(r.readBack, r.sent) : transfer.readInto(r.readBack));
    ImageBytes seen{};
    const FieldModel::ImageDifferences arrived = arrivedDifferences(transfer.Result(), r.readBack, r.written, seen);
    if (!read) {
        r.ending = WriteEnding::VerifyStopped;
    } else {
        r.differences = FieldModel::DiffImages(r.written, r.readBack, {0, EEAddr::ModuleBytes - 1});
        r.ending = r.differences.isEmpty() ? WriteEnding::Verified : WriteEnding::VerifyDiffered;
    }
    if (r.ending == WriteEnding::VerifyDiffered) {
        r.result.differs = true;
        r.result.outcome = TransferOutcome::Failed;
        transfer.showFailure();
    }
    ExchangeRecord verify = stage(Operation::Verify, r.ending);
    verify.differences = arrived;
    verify.reference = r.written;
    if (read)
        verify.image = r.readBack;
    handOn(verify);
    return r;
}
