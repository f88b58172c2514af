#pragma once
// A finished transfer in words, and the differences a compare or verify
// found as rows of text: the transfer window's outcome line and its list of
// differences, kept here so that anything reporting a transfer says the same.

#include "CheckedWrite.h"
#include "FieldModel.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <span>

enum class Sequence { Read, Compare, Write, Backup, Verify };

// Why a sequence stopped early: "no answer", "the module answered for block 4",
// "no acknowledgement", "the port is closed"; empty when it did not stop.
QString stopReason(const TransferResult &result);

// " Read: 15 of 15 blocks.", " Compare stopped at block 3 of 15: no answer.",
// " Compare: 2 fields differ.", ... Blocks count from 1. `differences` is
// what a compare or verify found. Empty when there was no connection: the
// message box has said so.
QString outcomeText(Sequence sequence, const TransferResult &result, int differences = 0);
// A write with its optional backup and verify, by the last stage that ran.
QString outcomeText(const CheckedWriteResult &write, int differences = 0);
// " Read from file: NAME." / " Saved to file: NAME."
QString fileOutcomeText(bool loaded, const QString &name);

struct DifferenceRow
{
    QString page;  // the editor page's caption; empty for bytes outside every field
    QString label; // the English label, or "bytes 94 to 101"
    QString name;  // the field's layout name
    QString a;     // the value in the first image
    QString b;     // the value in the second

    QStringList cells() const { return {page, label, name, a, b}; }
};

// The column headings of the rows: "Page", "Field", "Name", then what was compared.
QStringList differenceColumns(const QString &headingA, const QString &headingB);

// One row per differing field, then one per run of bytes outside every field.
// Values are the editor's text, "(none)" when empty; where two different byte
// strings show alike (trailing blanks, say) both show as hex bytes instead.
QList<DifferenceRow> differenceRows(const FieldModel::ImageDifferences &differences,
                                    std::span<const std::uint8_t> a, std::span<const std::uint8_t> b);
// Tab-separated lines with a heading line, for the clipboard.
QString differencesText(const QList<DifferenceRow> &rows, const QString &headingA, const QString &headingB);
