#pragma once
// Recording a module operation into a site: the command line and the windows
// both use it. A book that cannot be opened or written never stops the
// operation; it only gives the note its outcome line ends with.

#include "SiteBook.h"

#include "params/ModuleOperations.h"

#include <QString>

#include <memory>

namespace Sites {

// The exchange a stage's record makes: its text from the one renderer; the
// module's image where the stage ran to its end (a backup not kept too),
// the image sent for a write; a complete read becomes the current set.
NewExchange exchangeOf(const ExchangeRecord &record);
// A set put into the site from a file or the editor: the current set.
NewExchange fileExchange(const ImageBytes &image, const QString &outcome);

// Also a receiver of a command's stages: each is recorded as it ends, with
// its own time, and the first note is kept for the outcome line.
class SiteRecorder : public ExchangeReceiver
{
public:
    // The site by its name (the command line's --site).
    SiteRecorder(QString url, QString site);
    // The site by its id, whatever it is called now; `name` (as last known)
    // only says which one is gone when the book no longer has it.
    SiteRecorder(QString url, qint64 siteId, QString name);
    ~SiteRecorder();

    // Opens the book and finds the site on this thread; empty when both
    // worked, else why not (also kept for the note).
    QString open();
    const Site &site() const { return m_site; }
    SiteBook *book() const { return m_book.get(); }

    // Records the exchanges, all or none; returns "" or the outcome line's
    // " Site book not updated: REASON.".
    QString record(const QList<NewExchange> &exchanges);
    // The site as the book holds it now, read by its id (opening the book
    // first when it is not open); nullopt when it cannot be read.
    std::optional<Site> reread();
    // Whether this recorder's site is that one.
    bool isFor(qint64 id, const QString &name) const;

    void received(const ExchangeRecord &record) override;
    // "" or the first " Site book not updated: REASON." of the stages received.
    const QString &note() const { return m_note; }

private:
    QString m_url;
    QString m_name;
    qint64 m_id = 0;
    std::unique_ptr<SiteBook> m_book;
    Site m_site;
    QString m_error;
    QString m_note;
};

} // namespace Sites
