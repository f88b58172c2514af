#include "CheckedWrite.h"

#include <algorithm>

CheckedWriteResult checkedWrite(ParameterTransfer &transfer, const CheckedWriteOptions &options)
{
    CheckedWriteResult r;
    if (options.backup) {
        r.stage = WriteStage::Backup;
        const TransferOutcome outcome = transfer.readInto(r.backup);
        r.result = transfer.Result();
        if (outcome != TransferOutcome::Succeeded)
            return r; // the bar is red already: nothing will be written
        if (options.keepBackup)
            r.backupError = options.keepBackup(r.backup);
        if (!r.backupError.isEmpty()) {
            transfer.showFailure();
            return r;
        }
    }
    r.stage = WriteStage::Write;
    const TransferOutcome written = transfer.Write();
    r.result = transfer.Result();
    if (written != TransferOutcome::Succeeded)
        return r;
    std::copy(transfer.Buffer().begin(), transfer.Buffer().end(), r.written.begin());
    if (options.verify) {
        r.stage = WriteStage::Verify;
        const TransferOutcome outcome = transfer.readInto(r.readBack);
        r.result = transfer.Result();
        if (outcome != TransferOutcome::Succeeded)
            return r;
        r.differences = FieldModel::DiffImages(r.written, r.readBack, {0, EEAddr::ModuleBytes - 1});
        if (!r.differences.isEmpty()) {
            r.result.differs = true;
            r.result.outcome = TransferOutcome::Failed;
            transfer.showFailure();
            return r;
        }
    }
    r.succeeded = true;
    return r;
}
