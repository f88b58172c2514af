// quelmar-params: parameter files on the command line.

#include "cli/CommandLine.h"
#include "serial/SerialPort.h"

#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>

#include <csignal>
#include <memory>
#include <unistd.h>

namespace {

// The program speaks for itself: Qt's own warnings ("XDG_RUNTIME_DIR not
// set", a path it cannot use) would only confuse, and every error that
// matters is said by the command.
void quietMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtFatalMsg) {
        const QByteArray text = message.toLocal8Bit() + '\n';
        (void)!::write(STDERR_FILENO, text.constData(), std::size_t(text.size()));
    }
}

// Ended by SIGINT or SIGTERM in the middle of an operation: the device gets
// its own settings back, as a close would give them, and the exit status
// says which signal it was (130, 143). Only async-signal-safe calls here.
void endBySignal(int signal)
{
    RestoreOpenPortsForSignal();
    ::_exit(128 + signal);
}

void restoreLinesOnSignals()
{
    struct sigaction action{};
    action.sa_handler = endBySignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

} // namespace

int main(int argc, char *argv[])
{
    qInstallMessageHandler(quietMessages);
    restoreLinesOnSignals();
    QStringList arguments;
    for (int k = 1; k < argc; ++k)
        arguments << QString::fromLocal8Bit(argv[k]);
    // Qt takes options such as -platform from the arguments it is given: it
    // gets the program's name only, so every argument stays the command's.
    int qtArgc = 1;
    char *qtArgv[] = {argv[0], nullptr};
    // The report lays out text and needs fonts, so a GUI application, but it
    // shows nothing: the offscreen platform runs it without a display.
    std::unique_ptr<QCoreApplication> app;
    if (Cli::needsGui(arguments)) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(qtArgc, qtArgv);
    } else {
        app = std::make_unique<QCoreApplication>(qtArgc, qtArgv);
    }
    // Standard output unbuffered on its descriptor, so a failed write shows
    // in the stream's status with the system's reason.
    QFile standardOutput;
    (void)standardOutput.open(STDOUT_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered);
    QTextStream out(&standardOutput);
    QTextStream err(stderr);
    QFile in;
    (void)in.open(stdin, QIODevice::ReadOnly);
    Cli::Io io{out, err, &in, ::isatty(STDOUT_FILENO) == 1};
    return Cli::runParams(arguments, io);
}
