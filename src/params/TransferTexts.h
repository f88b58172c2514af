#pragma once
// A finished transfer in words, and differences as rows of text: the
// transfer window's outcome line and its list of differences, and the
// command line's outcome and difference lines, kept here so that anything
// reporting a transfer or a difference says the same.

#include "CheckedWrite.h"
#include "FieldModel.h"
#include "Operation.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <span>

// The sequences of a transfer are operations on the module.
using Sequence = Operation;

// The two ways an outcome is said: the transfer window's line (" Write: 15 of
// 15 blocks acknowledged.") and a command's line after its port's name
// ("write 15 of 15 blocks acknowledged"), which also names the backup file and
// the port's error.
enum class OutcomeForm { Window, Line };

// Why a sequence stopped early: "no answer", "the module answered for block 4",
// "no acknowledgement", "the port is closed", "stopped"; empty when it did not stop.
QString stopReason(const TransferResult &result);
// " (2 repeated)" when blocks had to be asked for or sent again, " (1 checked
// by reading back)" for written blocks found stored so, both joined by a
// comma; else empty.
QString repeatedText(const TransferResult &result);

// " Read: 15 of 15 blocks.", " Compare stopped at block 3 of 15: no answer.",
// " Compare: 2 fields differ.", ... Blocks count from 1. `differences` is
// what a compare or verify found. Empty when there was no connection: the
// message box has said so.
QString outcomeText(Sequence sequence, const TransferResult &result,
                    const FieldModel::ImageDifferences &differences = {}, OutcomeForm form = OutcomeForm::Window);
// "1 field differs", "2 fields differ (4 stored differently)": the fields
// stored differently with the same value are counted apart.
QString differenceCountText(const FieldModel::ImageDifferences &differences);
// How a write with its optional backup and verify ended, with the note of a
// history entry that could not be kept.
QString outcomeText(const WriteOutcome &write, OutcomeForm form = OutcomeForm::Window);
// The write's ending as its history entry records it: "Verify: 2 fields differ."
QString entryOutcomeText(const WriteOutcome &write);
// " Read from file: NAME." / " Saved to file: NAME."
QString fileOutcomeText(bool loaded, const QString &name);

// A value as people read it: texts and event codes in double quotes, so that
// blanks show; an empty number or event code as "(none)"; a secret masked as
// ******** unless shown.
QString shownValue(const EEAddr::Field &field, const FieldModel::FieldValue &value,
                   FieldModel::Secrets secrets = FieldModel::Secrets::Masked);
// Bytes first to last of an image in hexadecimal: "0A 1B FF".
QString hexBytes(std::span<const std::uint8_t> image, int first, int last);

struct DifferenceRow
{
    QString page;  // the editor page's caption; empty for bytes outside every field
    QString label; // the English label, or "bytes 94 to 101"
    QString name;  // the field's layout name; empty for bytes outside every field
    QString a;     // the value in the first image
    QString b;     // the value in the second
    // Stored differently, same value: a and b are the differing bytes in
    // hexadecimal, `range` says where they lie ("bytes 2 to 5").
    bool sameValue = false;
    QString range;

    QStringList cells() const { return {page, label, name, a, b}; }
};

// The heading above the rows stored differently with the same value.
inline constexpr char SameValueHeading[] = "stored differently, same value";

// The column headings of the rows: "Page", "Field", "Name", then what was compared.
QStringList differenceColumns(const QString &headingA, const QString &headingB);

// One row per field whose value differs, then one per run of bytes outside
// every field, then the fields stored differently with the same value.
// Values as shownValue() gives them; where two different values show alike
// both show as hex bytes instead, but a masked secret shows "changed" and
// never its bytes.
QList<DifferenceRow> differenceRows(const FieldModel::ImageDifferences &differences,
                                    std::span<const std::uint8_t> a, std::span<const std::uint8_t> b,
                                    FieldModel::Secrets secrets = FieldModel::Secrets::Masked);
// Tab-separated lines with a heading line, for the clipboard; the same-value
// rows under SameValueHeading.
QString differencesText(const QList<DifferenceRow> &rows, const QString &headingA, const QString &headingB);
// One line per row for a terminal: "NAME (LABEL): A -> B", "bytes 94 to 101
// (outside every field): A -> B", then SameValueHeading and "NAME (LABEL),
// bytes 2 to 5: A -> B". With headings, a first line says which side is
// which: "module -> file".
QStringList differenceLines(const QList<DifferenceRow> &rows, const QString &headingA = {},
                            const QString &headingB = {});
// The differences as a JSON document: "format": "quelmar-parameters-diff",
// "version": 1, "fields" (name, label, a, b as the export writes values) and
// "bytes" (first, last, a, b as hexadecimal digits); a masked secret as
// "********" (or "changed").
QByteArray differencesJson(const FieldModel::ImageDifferences &differences, std::span<const std::uint8_t> a,
                           std::span<const std::uint8_t> b,
                           FieldModel::Secrets secrets = FieldModel::Secrets::Masked);
