#include "PortLink.h"

#include "serial/PortMap.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

// The simulator, other than this process, that holds the master side of the
// pseudo-terminal `device` (/dev/pts/N), or 0 when none does.
qint64 holderOf(const QString &device)
{
    static const QRegularExpression pts(QStringLiteral(R"(^/dev/pts/(\d+)$)"));
    const QRegularExpressionMatch m = pts.match(device);
    if (!m.hasMatch())
        return 0;
    const QByteArray wanted = "tty-index:\t" + m.captured(1).toLatin1() + '\n';
    const qint64 self = QCoreApplication::applicationPid();
    // Only a simulator counts: a stale link may point to a terminal's pty now.
    const auto commandOf = [](const QString &pid) {
        QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
        return comm.open(QIODevice::ReadOnly) ? comm.readAll() : QByteArray();
    };
    const QByteArray ownCommand = commandOf(QStringLiteral("self"));
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const qint64 pid = entry.toLongLong();
        if (pid <= 0 || pid == self || commandOf(entry) != ownCommand)
            continue;
        const QString fds = QStringLiteral("/proc/%1/fd").arg(pid);
        for (const QString &fd : QDir(fds).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
            if (!QFile::symLinkTarget(fds + QLatin1Char('/') + fd).endsWith(QLatin1String("ptmx")))
                continue;
            QFile info(QStringLiteral("/proc/%1/fdinfo/%2").arg(pid).arg(fd));
            if (info.open(QIODevice::ReadOnly) && info.readAll().contains(wanted))
                return pid;
        }
    }
    return 0;
}

} // namespace

qint64 PortLink::publisher(int portNumber)
{
    return holderOf(QFile::symLinkTarget(PortMap::linkPath(portNumber)));
}

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
