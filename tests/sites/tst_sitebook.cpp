// The site book's store on one backend: SQLite in a temporary folder, or
// (built with QUELMAR_BOOK_POSTGRES) a throwaway PostgreSQL cluster.

#include "BookFixture.h"

#include "params/FieldModel.h"
#include "sites/BookLocation.h"
#include "sites/SiteMatch.h"
#include "sites/SqlSiteBook.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QtTest>

#include <csignal>
#include <sys/stat.h>

using namespace Sites;

namespace {

ImageBytes imageWith(std::uint8_t fill, std::uint8_t pc)
{
    ImageBytes image;
    image.fill(fill);
    std::fill(image.begin() + EEAddr::ModuleBytes, image.end(), pc);
    return image;
}

void store(ImageBytes &image, const char *field, const QString &text)
{
    const EEAddr::Field *f = FieldModel::findField(QString::fromLatin1(field));
    QVERIFY(f);
    const FieldModel::Parsed parsed = FieldModel::parseValue(*f, text);
    QVERIFY2(parsed.error.isEmpty(), qPrintable(parsed.error));
    FieldModel::store(image, *f, parsed.value);
}

SiteBookError::Kind kindOf(const std::function<void()> &f, QString *message = nullptr)
{
    try {
        f();
    } catch (const SiteBookError &e) {
        if (message)
            *message = e.message();
        return e.kind();
    }
    return SiteBookError::Kind(-1);
}

[[maybe_unused]] int modeOf(const QString &path)
{
    struct stat st{};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 0777) : -1;
}

} // namespace

class TestSiteBook : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void addFindAndTakenName();
    void editKeepsRevisions();
    void roundTrip_data();
    void roundTrip();
    void matching_data();
    void matching();
    void readKeepsSiteBytes();
    void historyNewestFirst();
    void exchangesNeverChanged();
    void newerBookRefused();
    void newerBookWithOldWriter();
    void upgradeStepByStep();
    void fourRecorders();
    void killedRecorderLosesNothing();
#ifdef QUELMAR_BOOK_POSTGRES
    void selectOnlyRoleRefused();
#else
    void fileModes();
    void damagedFile();
    void addresses_data();
    void addresses();
    void networkFileSystems_data();
    void networkFileSystems();
#endif

private:
    std::unique_ptr<SqlSiteBook> newBook() { m_url = m_fixture.newBook(); return std::make_unique<SqlSiteBook>(m_url); }
    QList<QByteArray> runRecorders(const QString &site, int processes, int count);

    BookFixture m_fixture;
    QString m_url;
};

void TestSiteBook::init()
{
    const QString problem = m_fixture.problem();
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
}

void TestSiteBook::addFindAndTakenName()
{
    auto book = newBook();
    QCOMPARE(book->version(), KnownVersion);
    const Site added = book->addSite({QStringLiteral("Bakery"), QStringLiteral("Main St 1"), QStringLiteral("Anna"),
                                      QStringLiteral("+36 1 234"), QStringLiteral("back door")});
    QVERIFY(added.id > 0);
    const Site found = book->site(QStringLiteral("Bakery"));
    QCOMPARE(found.id, added.id);
    QCOMPARE(found.details.address, QStringLiteral("Main St 1"));
    QCOMPARE(found.details.notes, QStringLiteral("back door"));
    QCOMPARE(found.revision, 1);
    QCOMPARE(found.changedBy, book->operatorName());
    QVERIFY(!found.current);
    if (BookFixture::Postgres)
        QCOMPARE(book->operatorName(), qEnvironmentVariable("PGUSER"));
    QVERIFY(!book->findSite(QStringLiteral("bakery"))); // names are exact

    QString message;
    QCOMPARE(kindOf([&] { book->addSite(SiteDetails::named(QStringLiteral("Bakery"))); }, &message), SiteBookError::Kind::NameTaken);
    QCOMPARE(message, QStringLiteral("site \"Bakery\" is in the site book already"));
    QCOMPARE(kindOf([&] { book->site(QStringLiteral("Mill")); }, &message), SiteBookError::Kind::NoSite);
    QCOMPARE(message, QStringLiteral("no site \"Mill\" in the site book"));
    QCOMPARE(kindOf([&] { book->addSite(SiteDetails::named(QStringLiteral("  "))); }), SiteBookError::Kind::Input);
    QCOMPARE(book->sites().size(), 1);
}

void TestSiteBook::editKeepsRevisions()
{
    auto anna = newBook();
    SqlSiteBook other(m_url); // a second program on the same book
    anna->addSite(SiteDetails::named(QStringLiteral("Mill")));
    Site mine = anna->site(QStringLiteral("Mill"));
    Site theirs = other.site(QStringLiteral("Mill"));

    mine.details.contact = QStringLiteral("Béla");
    const Site saved = anna->editSite(mine);
    QCOMPARE(saved.revision, 2);

    theirs.details.contact = QStringLiteral("Cecil");
    QString message;
    QCOMPARE(kindOf([&] { other.editSite(theirs); }, &message), SiteBookError::Kind::Changed);
    const QRegularExpression said(QStringLiteral("^site \"Mill\" was changed by (.+) at \\d\\d:\\d\\d; nothing was saved$"));
    const QRegularExpressionMatch match = said.match(message);
    QVERIFY2(match.hasMatch(), qPrintable(message));
    QCOMPARE(match.captured(1), anna->operatorName());
    QCOMPARE(other.site(QStringLiteral("Mill")).details.contact, QStringLiteral("Béla"));

    // Renamed onto a taken name: refused, the old name stays.
    anna->addSite(SiteDetails::named(QStringLiteral("Barn")));
    Site renamed = anna->site(QStringLiteral("Mill"));
    renamed.details.name = QStringLiteral("Barn");
    QCOMPARE(kindOf([&] { anna->editSite(renamed); }), SiteBookError::Kind::NameTaken);
    QVERIFY(anna->findSite(QStringLiteral("Mill")));
}

void TestSiteBook::roundTrip_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("notes");
    QTest::newRow("quotes") << QStringLiteral("O'Brien \"Shop\"") << QStringLiteral("it's \"here\"; really");
    QTest::newRow("semicolons") << QStringLiteral("a; DROP TABLE sites; --") << QStringLiteral(";;;");
    QTest::newRow("like signs") << QStringLiteral("100% _done_ \\") << QStringLiteral("%_%\\%");
    QTest::newRow("every plane")
        << QString::fromUcs4(U"Győr ß 日本 \U0001F600 \U00020000 \U00030000 \U000E0001 \U000F0000 \U0010FFFD")
        << QString::fromUcs4(U"\U0001D11E music, \U0002A6D6, \u200B zero width, \r\n line");
}

void TestSiteBook::roundTrip()
{
    QFETCH(QString, name);
    QFETCH(QString, notes);
    {
        auto book = newBook();
        book->addSite({QStringLiteral("Other 100 done"), {}, {}, {}, QStringLiteral("plain")});
        book->addSite({name, name, name, name, notes});
    }
    SqlSiteBook book(m_url);
    const Site s = book.site(name);
    QCOMPARE(s.details.name, name);
    QCOMPARE(s.details.address, name);
    QCOMPARE(s.details.contact, name);
    QCOMPARE(s.details.phone, name);
    QCOMPARE(s.details.notes, notes);
    // A search for the name finds exactly this site: % and _ are letters there.
    const QList<SiteSummary> found = book.sites(name);
    QCOMPARE(found.size(), 1);
    QCOMPARE(found.first().site.details.name, name);
}

void TestSiteBook::matching_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("names");
    const QStringList bakery{QStringLiteral("Győri Pékség")};
    QTest::newRow("accents ignored") << QStringLiteral("gyor") << bakery;
    QTest::newRow("case ignored") << QStringLiteral("PEKSEG") << bakery;
    QTest::newRow("contact") << QStringLiteral("kovacs") << bakery;
    QTest::newRow("phone by digits") << QStringLiteral("30 123-45") << bakery;
    QTest::newRow("set's phone number") << QStringLiteral("0612345") << bakery;
    QTest::newRow("set's APN") << QStringLiteral("VODAF") << bakery;
    QTest::newRow("set's serial number") << QStringLiteral("4711") << bakery;
    QTest::newRow("notes") << QStringLiteral("kutya") << bakery;
    QTest::newRow("both") << QStringLiteral("utca") << (QStringList{QStringLiteral("Győri Pékség"), QStringLiteral("Mill")});
    QTest::newRow("none") << QStringLiteral("zzzz") << QStringList();
    QTest::newRow("empty is every site") << QString() << (QStringList{QStringLiteral("Győri Pékség"), QStringLiteral("Mill")});
}

void TestSiteBook::matching()
{
    QFETCH(QString, text);
    QFETCH(QStringList, names);
    auto book = newBook();
    ImageBytes set = imageWith(0xFF, 0);
    store(set, "APN", QStringLiteral("internet.vodafone.hu"));
    store(set, "PanelID", QStringLiteral("4711"));
    store(set, "USER1", QStringLiteral("0612345678"));
    book->addSite({QStringLiteral("Győri Pékség"), QStringLiteral("Fő utca 1"), QStringLiteral("Kovács János"),
                   QStringLiteral("+36 (30) 123-4567"), QStringLiteral("Kutya az udvaron")},
                  set);
    book->addSite({QStringLiteral("Mill"), QStringLiteral("Malom utca 2"), {}, {}, {}});
    QStringList found;
    for (const SiteSummary &s : book->sites(text))
        found << s.site.details.name;
    QCOMPARE(found, names);
}

void TestSiteBook::readKeepsSiteBytes()
{
    auto book = newBook();
    const Site site = book->addSite(SiteDetails::named(QStringLiteral("Farm")), imageWith(0x11, 0x22), QStringLiteral("farm.QM3"));
    const ImageBytes read = imageWith(0x33, 0x00); // a read clears bytes 960 to 1087
    const Exchange e = book->record(site.id, {Operation::Read, QStringLiteral("COM33"), QStringLiteral("complete"), read,
                                              QDateTime::currentDateTimeUtc(), true});
    const ImageBytes expected = imageWith(0x33, 0x22);
    QCOMPARE(book->site(QStringLiteral("Farm")).current, std::optional<ImageBytes>(expected));
    const std::optional<Exchange> stored = book->exchange(e.number);
    QVERIFY(stored);
    QCOMPARE(stored->image, std::optional<ImageBytes>(expected));
    const QByteArray bytes(reinterpret_cast<const char *>(expected.data()), EEAddr::ImageSize);
    QCOMPARE(stored->sha256, QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
    QCOMPARE(stored->port, QStringLiteral("COM33"));
    QCOMPARE(stored->operatorName, book->operatorName());

    // A write keeps the bytes it was given; a stopped read is not the current set.
    book->record(site.id, {Operation::Write, QStringLiteral("COM33"), QStringLiteral("complete"), imageWith(0x44, 0x55)});
    book->record(site.id, {Operation::Read, QStringLiteral("COM33"), QStringLiteral("stopped at block 3: no answer"),
                           std::nullopt});
    QCOMPARE(book->site(QStringLiteral("Farm")).current, std::optional<ImageBytes>(expected));
    QCOMPARE(book->history(site.id, true).at(1).image, std::optional<ImageBytes>(imageWith(0x44, 0x55)));
}

void TestSiteBook::historyNewestFirst()
{
    auto book = newBook();
    const Site site = book->addSite(SiteDetails::named(QStringLiteral("Shop")), imageWith(1, 1));
    const QDateTime when = QDateTime(QDate(2026, 3, 1), QTime(12, 31, 5, 250), Qt::UTC);
    for (const Operation op : {Operation::Backup, Operation::Write, Operation::Verify})
        book->record(site.id, {op, QStringLiteral("COM2"), operationWord(op), imageWith(2, 2), when});
    const QList<Exchange> history = book->history(site.id);
    QCOMPARE(history.size(), 4);
    QStringList operations;
    for (const Exchange &e : history)
        operations << operationWord(e.operation);
    QCOMPARE(operations, (QStringList{QStringLiteral("verify"), QStringLiteral("write"), QStringLiteral("backup"),
                                      QStringLiteral("file")}));
    QVERIFY(history.at(0).number > history.at(1).number);
    QCOMPARE(history.at(0).time, when);
    QCOMPARE(history.at(0).time.timeSpec(), Qt::UTC);
    QVERIFY(!history.at(0).image); // images only when asked
    QCOMPARE(history.at(0).host, QSysInfo::machineHostName());
    const QList<SiteSummary> list = book->sites();
    QCOMPARE(list.size(), 1);
    QVERIFY(list.first().last);
    QCOMPARE(list.first().last->number, history.at(0).number);
}

void TestSiteBook::exchangesNeverChanged()
{
    auto book = newBook();
    const Site site = book->addSite(SiteDetails::named(QStringLiteral("Shop")), imageWith(1, 1));
    QVERIFY_THROWS_EXCEPTION(SiteBookError, book->execute(QStringLiteral("UPDATE exchanges SET outcome = 'x'")));
    QVERIFY_THROWS_EXCEPTION(SiteBookError, book->execute(QStringLiteral("DELETE FROM exchanges")));
    QCOMPARE(book->history(site.id).size(), 1);
    QCOMPARE(book->history(site.id).first().outcome, QStringLiteral("current set"));
}

void TestSiteBook::newerBookRefused()
{
    {
        auto book = newBook();
        book->addSite(SiteDetails::named(QStringLiteral("Shop")), imageWith(1, 1));
        book->execute(QStringLiteral("UPDATE book SET version = 3, oldest_writer = 3"));
    }
    SqlSiteBook book(m_url);
    QCOMPARE(book.version(), 3);
    const Site site = book.site(QStringLiteral("Shop")); // reading still works
    const QString refusal = QStringLiteral("the site book is version 3; this program knows up to 2");
    QString message;
    QCOMPARE(kindOf([&] { book.addSite(SiteDetails::named(QStringLiteral("Mill"))); }, &message), SiteBookError::Kind::NewerBook);
    QCOMPARE(message, refusal);
    QCOMPARE(kindOf([&] { book.editSite(site); }, &message), SiteBookError::Kind::NewerBook);
    QCOMPARE(message, refusal);
    QCOMPARE(kindOf([&] { book.record(site.id, {Operation::File, {}, QStringLiteral("x"), imageWith(3, 3)}); }, &message),
             SiteBookError::Kind::NewerBook);
    QCOMPARE(message, refusal);
    QCOMPARE(book.sites().size(), 1);
    QCOMPARE(book.history(site.id).size(), 1);
    QCOMPARE(book.versionRecord(), std::make_pair(3, 3));
}

void TestSiteBook::newerBookWithOldWriter()
{
    {
        auto book = newBook();
        book->execute(QStringLiteral("UPDATE book SET version = 3, oldest_writer = 2"));
    }
    SqlSiteBook book(m_url);
    book.addSite(SiteDetails::named(QStringLiteral("Mill")));
    QCOMPARE(book.sites().size(), 1);
    QCOMPARE(book.versionRecord(), std::make_pair(3, 2)); // never lowered
}

void TestSiteBook::upgradeStepByStep()
{
    m_url = m_fixture.newBook();
    {
        SqlSiteBook first(m_url, 1);
        QCOMPARE(first.versionRecord(), std::make_pair(1, 1));
        first.execute(QStringLiteral("INSERT INTO sites (name, contact, created, changed, changed_by, revision) VALUES "
                                     "('Győr', 'Kovács', '2026-01-02T03:04:05.000Z', '2026-01-02T03:04:05.000Z', 'x', 1)"));
    }
    SqlSiteBook book(m_url);
    QCOMPARE(book.versionRecord(), std::make_pair(2, 2));
    QCOMPARE(book.sites(QStringLiteral("kovacs")).size(), 1); // the upgrade filled the search text
    QCOMPARE(book.site(QStringLiteral("Győr")).created, QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5), Qt::UTC));
}

QList<QByteArray> TestSiteBook::runRecorders(const QString &site, int processes, int count)
{
    std::vector<std::unique_ptr<QProcess>> running;
    for (int p = 0; p < processes; ++p) {
        running.push_back(std::make_unique<QProcess>());
        running.back()->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        running.back()->start(QStringLiteral(SITES_RECORDER),
                              {m_url, site, QString::number(count), QStringLiteral("P%1").arg(p)});
    }
    QList<QByteArray> lines;
    for (auto &process : running) {
        [&] { QVERIFY(process->waitForFinished(120000)); }();
        [&] { QCOMPARE(process->exitCode(), 0); }();
        lines += process->readAllStandardOutput().split('\n');
    }
    lines.removeAll(QByteArray());
    return lines;
}

void TestSiteBook::fourRecorders()
{
    auto book = newBook();
    const Site site = book->addSite(SiteDetails::named(QStringLiteral("Busy")));
    const QList<QByteArray> lines = runRecorders(QStringLiteral("Busy"), 4, 25);
    QCOMPARE(lines.size(), 100);
    const QList<Exchange> history = book->history(site.id);
    QCOMPARE(history.size(), 100);
    QSet<qint64> numbers;
    QSet<QString> outcomes;
    for (const Exchange &e : history) {
        numbers.insert(e.number);
        outcomes.insert(e.outcome);
    }
    QCOMPARE(numbers.size(), 100);
    for (int p = 0; p < 4; ++p)
        for (int k = 1; k <= 25; ++k)
            QVERIFY(outcomes.contains(QStringLiteral("P%1 %2").arg(p).arg(k)));
}

void TestSiteBook::killedRecorderLosesNothing()
{
    auto book = newBook();
    const Site site = book->addSite(SiteDetails::named(QStringLiteral("Crash")));
    book.reset();
    QProcess recorder;
    recorder.start(QStringLiteral(SITES_RECORDER), {m_url, QStringLiteral("Crash"), QStringLiteral("100000"), QStringLiteral("K")});
    QList<qint64> committed;
    QByteArray pending;
    QVERIFY(QTest::qWaitFor([&] {
        recorder.waitForReadyRead(50);
        pending += recorder.readAllStandardOutput();
        return pending.count('\n') >= 40 || recorder.state() == QProcess::NotRunning;
    }, 60000));
    QCOMPARE(recorder.state(), QProcess::Running);
    ::kill(pid_t(recorder.processId()), SIGKILL);
    QVERIFY(recorder.waitForFinished(10000));
    pending += recorder.readAllStandardOutput();
    for (const QByteArray &line : pending.split('\n'))
        if (line.startsWith("committed "))
            committed << line.split(' ').at(1).toLongLong();
    QVERIFY(committed.size() >= 40);

    SqlSiteBook reopened(m_url);
    QSet<qint64> held;
    for (const Exchange &e : reopened.history(site.id))
        held.insert(e.number);
    for (const qint64 number : committed)
        QVERIFY2(held.contains(number), qPrintable(QString::number(number)));
    QVERIFY(held.size() >= committed.size());
    reopened.record(site.id, {Operation::File, {}, QStringLiteral("after"), std::nullopt});
}

#ifdef QUELMAR_BOOK_POSTGRES
void TestSiteBook::selectOnlyRoleRefused()
{
    auto book = newBook();
    const Site site = book->addSite(SiteDetails::named(QStringLiteral("Shop")), imageWith(1, 1));
    const QString role = QStringLiteral("quelmar_reader_%1").arg(QCoreApplication::applicationPid());
    const QString database = m_url.section(QLatin1Char('/'), 3);
    QCOMPARE(BookFixture::admin(QStringLiteral("CREATE ROLE %1 LOGIN PASSWORD '%2'").arg(role, qEnvironmentVariable("PGPASSWORD"))), QString());
    book->execute(QStringLiteral("GRANT SELECT ON ALL TABLES IN SCHEMA public TO %1").arg(role));
    const QString readerUrl = QStringLiteral("postgresql://%1@%2:%3/%4")
                                  .arg(role, qEnvironmentVariable("PGHOST", QStringLiteral("localhost")),
                                       qEnvironmentVariable("PGPORT"), database);
    {
        SqlSiteBook reader(readerUrl);
        QCOMPARE(reader.operatorName(), role);
        QCOMPARE(reader.sites().size(), 1);
        Site held = reader.site(QStringLiteral("Shop"));
        held.details.notes = QStringLiteral("changed");
        QString message;
        const std::vector<std::function<void()>> changes{
            [&] { reader.addSite(SiteDetails::named(QStringLiteral("Mill"))); },
            [&] { reader.editSite(held); },
            [&] { reader.record(site.id, {Operation::Read, QStringLiteral("COM1"), QStringLiteral("complete"), imageWith(9, 9), QDateTime::currentDateTimeUtc(), true}); },
        };
        for (const auto &change : changes) {
            QCOMPARE(kindOf(change, &message), SiteBookError::Kind::Refused);
            QVERIFY2(message.startsWith(QLatin1String("the site book refuses: permission denied")), qPrintable(message));
        }
    }
    QCOMPARE(book->sites().size(), 1);
    QCOMPARE(book->history(site.id).size(), 1);
    QCOMPARE(book->site(QStringLiteral("Shop")).details.notes, QString());
    QCOMPARE(book->site(QStringLiteral("Shop")).current, std::optional<ImageBytes>(imageWith(1, 1)));
    BookFixture::admin(QStringLiteral("DROP OWNED BY %1").arg(role));
}
#else

void TestSiteBook::fileModes()
{
    const mode_t old = ::umask(022);
    const QString path = m_fixture.folder() + QStringLiteral("/a/b/sites.sqlite");
    {
        SqlSiteBook book(path);
        book.addSite(SiteDetails::named(QStringLiteral("Shop")), imageWith(1, 1));
        QCOMPARE(modeOf(path), 0600);
        QCOMPARE(modeOf(path + QStringLiteral("-wal")), 0600);
        QCOMPARE(modeOf(path + QStringLiteral("-shm")), 0600);
    }
    ::umask(old);
    QCOMPARE(modeOf(m_fixture.folder() + QStringLiteral("/a")), 0700);
    QCOMPARE(modeOf(m_fixture.folder() + QStringLiteral("/a/b")), 0700);
    QCOMPARE(modeOf(m_fixture.folder()), 0700); // an existing folder is left as it was (QTemporaryDir makes it 700)
}

void TestSiteBook::damagedFile()
{
    const QString path = m_fixture.folder() + QStringLiteral("/damaged.sqlite");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(4096, 'x'));
    file.close();
    QString message;
    QCOMPARE(kindOf([&] { SqlSiteBook book(path); }, &message), SiteBookError::Kind::Unavailable);
    QVERIFY2(message.contains(QLatin1String("file is not a database")), qPrintable(message));
    QCOMPARE(QFileInfo(path).size(), 4096);
}

void TestSiteBook::addresses_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<bool>("postgres");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("database");
    QTest::addColumn<bool>("usable");
    QTest::newRow("full") << QStringLiteral("postgresql://anna@db.office:5433/sites") << true << QStringLiteral("anna") << QStringLiteral("db.office") << 5433 << QStringLiteral("sites") << true;
    QTest::newRow("host only") << QStringLiteral("postgresql://db/sites") << true << QStringLiteral("") << QStringLiteral("db") << -1 << QStringLiteral("sites") << true;
    QTest::newRow("local socket") << QStringLiteral("postgresql:///sites") << true << QStringLiteral("") << QStringLiteral("") << -1 << QStringLiteral("sites") << true;
    QTest::newRow("short scheme") << QStringLiteral("postgres://db/sites") << true << QStringLiteral("") << QStringLiteral("db") << -1 << QStringLiteral("sites") << true;
    QTest::newRow("no database") << QStringLiteral("postgresql://db") << true << QStringLiteral("") << QStringLiteral("db") << -1 << QStringLiteral("") << false;
    QTest::newRow("password refused") << QStringLiteral("postgresql://anna:secret@db/sites") << true << QStringLiteral("anna") << QStringLiteral("db") << -1 << QStringLiteral("sites") << false;
    QTest::newRow("a path") << QStringLiteral("/srv/sites.sqlite") << false << QStringLiteral("") << QStringLiteral("") << -1 << QStringLiteral("") << true;
}

void TestSiteBook::addresses()
{
    QFETCH(QString, url);
    const BookLocation where = parseBookUrl(url);
    QTEST(where.postgres, "postgres");
    QTEST(where.user, "user");
    QTEST(where.host, "host");
    QTEST(where.port, "port");
    QTEST(where.database, "database");
    QTEST(where.error.isEmpty(), "usable");
    if (!where.postgres)
        QCOMPARE(where.path, url);
}

void TestSiteBook::networkFileSystems_data()
{
    QTest::addColumn<long>("type");
    QTest::addColumn<QString>("name");
    QTest::newRow("nfs") << 0x6969L << QStringLiteral("NFS");
    QTest::newRow("cifs") << long(0xFF534D42UL) << QStringLiteral("CIFS/SMB");
    QTest::newRow("smb2") << long(0xFE534D42UL) << QStringLiteral("CIFS/SMB");
    QTest::newRow("smb") << 0x517BL << QStringLiteral("CIFS/SMB");
    QTest::newRow("ext4") << 0xEF53L << QStringLiteral("");
    QTest::newRow("tmpfs") << 0x01021994L << QStringLiteral("");
}

void TestSiteBook::networkFileSystems()
{
    QFETCH(long, type);
    QTEST(networkFileSystemName(type), "name");
}

#endif

QTEST_GUILESS_MAIN(TestSiteBook)
#include "tst_sitebook.moc"
