// The site book at an alarm company's size: N sites with K exchanges each and
// one big site with M exchanges, every exchange with its image, then the
// times an installer waits for: opening the book, a search for four letters
// and for two, the first page of the list, one site's last 20 exchanges,
// site show, site show of the big site (also as the command, with its peak
// memory) and recording one exchange (committed, synchronous=FULL).
//   bench_sitebook [--sites N] [--exchanges-per-site K] [--big-site M] [--repeats R] URL...
//   (an SQLite path, or postgresql://... of an empty database, made here by site init)

#include "sites/SiteMatch.h"
#include "sites/SqlSiteBook.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <functional>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

int SiteCount = 10000;
int ExchangesPerSite = 20;
int BigSite = 0;
int Repeats = 25;
const QString BigName = QStringLiteral("Big site");

const QStringList Syllables{QStringLiteral("ko"), QStringLiteral("vá"), QStringLiteral("cs"), QStringLiteral("győ"),
                            QStringLiteral("ri"),  QStringLiteral("ba"), QStringLiteral("ló"), QStringLiteral("te"),
                            QStringLiteral("sza"), QStringLiteral("bó"), QStringLiteral("né"), QStringLiteral("mé"),
                            QStringLiteral("ke"),  QStringLiteral("rü"), QStringLiteral("lo"), QStringLiteral("pa")};

QString word(QRandomGenerator &random, int syllables)
{
    QString w;
    for (int k = 0; k < syllables; ++k)
        w += Syllables.at(random.bounded(Syllables.size()));
    w[0] = w[0].toUpper();
    return w;
}

QByteArray image(QRandomGenerator &random)
{
    QByteArray bytes(EEAddr::ImageSize, Qt::Uninitialized);
    for (char &b : bytes)
        b = char(random.bounded(256));
    return bytes;
}

// The median of Repeats runs, in milliseconds.
double median(const std::function<void(int)> &work)
{
    std::vector<double> times;
    for (int k = 0; k < Repeats; ++k) {
        QElapsedTimer t;
        t.start();
        work(k);
        times.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

bool isPostgres(const QString &url)
{
    return url.startsWith(QLatin1String("postgres"));
}

// Fills the book in one transaction with prepared statements on a connection
// of its own; the database's triggers keep the search text as for any client.
void fill(const QString &url)
{
    const bool pg = isPostgres(url);
    const QString name = QStringLiteral("bench-fill");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(pg ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(pg ? url.section(QLatin1Char('/'), 3) : url);
        if (!db.open())
            qFatal("%s", qPrintable(db.lastError().text()));
        const QString time = pg ? QStringLiteral("CAST(:time AS timestamptz)") : QStringLiteral(":time");
        QSqlQuery site(db), search(db), exchange(db);
        site.prepare(
            QStringLiteral("INSERT INTO sites (name, name_key, address, contact, phone, notes, created, changed,"
                           " changed_by, revision, current_set, set_text) VALUES (:name, :key, :address,"
                           " :contact, :phone, '', %1, %1, 'bench', 1, :image, :set) RETURNING id")
                .arg(time));
        search.prepare(QStringLiteral("INSERT INTO site_search (site, search) VALUES (:id, :search)"));
        exchange.prepare(QStringLiteral("INSERT INTO exchanges (site, time, operator, host, port, operation, outcome,"
                                        " image, sha256) VALUES (:site, %1, 'bench', 'pc1', 'COM33', :operation,"
                                        " 'complete', :image, :sha256)")
                             .arg(time));
        QSqlQuery(db).exec(QStringLiteral("BEGIN"));
        QRandomGenerator random(1088);
        QDateTime when(QDate(2026, 1, 1), QTime(8, 0), Qt::UTC);
        const auto add = [&](const Sites::SiteDetails &d, int exchanges) {
            const QByteArray last = image(random);
            ImageBytes current;
            std::copy(last.begin(), last.end(), current.begin());
            site.bindValue(QStringLiteral(":name"), d.name);
            site.bindValue(QStringLiteral(":key"), Sites::nameKey(d.name));
            site.bindValue(QStringLiteral(":address"), d.address);
            site.bindValue(QStringLiteral(":contact"), d.contact);
            site.bindValue(QStringLiteral(":phone"), d.phone);
            site.bindValue(QStringLiteral(":time"), when.toString(Qt::ISODateWithMs));
            site.bindValue(QStringLiteral(":image"), last);
            site.bindValue(QStringLiteral(":set"), Sites::setTextOf(current));
            if (!site.exec() || !site.next())
                qFatal("%s", qPrintable(site.lastError().text()));
            const qint64 id = site.value(0).toLongLong();
            site.finish();
            search.bindValue(QStringLiteral(":id"), id);
            search.bindValue(QStringLiteral(":search"), Sites::searchTextOf(d, current));
            if (!search.exec())
                qFatal("%s", qPrintable(search.lastError().text()));
            for (int e = 0; e < exchanges; ++e) {
                const QByteArray bytes = e == exchanges - 1 ? last : image(random);
                when = when.addSecs(7);
                exchange.bindValue(QStringLiteral(":site"), id);
                exchange.bindValue(QStringLiteral(":time"), when.toString(Qt::ISODateWithMs));
                exchange.bindValue(QStringLiteral(":operation"), operationWord(Operation(random.bounded(6))));
                exchange.bindValue(QStringLiteral(":image"), bytes);
                exchange.bindValue(
                    QStringLiteral(":sha256"),
                    QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex()));
                if (!exchange.exec())
                    qFatal("%s", qPrintable(exchange.lastError().text()));
            }
        };
        for (int s = 0; s < SiteCount; ++s) {
            Sites::SiteDetails d;
            d.name = word(random, 3) + QLatin1Char(' ') + QString::number(s);
            d.address = word(random, 2) + QStringLiteral(" utca ") + QString::number(random.bounded(200));
            d.contact = word(random, 2) + QLatin1Char(' ') + word(random, 2);
            d.phone = QStringLiteral("+36 30 %1").arg(random.bounded(1000000, 9999999));
            add(d, ExchangesPerSite);
        }
        if (BigSite > 0)
            add({BigName,
                 QStringLiteral("Ipari park 1"),
                 QStringLiteral("Gondnok"),
                 QStringLiteral("+36 1 555 0000"),
                 {}},
                BigSite);
        QSqlQuery(db).exec(QStringLiteral("COMMIT"));
        if (pg)
            QSqlQuery(db).exec(QStringLiteral("ANALYZE"));
    }
    QSqlDatabase::removeDatabase(name);
}

// quelmar-params site show NAME: wall time in ms and peak memory in MB.
std::pair<double, double> showCommand(const QString &url, const QString &site)
{
    QElapsedTimer t;
    t.start();
    const pid_t child = ::fork();
    if (child == 0) {
        const QByteArray book = url.toLocal8Bit(), name = site.toLocal8Bit();
        const int out = ::open("/dev/null", O_WRONLY);
        ::dup2(out, 1);
        ::execl(QUELMAR_PARAMS, "quelmar-params", "site", "show", name.constData(), "--book", book.constData(),
                static_cast<char *>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        qFatal("site show failed");
    return {double(t.nsecsElapsed()) / 1e6, double(usage.ru_maxrss) / 1024};
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Fills each site book (one transaction) with sites, their exchanges and one big site, then times,\n"
        "as the median of the repeats: opening the book, a search for four letters (\"kova\") and for two\n"
        "(\"ko\"), every hit read, and the first 50 hits of \"ko\", the first page (50) of site list, one site's last 20 exchanges, site show\n"
        "(the site and its last exchange), site show of the big site, in the program and as the command\n"
        "with its peak memory, recording one exchange (synchronous=FULL on SQLite) and site copy of the whole book into a new\n"
        "SQLite file per 1,000 exchanges. URL: an SQLite file\n"
        "that does not exist yet, or postgresql://... of an empty database (made as site init makes it)."));
    parser.addHelpOption();
    const QCommandLineOption sitesOption(QStringLiteral("sites"), QStringLiteral("Sites to make (default 10000)."),
                                         QStringLiteral("N"), QStringLiteral("10000"));
    const QCommandLineOption exchangesOption(QStringLiteral("exchanges-per-site"),
                                             QStringLiteral("Exchanges per site (default 20)."), QStringLiteral("K"),
                                             QStringLiteral("20"));
    const QCommandLineOption bigOption(QStringLiteral("big-site"),
                                       QStringLiteral("One more site with M exchanges (default 0: none)."),
                                       QStringLiteral("M"), QStringLiteral("0"));
    const QCommandLineOption repeatsOption(QStringLiteral("repeats"), QStringLiteral("Runs per time (default 25)."),
                                           QStringLiteral("R"), QStringLiteral("25"));
    parser.addOptions({sitesOption, exchangesOption, bigOption, repeatsOption});
    parser.addPositionalArgument(QStringLiteral("URL"), QStringLiteral("The books to fill and time."),
                                 QStringLiteral("URL..."));
    parser.process(app);
    bool ok[4];
    SiteCount = parser.value(sitesOption).toInt(&ok[0]);
    ExchangesPerSite = parser.value(exchangesOption).toInt(&ok[1]);
    BigSite = parser.value(bigOption).toInt(&ok[2]);
    Repeats = parser.value(repeatsOption).toInt(&ok[3]);
    QStringList urls = parser.positionalArguments();
    if (urls.isEmpty() || !std::all_of(ok, ok + 4, [](bool b) { return b; }) || SiteCount < 1 || ExchangesPerSite < 1
        || BigSite < 0 || Repeats < 1) {
        QTextStream(stderr)
            << "usage: bench_sitebook [--sites N] [--exchanges-per-site K] [--big-site M] [--repeats R] "
               "URL...\n";
        return 2;
    }
    for (QString &url : urls) {
        if (!url.contains(QLatin1String("://"))) {
            url = QFileInfo(url).absoluteFilePath();
            Sites::SqlSiteBook made(url);
        } else {
            Sites::initSiteBook(url);
        }
    }
    out << "| book | sites | open ms | search \"kova\" ms (hits) | search \"ko\" ms (hits) | its first 50 ms | first page ms | last 20 "
           "ms | "
           "show ms | big site's show ms | its command ms, MB | record ms | copy ms per 1,000 exchanges | fill s |\n"
        << "|---|---|---|---|---|---|---|---|---|---|---|---|---|---|\n";
    for (const QString &url : urls) {
        QElapsedTimer filled;
        filled.start();
        fill(url);
        const double fillSeconds = double(filled.elapsed()) / 1000;

        const double open = median([&](int) { Sites::SqlSiteBook book(url); });
        Sites::SqlSiteBook book(url);
        const auto search = [&](const QString &text, qint64 &hits) {
            return median([&](int) {
                hits = 0;
                book.eachSite({text}, [&](const Sites::SiteSummary &) { return ++hits, true; });
            });
        };
        qint64 fourHits = 0, twoHits = 0;
        const double four = search(QStringLiteral("kova"), fourHits);
        const double two = search(QStringLiteral("ko"), twoHits);
        // What the Sites window waits for: the first page of the hits.
        Sites::SiteQuery twoFirst;
        twoFirst.text = QStringLiteral("ko");
        twoFirst.limit = 50;
        const double twoPage =
            median([&](int) { book.eachSite(twoFirst, [](const Sites::SiteSummary &) { return true; }); });
        Sites::SiteQuery firstPage;
        firstPage.limit = 50;
        const double page =
            median([&](int) { book.eachSite(firstPage, [](const Sites::SiteSummary &) { return true; }); });
        QStringList names;
        Sites::SiteQuery some;
        some.limit = 1000;
        book.eachSite(some, [&](const Sites::SiteSummary &s) { return names << s.site.details.name, true; });
        const auto show = [&](const QString &name) {
            const Sites::Site site = book.site(name);
            Sites::HistoryQuery newest;
            newest.limit = 1;
            book.eachExchange(site.id, newest, [](const Sites::Exchange &) { return false; });
        };
        const double last20 = median([&](int k) {
            Sites::HistoryQuery h;
            h.limit = 20;
            book.eachExchange(book.site(names.at((k * 397) % names.size())).id, h,
                              [](const Sites::Exchange &) { return true; });
        });
        const double shown = median([&](int k) { show(names.at((k * 211) % names.size())); });
        QString bigShow = QStringLiteral("-"), bigCommand = QStringLiteral("-");
        if (BigSite > 0) {
            bigShow = QString::number(median([&](int) { show(BigName); }), 'f', 2);
            const auto [ms, mb] = showCommand(url, BigName);
            bigCommand = QStringLiteral("%1, %2").arg(ms, 0, 'f', 0).arg(mb, 0, 'f', 0);
        }
        ImageBytes one{};
        const qint64 recordedSite = book.site(names.first()).id;
        const double record = median([&](int) {
            book.record(recordedSite, {Operation::Read, QStringLiteral("COM33"), QStringLiteral("complete"), one});
        });
        // Once, whole: what moving the book to the office costs.
        const QTemporaryDir into;
        QElapsedTimer copying;
        copying.start();
        const Sites::BookCopy copied = Sites::copySiteBook(url, into.filePath(QStringLiteral("copy.sqlite")));
        const double copyPerThousand = double(copying.elapsed()) * 1000 / double(std::max<qint64>(1, copied.exchanges));
        out << "| " << (isPostgres(url) ? "PostgreSQL" : "SQLite") << " | " << SiteCount << " x " << ExchangesPerSite
            << (BigSite ? QStringLiteral(" + %1").arg(BigSite) : QString()) << " | " << QString::number(open, 'f', 1)
            << " | " << QString::number(four, 'f', 1) << " (" << fourHits << ") | " << QString::number(two, 'f', 1)
            << " (" << twoHits << ") | " << QString::number(twoPage, 'f', 2) << " | " << QString::number(page, 'f', 2) << " | " << QString::number(last20, 'f', 2)
            << " | " << QString::number(shown, 'f', 2) << " | " << bigShow << " | " << bigCommand << " | "
            << QString::number(record, 'f', 2) << " | " << QString::number(copyPerThousand, 'f', 0) << " | " << QString::number(fillSeconds, 'f', 0) << " |\n";
        out.flush();
    }
    return 0;
}
