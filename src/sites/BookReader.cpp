#include "BookReader.h"

#include "params/History.h"

namespace Sites {

BookReader::BookReader(QString url, QObject *parent)
    : QObject(parent)
    , m_url(std::move(url))
{
    m_there = new QObject;
    m_there->moveToThread(&m_thread);
    m_thread.setObjectName(QStringLiteral("site book reader"));
    m_thread.start();
}

BookReader::~BookReader()
{
    // Whatever still waits is older than "stop".
    ++m_newestList;
    ++m_newestExchanges;
    // The connection is closed on the thread that opened it.
    QMetaObject::invokeMethod(m_there, [this] {
        m_book.reset();
        QThread::currentThread()->quit();
    });
    m_thread.wait();
    delete m_there;
}

template<typename Result>
void BookReader::ask(std::atomic<quint64> &newest, std::function<Result(SiteBook &)> read,
                     std::function<void(const Result &)> answer, Failed failed)
{
    const quint64 request = ++newest;
    QMetaObject::invokeMethod(m_there, [=, this, &newest] {
        if (request != newest)
            return;
        const auto reply = [&](auto &&deliver) {
            // Dropped here too when a newer request came while this one ran.
            QMetaObject::invokeMethod(this, [=, &newest] {
                if (request == newest)
                    deliver();
            });
        };
        bool opening = !m_book;
        try {
            if (!m_book)
                m_book = openSiteBook(m_url);
            opening = false;
            Result result = read(*m_book);
            reply([answer, result] { answer(result); });
        } catch (const SiteBookError &error) {
            reply([failed, why = error.message(), opening] { failed(why, opening); });
        }
    });
}

void BookReader::list(const SiteQuery &query, std::function<void(const Page &)> answer, Failed failed)
{
    ask<Page>(
        m_newestList,
        [query](SiteBook &book) {
            Page page;
            page.offset = query.offset;
            book.eachSite(query, [&](const SiteSummary &s) { return page.sites << s, true; });
            page.more = query.limit >= 0 && page.sites.size() == query.limit;
            return page;
        },
        std::move(answer), std::move(failed));
}

void BookReader::exchanges(qint64 siteId, qint64 limit, std::function<void(const QList<ExchangeRow> &)> answer,
                           Failed failed)
{
    ask<QList<ExchangeRow>>(
        m_newestExchanges,
        [siteId, limit](SiteBook &book) {
            QList<ExchangeRow> rows;
            HistoryQuery query;
            query.withImages = true;
            query.limit = limit;
            // One image at a time in memory, however long the history.
            book.eachExchange(siteId, query, [&](const Exchange &e) {
                ExchangeRow row{e, e.image ? History::summaryOf(*e.image) : QString()};
                row.exchange.image.reset();
                rows << row;
                return true;
            });
            return rows;
        },
        std::move(answer), std::move(failed));
}

} // namespace Sites
