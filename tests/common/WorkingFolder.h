#pragma once
// A fresh temporary folder that is the current directory while it lives, for
// tests of files the program reads and writes in its working folder.

#include <QDir>
#include <QString>
#include <QTemporaryDir>

class WorkingFolder
{
public:
    WorkingFolder()
        : m_previous(QDir::currentPath())
    {
        m_entered = m_dir.isValid() && QDir::setCurrent(m_dir.path());
    }
    ~WorkingFolder() { QDir::setCurrent(m_previous); }
    WorkingFolder(const WorkingFolder &) = delete;
    WorkingFolder &operator=(const WorkingFolder &) = delete;

    bool isValid() const { return m_entered; }
    QString path() const { return m_dir.path(); }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }

private:
    QString m_previous;
    QTemporaryDir m_dir;
    bool m_entered = false;
};
