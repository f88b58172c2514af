#pragma once
// The one write policy of the windows and the command line: an optional
// backup read before the first write command, kept before anything is
// written; the write, of every block or only of those the module holds
// otherwise; an optional read-back after the last acknowledgement, compared
// with what was written. One outcome says how the write ended; each stage
// is a record of its own, handed on the moment the stage ends. The written
// set's history entry is kept by the one who runs it (ModuleOperations).

#include "Exchange.h"

#include <QList>
#include <QString>

#include <functional>

struct CheckedWriteOptions
{
    bool verify = false;
    bool backup = false;
    // Read the module first (the backup, when one is asked for) and write
    // only the blocks that differ; a verify reads back only those.
    bool changedOnly = false;
    QString port; // names the history entries
    // Keeps the backup.
    History::Store history;
    // Further stores that keep the backup as well (quelmar-params --backup
    // DIR). A backup that any store cannot keep stops the write: it would
    // destroy the only copy.
    QList<History::Store> backupCopies;
    // Each stage's record, the moment it ends: the backup's before the first
    // write command goes out.
    std::function<void(const ExchangeRecord &)> stageEnded;
};

struct WriteOutcome
{
    WriteEnding ending = WriteEnding::WriteStopped;
    // Of the last sequence that ran (backup, write or verify), with the
    // repeats of all of them.
    TransferResult result;
    bool changedOnly = false;
    Transfer::BlockSet sent; // the blocks written
    QString backupError;   // BackupNotKept: why
    // The backup's file: the last store's copy (the history's when there is no
    // other); empty when no backup was kept.
    QString backupPath;
    // The written set's history entry, when some block went in
    // (ModuleOperations keeps it).
    History::Kept history;
    ImageBytes backup{};   // what the module held before the write, when it was read
    ImageBytes written{};  // bytes 0 to 959 as written, the rest zero
    ImageBytes readBack{}; // what the verify read back
    // Verify: the fields (and bytes outside them) of readBack that differ
    // from written, bytes 0 to 959 only.
    FieldModel::ImageDifferences differences;

    // Nothing was sent to the module.
    bool nothingWritten() const
    {
        return ending == WriteEnding::BackupStopped || ending == WriteEnding::BackupNotKept
               || ending == WriteEnding::ReadStopped || ending == WriteEnding::AlreadyHeld;
    }
    // The module holds every block of the set, acknowledged or found there,
    // whatever a verify found after.
    bool acknowledged() const
    {
        return ending == WriteEnding::AlreadyHeld || (!nothingWritten() && ending != WriteEnding::WriteStopped);
    }
    // Written, and verified when that was asked for; or already held.
    bool succeeded() const
    {
        return ending == WriteEnding::Written || ending == WriteEnding::Verified || ending == WriteEnding::AlreadyHeld;
    }
};

WriteOutcome checkedWrite(ParameterTransfer &transfer, const CheckedWriteOptions &options);
