#pragma once
// One connection to the site book for a whole module command, on a thread of
// its own: the command connects once, before any port is opened. Each stage
// of the operation is handed to that thread as it ends, so the book has it
// with its own time while the port goes on; the port's thread waits for the
// book only after closing its port. A book that could not be opened is not
// tried again: its reason becomes the outcome's note.

#include "SiteBook.h"

#include "params/ModuleOperations.h"

#include <QObject>
#include <QThread>

#include <functional>
#include <memory>
#include <optional>

namespace Sites {

class BookSession : public ExchangeReceiver
{
public:
    BookSession(QString url, QString site);
    ~BookSession();
    BookSession(const BookSession &) = delete;
    BookSession &operator=(const BookSession &) = delete;

    // Opens the book and finds the site, the first time only; the error of
    // that first time, if any (kept for every later call).
    const std::optional<SiteBookError> &open();
    // The site as found; nullopt when open() failed.
    const std::optional<Site> &site() const { return m_site; }

    // Records the exchanges, all or none; "" or the outcome line's
    // " Site book not updated: REASON.".
    QString record(const QList<NewExchange> &exchanges);

    // Hands the stage's exchange to the book's thread and returns at once.
    void received(const ExchangeRecord &record) override;
    // Waits for every stage handed on; "" or the first " Site book not
    // updated: REASON." among them.
    QString note();

private:
    QString recordNow(const QList<NewExchange> &exchanges);

    void call(const std::function<void()> &job);

    QString m_url;
    QString m_name;
    bool m_opened = false;
    std::optional<SiteBookError> m_error;
    std::optional<Site> m_site;
    QString m_note; // of the stages handed on; touched on m_thread only
    QThread m_thread;
    std::unique_ptr<QObject> m_context; // lives on m_thread
    std::unique_ptr<SiteBook> m_book;   // made, used and closed on m_thread
};

} // namespace Sites
