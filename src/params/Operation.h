#pragma once
// The operations on a module's parameter set, named once: outcome lines, the
// history's file names and its window all say them in these words.

#include <QString>

#include <optional>

// File: a set put into a site from a file or the editor.
enum class Operation { Read, Compare, Write, Backup, Verify, File };

// "Read", "Compare", "Write", "Backup", "Verify", "File".
QString operationName(Operation operation);
// The name in lower case, as file names and the site book keep it: "read".
QString operationWord(Operation operation);
std::optional<Operation> operationFromWord(const QString &word);
