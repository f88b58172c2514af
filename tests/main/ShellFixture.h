#pragma once
// What every test of the application shell needs: a private home, port
// directory and working folder, and the program started in-process.

#include "main/MainForm.h"
#include "main/StartUp.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

class ShellFixture
{
public:
    static constexpr int Patience = 15000; // ms, for anything that crosses a process

    // Before the first window: HOME and XDG_CONFIG_HOME point into a
    // temporary folder, which also becomes the working folder.
    bool setUp()
    {
        m_home = std::make_unique<QTemporaryDir>();
        if (!m_home->isValid())
            return false;
        qputenv("HOME", QFile::encodeName(m_home->path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home->filePath("config")));
        ConfigureApplication();
        return QDir().mkpath(portDirectory()) && QDir::setCurrent(m_home->path());
    }

    void tearDown()
    {
        QDir::setCurrent(QDir::tempPath());
        m_home.reset();
    }

    QString portDirectory() const { return m_home->filePath("config/quelmar/ports"); }
    QString workPath(const QString &name) const { return m_home->filePath(name); }

    // Start-up up to the main window's first display.
    static bool startAndWait()
    {
        StartUp();
        return QTest::qWaitFor([] { return MainForm && MainForm->isVisible(); }, Patience);
    }

    // Starts the module simulator on the port and waits for its ready line;
    // an empty result means it is ready, otherwise it says what went wrong.
    static QString startSimulator(std::unique_ptr<QProcess> &sim, const QString &executable,
                                  const QString &port, const QStringList &extra)
    {
        sim = std::make_unique<QProcess>();
        sim->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        sim->start(executable, QStringList{"--port", port} + extra);
        if (!sim->waitForStarted(Patience))
            return sim->errorString();
        const QByteArray ready = "ready " + port.toLatin1();
        QByteArray out;
        const bool ended = QTest::qWaitFor([&] {
            out += sim->readAllStandardOutput();
            return out.contains(ready) || sim->state() == QProcess::NotRunning;
        }, Patience);
        return ended && out.contains(ready) ? QString() : QString::fromLocal8Bit(out);
    }

    static void stopSimulator(std::unique_ptr<QProcess> &sim)
    {
        if (!sim)
            return;
        if (sim->state() != QProcess::NotRunning) {
            sim->terminate();
            if (!sim->waitForFinished(Patience)) {
                sim->kill();
                sim->waitForFinished(Patience);
            }
        }
        sim.reset();
    }

private:
    std::unique_ptr<QTemporaryDir> m_home;
};
