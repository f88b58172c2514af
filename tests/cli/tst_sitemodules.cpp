// read, write and compare with --site against simulated modules: every
// exchange lands in the site, a read keeps the site's bytes 960 to 1087, and
// a book that cannot be used never stops the operation.

#include "common/SilentServer.h"
#include "common/SimulatorProcess.h"
#include "common/ToolRun.h"
#include "params/ParameterFile.h"
#include "sites/SiteBook.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

ImageBytes pattern(int seed, std::uint8_t pc)
{
    ImageBytes image;
    for (int i = 0; i < EEAddr::ImageSize; ++i)
        image[std::size_t(i)] = i < EEAddr::ModuleBytes ? std::uint8_t(seed * 31 + i * 7 + 5) : pc;
    return image;
}

} // namespace

class TestSiteModules : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup() { m_module.reset(); }
    void readWriteCompareIntoSite();
    void bookUnusableLeavesReadWorking();
    void sitesTakeOnePort();
    void silentBookConnectsOnce();

private:
    void startModule(int port, const ImageBytes &memory);
    Run params(const QStringList &arguments);
    QString path(const QString &name) const { return m_dir.filePath(name); }
    QString book() const { return path(QStringLiteral("sites.sqlite")); }

    QTemporaryDir m_dir;
    std::unique_ptr<SimulatorProcess> m_module;
};

void TestSiteModules::initTestCase()
{
    QVERIFY(m_dir.isValid());
    qputenv("HOME", m_dir.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", path(QStringLiteral("config")).toLocal8Bit());
    qputenv("XDG_DATA_HOME", path(QStringLiteral("data")).toLocal8Bit());
}

void TestSiteModules::startModule(int port, const ImageBytes &memory)
{
    const QString image = path(QStringLiteral("start-COM%1.QM3").arg(port));
    QVERIFY(ParameterFile::save(image, memory).ok);
    m_module = std::make_unique<SimulatorProcess>(QStringLiteral(QUELMAR_MODULE_SIM));
    const QString error = m_module->start(QStringLiteral("COM%1").arg(port),
                                          {QStringLiteral("--image"), image, QStringLiteral("--no-pacing")});
    QVERIFY2(error.isEmpty(), qPrintable(error));
}

Run TestSiteModules::params(const QStringList &arguments)
{
    return runTool(QStringLiteral(QUELMAR_PARAMS), arguments);
}

void TestSiteModules::readWriteCompareIntoSite()
{
    startModule(71, pattern(1, 0));
    {
        auto sites = Sites::openSiteBook(book());
        sites->addSite(Sites::SiteDetails::named(QStringLiteral("Győri Pékség")), pattern(9, 0xAB));
    }
    const QString site = QStringLiteral("Győri Pékség");
    const QStringList on{QStringLiteral("--port"), QStringLiteral("COM71"), QStringLiteral("--site"), site,
                         QStringLiteral("--book"), book()};

    Run r = params(QStringList{QStringLiteral("read")} + on);
    QCOMPARE(r.status, 0);
    QCOMPARE(r.out, QStringLiteral("COM71: read 15 of 15 blocks into site \"Győri Pékség\"\n"));
    ImageBytes expected = pattern(1, 0xAB); // the module's bytes, the site's bytes 960 to 1087
    {
        auto sites = Sites::openSiteBook(book());
        QCOMPARE(sites->site(site).current, std::optional<ImageBytes>(expected));
    }

    // The site's set changes, then goes to the module with backup and verify.
    {
        auto sites = Sites::openSiteBook(book());
        sites->record(sites->site(site).id, {Operation::File, {}, QStringLiteral("edited"), pattern(4, 0xAB),
                                            QDateTime::currentDateTimeUtc(), true});
    }
    r = params(QStringList{QStringLiteral("write"), QStringLiteral("--verify"), QStringLiteral("--backup"),
                           path(QStringLiteral("backups"))} + on);
    QCOMPARE(r.status, 0);
    QVERIFY2(r.out.contains(QLatin1String("COM71: write 15 of 15 blocks acknowledged and verified")), qPrintable(r.out));
    QVERIFY(!r.out.contains(QLatin1String("Site book not updated")));

    r = params(QStringList{QStringLiteral("compare")} + on);
    QCOMPARE(r.status, 0);

    auto sites = Sites::openSiteBook(book());
    const Sites::Site held = sites->site(site);
    QStringList seen;
    for (const Sites::Exchange &e : sites->history(held.id, true))
        seen << operationWord(e.operation) + QLatin1Char(' ') + e.outcome + QLatin1Char(' ') + e.port;
    QCOMPARE(seen, (QStringList{QStringLiteral("compare no difference COM71"), QStringLiteral("verify verified COM71"),
                                QStringLiteral("write complete COM71"), QStringLiteral("backup complete COM71"),
                                QStringLiteral("file edited "), QStringLiteral("read complete COM71"),
                                QStringLiteral("file current set ")}));
    const QList<Sites::Exchange> history = sites->history(held.id, true);
    QCOMPARE(history.at(3).image, std::optional<ImageBytes>(expected));    // the backup: what the module held
    QCOMPARE(history.at(1).image, std::optional<ImageBytes>(pattern(4, 0xAB))); // the verify read it back

    // A changed-only write of what the module holds: its read, and nothing written.
    r = params(QStringList{QStringLiteral("write"), QStringLiteral("--changed-only")} + on);
    QCOMPARE(r.status, 0);
    const QList<Sites::Exchange> after = sites->history(held.id, true);
    QCOMPARE(after.size(), history.size() + 2);
    QCOMPARE(after.at(0).outcome, QStringLiteral("nothing to write: the module holds it"));
    QCOMPARE(after.at(1).operation, Operation::Read);
    QCOMPARE(after.at(1).image, std::optional<ImageBytes>(pattern(4, 0xAB)));
}

void TestSiteModules::bookUnusableLeavesReadWorking()
{
    startModule(72, pattern(2, 0));
    const QString file = path(QStringLiteral("read.QM3"));
    QFile damaged(path(QStringLiteral("damaged.sqlite")));
    QVERIFY(damaged.open(QIODevice::WriteOnly));
    damaged.write(QByteArray(4096, 'x'));
    damaged.close();
    const Run r = params({QStringLiteral("read"), QStringLiteral("--port"), QStringLiteral("COM72"), QStringLiteral("-o"), file,
                          QStringLiteral("--site"), QStringLiteral("Mill"), QStringLiteral("--book"), damaged.fileName()});
    QCOMPARE(r.status, 0);
    QVERIFY2(r.out.startsWith(QStringLiteral("COM72: read 15 of 15 blocks into %1 and site \"Mill\"").arg(file)), qPrintable(r.out));
    QVERIFY2(r.out.trimmed().endsWith(QLatin1String(" Site book not updated: the site book ") + damaged.fileName()
                                      + QLatin1String(" cannot be used: file is not a database.")),
             qPrintable(r.out));
    ImageBytes read{};
    QVERIFY(ParameterFile::load(file, read).ok);
    QCOMPARE(read, pattern(2, 0));

    // Without -o the site was the only place asked for: the read is not done.
    const Run only = params({QStringLiteral("read"), QStringLiteral("--port"), QStringLiteral("COM72"), QStringLiteral("--site"),
                             QStringLiteral("Mill"), QStringLiteral("--book"), damaged.fileName()});
    QCOMPARE(only.status, 1);
    QVERIFY2(only.err.contains(QLatin1String("into site \"Mill\"")) && only.err.contains(QLatin1String(" Site book not updated: ")),
             qPrintable(only.err));

    // write and compare need the site's set: without a book there is nothing to write.
    const Run w = params({QStringLiteral("write"), QStringLiteral("--port"), QStringLiteral("COM72"), QStringLiteral("--site"),
                          QStringLiteral("Mill"), QStringLiteral("--book"), damaged.fileName()});
    QCOMPARE(w.status, 1);
    QVERIFY(w.err.contains(QLatin1String("file is not a database")));
}

void TestSiteModules::sitesTakeOnePort()
{
    const Run r = params({QStringLiteral("read"), QStringLiteral("--port"), QStringLiteral("COM73,COM74"), QStringLiteral("--site"),
                          QStringLiteral("Mill"), QStringLiteral("--book"), book()});
    QCOMPARE(r.status, 2);
    QCOMPARE(r.err, QStringLiteral("quelmar-params: --site takes exactly one --port\n"));
    const Run w = params({QStringLiteral("write"), QStringLiteral("--port"), QStringLiteral("COM73"), path(QStringLiteral("x.QM3")),
                          QStringLiteral("--site"), QStringLiteral("Mill"), QStringLiteral("--book"), book()});
    QCOMPARE(w.status, 2);
    QCOMPARE(w.err, QStringLiteral("quelmar-params: --site uses the site's current set: no FILE is taken\n"));
    // A site the book does not have costs no read.
    const Run none = params({QStringLiteral("read"), QStringLiteral("--port"), QStringLiteral("COM73"), QStringLiteral("--site"),
                             QStringLiteral("Nowhere"), QStringLiteral("--book"), book()});
    QCOMPARE(none.status, 2);
    QVERIFY2(none.err.contains(QLatin1String("Nowhere")), qPrintable(none.err));
}

void TestSiteModules::silentBookConnectsOnce()
{
    startModule(75, pattern(5, 0));
    SilentServer silent;
    QVERIFY(silent.port() != 0);
    const QString url = QStringLiteral("postgresql://nobody@127.0.0.1:%1/sites?connect_timeout=2").arg(silent.port());
    const QString file = path(QStringLiteral("silent.QM3"));
    QElapsedTimer timer;
    timer.start();
    const Run r =
        params({QStringLiteral("read"), QStringLiteral("--port"), QStringLiteral("COM75"), QStringLiteral("-o"), file,
                QStringLiteral("--site"), QStringLiteral("Mill"), QStringLiteral("--book"), url});
    const qint64 ms = timer.elapsed();
    QCOMPARE(r.status, 0);
    QVERIFY2(r.out.contains(QLatin1String(" Site book not updated: the site book postgresql://nobody@127.0.0.1:")),
             qPrintable(r.out));
    // One connection, of at most its 2 s, then the read; none after it.
    QVERIFY2(ms < 2000 + 3000, qPrintable(QString::number(ms)));
    QCOMPARE(silent.connections(), 1);
    ImageBytes read{};
    QVERIFY(ParameterFile::load(file, read).ok);
    QCOMPARE(read, pattern(5, 0));
    // The book itself as the output: refused before the port is opened.
    {
        auto sites = Sites::openSiteBook(book());
        if (!sites->findSite(QStringLiteral("Mill")))
            sites->addSite(Sites::SiteDetails::named(QStringLiteral("Mill")));
    }
    const qint64 size = QFileInfo(book()).size();
    const Run same =
        params({QStringLiteral("read"), QStringLiteral("--port"), QStringLiteral("COM75"), QStringLiteral("-o"), book(),
                QStringLiteral("--site"), QStringLiteral("Mill"), QStringLiteral("--book"), book()});
    QCOMPARE(same.status, 2);
    QCOMPARE(same.err, QStringLiteral("quelmar-params: %1: is the site book: choose another file\n").arg(book()));
    QCOMPARE(QFileInfo(book()).size(), size);
}

QTEST_GUILESS_MAIN(TestSiteModules)
#include "tst_sitemodules.moc"
