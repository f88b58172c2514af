#include "BookLocation.h"

#include "common/Files.h"

#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <sys/statfs.h>

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
    const QString folder = QFileInfo(path).absolutePath();
    if (const int error = Files::makeFolder(folder, Files::Access::Private))
        return QStringLiteral("cannot make the folder of the site book: %1").arg(Files::errorMessage(folder, error));
    // Others who may write the folder could swap the book or plant its -wal file.
    if (const int error = Files::checkKeepingFolder(folder); Files::isRefusal(error))
        return Files::errorMessage(folder, error);
    struct statfs fs{};
    if (::statfs(QFile::encodeName(folder).constData(), &fs) == 0) {
        const QString network = networkFileSystemName(static_cast<long>(fs.f_type));
        if (!network.isEmpty())
            return QStringLiteral("%1 is on a network file system (%2), where SQLite's locking is not reliable; an "
                                  "office shares one book on PostgreSQL: --book postgresql://host/dbname")
                .arg(path, network);
    }
    // 600 before SQLite opens it: SQLite gives its -wal and -shm files the same mode.
    if (const int error = Files::createFile(path, Files::Access::Private))
        return QStringLiteral("cannot create the site book: %1").arg(Files::errorMessage(path, error));
    return {};
}

} // namespace Sites
