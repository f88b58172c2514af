#include "PortLink.h"

#include "serial/PortMap.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

bool PortLink::publish(int portNumber, const QString &device, QString *error)
{
    const QString directory = PortMap::portDirectory();
    if (!QDir().mkpath(directory)) {
        *error = QStringLiteral("cannot create the port directory %1").arg(directory);
        return false;
    }
    const QString path = PortMap::linkPath(portNumber);
    // Made under a private name and renamed into place, so that the tool
    // never sees the port missing or half-made.
    const QByteArray temporary = QFile::encodeName(
        QStringLiteral("%1.%2.tmp").arg(path).arg(QCoreApplication::applicationPid()));
    ::unlink(temporary.constData());
    if (::symlink(QFile::encodeName(device).constData(), temporary.constData()) != 0
        || std::rename(temporary.constData(), QFile::encodeName(path).constData()) != 0) {
        *error = QStringLiteral("cannot link %1 to %2: %3")
                     .arg(path, device, QString::fromLocal8Bit(std::strerror(errno)));
        ::unlink(temporary.constData());
        return false;
    }
    m_path = path;
    m_device = device;
    return true;
}

void PortLink::remove()
{
    if (m_path.isEmpty())
        return;
    const QByteArray path = QFile::encodeName(m_path);
    char target[4096];
    const ssize_t n = ::readlink(path.constData(), target, sizeof target);
    if (n > 0 && QFile::decodeName(QByteArray(target, n)) == m_device)
        ::unlink(path.constData());
    m_path.clear();
}
