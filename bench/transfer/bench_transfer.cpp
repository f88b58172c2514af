// bench_transfer: full reads, writes and compares against quelmar-module-sim
// at 19200 bit/s over a pseudo-terminal and the real serial port component.
// Prints each operation's wall time, its ratio to the line-time floor and
// the process CPU time as a share of the wall time. Then a backed-up,
// verified write of a one-field change, of every block and of the changed
// block only, against each one's floor. Then reads on a noisy line (random
// bytes at four rates, seeded): how many complete, whether each is
// byte-exact, their mean and worst time against the floor. Then writes to
// modules that duplicate or delay an acknowledgement or lose a write: what
// the write reported against what the module holds. Last, full reads through
// a relay that hands the module's bytes over in 16 ms batches, as a USB
// adapter's latency timer does.
//
//   bench_transfer [--repeat N] [--noisy-reads N] [--sim PATH]

#include "link/ModuleLink.h"
#include "params/CheckedWrite.h"
#include "params/ParameterFile.h"
#include "params/Transfer.h"

#include "common/BenchSimulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include "serial/PortMap.h"

#include <QFile>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int Baud = 19200;
constexpr int SimPort = 93;
// 15 blocks, each 144 bytes on the line (18 + 126), 10 bits a byte.
constexpr double FloorSeconds = 15.0 * 144 * 10 / Baud;

// The benchmark looks only at times; the bar is not needed.
struct NoDisplay : TransferDisplay
{
    void DisableButtons() override {}
    void EnableButtons() override {}
    void setProgress(int) override {}
    void SetBarColour(std::uint32_t) override {}
    void showMessage(const QString &text) override { std::fprintf(stderr, "message:%s\n", qPrintable(text)); }
    void showError(const QString &text) override { std::fprintf(stderr, "error: %s\n", qPrintable(text)); }
};

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval &t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct Figures
{
    double wall = 0;
    double cpu = 0;
};

// One block each way: a request and its answer, or a block and its
// acknowledgement, 144 bytes on the line.
constexpr double BlockSeconds = FloorSeconds / 15;

// `runs` backed-up, verified writes of a one-field change each (the module
// holds `image` before the first), of every block and of the changed block
// only; one row a kind. False when a write did not verify.
bool oneFieldWrites(ParameterTransfer &transfer, ImageBytes &image, const QString &folder, int runs)
{
    struct Kind
    {
        const char *name;
        bool changedOnly;
        double floor;
    };
    const Kind kinds[] = {{"full", false, 3 * FloorSeconds}, {"changed", true, FloorSeconds + 2 * BlockSeconds}};
    std::printf("\nbackup + write + verify of a one-field change (block 5), %d runs each\n", runs);
    std::printf("%-8s %9s %9s %7s %7s %7s\n", "write", "mean s", "floor s", "ratio", "worst", "CPU %");
    for (const Kind &kind : kinds) {
        CheckedWriteOptions options;
        options.verify = options.backup = true;
        options.changedOnly = kind.changedOnly;
        options.port = QStringLiteral("COM%1").arg(SimPort);
        options.history = History::Store(folder + QStringLiteral("/history"));
        Figures total;
        double worst = 0;
        for (int r = 0; r < runs; ++r) {
            image[300] ^= 0x11; // an event code: one field of block 5
            QElapsedTimer clock;
            const double cpuBefore = cpuSeconds();
            clock.start();
            const WriteOutcome outcome = checkedWrite(transfer, options);
            const double wall = static_cast<double>(clock.nsecsElapsed()) / 1e9;
            if (outcome.ending != WriteEnding::Verified || int(outcome.sent.count()) != (kind.changedOnly ? 1 : 15)) {
                std::fprintf(stderr, "bench_transfer: %s write run %d did not verify\n", kind.name, r + 1);
                return false;
            }
            total.wall += wall;
            total.cpu += cpuSeconds() - cpuBefore;
            worst = std::max(worst, wall);
        }
        const double mean = total.wall / runs;
        std::printf("%-8s %9.3f %9.3f %7.3f %7.3f %7.2f\n", kind.name, mean, kind.floor, mean / kind.floor,
                    worst / kind.floor, 100 * total.cpu / total.wall);
        std::fflush(stdout);
    }
    return true;
}

constexpr int NoisyPort = 94;
constexpr double NoiseLevels[] = {0.0005, 0.001, 0.002, 0.005};

// A module holding `image` in a parameter file, for the simulators below.
QString imageFile(const QString &folder, ImageBytes &image)
{
    for (std::size_t i = 0; i < EEAddr::ModuleBytes; ++i)
        image[i] = static_cast<std::uint8_t>(i * 13 + 7);
    const QString file = folder + QStringLiteral("/module.QM3");
    return ParameterFile::save(file, image).ok ? file : QString();
}

void stopSimulator(QProcess &sim)
{
    ::kill(static_cast<pid_t>(sim.processId()), SIGTERM);
    if (!sim.waitForFinished(20000))
        sim.kill();
}

// One simulator and the link to it, for a few operations.
struct Session
{
    QProcess sim;
    ModuleLink link;
    NoDisplay display;
    ImageBytes image{};
    TransferBytes buffer{};
    ParameterTransfer transfer{display, image, buffer};

    bool start(const QString &simPath, int simPort, const QStringList &extra, int toolPort = 0)
    {
        if (!startSimulator(sim, simPath, simPort, Baud, extra))
            return false;
        link.ComPort1.setPort(QStringLiteral("COM%1").arg(toolPort ? toolPort : simPort));
        link.ComPort1.setBaudRate(Baud);
        if (link.connect() != ConnectionState::Connected)
            return false;
        transfer.Link = {&link.ComPort1, &link.Codec, &link.Dispatcher.Reception};
        return true;
    }
    ~Session()
    {
        link.disconnect();
        if (sim.state() != QProcess::NotRunning)
            stopSimulator(sim);
    }
};

struct ReadFigures
{
    int completed = 0;
    int exact = 0;
    int repeated = 0;
    double wall = 0;
    double worst = 0;
};

ReadFigures timedReads(ParameterTransfer &transfer, ImageBytes &read, const ImageBytes &module, int reads)
{
    ReadFigures f;
    for (int r = 0; r < reads; ++r) {
        read.fill(0x55);
        QElapsedTimer clock;
        clock.start();
        const bool ok = transfer.Read() == TransferOutcome::Succeeded;
        const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
        f.repeated += transfer.Result().repeated;
        if (!ok)
            continue;
        ++f.completed;
        f.wall += seconds;
        f.worst = std::max(f.worst, seconds);
        f.exact += read == module ? 1 : 0;
    }
    return f;
}

// `reads` reads of a module behind a line with random bytes at each rate;
// one row per rate. False when the simulator would not start.
bool noisyReads(const QString &simPath, const QString &folder, int reads)
{
    ImageBytes module{};
    const QString file = imageFile(folder, module);
    if (file.isEmpty())
        return false;
    std::printf("\nnoisy reads: %d per rate, floor %.3f s, repeats on (3)\n", reads, FloorSeconds);
    std::printf("%-8s %10s %10s %9s %7s %7s %9s\n", "noise", "completed", "byte-exact", "mean s", "ratio", "worst",
                "repeated");
    for (const double p : NoiseLevels) {
        Session s;
        if (!s.start(simPath, NoisyPort,
                     {QStringLiteral("--image"), file, QStringLiteral("--fault"), QStringLiteral("noise=%1").arg(p),
                      QStringLiteral("--seed"), QStringLiteral("20261208")}))
            return false;
        const ReadFigures f = timedReads(s.transfer, s.image, module, reads);
        const double mean = f.completed > 0 ? f.wall / f.completed : 0;
        std::printf("1/%-6g %7d/%-2d %10d %9.3f %7.3f %7.3f %9d\n", 1 / p, f.completed, reads, f.exact, mean,
                    mean / FloorSeconds, f.worst / FloorSeconds, f.repeated);
        std::fflush(stdout);
    }
    return true;
}

// Writes against a module whose acknowledgements cannot all be trusted: what
// the write said, and whether the module then holds what was written.
bool faultyAckWrites(const QString &simPath, const QString &folder, int runs)
{
    ImageBytes module{};
    const QString file = imageFile(folder, module);
    if (file.isEmpty())
        return false;
    const char *const faults[][2] = {{"dup-ack=4", nullptr},
                                     {"late-ack=4", nullptr},
                                     {"lose-write=4", nullptr},
                                     {"dup-ack=3", "lose-write=4"},
                                     {"late-ack=3", "lose-write=4"}};
    std::printf("\nwrites against acknowledgements that cannot be placed, %d runs each\n", runs);
    std::printf("%-26s %9s %9s %8s %8s %9s\n", "fault", "reported", "holds", "checked", "repeated", "mean s");
    for (const auto &fault : faults) {
        int succeeded = 0;
        int holds = 0;
        int checked = 0;
        int repeated = 0;
        double wall = 0;
        for (int r = 0; r < runs; ++r) {
            QStringList extra{QStringLiteral("--image"), file};
            for (const char *f : fault)
                if (f)
                    extra << QStringLiteral("--fault") << QString::fromLatin1(f);
            Session s;
            if (!s.start(simPath, NoisyPort, extra))
                return false;
            for (std::size_t i = 0; i < EEAddr::ModuleBytes; ++i)
                s.image[i] = static_cast<std::uint8_t>(module[i] ^ 0x5A);
            QElapsedTimer clock;
            clock.start();
            const bool ok = s.transfer.Write() == TransferOutcome::Succeeded;
            wall += static_cast<double>(clock.nsecsElapsed()) / 1e9;
            checked += s.transfer.Result().checkedByReadBack;
            repeated += s.transfer.Result().repeated;
            // A clean compare afterwards (each fault hits once) says what the
            // module holds.
            const bool held = s.transfer.Compare() == TransferOutcome::Succeeded;
            succeeded += ok ? 1 : 0;
            holds += held ? 1 : 0;
            if (ok && !held)
                std::fprintf(stderr, "bench_transfer: %s: a write reported success the module does not hold\n", fault[0]);
        }
        const QString name = fault[1] ? QStringLiteral("%1 %2").arg(QLatin1String(fault[0]), QLatin1String(fault[1]))
                                      : QString::fromLatin1(fault[0]);
        std::printf("%-26s %6d/%-2d %6d/%-2d %8d %8d %9.3f\n", qPrintable(name), succeeded, runs, holds, runs, checked,
                    repeated, wall / runs);
        std::fflush(stdout);
    }
    return true;
}

// Between the tool and the simulator: the tool's bytes pass at once, the
// module's are handed over every 16 ms or when 62 have gathered, as an FTDI
// adapter's latency timer and USB packets do.
class BatchingRelay
{
public:
    static constexpr auto Batch = std::chrono::milliseconds(16);
    static constexpr int Packet = 62;

    ~BatchingRelay()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        for (int fd : {m_module, m_master, m_slave})
            if (fd >= 0)
                ::close(fd);
        if (!m_link.isEmpty())
            QFile::remove(m_link);
    }

    // Publishes a port of its own, linked to the simulator's device.
    bool start(int simPort, int relayPort)
    {
        const QByteArray module = QFile::encodeName(QFile::symLinkTarget(PortMap::linkPath(simPort)));
        m_module = ::open(module.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (m_module < 0 || m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
            return false;
        for (int fd : {m_module}) {
            termios t{};
            if (::tcgetattr(fd, &t) != 0)
                return false;
            cfmakeraw(&t);
            ::tcsetattr(fd, TCSANOW, &t);
        }
        char name[128] = {};
        if (::ptsname_r(m_master, name, sizeof name) != 0)
            return false;
        // Held open, so the master never reads a hang-up between the tool's opens.
        m_slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        m_link = PortMap::linkPath(relayPort);
        QFile::remove(m_link);
        if (m_slave < 0 || !QFile::link(QString::fromLocal8Bit(name), m_link))
            return false;
        m_thread = std::thread([this] { run(); });
        return true;
    }

private:
    void run()
    {
        QByteArray held;
        auto due = std::chrono::steady_clock::time_point::max();
        char buffer[512];
        while (!m_stop) {
            const auto now = std::chrono::steady_clock::now();
            int timeout = 5;
            if (due != std::chrono::steady_clock::time_point::max())
                timeout = int(std::max<long long>(
                    0, std::chrono::duration_cast<std::chrono::milliseconds>(due - now).count()));
            pollfd fds[2] = {{m_master, POLLIN, 0}, {m_module, POLLIN, 0}};
            ::poll(fds, 2, std::min(timeout, 5));
            if (fds[0].revents & POLLIN) {
                const ssize_t n = ::read(m_master, buffer, sizeof buffer);
                if (n > 0)
                    (void)!::write(m_module, buffer, size_t(n));
            }
            if (fds[1].revents & POLLIN) {
                const ssize_t n = ::read(m_module, buffer, sizeof buffer);
                if (n > 0) {
                    if (held.isEmpty())
                        due = std::chrono::steady_clock::now() + Batch;
                    held.append(buffer, n);
                }
            }
            if (!held.isEmpty() && (held.size() >= Packet || std::chrono::steady_clock::now() >= due)) {
                (void)!::write(m_master, held.constData(), size_t(held.size()));
                held.clear();
                due = std::chrono::steady_clock::time_point::max();
            }
        }
    }

    int m_module = -1;
    int m_master = -1;
    int m_slave = -1;
    QString m_link;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

constexpr int RelayPort = 92;

bool relayedReads(const QString &simPath, const QString &folder, int reads)
{
    ImageBytes module{};
    const QString file = imageFile(folder, module);
    if (file.isEmpty())
        return false;
    QProcess sim;
    if (!startSimulator(sim, simPath, NoisyPort, Baud, {QStringLiteral("--image"), file}))
        return false;
    bool ok = false;
    {
        BatchingRelay relay;
        ModuleLink link;
        link.ComPort1.setPort(QStringLiteral("COM%1").arg(RelayPort));
        link.ComPort1.setBaudRate(Baud);
        if (relay.start(NoisyPort, RelayPort) && link.connect() == ConnectionState::Connected) {
            NoDisplay display;
            ImageBytes read{};
            TransferBytes buffer{};
            ParameterTransfer transfer(display, read, buffer);
            transfer.Link = {&link.ComPort1, &link.Codec, &link.Dispatcher.Reception};
            const ReadFigures f = timedReads(transfer, read, module, reads);
            const double mean = f.completed > 0 ? f.wall / f.completed : 0;
            std::printf("\nfull reads through a relay batching the module's bytes every 16 ms, %d runs\n", reads);
            std::printf("%10s %10s %9s %7s %7s %9s\n", "completed", "byte-exact", "mean s", "ratio", "worst", "repeated");
            std::printf("%7d/%-2d %10d %9.3f %7.3f %7.3f %9d\n", f.completed, reads, f.exact, mean, mean / FloorSeconds,
                        f.worst / FloorSeconds, f.repeated);
            std::fflush(stdout);
            ok = true;
        }
        link.disconnect();
    }
    stopSimulator(sim);
    return ok;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Times full transfers against the module simulator at 19200 bit/s."));
    parser.addHelpOption();
    const QCommandLineOption repeatOption(QStringLiteral("repeat"), QStringLiteral("Runs of each operation (default 3)."),
                                          QStringLiteral("N"), QStringLiteral("3"));
    const QCommandLineOption simOption(QStringLiteral("sim"), QStringLiteral("The simulator executable."),
                                       QStringLiteral("PATH"), QStringLiteral(QUELMAR_MODULE_SIM));
    const QCommandLineOption noisyOption(QStringLiteral("noisy-reads"),
                                         QStringLiteral("Reads per noise rate (default 50; 0 skips the table)."),
                                         QStringLiteral("N"), QStringLiteral("50"));
    parser.addOptions({repeatOption, simOption, noisyOption});
    parser.process(app);
    const int repeat = std::max(1, parser.value(repeatOption).toInt());
    const int noisy = std::max(0, parser.value(noisyOption).toInt());

    // The simulator publishes its port here, and the port map looks here.
    QTemporaryDir home;
    if (!home.isValid())
        return 1;
    qputenv("XDG_CONFIG_HOME", home.path().toLocal8Bit());

    QProcess sim;
    if (!startSimulator(sim, parser.value(simOption), SimPort, Baud)) {
        std::fprintf(stderr, "bench_transfer: the simulator did not start\n");
        return 1;
    }

    ModuleLink link;
    link.ComPort1.setPort(QStringLiteral("COM%1").arg(SimPort));
    int status = 0;
    if (link.connect() != ConnectionState::Connected) {
        std::fprintf(stderr, "bench_transfer: cannot open the simulator's port\n");
        status = 1;
    }

    NoDisplay display;
    ImageBytes image{};
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<std::uint8_t>(i * 11 + 1);
    TransferBytes buffer{};
    ParameterTransfer transfer(display, image, buffer);
    transfer.Link = {&link.ComPort1, &link.Codec, &link.Dispatcher.Reception};

    std::printf("line-time floor %.3f s (15 blocks x 144 bytes x 10 bits / %d bit/s); targets: ratio <= 1.10, "
                "CPU <= 5 %%\n\n",
                FloorSeconds, Baud);
    std::printf("%-8s %4s %9s %7s %7s\n", "op", "run", "wall s", "ratio", "CPU %");

    struct Operation
    {
        const char *name;
        TransferOutcome (ParameterTransfer::*run)();
    };
    const Operation operations[] = {{"read", &ParameterTransfer::Read},
                                    {"write", &ParameterTransfer::Write},
                                    {"compare", &ParameterTransfer::Compare}};
    for (const Operation &op : operations) {
        if (status != 0)
            break;
        Figures total;
        double worst = 0;
        for (int r = 1; r <= repeat; ++r) {
            QElapsedTimer clock;
            const double cpuBefore = cpuSeconds();
            clock.start();
            const TransferOutcome outcome = (transfer.*op.run)();
            const double wall = static_cast<double>(clock.nsecsElapsed()) / 1e9;
            const double cpu = cpuSeconds() - cpuBefore;
            if (outcome != TransferOutcome::Succeeded) {
                std::fprintf(stderr, "bench_transfer: %s run %d did not succeed\n", op.name, r);
                status = 1;
                break;
            }
            std::printf("%-8s %4d %9.3f %7.3f %7.2f\n", op.name, r, wall, wall / FloorSeconds, 100 * cpu / wall);
            total.wall += wall;
            total.cpu += cpu;
            worst = std::max(worst, wall);
        }
        if (status == 0)
            std::printf("%-8s %4s %9.3f %7.3f %7.2f   (worst ratio %.3f)\n\n", op.name, "mean", total.wall / repeat,
                        total.wall / repeat / FloorSeconds, 100 * total.cpu / total.wall, worst / FloorSeconds);
    }
    std::fflush(stdout);
    if (status == 0 && !oneFieldWrites(transfer, image, home.path(), repeat))
        status = 1;

    link.disconnect();
    ::kill(static_cast<pid_t>(sim.processId()), SIGTERM);
    if (!sim.waitForFinished(20000))
        sim.kill();
    if (status == 0 && noisy > 0 && !noisyReads(parser.value(simOption), home.path(), noisy)) {
        std::fprintf(stderr, "bench_transfer: the noisy simulator did not start\n");
        status = 1;
    }
    if (status == 0 && !faultyAckWrites(parser.value(simOption), home.path(), repeat)) {
        std::fprintf(stderr, "bench_transfer: the simulator for the acknowledgement faults did not start\n");
        status = 1;
    }
    if (status == 0 && !relayedReads(parser.value(simOption), home.path(), std::max(repeat, 10))) {
        std::fprintf(stderr, "bench_transfer: the relay did not start\n");
        status = 1;
    }
    return status;
}
