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
    if (options.backup) {
        const TransferOutcome outcome = transfer.readInto(r.backup);
        r.result = transfer.Result();
        if (outcome != TransferOutcome::Succeeded) {
            r.ending = WriteEnding::BackupStopped; // the bar is red already
            return r;
        }
        if (!keepBackup(r, options, QDateTime::currentDateTime())) {
            r.ending = WriteEnding::BackupNotKept;
            transfer.showFailure();
            return r;
        }
    }
    const TransferOutcome written = transfer.Write();
    r.result = transfer.Result();
    if (written != TransferOutcome::Succeeded) {
        r.ending = WriteEnding::WriteStopped;
        // Some blocks went in: the entry says the module may be half-written.
        if (r.result.blocksDone > 0)
            r.history = options.history.keep(transfer.Image(), History::Operation::Write, options.port,
                                             QDateTime::currentDateTime(), entryOutcomeText(r));
        return r;
    }
    std::copy(transfer.Buffer().begin(), transfer.Buffer().end(), r.written.begin());
    r.ending = WriteEnding::Written;
    if (options.verify) {
        const TransferOutcome outcome = transfer.readInto(r.readBack);
        r.result = transfer.Result();
        if (outcome != TransferOutcome::Succeeded) {
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
