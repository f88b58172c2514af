// quelmar-module-sim: plays the Quelmar module on a pseudo-terminal that the
// tool opens as port COMn.

#include "ModuleSimulator.h"
#include "PortLink.h"
#include "PtyLine.h"
#include "SimArgs.h"

#include "common/Files.h"
#include "serial/PortMap.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int ExitUsage = 2;
constexpr int ExitFailure = 1;
constexpr int ImageFileSize = 1088;

const char *const Description = R"(Plays the Quelmar module on a pseudo-terminal, published as port COMn
(the link comN in $XDG_CONFIG_HOME/quelmar/ports, default ~/.config/quelmar/ports).
It answers block reads, takes block writes with their acknowledgement and answers
the plain poll "??" with the status message. Prints "ready COMn DEVICE" once it
accepts traffic; SIGINT or SIGTERM end it cleanly.

State texts (--text): each goes out once, after the status answer to the first
poll, with a CR added as its line end: in long fragments (13 characters) while
13 or more remain, then in short ones (4 characters).

Faults (--fault KIND=ARG, repeatable):
  drop-block=N     no answer to the first read request of block N
  wrong-address=N  the first answer to block N names block N+1 (14: block 0)
  corrupt=N        the first answer to block N has one byte damaged on the line
  no-ack=N         the first good write of block N is stored but not acknowledged
  keep-old=N       the first good write of block N is acknowledged but not stored
  noise=P          before each byte sent, a random byte with probability P
  hangup-after=N   the pty closes after N frames sent; the simulator then exits
  late=N           the first answer to block N comes 1.2 s late
  late-last=N      the last frame of the first answer to block N comes 110 ms
                   after the request, just after the tool has given it up
  dup-ack=N        the first good write of block N is acknowledged twice
  late-ack=N       the first good write of block N is stored, its
                   acknowledgement comes 1.2 s late
  lose-write=N     the first good write of block N is neither stored nor
                   acknowledged
A block fault given twice hits the first two occurrences, and so on.)";

// SIGINT and SIGTERM become a readable pipe, handled in the event loop.
int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
}

bool watchSignals(QCoreApplication &app)
{
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    struct sigaction action{};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [&app] { app.quit(); });
    return true;
}

void complain(const QString &text)
{
    std::fprintf(stderr, "quelmar-module-sim: %s\n", qPrintable(text));
}

bool loadImage(ModuleSimulator &sim, const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    const QByteArray bytes = file.read(ModuleSimulator::MemorySize);
    if (bytes.size() < ModuleSimulator::MemorySize) {
        *error = QStringLiteral("%1 holds fewer than %2 bytes").arg(path).arg(ModuleSimulator::MemorySize);
        return false;
    }
    std::copy(bytes.begin(), bytes.end(), sim.memory.begin());
    return true;
}

bool saveImage(const ModuleSimulator &sim, const QString &path, QString *error)
{
    QByteArray bytes(ImageFileSize, '\0');
    std::copy(sim.memory.begin(), sim.memory.end(), bytes.begin());
    const int failure = Files::save(path, bytes, Files::Access::Private);
    if (failure != 0)
        *error = QStringLiteral("cannot write ") + Files::errorMessage(path, failure);
    return failure == 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quelmar-module-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUELMAR_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(Description));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption portOption(QStringLiteral("port"), QStringLiteral("Port name to publish (default COM96)."),
                                        QStringLiteral("COMn"), QStringLiteral("COM96"));
    const QCommandLineOption imageOption(QStringLiteral("image"),
                                         QStringLiteral("Start with the first 960 bytes of this parameter file "
                                                        "(default: all bytes 0xFF)."),
                                         QStringLiteral("FILE"));
    const QCommandLineOption saveOption(QStringLiteral("save"),
                                        QStringLiteral("On exit write the memory as a 1088-byte parameter file "
                                                       "(bytes 960-1087 zero)."),
                                        QStringLiteral("FILE"));
    const QCommandLineOption baudOption(QStringLiteral("baud"),
                                        QStringLiteral("Line speed modelled in both directions, 10 bits per byte "
                                                       "(default 19200)."),
                                        QStringLiteral("N"), QStringLiteral("19200"));
    const QCommandLineOption noPacingOption(QStringLiteral("no-pacing"),
                                            QStringLiteral("Answer at once instead of at line speed (an acknowledgement "
                                                           "still waits for its block's line time)."));
    const QCommandLineOption statusOption(QStringLiteral("status"),
                                          QStringLiteral("Status bytes of the poll answer; numbers, 0x allowed "
                                                         "(default 0x10,20,0,0)."),
                                          QStringLiteral("FLAGS,LEVEL,CALLSTATE,SPARE"));
    const QCommandLineOption waveOption(QStringLiteral("level-wave"),
                                        QStringLiteral("Let the signal level of the poll answers swing from MIN to MAX "
                                                       "and back every SECONDS, as a sine (it overrides LEVEL)."),
                                        QStringLiteral("MIN,MAX,SECONDS"));
    const QCommandLineOption textOption(QStringLiteral("text"),
                                        QStringLiteral("State text of channel 1 to 4 (repeatable); see above."),
                                        QStringLiteral("CHANNEL:TEXT"));
    const QCommandLineOption faultOption(QStringLiteral("fault"), QStringLiteral("Inject a fault (repeatable); see above."),
                                         QStringLiteral("KIND=ARG"));
    const QCommandLineOption seedOption(QStringLiteral("seed"), QStringLiteral("Seed of the noise, for repeatable runs."),
                                        QStringLiteral("N"));
    const QCommandLineOption verboseOption(QStringLiteral("verbose"),
                                           QStringLiteral("Log every message received and sent on standard error."));
    parser.addOptions({portOption, imageOption, saveOption, baudOption, noPacingOption, statusOption, waveOption,
                       textOption, faultOption, seedOption, verboseOption});
    parser.process(app);

    const auto usageError = [](const QString &text) {
        complain(text);
        return ExitUsage;
    };
    if (!parser.positionalArguments().isEmpty())
        return usageError(QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()));

    const int port = PortMap::portNumber(parser.value(portOption));
    if (port == 0)
        return usageError(QStringLiteral("'%1' is not a port name COM1 to COM96").arg(parser.value(portOption)));
    const QString portName = QStringLiteral("COM%1").arg(port);

    const auto baud = parseNumber(parser.value(baudOption));
    if (!baud || *baud < 1 || *baud > 10'000'000)
        return usageError(QStringLiteral("'%1' is not a line speed").arg(parser.value(baudOption)));

    ModuleSimulator sim;
    QString error;
    if (parser.isSet(imageOption) && !loadImage(sim, parser.value(imageOption), &error))
        return usageError(error);
    if (parser.isSet(statusOption)) {
        const auto status = parseStatus(parser.value(statusOption), &error);
        if (!status)
            return usageError(error);
        sim.status = *status;
    }
    if (parser.isSet(waveOption)) {
        const auto wave = parseLevelWave(parser.value(waveOption), &error);
        if (!wave)
            return usageError(error);
        sim.levelWave = *wave;
    }
    for (const QString &value : parser.values(textOption)) {
        const auto text = parseStateText(value, &error);
        if (!text)
            return usageError(error);
        sim.setStateText(text->channel, text->text);
    }
    for (const QString &value : parser.values(faultOption)) {
        const auto fault = parseFault(value, &error);
        if (!fault)
            return usageError(error);
        sim.arm(*fault);
    }
    if (parser.isSet(seedOption)) {
        const auto seed = parseNumber(parser.value(seedOption));
        if (!seed || *seed < 0 || *seed > 0xFFFFFFFFLL)
            return usageError(QStringLiteral("'%1' is not a seed").arg(parser.value(seedOption)));
        sim.setSeed(static_cast<std::uint32_t>(*seed));
    }
    if (parser.isSet(verboseOption))
        sim.onLog = [](const QString &line) { std::fprintf(stderr, "%s\n", qPrintable(line)); };

    if (!watchSignals(app)) {
        complain(QStringLiteral("cannot watch signals"));
        return ExitFailure;
    }
    const auto byteTime = parser.isSet(noPacingOption) ? LinePacer::Nanos(0)
                                                       : LinePacer::byteTimeFor(static_cast<int>(*baud));
    // The tool takes an acknowledgement only once the block could have
    // crossed the line (command, data and the acknowledgement, 144 bytes).
    if (parser.isSet(noPacingOption))
        sim.ackLineMs = static_cast<int>((144LL * 10 * 1000 + *baud - 1) / *baud);
    // A running simulator keeps its port: taking its link over would cut it off.
    if (const qint64 holder = PortLink::publisher(port))
        return usageError(QStringLiteral("%1 is published by process %2").arg(portName).arg(holder));
    PtyLine line(sim, byteTime);
    PortLink link;
    if (!line.open(&error) || !link.publish(port, line.devicePath(), &error)) {
        complain(error);
        return ExitFailure;
    }
    QObject::connect(&line, &PtyLine::hungUp, &app, &QCoreApplication::quit);

    std::printf("ready %s %s\n", qPrintable(portName), qPrintable(line.devicePath()));
    std::fflush(stdout);

    app.exec();

    link.remove();
    if (parser.isSet(saveOption) && !saveImage(sim, parser.value(saveOption), &error)) {
        complain(error);
        return ExitFailure;
    }
    return 0;
}
