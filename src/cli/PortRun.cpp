#include "PortRun.h"

#include "common/Files.h"
#include "common/ShownText.h"
#include "link/FrameTrace.h"
#include "serial/PortMap.h"

#include <QDir>

#include <unistd.h>

namespace Cli {

namespace {

constexpr int Blocks = EEAddr::BlockCount;

// The bar of the windows becomes the progress of one port, one stage per
// sequence (backup, write, verify).
class PortProgress : public TransferDisplay
{
public:
    explicit PortProgress(PortState &state)
        : m_state(state)
    {
    }
    void sequenceStarted() override
    {
        m_state.position = 0;
        ++m_state.stage;
    }
    void DisableButtons() override {}
    void EnableButtons() override {}
    void setProgress(int position) override { m_state.position = position; }
    void SetBarColour(std::uint32_t) override {}
    void showMessage(const QString &) override {}
    // The transfer's result carries the port's error.
    void showError(const QString &) override {}

private:
    PortState &m_state;
};

} // namespace

const QCommandLineOption &portOption()
{
    static const QCommandLineOption option(QStringLiteral("port"),
                                           QStringLiteral("A port COM1 to COM96; repeat it or give a list "
                                                          "COM33,COM34 to serve several modules at once."),
                                           QStringLiteral("COMn"));
    return option;
}

const QCommandLineOption &quietOption()
{
    static const QCommandLineOption option(QStringList{QStringLiteral("q"), QStringLiteral("quiet")},
                                           QStringLiteral("Print only errors."));
    return option;
}

const QCommandLineOption &traceOption()
{
    static const QCommandLineOption option(QStringLiteral("trace"),
                                           QStringLiteral("Log every frame sent and received into FILE (with "
                                                          "several ports: a folder, one COMn.trace each)."),
                                           QStringLiteral("FILE"));
    return option;
}

const QCommandLineOption &retriesOption()
{
    static const QCommandLineOption option(
        QStringLiteral("retries"),
        QStringLiteral("Ask again for a block whose answer is lost or damaged (send it again when unacknowledged) "
                       "up to N times, 0 to %1; 0 turns repeats off (default %1).")
            .arg(Transfer::MaxRetries),
        QStringLiteral("N"), QString::number(Transfer::MaxRetries));
    return option;
}

QString portsHelp()
{
    using namespace Transfer;
    const auto seconds = [](int ticks) { return QString::number(ticks * TickMs / 1000); };
    return QStringLiteral(
               "Ports are the tool's names COM1 to COM96, mapped to devices through the port\n"
               "directory as in the windows. With several ports the modules are served at the\n"
               "same time, one link each; one that does not answer or is unplugged ends only its\n"
               "own operation. One outcome line per port; exit status 1 when any port failed.\n"
               "Time-outs: %1 s per block for read and compare, %2 s for write. A block whose\n"
               "answer is lost or damaged is asked for again (a write: sent again) once the\n"
               "answer is %3 ms overdue and the line quiet for %4 ms, up to %5 times with %6 s\n"
               "per try, within those limits; --retries 0 turns this off.")
        .arg(seconds(ReadTicks), seconds(WriteTicks), QString::number(LostMarginMs), QString::number(QuietGapMs),
             QString::number(MaxRetries), seconds(TryTicks));
}

QStringList indented(const QStringList &lines)
{
    QStringList result;
    for (const QString &line : lines)
        result << QStringLiteral("  ") + line;
    return result;
}

// Every --port, lists split, as upper-case names; nullopt after a usage error.
std::optional<QStringList> parsePorts(const QCommandLineParser &p, Io &io)
{
    QStringList ports;
    for (const QString &value : p.values(portOption()))
        for (const QString &item : value.split(QLatin1Char(','))) {
            // COM049 is COM49: one spelling per port, so that "given twice" sees it.
            const int number = PortMap::portNumber(item.trimmed());
            const QString name = QStringLiteral("COM%1").arg(number);
            if (number < PortMap::FirstPort || number > PortMap::LastPort) {
                fail(io, ExitUsage, QStringLiteral("--port: '%1' is not a port COM1 to COM96").arg(item));
                return std::nullopt;
            }
            if (ports.contains(name)) {
                fail(io, ExitUsage, QStringLiteral("--port: %1 is given twice").arg(name));
                return std::nullopt;
            }
            ports << name;
        }
    if (ports.isEmpty()) {
        fail(io, ExitUsage, QStringLiteral("--port is required"));
        return std::nullopt;
    }
    return ports;
}

// The folder and its missing parents, the owner's only (they hold parameter
// sets); false after an input error with the system's reason.
bool madeFolder(Io &io, const QString &path)
{
    const int error = Files::makeFolder(path, Files::Access::Private);
    if (error != 0)
        failFile(io, ExitUsage, path, QStringLiteral("cannot make the folder: ") + Files::systemText(error));
    return error == 0;
}

// The file for a port: the path itself for one port, else PATH/COMn.SUFFIX
// (the folder made when missing). Empty after an input error.
QString perPortPath(Io &io, const QString &path, const QStringList &ports, const QString &port, const char *suffix)
{
    if (ports.size() == 1)
        return path;
    if (!madeFolder(io, path))
        return {};
    return QDir(path).filePath(port + QLatin1Char('.') + QLatin1String(suffix));
}

PortRun::PortRun(const QCommandLineParser &p, Io &io, QStringList ports, QStringList stages)
    : m_io(io)
    , m_quiet(p.isSet(quietOption()))
    , m_ports(std::move(ports))
    , m_stages(std::move(stages))
    , m_states(static_cast<std::size_t>(m_ports.size()))
{
    for (int i = 0; i < m_ports.size(); ++i)
        m_states[static_cast<std::size_t>(i)].port = m_ports[i];
    bool number = false;
    m_retries = p.value(retriesOption()).toInt(&number);
    if (!number || m_retries < 0 || m_retries > Transfer::MaxRetries) {
        fail(io, ExitUsage,
             QStringLiteral("--retries: '%1' is not 0 to %2").arg(p.value(retriesOption())).arg(Transfer::MaxRetries));
        m_usable = false;
    }
    if (p.isSet(traceOption()))
        for (const QString &port : m_ports) {
            m_tracePaths << perPortPath(io, p.value(traceOption()), m_ports, port, "trace");
            if (m_tracePaths.last().isEmpty()) {
                m_usable = false; // said once, not once per port
                break;
            }
            // Refused before any port is opened, so nothing is replaced.
            if (const QString refused = FrameTrace::refusal(m_tracePaths.last()); !refused.isEmpty()) {
                fail(io, ExitUsage, refused);
                m_usable = false;
                break;
            }
            if (refuseSameFile(io, m_tracePaths.last(), p.positionalArguments())) {
                m_usable = false;
                break;
            }
        }
    keepOutFor(m_tracePaths);
}

void PortRun::keepOutFor(const QStringList &paths)
{
    for (const QString &path : paths)
        m_dataOnOut = m_dataOnOut || Files::descriptorOf(path) == STDOUT_FILENO;
}

int PortRun::run(const Job &operation, const std::function<void()> &alsoOnTick)
{
    const bool progress = m_io.outIsTerminal && !m_quiet && !m_stages.isEmpty() && !m_dataOnOut;
    const QStringList failures = runConcurrently(
        int(m_ports.size()), [&](int i) { serve(i, operation); },
        [&] {
            if (alsoOnTick)
                alsoOnTick();
            if (progress)
                drawProgress();
        });
    // What ended a port's thread early is that port's failure only.
    for (int i = 0; i < failures.size(); ++i)
        if (!failures[i].isEmpty())
            m_states[static_cast<std::size_t>(i)].fail(failures[i]);
    if (m_drawn > 0) // the outcome lines replace the progress lines
        m_io.out << QStringLiteral("\x1b[%1A\r\x1b[J").arg(m_drawn);
    bool failed = false;
    for (PortState &s : m_states) {
        if (!m_quiet)
            for (const QString &line : s.out)
                (m_dataOnOut ? m_io.err : m_io.out) << ShownText::shown(line) << '\n';
        for (const QString &line : s.err)
            m_io.err << ShownText::shown(line) << '\n';
        failed = failed || s.failed;
    }
    m_io.out.flush();
    m_io.err.flush();
    return failed ? ExitDiffers : ExitDone;
}

void PortRun::serve(int i, const Job &operation)
{
    PortState &s = m_states[static_cast<std::size_t>(i)];
    PortProgress display(s);
    // Before the worker, whose codec points at it until the worker goes.
    FrameTrace trace;
    PortWorker worker(s.port, display);
    worker.transfer.setRetries(m_retries);
    if (!m_tracePaths.isEmpty()) {
        QString error;
        if (!trace.open(m_tracePaths[i], &error)) {
            s.fail(QStringLiteral("cannot write the trace ") + error);
            return;
        }
        worker.link.Codec.setTrace(&trace);
    }
    if (!worker.open().isEmpty()) {
        s.fail(QStringLiteral("cannot open ")
               + Files::errorMessage(worker.link.ComPort1.devicePath(), worker.openError()));
        return;
    }
    operation(worker, s);
    worker.link.Codec.setTrace(nullptr);
}

void PortRun::drawProgress()
{
    QString text;
    if (m_drawn > 0)
        text += QStringLiteral("\x1b[%1A").arg(m_drawn);
    for (const PortState &s : m_states) {
        const int stage = s.stage;
        const QString what = stage < 0 ? QStringLiteral("opening")
                                       : QStringLiteral("%1 block %2 of %3")
                                             .arg(m_stages.value(stage, m_stages.last()))
                                             .arg(std::min(s.position.load() + 1, Blocks))
                                             .arg(Blocks);
        text += QStringLiteral("\r\x1b[K%1: %2\n").arg(s.port, what);
    }
    m_drawn = int(m_states.size());
    m_io.out << text;
    m_io.out.flush();
}

} // namespace Cli
