#pragma once
// Benchmarks start quelmar-module-sim as a child and wait for its ready line.

#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>

// True once the simulator on COMn says it is ready (within 20 s).
inline bool startSimulator(QProcess &sim, const QString &program, int port, int baud, const QStringList &extra = {})
{
    sim.setProgram(program);
    sim.setArguments(QStringList{QStringLiteral("--port"), QStringLiteral("COM%1").arg(port), QStringLiteral("--baud"),
                                 QString::number(baud)}
                     + extra);
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim.start();
    QElapsedTimer clock;
    clock.start();
    while (!sim.canReadLine()) {
        if (clock.elapsed() > 20000 || sim.state() == QProcess::NotRunning)
            return false;
        sim.waitForReadyRead(100);
    }
    return sim.readLine().startsWith("ready");
}
