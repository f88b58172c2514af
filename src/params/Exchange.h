#pragma once
// What one stage of an operation on a module did, as a value with no words
// in it: a read, a compare, or one of a write's stages (the backup or the
// read it starts with, the write, the verify). The texts about it, on every
// screen and in every store, are rendered from it (TransferTexts).

#include "FieldModel.h"
#include "History.h"
#include "Operation.h"
#include "Transfer.h"

#include <QDateTime>
#include <QString>

#include <optional>

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

// What a compare held the module against.
enum class CompareWith { LastTransfer, File, Site };

struct ExchangeRecord
{
    Operation operation = Operation::Read;
    QString port;
    QDateTime when; // when the stage ended
    // Of this stage's sequence; a write's stages carry the repeats of all so far.
    TransferResult result;
    // A write's stage: how the write stands once this stage ended.
    std::optional<WriteEnding> ending;
    bool inWrite = false; // a stage of a write (its first read, say)
    bool changedOnly = false;
    Transfer::BlockSet sent; // Write: the blocks written
    CompareWith against = CompareWith::LastTransfer;
    // Compare and verify: what differs in the blocks that arrived.
    FieldModel::ImageDifferences differences;
    // What the module holds (read, backup, compare and verify, when they ran
    // to their end; a backup not kept too), or what was sent (write).
    std::optional<ImageBytes> image;
    ImageBytes reference{}; // compare and verify: what the module was held against
    QString keepError;      // Backup: why it could not be kept
    History::Kept history;  // Read: its history entry

    bool connected() const { return result.outcome != TransferOutcome::NotConnected; }
    bool stopped() const { return result.stop != TransferStop::None; }
    bool differs() const { return !differences.isEmpty(); }
};

// What differs between the module and `reference` in the blocks that arrived
// (the others are taken as the reference holds them); `seen` gets the module
// as far as it arrived. The module's values come first.
FieldModel::ImageDifferences arrivedDifferences(const TransferResult &result, std::span<const std::uint8_t> module,
                                                std::span<const std::uint8_t> reference, ImageBytes &seen);
