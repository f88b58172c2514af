#pragma once
// The GPRS operator presets of the settings window. Each entry is one line:
// the operator's name padded to 39 characters, then "apn","user","password"
// from the 40th character on. Entry 0 is always the custom entry, whatever
// its line says.

#include <QString>
#include <QStringList>

namespace GprsPresets {

inline constexpr int NameWidth = 39;
inline const QString FileName = QStringLiteral("APNs.dat");

struct PresetFields
{
    QString apn;
    QString userName;
    QString password;

    friend bool operator==(const PresetFields &, const PresetFields &) = default;
};

// name padded with blanks to NameWidth, then the three quoted fields.
QString presetLine(const QString &name, const PresetFields &fields);

// The five entries built into the tool, the custom entry first.
QStringList builtInList();

// The three quoted fields of a line. A field whose closing quote is missing
// is empty, and so are all fields of a line without quotes.
PresetFields readPresetLine(const QString &line);

// The lines of the preset file (Windows-1250; CR LF, CR or LF end a line).
// A missing or unreadable file, or one without any line, gives the built-in
// list, so there always is a custom entry 0.
QStringList loadPresetList(const QString &fileName = FileName);

// Every entry as one line ending in CR LF, replacing the file; a failed save
// leaves the old file as it was and returns false.
[[nodiscard]] bool savePresetList(const QStringList &list, const QString &fileName = FileName);

// What the three text fields show for a selected entry: the remembered custom
// texts for entry 0 (or no valid selection), the line's fields otherwise.
bool isCustomEntry(const QStringList &list, int index);
PresetFields selectionTexts(const QStringList &list, int index, const PresetFields &remembered);

} // namespace GprsPresets
