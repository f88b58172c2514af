#pragma once
// Recording a module operation into a site: the command line and the windows
// both use it. A book that cannot be opened or written never stops the
// operation; it only gives the note its outcome line ends with.

#include "SiteBook.h"

#include "params/CheckedWrite.h"
#include "params/Transfer.h"

#include <QString>

#include <memory>
#include <span>

namespace Sites {

// The outcome texts of exchanges.
QString completeOutcome();                        // "complete"
QString stoppedOutcome(const TransferResult &r);  // "stopped at block 4: no answer"
QString differOutcome(int fields);                // "no difference", "1 field differs", "3 fields differ"
QString verifyOutcome(int fields);                // "verified", "verify differed: 2 fields"

// The exchanges of a checked write as far as it ran: the backup (when asked
// for), the write of `image` and the verify.
QList<NewExchange> writeExchanges(const WriteOutcome &r, bool backup, const ImageBytes &image, const QString &port);
// A read: a complete one with its image, which becomes the current set.
NewExchange readExchange(const TransferResult &r, const ImageBytes &image, const QString &port);
// A compare with what the module sent (its bytes 0 to 959), when it ran to its end.
NewExchange compareExchange(const TransferResult &r, std::span<const std::uint8_t> module, int fields,
                            const QString &port);
// A set put into the site from a file or the editor: the current set.
NewExchange fileExchange(const ImageBytes &image, const QString &outcome);

class SiteRecorder
{
public:
    SiteRecorder(QString url, QString site);
    ~SiteRecorder();

    // Opens the book and finds the site on this thread; empty when both
    // worked, else why not (also kept for the note).
    QString open();
    const Site &site() const { return m_site; }
    SiteBook *book() const { return m_book.get(); }

    // Records the exchanges, all or none; returns "" or the outcome line's
    // " Site book not updated: REASON.".
    QString record(const QList<NewExchange> &exchanges);

private:
    QString m_url;
    QString m_name;
    std::unique_ptr<SiteBook> m_book;
    Site m_site;
    QString m_error;
};

} // namespace Sites
