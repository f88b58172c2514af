#pragma once
// What every test of the application shell needs: a private home, port
// directory and working folder, and the program started in-process.

#include "main/MainForm.h"
#include "main/StartUp.h"

#include "common/SimulatorProcess.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

class ShellFixture
{
public:
    static constexpr int Patience = SimulatorProcess::Patience; // ms, for anything that crosses a process

    // Before the first window: HOME and XDG_CONFIG_HOME point into a
    // temporary folder, which also becomes the working folder.
    bool setUp()
    {
        m_home = std::make_unique<QTemporaryDir>();
        if (!m_home->isValid())
            return false;
        qputenv("HOME", QFile::encodeName(m_home->path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home->filePath("config")));
        configureApplication();
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
        startUp();
        return QTest::qWaitFor([] { return MainForm && MainForm->isVisible(); }, Patience);
    }

private:
    std::unique_ptr<QTemporaryDir> m_home;
};
