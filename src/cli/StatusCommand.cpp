// quelmar-params status: polls the module and prints its state in the
// status window's words, once or until interrupted.

#include "PortRun.h"

#include "common/ShownText.h"
#include "status/StatusCsv.h"
#include "status/StatusDisplay.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QMutexLocker>

#include <csignal>

namespace Cli {

namespace {

constexpr int PollMs = 500;
// A status answer is awaited as long as a block is.
constexpr int StatusPatienceMs = Transfer::ReadTicks * Transfer::TickMs;

const QCommandLineOption WatchOption(QStringLiteral("watch"),
                                     QStringLiteral("Print every status message until interrupted."));
const QCommandLineOption CsvOption(QStringLiteral("csv"), QStringLiteral("Print CSV rows (one port only)."));

// SIGINT and SIGTERM end a --watch cleanly.
std::atomic<bool> stopWatching{false};

extern "C" void onStopSignal(int)
{
    stopWatching = true;
}

// The status window's fields and the state texts of one port.
class StatusListener : public StatusSink, public MemoSink
{
public:
    StatusListener(PortState &state, bool csv)
        : m_state(state)
        , m_csv(csv)
    {
    }
    int messages = 0;

    StatusFields &Status() override { return m_fields; }
    void RefreshStatus() override
    {
        ++messages;
        const QDateTime now = QDateTime::currentDateTime();
        if (m_csv) {
            post(StatusCsv::statusRow(now, m_fields));
            return;
        }
        post(m_state.port + QStringLiteral(": ") + statusLine(describeStatus(m_fields)));
    }
    void AppendToMemo(MemoId memo, const QString &text, bool) override
    {
        if (memo != MemoId::MemoState)
            return;
        for (const QString &line : m_lines.add(text))
            post(m_csv ? StatusCsv::textRow(QDateTime::currentDateTime(), line)
                       : m_state.port + QStringLiteral(": text: ") + line);
    }

private:
    void post(const QString &line)
    {
        QMutexLocker locker(&m_state.lock);
        m_state.pending << line;
    }

    PortState &m_state;
    bool m_csv;
    StatusFields m_fields;
    StateTextLines m_lines;
};

int runStatus(const QCommandLineParser &p, Io &io)
{
    const auto ports = parsePorts(p, io);
    if (!ports)
        return ExitUsage;
    const bool watch = p.isSet(WatchOption);
    const bool csv = p.isSet(CsvOption);
    if (csv && ports->size() > 1)
        return fail(io, ExitUsage, QStringLiteral("status: --csv takes one port"));
    PortRun run(p, io, *ports, {});
    if (!run.usable())
        return ExitUsage;
    if (csv)
        io.out << StatusCsv::header() << '\n';

    stopWatching = false;
    struct sigaction action{}, oldInt{}, oldTerm{};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &oldInt);
    sigaction(SIGTERM, &action, &oldTerm);

    const auto printPending = [&] {
        for (PortState &s : run.states()) {
            QMutexLocker locker(&s.lock);
            for (const QString &line : std::as_const(s.pending))
                io.out << ShownText::shown(line) << '\n'; // the module's state texts among them
            s.pending.clear();
        }
        io.out.flush();
    };
    const int status = run.run(
        [&](PortWorker &w, PortState &s) {
            StatusListener listener(s, csv);
            w.link.Dispatcher.StatusWindow = &listener;
            w.link.Dispatcher.Memos = &listener;
            QElapsedTimer clock;
            clock.start();
            const auto finished = [&] { return stopWatching || (!watch && listener.messages > 0); };
            // One poll, then the transfer's own wait until the next: the
            // port's bytes, its tick and a closed port wake it.
            while (w.link.ComPort1.Connected() && !finished()) {
                if (!watch && clock.elapsed() > StatusPatienceMs)
                    break;
                try {
                    w.link.Codec.SendText(QByteArrayLiteral("??"));
                } catch (const ESerialPort &) {
                    break;
                }
                w.transfer.watch(finished, PollMs);
            }
            w.link.Dispatcher.StatusWindow = nullptr;
            w.link.Dispatcher.Memos = nullptr;
            if (!w.link.ComPort1.Connected())
                s.fail(QStringLiteral("status: the port is closed"));
            else if (listener.messages == 0)
                s.fail(QStringLiteral("status: no answer"));
        },
        printPending);
    printPending();
    sigaction(SIGINT, &oldInt, nullptr);
    sigaction(SIGTERM, &oldTerm, nullptr);
    return status;
}

} // namespace

Command statusCommand(const QList<QCommandLineOption> &common)
{
    return {QStringLiteral("status"), QStringLiteral("status --port COMn [--watch] [--csv]"),
         QStringLiteral("Polls the module and prints its state in the status window's words"),
         QStringLiteral("Polls with \"??\" every %1 ms and prints the first status message (every one\n"
                        "with --watch, until Ctrl+C) and the state texts as they arrive. --csv prints\n"
                        "the columns ").arg(PollMs)
             + StatusCsv::header() + QStringLiteral(".\n\n") + portsHelp(),
         common + QList<QCommandLineOption>{WatchOption, CsvOption}, 0, 0, runStatus};
}

} // namespace Cli
