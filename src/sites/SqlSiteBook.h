#pragma once
// The site book over Qt SQL: one class for both backends, their SQL taken
// from their table of statements. A book object and its connection belong to
// the thread that opened it; another thread opens its own.

#include "BookLocation.h"
#include "SiteBook.h"
#include "SqlStatements.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

#include <utility>

namespace Sites {

class SqlSiteBook final : public SiteBook
{
public:
    // Opens and upgrades the book up to `version` (tests make older books).
    explicit SqlSiteBook(const QString &url, BookUse use = BookUse::Change, int version = KnownVersion);
    // site init: makes or upgrades the book, then its owner and grants.
    SqlSiteBook(const QString &url, const BookRoles &roles, int version = KnownVersion);
    ~SqlSiteBook() override;

    QString location() const override { return m_location; }
    int version() const override { return m_version; }
    QString operatorName() const override { return m_operator; }

    void eachSite(const SiteQuery &query, const std::function<bool(const SiteSummary &)> &row) override;
    std::optional<Site> findSite(const QString &name) override;
    std::optional<Site> findSiteById(qint64 id) override;
    Site addSite(const SiteDetails &details, const std::optional<ImageBytes> &current = {},
                 const QString &source = {}) override;
    Site editSite(const Site &site) override;
    Site editFields(const Site &asRead, const SiteDetails &changed) override;
    Site setArchived(const Site &asRead, bool archived) override;
    QList<DetailsChange> changes(qint64 siteId) override;
    QList<Exchange> recordAll(qint64 siteId, const QList<NewExchange> &exchanges) override;
    void eachExchange(qint64 siteId, const HistoryQuery &query,
                      const std::function<bool(const Exchange &)> &row) override;
    std::optional<Exchange> exchange(qint64 number) override;

    // The book's own version record: the schema version and the oldest
    // program version that may write it.
    std::pair<int, int> versionRecord();
    // Runs one statement without bindings (tests shape books with it).
    void execute(const QString &statement);
    // The same, each row handed to `row` (tests read query plans with it).
    void query(const QString &statement, const std::function<void(const QSqlQuery &)> &row);

    // copySiteBook and backupSiteBook.
    static BookCopy copyBook(const QString &from, const QString &to);
    static BookCopy backup(const QString &url, const QString &file);

private:
    using Bindings = QList<std::pair<const char *, QVariant>>;

    QSqlDatabase database() const;
    QSqlQuery run(const QString &statement, Bindings bindings = {});
    template<typename Body> auto write(Body &&body) -> decltype(body());
    void open(const QString &url, BookUse use, int version, const BookRoles *roles);
    void upgradeTo(int version);
    void grant(const BookRoles &roles);
    void refreshFolding();
    Site heldForUpdate(const Site &asRead);
    Site saveDetails(const Site &held, const SiteFields &fields);
    void keepChange(qint64 siteId, const QDateTime &time, const std::optional<SiteFields> &before,
                    const SiteFields &after);
    void insertChange(qint64 siteId, const QDateTime &time, const QString &by, const std::optional<SiteFields> &before,
                      const SiteFields &after);
    BookCopy copyInto(SqlSiteBook &target);
    // Inside a read or write: Input "... is not empty" when it holds a site or an exchange.
    void refuseFilled();
    void refuseSameBook(SqlSiteBook &target);
    [[noreturn]] void raiseChanged(const Site &held) const;
    [[noreturn]] void refuseReadOnly() const;
    void refuseNewerWriter(int version, int oldestWriter) const;
    void setSetText(qint64 siteId, const std::optional<ImageBytes> &current);
    std::optional<Site> siteWhere(const QString &statement, Bindings bindings);
    Exchange insertExchange(qint64 siteId, const NewExchange &exchange, const std::optional<ImageBytes> &image);
    [[noreturn]] void raise(const QSqlError &error) const;
    [[noreturn]] void raiseNamed(const QSqlError &error, const QString &name);

    const SqlStatements &m_sql;
    QString m_location;
    QString m_connection;
    QString m_operator;
    QString m_host;
    bool m_postgres = false;
    bool m_readOnly = false;
    int m_version = 0;
    int m_oldestWriter = 0;
};

} // namespace Sites
