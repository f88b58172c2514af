// The site book at an office's size: 10,000 sites and 200,000 exchanges with
// their images, then the times an installer waits for: opening the book, a
// search for four letters, one site's history and recording one exchange
// (committed), and the book's size per exchange.
// SQLite keeps every commit through a power cut (synchronous=FULL); the
// record is timed with it and, for its cost, with synchronous=NORMAL.
//   bench_sitebook [--sites N] [--exchanges N] [--repeats N] URL...
//   (an SQLite path, or postgresql://... of an empty database, made here by site init)

#include "sites/SqlSiteBook.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <functional>

namespace {

int SiteCount = 10000;
int ExchangesPerSite = 20;
int Repeats = 25;

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

ImageBytes image(QRandomGenerator &random)
{
    ImageBytes bytes;
    for (std::uint8_t &b : bytes)
        b = std::uint8_t(random.bounded(256));
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

qint64 bookBytes(const QString &url, Sites::SqlSiteBook &book)
{
    if (!url.startsWith(QLatin1String("postgres")))
        return QFileInfo(url).size() + QFileInfo(url + QStringLiteral("-wal")).size();
    const QString name = QStringLiteral("bench-size");
    qint64 size = 0;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        const QString database = url.section(QLatin1Char('/'), 3);
        db.setDatabaseName(database);
        if (db.open()) {
            QSqlQuery q(db);
            if (q.exec(QStringLiteral("SELECT pg_database_size(current_database())")) && q.next())
                size = q.value(0).toLongLong();
        }
    }
    QSqlDatabase::removeDatabase(name);
    Q_UNUSED(book);
    return size;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Fills each site book with sites and their exchanges (a transaction of one site's exchanges), then\n"
        "times, as the median of the repeats, opening the book, a search for four letters, one site's\n"
        "history and recording one exchange (synchronous=FULL on SQLite, and NORMAL for its cost), and\n"
        "gives the book's size per exchange and the time of site copy into a new SQLite file per 1,000\n"
        "exchanges. URL: an SQLite file that does not exist yet, or\n"
        "postgresql://... of an empty database (its tables made as site init makes them)."));
    parser.addHelpOption();
    const QCommandLineOption sitesOption(QStringLiteral("sites"), QStringLiteral("Sites to make (default 10000)."),
                                         QStringLiteral("N"), QStringLiteral("10000"));
    const QCommandLineOption exchangesOption(QStringLiteral("exchanges"),
                                             QStringLiteral("Exchanges per site (default 20)."), QStringLiteral("N"),
                                             QStringLiteral("20"));
    const QCommandLineOption repeatsOption(QStringLiteral("repeats"), QStringLiteral("Runs per time (default 25)."),
                                           QStringLiteral("N"), QStringLiteral("25"));
    parser.addOptions({sitesOption, exchangesOption, repeatsOption});
    parser.addPositionalArgument(QStringLiteral("URL"), QStringLiteral("The books to fill and time."),
                                 QStringLiteral("URL..."));
    parser.process(app);
    bool ok[3];
    SiteCount = parser.value(sitesOption).toInt(&ok[0]);
    ExchangesPerSite = parser.value(exchangesOption).toInt(&ok[1]);
    Repeats = parser.value(repeatsOption).toInt(&ok[2]);
    QStringList urls = parser.positionalArguments();
    if (urls.isEmpty() || !ok[0] || !ok[1] || !ok[2] || SiteCount < 1 || ExchangesPerSite < 1 || Repeats < 1) {
        QTextStream(stderr) << "usage: bench_sitebook [--sites N] [--exchanges N] [--repeats N] URL...\n";
        return 2;
    }
    for (QString &url : urls) {
        if (!url.contains(QLatin1String("://")))
            url = QFileInfo(url).absoluteFilePath();
        else
            Sites::initSiteBook(url);
    }
    out << "| book | open ms | search ms (hits) | history ms | record ms | record ms, NORMAL | bytes per exchange | "
           "fill s | copy ms per 1,000 exchanges |\n"
        << "|---|---|---|---|---|---|---|---|---|\n";
    for (const QString &url : urls) {
        QRandomGenerator random(1088);
        QElapsedTimer fill;
        fill.start();
        QList<qint64> ids;
        {
            Sites::SqlSiteBook book(url);
            for (int s = 0; s < SiteCount; ++s) {
                Sites::SiteDetails d;
                d.name = word(random, 3) + QLatin1Char(' ') + QString::number(s);
                d.address = word(random, 2) + QStringLiteral(" utca ") + QString::number(random.bounded(200));
                d.contact = word(random, 2) + QLatin1Char(' ') + word(random, 2);
                d.phone = QStringLiteral("+36 30 %1").arg(random.bounded(1000000, 9999999));
                const Sites::Site site = book.addSite(d);
                ids << site.id;
                QList<Sites::NewExchange> exchanges;
                for (int e = 0; e < ExchangesPerSite; ++e)
                    exchanges << Sites::NewExchange(Operation(random.bounded(6)), QStringLiteral("COM33"),
                                                    QStringLiteral("complete"), image(random),
                                                    QDateTime::currentDateTimeUtc(), e == ExchangesPerSite - 1);
                book.recordAll(site.id, exchanges);
            }
        }
        const double fillSeconds = double(fill.elapsed()) / 1000;

        const double open = median([&](int) { Sites::SqlSiteBook book(url); });
        Sites::SqlSiteBook book(url);
        qsizetype hits = 0;
        const double search = median([&](int) { hits = book.sites(QStringLiteral("kova")).size(); });
        const double history = median([&](int k) { book.history(ids.at((k * 397) % ids.size())); });
        const ImageBytes one = image(random);
        const double record = median([&](int k) {
            book.record(ids.at((k * 211) % ids.size()), {Operation::Read, QStringLiteral("COM33"),
                                                         QStringLiteral("complete"), one});
        });
        QString normal = QStringLiteral("-");
        if (!url.startsWith(QLatin1String("postgres"))) {
            book.execute(QStringLiteral("PRAGMA synchronous = NORMAL"));
            normal = QString::number(
                median([&](int k) {
                    book.record(ids.at((k * 223) % ids.size()),
                                {Operation::Read, QStringLiteral("COM33"), QStringLiteral("complete"), one});
                }),
                'f', 2);
        }
        const double perExchange = double(bookBytes(url, book)) / (double(SiteCount) * ExchangesPerSite + 2 * Repeats);
        // Once, whole: what moving the book to the office costs.
        const QTemporaryDir into;
        QElapsedTimer copying;
        copying.start();
        const Sites::BookCopy copied = Sites::copySiteBook(url, into.filePath(QStringLiteral("copy.sqlite")));
        const double copyPerThousand = double(copying.elapsed()) * 1000 / double(std::max<qint64>(1, copied.exchanges));
        out << "| " << (url.startsWith(QLatin1String("postgres")) ? "PostgreSQL" : "SQLite") << " | "
            << QString::number(open, 'f', 1) << " | " << QString::number(search, 'f', 1) << " (" << hits << ") | "
            << QString::number(history, 'f', 2) << " | " << QString::number(record, 'f', 2) << " | " << normal << " | "
            << QString::number(perExchange, 'f', 0) << " | " << QString::number(fillSeconds, 'f', 0) << " | "
            << QString::number(copyPerThousand, 'f', 0) << " |\n";
        out.flush();
    }
    return 0;
}
