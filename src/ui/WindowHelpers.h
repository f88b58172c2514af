#pragma once
// Small things every window of the application shares.

#include <QString>
#include <exception>

class QHeaderView;
class QWidget;

// The application's default handling of an error that reaches the user
// interface: its message in an error box, after which the program goes on.
void showErrorBox(const QString &message);
void showException(const std::exception &error);

// Asks a question with the buttons Yes and No, No being the default (Enter
// and Esc both answer No); true for Yes.
bool askYesNo(QWidget *parent, const QString &question);

// Shows a non-modal window, or brings it forward when it is open already.
void bringForward(QWidget *window);

// The widest a top-level window may be on its screen, its frame left out.
int roomOnScreen(const QWidget *window);

// Places a top-level window in the middle of the screen it is on.
void centreOnScreen(QWidget *window);
// Places a top-level window just right of another when it fits on that
// screen there, else just left of it. When neither side has room at its
// size, it narrows (not below its minimum) into the wider side and, if
// taller than the screen, gets shorter; otherwise it stays where it is.
void placeBeside(QWidget *window, const QWidget *anchor);

// Keyboard use of a window: Return and Enter press the focused button as
// Space does; with escapeCloses, Esc closes the window.
void keyboardWindow(QWidget *window, bool escapeCloses);

// Narrows the widest columns of a list until all of them fit in `room`
// pixels, none below `minimum`; their texts elide. A stretched last column
// keeps the header's default width.
void fitColumns(QHeaderView *header, int room, int minimum = 60);

// Append: a save dialog that does not ask about a file that exists, for a
// file that is added to rather than replaced.
enum class FileDialogMode { Open, Save, Append };
// A path from the file dialog, or empty when it was cancelled. `suffix` is
// added when none is typed. Saving over a file that exists is asked first: a
// mis-click would otherwise replace a customer's file with no way back.
QString askFileName(QWidget *parent, FileDialogMode mode, const QString &filter, const QString &suffix);
// The same for a parameter file: "Quelmar 3 GPRS Data (*.QM3)".
QString askParameterFile(QWidget *parent, FileDialogMode mode);
