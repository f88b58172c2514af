// The site book on the command line: quelmar-params site add, edit, list,
// show, history, diff, get, put and import.

#include "CommandLine.h"

#include "common/ShownText.h"
#include "params/FieldModel.h"
#include "params/ParameterFile.h"
#include "params/TransferTexts.h"
#include "sites/BookLocation.h"
#include "sites/SiteBook.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <memory>

namespace Cli {

namespace {

using namespace Sites;
using ShownText::shown;

const QCommandLineOption
    BookOption(QStringLiteral("book"),
               QStringLiteral("The site book: postgresql://[user@]host[:port]/dbname[?param=value...], "
                              "or the path of an SQLite file (default: url= under [SiteBook] in "
                              "QuelmarSetup.conf, else ~/.local/share/quelmar/sites.sqlite)."),
               QStringLiteral("URL"));
const QCommandLineOption JsonOption(QStringLiteral("json"), QStringLiteral("Print the result as JSON."));
const QCommandLineOption AttentionOption(QStringLiteral("attention"),
                                        QStringLiteral("Only the sites whose last module exchange needs a visit."));
const QCommandLineOption ArchivedOption(QStringLiteral("archived"), QStringLiteral("Archived sites too."));
const QCommandLineOption ChangesOption(QStringLiteral("changes"),
                                       QStringLiteral("Every change of the site's details instead, newest first."));
const QCommandLineOption ToOption(QStringLiteral("to"), QStringLiteral("The empty site book to copy into."),
                                  QStringLiteral("URL"));
const QCommandLineOption AddressOption(QStringLiteral("address"), QStringLiteral("The site's address."),
                                       QStringLiteral("A"));
const QCommandLineOption ContactOption(QStringLiteral("contact"), QStringLiteral("Who to ask at the site."),
                                       QStringLiteral("C"));
const QCommandLineOption PhoneOption(QStringLiteral("phone"), QStringLiteral("The contact's phone number."),
                                     QStringLiteral("P"));
const QCommandLineOption NotesOption(QStringLiteral("notes"), QStringLiteral("Anything worth knowing there."),
                                     QStringLiteral("N"));
const QCommandLineOption FromOption(QStringLiteral("from"), QStringLiteral("Make this parameter file its current set."),
                                    QStringLiteral("FILE"));
const QCommandLineOption NameOption(QStringLiteral("name"), QStringLiteral("A new name for the site."),
                                    QStringLiteral("NEW"));
const QCommandLineOption OutputOption(QStringList{QStringLiteral("o"), QStringLiteral("output")},
                                      QStringLiteral("The parameter file to write."), QStringLiteral("FILE"));
const QCommandLineOption
    OwnerOption(QStringLiteral("owner"),
                QStringLiteral("The role that owns the tables; made, unable to log in, when missing "
                               "(default quelmar_owner)."),
                QStringLiteral("ROLE"), QStringLiteral("quelmar_owner"));
const QCommandLineOption InstallersOption(QStringLiteral("installers"),
                                          QStringLiteral("The role whose members add sites and exchanges."),
                                          QStringLiteral("ROLE"));
const QCommandLineOption StaffOption(QStringLiteral("staff"), QStringLiteral("The role whose members only read."),
                                     QStringLiteral("ROLE"));
const QCommandLineOption ExchangeOption(QStringLiteral("exchange"),
                                        QStringLiteral("Exchange N's parameter set instead of the current set."),
                                        QStringLiteral("N"));
const QCommandLineOption LimitOption(QStringLiteral("limit"), QStringLiteral("At most N of them."),
                                     QStringLiteral("N"));
const QCommandLineOption OffsetOption(QStringLiteral("offset"), QStringLiteral("Leave out the first N."),
                                      QStringLiteral("N"));
const QCommandLineOption SinceOption(QStringLiteral("since"),
                                     QStringLiteral("Only exchanges from DATE on: YYYY-MM-DD (from the start of that "
                                                    "day) or YYYY-MM-DDTHH:MM[:SS], local time unless it ends in Z or "
                                                    "an offset."),
                                     QStringLiteral("DATE"));
const QCommandLineOption
    UntilOption(QStringLiteral("until"),
                QStringLiteral("Only exchanges up to DATE, that day or minute or second included."),
                QStringLiteral("DATE"));
const QCommandLineOption OperatorOption(QStringLiteral("operator"),
                                        QStringLiteral("Only the exchanges of this operator (login or role name)."),
                                        QStringLiteral("ROLE"));

// A count given to an option: digits only. False after the usage error naming it.
bool countOption(const QCommandLineParser &p, Io &io, const QCommandLineOption &option, qint64 &count)
{
    if (!p.isSet(option))
        return true;
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,18}$"));
    const QString text = p.value(option);
    if (!digits.match(text).hasMatch()) {
        fail(io, ExitUsage,
             QStringLiteral("--%1: \"%2\" is not a count (digits only)").arg(option.names().constFirst(), shown(text)));
        return false;
    }
    count = text.toLongLong();
    return true;
}

// A time given to --since or --until: the first moment it names, or, with
// `after`, the first moment after it (a day, a minute or a second). Null
// after the usage error naming the option.
QDateTime timeOption(const QCommandLineParser &p, Io &io, const QCommandLineOption &option, bool after)
{
    static const QRegularExpression day(QStringLiteral("^[0-9]{4}-[0-9]{2}-[0-9]{2}$"));
    static const QRegularExpression moment(
        QStringLiteral("^[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}(:[0-9]{2})?(Z|[+-][0-9]{2}:?[0-9]{2})?$"));
    const QString text = p.value(option);
    QDateTime time;
    if (day.match(text).hasMatch()) {
        const QDate date = QDate::fromString(text, QStringLiteral("yyyy-MM-dd"));
        if (date.isValid())
            time = (after ? date.addDays(1) : date).startOfDay();
    } else if (const QRegularExpressionMatch m = moment.match(text); m.hasMatch()) {
        time = QDateTime::fromString(text, Qt::ISODate);
        if (time.isValid() && after)
            time = time.addSecs(m.captured(1).isEmpty() ? 60 : 1);
    }
    if (!time.isValid())
        fail(io, ExitUsage,
             QStringLiteral("--%1: \"%2\" is not a date (YYYY-MM-DD or YYYY-MM-DDTHH:MM[:SS], local time unless it "
                            "ends in Z or an offset)")
                 .arg(option.names().constFirst(), shown(text)));
    return time;
}

// A JSON list printed as its items come, laid out as QJsonDocument lays out
// the whole list.
class JsonList
{
public:
    explicit JsonList(Io &io)
        : m_io(io)
    {
        m_io.out << "[\n";
    }
    void add(const QJsonObject &object)
    {
        QString text = QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Indented));
        text.chop(1);
        text.replace(QLatin1Char('\n'), QStringLiteral("\n    "));
        m_io.out << (m_empty ? "    " : ",\n    ") << text;
        m_empty = false;
    }
    void end() { m_io.out << (m_empty ? "]\n" : "\n]\n"); }

private:
    Io &m_io;
    bool m_empty = true;
};

// The exit status for what the book said: the user's input (a name, a
// number) is 2, everything the book or the database refused is 1.
int failBook(Io &io, const SiteBookError &error)
{
    using K = SiteBookError::Kind;
    const bool input = error.kind() == K::NoSite || error.kind() == K::NameTaken || error.kind() == K::Input
        || error.kind() == K::NoBook;
    return fail(io, input ? ExitUsage : ExitDiffers, error.message());
}

// Runs body on the opened book; a book error ends the command.
template <typename Body>
int withBook(const QCommandLineParser &p, Io &io, BookUse use, Body &&body)
{
    try {
        const std::unique_ptr<SiteBook> book = openSiteBook(siteBookUrl(p.value(BookOption)), use);
        return body(*book);
    } catch (const SiteBookError &error) {
        return failBook(io, error);
    }
}

QString countOf(qsizetype n, const char *one, const char *many)
{
    return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
}

QString localTime(const QDateTime &utc)
{
    return utc.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString exchangeLine(const Exchange &e)
{
    return QStringLiteral("%1  %2  %3  %4  %5  %6")
        .arg(QString::number(e.number), localTime(e.time), operationWord(e.operation), shown(e.outcome),
             e.port.isEmpty() ? QStringLiteral("-") : shown(e.port), shown(e.operatorName));
}

QJsonObject exchangeJson(const Exchange &e)
{
    return {{QStringLiteral("exchange"), e.number},
            {QStringLiteral("time"), e.time.toUTC().toString(Qt::ISODateWithMs)},
            {QStringLiteral("operation"), operationWord(e.operation)},
            {QStringLiteral("outcome"), e.outcome},
            {QStringLiteral("port"), e.port},
            {QStringLiteral("operator"), e.operatorName},
            {QStringLiteral("host"), e.host},
            {QStringLiteral("sha256"), e.sha256.isEmpty() ? QJsonValue() : QJsonValue(QString::fromLatin1(e.sha256))}};
}

QJsonObject siteJson(const Site &s)
{
    return {{QStringLiteral("name"), s.details.name},
            {QStringLiteral("address"), s.details.address},
            {QStringLiteral("contact"), s.details.contact},
            {QStringLiteral("phone"), s.details.phone},
            {QStringLiteral("notes"), s.details.notes},
            {QStringLiteral("created"), s.created.toString(Qt::ISODateWithMs)},
            {QStringLiteral("changed"), s.changed.toString(Qt::ISODateWithMs)},
            {QStringLiteral("changedBy"), s.changedBy},
            {QStringLiteral("revision"), s.revision},
            {QStringLiteral("archived"), s.archived}};
}

void printJson(Io &io, const QJsonValue &value)
{
    const QJsonDocument document = value.isArray() ? QJsonDocument(value.toArray()) : QJsonDocument(value.toObject());
    io.out << QString::fromUtf8(document.toJson(QJsonDocument::Indented));
}

// The fields of a change, each that differs from before: name "old" -> "new".
QString changeText(const DetailsChange &c)
{
    using ShownText::quoted;
    const auto archivedWord = [](bool archived) { return QLatin1String(archived ? "archived" : "unarchived"); };
    QStringList parts;
    const std::pair<const char *, QString SiteDetails::*> fields[] = {{"name", &SiteDetails::name},
                                                                     {"address", &SiteDetails::address},
                                                                     {"contact", &SiteDetails::contact},
                                                                     {"phone", &SiteDetails::phone},
                                                                     {"notes", &SiteDetails::notes}};
    for (const auto &[label, field] : fields) {
        const QString after = c.after.details.*field;
        if (!c.before)
            parts << QStringLiteral("%1 %2").arg(QLatin1String(label), quoted(after));
        else if (c.before->details.*field != after)
            parts << QStringLiteral("%1 %2 -> %3").arg(QLatin1String(label), quoted(c.before->details.*field), quoted(after));
    }
    if (c.before ? c.before->archived != c.after.archived : c.after.archived)
        parts << archivedWord(c.after.archived);
    return (c.before ? QString() : QStringLiteral("first kept: ")) + parts.join(QStringLiteral(", "));
}

int printChanges(const QCommandLineParser &p, Io &io, SiteBook &book, const Site &site)
{
    const QList<DetailsChange> changes = book.changes(site.id);
    if (p.isSet(JsonOption)) {
        QJsonArray list;
        for (const DetailsChange &c : changes)
            list << QJsonObject{{QStringLiteral("change"), c.number},
                                {QStringLiteral("time"), c.time.toUTC().toString(Qt::ISODateWithMs)},
                                {QStringLiteral("operator"), c.operatorName},
                                {QStringLiteral("before"), c.before ? QJsonValue(fieldsJson(*c.before)) : QJsonValue()},
                                {QStringLiteral("after"), fieldsJson(c.after)}};
        printJson(io, list);
        return ExitDone;
    }
    for (const DetailsChange &c : changes)
        io.out << localTime(c.time) << "  " << shown(c.operatorName) << "  " << changeText(c) << '\n';
    return ExitDone;
}

SiteDetails detailsFrom(const QCommandLineParser &p, SiteDetails d, bool renames)
{
    if (renames && p.isSet(NameOption))
        d.name = p.value(NameOption);
    if (p.isSet(AddressOption))
        d.address = p.value(AddressOption);
    if (p.isSet(ContactOption))
        d.contact = p.value(ContactOption);
    if (p.isSet(PhoneOption))
        d.phone = p.value(PhoneOption);
    if (p.isSet(NotesOption))
        d.notes = p.value(NotesOption);
    return d;
}

// A name or a one-line field that holds a control character: it would forge
// lines or drive the terminals of everyone who lists the book. Notes may hold
// line breaks and tabs. True after the usage error naming the option; `name`
// is the site's name when it is given, not --name.
bool refuseControls(const QCommandLineParser &p, Io &io, const std::optional<QString> &name)
{
    const std::pair<const char *, const QCommandLineOption *> given[] = {{"--name", &NameOption},
                                                                         {"--address", &AddressOption},
                                                                         {"--contact", &ContactOption},
                                                                         {"--phone", &PhoneOption},
                                                                         {"--notes", &NotesOption}};
    for (const auto &[label, option] : given) {
        // add has no --name: its name is the argument.
        const QString value = option == &NameOption && name ? *name : p.value(*option);
        const auto breaks = option == &NotesOption ? ShownText::Breaks::Kept : ShownText::Breaks::Escaped;
        if (ShownText::hasControl(value, breaks)) {
            fail(io, ExitUsage, QLatin1String(label) + QStringLiteral(": control characters are not allowed"));
            return true;
        }
    }
    return false;
}

int runAdd(const QCommandLineParser &p, Io &io)
{
    if (refuseControls(p, io, p.positionalArguments().at(0)))
        return ExitUsage;
    std::optional<ImageBytes> current;
    if (p.isSet(FromOption) && !(current = loadImage(io, p.value(FromOption))))
        return ExitUsage;
    const SiteDetails details = detailsFrom(p, SiteDetails::named(p.positionalArguments().at(0)), false);
    return withBook(p, io, BookUse::Change, [&](SiteBook &book) {
        book.addSite(details, current, p.isSet(FromOption) ? QStringLiteral("from ") + p.value(FromOption) : QString());
        io.out << "site \"" << shown(details.name) << "\" added\n";
        return ExitDone;
    });
}

int runEdit(const QCommandLineParser &p, Io &io)
{
    if (!p.isSet(NameOption) && !p.isSet(AddressOption) && !p.isSet(ContactOption) && !p.isSet(PhoneOption)
        && !p.isSet(NotesOption))
        return fail(io, ExitUsage, QStringLiteral("site edit: nothing to change; give --name, --address, --contact, "
                                                  "--phone or --notes"));
    if (refuseControls(p, io, std::nullopt))
        return ExitUsage;
    return withBook(p, io, BookUse::Change, [&](SiteBook &book) {
        const Site site = book.site(p.positionalArguments().at(0));
        book.editFields(site, detailsFrom(p, site.details, true));
        return ExitDone;
    });
}

int runList(const QCommandLineParser &p, Io &io)
{
    if (p.isSet(AttentionOption) && !p.positionalArguments().isEmpty())
        return fail(io, ExitUsage, QStringLiteral("site list: --attention lists every such site; give no TEXT"));
    SiteQuery query{p.positionalArguments().value(0), p.isSet(AttentionOption), p.isSet(ArchivedOption)};
    if (!countOption(p, io, OffsetOption, query.offset) || !countOption(p, io, LimitOption, query.limit))
        return ExitUsage;
    return withBook(p, io, BookUse::Read, [&](SiteBook &book) {
        if (p.isSet(JsonOption)) {
            JsonList list(io);
            book.eachSite(query, [&](const SiteSummary &s) {
                QJsonObject o = siteJson(s.site);
                o.insert(QStringLiteral("last"), s.last ? QJsonValue(exchangeJson(*s.last)) : QJsonValue());
                list.add(o);
                return true;
            });
            list.end();
            return ExitDone;
        }
        // Printed as read, the names lined up within each run of lines.
        QList<SiteSummary> lines;
        const auto print = [&] {
            int width = 0;
            for (const SiteSummary &s : lines)
                width = std::max(width, int(shown(s.site.details.name).size()));
            for (const SiteSummary &s : lines)
                io.out << shown(s.site.details.name).leftJustified(width + 2)
                       << (s.last ? QStringLiteral("last: ") + exchangeLine(*s.last) : QStringLiteral("no exchanges"))
                       << (s.site.archived ? QStringLiteral("  (archived)") : QString()) << '\n';
            io.out.flush();
            lines.clear();
        };
        book.eachSite(query, [&](const SiteSummary &s) {
            lines << s;
            if (lines.size() == 500)
                print();
            return true;
        });
        print();
        return ExitDone;
    });
}

// The fields show prints of a site's current set.
constexpr const char *MainFields[] = {"PanelID", "CentralID", "USER1", "USER2", "AUTODIAL", "APN", "IPAddress1", "Port1"};

int runShow(const QCommandLineParser &p, Io &io)
{
    return withBook(p, io, BookUse::Read, [&](SiteBook &book) {
        const Site site = book.site(p.positionalArguments().at(0));
        if (p.isSet(ChangesOption))
            return printChanges(p, io, book, site);
        std::optional<Exchange> last;
        HistoryQuery newest;
        newest.limit = 1;
        book.eachExchange(site.id, newest, [&](const Exchange &e) {
            last = e;
            return false;
        });
        QList<std::pair<const EEAddr::Field *, QString>> fields;
        if (site.current)
            for (const char *name : MainFields)
                if (const EEAddr::Field *f = FieldModel::findField(QString::fromLatin1(name)))
                    fields << std::pair{f, FieldModel::formatValue(FieldModel::Decode(*site.current, *f))};
        if (p.isSet(JsonOption)) {
            QJsonObject o = siteJson(site);
            QJsonObject set;
            for (const auto &[f, value] : fields)
                set.insert(FieldModel::nameOf(*f), value);
            o.insert(QStringLiteral("current"), site.current ? QJsonValue(set) : QJsonValue());
            o.insert(QStringLiteral("last"), last ? QJsonValue(exchangeJson(*last)) : QJsonValue());
            printJson(io, o);
            return ExitDone;
        }
        const std::pair<const char *, QString> lines[] = {{"Name", shown(site.details.name)},
                                                          {"Address", shown(site.details.address)},
                                                          {"Contact", shown(site.details.contact)},
                                                          {"Phone", shown(site.details.phone)},
                                                          {"Notes", shown(site.details.notes, ShownText::Breaks::Kept)},
                                                          {"Changed",
                                                           QStringLiteral("%1 by %2 (revision %3)")
                                                               .arg(localTime(site.changed), shown(site.changedBy))
                                                               .arg(site.revision)}};
        for (const auto &[label, value] : lines)
            io.out << QString::fromLatin1(label).leftJustified(10) << value << '\n';
        if (site.archived)
            io.out << QStringLiteral("Archived").leftJustified(10) << "yes: left out of site list and the search\n";
        io.out << "\nCurrent set" << (site.current ? QString() : QStringLiteral(": none")) << '\n';
        for (const auto &[f, value] : fields)
            io.out << "  " << FieldModel::nameOf(*f).leftJustified(12) << FieldModel::labelOf(*f).leftJustified(32)
                   << (value.isEmpty() ? QStringLiteral("(none)") : shown(value)) << '\n';
        io.out << "\nLast exchange: " << (last ? exchangeLine(*last) : QStringLiteral("none")) << '\n';
        return ExitDone;
    });
}

int runHistory(const QCommandLineParser &p, Io &io)
{
    HistoryQuery query;
    query.operatorName = p.value(OperatorOption);
    if (!countOption(p, io, LimitOption, query.limit))
        return ExitUsage;
    if (p.isSet(SinceOption) && !(query.since = timeOption(p, io, SinceOption, false)).isValid())
        return ExitUsage;
    if (p.isSet(UntilOption) && !(query.before = timeOption(p, io, UntilOption, true)).isValid())
        return ExitUsage;
    return withBook(p, io, BookUse::Read, [&](SiteBook &book) {
        const qint64 site = book.site(p.positionalArguments().at(0)).id;
        if (p.isSet(JsonOption)) {
            JsonList list(io);
            book.eachExchange(site, query, [&](const Exchange &e) {
                list.add(exchangeJson(e));
                return true;
            });
            list.end();
            return ExitDone;
        }
        book.eachExchange(site, query, [&](const Exchange &e) {
            io.out << exchangeLine(e) << '\n';
            return true;
        });
        return ExitDone;
    });
}

// An exchange number as site history prints it: digits only, no sign or blank.
qint64 exchangeNumber(const QString &text)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,18}$"));
    if (!digits.match(text).hasMatch())
        throw SiteBookError(SiteBookError::Kind::Input, QStringLiteral("\"%1\" is not an exchange number").arg(text));
    return text.toLongLong();
}

// Exchange N of the site with its image, or an error naming both.
Exchange exchangeOf(SiteBook &book, const Site &site, const QString &text)
{
    const qint64 number = exchangeNumber(text);
    const std::optional<Exchange> e = book.exchange(number);
    if (!e || e->siteId != site.id)
        throw SiteBookError(SiteBookError::Kind::NoSite,
                            QStringLiteral("site \"%1\" has no exchange %2").arg(site.details.name, text));
    if (!e->image)
        throw SiteBookError(SiteBookError::Kind::NoSite,
                            QStringLiteral("exchange %1 of site \"%2\" holds no parameter set").arg(text, site.details.name));
    return *e;
}

int runDiff(const QCommandLineParser &p, Io &io)
{
    const QStringList args = p.positionalArguments();
    return withBook(p, io, BookUse::Read, [&](SiteBook &book) {
        const Site site = book.site(args.at(0));
        ImageBytes a{}, b{};
        if (args.size() == 1) {
            QList<Exchange> withImages;
            HistoryQuery lastTwo;
            lastTwo.withImages = lastTwo.onlyWithImage = true;
            lastTwo.limit = 2;
            book.eachExchange(site.id, lastTwo, [&](const Exchange &e) {
                withImages << e;
                return true;
            });
            if (withImages.size() < 2)
                return fail(io, ExitUsage,
                            QStringLiteral("site \"%1\" has fewer than two exchanges with a parameter set").arg(site.details.name));
            a = *withImages.at(1).image;
            b = *withImages.at(0).image;
        } else {
            a = *exchangeOf(book, site, args.at(1)).image;
            if (args.size() == 3) {
                b = *exchangeOf(book, site, args.at(2)).image;
            } else if (site.current) {
                b = *site.current;
            } else {
                return fail(io, ExitUsage, QStringLiteral("site \"%1\" has no current set").arg(site.details.name));
            }
        }
        const FieldModel::ImageDifferences d = FieldModel::DiffImages(a, b);
        for (const QString &line : differenceLines(differenceRows(d, a, b, secretsOf(p))))
            io.out << line << '\n';
        return d.isEmpty() ? ExitDone : ExitDiffers;
    });
}

// Why the output cannot be written, before the book is opened: it is a
// folder, or the book itself.
QString refusedOutput(const QCommandLineParser &p, const QString &out)
{
    if (QFileInfo(out).isDir())
        return qt_error_string(EISDIR);
    return outputIsBook(out, siteBookUrl(p.value(BookOption)));
}

int runGet(const QCommandLineParser &p, Io &io)
{
    const QString out = p.value(OutputOption);
    if (out.isEmpty())
        return fail(io, ExitUsage, QStringLiteral("site get: -o FILE is required"));
    if (const QString refused = refusedOutput(p, out); !refused.isEmpty())
        return failFile(io, ExitUsage, out, refused);
    if (p.isSet(ExchangeOption)
        && !QRegularExpression(QStringLiteral("^[0-9]{1,18}$")).match(p.value(ExchangeOption)).hasMatch())
        return fail(io, ExitUsage,
                    QStringLiteral("--exchange: \"%1\" is not an exchange number").arg(p.value(ExchangeOption)));
    return withBook(p, io, BookUse::Read, [&](SiteBook &book) {
        const Site site = book.site(p.positionalArguments().at(0));
        std::optional<ImageBytes> image = site.current;
        if (p.isSet(ExchangeOption))
            image = exchangeOf(book, site, p.value(ExchangeOption)).image;
        else if (!image)
            return fail(io, ExitUsage, QStringLiteral("site \"%1\" has no current set").arg(site.details.name));
        const ParameterFile::Result r = ParameterFile::save(out, *image);
        if (r.ok)
            return ExitDone;
        return r.error ? fail(io, ExitDiffers, Files::errorMessage(out, r.error))
                       : failFile(io, ExitDiffers, out, r.message);
    });
}

int runPut(const QCommandLineParser &p, Io &io)
{
    const QString path = p.positionalArguments().at(1);
    const std::optional<ImageBytes> image = loadImage(io, path);
    if (!image)
        return ExitUsage;
    return withBook(p, io, BookUse::Change, [&](SiteBook &book) {
        const Site site = book.site(p.positionalArguments().at(0));
        book.record(site.id, {Operation::File, {}, QStringLiteral("from ") + path, image, QDateTime::currentDateTimeUtc(), true});
        return ExitDone;
    });
}

int runImport(const QCommandLineParser &p, Io &io)
{
    const QStringList args = p.positionalArguments();
    struct File
    {
        QDateTime time;
        QString path;
        ImageBytes image;
        QByteArray sha256;
    };
    QList<File> files;
    for (const QString &path : args.mid(1)) {
        const std::optional<ImageBytes> image = loadImage(io, path);
        if (!image)
            return ExitUsage; // nothing is recorded
        const QByteArray bytes(reinterpret_cast<const char *>(image->data()), qsizetype(image->size()));
        files << File{QFileInfo(path).lastModified().toUTC(), path, *image,
                      QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex()};
    }
    std::stable_sort(files.begin(), files.end(), [](const File &x, const File &y) { return x.time < y.time; });
    return withBook(p, io, BookUse::Change, [&](SiteBook &book) {
        const Site site = book.site(args.at(0));
        // What the site holds already, and since when its current set is its current set.
        const auto sha256 = [](const ImageBytes &image) {
            const QByteArray bytes(reinterpret_cast<const char *>(image.data()), qsizetype(image.size()));
            return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
        };
        const QByteArray currentSha = site.current ? sha256(*site.current) : QByteArray();
        QSet<QByteArray> held;
        QDateTime currentSince, newest;
        book.eachExchange(site.id, {}, [&](const Exchange &e) {
            held.insert(e.sha256);
            newest = std::max(newest, e.time);
            if (e.sha256 == currentSha)
                currentSince = std::max(currentSince, e.time);
            return true;
        });
        if (currentSince.isNull())
            currentSince = newest;
        QList<NewExchange> exchanges;
        for (const File &f : files) {
            if (held.contains(f.sha256))
                continue;
            held.insert(f.sha256);
            exchanges << NewExchange(Operation::File, {}, QStringLiteral("imported from ") + f.path, f.image,
                                     f.time);
        }
        // The newest file becomes the current set only when it is newer than the current set.
        if (!exchanges.isEmpty() && (!site.current || exchanges.last().time > currentSince))
            exchanges.last().makeCurrent = true;
        if (!exchanges.isEmpty())
            book.recordAll(site.id, exchanges);
        const qsizetype skipped = files.size() - exchanges.size();
        io.out << QStringLiteral("%1: %2 imported").arg(countOf(files.size(), "file", "files")).arg(exchanges.size())
               << (skipped ? QStringLiteral(", %1 already in the book").arg(skipped) : QString()) << '\n';
        return ExitDone;
    });
}

int runArchive(const QCommandLineParser &p, Io &io, bool archived)
{
    return withBook(p, io, BookUse::Change, [&](SiteBook &book) {
        const Site site = book.site(p.positionalArguments().at(0));
        const QString name = shown(site.details.name);
        // Said plainly rather than refused: the site is as asked either way.
        if (site.archived == archived) {
            io.out << "site \"" << name << "\" is " << (archived ? "archived" : "not archived")
                   << " already; nothing changed\n";
            return ExitDone;
        }
        book.setArchived(site, archived);
        io.out << "site \"" << name << "\" " << (archived ? "archived" : "unarchived") << '\n';
        return ExitDone;
    });
}

int runArchiveSite(const QCommandLineParser &p, Io &io)
{
    return runArchive(p, io, true);
}

int runUnarchiveSite(const QCommandLineParser &p, Io &io)
{
    return runArchive(p, io, false);
}

int runCopy(const QCommandLineParser &p, Io &io)
{
    if (p.value(ToOption).isEmpty())
        return fail(io, ExitUsage, QStringLiteral("site copy: --to URL is required"));
    try {
        const BookCopy copied = copySiteBook(siteBookUrl(p.value(BookOption)), siteBookUrl(p.value(ToOption)));
        io.out << "copied " << countOf(copied.sites, "site", "sites") << " and "
               << countOf(copied.exchanges, "exchange", "exchanges") << '\n';
        return ExitDone;
    } catch (const SiteBookError &error) {
        return failBook(io, error);
    }
}

int runBackup(const QCommandLineParser &p, Io &io)
{
    const QString file = QFileInfo(p.positionalArguments().at(0)).absoluteFilePath();
    try {
        const BookCopy kept = backupSiteBook(siteBookUrl(p.value(BookOption)), file);
        io.out << "backed up " << countOf(kept.sites, "site", "sites") << " and "
               << countOf(kept.exchanges, "exchange", "exchanges") << " to " << shown(file) << '\n';
        return ExitDone;
    } catch (const SiteBookError &error) {
        return failBook(io, error);
    }
}

int runInit(const QCommandLineParser &p, Io &io)
{
    const QString url = siteBookUrl(p.value(BookOption));
    try {
        const std::unique_ptr<SiteBook> book =
            initSiteBook(url, {p.value(OwnerOption), p.value(InstallersOption), p.value(StaffOption)});
        io.out << "site book " << book->location() << " is ready (version " << book->version() << ")\n";
        return ExitDone;
    } catch (const SiteBookError &error) {
        return failBook(io, error);
    }
}

} // namespace

QString siteBookUrl(const QString &given)
{
    if (given.isEmpty())
        return configuredBookUrl();
    // On the command line a relative path means the working folder.
    if (!given.contains(QLatin1String(":/")) && QDir::isRelativePath(given))
        return QFileInfo(given).absoluteFilePath();
    return given;
}

QCommandLineOption siteBookOption()
{
    return BookOption;
}

QList<Command> siteCommands()
{
    const QString book = QStringLiteral("\n\nThe book is --book URL, else url= under [SiteBook] in QuelmarSetup.conf,\n"
                                        "else ~/.local/share/quelmar/sites.sqlite (made on first use; commands that\n"
                                        "only read never make one).");
    const QList<QCommandLineOption> details{AddressOption, ContactOption, PhoneOption, NotesOption};
    return {
        {QStringLiteral("site init"),
         QStringLiteral("site init --book URL [--owner ROLE] [--installers ROLE] [--staff ROLE]"),
         QStringLiteral("Makes or upgrades a site book, once, as its administrator"),
         QStringLiteral("On PostgreSQL, run by the database's administrator: the tables are made (or\n"
                        "upgraded) and given to the owner, a role that cannot log in; the installers'\n"
                        "role may add sites and exchanges and edit details, the staff's role only\n"
                        "reads. Nobody who logs in can change, delete or truncate exchanges or alter\n"
                        "the tables. Each person logs in with a role of their own, a member of one of\n"
                        "the two, and is the operator of their exchanges. On SQLite: makes the file\n"
                        "(600, its folder 700).")
             + book,
         {BookOption, OwnerOption, InstallersOption, StaffOption},
         0,
         0,
         runInit},
        {QStringLiteral("site add"),
         QStringLiteral("site add NAME [--address A] [--contact C] [--phone P] [--notes N] [--from FILE]"),
         QStringLiteral("Adds a customer site to the site book"),
         QStringLiteral("A name is any text and unique in the book (exit status 2 when taken). With\n"
                        "--from, FILE becomes the site's current set, recorded as an exchange \"file\".")
             + book,
         QList<QCommandLineOption>{BookOption, FromOption} + details, 1, 1, runAdd},
        {QStringLiteral("site edit"),
         QStringLiteral("site edit NAME [--name NEW] [--address A] [--contact C] [--phone P] [--notes N]"),
         QStringLiteral("Changes a site's details"),
         QStringLiteral("Changes only the fields given. When someone changed the same field since it\n"
                        "was read, nothing is saved and the error says who changed it and when.")
             + book,
         QList<QCommandLineOption>{BookOption, NameOption} + details, 1, 1, runEdit},
        {QStringLiteral("site list"),
         QStringLiteral("site list [TEXT | --attention] [--archived] [--limit N] [--offset N] [--json]"),
         QStringLiteral("Lists the sites, or those matching TEXT, with their last exchange"),
         QStringLiteral("TEXT is looked for in the name, address, contact, phone and notes, and in\n"
                        "the phone numbers, APN and serial number (PanelID) of the current set; case\n"
                        "and accents are ignored (\"gyor\" finds \"Győr\"), and a phone number matches\n"
                        "by its digits; a TEXT of one or two characters finds the names that begin\n"
                        "with it. With --attention: the sites whose last module exchange stopped\n"
                        "(a write stopped leaves the module half-written) or whose verify or compare\n"
                        "found differences, each with that exchange. Archived sites are left out\n"
                        "unless --archived; --attention never lists them. Printed by name, case and\n"
                        "accents ignored, as they are read; --offset N leaves out the first N, --limit\n"
                        "N prints at most N.")
             + book,
         {BookOption, JsonOption, AttentionOption, ArchivedOption, LimitOption, OffsetOption},
         0,
         1,
         runList},
        {QStringLiteral("site show"),
         QStringLiteral("site show NAME [--changes] [--json]"),
         QStringLiteral("Prints a site's details, its current set's main fields and its last exchange"),
         QStringLiteral("With --changes: every change of the site's details, newest first, one line\n"
                        "each: local time, operator, and each field that changed, \"before\" -> \"after\"\n"
                        "(the first kept lists every field). JSON: a list of objects with change,\n"
                        "time (ISO 8601, UTC), operator, before (null for the first) and after.")
             + book,
         {BookOption, JsonOption, ChangesOption},
         1,
         1,
         runShow},
        {QStringLiteral("site history"),
         QStringLiteral("site history NAME [--limit N] [--since DATE] [--until DATE] [--operator ROLE] [--json]"),
         QStringLiteral("Lists a site's exchanges, newest first by their time"),
         QStringLiteral("One line each: number, local time, operation, outcome, port, operator. JSON: a\n"
                        "list of objects with exchange, time (ISO 8601, UTC), operation, outcome,\n"
                        "port, operator, host and sha256. Printed as they are read: --limit N the\n"
                        "newest N, --since and --until the exchanges from and up to a date (a day\n"
                        "YYYY-MM-DD, or a time YYYY-MM-DDTHH:MM[:SS], local unless it ends in Z or\n"
                        "an offset; --until includes the day, minute or second it names),\n"
                        "--operator those of one operator.")
             + book,
         {BookOption, JsonOption, LimitOption, SinceOption, UntilOption, OperatorOption},
         1,
         1,
         runHistory},
        {QStringLiteral("site diff"),
         QStringLiteral("site diff NAME [A [B]]"),
         QStringLiteral("Lists the fields that differ between two of a site's exchanges"),
         QStringLiteral("A and B are exchange numbers (see site history). Without them: the last two\n"
                        "exchanges with a parameter set; with A only: exchange A and the current set.\n"
                        "Printed as diff prints two files; exit status 0 when equal, 1 when they differ.")
             + book,
         {BookOption, showPasswordOption()},
         1,
         3,
         runDiff},
        {QStringLiteral("site get"),
         QStringLiteral("site get NAME -o FILE [--exchange N]"),
         QStringLiteral("Writes a site's current set, or exchange N's, as a parameter file"),
         book.mid(2),
         {BookOption, OutputOption, ExchangeOption},
         1,
         1,
         runGet},
        {QStringLiteral("site put"),
         QStringLiteral("site put NAME FILE"),
         QStringLiteral("Makes a parameter file the site's current set"),
         QStringLiteral("Recorded as an exchange \"file\".") + book,
         {BookOption},
         2,
         2,
         runPut},
        {QStringLiteral("site import"),
         QStringLiteral("site import NAME FILE..."),
         QStringLiteral("Adds parameter files kept so far to a site's exchanges"),
         QStringLiteral("Each file becomes an exchange \"file\" at its modification time; the newest\n"
                        "becomes the current set unless the current set is newer. A file whose bytes\n"
                        "are an exchange of the site already is skipped. A file that cannot be read\n"
                        "stops the import before anything is recorded.")
             + book,
         {BookOption},
         2,
         -1,
         runImport},
        {QStringLiteral("site archive"),
         QStringLiteral("site archive NAME"),
         QStringLiteral("Archives a site whose customer left"),
         QStringLiteral("The site is left out of site list, the search and the Sites window unless\n"
                        "archived sites are asked for; its details and exchanges stay, and nothing is\n"
                        "deleted. Kept as a change of its details (site show NAME --changes). A site\n"
                        "archived already is said so and left as it is (exit status 0).")
             + book,
         {BookOption},
         1,
         1,
         runArchiveSite},
        {QStringLiteral("site unarchive"),
         QStringLiteral("site unarchive NAME"),
         QStringLiteral("Takes an archived site back into the lists"),
         QStringLiteral("Kept as a change of its details. A site that is not archived is said so and\n"
                        "left as it is (exit status 0).")
             + book,
         {BookOption},
         1,
         1,
         runUnarchiveSite},
        {QStringLiteral("site copy"),
         QStringLiteral("site copy --to URL"),
         QStringLiteral("Copies the whole site book into an empty one"),
         QStringLiteral("Every site, every change of their details and every exchange (numbers,\n"
                        "times, operators, parameter sets and their SHA-256) of the book in use go into\n"
                        "the book at URL: an SQLite file (made when missing) or a PostgreSQL book made\n"
                        "by site init, copied there by its administrator. The copy is read back and\n"
                        "compared, counts and digests, before it is kept; on any failure the book at\n"
                        "URL is left empty. A book that is not empty, or the book in use itself, is\n"
                        "refused (exit status 2).")
             + book,
         {BookOption, ToOption},
         0,
         0,
         runCopy},
        {QStringLiteral("site backup"),
         QStringLiteral("site backup FILE"),
         QStringLiteral("Writes a consistent copy of an SQLite site book"),
         QStringLiteral("Made while others use the book, as one read of it, checked, and written as a\n"
                        "new file private to you (600); an existing FILE or a link there is never\n"
                        "replaced (exit status 2). For a PostgreSQL book use pg_dump (exit status 2).")
             + book,
         {BookOption},
         1,
         1,
         runBackup},
    };
}

} // namespace Cli
