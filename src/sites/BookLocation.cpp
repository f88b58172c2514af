#include "BookLocation.h"

#include "common/Files.h"
#include "params/WriteChecks.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QUrl>
#include <QUrlQuery>

#include <sys/stat.h>
#include <sys/statfs.h>

namespace Sites {

namespace {

// The connection parameters of libpq (PostgreSQL 13 to 17); libpq itself
// refuses those its own version does not have.
const QSet<QString> &libpqParameters()
{
    static const QSet<QString> names{QStringLiteral("host"),
                                     QStringLiteral("hostaddr"),
                                     QStringLiteral("port"),
                                     QStringLiteral("dbname"),
                                     QStringLiteral("user"),
                                     QStringLiteral("passfile"),
                                     QStringLiteral("require_auth"),
                                     QStringLiteral("channel_binding"),
                                     QStringLiteral("connect_timeout"),
                                     QStringLiteral("client_encoding"),
                                     QStringLiteral("options"),
                                     QStringLiteral("application_name"),
                                     QStringLiteral("fallback_application_name"),
                                     QStringLiteral("keepalives"),
                                     QStringLiteral("keepalives_idle"),
                                     QStringLiteral("keepalives_interval"),
                                     QStringLiteral("keepalives_count"),
                                     QStringLiteral("tcp_user_timeout"),
                                     QStringLiteral("gssencmode"),
                                     QStringLiteral("sslmode"),
                                     QStringLiteral("sslnegotiation"),
                                     QStringLiteral("requiressl"),
                                     QStringLiteral("sslcompression"),
                                     QStringLiteral("sslcert"),
                                     QStringLiteral("sslkey"),
                                     QStringLiteral("sslcertmode"),
                                     QStringLiteral("sslrootcert"),
                                     QStringLiteral("sslcrl"),
                                     QStringLiteral("sslcrldir"),
                                     QStringLiteral("sslsni"),
                                     QStringLiteral("requirepeer"),
                                     QStringLiteral("ssl_min_protocol_version"),
                                     QStringLiteral("ssl_max_protocol_version"),
                                     QStringLiteral("krbsrvname"),
                                     QStringLiteral("gsslib"),
                                     QStringLiteral("gssdelegation"),
                                     QStringLiteral("service"),
                                     QStringLiteral("target_session_attrs"),
                                     QStringLiteral("load_balance_hosts")};
    return names;
}

const QString PasswordRefusal =
    QStringLiteral("a password is not taken in the address: use ~/.pgpass, PGPASSWORD or a service file");

BookLocation refused(QString why)
{
    BookLocation location;
    location.error = std::move(why);
    location.inputError = true;
    return location;
}

// The folder itself, or its nearest existing parent, with links resolved.
QString existingFolderOf(const QString &path)
{
    QFileInfo info(QFileInfo(path).absolutePath());
    while (!info.exists() && !info.isRoot())
        info = QFileInfo(info.absolutePath());
    return info.canonicalFilePath().isEmpty() ? info.absoluteFilePath() : info.canonicalFilePath();
}

} // namespace

BookLocation parseBookUrl(const QString &url)
{
    if (url.isEmpty())
        return refused(QStringLiteral("no site book given"));
    static const QRegularExpression schemed(QStringLiteral("^([A-Za-z][A-Za-z0-9+.-]*):/"));
    const QRegularExpressionMatch scheme = schemed.match(url);
    if (!scheme.hasMatch()) {
        if (QDir::isRelativePath(url))
            return refused(
                QStringLiteral("%1: url= must be an absolute path or a postgresql:// URL").arg(userSettingsPath()));
        BookLocation location;
        location.path = QDir::cleanPath(url);
        return location;
    }
    const QString name = scheme.captured(1).toLower();
    const QString advice =
        QStringLiteral("give postgresql://[user@]host[:port]/dbname or the absolute path of an SQLite file");
    if (name != QLatin1String("postgresql") && name != QLatin1String("postgres"))
        return refused(QStringLiteral("\"%1:\" is not a site book scheme: %2").arg(scheme.captured(1), advice));
    if (url.mid(scheme.capturedEnd(), 1) != QLatin1String("/"))
        return refused(QStringLiteral("\"%1:/\" is not postgresql://: %2").arg(scheme.captured(1), advice));
    const QUrl parsed(QStringLiteral("postgresql") + url.mid(scheme.capturedEnd(1)), QUrl::StrictMode);
    BookLocation location;
    location.postgres = true;
    location.user = parsed.userName();
    location.host = parsed.host();
    location.port = parsed.port(-1);
    location.database = parsed.path().mid(1);
    location.inputError = true;
    const QString shown = url.section(QLatin1Char('?'), 0, 0);
    if (!parsed.password().isEmpty()) {
        location.error = PasswordRefusal;
        return location;
    }
    if (!parsed.isValid()) {
        location.error = QStringLiteral("%1 is not a postgresql://[user@]host[:port]/dbname address").arg(shown);
        return location;
    }
    if (location.database.isEmpty() || location.database.contains(QLatin1Char('/'))) {
        location.error = QStringLiteral("%1 names no database: postgresql://[user@]host[:port]/dbname").arg(shown);
        return location;
    }
    for (const auto &[key, value] : QUrlQuery(parsed).queryItems(QUrl::FullyDecoded)) {
        if (key == QLatin1String("password") || key == QLatin1String("sslpassword"))
            location.error = PasswordRefusal;
        else if (!libpqParameters().contains(key))
            location.error = QStringLiteral("%1: \"%2\" is not a PostgreSQL connection parameter").arg(shown, key);
        // Qt's driver turns every ';' of its options into a blank.
        else if (value.contains(QLatin1Char(';')) || value.contains(QChar(0)))
            location.error = QStringLiteral("%1: the value of %2 cannot hold ';'").arg(shown, key);
        if (!location.error.isEmpty())
            return location;
        location.parameters << std::pair{key, value};
    }
    location.inputError = false;
    return location;
}

QString connectOptions(const QList<std::pair<QString, QString>> &parameters)
{
    QStringList pairs;
    for (auto [key, value] : parameters) {
        value.replace(QLatin1Char('\\'), QLatin1String("\\\\")).replace(QLatin1Char('\''), QLatin1String("\\'"));
        pairs << QStringLiteral("%1='%2'").arg(key, value);
    }
    return pairs.join(QLatin1Char(' '));
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
    // sshfs, gvfs and GlusterFS's client are FUSE file systems.
    case 0x65735546UL: return QStringLiteral("FUSE");
    case 0x01021997UL: return QStringLiteral("9p");
    case 0x00C36400UL: return QStringLiteral("CephFS");
    case 0x0BD00BD0UL: return QStringLiteral("Lustre");
    default: return {};
    }
}

QString refuseNetworkFileSystem(const QString &path)
{
    const QString resolved = QFileInfo(path).canonicalFilePath();
    const QString checked = resolved.isEmpty() ? existingFolderOf(path) : resolved;
    struct statfs fs
    { };
    if (::statfs(QFile::encodeName(checked).constData(), &fs) != 0)
        return {};
    const QString network = networkFileSystemName(static_cast<long>(fs.f_type));
    if (network.isEmpty())
        return {};
    return QStringLiteral("%1 is on a network file system (%2), where SQLite's locking is not reliable; an "
                          "office shares one book on PostgreSQL: --book postgresql://host/dbname")
        .arg(path, network);
}

QString prepareSqliteFile(const QString &path)
{
    if (const QString network = refuseNetworkFileSystem(path); !network.isEmpty())
        return network;
    const QString folder = QFileInfo(path).absolutePath();
    if (const int error = Files::makeFolder(folder, Files::Access::Private))
        return QStringLiteral("cannot make the folder of the site book: %1").arg(Files::errorMessage(folder, error));
    // Others who may write the folder could swap the book or plant its -wal file.
    if (const int error = Files::checkKeepingFolder(folder); Files::isRefusal(error))
        return Files::errorMessage(folder, error);
    const QByteArray file = QFile::encodeName(path);
    struct stat st
    { };
    // An empty file becomes the book: only its owner reads parameter sets.
    if (::stat(file.constData(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 0 && (st.st_mode & 077) != 0
        && ::chmod(file.constData(), 0600) != 0)
        return QStringLiteral("cannot make the site book private: %1").arg(Files::errorMessage(path, errno));
    // 600 before SQLite opens it: SQLite gives its -wal and -shm files the same mode.
    if (const int error = Files::createFile(path, Files::Access::Private))
        return QStringLiteral("cannot create the site book: %1").arg(Files::errorMessage(path, error));
    return {};
}

QString outputIsBook(const QString &output, const QString &url)
{
    const BookLocation book = parseBookUrl(url);
    if (book.postgres || !book.error.isEmpty() || output.isEmpty())
        return {};
    struct stat out
    { };
    const bool outExists = ::stat(QFile::encodeName(output).constData(), &out) == 0;
    const QString outPath = QFileInfo(output).absoluteFilePath();
    for (const char *suffix : {"", "-wal", "-shm", "-journal"}) {
        const QString part = book.path + QLatin1String(suffix);
        struct stat held
        { };
        const bool same = outExists ? ::stat(QFile::encodeName(part).constData(), &held) == 0
                && held.st_dev == out.st_dev && held.st_ino == out.st_ino
                                    : QDir::cleanPath(outPath) == QDir::cleanPath(QFileInfo(part).absoluteFilePath());
        if (same)
            return *suffix
                ? QStringLiteral("is the site book's %1 file: choose another file").arg(QLatin1String(suffix + 1))
                : QStringLiteral("is the site book: choose another file");
    }
    return {};
}

} // namespace Sites
