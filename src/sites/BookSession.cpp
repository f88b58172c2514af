#include "BookSession.h"

#include "SiteRecorder.h"

namespace Sites {

BookSession::BookSession(QString url, QString site)
    : m_url(std::move(url))
    , m_name(std::move(site))
    , m_context(std::make_unique<QObject>())
{
    m_thread.setObjectName(QStringLiteral("site book"));
    m_context->moveToThread(&m_thread);
    m_thread.start();
}

BookSession::~BookSession()
{
    call([this] { m_book.reset(); });
    m_thread.quit();
    m_thread.wait();
}

void BookSession::call(const std::function<void()> &job)
{
    QMetaObject::invokeMethod(m_context.get(), job, Qt::BlockingQueuedConnection);
}

const std::optional<SiteBookError> &BookSession::open()
{
    if (m_opened)
        return m_error;
    m_opened = true;
    call([this] {
        try {
            m_book = openSiteBook(m_url);
            m_site = m_book->site(m_name);
        } catch (const SiteBookError &error) {
            m_book.reset();
            m_error = error;
        }
    });
    return m_error;
}

// On m_thread.
QString BookSession::recordNow(const QList<NewExchange> &exchanges)
{
    try {
        m_book->recordAll(m_site->id, exchanges);
    } catch (const SiteBookError &error) {
        return notUpdatedNote(error.message());
    }
    return {};
}

QString BookSession::record(const QList<NewExchange> &exchanges)
{
    if (open())
        return notUpdatedNote(m_error->message());
    QString note;
    call([&] { note = recordNow(exchanges); });
    return note;
}

void BookSession::received(const ExchangeRecord &record)
{
    if (open())
        return;
    const QList<NewExchange> exchanges{exchangeOf(record)};
    QMetaObject::invokeMethod(
        m_context.get(),
        [this, exchanges] {
            const QString note = recordNow(exchanges);
            if (m_note.isEmpty())
                m_note = note;
        },
        Qt::QueuedConnection);
}

QString BookSession::note()
{
    if (open())
        return notUpdatedNote(m_error->message());
    QString note;
    call([&] { note = m_note; }); // queued after every stage handed on
    return note;
}

} // namespace Sites
