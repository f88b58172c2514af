#include "SiteRecorder.h"

#include "params/TransferTexts.h"

namespace Sites {

QString completeOutcome()
{
    return QStringLiteral("complete");
}

QString stoppedOutcome(const TransferResult &r)
{
    return QStringLiteral("stopped at block %1: %2").arg(r.stoppedAt).arg(stopReason(r));
}

QString differOutcome(int fields)
{
    if (fields == 0)
        return QStringLiteral("no difference");
    return fields == 1 ? QStringLiteral("1 field differs") : QStringLiteral("%1 fields differ").arg(fields);
}

QString verifyOutcome(int fields)
{
    return fields == 0 ? QStringLiteral("verified")
                       : QStringLiteral("verify differed: %1 field%2").arg(fields).arg(fields == 1 ? "" : "s");
}

SiteRecorder::SiteRecorder(QString url, QString site)
    : m_url(std::move(url))
    , m_name(std::move(site))
{
}

SiteRecorder::~SiteRecorder() = default;

QString SiteRecorder::open()
{
    try {
        m_book = openSiteBook(m_url);
        m_site = m_book->site(m_name);
        m_error.clear();
    } catch (const SiteBookError &error) {
        m_book.reset();
        m_error = error.message();
    }
    return m_error;
}

QString SiteRecorder::record(const QList<NewExchange> &exchanges)
{
    if (!m_book && !open().isEmpty())
        return notUpdatedNote(m_error);
    try {
        m_book->recordAll(m_site.id, exchanges);
    } catch (const SiteBookError &error) {
        return notUpdatedNote(error.message());
    }
    return {};
}

} // namespace Sites
