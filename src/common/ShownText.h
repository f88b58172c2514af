#pragma once
// Text that came from outside (a file, the site book, the module) is shown to
// people through these routines only: on a terminal, in the windows' lists and
// in the report. A control or direction-override character in it would retitle
// or clear a terminal, forge a line or turn a name around, so each is shown as
// an escape ("\u001b", "\n") and the text reads as what it holds.

#include <QString>
#include <QStringView>

namespace ShownText {

enum class Breaks { Escaped, Kept };

// True for characters shown escaped: C0 and C1 controls, DEL, the direction
// marks, embeddings, overrides and isolates, and the line and paragraph separators.
bool isControl(QChar c);

// The text with each such character escaped; with Breaks::Kept, line feeds
// and tabs (a note's lines) stay as they are.
QString shown(QStringView text, Breaks breaks = Breaks::Escaped);

// In double quotes, with '"' and '\' escaped too: a value whose ends and
// blanks must be seen.
QString quoted(QStringView text);

// True when the text holds a character shown escaped; with Breaks::Kept, line
// feeds and tabs do not count.
bool hasControl(QStringView text, Breaks breaks = Breaks::Escaped);

} // namespace ShownText
