// quelmar-params site ...: the worked example of an installer, exit statuses
// and errors that name the site or the field, import by file time, and the
// book named in QuelmarSetup.conf.

#include "cli/CommandLine.h"
#include "params/FieldModel.h"
#include "params/ParameterFile.h"
#include "sites/SiteBook.h"

#include <QBuffer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

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
    void bookFromSettings();
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
    QTest::newRow("no file") << QStringList{QStringLiteral("put"), QStringLiteral("Mill"), QStringLiteral("/nonexistent/a.QM3")} << 2
                             << QStringLiteral("quelmar-params: /nonexistent/a.QM3: No such file or directory\n");
    QTest::newRow("no site command") << QStringList{QStringLiteral("frob")} << 2
                                     << QStringLiteral("quelmar-params: site: a command is expected: init, add, edit, list, show, "
                                                       "history, diff, get, put, import\nTry 'quelmar-params --help'.\n");
}

void TestSiteCommands::errors()
{
    QFETCH(QStringList, args);
    QCOMPARE(site({QStringLiteral("add"), QStringLiteral("Mill")}).status, Cli::ExitDone);
    const Run r = site(args);
    QTEST(r.err, "error");
    QTEST(r.status, "status");
    // Nothing changed: still one site, no exchange.
    QCOMPARE(site({QStringLiteral("history"), QStringLiteral("Mill")}).out, QString());
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
    QCOMPARE(r.out, QStringLiteral("3 files: 3 imported into site \"Mill\"\n"));
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
    QCOMPARE(Sites::openSiteBook(configured)->sites().size(), 1);
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

QTEST_GUILESS_MAIN(TestSiteCommands)
#include "tst_sitecommands.moc"
