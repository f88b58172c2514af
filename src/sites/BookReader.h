#pragma once
// The site book read on a thread of its own, for a window: the book is
// opened and searched there, so a slow server or a big book never holds up
// the window's thread. Of the requests of one kind only the newest is
// answered; older ones still waiting are dropped unread.

#include "SiteBook.h"

#include <QObject>
#include <QThread>

#include <atomic>
#include <functional>
#include <memory>

namespace Sites {

class BookReader : public QObject
{
    Q_OBJECT

public:
    // Nothing is opened before the first request.
    explicit BookReader(QString url, QObject *parent = nullptr);
    // Waits for the statement running, if any; drops the rest.
    ~BookReader() override;

    struct Page
    {
        qint64 offset = 0;
        QList<SiteSummary> sites;
        bool more = false; // a page may follow
    };
    // Why a request could not be answered; `opening` when the book could not
    // be opened at all (the next request tries again).
    using Failed = std::function<void(const QString &why, bool opening)>;

    // The sites of the query's page; answered on this object's thread.
    void list(const SiteQuery &query, std::function<void(const Page &)> answer, Failed failed);
    struct ExchangeRow
    {
        Exchange exchange; // without its image
        QString summary;   // History::summaryOf its image; empty without one
    };
    // A site's newest exchanges, at most `limit` (-1: all), newest first.
    void exchanges(qint64 siteId, qint64 limit, std::function<void(const QList<ExchangeRow> &)> answer,
                   Failed failed);

private:
    // Runs `read` on the reader's thread with the book, unless a newer
    // request of the same kind came meanwhile; hands what it made back here.
    template<typename Result>
    void ask(std::atomic<quint64> &newest, std::function<Result(SiteBook &)> read,
             std::function<void(const Result &)> answer, Failed failed);

    QString m_url;
    QThread m_thread;
    QObject *m_there = nullptr; // lives on m_thread: what runs there runs in its context
    std::unique_ptr<SiteBook> m_book; // used on m_thread only
    std::atomic<quint64> m_newestList{0};
    std::atomic<quint64> m_newestExchanges{0};
};

} // namespace Sites
