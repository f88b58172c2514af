#pragma once
// The small text files of the tool (port setting file, preset file): lines
// of 8-bit Windows-1250 text, each written with CR LF.

#include <QString>
#include <QStringList>
#include <optional>

namespace TextLineFile {

// A line ends at CR LF, at a lone CR or at a lone LF (files edited on other
// systems still read line by line). A final line end does not start another
// line, so "" gives no line and "\r\n" one empty line.
QStringList splitLines(const QString &text);

// Nothing when the file cannot be opened or read (missing, a directory, ...).
std::optional<QStringList> Read(const QString &fileName);

// Writes every line followed by CR LF through Files::save, so a failed write
// leaves the old file untouched. 0, or the system's error number.
[[nodiscard]] int Write(const QString &fileName, const QStringList &lines);

} // namespace TextLineFile
