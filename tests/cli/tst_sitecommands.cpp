// quelmar-params site ...: the worked example of an installer, exit statuses
// and errors that name the site or the field, import by file time, and the
// book named in QuelmarSetup.conf.

#include "cli/CommandLine.h"
#include "params/FieldModel.h"
#include "params/ParameterFile.h"
#include "sites/SiteBook.h"
#include "sites/SqlSiteBook.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Run
{
    int status;
    QString out;
    QString err;
};

Run run(const QStringList &args)
{
    QString out, err;
    QTextStream outStream(&out), errStream(&err);
    Cli::Io io{outStream, errStream, nullptr, false};
    const int status = Cli::runParams(args, io);
    return {status, out, err};
}

ImageBytes imageWithUser1(const QString &number)
{
    ImageBytes image;
    image.fill(0xFF);
    const EEAddr::Field *f = FieldModel::findField(u"USER1");
    FieldModel::store(image, *f, FieldModel::parseValue(*f, number).value);
    return image;
}

ImageBytes imageOf(const QString &path)
{
    ImageBytes image{};
    ParameterFile::load(path, image);
    return image;
}

} // namespace

class TestSiteCommands : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_book;
    QString path(const QString &name) const { return m_dir.filePath(name); }
    Run site(const QStringList &args) { return run(QStringList{QStringLiteral("site")} + args + QStringList{QStringLiteral("--book"), m_book}); }
    void save(const QString &name, const ImageBytes &image) { QVERIFY(ParameterFile::save(path(name), image).ok); }

private slots:
    void init();
    void workedExample();
    void errors_data();
    void errors();
    void importByFileTime();
    void historyFilters_data();
    void historyFilters();
    void listPages_data();
    void listPages();
    void attentionListsTheExchange();
    void bookFromSettings();
    void foreignTextsAreShownEscaped();
    void addresses_data();
    void addresses();
    void readingNeverMakesABook_data();
    void readingNeverMakesABook();
    void importKeepsTheNewerSet();
    void initMakesAPrivateFile();
    void readOnlyBook();
    void archiveAndChanges();
    void copyAndBackup_data();
    void copyAndBackup();
};

void TestSiteCommands::init()
{
    QVERIFY(m_dir.isValid());
    qputenv("XDG_CONFIG_HOME", path(QStringLiteral("config")).toLocal8Bit());
    qputenv("XDG_DATA_HOME", path(QStringLiteral("data")).toLocal8Bit());
    static int count = 0;
    m_book = path(QStringLiteral("book%1.sqlite").arg(++count));
}

void TestSiteCommands::workedExample()
{
    save(QStringLiteral("first.QM3"), imageWithUser1(QStringLiteral("0611111")));
    ImageBytes second = imageWithUser1(QStringLiteral("0622222"));
    FieldModel::store(second, *FieldModel::findField(u"PWD"), QStringLiteral("s3cretpw"));
    save(QStringLiteral("second.QM3"), second);
    Run r = site({QStringLiteral("add"), QStringLiteral("Kovács Bt."), QStringLiteral("--address"), QStringLiteral("Győr, Fő tér 1"),
                  QStringLiteral("--from"), path(QStringLiteral("first.QM3"))});
    QCOMPARE(r.status, Cli::ExitDone);
    QCOMPARE(r.out, QStringLiteral("site \"Kovács Bt.\" added\n"));

    r = site({QStringLiteral("list"), QStringLiteral("gyor")});
    QCOMPARE(r.status, Cli::ExitDone);
    QVERIFY2(r.out.startsWith(QStringLiteral("Kovács Bt.  last: 1  ")), qPrintable(r.out));
    QVERIFY(r.out.contains(QLatin1String("  file  from ")));
    QCOMPARE(site({QStringLiteral("list"), QStringLiteral("zzzz")}).out, QString());

    r = site({QStringLiteral("show"), QStringLiteral("Kovács Bt.")});
    QVERIFY2(r.out.contains(QRegularExpression(QStringLiteral("\\n  USER1 +Primary User +\\(#USER1\\) +0611111\\n"))), qPrintable(r.out));
    QVERIFY(r.out.contains(QStringLiteral("Address   Győr, Fő tér 1\n")));

    QCOMPARE(site({QStringLiteral("edit"), QStringLiteral("Kovács Bt."), QStringLiteral("--contact"), QStringLiteral("Anna")}).status,
             Cli::ExitDone);
    QCOMPARE(site({QStringLiteral("put"), QStringLiteral("Kovács Bt."), path(QStringLiteral("second.QM3"))}).status, Cli::ExitDone);

    r = site({QStringLiteral("diff"), QStringLiteral("Kovács Bt.")});
    QCOMPARE(r.status, Cli::ExitDiffers);
    const QString diff = QStringLiteral("USER1 (Primary User   (#USER1)): 0611111 -> 0622222\nPWD (Password): \"\" -> %1\n");
    QCOMPARE(r.out, diff.arg(QStringLiteral("********")));
    r = site({QStringLiteral("diff"), QStringLiteral("Kovács Bt."), QStringLiteral("--show-password")});
    QCOMPARE(r.out, diff.arg(QStringLiteral("\"s3cretpw\"")));
    QCOMPARE(site({QStringLiteral("diff"), QStringLiteral("Kovács Bt."), QStringLiteral("2")}).status, Cli::ExitDone);

    r = site({QStringLiteral("history"), QStringLiteral("Kovács Bt."), QStringLiteral("--json")});
    QCOMPARE(r.status, Cli::ExitDone);
    const QJsonArray history = QJsonDocument::fromJson(r.out.toUtf8()).array();
    QCOMPARE(history.size(), 2);
    const QJsonObject newest = history.at(0).toObject();
    QCOMPARE(newest.keys(), (QStringList{QStringLiteral("exchange"), QStringLiteral("host"), QStringLiteral("operation"),
                                         QStringLiteral("operator"), QStringLiteral("outcome"), QStringLiteral("port"),
                                         QStringLiteral("sha256"), QStringLiteral("time")}));
    QCOMPARE(newest.value(QStringLiteral("exchange")).toInt(), 2);
    QCOMPARE(newest.value(QStringLiteral("operation")).toString(), QStringLiteral("file"));
    QVERIFY(newest.value(QStringLiteral("time")).toString().endsWith(QLatin1Char('Z')));
    QCOMPARE(newest.value(QStringLiteral("sha256")).toString().size(), 64);

    QCOMPARE(site({QStringLiteral("get"), QStringLiteral("Kovács Bt."), QStringLiteral("-o"), path(QStringLiteral("now.QM3"))}).status,
             Cli::ExitDone);
    QCOMPARE(imageOf(path(QStringLiteral("now.QM3"))), second);
    QCOMPARE(site({QStringLiteral("get"), QStringLiteral("Kovács Bt."), QStringLiteral("-o"), path(QStringLiteral("then.QM3")),
                   QStringLiteral("--exchange"), QStringLiteral("1")}).status,
             Cli::ExitDone);
    QCOMPARE(imageOf(path(QStringLiteral("then.QM3"))), imageWithUser1(QStringLiteral("0611111")));
}

void TestSiteCommands::errors_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("error");
    QTest::newRow("name taken") << QStringList{QStringLiteral("add"), QStringLiteral("Mill")} << 2
                                << QStringLiteral("quelmar-params: site \"Mill\" is in the site book already\n");
    QTest::newRow("no site") << QStringList{QStringLiteral("show"), QStringLiteral("Barn")} << 2
                             << QStringLiteral("quelmar-params: no site \"Barn\" in the site book\n");
    QTest::newRow("nothing to edit") << QStringList{QStringLiteral("edit"), QStringLiteral("Mill")} << 2
                                     << QStringLiteral("quelmar-params: site edit: nothing to change; give --name, --address, "
                                                       "--contact, --phone or --notes\n");
    QTest::newRow("no exchange") << QStringList{QStringLiteral("diff"), QStringLiteral("Mill"), QStringLiteral("99")} << 2
                                 << QStringLiteral("quelmar-params: site \"Mill\" has no exchange 99\n");
    QTest::newRow("no current set") << QStringList{QStringLiteral("get"), QStringLiteral("Mill"), QStringLiteral("-o"), QStringLiteral("x.QM3")} << 2
                                    << QStringLiteral("quelmar-params: site \"Mill\" has no current set\n");
    QTest::newRow("get without -o") << QStringList{QStringLiteral("get"), QStringLiteral("Mill")} << 2
                                    << QStringLiteral("quelmar-params: site get: -o FILE is required\n");
    QTest::newRow("too few exchanges") << QStringList{QStringLiteral("diff"), QStringLiteral("Mill")} << 2
                                       << QStringLiteral("quelmar-params: site \"Mill\" has fewer than two exchanges with a parameter set\n");
    for (const QString &number : {QStringLiteral("abc"), QStringLiteral("+1"), QStringLiteral(" 1")}) {
        QTest::addRow("exchange \"%s\"", qPrintable(number))
            << QStringList{QStringLiteral("get"),   QStringLiteral("Mill"),       QStringLiteral("-o"),
                           QStringLiteral("x.QM3"), QStringLiteral("--exchange"), number}
            << 2 << QStringLiteral("quelmar-params: --exchange: \"%1\" is not an exchange number\n").arg(number);
        QTest::addRow("diff \"%s\"", qPrintable(number))
            << QStringList{QStringLiteral("diff"), QStringLiteral("Mill"), number} << 2
            << QStringLiteral("quelmar-params: \"%1\" is not an exchange number\n").arg(number);
    }
    QTest::newRow("get into a folder") << QStringList{QStringLiteral("get"), QStringLiteral("Mill"),
                                                      QStringLiteral("-o"), QStringLiteral("/")}
                                       << 2 << QStringLiteral("quelmar-params: /: Is a directory\n");
    QTest::newRow("get onto the book") << QStringList{
        QStringLiteral("get"), QStringLiteral("Mill"), QStringLiteral("-o"),
        QStringLiteral("BOOK")} << 2 << QStringLiteral("quelmar-params: BOOK: is the site book: choose another file\n");
    QTest::newRow("get onto its wal")
        << QStringList{QStringLiteral("get"), QStringLiteral("Mill"), QStringLiteral("-o"), QStringLiteral("BOOK-wal")}
        << 2 << QStringLiteral("quelmar-params: BOOK-wal: is the site book's wal file: choose another file\n");
    QTest::newRow("no file") << QStringList{QStringLiteral("put"), QStringLiteral("Mill"), QStringLiteral("/nonexistent/a.QM3")} << 2
                             << QStringLiteral("quelmar-params: /nonexistent/a.QM3: No such file or directory\n");
    QTest::newRow("control character in a name")
        << QStringList{QStringLiteral("add"), QStringLiteral("Evil\x1b]0;x\a")} << 2
        << QStringLiteral("quelmar-params: --name: control characters are not allowed\n");
    QTest::newRow("escape in an address")
        << QStringList{QStringLiteral("edit"), QStringLiteral("Mill"), QStringLiteral("--address"),
                       QStringLiteral("\x1b[2J")}
        << 2 << QStringLiteral("quelmar-params: --address: control characters are not allowed\n");
    QTest::newRow("escape in notes") << QStringList{QStringLiteral("edit"), QStringLiteral("Mill"),
                                                    QStringLiteral("--notes"), QStringLiteral("gate\n\x1b[2J")}
                                     << 2
                                     << QStringLiteral("quelmar-params: --notes: control characters are not allowed\n");
    QTest::newRow("a missing site's name is shown escaped")
        << QStringList{QStringLiteral("show"), QStringLiteral("Barn\x1b[2J")} << 2
        << QStringLiteral("quelmar-params: no site \"Barn\\u001b[2J\" in the site book\n");
    QTest::newRow("attention with a text") << QStringList{QStringLiteral("list"), QStringLiteral("mill"),
                                                          QStringLiteral("--attention")}
                                           << 2
                                           << QStringLiteral("quelmar-params: site list: --attention lists every "
                                                             "such site; give no TEXT\n");
    const QString notCount = QStringLiteral("quelmar-params: --%1: \"%2\" is not a count (digits only)\n");
    QTest::newRow("list --limit -1") << QStringList{QStringLiteral("list"), QStringLiteral("--limit"),
                                                    QStringLiteral("-1")}
                                     << 2 << notCount.arg(QStringLiteral("limit"), QStringLiteral("-1"));
    QTest::newRow("list --offset x") << QStringList{QStringLiteral("list"), QStringLiteral("--offset"),
                                                    QStringLiteral("x")}
                                     << 2 << notCount.arg(QStringLiteral("offset"), QStringLiteral("x"));
    QTest::newRow("history --limit 1e3") << QStringList{QStringLiteral("history"), QStringLiteral("Mill"),
                                                        QStringLiteral("--limit"), QStringLiteral("1e3")}
                                         << 2 << notCount.arg(QStringLiteral("limit"), QStringLiteral("1e3"));
    const QString notDate = QStringLiteral("quelmar-params: --%1: \"%2\" is not a date (YYYY-MM-DD or "
                                           "YYYY-MM-DDTHH:MM[:SS], local time unless it ends in Z or an offset)\n");
    for (const QString &date : {QStringLiteral("2026-02-30"), QStringLiteral("yesterday"),
                                QStringLiteral("2026-12-08 10:00"), QStringLiteral("2026-12-08T25:00")}) {
        QTest::addRow("history --since %s", qPrintable(date))
            << QStringList{QStringLiteral("history"), QStringLiteral("Mill"), QStringLiteral("--since"), date} << 2
            << notDate.arg(QStringLiteral("since"), date);
        QTest::addRow("history --until %s", qPrintable(date))
            << QStringList{QStringLiteral("history"), QStringLiteral("Mill"), QStringLiteral("--until"), date} << 2
            << notDate.arg(QStringLiteral("until"), date);
    }
    QTest::newRow("no site command") << QStringList{QStringLiteral("frob")} << 2
                                     << QStringLiteral(
                                            "quelmar-params: site: a command is expected: init, add, edit, list, show, "
                                            "history, diff, get, put, import, archive, unarchive, copy, backup\nTry 'quelmar-params --help'.\n");
}

void TestSiteCommands::errors()
{
    QFETCH(QStringList, args);
    QFETCH(QString, error);
    QCOMPARE(site({QStringLiteral("add"), QStringLiteral("Mill")}).status, Cli::ExitDone);
    args.replaceInStrings(QStringLiteral("BOOK"), m_book);
    const qint64 size = QFileInfo(m_book).size();
    const Run r = site(args);
    QCOMPARE(r.err, error.replace(QStringLiteral("BOOK"), m_book));
    QCOMPARE(QFileInfo(m_book).size(), size);
    QTEST(r.status, "status");
    // Nothing changed: still one site, no exchange.
    QCOMPARE(site({QStringLiteral("history"), QStringLiteral("Mill")}).out, QString());
}

// A book others fill: what they typed reaches no terminal as a control.
void TestSiteCommands::foreignTextsAreShownEscaped()
{
    Sites::SiteDetails details =
        Sites::SiteDetails::named(QStringLiteral("Evil\x1b]0;pwned\a") + QChar(0x9b) + QChar(0x202e));
    details.address = QStringLiteral("Fő út 1.\nBarn  last: forged");
    details.notes = QStringLiteral("gate\t1234\nask \x1b[31mAnna");
    Sites::openSiteBook(m_book)->addSite(details);
    QCOMPARE(site({QStringLiteral("list")}).out,
             QStringLiteral("Evil\\u001b]0;pwned\\u0007\\u009b\\u202e  no exchanges\n"));
    const Run show = site({QStringLiteral("show"), details.name});
    QVERIFY2(show.out.contains(QStringLiteral("Address   Fő út 1.\\nBarn  last: forged\n")), qPrintable(show.out));
    // Notes keep their lines and tabs, not their escapes.
    QVERIFY2(show.out.contains(QStringLiteral("Notes     gate\t1234\nask \\u001b[31mAnna\n")), qPrintable(show.out));
    QCOMPARE(site({QStringLiteral("add"), QStringLiteral("Barn"), QStringLiteral("--notes"), QStringLiteral("a\tb\nc")})
                 .status,
             Cli::ExitDone);
}

void TestSiteCommands::attentionListsTheExchange()
{
    {
        const auto book = Sites::openSiteBook(m_book);
        const qint64 mill = book->addSite(Sites::SiteDetails::named(QStringLiteral("Mill"))).id;
        const qint64 barn = book->addSite(Sites::SiteDetails::named(QStringLiteral("Barn"))).id;
        book->record(mill, {Operation::Write, QStringLiteral("COM3"), QStringLiteral("stopped at block 7: no answer"), std::nullopt});
        book->record(barn, {Operation::Verify, QStringLiteral("COM3"), QStringLiteral("verified"), std::nullopt});
    }
    const Run r = site({QStringLiteral("list"), QStringLiteral("--attention")});
    QCOMPARE(r.status, Cli::ExitDone);
    QCOMPARE(r.out.count(QLatin1Char('\n')), 1);
    QVERIFY2(r.out.startsWith(QStringLiteral("Mill  last: ")), qPrintable(r.out));
    QVERIFY2(r.out.contains(QStringLiteral("write  stopped at block 7: no answer")), qPrintable(r.out));
    const QJsonArray json =
        QJsonDocument::fromJson(site({QStringLiteral("list"), QStringLiteral("--attention"), QStringLiteral("--json")}).out.toUtf8())
            .array();
    QCOMPARE(json.size(), 1);
    QCOMPARE(json.at(0)[QStringLiteral("last")][QStringLiteral("outcome")].toString(),
             QStringLiteral("stopped at block 7: no answer"));
}

void TestSiteCommands::historyFilters_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QStringList>("numbers");
    QTest::newRow("all") << QStringList() << QStringList{"4", "3", "2", "1"};
    QTest::newRow("newest two") << QStringList{"--limit", "2"} << QStringList{"4", "3"};
    QTest::newRow("none") << QStringList{"--limit", "0"} << QStringList();
    QTest::newRow("since a day") << QStringList{"--since", "2026-03-02"} << QStringList{"4", "3", "2"};
    QTest::newRow("until a day, all of it") << QStringList{"--until", "2026-03-02"} << QStringList{"2", "1"};
    QTest::newRow("until the minute") << QStringList{"--until", "2026-03-04T12:00Z"} << QStringList{"4", "3", "2", "1"};
    QTest::newRow("until the second before")
        << QStringList{"--until", "2026-03-04T12:00:29Z"} << QStringList{"3", "2", "1"};
    QTest::newRow("since an offset time") << QStringList{"--since", "2026-03-03T13:00+01:00"} << QStringList{"4", "3"};
    QTest::newRow("one operator") << QStringList{"--operator", "bela"} << QStringList{"4"};
    QTest::newRow("all of them") << QStringList{"--operator", "bela", "--since", "2026-03-05"} << QStringList();
}

void TestSiteCommands::historyFilters()
{
    QFETCH(QStringList, args);
    QFETCH(QStringList, numbers);
    QCOMPARE(site({QStringLiteral("add"), QStringLiteral("Mill")}).status, Cli::ExitDone);
    {
        Sites::SqlSiteBook book(m_book);
        const qint64 id = book.site(QStringLiteral("Mill")).id;
        for (int day = 1; day <= 3; ++day)
            book.record(id,
                        {Operation::Read, QStringLiteral("COM1"), QStringLiteral("complete"), std::nullopt,
                         QDateTime(QDate(2026, 3, day), QTime(12, 0), Qt::UTC)});
        // Another installer's, as any client of the book adds it.
        book.execute(
            QStringLiteral("INSERT INTO exchanges (site, time, operator, host, port, operation, outcome) VALUES"
                           " (%1, '2026-03-04T12:00:30.000Z', 'bela', 'pc2', 'COM2', 'read', 'complete')")
                .arg(id));
    }
    const Run r = site(QStringList{QStringLiteral("history"), QStringLiteral("Mill")} + args);
    QCOMPARE(r.status, Cli::ExitDone);
    QStringList printed;
    for (const QString &line : r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        printed << line.section(QLatin1Char(' '), 0, 0);
    QCOMPARE(printed, numbers);
    const Run json =
        site(QStringList{QStringLiteral("history"), QStringLiteral("Mill"), QStringLiteral("--json")} + args);
    const QJsonArray list = QJsonDocument::fromJson(json.out.toUtf8()).array();
    QCOMPARE(list.size(), numbers.size());
    QCOMPARE(json.out, QString::fromUtf8(QJsonDocument(list).toJson(QJsonDocument::Indented)));
}

void TestSiteCommands::listPages_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("first two") << QStringList{"--limit", "2"} << QStringList{"Alma", "Barack"};
    QTest::newRow("from the fourth") << QStringList{"--offset", "3"} << QStringList{"Dinnye"};
    QTest::newRow("a page") << QStringList{"--offset", "1", "--limit", "2"} << QStringList{"Barack", "Citrom"};
    QTest::newRow("past the end") << QStringList{"--offset", "9"} << QStringList();
    QTest::newRow("two letters, a name's start") << QStringList{"CI"} << QStringList{"Citrom"};
    QTest::newRow("a page of a search") << QStringList{"utca", "--offset", "1"} << QStringList{"Dinnye"};
}

void TestSiteCommands::listPages()
{
    QFETCH(QStringList, args);
    QFETCH(QStringList, names);
    for (const char *name : {"Dinnye", "Alma", "Citrom", "Barack"})
        QCOMPARE(site({QStringLiteral("add"), QLatin1String(name), QStringLiteral("--address"),
                       QString::fromUtf8(name[0] == 'A' || name[0] == 'D' ? "Fő utca" : "Kert")})
                     .status,
                 Cli::ExitDone);
    const Run r = site(QStringList{QStringLiteral("list")} + args);
    QCOMPARE(r.status, Cli::ExitDone);
    QStringList printed;
    for (const QString &line : r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        printed << line.section(QLatin1Char(' '), 0, 0);
    QCOMPARE(printed, names);
    const Run json = site(QStringList{QStringLiteral("list"), QStringLiteral("--json")} + args);
    const QJsonArray list = QJsonDocument::fromJson(json.out.toUtf8()).array();
    QCOMPARE(list.size(), names.size());
    QCOMPARE(json.out, QString::fromUtf8(QJsonDocument(list).toJson(QJsonDocument::Indented)));
}

void TestSiteCommands::importByFileTime()
{
    const QDateTime base = QDateTime(QDate(2025, 5, 1), QTime(8, 0), Qt::UTC);
    const QStringList names{QStringLiteral("b.QM3"), QStringLiteral("a.QM3"), QStringLiteral("c.QM3")};
    const int hours[] = {2, 1, 3}; // c is the newest
    for (int k = 0; k < 3; ++k) {
        save(names[k], imageWithUser1(QStringLiteral("06%1").arg(k + 1)));
        QFile f(path(names[k]));
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.setFileTime(base.addSecs(3600 * hours[k]), QFileDevice::FileModificationTime));
    }
    QCOMPARE(site({QStringLiteral("add"), QStringLiteral("Mill")}).status, Cli::ExitDone);
    // One file that cannot be read stops it all.
    Run r = site({QStringLiteral("import"), QStringLiteral("Mill"), path(names[0]), path(QStringLiteral("missing.QM3"))});
    QCOMPARE(r.status, Cli::ExitUsage);
    QCOMPARE(site({QStringLiteral("history"), QStringLiteral("Mill")}).out, QString());

    r = site({QStringLiteral("import"), QStringLiteral("Mill"), path(names[0]), path(names[1]), path(names[2])});
    QCOMPARE(r.status, Cli::ExitDone);
    QCOMPARE(r.out, QStringLiteral("3 files: 3 imported\n"));
    const auto book = Sites::openSiteBook(m_book);
    const Sites::Site mill = book->site(QStringLiteral("Mill"));
    QCOMPARE(mill.current, std::optional<ImageBytes>(imageWithUser1(QStringLiteral("063"))));
    const QList<Sites::Exchange> history = book->history(mill.id);
    QCOMPARE(history.size(), 3);
    QCOMPARE(history.at(0).time, base.addSecs(3 * 3600));
    QCOMPARE(history.at(2).time, base.addSecs(3600));
    QCOMPARE(history.at(2).outcome, QStringLiteral("imported from ") + path(QStringLiteral("a.QM3")));
}

void TestSiteCommands::bookFromSettings()
{
    const QString configured = path(QStringLiteral("office/configured.sqlite"));
    {
        QSettings settings(path(QStringLiteral("config/quelmar/QuelmarSetup.conf")), QSettings::IniFormat);
        settings.setValue(QStringLiteral("SiteBook/url"), configured);
    }
    QCOMPARE(Sites::configuredBookUrl(), configured);
    QCOMPARE(run({QStringLiteral("site"), QStringLiteral("add"), QStringLiteral("Barn")}).status, Cli::ExitDone);
    QVERIFY(QFile::exists(configured));
    qint64 sites = 0;
    Sites::openSiteBook(configured)->eachSite({}, [&](const Sites::SiteSummary &) { return ++sites, true; });
    QCOMPARE(sites, 1);
    // --book wins over the settings.
    QCOMPARE(site({QStringLiteral("list")}).out, QString());
    // An address the book cannot use is an operation that failed.
    const Run r = run({QStringLiteral("site"), QStringLiteral("list"), QStringLiteral("--book"),
                       QStringLiteral("postgresql://anna:secret@db/sites")});
    QCOMPARE(r.status, Cli::ExitUsage);
    QVERIFY(r.err.contains(QLatin1String("a password is not taken in the address")));
    QVERIFY(!r.err.contains(QLatin1String("secret")));
    QFile::remove(path(QStringLiteral("config/quelmar/QuelmarSetup.conf")));
    QCOMPARE(Sites::configuredBookUrl(), path(QStringLiteral("data/quelmar/sites.sqlite")));
}

void TestSiteCommands::addresses_data()
{
    QTest::addColumn<QString>("book");
    QTest::addColumn<QString>("error");
    const QString advice =
        QStringLiteral("give postgresql://[user@]host[:port]/dbname or the absolute path of an SQLite file\n");
    QTest::newRow("one slash") << QStringLiteral("POSTGRESQL:/anna@localhost:5432/sites")
                               << QStringLiteral("quelmar-params: \"POSTGRESQL:/\" is not postgresql://: ") + advice;
    QTest::newRow("misspelt") << QStringLiteral("postgresq://anna@localhost/sites")
                              << QStringLiteral("quelmar-params: \"postgresq:\" is not a site book scheme: ") + advice;
    QTest::newRow("password parameter") << QStringLiteral("postgresql://db/sites?sslmode=require&password=hunter2")
                                        << QStringLiteral("quelmar-params: a password is not taken in the address: use "
                                                          "~/.pgpass, PGPASSWORD or a service file\n");
}

void TestSiteCommands::addresses()
{
    QFETCH(QString, book);
    const QString cwd = QDir::currentPath();
    const QString folder = path(QStringLiteral("cwd-") + QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY(QDir().mkpath(folder));
    QDir::setCurrent(folder);
    const Run r = run({QStringLiteral("site"), QStringLiteral("list"), QStringLiteral("--book"), book});
    QDir::setCurrent(cwd);
    QTEST(r.err, "error");
    QCOMPARE(r.status, Cli::ExitUsage);
    // Nothing was made in the working folder.
    QCOMPARE(QDir(folder).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
}

void TestSiteCommands::readingNeverMakesABook_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("list") << QStringList{QStringLiteral("list")};
    QTest::newRow("show") << QStringList{QStringLiteral("show"), QStringLiteral("Mill")};
    QTest::newRow("history") << QStringList{QStringLiteral("history"), QStringLiteral("Mill")};
    QTest::newRow("diff") << QStringList{QStringLiteral("diff"), QStringLiteral("Mill")};
    QTest::newRow("get") << QStringList{QStringLiteral("get"), QStringLiteral("Mill"), QStringLiteral("-o"),
                                        path(QStringLiteral("x.QM3"))};
}

void TestSiteCommands::readingNeverMakesABook()
{
    QFETCH(QStringList, args);
    m_book = path(QStringLiteral("a/b/c/new.sqlite"));
    const Run r = site(args);
    QCOMPARE(r.status, Cli::ExitUsage);
    QCOMPARE(r.err, QStringLiteral("quelmar-params: no site book at %1\n").arg(m_book));
    QVERIFY(!QFileInfo::exists(path(QStringLiteral("a"))));
    // A relative url= in the settings means another book in every folder: refused.
    QSettings settings(path(QStringLiteral("config/quelmar/QuelmarSetup.conf")), QSettings::IniFormat);
    settings.setValue(QStringLiteral("SiteBook/url"), QStringLiteral("rel.sqlite"));
    settings.sync();
    const Run relative = run(QStringList{QStringLiteral("site")} + args);
    QCOMPARE(relative.status, Cli::ExitUsage);
    QCOMPARE(relative.err,
             QStringLiteral("quelmar-params: %1: url= must be an absolute path or a postgresql:// URL\n")
                 .arg(path(QStringLiteral("config/quelmar/QuelmarSetup.conf"))));
    settings.remove(QStringLiteral("SiteBook/url"));
}

void TestSiteCommands::importKeepsTheNewerSet()
{
    const QDateTime old(QDate(2019, 5, 1), QTime(8, 0), Qt::UTC);
    const QStringList names{QStringLiteral("a.QM3"), QStringLiteral("b.QM3"), QStringLiteral("c.QM3")};
    for (int k = 0; k < 3; ++k) {
        save(names[k], imageWithUser1(QStringLiteral("06%1").arg(k + 1)));
        QFile f(path(names[k]));
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.setFileTime(old.addYears(k * 3), QFileDevice::FileModificationTime));
    }
    save(QStringLiteral("now.QM3"), imageWithUser1(QStringLiteral("0699")));
    QCOMPARE(
        site({QStringLiteral("add"), QStringLiteral("Mill"), QStringLiteral("--from"), path(QStringLiteral("now.QM3"))})
            .status,
        Cli::ExitDone);
    Run r = site({QStringLiteral("import"), QStringLiteral("Mill"), path(names[0])});
    QCOMPARE(r.out, QStringLiteral("1 file: 1 imported\n"));
    r = site({QStringLiteral("import"), QStringLiteral("Mill"), path(names[0]), path(names[1]), path(names[2])});
    QCOMPARE(r.status, Cli::ExitDone);
    QCOMPARE(r.out, QStringLiteral("3 files: 2 imported, 1 already in the book\n"));
    r = site({QStringLiteral("import"), QStringLiteral("Mill"), path(names[0]), path(names[1]), path(names[2])});
    QCOMPARE(r.out, QStringLiteral("3 files: 0 imported, 3 already in the book\n"));
    const auto book = Sites::openSiteBook(m_book);
    const Sites::Site mill = book->site(QStringLiteral("Mill"));
    // The set of today stays current; the old files sit in the history by their time.
    QCOMPARE(mill.current, std::optional<ImageBytes>(imageWithUser1(QStringLiteral("0699"))));
    const QList<Sites::Exchange> history = book->history(mill.id);
    QCOMPARE(history.size(), 4);
    QCOMPARE(history.at(0).number, 1);
    QCOMPARE(history.at(3).number, 2); // the 2019 file, imported first
    QCOMPARE(history.at(3).time, old);
    std::optional<Sites::Exchange> last;
    book->eachSite({}, [&](const Sites::SiteSummary &s) { return last = s.last, false; });
    QVERIFY(last && last->number == 1);
}

void TestSiteCommands::initMakesAPrivateFile()
{
    const mode_t old = ::umask(022);
    m_book = path(QStringLiteral("office/new/sites.sqlite"));
    const Run r = site({QStringLiteral("init")});
    ::umask(old);
    QCOMPARE(r.status, Cli::ExitDone);
    QCOMPARE(r.out, QStringLiteral("site book %1 is ready (version %2)\n").arg(m_book).arg(Sites::KnownVersion));
    QCOMPARE(QFileInfo(m_book).permissions()
                 & ~(QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ReadOwner | QFileDevice::WriteOwner),
             QFileDevice::Permissions());
    QCOMPARE(QFileInfo(path(QStringLiteral("office/new"))).permissions()
                 & (QFileDevice::ReadGroup | QFileDevice::ReadOther),
             QFileDevice::Permissions());
    QCOMPARE(site({QStringLiteral("list")}).status, Cli::ExitDone);
}

void TestSiteCommands::readOnlyBook()
{
    save(QStringLiteral("set.QM3"), imageWithUser1(QStringLiteral("0611111")));
    QCOMPARE(
        site({QStringLiteral("add"), QStringLiteral("Mill"), QStringLiteral("--from"), path(QStringLiteral("set.QM3"))})
            .status,
        Cli::ExitDone);
    // An archived copy: readable by all, writable by nobody; root is run as nobody.
    const QString archived = path(QStringLiteral("archive/sites.sqlite"));
    QVERIFY(QDir().mkpath(path(QStringLiteral("archive"))));
    { // a copy without its -wal: the checkpointed book
        auto book = Sites::openSiteBook(m_book);
    }
    QVERIFY(QFile::copy(m_book, archived));
    for (const QString &p : {m_dir.path(), path(QStringLiteral("archive"))})
        QVERIFY(::chmod(QFile::encodeName(p).constData(), 0755) == 0);
    QVERIFY(::chmod(QFile::encodeName(archived).constData(), 0444) == 0);
    QVERIFY(::chmod(QFile::encodeName(path(QStringLiteral("set.QM3"))).constData(), 0644) == 0);
    const auto params = [&](const QStringList &args) {
        QProcess process;
        QStringList all = QStringList{QStringLiteral("site")} + args + QStringList{QStringLiteral("--book"), archived};
        if (::geteuid() == 0) {
            all = QStringList{QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                              QStringLiteral("--clear-groups"), QStringLiteral(QUELMAR_PARAMS)}
                + all;
            process.start(QStringLiteral("setpriv"), all);
        } else {
            process.start(QStringLiteral(QUELMAR_PARAMS), all);
        }
        process.waitForFinished(30000);
        return Run{process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
                   QString::fromUtf8(process.readAllStandardError())};
    };
    Run r = params({QStringLiteral("list")});
    QCOMPARE(r.err, QString());
    QVERIFY2(r.out.startsWith(QLatin1String("Mill  last: 1")), qPrintable(r.out));
    QCOMPARE(params({QStringLiteral("get"), QStringLiteral("Mill"), QStringLiteral("-o"), QStringLiteral("/dev/null")})
                 .status,
             Cli::ExitDone);
    r = params({QStringLiteral("edit"), QStringLiteral("Mill"), QStringLiteral("--notes"), QStringLiteral("x")});
    QCOMPARE(r.status, Cli::ExitDiffers);
    QCOMPARE(r.err, QStringLiteral("quelmar-params: the site book is read-only (%1)\n").arg(archived));
    r = params({QStringLiteral("put"), QStringLiteral("Mill"), path(QStringLiteral("set.QM3"))});
    QCOMPARE(r.err, QStringLiteral("quelmar-params: the site book is read-only (%1)\n").arg(archived));
    QCOMPARE(QFileInfo(archived).size(), QFileInfo(m_book).size());
}

QTEST_GUILESS_MAIN(TestSiteCommands)
#include "tst_sitecommands.moc"

void TestSiteCommands::archiveAndChanges()
{
    // A name with a control character, written by another client: shown escaped everywhere.
    const QString name = QStringLiteral("Mill\u001b[2J");
    Sites::openSiteBook(m_book)->addSite({name, QStringLiteral("River Rd"), {}, {}, {}});
    QCOMPARE(site({QStringLiteral("edit"), name, QStringLiteral("--address"), QStringLiteral("Dam \"2\"")}).status,
             Cli::ExitDone);
    Run r = site({QStringLiteral("archive"), name});
    QCOMPARE(r.status, Cli::ExitDone);
    QCOMPARE(r.out, QStringLiteral("site \"Mill\\u001b[2J\" archived\n"));
    r = site({QStringLiteral("archive"), name});
    QCOMPARE(r.status, Cli::ExitDone);
    QCOMPARE(r.out, QStringLiteral("site \"Mill\\u001b[2J\" is archived already; nothing changed\n"));
    QCOMPARE(site({QStringLiteral("list")}).out, QString());
    QCOMPARE(site({QStringLiteral("list"), QStringLiteral("river")}).out, QString());
    r = site({QStringLiteral("list"), QStringLiteral("--archived")});
    QCOMPARE(r.out, QStringLiteral("Mill\\u001b[2J  no exchanges  (archived)\n"));
    QVERIFY(site({QStringLiteral("show"), name}).out.contains(QStringLiteral("\nArchived  yes")));

    r = site({QStringLiteral("show"), name, QStringLiteral("--changes")});
    QCOMPARE(r.status, Cli::ExitDone);
    const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3);
    const QString by = QStringLiteral("  ") + Sites::openSiteBook(m_book)->operatorName() + QStringLiteral("  ");
    QVERIFY2(lines.at(0).endsWith(by + QStringLiteral("archived")), qPrintable(lines.at(0)));
    QVERIFY2(lines.at(1).endsWith(by + QStringLiteral("address \"River Rd\" -> \"Dam \\\"2\\\"\"")), qPrintable(lines.at(1)));
    QVERIFY2(lines.at(2).endsWith(by + QStringLiteral("first kept: name \"Mill\\u001b[2J\", address \"River Rd\", "
                                                      "contact \"\", phone \"\", notes \"\"")),
             qPrintable(lines.at(2)));
    QVERIFY(!r.out.contains(QChar(0x1b)));

    r = site({QStringLiteral("show"), name, QStringLiteral("--changes"), QStringLiteral("--json")});
    const QJsonArray changes = QJsonDocument::fromJson(r.out.toUtf8()).array();
    QCOMPARE(changes.size(), 3);
    QVERIFY(changes.at(2).toObject().value(QStringLiteral("before")).isNull());
    QCOMPARE(changes.at(0).toObject().value(QStringLiteral("after")).toObject().value(QStringLiteral("archived")).toBool(),
             true);
    QCOMPARE(changes.at(1).toObject().value(QStringLiteral("after")).toObject().value(QStringLiteral("address")).toString(),
             QStringLiteral("Dam \"2\""));

    r = site({QStringLiteral("unarchive"), name});
    QCOMPARE(r.out, QStringLiteral("site \"Mill\\u001b[2J\" unarchived\n"));
    QVERIFY(site({QStringLiteral("list")}).out.startsWith(QStringLiteral("Mill\\u001b[2J  no exchanges\n")));
    QCOMPARE(site({QStringLiteral("archive"), QStringLiteral("Nowhere")}).status, Cli::ExitUsage);
}

void TestSiteCommands::copyAndBackup_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("said");
    QTest::newRow("copy") << QStringList{QStringLiteral("copy"), QStringLiteral("--to"), QStringLiteral("NEW")} << 0
                          << QStringLiteral("copied 2 sites and 2 exchanges\n");
    QTest::newRow("copy into itself") << QStringList{QStringLiteral("copy"), QStringLiteral("--to"), QStringLiteral("BOOK")}
                                      << 2 << QStringLiteral("quelmar-params: BOOK is the site book copied from; nothing was copied\n");
    QTest::newRow("copy without --to") << QStringList{QStringLiteral("copy")} << 2
                                       << QStringLiteral("quelmar-params: site copy: --to URL is required\n");
    QTest::newRow("backup") << QStringList{QStringLiteral("backup"), QStringLiteral("NEW")} << 0
                            << QStringLiteral("backed up 2 sites and 2 exchanges to NEW\n");
    QTest::newRow("backup over a file") << QStringList{QStringLiteral("backup"), QStringLiteral("BOOK")} << 2
                                        << QStringLiteral("quelmar-params: BOOK: File exists\n");
    QTest::newRow("backup of PostgreSQL")
        << QStringList{QStringLiteral("backup"), QStringLiteral("NEW"), QStringLiteral("--book"),
                       QStringLiteral("postgresql://office/sites?sslmode=require")}
        << 2 << QStringLiteral("quelmar-params: the site book postgresql://office/sites is on PostgreSQL: back it up with pg_dump\n");
}

void TestSiteCommands::copyAndBackup()
{
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QString, said);
    save(QStringLiteral("set.QM3"), imageWithUser1(QStringLiteral("0611111")));
    QCOMPARE(site({QStringLiteral("add"), QStringLiteral("Bakery"), QStringLiteral("--from"), path(QStringLiteral("set.QM3"))})
                 .status,
             Cli::ExitDone);
    QCOMPARE(site({QStringLiteral("add"), QStringLiteral("Mill"), QStringLiteral("--from"), path(QStringLiteral("set.QM3"))})
                 .status,
             Cli::ExitDone);
    const QString made = path(QStringLiteral("made/%1.sqlite").arg(QTest::currentDataTag()));
    args.replaceInStrings(QStringLiteral("NEW"), made).replaceInStrings(QStringLiteral("BOOK"), m_book);
    // A --book given last wins over the one site() adds.
    const Run r = args.contains(QStringLiteral("--book")) ? run(QStringList{QStringLiteral("site")} + args) : site(args);
    QCOMPARE(r.status, status);
    QCOMPARE(status ? r.err : r.out, QString(said).replace(QStringLiteral("NEW"), made).replace(QStringLiteral("BOOK"), m_book));
    if (status == 0) {
        QCOMPARE(QFile::permissions(made) & 0x0777, QFile::ReadUser | QFile::WriteUser);
        const Run listed = run({QStringLiteral("site"), QStringLiteral("list"), QStringLiteral("--book"), made});
        QCOMPARE(listed.out, site({QStringLiteral("list")}).out);
    }
}
