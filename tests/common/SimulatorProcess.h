#pragma once
// The module simulator as a child process: started on a port, waited for
// until its "ready COMn DEVICE" line, and stopped the way a user's Ctrl+C
// stops it, so it removes its port link on the way out.

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTest>

#include <memory>

class SimulatorProcess
{
public:
    static constexpr int Patience = 15000; // ms

    explicit SimulatorProcess(QString executable)
        : m_executable(std::move(executable))
    {
    }
    ~SimulatorProcess() { stop(); }
    SimulatorProcess(const SimulatorProcess &) = delete;
    SimulatorProcess &operator=(const SimulatorProcess &) = delete;

    // Stops a running one first. An empty result means it is ready;
    // otherwise the result says what went wrong.
    QString start(const QString &port, const QStringList &extra = {})
    {
        stop();
        m_log.clear();
        m_process = std::make_unique<QProcess>();
        // With keepLog its standard error (the --verbose lines) is kept for log().
        m_process->setProcessChannelMode(keepLog ? QProcess::SeparateChannels : QProcess::ForwardedErrorChannel);
        m_process->start(m_executable, QStringList{QStringLiteral("--port"), port} + extra);
        if (!m_process->waitForStarted(Patience))
            return m_process->errorString();
        if (!QTest::qWaitFor(
                [this] { return m_process->canReadLine() || m_process->state() == QProcess::NotRunning; }, Patience))
            return QStringLiteral("no ready line for %1 within %2 ms").arg(port).arg(Patience);
        const QString line = QString::fromLocal8Bit(m_process->readLine()).trimmed();
        const QStringList words = line.split(QLatin1Char(' '));
        if (words.size() != 3 || words[0] != QLatin1String("ready")
            || words[1].compare(port, Qt::CaseInsensitive) != 0)
            return QStringLiteral("no ready line for %1, got \"%2\"").arg(port, line);
        m_device = words[2];
        return {};
    }

    // SIGTERM; one that does not end is killed. True when it ended by itself
    // with status 0, now or earlier (after a hang-up fault, say).
    bool stop()
    {
        if (!m_process)
            return true;
        bool clean = true;
        if (m_process->state() != QProcess::NotRunning) {
            m_process->terminate();
            if (!m_process->waitForFinished(Patience)) {
                clean = false;
                m_process->kill();
                m_process->waitForFinished(Patience);
            }
        }
        clean = clean && m_process->exitStatus() == QProcess::NormalExit && m_process->exitCode() == 0;
        m_process.reset();
        return clean;
    }

    // Set before start: keep standard error instead of passing it on.
    bool keepLog = false;
    // What it wrote to standard error so far (keepLog only).
    QString log()
    {
        if (m_process)
            m_log += QString::fromLocal8Bit(m_process->readAllStandardError());
        return m_log;
    }

    bool running() const { return m_process && m_process->state() != QProcess::NotRunning; }
    // Null until the first start and after stop.
    QProcess *process() const { return m_process.get(); }
    // The pseudo-terminal behind the port, from the ready line.
    QString device() const { return m_device; }

private:
    QString m_executable;
    std::unique_ptr<QProcess> m_process;
    QString m_device;
    QString m_log;
};
