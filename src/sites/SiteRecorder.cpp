#include "SiteRecorder.h"

#include "params/TransferTexts.h"

#include <algorithm>

namespace Sites {

NewExchange exchangeOf(const ExchangeRecord &record)
{
    const QString text = siteExchangeText(record);
    if (!record.image)
        return {record.operation, record.port, text, std::nullopt, record.when};
    // A complete read of its own is what the module holds now: the current
    // set; the read a write starts with is not.
    const bool current = record.operation == Operation::Read && !record.inWrite;
    return {record.operation, record.port, text, record.image, record.when, current};
}

NewExchange fileExchange(const ImageBytes &image, const QString &outcome)
{
    return {Operation::File, {}, outcome, image, QDateTime::currentDateTimeUtc(), true};
}

void SiteRecorder::received(const ExchangeRecord &record)
{
    const QString note = this->record({exchangeOf(record)});
    if (m_note.isEmpty())
        m_note = note;
}

SiteRecorder::SiteRecorder(QString url, QString site)
    : m_url(std::move(url))
    , m_name(std::move(site))
{
}

SiteRecorder::SiteRecorder(QString url, qint64 siteId, QString name)
    : m_url(std::move(url))
    , m_name(std::move(name))
    , m_id(siteId)
{
}

SiteRecorder::~SiteRecorder() = default;

QString SiteRecorder::open()
{
    try {
        m_book = openSiteBook(m_url);
        const std::optional<Site> byId = m_id != 0 ? m_book->findSiteById(m_id) : std::nullopt;
        m_site = byId ? *byId : m_book->site(m_name);
        if (m_id != 0 && m_site.id != m_id)
            throw SiteBookError(SiteBookError::Kind::NoSite,
                                QStringLiteral("no site \"%1\" in the site book").arg(m_name));
        m_error.clear();
    } catch (const SiteBookError &error) {
        m_book.reset();
        m_error = error.message();
    }
    return m_error;
}

std::optional<Site> SiteRecorder::reread()
{
    if (!m_book && !open().isEmpty())
        return std::nullopt;
    try {
        if (std::optional<Site> now = m_book->findSiteById(m_site.id)) {
            m_site = *now;
            return now;
        }
    } catch (const SiteBookError &) {
        // Read again after the next recording.
    }
    return std::nullopt;
}

bool SiteRecorder::isFor(qint64 id, const QString &name) const
{
    if (id != 0)
        return id == m_id || (m_book && id == m_site.id);
    return m_id == 0 && name == m_name;
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
