#pragma once
// The runner of the module commands over one or several ports at once: each
// port on its own thread with its own link (PortWorker); the threads only
// fill their PortState, and this thread prints, so the output of several
// modules never interleaves within a line. Progress lines (one per port,
// redrawn in place) only on a terminal and without --quiet.

#include "CommandLine.h"

#include "params/PortWorker.h"

#include <QCommandLineOption>
#include <QMutex>
#include <QStringList>

#include <atomic>
#include <deque>
#include <functional>
#include <optional>

namespace Cli {

// The options every module command takes.
const QCommandLineOption &portOption();
const QCommandLineOption &quietOption();
const QCommandLineOption &traceOption();
const QCommandLineOption &retriesOption();

// The status command, with the options every module command takes.
Command statusCommand(const QList<QCommandLineOption> &common);

// The help's paragraph on ports, time-outs and repeats, from the transfer's
// own constants.
QString portsHelp();

// What one port's thread reports. Progress is read while the thread runs;
// everything else once it has ended, except `pending`, guarded by its lock.
struct PortState
{
    QString port;
    std::atomic<int> stage{-1}; // index into the command's stage names
    std::atomic<int> position{0};
    QStringList out;
    QStringList err;
    bool failed = false;

    QMutex lock;
    QStringList pending; // status lines, printed as they arrive

    void succeed(const QString &text) { out << port + QStringLiteral(": ") + text; }
    void fail(const QString &text)
    {
        err << port + QStringLiteral(": ") + text;
        failed = true;
    }
};

// Every --port, lists split, as upper-case names; nullopt after a usage error.
std::optional<QStringList> parsePorts(const QCommandLineParser &p, Io &io);
// The folder and its missing parents, the owner's only (they hold parameter
// sets); false after an input error with the system's reason.
bool madeFolder(Io &io, const QString &path);
// The file for a port: the path itself for one port, else PATH/COMn.SUFFIX
// (the folder made when missing). Empty after an input error.
QString perPortPath(Io &io, const QString &path, const QStringList &ports, const QString &port, const char *suffix);
// Lines (differences, say) indented under their outcome line.
QStringList indented(const QStringList &lines);

// Runs the operation on every port at once and prints, in port order, each
// port's outcome lines.
class PortRun
{
public:
    using Job = std::function<void(PortWorker &, PortState &)>;

    // stages: the names of the sequences the progress counts ("backup",
    // "write", ...); none draws no progress.
    PortRun(const QCommandLineParser &p, Io &io, QStringList ports, QStringList stages);

    bool usable() const { return m_usable; }
    // Where one of paths is standard output, it carries that file alone: the
    // outcome lines go to standard error and no progress is drawn.
    void keepOutFor(const QStringList &paths);
    std::deque<PortState> &states() { return m_states; }

    // ExitDone, or ExitDiffers when any port failed.
    int run(const Job &job, const std::function<void()> &alsoOnTick = {});

private:
    void serve(int i, const Job &job);
    void drawProgress();

    Io &m_io;
    bool m_quiet;
    QStringList m_ports;
    QStringList m_stages;
    QStringList m_tracePaths;
    std::deque<PortState> m_states;
    bool m_usable = true;
    bool m_dataOnOut = false;
    int m_drawn = 0;
    int m_retries = Transfer::MaxRetries;
};

} // namespace Cli
