#include "SqlSiteBook.h"

#include "SiteMatch.h"

#include <QAtomicInteger>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <QSqlRecord>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>

#include <algorithm>
#include <memory>

#include "common/Files.h"

#include <cerrno>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Sites {

namespace {

// The version from which sites carry their search text, filled by the program.
constexpr int SearchVersion = 2;
// The version from which site names are unique by their folded key.
constexpr int KeyVersion = 3;
// The version from which the database keeps the search text and its index;
// the program keeps only the current set's part, which an older one would not.
constexpr int IndexVersion = 4;
// The version from which sites are archived and changes of details are kept.
constexpr int ChangesVersion = 5;
// Versions a program that knows only the earlier one must not write.
constexpr int OldestWriter[KnownVersion + 1] = {0, 1, 2, 3, 4, 5};
// The columns of a site in siteFrom, then its current set and whether it is archived.
constexpr int SiteColumnCount = 10;
// A summary: the site, its last exchange, then whether it is archived.
constexpr int SummaryArchived = SiteColumnCount + 9;
constexpr int Attempts = 8;
// How long a change waits for a busy or locked book, and when it says so.
constexpr int WaitMs = 10000;
constexpr int NoticeMs = 1000;

std::function<void()> &waitNotice()
{
    static std::function<void()> notice;
    return notice;
}

// A statement failed; turned into a SiteBookError once retries are over.
struct SqlFault
{
    QSqlError error;
    // Kept until the rollback: PostgreSQL frees its statement only after.
    std::shared_ptr<QSqlQuery> query;
    // Which book said it, where a copy speaks to two.
    const SqlSiteBook *book = nullptr;
};

QString loginName()
{
    if (const passwd *pw = ::getpwuid(::geteuid()); pw && pw->pw_name)
        return QString::fromLocal8Bit(pw->pw_name);
    return qEnvironmentVariable("USER", QStringLiteral("unknown"));
}

QString threadName()
{
    const QString name = QThread::currentThread()->objectName();
    return name.isEmpty() ? QString::number(quintptr(QThread::currentThreadId()), 16) : name;
}

QString timeText(const QDateTime &time)
{
    return time.toUTC().toString(Qt::ISODateWithMs);
}

// The book's own form, "2026-12-08T21:52:37.123Z", read without the general
// parser: a long list reads three of them a row.
std::optional<QDateTime> bookTime(const QString &text)
{
    static constexpr int Digits[] = {0, 1, 2, 3, 5, 6, 8, 9, 11, 12, 14, 15, 17, 18, 20, 21, 22};
    if (text.size() != 24 || text.at(4) != u'-' || text.at(7) != u'-' || text.at(10) != u'T' || text.at(13) != u':'
        || text.at(16) != u':' || text.at(19) != u'.' || text.at(23) != u'Z')
        return std::nullopt;
    int n[17];
    for (int k = 0; k < 17; ++k) {
        const char16_t c = text.at(Digits[k]).unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        n[k] = c - u'0';
    }
    const QDate date(n[0] * 1000 + n[1] * 100 + n[2] * 10 + n[3], n[4] * 10 + n[5], n[6] * 10 + n[7]);
    const QTime time(n[8] * 10 + n[9], n[10] * 10 + n[11], n[12] * 10 + n[13], n[14] * 100 + n[15] * 10 + n[16]);
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    return QDateTime(date, time, Qt::UTC);
}

QDateTime timeOf(const QVariant &value)
{
    if (const std::optional<QDateTime> quick = bookTime(value.toString()))
        return *quick;
    QDateTime time = QDateTime::fromString(value.toString(), Qt::ISODateWithMs);
    time.setTimeSpec(Qt::UTC);
    return time;
}

QByteArray bytesOf(const ImageBytes &image)
{
    return {reinterpret_cast<const char *>(image.data()), qsizetype(image.size())};
}

QVariant blobOf(const std::optional<ImageBytes> &image)
{
    return image ? QVariant(bytesOf(*image)) : QVariant(QMetaType::fromType<QByteArray>());
}

std::optional<ImageBytes> imageOf(const QVariant &value)
{
    const QByteArray bytes = value.toByteArray();
    if (value.isNull() || bytes.size() != EEAddr::ImageSize)
        return std::nullopt;
    ImageBytes image;
    std::copy(bytes.begin(), bytes.end(), image.begin());
    return image;
}

QByteArray sha256Of(const ImageBytes &image)
{
    return QCryptographicHash::hash(bytesOf(image), QCryptographicHash::Sha256).toHex();
}

// The database's own words, without libpq's "ERROR:" and its line breaks.
QString wordsOf(const QSqlError &error)
{
    QString text = error.databaseText().trimmed();
    if (text.isEmpty())
        text = error.driverText().trimmed();
    for (const char *prefix : {"ERROR:", "FATAL:"})
        if (text.startsWith(QLatin1String(prefix)))
            text = text.mid(int(qstrlen(prefix))).trimmed();
    text = text.section(QLatin1Char('\n'), 0, 0).trimmed();
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text;
}

Site siteFrom(const QSqlQuery &q, int column = 0)
{
    Site s;
    s.id = q.value(column).toLongLong();
    s.details = {q.value(column + 1).toString(), q.value(column + 2).toString(), q.value(column + 3).toString(),
                 q.value(column + 4).toString(), q.value(column + 5).toString()};
    s.created = timeOf(q.value(column + 6));
    s.changed = timeOf(q.value(column + 7));
    s.changedBy = q.value(column + 8).toString();
    s.revision = q.value(column + 9).toLongLong();
    return s;
}

Exchange exchangeFrom(const QSqlQuery &q, int column = 0)
{
    Exchange e;
    e.number = q.value(column).toLongLong();
    e.siteId = q.value(column + 1).toLongLong();
    e.time = timeOf(q.value(column + 2));
    e.operatorName = q.value(column + 3).toString();
    e.host = q.value(column + 4).toString();
    e.port = q.value(column + 5).toString();
    e.operation = operationFromWord(q.value(column + 6).toString()).value_or(Operation::File);
    e.outcome = q.value(column + 7).toString();
    e.sha256 = q.value(column + 8).toString().toLatin1();
    return e;
}

QString fieldsText(const SiteFields &f)
{
    return QString::fromUtf8(QJsonDocument(fieldsJson(f)).toJson(QJsonDocument::Compact));
}

// A change's fields as the book holds them; a text that is not such an
// object (written with another client) is no fields at all.
std::optional<SiteFields> fieldsFrom(const QVariant &value)
{
    if (value.isNull())
        return std::nullopt;
    const QJsonDocument document = QJsonDocument::fromJson(value.toString().toUtf8());
    if (!document.isObject())
        return std::nullopt;
    const QJsonObject o = document.object();
    const auto text = [&](const char *key) { return o.value(QLatin1String(key)).toString(); };
    return SiteFields{{text("name"), text("address"), text("contact"), text("phone"), text("notes")},
                      o.value(QLatin1String("archived")).toBool()};
}

SiteFields fieldsOf(const Site &s)
{
    return {s.details, s.archived};
}

void checkDetails(const SiteDetails &d)
{
    if (d.name.trimmed().isEmpty())
        throw SiteBookError(SiteBookError::Kind::Input, QStringLiteral("a site needs a name"));
    const std::pair<const char *, const QString *> fields[] = {
        {"name", &d.name}, {"address", &d.address}, {"contact", &d.contact}, {"phone", &d.phone}, {"notes", &d.notes}};
    for (const auto &[field, text] : fields)
        if (text->contains(QChar(0)))
            throw SiteBookError(SiteBookError::Kind::Input,
                                QStringLiteral("site \"%1\": the %2 holds a NUL character").arg(d.name, QLatin1String(field)));
}

} // namespace

SqlSiteBook::SqlSiteBook(const QString &url, BookUse use, int version)
    : m_sql(parseBookUrl(url).postgres ? postgresStatements() : sqliteStatements())
{
    open(url, use, version, nullptr);
}

SqlSiteBook::SqlSiteBook(const QString &url, const BookRoles &roles, int version)
    : m_sql(parseBookUrl(url).postgres ? postgresStatements() : sqliteStatements())
{
    open(url, BookUse::Change, version, &roles);
}

void SqlSiteBook::open(const QString &url, BookUse use, int version, const BookRoles *roles)
{
    static QAtomicInteger<quint64> serial;
    const BookLocation where = parseBookUrl(url);
    m_postgres = where.postgres;
    m_location = where.postgres ? url.section(QLatin1Char('?'), 0, 0) : where.path;
    if (!where.error.isEmpty())
        throw SiteBookError(where.inputError ? SiteBookError::Kind::Input : SiteBookError::Kind::Unavailable,
                            where.error);
    if (!QSqlDatabase::isDriverAvailable(m_sql.driver))
        throw SiteBookError(SiteBookError::Kind::Unavailable,
                            QStringLiteral("the site book needs Qt's %1 driver (package %2)").arg(m_sql.driver, m_sql.package));
    const SiteBookError noBook(SiteBookError::Kind::NoBook, QStringLiteral("no site book at %1").arg(m_location));
    if (!where.postgres) {
        const QByteArray file = QFile::encodeName(where.path);
        const bool exists = ::access(file.constData(), F_OK) == 0;
        // Reading never makes a book, not even in an empty file.
        if (use == BookUse::Read && QFileInfo(where.path).size() == 0)
            throw noBook;
        // An archived or copied book of mode 444, or a folder of someone else's.
        m_readOnly = exists
            && (::access(file.constData(), W_OK) != 0
                || ::access(QFile::encodeName(QFileInfo(where.path).absolutePath()).constData(), W_OK) != 0);
        const QString problem = m_readOnly ? refuseNetworkFileSystem(where.path) : prepareSqliteFile(where.path);
        if (!problem.isEmpty())
            throw SiteBookError(SiteBookError::Kind::Unavailable, problem);
    }
    // One connection per thread and book, named by the thread.
    m_connection = QStringLiteral("quelmar-sites %1 %2").arg(threadName()).arg(++serial);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(m_sql.driver, m_connection);
        if (where.postgres) {
            db.setHostName(where.host);
            db.setPort(where.port);
            db.setUserName(where.user);
            db.setDatabaseName(where.database);
            // Everything the URL says reaches libpq; a connection waits 5 s unless it says otherwise.
            QList<std::pair<QString, QString>> parameters = where.parameters;
            for (const auto &[key, value] : {std::pair{QStringLiteral("connect_timeout"), QStringLiteral("5")},
                                             std::pair{QStringLiteral("application_name"), QStringLiteral("quelmar")}})
                if (std::none_of(parameters.begin(), parameters.end(),
                                 [&](const auto &given) { return given.first == key; }))
                    parameters.prepend({key, value});
            db.setConnectOptions(connectOptions(parameters));
        } else if (!m_readOnly) {
            db.setDatabaseName(where.path);
            db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=1000"));
        } else {
            // SQLite reads a WAL book only with its -shm file; where that cannot be made, nobody
            // writes the book either, so it is read as a file that does not change.
            const bool sharedMemory = QFileInfo::exists(where.path + QStringLiteral("-shm"))
                || ::access(QFile::encodeName(QFileInfo(where.path).absolutePath()).constData(), W_OK) == 0;
            db.setDatabaseName(sharedMemory ? where.path
                                            : QUrl::fromLocalFile(where.path).toString(QUrl::FullyEncoded)
                                       + QStringLiteral("?immutable=1"));
            db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=1000;QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI"));
        }
        if (!db.open()) {
            const QString words = wordsOf(db.lastError());
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(m_connection);
            throw SiteBookError(SiteBookError::Kind::Unavailable,
                                QStringLiteral("the site book %1 cannot be opened: %2").arg(m_location, words));
        }
    }
    try {
        try {
            QElapsedTimer waited;
            waited.start();
            for (const QString &statement : m_sql.session) {
                for (int attempt = 1;; ++attempt) {
                    try {
                        run(statement);
                    } catch (const SqlFault &fault) {
                        // Two programs making one book at once: SQLite refuses the second its
                        // journal at once, without waiting, while the first holds the file.
                        if (m_sql.classify(fault.error) == SqlFailure::Retry && waited.elapsed() < WaitMs) {
                            QThread::msleep(std::min(100, 10 * attempt));
                            continue;
                        }
                        // A read-only book keeps the journal it has.
                        if (!m_readOnly)
                            throw;
                    }
                    break;
                }
            }
            if (m_sql.whoAmI.isEmpty()) {
                m_operator = loginName();
            } else {
                QSqlQuery q = run(m_sql.whoAmI);
                m_operator = q.next() ? q.value(0).toString() : loginName();
            }
        } catch (const SqlFault &fault) {
            raise(fault.error);
        }
        m_host = QSysInfo::machineHostName();
        std::tie(m_version, m_oldestWriter) = versionRecord();
        if (m_version == 0 && !roles) {
            if (use == BookUse::Read && !where.postgres)
                throw noBook;
            // An office's book is made once by its administrator, owned by a role nobody logs in as.
            if (where.postgres)
                throw SiteBookError(SiteBookError::Kind::Unavailable,
                                    QStringLiteral("the site book %1 has no tables yet: its administrator makes them "
                                                   "once with quelmar-params site init --book URL")
                                        .arg(m_location));
        }
        if (m_version < version) {
            if (m_readOnly)
                refuseReadOnly();
            upgradeTo(version);
            std::tie(m_version, m_oldestWriter) = versionRecord();
        }
        if (roles && where.postgres && m_version == KnownVersion)
            grant(*roles);
        if (!m_readOnly && m_version >= IndexVersion && m_version <= KnownVersion)
            refreshFolding();
    } catch (...) {
        QSqlDatabase::database(m_connection, false).close();
        QSqlDatabase::removeDatabase(m_connection);
        throw;
    }
}

// A book made before the folding by letters comes to it, in a transaction of
// its own. The folding is the same either way, so a busy or refused book is
// left as it is until a later opening.
void SqlSiteBook::refreshFolding()
{
    if (m_sql.foldsByLetters.isEmpty())
        return;
    const auto folds = [this] {
        QSqlQuery q = run(m_sql.foldsByLetters);
        return q.next() && q.value(0).toInt() > 0;
    };
    try {
        if (folds())
            return;
        run(m_sql.begin);
        try {
            if (!folds())
                for (const QString &statement : m_sql.makeLetters)
                    run(statement);
            run(QStringLiteral("COMMIT"));
        } catch (const SqlFault &) {
            QSqlQuery(database()).exec(QStringLiteral("ROLLBACK"));
        }
    } catch (const SqlFault &) {
    }
}

void SqlSiteBook::grant(const BookRoles &roles)
{
    static const QRegularExpression roleName(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]{0,62}$"));
    for (const QString &role : {roles.owner, roles.installers, roles.staff})
        if (!role.isEmpty() && !roleName.match(role).hasMatch())
            throw SiteBookError(SiteBookError::Kind::Input,
                                QStringLiteral("\"%1\" is not a role name (letters, digits and _)").arg(role));
    if (roles.owner.isEmpty())
        throw SiteBookError(SiteBookError::Kind::Input, QStringLiteral("site init: --owner needs a role"));
    const auto quoted = [](const QString &role) { return QLatin1Char('"') + role + QLatin1Char('"'); };
    try {
        run(m_sql.begin);
        run(m_sql.makeRole.arg(roles.owner, quoted(roles.owner), QStringLiteral("true")));
        for (const QString &statement : m_sql.ownedBy)
            run(statement.contains(QLatin1String("%1")) ? statement.arg(quoted(roles.owner)) : statement);
        const std::pair<const QString *, const QStringList *> grants[] = {{&roles.installers, &m_sql.installerGrants},
                                                                          {&roles.staff, &m_sql.staffGrants}};
        for (const auto &[role, statements] : grants) {
            if (role->isEmpty())
                continue;
            run(m_sql.makeRole.arg(*role, quoted(*role), QStringLiteral("false")));
            for (const QString &statement : *statements)
                run(statement.arg(quoted(*role)));
        }
        run(QStringLiteral("COMMIT"));
    } catch (const SqlFault &fault) {
        QSqlQuery(database()).exec(QStringLiteral("ROLLBACK"));
        raise(fault.error);
    }
}

void SqlSiteBook::refuseReadOnly() const
{
    throw SiteBookError(SiteBookError::Kind::Refused,
                        QStringLiteral("the site book is read-only (%1)").arg(m_location));
}

void setWaitNotice(std::function<void()> notice)
{
    waitNotice() = std::move(notice);
}

SqlSiteBook::~SqlSiteBook()
{
    QSqlDatabase::database(m_connection, false).close();
    QSqlDatabase::removeDatabase(m_connection);
}

QSqlDatabase SqlSiteBook::database() const
{
    return QSqlDatabase::database(m_connection, false);
}

void SqlSiteBook::raise(const QSqlError &error) const
{
    switch (m_sql.classify(error)) {
    case SqlFailure::Denied:
        throw SiteBookError(SiteBookError::Kind::Refused, QStringLiteral("the site book refuses: %1").arg(wordsOf(error)));
    case SqlFailure::Unavailable:
        throw SiteBookError(SiteBookError::Kind::Unavailable,
                            QStringLiteral("the site book %1 cannot be used: %2").arg(m_location, wordsOf(error)));
    default:
        throw SiteBookError(SiteBookError::Kind::Unavailable,
                            QStringLiteral("the site book %1: %2").arg(m_location, wordsOf(error)));
    }
}

void SqlSiteBook::raiseNamed(const QSqlError &error, const QString &name)
{
    if (m_sql.classify(error) != SqlFailure::Unique)
        raise(error);
    // Taken by its spelling or by a look-alike: say which.
    QString held = name;
    try {
        QSqlQuery q = run(m_sql.siteByKey, {{"key", nameKey(name)}});
        if (q.next())
            held = q.value(0).toString();
    } catch (const SqlFault &) {
    }
    if (held != name)
        throw SiteBookError(SiteBookError::Kind::NameTaken,
                            QStringLiteral("site \"%1\" exists (as \"%2\")").arg(name, held));
    throw SiteBookError(SiteBookError::Kind::NameTaken,
                        QStringLiteral("site \"%1\" is in the site book already").arg(name));
}

QSqlQuery SqlSiteBook::run(const QString &statement, Bindings bindings)
{
    QSqlQuery q(database());
    q.setForwardOnly(true);
    bool ok;
    if (bindings.size() == 0) {
        ok = q.exec(statement);
    } else {
        ok = q.prepare(statement);
        if (ok) {
            for (const auto &[name, value] : bindings) {
                // An empty text is kept as one; only a typed null variant is NULL.
                const bool emptyText = value.typeId() == QMetaType::QString && !value.isNull() && value.toString().isNull();
                q.bindValue(QLatin1Char(':') + QLatin1String(name), emptyText ? QVariant(QStringLiteral("")) : value);
            }
            ok = q.exec();
        }
    }
    if (!ok)
        throw SqlFault{q.lastError(), std::make_shared<QSqlQuery>(std::move(q)), this};
    return q;
}

void SqlSiteBook::execute(const QString &statement)
{
    try {
        run(statement);
    } catch (const SqlFault &fault) {
        raise(fault.error);
    }
}

void SqlSiteBook::query(const QString &statement, const std::function<void(const QSqlQuery &)> &row)
{
    try {
        QSqlQuery q = run(statement);
        while (q.next())
            row(q);
    } catch (const SqlFault &fault) {
        raise(fault.error);
    }
}

std::pair<int, int> SqlSiteBook::versionRecord()
{
    try {
        QSqlQuery has = run(m_sql.hasBook);
        if (!has.next() || has.value(0).toInt() == 0)
            return {0, 0};
        QSqlQuery q = run(m_sql.readVersion);
        if (!q.next())
            throw SiteBookError(
                SiteBookError::Kind::Unavailable,
                QStringLiteral("the site book %1 is damaged: its table book holds no version").arg(m_location));
        return {q.value(0).toInt(), q.value(1).toInt()};
    } catch (const SqlFault &fault) {
        raise(fault.error);
    }
}

void SqlSiteBook::refuseNewerWriter(int version, int oldestWriter) const
{
    if (oldestWriter > KnownVersion)
        throw SiteBookError(SiteBookError::Kind::NewerBook,
                            QStringLiteral("the site book is version %1; this program knows up to %2")
                                .arg(version)
                                .arg(KnownVersion));
}

// Runs body in one write transaction; a busy book, a serialization failure
// or a deadlock runs the whole transaction again, after a short random wait.
template<typename Body> auto SqlSiteBook::write(Body &&body) -> decltype(body())
{
    if (m_readOnly)
        refuseReadOnly();
    QElapsedTimer waited;
    waited.start();
    bool said = false;
    for (int attempt = 1;; ++attempt) {
        try {
            // The first second quietly, then the rest of the ten after a word.
            const qint64 left = WaitMs - waited.elapsed();
            if (!said && waited.elapsed() >= NoticeMs) {
                said = true;
                if (waitNotice())
                    waitNotice()();
            }
            run(m_sql.waitFor.arg(
                std::max<qint64>(1, said ? left : std::min<qint64>(left, NoticeMs - waited.elapsed()))));
            run(m_sql.begin);
            QSqlQuery v = run(m_sql.readVersion);
            if (v.next())
                refuseNewerWriter(v.value(0).toInt(), v.value(1).toInt());
            v.finish();
            if constexpr (std::is_void_v<decltype(body())>) {
                body();
                run(QStringLiteral("COMMIT"));
                return;
            } else {
                auto result = body();
                run(QStringLiteral("COMMIT"));
                return result;
            }
        } catch (const SqlFault &fault) {
            QSqlQuery(database()).exec(QStringLiteral("ROLLBACK"));
            if (m_sql.classify(fault.error) == SqlFailure::Retry && waited.elapsed() < WaitMs) {
                QThread::msleep(std::min<int>(100, 10 * attempt)
                                + QRandomGenerator::global()->bounded(10 * std::min(attempt, 8)));
                continue;
            }
            throw;
        } catch (...) {
            QSqlQuery(database()).exec(QStringLiteral("ROLLBACK"));
            throw;
        }
    }
}

void SqlSiteBook::upgradeTo(int version)
{
    auto [current, oldest] = versionRecord();
    while (current < version) {
        // Each step in a transaction of its own; another program may have
        // taken it meanwhile, so the version is read again inside.
        for (int attempt = 1;; ++attempt) {
            try {
                run(m_sql.begin);
                if (!m_sql.upgradeLock.isEmpty())
                    run(m_sql.upgradeLock);
                QSqlQuery has = run(m_sql.hasBook);
                current = 0;
                if (has.next() && has.value(0).toInt() > 0) {
                    has.finish();
                    QSqlQuery q = run(m_sql.readVersion);
                    if (!q.next())
                        throw SiteBookError(
                            SiteBookError::Kind::Unavailable,
                            QStringLiteral("the site book %1 is damaged: its table book holds no version")
                                .arg(m_location));
                    std::tie(current, oldest) = std::pair{q.value(0).toInt(), q.value(1).toInt()};
                }
                if (current < version) {
                    refuseNewerWriter(current, oldest);
                    for (const QString &statement : m_sql.steps.at(current))
                        run(statement);
                    ++current;
                    if (current == SearchVersion) {
                        QList<Site> all;
                        QSqlQuery q = run(m_sql.allSites);
                        while (q.next()) {
                            all << siteFrom(q);
                            all.last().current = imageOf(q.value(10));
                        }
                        q.finish();
                        for (const Site &s : all)
                            run(m_sql.setSearch, {{"search", searchTextOf(s.details, s.current)}, {"id", s.id}});
                    }
                    if (current == IndexVersion) {
                        QList<std::pair<qint64, QString>> texts;
                        QSqlQuery q = run(m_sql.allSites);
                        while (q.next())
                            if (const QString text = setTextOf(imageOf(q.value(10))); !text.isEmpty())
                                texts << std::pair{q.value(0).toLongLong(), text};
                        q.finish();
                        for (const auto &[id, text] : texts)
                            run(m_sql.setText, {{"text", text}, {"id", id}});
                    }
                    if (current == KeyVersion) {
                        QList<std::pair<qint64, QString>> names;
                        QSqlQuery q = run(m_sql.allSites);
                        while (q.next())
                            names << std::pair{q.value(0).toLongLong(), q.value(1).toString()};
                        q.finish();
                        // Look-alikes made before keep their names; the later ones a key of their own.
                        QSet<QString> taken;
                        for (const auto &[id, name] : names) {
                            QString key = nameKey(name);
                            if (taken.contains(key))
                                key += QChar(1) + QString::number(id);
                            taken.insert(key);
                            run(m_sql.updateKey, {{"key", key}, {"id", id}});
                        }
                    }
                    if (current == ChangesVersion) {
                        // Each site's details as they are become its first kept change.
                        QList<Site> all;
                        QSqlQuery q = run(m_sql.allSites);
                        while (q.next())
                            all << siteFrom(q);
                        q.finish();
                        for (const Site &site : all)
                            insertChange(site.id, site.changed, site.changedBy, std::nullopt, fieldsOf(site));
                    }
                    run(m_sql.setVersion, {{"version", current}, {"oldest", OldestWriter[current]}});
                }
                run(QStringLiteral("COMMIT"));
                break;
            } catch (const SqlFault &fault) {
                QSqlQuery(database()).exec(QStringLiteral("ROLLBACK"));
                if (m_sql.classify(fault.error) == SqlFailure::Retry && attempt < Attempts) {
                    QThread::msleep(10 * attempt);
                    continue;
                }
                raise(fault.error);
            } catch (...) {
                QSqlQuery(database()).exec(QStringLiteral("ROLLBACK"));
                throw;
            }
        }
    }
}

namespace {

// The text just after every text that begins with `prefix`, in code point order.
QString pastPrefix(const QString &prefix)
{
    QList<uint> points = prefix.toUcs4();
    while (!points.isEmpty() && points.last() >= 0x10FFFF)
        points.removeLast();
    if (points.isEmpty())
        return QString::fromUcs4(U"\U0010FFFF", 1);
    ++points.last();
    if (points.last() >= 0xD800 && points.last() <= 0xDFFF)
        points.last() = 0xE000;
    return QString::fromUcs4(reinterpret_cast<const char32_t *>(points.constData()), points.size());
}

// A list without a limit is read in one pass; a page is chosen first, so
// that the sites before it are never read whole.
const QString &listing(const ListingSql &sql, const SiteQuery &query)
{
    return query.limit < 0 ? sql.whole : sql.paged;
}

} // namespace

void SqlSiteBook::eachSite(const SiteQuery &query, const std::function<bool(const SiteSummary &)> &row)
{
    const QString wanted = searchedText(query.text);
    QString statement, ids;
    Bindings bindings;
    if (m_version < IndexVersion) {
        // An older book read as it is: no index yet.
        statement = listing(m_sql.listSites, query);
        ids = m_sql.patternIds;
        bindings << std::pair{"pattern", QVariant(likePatternFor(query.text))};
    } else if (wanted.isEmpty()) {
        statement = listing(m_sql.everySite, query);
    } else if (wanted.size() < 3) {
        statement = listing(m_sql.namePrefix, query);
        ids = m_sql.prefixIds;
        bindings << std::pair{"low", QVariant(wanted)} << std::pair{"high", QVariant(pastPrefix(wanted))};
    } else {
        statement = listing(m_sql.searchSites, query);
        ids = m_sql.searchIds;
        bindings << std::pair{"phrase",
                              QVariant(m_postgres ? likePatternFor(query.text)
                                                  : QLatin1Char('"')
                                               + QString(wanted).replace(QLatin1Char('"'), QStringLiteral("\"\""))
                                               + QLatin1Char('"'))};
    }
    if (query.attention) {
        // The visits among the hits.
        if (wanted.isEmpty())
            bindings.clear();
        statement = m_sql.lastModuleExchanges.arg(
            wanted.isEmpty() ? QString() : QStringLiteral("AND s.id IN (%1)").arg(ids));
    }
    // The visits are judged here, so their page is counted here too.
    const bool pagedHere = query.attention;
    if (!pagedHere) {
        bindings << std::pair{"archived", QVariant(query.archived ? 1 : 0)};
        bindings << std::pair{"limit", QVariant(query.limit)} << std::pair{"offset", QVariant(query.offset)};
    }
    try {
        QSqlQuery q = run(statement, bindings);
        qint64 skipped = 0, given = 0;
        while (q.next()) {
            SiteSummary s{siteFrom(q), std::nullopt};
            if (!q.value(SiteColumnCount).isNull())
                s.last = exchangeFrom(q, SiteColumnCount);
            s.site.archived = q.value(SummaryArchived).toBool();
            if (pagedHere) {
                if (!needsVisit(*s.last) || skipped++ < query.offset)
                    continue;
                if (query.limit >= 0 && given++ >= query.limit)
                    break;
            }
            if (!row(s))
                break;
        }
    } catch (const SqlFault &fault) {
        raise(fault.error);
    }
}

std::optional<Site> SqlSiteBook::siteWhere(const QString &statement, Bindings bindings)
{
    QSqlQuery q = run(statement, bindings);
    if (!q.next())
        return std::nullopt;
    Site s = siteFrom(q);
    s.current = imageOf(q.value(SiteColumnCount));
    s.archived = q.value(SiteColumnCount + 1).toBool();
    return s;
}

std::optional<Site> SqlSiteBook::findSite(const QString &name)
{
    try {
        return siteWhere(m_sql.siteByName, {{"name", name}});
    } catch (const SqlFault &fault) {
        raise(fault.error);
    }
}

std::optional<Site> SqlSiteBook::findSiteById(qint64 id)
{
    try {
        return siteWhere(m_sql.siteById, {{"id", id}});
    } catch (const SqlFault &fault) {
        raise(fault.error);
    }
}

Exchange SqlSiteBook::insertExchange(qint64 siteId, const NewExchange &e, const std::optional<ImageBytes> &image)
{
    Exchange x;
    x.siteId = siteId;
    x.time = e.time.toUTC();
    x.operatorName = m_operator;
    x.host = m_host;
    x.port = e.port;
    x.operation = e.operation;
    x.outcome = e.outcome;
    x.image = image;
    x.sha256 = image ? sha256Of(*image) : QByteArray();
    QSqlQuery q = run(m_sql.insertExchange,
                      {{"site", siteId},
                       {"time", timeText(x.time)},
                       {"by", x.operatorName},
                       {"host", x.host},
                       {"port", x.port},
                       {"operation", operationWord(x.operation)},
                       {"outcome", x.outcome},
                       {"image", blobOf(image)},
                       {"sha256", image ? QVariant(QString::fromLatin1(x.sha256)) : QVariant(QMetaType::fromType<QString>())}});
    if (q.next())
        x.number = q.value(0).toLongLong();
    return x;
}

Site SqlSiteBook::addSite(const SiteDetails &details, const std::optional<ImageBytes> &current, const QString &source)
{
    checkDetails(details);
    try {
        return write([&] {
            const QDateTime now = QDateTime::currentDateTimeUtc();
            QSqlQuery q = run(m_sql.insertSite,
                              {{"name", details.name},
                               {"key", nameKey(details.name)},
                               {"address", details.address},
                               {"contact", details.contact},
                               {"phone", details.phone},
                               {"notes", details.notes},
                               {"time", timeText(now)},
                               {"by", m_operator}});
            Site s;
            s.id = q.next() ? q.value(0).toLongLong() : 0;
            q.finish();
            run(m_sql.setSearch, {{"search", searchTextOf(details, current)}, {"id", s.id}});
            setSetText(s.id, current);
            s.details = details;
            s.created = s.changed = QDateTime::fromString(timeText(now), Qt::ISODateWithMs);
            s.changedBy = m_operator;
            s.revision = 1;
            keepChange(s.id, now, std::nullopt, fieldsOf(s));
            if (current) {
                NewExchange put{Operation::File, {}, source.isEmpty() ? QStringLiteral("current set") : source, current, now,
                                true};
                insertExchange(s.id, put, current);
                run(m_sql.updateCurrent, {{"image", blobOf(current)}, {"id", s.id}});
                s.current = current;
            }
            return s;
        });
    } catch (const SqlFault &fault) {
        raiseNamed(fault.error, details.name);
    }
}

// Inside a write: the current set's part of the search text, for the index.
void SqlSiteBook::setSetText(qint64 siteId, const std::optional<ImageBytes> &current)
{
    if (m_version >= IndexVersion)
        run(m_sql.setText, {{"text", setTextOf(current)}, {"id", siteId}});
}

void SqlSiteBook::raiseChanged(const Site &held) const
{
    throw SiteBookError(
        SiteBookError::Kind::Changed,
        QStringLiteral("site \"%1\" was changed by %2 at %3; nothing was saved")
            .arg(held.details.name, held.changedBy, held.changed.toLocalTime().toString(QStringLiteral("HH:mm"))));
}

// Inside a write. A book not yet upgraded has no table of changes; its upgrade
// keeps the details as they are then as the first change.
void SqlSiteBook::keepChange(qint64 siteId, const QDateTime &time, const std::optional<SiteFields> &before,
                             const SiteFields &after)
{
    if (m_version >= ChangesVersion)
        insertChange(siteId, time, m_operator, before, after);
}

void SqlSiteBook::insertChange(qint64 siteId, const QDateTime &time, const QString &by,
                               const std::optional<SiteFields> &before, const SiteFields &after)
{
    run(m_sql.insertChange,
        {{"site", siteId},
         {"time", timeText(time)},
         {"by", by},
         {"before", before ? QVariant(fieldsText(*before)) : QVariant(QMetaType::fromType<QString>())},
         {"after", fieldsText(after)}});
}

// Inside a write: the details onto the held revision, and the change kept.
Site SqlSiteBook::saveDetails(const Site &held, const SiteFields &fields)
{
    const SiteDetails &details = fields.details;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    run(m_sql.updateDetails,
        {{"name", details.name},
         {"key", nameKey(details.name)},
         {"address", details.address},
         {"contact", details.contact},
         {"phone", details.phone},
         {"notes", details.notes},
         {"archived", fields.archived ? 1 : 0},
         {"time", timeText(now)},
         {"by", m_operator},
         {"id", held.id},
         {"revision", held.revision}});
    run(m_sql.setSearch, {{"search", searchTextOf(details, held.current)}, {"id", held.id}});
    keepChange(held.id, now, fieldsOf(held), fields);
    Site saved = held;
    saved.details = details;
    saved.archived = fields.archived;
    saved.changed = QDateTime::fromString(timeText(now), Qt::ISODateWithMs);
    saved.changedBy = m_operator;
    saved.revision = held.revision + 1;
    return saved;
}

// Inside a write: the site as the book holds it now, locked for the change.
Site SqlSiteBook::heldForUpdate(const Site &asRead)
{
    const std::optional<Site> held = siteWhere(m_sql.currentForUpdate, {{"id", asRead.id}});
    if (!held)
        throw SiteBookError(SiteBookError::Kind::NoSite,
                            QStringLiteral("no site \"%1\" in the site book").arg(asRead.details.name));
    return *held;
}

Site SqlSiteBook::editSite(const Site &site)
{
    checkDetails(site.details);
    try {
        return write([&] {
            const std::optional<Site> held = heldForUpdate(site);
            if (held->revision != site.revision)
                raiseChanged(*held);
            return saveDetails(*held, {site.details, held->archived});
        });
    } catch (const SqlFault &fault) {
        raiseNamed(fault.error, site.details.name);
    }
}

Site SqlSiteBook::editFields(const Site &asRead, const SiteDetails &changed)
{
    checkDetails(changed);
    try {
        return write([&] {
            const std::optional<Site> held = heldForUpdate(asRead);
            // Only a field both changed is a conflict; the others go onto the newest revision.
            SiteDetails merged = held->details;
            for (QString SiteDetails::*field : {&SiteDetails::name, &SiteDetails::address, &SiteDetails::contact,
                                                &SiteDetails::phone, &SiteDetails::notes}) {
                if (changed.*field == asRead.details.*field)
                    continue;
                if (held->details.*field != asRead.details.*field)
                    raiseChanged(*held);
                merged.*field = changed.*field;
            }
            return saveDetails(*held, {merged, held->archived});
        });
    } catch (const SqlFault &fault) {
        raiseNamed(fault.error, changed.name);
    }
}

Site SqlSiteBook::setArchived(const Site &asRead, bool archived)
{
    try {
        return write([&] {
            const std::optional<Site> held = heldForUpdate(asRead);
            return held->archived == archived ? *held : saveDetails(*held, {held->details, archived});
        });
    } catch (const SqlFault &fault) {
        raise(fault.error);
    }
}

QList<DetailsChange> SqlSiteBook::changes(qint64 siteId)
{
    try {
        QList<DetailsChange> list;
        QSqlQuery q = run(m_sql.changes, {{"site", siteId}});
        while (q.next()) {
            DetailsChange c;
            c.number = q.value(0).toLongLong();
            c.siteId = q.value(1).toLongLong();
            c.time = timeOf(q.value(2));
            c.operatorName = q.value(3).toString();
            c.before = fieldsFrom(q.value(4));
            const std::optional<SiteFields> after = fieldsFrom(q.value(5));
            if (!after || (!q.value(4).isNull() && !c.before))
                throw SiteBookError(SiteBookError::Kind::Unavailable,
                                    QStringLiteral("the site book %1 is damaged: details change %2 cannot be read")
                                        .arg(m_location)
                                        .arg(c.number));
            c.after = *after;
            list << c;
        }
        return list;
    } catch (const SqlFault &fault) {
        raise(fault.error);
    }
}

QList<Exchange> SqlSiteBook::recordAll(qint64 siteId, const QList<NewExchange> &exchanges)
{
    try {
        return write([&] {
            std::optional<Site> held = siteWhere(m_sql.currentForUpdate, {{"id", siteId}});
            if (!held)
                throw SiteBookError(SiteBookError::Kind::NoSite,
                                    QStringLiteral("no site number %1 in the site book").arg(siteId));
            QList<Exchange> recorded;
            for (const NewExchange &exchange : exchanges) {
                std::optional<ImageBytes> image = exchange.image;
                // The module never holds bytes 960 to 1087: they stay the site's.
                if (image && held->current && readsModule(exchange.operation))
                    keepPcBytes(*image, *held->current);
                recorded << insertExchange(siteId, exchange, image);
                if (exchange.makeCurrent && image) {
                    run(m_sql.updateCurrent, {{"image", blobOf(image)}, {"id", siteId}});
                    run(m_sql.setSearch, {{"search", searchTextOf(held->details, image)}, {"id", siteId}});
                    setSetText(siteId, image);
                    held->current = image;
                }
            }
            return recorded;
        });
    } catch (const SqlFault &fault) {
        raise(fault.error);
    }
}

void SqlSiteBook::eachExchange(qint64 siteId, const HistoryQuery &query,
                               const std::function<bool(const Exchange &)> &row)
{
    QString conditions;
    Bindings bindings{{"site", siteId}};
    if (query.since.isValid()) {
        conditions += m_sql.since;
        bindings << std::pair{"since", QVariant(timeText(query.since))};
    }
    if (query.before.isValid()) {
        conditions += m_sql.before;
        bindings << std::pair{"before", QVariant(timeText(query.before))};
    }
    if (!query.operatorName.isEmpty()) {
        conditions += m_sql.byOperator;
        bindings << std::pair{"operator", QVariant(query.operatorName)};
    }
    if (query.onlyWithImage)
        conditions += m_sql.withImage;
    bindings << std::pair{"limit", QVariant(query.limit)} << std::pair{"offset", QVariant(qint64(0))};
    try {
        QSqlQuery q =
            run(m_sql.history.arg(query.withImages ? QStringLiteral(", image") : QString(), conditions) + m_sql.page,
                bindings);
        while (q.next()) {
            Exchange e = exchangeFrom(q);
            if (query.withImages)
                e.image = imageOf(q.value(9));
            if (!row(e))
                break;
        }
    } catch (const SqlFault &fault) {
        raise(fault.error);
    }
}

std::optional<Exchange> SqlSiteBook::exchange(qint64 number)
{
    try {
        QSqlQuery q = run(m_sql.exchangeByNumber, {{"number", number}});
        if (!q.next())
            return std::nullopt;
        Exchange e = exchangeFrom(q);
        e.image = imageOf(q.value(9));
        return e;
    } catch (const SqlFault &fault) {
        raise(fault.error);
    }
}

// ------------------------------------------------------------ copy and backup

namespace {

// A column of a copied table: 'i' a number, 't' a text, 'b' a truth, 'x' bytes;
// each backend reads and binds it its own way, and both digest it alike.
struct CopiedTable
{
    const char *name;
    QString SqlStatements::*out;
    QString SqlStatements::*in;
    const char *kinds;
};
// Sites first: changes and exchanges refer to them.
const CopiedTable CopiedTables[] = {
    {"sites", &SqlStatements::copySitesOut, &SqlStatements::copySiteIn, "itttttttttibx"},
    {"changes of details", &SqlStatements::copyChangesOut, &SqlStatements::copyChangeIn, "iitttt"},
    {"exchanges", &SqlStatements::copyExchangesOut, &SqlStatements::copyExchangeIn, "iitttttttx"},
};

QVariant copiedValue(const QVariant &value, char kind)
{
    if (value.isNull())
        return kind == 'x' ? QVariant(QMetaType::fromType<QByteArray>())
                           : QVariant(kind == 't' ? QMetaType::fromType<QString>() : QMetaType::fromType<qlonglong>());
    switch (kind) {
    case 'i': return value.toLongLong();
    case 'b': return value.toBool() ? 1 : 0;
    case 'x': return value.toByteArray();
    default: {
        // An empty text stays one, never NULL.
        const QString text = value.toString();
        return text.isNull() ? QStringLiteral("") : text;
    }
    }
}

void digest(QCryptographicHash &hash, const QVariant &value, char kind)
{
    if (value.isNull()) {
        hash.addData(QByteArrayView("N"));
        return;
    }
    const QByteArray bytes = kind == 'x' ? value.toByteArray()
        : kind == 'b'                    ? QByteArray(value.toBool() ? "1" : "0")
        : kind == 'i'                    ? QByteArray::number(value.toLongLong())
                                         : value.toString().toUtf8();
    hash.addData(QByteArray::number(bytes.size()) + ':');
    hash.addData(bytes);
}

// The rows of one copied table as read: how many, and their digest.
struct TableDigest
{
    qint64 rows = 0;
    QByteArray sha256;
};

} // namespace

// Sites and exchanges are in every version's tables, so an older book is
// judged before it is upgraded for the copy.
void SqlSiteBook::refuseFilled()
{
    qint64 held[2] = {0, 0};
    for (int t = 0; t < 2; ++t) {
        QSqlQuery q = run(QStringLiteral("SELECT count(*) FROM ") + QLatin1String(t == 0 ? "sites" : "exchanges"));
        held[t] = q.next() ? q.value(0).toLongLong() : 0;
    }
    if (held[0] > 0 || held[1] > 0)
        throw SiteBookError(SiteBookError::Kind::Input,
                            QStringLiteral("the site book %1 is not empty (%2 sites, %3 exchanges); nothing was copied")
                                .arg(m_location)
                                .arg(held[0])
                                .arg(held[1]));
}

void SqlSiteBook::refuseSameBook(SqlSiteBook &target)
{
    const SiteBookError same(SiteBookError::Kind::Input,
                             QStringLiteral("%1 is the site book copied from; nothing was copied").arg(target.m_location));
    if (m_postgres != target.m_postgres)
        return;
    if (!m_postgres) {
        if (!outputIsBook(target.m_location, m_location).isEmpty())
            throw same;
        return;
    }
    // Another address of the same database cannot take the lock this one holds.
    const qint64 key = qint64(QRandomGenerator::global()->generate64() >> 2);
    try {
        QSqlQuery mine = run(m_sql.tryBookLock, {{"key", key}});
        const bool held = mine.next() && mine.value(0).toBool();
        mine.finish();
        QSqlQuery theirs = target.run(target.m_sql.tryBookLock, {{"key", key}});
        const bool taken = theirs.next() && theirs.value(0).toBool();
        theirs.finish();
        if (taken)
            target.run(target.m_sql.freeBookLock, {{"key", key}}).finish();
        if (held)
            run(m_sql.freeBookLock, {{"key", key}}).finish();
        if (held && !taken)
            throw same;
    } catch (const SqlFault &fault) {
        fault.book->raise(fault.error);
    }
}

BookCopy SqlSiteBook::copyInto(SqlSiteBook &to)
{
    const auto rollback = [&] {
        QSqlQuery(database()).exec(QStringLiteral("ROLLBACK"));
        QSqlQuery(to.database()).exec(QStringLiteral("ROLLBACK"));
    };
    try {
        run(m_sql.readSnapshot);
        to.run(to.m_sql.begin);
        // Again within the copy's own transaction, so that nobody fills it meanwhile.
        to.refuseFilled();
        TableDigest read[std::size(CopiedTables)];
        for (std::size_t t = 0; t < std::size(CopiedTables); ++t) {
            const CopiedTable &table = CopiedTables[t];
            const int columns = int(qstrlen(table.kinds));
            QSqlQuery in(to.database());
            if (!in.prepare(to.m_sql.*table.in))
                throw SqlFault{in.lastError(), {}, &to};
            QCryptographicHash hash(QCryptographicHash::Sha256);
            // Row by row: a book of any size costs one row's memory.
            QSqlQuery out = run(m_sql.*table.out);
            while (out.next()) {
                for (int c = 0; c < columns; ++c) {
                    const QVariant value = out.value(c);
                    digest(hash, value, table.kinds[c]);
                    in.bindValue(c, copiedValue(value, table.kinds[c]));
                }
                if (!in.exec())
                    throw SqlFault{in.lastError(), {}, &to};
                if (t == 0) {
                    const SiteDetails details{out.value(1).toString(), out.value(3).toString(), out.value(4).toString(),
                                              out.value(5).toString(), out.value(6).toString()};
                    const std::optional<ImageBytes> current = imageOf(out.value(columns - 1));
                    to.run(to.m_sql.setSearch,
                           {{"search", searchTextOf(details, current)}, {"id", out.value(0).toLongLong()}});
                    to.setSetText(out.value(0).toLongLong(), current);
                }
                ++read[t].rows;
            }
            read[t].sha256 = hash.result();
        }
        run(QStringLiteral("ROLLBACK"));
        for (const QString &statement : to.m_sql.copyFinish)
            to.run(statement).finish();
        // The copy as its own book reads it back, before it is kept.
        for (std::size_t t = 0; t < std::size(CopiedTables); ++t) {
            const CopiedTable &table = CopiedTables[t];
            const int columns = int(qstrlen(table.kinds));
            QCryptographicHash hash(QCryptographicHash::Sha256);
            qint64 rows = 0;
            QSqlQuery back = to.run(to.m_sql.*table.out);
            while (back.next()) {
                for (int c = 0; c < columns; ++c)
                    digest(hash, back.value(c), table.kinds[c]);
                ++rows;
                // Each image against its SHA-256, so a damaged one is never carried on unseen.
                if (table.in == &SqlStatements::copyExchangeIn && !back.value(9).isNull()) {
                    const QByteArray image = back.value(9).toByteArray();
                    if (QCryptographicHash::hash(image, QCryptographicHash::Sha256).toHex()
                        != back.value(8).toString().toLatin1())
                        throw SiteBookError(SiteBookError::Kind::Unavailable,
                                            QStringLiteral("exchange %1 of the site book %2 does not match its SHA-256; "
                                                           "nothing was copied")
                                                .arg(back.value(0).toLongLong())
                                                .arg(m_location));
                }
            }
            if (rows != read[t].rows || hash.result() != read[t].sha256)
                throw SiteBookError(SiteBookError::Kind::Unavailable,
                                    QStringLiteral("the copy in %1 differs from the book in its %2; nothing was copied")
                                        .arg(to.m_location, QLatin1String(table.name)));
        }
        to.run(QStringLiteral("COMMIT"));
        return {read[0].rows, read[2].rows, read[1].rows};
    } catch (const SqlFault &fault) {
        rollback();
        fault.book->raise(fault.error);
    } catch (...) {
        rollback();
        throw;
    }
}

BookCopy SqlSiteBook::copyBook(const QString &from, const QString &to)
{
    SqlSiteBook source(from, BookUse::Read);
    const BookLocation where = parseBookUrl(to);
    struct stat st{};
    const bool made = !where.postgres && where.error.isEmpty()
        && ::lstat(QFile::encodeName(where.path).constData(), &st) != 0 && errno == ENOENT;
    try {
        // Opened as it is: a book that is not empty is refused before anything, an upgrade too, is done to it.
        SqlSiteBook target(to, BookUse::Change, 0);
        source.refuseSameBook(target);
        if (target.m_readOnly)
            target.refuseReadOnly();
        target.refuseNewerWriter(target.m_version, target.m_oldestWriter);
        if (target.m_version > 0) {
            try {
                target.refuseFilled();
            } catch (const SqlFault &fault) {
                target.raise(fault.error);
            }
        }
        if (target.m_version < KnownVersion) {
            target.upgradeTo(KnownVersion);
            std::tie(target.m_version, target.m_oldestWriter) = target.versionRecord();
        }
        return source.copyInto(target);
    } catch (...) {
        // A file made for the copy goes again; the target is closed by now.
        if (made)
            for (const char *suffix : {"", "-wal", "-shm", "-journal"})
                QFile::remove(where.path + QLatin1String(suffix));
        throw;
    }
}

BookCopy SqlSiteBook::backup(const QString &url, const QString &file)
{
    const BookLocation where = parseBookUrl(url);
    if (where.postgres)
        throw SiteBookError(SiteBookError::Kind::Input,
                            QStringLiteral("the site book %1 is on PostgreSQL: back it up with pg_dump")
                                .arg(url.section(QLatin1Char('?'), 0, 0)));
    const auto refuse = [&](int error) {
        throw SiteBookError(SiteBookError::Kind::Input, Files::errorMessage(file, error));
    };
    struct stat st{};
    // Never over a file, nor through a link planted at the name.
    if (::lstat(QFile::encodeName(file).constData(), &st) == 0)
        refuse(EEXIST);
    if (const int error = Files::outputRefusal(file))
        refuse(error);
    if (const QString problem = outputIsBook(file, url); !problem.isEmpty())
        throw SiteBookError(SiteBookError::Kind::Input, file + QStringLiteral(": ") + problem);
    SqlSiteBook book(url, BookUse::Read);
    // Made beside the backup (0700), so the copy never passes through a shared folder.
    QTemporaryDir folder(QFileInfo(file).absolutePath() + QStringLiteral("/.quelmar-backup-XXXXXX"));
    if (!folder.isValid())
        throw SiteBookError(SiteBookError::Kind::Unavailable,
                            QStringLiteral("%1: the copy cannot be made beside it: %2").arg(file, folder.errorString()));
    const QString copy = folder.filePath(QStringLiteral("book.sqlite"));
    try {
        // One read transaction: what others commit meanwhile is in it whole or not at all.
        book.run(QStringLiteral("VACUUM INTO :file"), {{"file", copy}});
    } catch (const SqlFault &fault) {
        book.raise(fault.error);
    }
    BookCopy counted;
    QString problem;
    const QString connection = QStringLiteral("quelmar-backup %1").arg(threadName());
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(copy);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        QSqlQuery q(db);
        if (!db.open() || !q.exec(QStringLiteral("PRAGMA quick_check")) || !q.next())
            problem = wordsOf(q.lastError().isValid() ? q.lastError() : db.lastError());
        else if (q.value(0).toString() != QLatin1String("ok"))
            problem = q.value(0).toString();
        else if (q.exec(book.m_sql.countAll) && q.next())
            counted = {q.value(0).toLongLong(), q.value(1).toLongLong(), q.value(2).toLongLong()};
        else
            problem = wordsOf(q.lastError());
        q = QSqlQuery();
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
    if (!problem.isEmpty())
        throw SiteBookError(SiteBookError::Kind::Unavailable,
                            QStringLiteral("the copy of the site book %1 does not check: %2; nothing was kept")
                                .arg(book.m_location, problem));
    QFile made(copy);
    uchar *bytes = made.open(QIODevice::ReadOnly) ? made.map(0, made.size()) : nullptr;
    if (!bytes)
        throw SiteBookError(SiteBookError::Kind::Unavailable,
                            QStringLiteral("%1: the copy cannot be read: %2").arg(file, made.errorString()));
    const int error = Files::save(file, QByteArrayView(bytes, made.size()), Files::Access::Private, Files::Replace::Never);
    if (error)
        throw SiteBookError(error == EEXIST || Files::isRefusal(error) ? SiteBookError::Kind::Input
                                                                       : SiteBookError::Kind::Unavailable,
                            Files::errorMessage(file, error));
    return counted;
}

BookCopy copySiteBook(const QString &from, const QString &to)
{
    return SqlSiteBook::copyBook(from, to);
}

BookCopy backupSiteBook(const QString &url, const QString &file)
{
    return SqlSiteBook::backup(url, file);
}

} // namespace Sites
