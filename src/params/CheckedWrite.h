#pragma once
// A write that keeps what the module held and proves that it landed: an
// optional backup read before the first write command, and an optional
// read-back after the last acknowledgement, compared with what was written.
// The command line and the transfer window both run it.

#include "FieldModel.h"
#include "Transfer.h"

#include <QString>
#include <functional>

enum class WriteStage { Backup, Write, Verify };

struct CheckedWriteOptions
{
    bool verify = false;
    bool backup = false;
    // Keeps the backup image (a file, say); returns an error text, empty
    // when it was kept. A backup that cannot be kept stops the write too.
    std::function<QString(const ImageBytes &)> keepBackup;
};

struct CheckedWriteResult
{
    WriteStage stage = WriteStage::Write; // the last sequence that ran
    TransferResult result;                // how that sequence ended
    bool succeeded = false;
    QString backupError; // keepBackup's error
    ImageBytes backup{}; // what the module held before the write
    ImageBytes written{}; // bytes 0 to 959 as written, the rest zero
    ImageBytes readBack{}; // what the module held after it
    // Verify: the fields (and bytes outside them) of readBack that differ
    // from written, bytes 0 to 959 only.
    FieldModel::ImageDifferences differences;
};

CheckedWriteResult checkedWrite(ParameterTransfer &transfer, const CheckedWriteOptions &options);
