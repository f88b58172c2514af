// bench_transfer: full reads, writes and compares against quelmar-module-sim
// at 19200 bit/s over a pseudo-terminal and the real serial port component.
// Prints each operation's wall time, its ratio to the line-time floor and
// the process CPU time as a share of the wall time. Then a backed-up,
// verified write of a one-field change, of every block and of the changed
// block only, against each one's floor. Then reads on a noisy line (random
// bytes at three rates, seeded): how many complete, whether each is
// byte-exact, and their mean time against the floor.
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

#include <csignal>
#include <cstdio>
#include <sys/resource.h>

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
constexpr double NoiseLevels[] = {0.0005, 0.001, 0.002};

// `reads` reads of a module holding `image` behind a line with random bytes
// at each rate; one row per rate. False when the simulator would not start.
bool noisyReads(const QString &simPath, const QString &folder, int reads)
{
    ImageBytes image{};
    for (std::size_t i = 0; i < EEAddr::ModuleBytes; ++i)
        image[i] = static_cast<std::uint8_t>(i * 13 + 7);
    const QString file = folder + QStringLiteral("/noisy.QM3");
    if (!ParameterFile::save(file, image).ok)
        return false;
    std::printf("\nnoisy reads: %d per rate, floor %.3f s, repeats on (3)\n", reads, FloorSeconds);
    std::printf("%-8s %10s %10s %9s %7s %9s\n", "noise", "completed", "byte-exact", "mean s", "ratio", "repeated");
    for (const double p : NoiseLevels) {
        QProcess sim;
        if (!startSimulator(sim, simPath, NoisyPort, Baud,
                            {QStringLiteral("--image"), file, QStringLiteral("--fault"),
                             QStringLiteral("noise=%1").arg(p), QStringLiteral("--seed"), QStringLiteral("20261208")}))
            return false;
        ModuleLink link;
        link.ComPort1.setPort(QStringLiteral("COM%1").arg(NoisyPort));
        if (link.connect() != ConnectionState::Connected)
            return false;
        NoDisplay display;
        ImageBytes read{};
        TransferBytes buffer{};
        ParameterTransfer transfer(display, read, buffer);
        transfer.Link = {&link.ComPort1, &link.Codec, &link.Dispatcher.Reception};
        int completed = 0;
        int exact = 0;
        int repeated = 0;
        double wall = 0;
        for (int r = 0; r < reads; ++r) {
            read.fill(0x55);
            QElapsedTimer clock;
            clock.start();
            const bool ok = transfer.Read() == TransferOutcome::Succeeded;
            const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
            repeated += transfer.Result().repeated;
            if (!ok)
                continue;
            ++completed;
            wall += seconds;
            exact += read == image ? 1 : 0;
        }
        const double mean = completed > 0 ? wall / completed : 0;
        std::printf("%-8g %7d/%-2d %10d %9.3f %7.3f %9d\n", p, completed, reads, exact, mean, mean / FloorSeconds,
                    repeated);
        std::fflush(stdout);
        link.disconnect();
        ::kill(static_cast<pid_t>(sim.processId()), SIGTERM);
        if (!sim.waitForFinished(20000))
            sim.kill();
    }
    return true;
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
    return status;
}
