#pragma once
// The parameter file: the 1088 bytes of the image, nothing else. Saving never
// destroys the file it replaces, and a failed load leaves the image as it was.

#include "ParameterImage.h"

#include <QString>


namespace ParameterFile {

struct Result
{
    bool ok = true;
    QString message; // for the message box; empty when ok
    int error = 0;   // the system's error number, when the system gave one
};

// The text for a file that ends before the image does.
inline constexpr char ReadBeyondEndText[] = "Read beyond end of file";

// The message for a system error number: "File not found", "Invalid filename",
// "Too many open files", "File access denied", "Disk full", or "I/O error N".
QString errorText(int errorNumber);

// Saved through Files::save, readable by its owner only when new (it holds the
// GPRS login); an existing file is replaced without a question and keeps its
// permissions.
Result save(const QString &path, const ImageBytes &image);

// Takes the first 1088 bytes of the file. A shorter, missing or unreadable
// file leaves the image unchanged.
Result load(const QString &path, ImageBytes &image);

} // namespace ParameterFile
