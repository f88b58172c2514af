#include "CheckedWrite.h"

#include "TransferTexts.h"

#include <QDateTime>

#include <algorithm>

namespace {

// Every store keeps the backup, or the write does not start.
bool keepBackup(WriteOutcome &r, const CheckedWriteOptions &options, const QDateTime &when)
{
    QList<History::Store> stores{options.history};
    stores += options.backupCopies;
    for (const History::Store &store : std::as_const(stores)) {
        const History::Kept kept = store.keep(r.backup, History::Operation::Backup, options.port, when);
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
    // One read serves as the backup and as what the changed blocks are
    // found against: the module is never read twice.
    if (options.backup || options.changedOnly) {
        if (!ran(transfer.readInto(r.backup))) {
            r.ending = options.backup ? WriteEnding::BackupStopped : WriteEnding::ReadStopped; // the bar is red already
            return r;
        }
        if (options.backup && !keepBackup(r, options, QDateTime::currentDateTime())) {
            r.ending = WriteEnding::BackupNotKept;
            transfer.showFailure();
            return r;
        }
    }
    r.sent = options.changedOnly ? Transfer::differingBlocks(transfer.Image(), r.backup) : Transfer::AllBlocks;
    if (!ran(transfer.Write(r.sent))) {
        r.ending = WriteEnding::WriteStopped;
        // Some blocks went in: the entry says the module may be half-written.
        if (r.result.blocksDone > 0)
            r.history = options.history.keep(transfer.Image(), History::Operation::Write, options.port,
                                             QDateTime::currentDateTime(), entryOutcomeText(r));
        return r;
    }
    std::copy(transfer.Buffer().begin(), transfer.Buffer().end(), r.written.begin());
    r.ending = r.sent.none() ? WriteEnding::AlreadyHeld : WriteEnding::Written;
    if (options.verify && r.sent.any()) {
        // The blocks not written were read just before: only the others
        // are read back.
        r.readBack = r.backup;
        const bool read = ran(options.changedOnly ? transfer.readInto(r.readBack, r.sent) : transfer.readInto(r.readBack));
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
    }
    // The module may hold it whatever a verify found: kept, with how it ended.
    r.history = options.history.keep(transfer.Image(), History::Operation::Write, options.port,
                                     QDateTime::currentDateTime(), entryOutcomeText(r));
    return r;
}
