#pragma once
// How text fragments from the module become memo lines. A line ends with CR
// only; LF is dropped; a CR after an ended line adds a line with one blank so
// that empty lines stay visible. Fragments of one line may arrive in any
// number of messages, so each memo keeps a mark of whether its last line is
// finished.

#include <QString>
#include <QStringList>
#include <QStringView>

struct MemoAppend
{
    QString toLastLine;  // goes onto the memo's last line (starts it in an empty memo)
    QStringList newLines; // then appended as lines of their own
};

// Feeds one fragment; lineEnded is the memo's mark, updated.
MemoAppend assembleMemoText(bool &lineEnded, QStringView text);
