// The site book's SQL for SQLite. Times are ISO 8601 texts in UTC.

#include "SqlStatements.h"

#include "SiteMatch.h"

namespace Sites {

namespace {

SqlFailure classifySqlite(const QSqlError &error)
{
    // The primary result code, whether or not the driver gives extended codes.
    switch (error.nativeErrorCode().toInt() & 0xFF) {
    case 5:  // SQLITE_BUSY
    case 6:  // SQLITE_LOCKED
        return SqlFailure::Retry;
    case 19: // SQLITE_CONSTRAINT
        return error.databaseText().contains(QLatin1String("UNIQUE")) ? SqlFailure::Unique : SqlFailure::Other;
    case 3:  // SQLITE_PERM
    case 8:  // SQLITE_READONLY
    case 23: // SQLITE_AUTH
        return SqlFailure::Denied;
    case 10: // SQLITE_IOERR
    case 11: // SQLITE_CORRUPT
    case 13: // SQLITE_FULL
    case 14: // SQLITE_CANTOPEN
    case 26: // SQLITE_NOTADB
        return SqlFailure::Unavailable;
    default:
        return error.type() == QSqlError::ConnectionError ? SqlFailure::Unavailable : SqlFailure::Other;
    }
}

const QString SiteColumns = QStringLiteral(
    "id, name, address, contact, phone, notes, created, changed, changed_by, revision");
const QString ExchangeColumns = QStringLiteral(
    "id, site, time, operator, host, port, operation, outcome, sha256");

// Times are kept as the texts they are read back as.
QString timeColumn(const QString &column)
{
    return column;
}

QString summaries(const QString &from, const QString &exchanges, const QString &where)
{
    return summariesSql(timeColumn, from, exchanges, where, QStringLiteral("s.name"));
}

const QString Page = QStringLiteral(" LIMIT :limit OFFSET :offset");

// By the folded name, as its index holds them.
ListingSql paged(const QString &from, const QString &where, const QString &key = QStringLiteral("n.name"),
              const QString &tie = QStringLiteral("n.site"))
{
    return listingSql(timeColumn, from, where, key, tie, Page);
}

// A site's texts to fold, one a line: the name and the phone first, so that
// they are taken back out of the folded text.
QString unfolded(const QString &r)
{
    return QStringLiteral("INSERT INTO site_fold (site, name, digits, body) VALUES (%1.id, '', '', lower(%1.name ||"
                          " char(10) || %1.phone || char(10) || %1.address || char(10) || %1.contact || char(10) ||"
                          " %1.notes || char(10) || %1.set_text));")
        .arg(r);
}

// Folds the texts of the row just put in site_fold, takes out the folded
// name and the phone's digits, and gives the site its index entry: as
// foldText, digitsOf and searchTextOf make them. A text goes through
// site_fold_work to the views that walk it.
QString refold()
{
    const QString row = QStringLiteral(" WHERE site = new.site");
    // A text of printable ASCII has nothing to fold; a number of digits nothing to take out.
    const QString unfolded = row + QStringLiteral(" AND replace(body, char(10), ' ') GLOB '*[^ -~]*'");
    const QString separated = row + QStringLiteral(" AND digits GLOB '*[^0-9]*'");
    const QString rest = QStringLiteral("substr(body, instr(body, char(10)) + 1)");
    return QStringLiteral(" INSERT OR REPLACE INTO site_fold_work (one, text) SELECT 1, body FROM site_fold%1;"
                          " UPDATE site_fold SET body = (SELECT text FROM site_fold_folding)%1;")
               .arg(unfolded)
        + QStringLiteral(" UPDATE site_fold SET name = substr(body, 1, instr(body, char(10)) - 1),"
                         " digits = substr(%1, 1, instr(%1, char(10)) - 1)%2;")
              .arg(rest, row)
        + QStringLiteral(" INSERT OR REPLACE INTO site_fold_work (one, text) SELECT 1, digits FROM site_fold%1;"
                         " UPDATE site_fold SET digits = (SELECT text FROM site_fold_digits)%1;"
                         " DELETE FROM site_fold_work;")
              .arg(separated)
        + QStringLiteral(" INSERT INTO site_index (rowid, body) SELECT site, body || char(10) || digits FROM site_fold")
        + row + QLatin1Char(';');
}

// The folding as tables of letters that views look each character up in:
// SQLite parses the whole schema at every opening, and the folding written
// out as replace() calls made that a millisecond. Replaces whatever folding
// the book had.
QStringList foldByLetters()
{
    QStringList letters, separators;
    for (const FoldPair &p : foldPairs())
        letters << QStringLiteral("(%1, %2)").arg(sqlLiteral(p.from), sqlLiteral(p.to));
    for (const QChar c : phoneSeparators())
        separators << QStringLiteral("(%1)").arg(sqlLiteral(c));
    // The text of site_fold_work, one character a step.
    const QString walk = QStringLiteral(
        "CREATE VIEW %1 (text) AS WITH RECURSIVE walk (at, done) AS (SELECT 1, '' UNION ALL"
        " SELECT at + 1, done || %2 FROM walk, site_fold_work w WHERE at <= length(w.text))"
        " SELECT done FROM walk ORDER BY at DESC LIMIT 1");
    const QString letter = QStringLiteral("substr(w.text, at, 1)");
    return {
        QStringLiteral("DROP TRIGGER IF EXISTS site_fold_folded"),
        QStringLiteral("DROP VIEW IF EXISTS site_fold_folding"),
        QStringLiteral("DROP VIEW IF EXISTS site_fold_digits"),
        QStringLiteral("DROP TABLE IF EXISTS site_fold_letters"),
        QStringLiteral("DROP TABLE IF EXISTS site_phone_separators"),
        QStringLiteral("DROP TABLE IF EXISTS site_fold_work"),
        QStringLiteral("CREATE TABLE site_fold_letters (letter TEXT PRIMARY KEY, folded TEXT NOT NULL) WITHOUT ROWID"),
        QStringLiteral("INSERT INTO site_fold_letters (letter, folded) VALUES ") + letters.join(QStringLiteral(", ")),
        QStringLiteral("CREATE TABLE site_phone_separators (letter TEXT PRIMARY KEY) WITHOUT ROWID"),
        QStringLiteral("INSERT INTO site_phone_separators (letter) VALUES ") + separators.join(QStringLiteral(", ")),
        QStringLiteral("CREATE TABLE site_fold_work (one INTEGER PRIMARY KEY CHECK (one = 1), text TEXT NOT NULL)"),
        walk.arg(QStringLiteral("site_fold_folding"),
                 QStringLiteral("coalesce((SELECT l.folded FROM site_fold_letters l WHERE l.letter = %1), %1)")
                     .arg(letter)),
        walk.arg(QStringLiteral("site_fold_digits"),
                 QStringLiteral("CASE WHEN EXISTS (SELECT 1 FROM site_phone_separators p WHERE p.letter = %1)"
                                " THEN '' ELSE %1 END")
                     .arg(letter)),
        QStringLiteral("CREATE TRIGGER site_fold_folded AFTER INSERT ON site_fold BEGIN") + refold()
            + QStringLiteral(" END"),
    };
}

} // namespace

const SqlStatements &sqliteStatements()
{
    static const SqlStatements s{
        QStringLiteral("QSQLITE"),
        QStringLiteral("libqt6sql6-sqlite"),
        {
            {
                QStringLiteral("CREATE TABLE book (version INTEGER NOT NULL, oldest_writer INTEGER NOT NULL)"),
                QStringLiteral("INSERT INTO book (version, oldest_writer) VALUES (0, 0)"),
                QStringLiteral("CREATE TABLE sites ("
                               " id INTEGER PRIMARY KEY,"
                               " name TEXT NOT NULL UNIQUE,"
                               " address TEXT NOT NULL DEFAULT '',"
                               " contact TEXT NOT NULL DEFAULT '',"
                               " phone TEXT NOT NULL DEFAULT '',"
                               " notes TEXT NOT NULL DEFAULT '',"
                               " created TEXT NOT NULL,"
                               " changed TEXT NOT NULL,"
                               " changed_by TEXT NOT NULL,"
                               " revision INTEGER NOT NULL,"
                               " current_set BLOB CHECK (current_set IS NULL OR length(current_set) = 1088))"),
                QStringLiteral("CREATE TABLE exchanges ("
                               " id INTEGER PRIMARY KEY AUTOINCREMENT,"
                               " site INTEGER NOT NULL REFERENCES sites (id),"
                               " time TEXT NOT NULL,"
                               " operator TEXT NOT NULL,"
                               " host TEXT NOT NULL,"
                               " port TEXT NOT NULL,"
                               " operation TEXT NOT NULL,"
                               " outcome TEXT NOT NULL,"
                               " image BLOB CHECK (image IS NULL OR length(image) = 1088),"
                               " sha256 TEXT)"),
                QStringLiteral("CREATE INDEX exchanges_by_site ON exchanges (site, id)"),
                QStringLiteral("CREATE TRIGGER exchanges_never_changed BEFORE UPDATE ON exchanges"
                               " BEGIN SELECT RAISE(ABORT, 'exchanges are never changed'); END"),
                QStringLiteral("CREATE TRIGGER exchanges_never_deleted BEFORE DELETE ON exchanges"
                               " BEGIN SELECT RAISE(ABORT, 'exchanges are never deleted'); END"),
            },
            {
                // Kept apart from the sites' images, so a search reads only this narrow table.
                QStringLiteral("CREATE TABLE site_search (site INTEGER PRIMARY KEY REFERENCES sites (id),"
                               " search TEXT NOT NULL)"),
            },
            {
                // Names unique by their folded key, filled by the program; the
                // version record one row by its key.
                QStringLiteral("ALTER TABLE sites ADD COLUMN name_key TEXT"),
                QStringLiteral("CREATE UNIQUE INDEX sites_by_key ON sites (name_key)"),
                QStringLiteral("CREATE TABLE book_one (one INTEGER NOT NULL DEFAULT 1 PRIMARY KEY CHECK (one = 1),"
                               " version INTEGER NOT NULL, oldest_writer INTEGER NOT NULL)"),
                QStringLiteral("INSERT INTO book_one (one, version, oldest_writer)"
                               " SELECT 1, version, oldest_writer FROM book LIMIT 1"),
                QStringLiteral("DROP TABLE book"),
                QStringLiteral("ALTER TABLE book_one RENAME TO book"),
                QStringLiteral("CREATE INDEX exchanges_by_time ON exchanges (site, time, id)"),
            },
            QStringList{
                // The search by index, kept by the database itself: a change made with
                // any client is found. Only the current set's part is the program's.
                QStringLiteral("ALTER TABLE sites ADD COLUMN set_text TEXT NOT NULL DEFAULT ''"),
                QStringLiteral("CREATE TABLE site_fold (site INTEGER PRIMARY KEY REFERENCES sites (id),"
                               " name TEXT NOT NULL, digits TEXT NOT NULL, body TEXT NOT NULL)"),
                QStringLiteral("CREATE INDEX site_fold_by_name ON site_fold (name)"),
                QStringLiteral(
                    "CREATE VIRTUAL TABLE site_index USING fts5 (body, tokenize = 'trigram case_sensitive 1')"),
            } + foldByLetters() + QStringList{
                QStringLiteral("CREATE TRIGGER sites_indexed AFTER INSERT ON sites BEGIN ")
                    + unfolded(QStringLiteral("new")) + QStringLiteral(" END"),
                QStringLiteral(
                    "CREATE TRIGGER sites_reindexed AFTER UPDATE OF id, name, address, contact, phone, notes,"
                    " set_text ON sites BEGIN DELETE FROM site_fold WHERE site = old.id;"
                    " DELETE FROM site_index WHERE rowid = old.id; ")
                    + unfolded(QStringLiteral("new")) + QStringLiteral(" END"),
                QStringLiteral(
                    "CREATE TRIGGER sites_unindexed AFTER DELETE ON sites BEGIN"
                    " DELETE FROM site_fold WHERE site = old.id; DELETE FROM site_index WHERE rowid = old.id; END"),
                // The sites there are, through the same trigger.
                QStringLiteral("UPDATE sites SET set_text = ''"),
            },
            {
                // Archived sites, and every change of a site's details, kept like the exchanges.
                QStringLiteral("ALTER TABLE sites ADD COLUMN archived INTEGER NOT NULL DEFAULT 0"
                               " CHECK (archived IN (0, 1))"),
                QStringLiteral("CREATE TABLE site_changes ("
                               " id INTEGER PRIMARY KEY AUTOINCREMENT,"
                               " site INTEGER NOT NULL REFERENCES sites (id),"
                               " time TEXT NOT NULL,"
                               " operator TEXT NOT NULL,"
                               " fields_before TEXT,"
                               " fields_after TEXT NOT NULL)"),
                QStringLiteral("CREATE INDEX site_changes_by_site ON site_changes (site, time, id)"),
                QStringLiteral("CREATE TRIGGER site_changes_never_changed BEFORE UPDATE ON site_changes"
                               " BEGIN SELECT RAISE(ABORT, 'details changes are never changed'); END"),
                QStringLiteral("CREATE TRIGGER site_changes_never_deleted BEFORE DELETE ON site_changes"
                               " BEGIN SELECT RAISE(ABORT, 'details changes are never deleted'); END"),
            },
        },
        {
            QStringLiteral("PRAGMA journal_mode = WAL"),
            QStringLiteral("PRAGMA foreign_keys = ON"),
            // A committed exchange survives a power cut.
            QStringLiteral("PRAGMA synchronous = FULL"),
            // Pages read where the system keeps them, not copied one read at a
            // time: a search that reads thousands of sites spent half its time
            // copying. SQLite maps the file read-only; its changes still go
            // through its journal.
            QStringLiteral("PRAGMA mmap_size = 2147418112"),
        },
        {},
        QStringLiteral("PRAGMA busy_timeout = %1"),
        QStringLiteral("BEGIN IMMEDIATE"),
        {},
        QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = 'book'"),
        QStringLiteral("SELECT version, oldest_writer FROM book"),
        QStringLiteral("UPDATE book SET version = :version, oldest_writer = :oldest"),
        QStringLiteral(
            "INSERT INTO sites (name, name_key, address, contact, phone, notes, created, changed, changed_by,"
            " revision) VALUES (:name, :key, :address, :contact, :phone, :notes, :time, :time, :by, 1)"
            " RETURNING id"),
        QStringLiteral("UPDATE sites SET name = :name, name_key = :key, address = :address, contact = :contact,"
                       " phone = :phone, notes = :notes, archived = :archived, changed = :time, changed_by = :by,"
                       " revision = revision + 1 WHERE id = :id AND revision = :revision"),
        QStringLiteral("UPDATE sites SET current_set = :image WHERE id = :id"),
        QStringLiteral("INSERT OR REPLACE INTO site_search (site, search) VALUES (:id, :search)"),
        QStringLiteral("UPDATE sites SET name_key = :key WHERE id = :id"),
        QStringLiteral("SELECT ") + SiteColumns + QStringLiteral(", current_set FROM sites"),
        QStringLiteral("SELECT ") + SiteColumns + QStringLiteral(", current_set, archived FROM sites WHERE name = :name"),
        QStringLiteral("SELECT name FROM sites WHERE name_key = :key"),
        QStringLiteral("SELECT ") + SiteColumns + QStringLiteral(", current_set, archived FROM sites WHERE id = :id"),
        QStringLiteral("SELECT ") + SiteColumns + QStringLiteral(", current_set, archived FROM sites WHERE id = :id"),
        paged(QStringLiteral("site_search f JOIN sites s ON s.id = f.site"),
              QStringLiteral("WHERE f.search LIKE :pattern ESCAPE '\\' AND (s.archived = 0 OR :archived = 1)"),
              QStringLiteral("s.name"), QStringLiteral("s.id")),
        paged(QStringLiteral("site_fold n JOIN sites s ON s.id = n.site"),
              QStringLiteral("WHERE (s.archived = 0 OR :archived = 1)")),
        paged(QStringLiteral("site_index f JOIN site_fold n ON n.site = f.rowid JOIN sites s ON s.id = f.rowid"),
              QStringLiteral("WHERE site_index MATCH :phrase AND (s.archived = 0 OR :archived = 1)")),
        paged(QStringLiteral("site_fold n JOIN sites s ON s.id = n.site"),
              QStringLiteral("WHERE n.name >= :low AND n.name < :high AND (s.archived = 0 OR :archived = 1)")),
        Page,
        QStringLiteral("UPDATE sites SET set_text = :text WHERE id = :id"),
        summaries(QStringLiteral("sites s"), QStringLiteral("AND x.operation <> 'file'"),
                  QStringLiteral("WHERE e.id IS NOT NULL AND s.archived = 0 AND (e.outcome LIKE 'stopped%' OR e.operation IN ('verify', 'compare')) %1")),
        QStringLiteral("SELECT f.site FROM site_search f WHERE f.search LIKE :pattern ESCAPE '\\'"),
        QStringLiteral("SELECT f.rowid FROM site_index f WHERE site_index MATCH :phrase"),
        QStringLiteral("SELECT n.site FROM site_fold n WHERE n.name >= :low AND n.name < :high"),
        QStringLiteral("INSERT INTO exchanges (site, time, operator, host, port, operation, outcome, image, sha256)"
                       " VALUES (:site, :time, :by, :host, :port, :operation, :outcome, :image, :sha256)"
                       " RETURNING id"),
        QStringLiteral("SELECT ") + ExchangeColumns
            + QStringLiteral("%1 FROM exchanges WHERE site = :site%2 ORDER BY time DESC, id DESC"),
        QStringLiteral(" AND time >= :since"),
        QStringLiteral(" AND time < :before"),
        QStringLiteral(" AND operator = :operator"),
        QStringLiteral(" AND image IS NOT NULL"),
        QStringLiteral("SELECT ") + ExchangeColumns + QStringLiteral(", image FROM exchanges WHERE id = :number"),
        {},
        {},
        {},
        {},
        classifySqlite,
        QStringLiteral("INSERT INTO site_changes (site, time, operator, fields_before, fields_after)"
                       " VALUES (:site, :time, :by, :before, :after)"),
        QStringLiteral("SELECT id, site, time, operator, fields_before, fields_after FROM site_changes"
                       " WHERE site = :site ORDER BY time DESC, id DESC"),
        // Deferred: the snapshot is taken by the first read and holds until the end.
        QStringLiteral("BEGIN"),
        QStringLiteral("SELECT (SELECT count(*) FROM sites), (SELECT count(*) FROM exchanges),"
                       " (SELECT count(*) FROM site_changes)"),
        QStringLiteral("SELECT id, name, name_key, address, contact, phone, notes, created, changed, changed_by,"
                       " revision, archived, current_set FROM sites ORDER BY id"),
        QStringLiteral("INSERT INTO sites (id, name, name_key, address, contact, phone, notes, created, changed,"
                       " changed_by, revision, archived, current_set) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
        QStringLiteral("SELECT id, site, time, operator, fields_before, fields_after FROM site_changes ORDER BY id"),
        QStringLiteral("INSERT INTO site_changes (id, site, time, operator, fields_before, fields_after)"
                       " VALUES (?, ?, ?, ?, ?, ?)"),
        QStringLiteral("SELECT id, site, time, operator, host, port, operation, outcome, sha256, image FROM exchanges"
                       " ORDER BY id"),
        QStringLiteral("INSERT INTO exchanges (id, site, time, operator, host, port, operation, outcome, sha256, image)"
                       " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
        // AUTOINCREMENT keeps the highest number given by itself.
        {},
        {},
        {},
        QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = 'site_fold_letters'"),
        foldByLetters(),
    };
    return s;
}

} // namespace Sites
