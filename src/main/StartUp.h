#pragma once
// Program start and end. main() only calls runQuelmar; tests call the steps.

// Application-wide settings: style, name, and that only the splash window's
// closing ends the program.
void configureApplication();

// Creates the windows, hidden, in their fixed order, then shows the splash,
// whose show handler creates the main window and starts the splash timer.
void startUp();

// Links between windows whose folders may not include each other: the
// transfer window's "Edit parameters" opens the editor on the image, and
// "Sites..." the Sites window, whose site in work it records to.
void connectWindows();

// Destroys the windows, the main window first (it stores the port name and
// closes the port), then the others in the reverse order of their creation.
void shutDown();

#include "report/Report.h"

#include <QStringList>
#include <optional>

// The report of the image as the transfer window holds it: where its values
// come from, and the module's last state when the status window received one.
Report::Contents imageReportContents();

class FrameTrace;

// The command line: --help, --version and --trace FILE, nothing else.
// Returns the exit status when the program is to end at once (help and
// version printed: 0; a usage error or a trace file that cannot be opened,
// reported on standard error: 2); otherwise opens the trace if asked for.
std::optional<int> parseStartOptions(const QStringList &arguments, FrameTrace &trace);

// The trace of every frame that --trace opened, or null.
FrameTrace *startUpTrace();

int runQuelmar(int &argc, char **argv);
