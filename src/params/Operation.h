#pragma once
// The operations on a module's parameter set, named once: outcome lines, the
// history's file names and its window all say them in these words.

#include <QString>

enum class Operation { Read, Compare, Write, Backup, Verify };

// "Read", "Compare", "Write", "Backup", "Verify".
QString operationName(Operation operation);
