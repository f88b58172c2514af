// quelmar-params: parameter files on the command line.

#include "cli/CommandLine.h"

#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>

#include <cstdio>
#include <memory>
#include <unistd.h>

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int k = 1; k < argc; ++k)
        arguments << QString::fromLocal8Bit(argv[k]);
    // The report lays out text and needs fonts, so a GUI application, but it
    // shows nothing: the offscreen platform runs it without a display.
    std::unique_ptr<QCoreApplication> app;
    if (Cli::needsGui(arguments)) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QTextStream out(stdout);
    QTextStream err(stderr);
    QFile in;
    (void)in.open(stdin, QIODevice::ReadOnly);
    Cli::Io io{out, err, &in, ::isatty(STDOUT_FILENO) == 1};
    return Cli::runParams(QCoreApplication::arguments().mid(1), io);
}
