#pragma once
// The parameter file: the 1088 bytes of the image, nothing else. Saving never
// destroys the file it replaces, and a failed load leaves the image as it was.

#include "ParameterImage.h"

#include <QString>

#include <cstdint>
#include <span>

namespace ParameterFile {

struct Result
{
    bool ok = true;
    QString message; // for the message box; empty when ok
};

// The text for a file that ends before the image does.
inline constexpr char ReadBeyondEndText[] = "Read beyond end of file";

// The message for a system error number: "File not found", "Invalid filename",
// "Too many open files", "File access denied", "Disk full", or "I/O error N".
QString errorText(int errorNumber);

// Writes a temporary file beside the target, flushes it to disk and renames it
// over the target, so the old file stays whole if anything fails. An existing
// file is replaced without a question and keeps its permissions.
Result save(const QString &path, const ImageBytes &image);
// The same for any contents, such as an export of the image.
Result saveBytes(const QString &path, std::span<const std::uint8_t> bytes);

// Takes the first 1088 bytes of the file. A shorter, missing or unreadable
// file leaves the image unchanged.
Result load(const QString &path, ImageBytes &image);

} // namespace ParameterFile
