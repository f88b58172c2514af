#include "BookLocation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

namespace Sites {

BookLocation parseBookUrl(const QString &url)
{
    BookLocation location;
    if (!url.startsWith(QLatin1String("postgresql://")) && !url.startsWith(QLatin1String("postgres://"))) {
        location.path = url;
        if (url.isEmpty())
            location.error = QStringLiteral("no site book given");
        return location;
    }
    location.postgres = true;
    const QUrl parsed(url, QUrl::StrictMode);
    location.user = parsed.userName();
    location.host = parsed.host();
    location.port = parsed.port(-1);
    location.database = parsed.path().mid(1);
    if (!parsed.isValid())
        location.error = QStringLiteral("%1 is not a postgresql://[user@]host[:port]/dbname address").arg(url);
    else if (!parsed.password().isEmpty())
        location.error = QStringLiteral("a password is not taken in the address: use ~/.pgpass, PGPASSWORD or a "
                                        "service file");
    else if (location.database.isEmpty() || location.database.contains(QLatin1Char('/')))
        location.error = QStringLiteral("%1 names no database: postgresql://[user@]host[:port]/dbname").arg(url);
    return location;
}

QString networkFileSystemName(long type)
{
    switch (static_cast<unsigned long>(type) & 0xFFFFFFFFUL) {
    case 0x6969UL: return QStringLiteral("NFS");
    case 0xFF534D42UL:
    case 0xFE534D42UL:
    case 0x517BUL: return QStringLiteral("CIFS/SMB");
    case 0x564C: return QStringLiteral("NCP");
    case 0x7461636FUL: return QStringLiteral("OCFS2");
    case 0x73757245UL: return QStringLiteral("Coda");
    case 0x6B414653UL: return QStringLiteral("AFS");
    default: return {};
    }
}

QString prepareSqliteFile(const QString &path)
{
    const QFileInfo info(path);
    const QString folder = info.absolutePath();
    if (!QFileInfo::exists(folder)) {
        // Only the folders made here get 700; existing ones are left as they are.
        QStringList missing;
        for (QString f = folder; !QFileInfo::exists(f); f = QFileInfo(f).absolutePath())
            missing.prepend(f);
        for (const QString &f : missing) {
            if (::mkdir(QFile::encodeName(f).constData(), 0700) != 0 && errno != EEXIST)
                return QStringLiteral("cannot make the folder %1: %2").arg(f, QString::fromLocal8Bit(std::strerror(errno)));
            ::chmod(QFile::encodeName(f).constData(), 0700);
        }
    }
    struct statfs fs{};
    if (::statfs(QFile::encodeName(folder).constData(), &fs) == 0) {
        const QString network = networkFileSystemName(static_cast<long>(fs.f_type));
        if (!network.isEmpty())
            return QStringLiteral("%1 is on a network file system (%2), where SQLite's locking is not reliable; an "
                                  "office shares one book on PostgreSQL: --book postgresql://host/dbname")
                .arg(path, network);
    }
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
        // 600 whatever the umask; SQLite gives its -wal and -shm files the same mode.
        ::fchmod(fd, 0600);
        ::close(fd);
    } else if (errno != EEXIST) {
        return QStringLiteral("cannot create %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
    }
    return {};
}

} // namespace Sites
