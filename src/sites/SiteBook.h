#pragma once
// The site book: every customer site with the parameter set its module should
// hold, and every exchange anybody had with that module. One interface, kept
// in an SQLite file on one PC or in a PostgreSQL database for an office.
// Exchanges are only ever added; a site's details change by revision number,
// so a change made meanwhile by someone else is reported, never overwritten.

#include "common/QuelmarError.h"
#include "params/Operation.h"
#include "params/ParameterImage.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace Sites {

// The schema this program creates and upgrades to.
inline constexpr int KnownVersion = 5;

// Kept in the book as operationWord(): "read", "backup", "write", "verify", "compare", "file".
// Operations whose image comes from the module, which never holds bytes
// 960 to 1087: the book fills those from the site's current set.
bool readsModule(Operation operation);

struct SiteDetails
{
    static SiteDetails named(const QString &name)
    {
        SiteDetails d;
        d.name = name;
        return d;
    }
    QString name;
    QString address;
    QString contact;
    QString phone;
    QString notes;
};

struct Site
{
    qint64 id = 0;
    SiteDetails details;
    QDateTime created; // UTC
    QDateTime changed; // UTC
    QString changedBy;
    qint64 revision = 0;
    // A customer who left: out of lists and searches unless asked for; nothing of it is deleted.
    bool archived = false;
    std::optional<ImageBytes> current; // the set the module should hold
};

// What a site's details were at one moment, its archiving included.
struct SiteFields
{
    SiteDetails details;
    bool archived = false;
};
// As the book keeps a change and `site show --changes --json` prints it:
// name, address, contact, phone, notes, archived.
QJsonObject fieldsJson(const SiteFields &fields);

// One change of a site's details, kept for good: who, when, before and after.
struct DetailsChange
{
    qint64 number = 0; // counted per book
    qint64 siteId = 0;
    QDateTime time; // UTC
    QString operatorName;
    std::optional<SiteFields> before; // none: the first details the book kept
    SiteFields after;
};

// What a copy of a whole book carried, counted in the copy once it was made.
struct BookCopy
{
    qint64 sites = 0;
    qint64 exchanges = 0;
    qint64 changes = 0;
};

struct Exchange
{
    qint64 number = 0; // counted per book
    qint64 siteId = 0;
    QDateTime time; // UTC
    QString operatorName;
    QString host;
    QString port;
    Operation operation = Operation::File;
    QString outcome;
    std::optional<ImageBytes> image;
    QByteArray sha256; // of the image, hexadecimal; empty without one
};

// What a program records; the book adds the number, operator and host.
struct NewExchange
{
    NewExchange(Operation op, QString onPort, QString what, std::optional<ImageBytes> bytes,
                QDateTime when = QDateTime::currentDateTimeUtc(), bool current = false)
        : operation(op), port(std::move(onPort)), outcome(std::move(what)), image(std::move(bytes)),
          time(std::move(when)), makeCurrent(current)
    {
    }
    Operation operation = Operation::File;
    QString port;
    QString outcome;
    std::optional<ImageBytes> image;
    QDateTime time = QDateTime::currentDateTimeUtc();
    // The image becomes the site's current set (a complete read, a put).
    bool makeCurrent = false;
};

// A module exchange that left the module in doubt: it stopped (a write then
// left it half-written), or a verify or compare found differences. Judged
// by the outcome the recorder wrote; a verify or compare that does not say
// it matched counts too.
bool needsVisit(const Exchange &exchange);

struct SiteSummary
{
    Site site; // without its current set
    std::optional<Exchange> last; // without its image
};

// Which sites a list holds, in the order of their names.
struct SiteQuery
{
    // Matching as eachSite says; empty: every site.
    QString text;
    // Only the sites, not archived, of the text whose last module exchange
    // needs a visit, each with that exchange.
    bool attention = false;
    bool archived = false; // archived sites too
    qint64 offset = 0;
    qint64 limit = -1; // -1: all
};

// Which of a site's exchanges, newest first by their time.
struct HistoryQuery
{
    bool withImages = false;
    bool onlyWithImage = false; // only exchanges that hold a parameter set
    QDateTime since;            // from this time on; null: from the first
    QDateTime before;           // before this time; null: up to the last
    QString operatorName;       // empty: anybody's
    qint64 limit = -1;          // -1: all
};

class SiteBookError : public QuelmarError
{
public:
    enum class Kind {
        Unavailable, // cannot be opened or written: driver, server, file, disk
        Refused,     // the database refuses: permission
        NewerBook,   // written by a newer program
        NoSite,      // no site of that name or no such exchange
        NoBook,      // a reading command and no book there
        NameTaken,
        Changed, // changed meanwhile by someone else
        Input,   // a value the book cannot keep
    };
    SiteBookError(Kind kind, const QString &message);
    Kind kind() const { return m_kind; }

private:
    Kind m_kind;
};

class SiteBook
{
public:
    virtual ~SiteBook();

    // The file or the postgresql:// address, for messages.
    virtual QString location() const = 0;
    // The book's schema version, and the operator changes are recorded as.
    virtual int version() const = 0;
    virtual QString operatorName() const = 0;

    // Hands each site of the query to `row` as it is read, by name; `row`
    // returns false to stop. Memory stays the same however many there are.
    // Matching: TEXT in any detail or in the phone numbers, APN or serial
    // number of the current set, case and accents ignored, a phone number
    // whatever its punctuation; one or two characters match names that
    // begin with them.
    virtual void eachSite(const SiteQuery &query, const std::function<bool(const SiteSummary &)> &row) = 0;
    virtual std::optional<Site> findSite(const QString &name) = 0;
    // The same, or NoSite: "no site "NAME" in the site book".
    Site site(const QString &name);
    // The site with this id, under whatever name it has now.
    virtual std::optional<Site> findSiteById(qint64 id) = 0;

    // NameTaken when the name is in use; current becomes the current set
    // through an exchange "file" when given.
    virtual Site addSite(const SiteDetails &details, const std::optional<ImageBytes> &current = {},
                         const QString &source = {}) = 0;
    // Saves site.details if the book still holds site.revision, else Changed:
    // "site "X" was changed by anna at 12:31; nothing was saved".
    virtual Site editSite(const Site &site) = 0;
    // Saves the fields of `changed` that differ from `asRead`: on the book's
    // newest revision when nobody changed those same fields meanwhile, else
    // Changed as editSite says it.
    virtual Site editFields(const Site &asRead, const SiteDetails &changed) = 0;
    // Archives the site or takes it back, a change of its details; the site
    // as saved, or as it is when it was so already.
    virtual Site setArchived(const Site &asRead, bool archived) = 0;
    // Every change of the site's details, newest first.
    virtual QList<DetailsChange> changes(qint64 siteId) = 0;

    // Adds exchanges to the site, all or none, in order; never changes one
    // already there. An image from the module (readsModule) gets bytes 960 to
    // 1087 of the site's current set.
    virtual QList<Exchange> recordAll(qint64 siteId, const QList<NewExchange> &exchanges) = 0;
    Exchange record(qint64 siteId, const NewExchange &exchange);
    // Hands the site's exchanges of the query to `row` as they are read,
    // newest first; `row` returns false to stop.
    virtual void eachExchange(qint64 siteId, const HistoryQuery &query,
                              const std::function<bool(const Exchange &)> &row) = 0;
    // All of them; images only when asked.
    QList<Exchange> history(qint64 siteId, bool withImages = false);
    virtual std::optional<Exchange> exchange(qint64 number) = 0;
};

enum class BookUse {
    Change, // SQLite: made on first use; PostgreSQL: made by site init
    Read,   // never makes a book or a folder: "no site book at PATH"
};

// Opens the book at URL (postgresql://[user@]host[:port]/dbname[?param=value],
// or the absolute path of an SQLite file), upgrading it. A book the user may
// read but not write opens read-only: a change then fails with "the site book
// is read-only (PATH)". A busy or locked book is waited for at most 10 s; a
// connection at most 5 s unless connect_timeout says otherwise. Throws
// SiteBookError.
std::unique_ptr<SiteBook> openSiteBook(const QString &url, BookUse use = BookUse::Change);

// Who may do what in an office's book.
struct BookRoles
{
    QString owner = QStringLiteral("quelmar_owner"); // owns the tables; made NOLOGIN when missing
    QString installers;                              // add sites and exchanges, edit details; empty: no grants
    QString staff;                                   // read only; empty: no grants
};
// site init: makes or upgrades the book; on PostgreSQL (as the database's
// administrator) the tables then belong to roles.owner, with the grants.
std::unique_ptr<SiteBook> initSiteBook(const QString &url, const BookRoles &roles = {});

// Copies every site, every change of their details and every exchange, with
// their numbers, from the book at `from` into the empty book at `to` (an
// SQLite file made when missing, or a PostgreSQL book made by site init), in
// one transaction, and compares counts and digests of the copy with the book
// before it is kept. Exchanges are streamed, never all in memory. Refused
// (Input) into the book itself or into a book that is not empty.
BookCopy copySiteBook(const QString &from, const QString &to);

// A consistent copy of an SQLite book, made while others use it, saved as a
// new private file (never over one); counts what it holds. A PostgreSQL book
// is refused (Input): pg_dump backs it up.
BookCopy backupSiteBook(const QString &url, const QString &file);

// Called, on the thread that waits, when a busy or locked book has kept a
// change waiting for a second; the command line says so on a terminal.
void setWaitNotice(std::function<void()> notice);

// $XDG_DATA_HOME/quelmar/sites.sqlite, or ~/.local/share/quelmar/sites.sqlite.
QString defaultBookPath();
// url= under [SiteBook] in QuelmarSetup.conf, else the default path.
QString configuredBookUrl();

// "Changed by anna at 12:31", on a day other than `today` "Changed by anna
// on 2026-12-08 at 12:31" (local time): under a site's details.
QString changedByText(const QString &by, const QDateTime &utc, const QDate &today = QDate::currentDate());

// " Site book not updated: REASON." after a module operation's outcome.
QString notUpdatedNote(const QString &reason);

} // namespace Sites
