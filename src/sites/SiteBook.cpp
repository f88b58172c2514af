#include "SiteBook.h"

#include "SqlSiteBook.h"

#include "params/WriteChecks.h"
#include "serial/PortMap.h"

#include <QSettings>

namespace Sites {

bool readsModule(Operation operation)
{
    return operation != Operation::Write && operation != Operation::File;
}

bool needsVisit(const Exchange &exchange)
{
    if (exchange.operation == Operation::File)
        return false;
    if (exchange.outcome.startsWith(QLatin1String("stopped")))
        return true;
    if (exchange.operation == Operation::Verify)
        return exchange.outcome != QLatin1String("verified");
    if (exchange.operation == Operation::Compare)
        return exchange.outcome != QLatin1String("no difference");
    return false;
}

SiteBookError::SiteBookError(Kind kind, const QString &message)
    : QuelmarError(message)
    , m_kind(kind)
{
}

SiteBook::~SiteBook() = default;

Site SiteBook::site(const QString &name)
{
    std::optional<Site> found = findSite(name);
    if (!found)
        throw SiteBookError(SiteBookError::Kind::NoSite, QStringLiteral("no site \"%1\" in the site book").arg(name));
    return *found;
}

QList<Exchange> SiteBook::history(qint64 siteId, bool withImages)
{
    QList<Exchange> list;
    HistoryQuery query;
    query.withImages = withImages;
    eachExchange(siteId, query, [&](const Exchange &e) {
        list << e;
        return true;
    });
    return list;
}

Exchange SiteBook::record(qint64 siteId, const NewExchange &exchange)
{
    return recordAll(siteId, {exchange}).first();
}

std::unique_ptr<SiteBook> openSiteBook(const QString &url, BookUse use)
{
    return std::make_unique<SqlSiteBook>(url, use);
}

std::unique_ptr<SiteBook> initSiteBook(const QString &url, const BookRoles &roles)
{
    return std::make_unique<SqlSiteBook>(url, roles);
}

QString defaultBookPath()
{
    return PortMap::xdgFolder("XDG_DATA_HOME", ".local/share") + QStringLiteral("/sites.sqlite");
}

QString configuredBookUrl()
{
    const QSettings settings(userSettingsPath(), QSettings::IniFormat);
    const QString url = settings.value(QStringLiteral("SiteBook/url")).toString().trimmed();
    return url.isEmpty() ? defaultBookPath() : url;
}

QJsonObject fieldsJson(const SiteFields &f)
{
    return {{QStringLiteral("name"), f.details.name},       {QStringLiteral("address"), f.details.address},
            {QStringLiteral("contact"), f.details.contact}, {QStringLiteral("phone"), f.details.phone},
            {QStringLiteral("notes"), f.details.notes},     {QStringLiteral("archived"), f.archived}};
}

QString changedByText(const QString &by, const QDateTime &utc, const QDate &today)
{
    const QDateTime local = utc.toLocalTime();
    const QString at = local.toString(QStringLiteral("HH:mm"));
    return local.date() == today
        ? QStringLiteral("Changed by %1 at %2").arg(by, at)
        : QStringLiteral("Changed by %1 on %2 at %3").arg(by, local.toString(QStringLiteral("yyyy-MM-dd")), at);
}

QString notUpdatedNote(const QString &reason)
{
    QString text = reason;
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return QStringLiteral(" Site book not updated: %1.").arg(text);
}

} // namespace Sites
