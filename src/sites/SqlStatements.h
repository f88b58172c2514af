#pragma once
// The SQL of each backend, apart from the store's logic: one table of
// statements per backend, the same names in both. Named placeholders are
// bound by the store; images are always bound as QByteArray.

#include <QList>
#include <QSqlError>
#include <QString>
#include <QStringList>

namespace Sites {

enum class SqlFailure {
    Other,
    Retry,       // busy, locked, serialization failure, deadlock: run the transaction again
    Unique,      // a unique key is taken
    Denied,      // the database refuses the change (permission, read-only)
    Unavailable, // the book cannot be reached or read (server, file, disk)
};

// A list of sites in two forms: whole, every hit read as it is found (for
// a list without a limit), and paged, where the page is chosen first over
// the narrow rows the search reads and only its sites are then read whole.
// Both take :limit and :offset as `page` does.
struct ListingSql
{
    QString whole;
    QString paged;
};

struct SqlStatements
{
    QString driver;  // the Qt SQL driver
    QString package; // the Debian package that brings it
    // steps[k] brings a book from version k to version k + 1, in one transaction.
    QList<QStringList> steps;
    QStringList session; // once per connection
    QString whoAmI;      // the operator; empty: the login name
    QString waitFor;     // %1: how long, in ms, a statement waits for a busy or locked book
    QString begin;       // a write transaction
    QString upgradeLock; // taken first in an upgrade's transaction; may be empty
    QString hasBook;
    QString readVersion;
    QString setVersion;
    QString insertSite;
    QString updateDetails;
    QString updateCurrent;
    QString setSearch; // a site's search text, made or replaced
    QString updateKey; // a site's name key, in the upgrade that brings them
    QString allSites;
    QString siteByName;
    QString siteByKey;
    QString siteById;
    QString currentForUpdate;
    ListingSql listSites; // by the search text of version 2, for an older book read as it is
    // From version 4, by the index the database keeps: every site, those whose
    // search text holds :phrase, or those whose folded name is from :low up to
    // :high; in the order of their folded names.
    ListingSql everySite;
    ListingSql searchSites;
    ListingSql namePrefix;
    QString page;                // LIMIT :limit (-1: all) OFFSET :offset
    QString setText;             // the program's part of a site's search text
    // Every site with its last exchange other than "file" when that may need
    // a visit (needsVisit judges); %1: the site's further condition, such as
    // "AND s.id IN (...)", or nothing.
    QString lastModuleExchanges;
    // The ids of the sites that listSites, searchSites and namePrefix find,
    // with their bindings: the visits among a search's hits.
    QString patternIds;
    QString searchIds;
    QString prefixIds;
    QString insertExchange;
    // A site's exchanges newest first: %1 ", image" or nothing, %2 the
    // conditions (each of since, before, byOperator, withImage), then `page`.
    QString history;
    QString since;      // :since, an ISO 8601 time in UTC
    QString before;     // :before
    QString byOperator; // :operator
    QString withImage;
    QString exchangeByNumber;
    // site init: %1 the owner (made when missing, never able to log in),
    // then the grants to the installers' role (%1) and the staff's (%1).
    QStringList ownedBy;
    QStringList installerGrants;
    QStringList staffGrants;
    // %1 the role's name, %2 the role quoted; made NOLOGIN when missing, and
    // with %3 true refused when it can log in.
    QString makeRole;
    SqlFailure (*classify)(const QSqlError &error) = nullptr;
    // Changes of details, only ever added.
    QString insertChange;
    QString changes;
    // A copy of a whole book: one consistent read of the book copied; the
    // rows of each table in number order, every column, and their insert
    // with `?` in the same order; then the counters follow the numbers given.
    QString readSnapshot;
    QString countAll; // sites, exchanges, changes
    QString copySitesOut;
    QString copySiteIn;
    QString copyChangesOut;
    QString copyChangeIn;
    QString copyExchangesOut;
    QString copyExchangeIn;
    QStringList copyFinish;
    // PostgreSQL: a lock only a session of the same database cannot take, to
    // tell two addresses of one book apart from two books; empty on SQLite.
    QString tryBookLock;
    QString freeBookLock;
    // SQLite: whether the book folds by its tables of letters, and how a book
    // made before them comes to; the folding is the same either way, so an
    // older program writes the book as before. Empty on PostgreSQL.
    QString foldsByLetters;
    QStringList makeLetters;
};

// A text as an SQL string literal.
inline QString sqlLiteral(const QString &text)
{
    return QLatin1Char('\'') + QString(text).replace(QLatin1Char('\''), QStringLiteral("''")) + QLatin1Char('\'');
}

// Sites FROM `from`, each with its last exchange AND `exchanges`, `where`,
// in the order `byName`: the site's columns, the exchange's, then archived.
// `time` is how the backend reads a time column back.
inline QString summariesSql(QString (*time)(const QString &column), const QString &from, const QString &exchanges,
                            const QString &where, const QString &byName)
{
    return QStringLiteral("SELECT s.id, s.name, s.address, s.contact, s.phone, s.notes, %1, %2, s.changed_by,"
                          " s.revision, e.id, e.site, %3, e.operator, e.host, e.port, e.operation, e.outcome,"
                          " e.sha256, s.archived FROM %4 LEFT JOIN exchanges e ON e.id = (SELECT x.id FROM exchanges x"
                          " WHERE x.site = s.id %5 ORDER BY x.time DESC, x.id DESC LIMIT 1) %6 ORDER BY %7")
        .arg(time(QStringLiteral("s.created")), time(QStringLiteral("s.changed")), time(QStringLiteral("e.time")),
             from, exchanges, where, byName);
}

// Sites FROM `from` and `where`, each with its last exchange, in the order
// of `key`, then `tie` (the site's id, so that pages never overlap); `page`
// is the LIMIT and OFFSET.
inline ListingSql listingSql(QString (*time)(const QString &column), const QString &from, const QString &where,
                             const QString &key, const QString &tie, const QString &page)
{
    const QString chosen = QStringLiteral("(SELECT s.id AS page_site, %1 AS page_key FROM %2 %3 ORDER BY %1, %4%5) p"
                                          " JOIN sites s ON s.id = p.page_site")
                               .arg(key, from, where, tie, page);
    return {summariesSql(time, from, {}, where, key + QStringLiteral(", ") + tie) + page,
            summariesSql(time, chosen, {}, {}, QStringLiteral("p.page_key, s.id"))};
}

const SqlStatements &sqliteStatements();
const SqlStatements &postgresStatements();

} // namespace Sites
