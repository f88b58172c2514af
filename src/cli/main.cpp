// quelmar-params: parameter files on the command line.

#include "cli/CommandLine.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>
#include <unistd.h>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    QFile in;
    (void)in.open(stdin, QIODevice::ReadOnly);
    Cli::Io io{out, err, &in, ::isatty(STDOUT_FILENO) == 1};
    return Cli::runParams(QCoreApplication::arguments().mid(1), io);
}
