// bench_batch: one quelmar-params process serving 1, 2, 4 and 8 simulated
// modules at once, each its own quelmar-module-sim at 19200 bit/s: a write
// with --verify, then a read. Prints per batch size the wall time, its ratio
// to the single-module line floor and the tool's CPU time per module.
//
//   bench_batch [--sizes 1,2,4,8] [--sim PATH] [--params PATH]

#include "common/BenchSimulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>
#include <sys/resource.h>
#include <vector>

namespace {

constexpr int Baud = 19200;
constexpr int FirstPort = 70;
// A full read: 15 blocks of 144 bytes on the line (18 + 126), 10 bits a byte.
constexpr double ReadFloor = 15.0 * 144 * 10 / Baud;
constexpr double WriteVerifyFloor = 2 * ReadFloor;

double childCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    const auto seconds = [](const timeval &t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct Figures
{
    double wall = 0;
    double cpu = 0; // the tool's, user and system
    int status = -1;
};

// The tool's CPU comes from the children's usage: only the tool ends (and
// is reaped) between the two readings; the simulators run on.
Figures runTool(const QString &program, const QStringList &arguments)
{
    Figures f;
    const double cpuBefore = childCpuSeconds();
    QElapsedTimer clock;
    clock.start();
    QProcess tool;
    tool.setProcessChannelMode(QProcess::ForwardedChannels);
    tool.start(program, arguments);
    tool.waitForFinished(600000);
    f.wall = clock.nsecsElapsed() / 1e9;
    f.cpu = childCpuSeconds() - cpuBefore;
    f.status = tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1;
    return f;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Times one quelmar-params serving several simulated modules."));
    parser.addHelpOption();
    const QCommandLineOption sizesOption(QStringLiteral("sizes"), QStringLiteral("Batch sizes (default 1,2,4,8)."),
                                         QStringLiteral("LIST"), QStringLiteral("1,2,4,8"));
    const QCommandLineOption simOption(QStringLiteral("sim"), QStringLiteral("The simulator."), QStringLiteral("PATH"),
                                       QStringLiteral(QUELMAR_MODULE_SIM));
    const QCommandLineOption paramsOption(QStringLiteral("params"), QStringLiteral("The tool."), QStringLiteral("PATH"),
                                          QStringLiteral(QUELMAR_PARAMS));
    parser.addOptions({sizesOption, simOption, paramsOption});
    parser.process(app);

    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    // The simulators and the tool share a port directory of their own.
    qputenv("HOME", dir.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config")).toLocal8Bit());
    qputenv("XDG_DATA_HOME", dir.filePath(QStringLiteral("data")).toLocal8Bit());
    const QString start = dir.filePath(QStringLiteral("start.QM3"));
    const QString next = dir.filePath(QStringLiteral("next.QM3"));
    {
        QFile a(start), b(next);
        if (!a.open(QIODevice::WriteOnly) || !b.open(QIODevice::WriteOnly))
            return 1;
        QByteArray bytes(1088, '\0');
        for (int i = 0; i < 960; ++i)
            bytes[i] = static_cast<char>(i * 7);
        a.write(bytes);
        for (int i = 0; i < 960; ++i)
            bytes[i] = static_cast<char>(i * 11 + 3);
        b.write(bytes);
    }

    std::printf("modules  operation      wall s  floor s  ratio  tool CPU s/module  CPU %% of wall/module\n");
    bool ok = true;
    for (const QString &sizeText : parser.value(sizesOption).split(QLatin1Char(','))) {
        const int size = sizeText.toInt();
        std::vector<std::unique_ptr<QProcess>> sims;
        QStringList ports;
        for (int i = 0; i < size; ++i) {
            sims.push_back(std::make_unique<QProcess>());
            if (!startSimulator(*sims.back(), parser.value(simOption), FirstPort + i, Baud, {QStringLiteral("--image"), start})) {
                std::fprintf(stderr, "bench_batch: the simulator on COM%d did not start\n", FirstPort + i);
                return 1;
            }
            ports << QStringLiteral("COM%1").arg(FirstPort + i);
        }
        const QString list = ports.join(QLatin1Char(','));
        const Figures write = runTool(parser.value(paramsOption), {QStringLiteral("write"), QStringLiteral("--port"),
                                                                   list, next, QStringLiteral("--verify"),
                                                                   QStringLiteral("--quiet")});
        const Figures read = runTool(parser.value(paramsOption),
                                     {QStringLiteral("read"), QStringLiteral("--port"), list, QStringLiteral("-o"),
                                      dir.filePath(QStringLiteral("read-%1").arg(size)), QStringLiteral("--quiet")});
        const auto print = [size](const char *what, const Figures &f, double floor) {
            std::printf("%7d  %-13s %7.3f  %7.3f  %5.3f  %17.4f  %20.2f\n", size, what, f.wall, floor, f.wall / floor,
                        f.cpu / size, 100.0 * f.cpu / size / f.wall);
        };
        print("write+verify", write, WriteVerifyFloor);
        print("read", read, ReadFloor);
        ok = ok && write.status == 0 && read.status == 0;
        for (auto &sim : sims) {
            sim->terminate();
            sim->waitForFinished(5000);
        }
    }
    return ok ? 0 : 1;
}
