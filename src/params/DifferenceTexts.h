#pragma once
// Differences between two parameter sets in words: how many fields differ,
// each value as people read it, the rows of the windows' list, the command
// line's lines and the `diff --json` document; a secret masked in all of them
// by one rule.

#include "FieldModel.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <span>

// "1 field differs", "2 fields differ (4 stored differently)": the fields
// stored differently with the same value are counted apart.
QString differenceCountText(const FieldModel::ImageDifferences &differences);
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
