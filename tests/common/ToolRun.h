#pragma once
// Runs one of the tool's executables to its end and keeps what it said.

#include <QProcess>
#include <QString>
#include <QStringList>

struct Run
{
    int status = -1; // -1: it crashed or did not end within two minutes
    QString out;
    QString err;
};

inline Run runTool(const QString &program, const QStringList &arguments)
{
    QProcess tool;
    tool.start(program, arguments);
    Run run;
    if (!tool.waitForFinished(120000))
        return run;
    run.status = tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1;
    run.out = QString::fromUtf8(tool.readAllStandardOutput());
    run.err = QString::fromUtf8(tool.readAllStandardError());
    return run;
}
