// The site book's SQL for PostgreSQL 13 or newer. Times are timestamptz read
// back as ISO 8601 texts in UTC; images are bytea.

#include "SqlStatements.h"

#include "SiteMatch.h"

namespace Sites {

namespace {

SqlFailure classifyPostgres(const QSqlError &error)
{
    const QString state = error.nativeErrorCode(); // the SQLSTATE
    if (state == QLatin1String("40001") || state == QLatin1String("40P01") || state == QLatin1String("55P03"))
        return SqlFailure::Retry;
    if (state == QLatin1String("23505"))
        return SqlFailure::Unique;
    if (state == QLatin1String("42501") || state == QLatin1String("25006"))
        return SqlFailure::Denied;
    if (state.startsWith(QLatin1String("08")) || state.startsWith(QLatin1String("53"))
        || state.startsWith(QLatin1String("57")) || error.type() == QSqlError::ConnectionError)
        return SqlFailure::Unavailable;
    return SqlFailure::Other;
}

const QString Time = QStringLiteral("to_char(%1 AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS.MS\"Z\"')");
const QString SiteColumns = QStringLiteral("id, name, address, contact, phone, notes, ") + Time.arg(QStringLiteral("created"))
                            + QStringLiteral(", ") + Time.arg(QStringLiteral("changed"))
                            + QStringLiteral(", changed_by, revision");
const QString ExchangeColumns = QStringLiteral("id, site, ") + Time.arg(QStringLiteral("time"))
                                + QStringLiteral(", operator, host, port, operation, outcome, sha256");

QString timeColumn(const QString &column)
{
    return Time.arg(column);
}

QString summaries(const QString &from, const QString &exchanges, const QString &where)
{
    return summariesSql(timeColumn, from, exchanges, where, QStringLiteral("s.name COLLATE \"C\""));
}

const QString Page = QStringLiteral(" LIMIT NULLIF(CAST(:limit AS bigint), -1) OFFSET :offset");

// By the folded name, as its index holds them.
ListingSql paged(const QString &from, const QString &where, const QString &key = QStringLiteral("s.name_fold COLLATE \"C\""))
{
    return listingSql(timeColumn, from, where, key, QStringLiteral("s.id"), Page);
}

// foldText in SQL: translate() takes A to Z and each character of the table
// that becomes one character or none, replace() those that become several.
QString folded(const QString &x)
{
    QString from = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ"), to = QStringLiteral("abcdefghijklmnopqrstuvwxyz");
    QString dropped;
    QList<FoldPair> several;
    for (const FoldPair &p : foldPairs()) {
        if (p.to.size() == 1) {
            from += p.from;
            to += p.to;
        } else if (p.to.isEmpty()) {
            dropped += p.from;
        } else {
            several << p;
        }
    }
    QString chain = QStringLiteral("translate(%1, %2, %3)").arg(x, sqlLiteral(from + dropped), sqlLiteral(to));
    for (const FoldPair &p : several)
        chain = QStringLiteral("replace(%1, %2, %3)").arg(chain, sqlLiteral(p.from), sqlLiteral(p.to));
    return chain;
}

// digitsOf in SQL.
QString digits(const QString &x)
{
    return QStringLiteral("translate(%1, %2, '')").arg(folded(x), sqlLiteral(phoneSeparators()));
}

} // namespace

const SqlStatements &postgresStatements()
{
    static const SqlStatements s{
        QStringLiteral("QPSQL"),
        QStringLiteral("libqt6sql6-psql"),
        {
            {
                QStringLiteral("CREATE TABLE book (version integer NOT NULL, oldest_writer integer NOT NULL)"),
                QStringLiteral("INSERT INTO book (version, oldest_writer) VALUES (0, 0)"),
                QStringLiteral("CREATE TABLE sites ("
                               " id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,"
                               " name text NOT NULL UNIQUE,"
                               " address text NOT NULL DEFAULT '',"
                               " contact text NOT NULL DEFAULT '',"
                               " phone text NOT NULL DEFAULT '',"
                               " notes text NOT NULL DEFAULT '',"
                               " created timestamptz NOT NULL,"
                               " changed timestamptz NOT NULL,"
                               " changed_by text NOT NULL,"
                               " revision bigint NOT NULL,"
                               " current_set bytea CHECK (current_set IS NULL OR length(current_set) = 1088))"),
                QStringLiteral("CREATE TABLE exchanges ("
                               " id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,"
                               " site bigint NOT NULL REFERENCES sites (id),"
                               " time timestamptz NOT NULL,"
                               " operator text NOT NULL,"
                               " host text NOT NULL,"
                               " port text NOT NULL,"
                               " operation text NOT NULL,"
                               " outcome text NOT NULL,"
                               " image bytea CHECK (image IS NULL OR length(image) = 1088),"
                               " sha256 text)"),
                QStringLiteral("CREATE INDEX exchanges_by_site ON exchanges (site, id)"),
                QStringLiteral("CREATE FUNCTION exchanges_never_changed() RETURNS trigger LANGUAGE plpgsql AS"
                               " $$ BEGIN RAISE EXCEPTION 'exchanges are never changed or deleted'; END $$"),
                QStringLiteral("CREATE TRIGGER exchanges_never_changed BEFORE UPDATE OR DELETE ON exchanges"
                               " FOR EACH ROW EXECUTE FUNCTION exchanges_never_changed()"),
            },
            {
                // Kept apart from the sites' images, so a search reads only this narrow table.
                QStringLiteral("CREATE TABLE site_search (site bigint PRIMARY KEY REFERENCES sites (id),"
                               " search text NOT NULL)"),
            },
            {
                // Names unique by their folded key, filled by the program; the
                // version record one row by its key; TRUNCATE guarded as well.
                QStringLiteral("ALTER TABLE sites ADD COLUMN name_key text"),
                QStringLiteral("CREATE UNIQUE INDEX sites_by_key ON sites (name_key)"),
                QStringLiteral("CREATE TABLE book_one (one integer NOT NULL DEFAULT 1 PRIMARY KEY CHECK (one = 1),"
                               " version integer NOT NULL, oldest_writer integer NOT NULL)"),
                QStringLiteral("INSERT INTO book_one (one, version, oldest_writer)"
                               " SELECT 1, version, oldest_writer FROM book LIMIT 1"),
                QStringLiteral("DROP TABLE book"),
                QStringLiteral("ALTER TABLE book_one RENAME TO book"),
                QStringLiteral("CREATE INDEX exchanges_by_time ON exchanges (site, time, id)"),
                QStringLiteral("CREATE TRIGGER exchanges_never_truncated BEFORE TRUNCATE ON exchanges"
                               " FOR EACH STATEMENT EXECUTE FUNCTION exchanges_never_changed()"),
            },
            {
                // The search by index, kept by the database itself: a change made with
                // any client is found. Only the current set's part is the program's.
                QStringLiteral("CREATE EXTENSION IF NOT EXISTS pg_trgm"),
                QStringLiteral("ALTER TABLE sites ADD COLUMN set_text text NOT NULL DEFAULT ''"),
                QStringLiteral("ALTER TABLE sites ADD COLUMN name_fold text GENERATED ALWAYS AS (")
                    + folded(QStringLiteral("name")) + QStringLiteral(") STORED"),
                QStringLiteral("ALTER TABLE sites ADD COLUMN search_text text GENERATED ALWAYS AS (")
                    + folded(QStringLiteral("name || chr(10) || address || chr(10) || contact || chr(10) || phone"
                                            " || chr(10) || notes"))
                    + QStringLiteral(" || chr(10) || ") + digits(QStringLiteral("phone"))
                    + QStringLiteral(" || chr(10) || set_text) STORED"),
                QStringLiteral("CREATE INDEX sites_search ON sites USING gin (search_text gin_trgm_ops)"),
                QStringLiteral("CREATE INDEX sites_by_fold ON sites (name_fold COLLATE \"C\")"),
                QStringLiteral("CREATE INDEX sites_by_name ON sites (name COLLATE \"C\")"),
            },
            {
                // Archived sites, and every change of a site's details, kept like the exchanges.
                QStringLiteral("ALTER TABLE sites ADD COLUMN archived boolean NOT NULL DEFAULT false"),
                QStringLiteral("CREATE TABLE site_changes ("
                               " id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,"
                               " site bigint NOT NULL REFERENCES sites (id),"
                               " time timestamptz NOT NULL,"
                               " operator text NOT NULL,"
                               " fields_before text,"
                               " fields_after text NOT NULL)"),
                QStringLiteral("CREATE INDEX site_changes_by_site ON site_changes (site, time, id)"),
                QStringLiteral("CREATE FUNCTION site_changes_never_changed() RETURNS trigger LANGUAGE plpgsql AS"
                               " $$ BEGIN RAISE EXCEPTION 'details changes are never changed or deleted'; END $$"),
                QStringLiteral("CREATE TRIGGER site_changes_never_changed BEFORE UPDATE OR DELETE ON site_changes"
                               " FOR EACH ROW EXECUTE FUNCTION site_changes_never_changed()"),
                QStringLiteral("CREATE TRIGGER site_changes_never_truncated BEFORE TRUNCATE ON site_changes"
                               " FOR EACH STATEMENT EXECUTE FUNCTION site_changes_never_changed()"),
            },
        },
        {
            QStringLiteral("SET TIME ZONE 'UTC'"),
            QStringLiteral("SET client_min_messages = warning"),
            QStringLiteral("SET lock_timeout = 10000"),
        },
        // The person's own login, also where a role of the session is set.
        QStringLiteral("SELECT session_user"),
        QStringLiteral("SET lock_timeout = %1"),
        QStringLiteral("BEGIN"),
        // Two programs creating one book at once: the second waits, then finds it made.
        QStringLiteral("SELECT pg_advisory_xact_lock(2023517)"),
        QStringLiteral("SELECT count(*) FROM pg_tables WHERE schemaname = current_schema() AND tablename = 'book'"),
        QStringLiteral("SELECT version, oldest_writer FROM book"),
        QStringLiteral("UPDATE book SET version = :version, oldest_writer = :oldest"),
        QStringLiteral(
            "INSERT INTO sites (name, name_key, address, contact, phone, notes, created, changed, changed_by,"
            " revision) VALUES (:name, :key, :address, :contact, :phone, :notes,"
            " CAST(:time AS timestamptz), CAST(:time AS timestamptz), :by, 1) RETURNING id"),
        QStringLiteral(
            "UPDATE sites SET name = :name, name_key = :key, address = :address, contact = :contact, phone = :phone,"
            " notes = :notes, archived = CAST(:archived AS integer) = 1, changed = CAST(:time AS timestamptz),"
            " changed_by = :by,"
            " revision = revision + 1 WHERE id = :id AND revision = :revision"),
        QStringLiteral("UPDATE sites SET current_set = :image WHERE id = :id"),
        QStringLiteral("INSERT INTO site_search (site, search) VALUES (:id, :search)"
                       " ON CONFLICT (site) DO UPDATE SET search = excluded.search"),
        QStringLiteral("UPDATE sites SET name_key = :key WHERE id = :id"),
        QStringLiteral("SELECT ") + SiteColumns + QStringLiteral(", current_set FROM sites"),
        QStringLiteral("SELECT ") + SiteColumns + QStringLiteral(", current_set, archived FROM sites WHERE name = :name"),
        QStringLiteral("SELECT name FROM sites WHERE name_key = :key"),
        QStringLiteral("SELECT ") + SiteColumns + QStringLiteral(", current_set, archived FROM sites WHERE id = :id"),
        // Two reads into one site at once keep the same bytes 960 to 1087.
        QStringLiteral("SELECT ") + SiteColumns + QStringLiteral(", current_set, archived FROM sites WHERE id = :id FOR UPDATE"),
        paged(QStringLiteral("site_search f JOIN sites s ON s.id = f.site"),
              QStringLiteral("WHERE f.search LIKE :pattern ESCAPE '\\'"
                             " AND (NOT s.archived OR CAST(:archived AS integer) = 1)"),
              QStringLiteral("s.name COLLATE \"C\"")),
        paged(QStringLiteral("sites s"), QStringLiteral("WHERE (NOT s.archived OR CAST(:archived AS integer) = 1)")),
        paged(QStringLiteral("sites s"), QStringLiteral("WHERE s.search_text LIKE :phrase"
                                                        " AND (NOT s.archived OR CAST(:archived AS integer) = 1)")),
        paged(QStringLiteral("sites s"),
              QStringLiteral("WHERE s.name_fold COLLATE \"C\" >= :low AND s.name_fold COLLATE \"C\" < :high"
                             " AND (NOT s.archived OR CAST(:archived AS integer) = 1)")),
        Page,
        QStringLiteral("UPDATE sites SET set_text = :text WHERE id = :id"),
        summaries(QStringLiteral("sites s"), QStringLiteral("AND x.operation <> 'file'"),
                  QStringLiteral("WHERE e.id IS NOT NULL AND NOT s.archived AND (e.outcome LIKE 'stopped%' OR e.operation IN ('verify', 'compare')) %1")),
        QStringLiteral("SELECT f.site FROM site_search f WHERE f.search LIKE :pattern ESCAPE '\\'"),
        QStringLiteral("SELECT t.id FROM sites t WHERE t.search_text LIKE :phrase"),
        QStringLiteral("SELECT t.id FROM sites t WHERE t.name_fold COLLATE \"C\" >= :low AND t.name_fold COLLATE \"C\" < :high"),
        QStringLiteral("INSERT INTO exchanges (site, time, operator, host, port, operation, outcome, image, sha256)"
                       " VALUES (:site, CAST(:time AS timestamptz), :by, :host, :port, :operation, :outcome,"
                       " :image, :sha256) RETURNING id"),
        QStringLiteral("SELECT ") + ExchangeColumns
            + QStringLiteral("%1 FROM exchanges WHERE site = :site%2 ORDER BY time DESC, id DESC"),
        QStringLiteral(" AND time >= CAST(:since AS timestamptz)"),
        QStringLiteral(" AND time < CAST(:before AS timestamptz)"),
        QStringLiteral(" AND operator = :operator"),
        QStringLiteral(" AND image IS NOT NULL"),
        QStringLiteral("SELECT ") + ExchangeColumns + QStringLiteral(", image FROM exchanges WHERE id = :number"),
        {
            QStringLiteral("ALTER TABLE book OWNER TO %1"),
            QStringLiteral("ALTER TABLE sites OWNER TO %1"),
            QStringLiteral("ALTER TABLE site_search OWNER TO %1"),
            QStringLiteral("ALTER TABLE exchanges OWNER TO %1"),
            QStringLiteral("ALTER FUNCTION exchanges_never_changed() OWNER TO %1"),
            QStringLiteral("ALTER TABLE site_changes OWNER TO %1"),
            QStringLiteral("ALTER FUNCTION site_changes_never_changed() OWNER TO %1"),
            QStringLiteral("REVOKE ALL ON book, sites, site_search, exchanges, site_changes FROM PUBLIC"),
        },
        {
            // Exchanges and changes of details are only added: no UPDATE, DELETE or TRUNCATE for
            // anybody who logs in.
            QStringLiteral("GRANT SELECT ON book, sites, site_search, exchanges, site_changes TO %1"),
            QStringLiteral("GRANT INSERT, UPDATE ON sites, site_search TO %1"),
            QStringLiteral("GRANT INSERT ON exchanges, site_changes TO %1"),
        },
        {
            QStringLiteral("GRANT SELECT ON book, sites, site_search, exchanges, site_changes TO %1"),
        },
        QStringLiteral("DO $$ BEGIN"
                       " IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = '%1') THEN CREATE ROLE %2 NOLOGIN;"
                       " ELSIF %3 AND (SELECT rolcanlogin FROM pg_roles WHERE rolname = '%1') THEN"
                       " RAISE EXCEPTION 'role %2 can log in: the site book''s owner must not';"
                       " END IF;"
                       " END $$"),
        classifyPostgres,
        QStringLiteral("INSERT INTO site_changes (site, time, operator, fields_before, fields_after)"
                       " VALUES (:site, CAST(:time AS timestamptz), :by, :before, :after)"),
        QStringLiteral("SELECT id, site, ") + Time.arg(QStringLiteral("time"))
            + QStringLiteral(", operator, fields_before, fields_after FROM site_changes WHERE site = :site"
                             " ORDER BY time DESC, id DESC"),
        QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"),
        QStringLiteral("SELECT (SELECT count(*) FROM sites), (SELECT count(*) FROM exchanges),"
                       " (SELECT count(*) FROM site_changes)"),
        QStringLiteral("SELECT id, name, name_key, address, contact, phone, notes, ") + Time.arg(QStringLiteral("created"))
            + QStringLiteral(", ") + Time.arg(QStringLiteral("changed"))
            + QStringLiteral(", changed_by, revision, archived, current_set FROM sites ORDER BY id"),
        QStringLiteral("INSERT INTO sites (id, name, name_key, address, contact, phone, notes, created, changed,"
                       " changed_by, revision, archived, current_set) OVERRIDING SYSTEM VALUE VALUES (?, ?, ?, ?, ?,"
                       " ?, ?, CAST(? AS timestamptz), CAST(? AS timestamptz), ?, ?, CAST(? AS integer) = 1, ?)"),
        QStringLiteral("SELECT id, site, ") + Time.arg(QStringLiteral("time"))
            + QStringLiteral(", operator, fields_before, fields_after FROM site_changes ORDER BY id"),
        QStringLiteral("INSERT INTO site_changes (id, site, time, operator, fields_before, fields_after)"
                       " OVERRIDING SYSTEM VALUE VALUES (?, ?, CAST(? AS timestamptz), ?, ?, ?)"),
        QStringLiteral("SELECT id, site, ") + Time.arg(QStringLiteral("time"))
            + QStringLiteral(", operator, host, port, operation, outcome, sha256, image FROM exchanges ORDER BY id"),
        QStringLiteral("INSERT INTO exchanges (id, site, time, operator, host, port, operation, outcome, sha256, image)"
                       " OVERRIDING SYSTEM VALUE VALUES (?, ?, CAST(? AS timestamptz), ?, ?, ?, ?, ?, ?, ?)"),
        {
            // The next number after the highest copied.
            QStringLiteral("SELECT setval(pg_get_serial_sequence('sites', 'id'),"
                           " coalesce((SELECT max(id) FROM sites), 0) + 1, false)"),
            QStringLiteral("SELECT setval(pg_get_serial_sequence('exchanges', 'id'),"
                           " coalesce((SELECT max(id) FROM exchanges), 0) + 1, false)"),
            QStringLiteral("SELECT setval(pg_get_serial_sequence('site_changes', 'id'),"
                           " coalesce((SELECT max(id) FROM site_changes), 0) + 1, false)"),
        },
        // Advisory locks belong to one database.
        QStringLiteral("SELECT pg_try_advisory_lock(:key)"),
        QStringLiteral("SELECT pg_advisory_unlock(:key)"),
        {},
        {},
    };
    return s;
}

} // namespace Sites
