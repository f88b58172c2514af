#pragma once
// The one write policy of the windows and the command line: an optional
// backup read before the first write command, kept before anything is
// written; the write, of every block or only of those the module holds
// otherwise; an optional read-back after the last acknowledgement, compared
// with what was written; and what the history keeps of it. One outcome says
// how the write ended; both front ends only show it.

#include "FieldModel.h"
#include "History.h"
#include "Transfer.h"

#include <QList>
#include <QString>

// How a write ended, exactly one of these.
enum class WriteEnding {
    BackupStopped,  // the backup read stopped: nothing was written
    BackupNotKept,  // the backup could not be kept: nothing was written
    ReadStopped,    // changed blocks only, no backup: the first read stopped; nothing was written
    AlreadyHeld,    // changed blocks only: the module held every block already; nothing was written
    WriteStopped,   // the write stopped; the blocks before it may hold the new data
    Written,        // every block acknowledged, no verify asked for
    Verified,       // every block acknowledged and read back as written
    VerifyDiffered, // every block acknowledged; what was read back differs
    VerifyStopped,  // every block acknowledged; the read-back stopped
};

struct CheckedWriteOptions
{
    bool verify = false;
    bool backup = false;
    // Read the module first (the backup, when one is asked for) and write
    // only the blocks that differ; a verify reads back only those.
    bool changedOnly = false;
    QString port; // names the history entries
    // Keeps the backup and, once every block was acknowledged, the written set.
    History::Store history;
    // Further stores that keep the backup as well (quelmar-params --backup
    // DIR). A backup that any store cannot keep stops the write: it would
    // destroy the only copy.
    QList<History::Store> backupCopies;
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
    // The written set's history entry; tried once every block was acknowledged.
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
