// The site book's store on one backend: SQLite in a temporary folder, or
// (built with QUELMAR_BOOK_POSTGRES) a throwaway PostgreSQL cluster.

#include "BookFixture.h"

#include "common/SilentServer.h"

#include "params/FieldModel.h"
#include "params/History.h"
#include "sites/BookLocation.h"
#include "sites/BookReader.h"
#include "sites/SiteMatch.h"
#include "sites/SqlSiteBook.h"
#include "sites/SqlStatements.h"

#include <QCryptographicHash>
#include <mutex>
#include <thread>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlRecord>
#include <QSet>
#include <QtTest>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

using namespace Sites;

namespace {

// The sites of the query, as a list.
QList<SiteSummary> listOf(SiteBook &book, const SiteQuery &query)
{
    QList<SiteSummary> list;
    book.eachSite(query, [&](const SiteSummary &s) { return list << s, true; });
    return list;
}

// Archived sites only when `withArchived`.
QList<SiteSummary> sitesOf(SiteBook &book, const QString &text = {}, bool withArchived = false)
{
    SiteQuery query;
    query.text = text;
    query.archived = withArchived;
    return listOf(book, query);
}

// The sites, not archived, whose last module exchange needs a visit, each with that exchange.
QList<SiteSummary> visitsOf(SiteBook &book)
{
    SiteQuery query;
    query.attention = true;
    return listOf(book, query);
}

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
    void changedThroughSql_data();
    void changedThroughSql();
    void searchUsesTheIndex();
    void pagesAndStreams();
    void upgradeIndexesSets();
    void theBookFoldsAsTheProgram();
    void needingVisit_data();
    void needingVisit();
    void readKeepsSiteBytes();
    void historyNewestFirst();
    void exchangesNeverChanged();
    void newerBookRefused();
    void newerBookWithOldWriter();
    void upgradeStepByStep();
    void lookAlikeNames_data();
    void lookAlikeNames();
    void editsOfOtherFieldsMerge();
    void historyInTimeOrder();
    void silentServerBoundsTheWait_data();
    void silentServerBoundsTheWait();
    void fourRecorders();
    void killedRecorderLosesNothing();
    void everyDetailsChangeKept();
    void archivedLeftOut_data();
    void archivedLeftOut();
    void copyThereAndBack();
    void copyRefused_data();
    void copyRefused();
    void changedByText_data();
    void changedByText();
    void theReaderAnswersTheNewest();
#ifdef QUELMAR_BOOK_POSTGRES
    void selectOnlyRoleRefused();
    void installersCannotRewrite();
    void verifyFullNeedsItsRootCertificate();
    void noTablesAsksForInit();
#else
    void bookHoldsOneVersionRow();
    void twoMakeOneBookAtOnce();
    void busyBookWaitsTenSeconds();
    void outputIsTheBook_data();
    void outputIsTheBook();
    void fileModes();
    void damagedFile();
    void addresses_data();
    void addresses();
    void networkFileSystems_data();
    void networkFileSystems();
    void backupWhileWriting();
    void backupNeverOverAFile_data();
    void backupNeverOverAFile();
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
    // By its id, as the site in work is kept.
    QCOMPARE(book->findSiteById(added.id).value().details.notes, QStringLiteral("back door"));
    QVERIFY(!book->findSiteById(added.id + 1));
    if (BookFixture::Postgres)
        QCOMPARE(book->operatorName(), qEnvironmentVariable("PGUSER"));
    QVERIFY(!book->findSite(QStringLiteral("bakery"))); // names are exact

    QString message;
    QCOMPARE(kindOf([&] { book->addSite(SiteDetails::named(QStringLiteral("Bakery"))); }, &message), SiteBookError::Kind::NameTaken);
    QCOMPARE(message, QStringLiteral("site \"Bakery\" is in the site book already"));
    QCOMPARE(kindOf([&] { book->site(QStringLiteral("Mill")); }, &message), SiteBookError::Kind::NoSite);
    QCOMPARE(message, QStringLiteral("no site \"Mill\" in the site book"));
    QCOMPARE(kindOf([&] { book->addSite(SiteDetails::named(QStringLiteral("  "))); }), SiteBookError::Kind::Input);
    QCOMPARE(sitesOf(*book).size(), 1);
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
    const QList<SiteSummary> found = sitesOf(book, name);
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
    QTest::newRow("three letters anywhere") << QStringLiteral("eks") << bakery;
    QTest::newRow("capitals with accents") << QStringLiteral("GYŐRI") << bakery;
    QTest::newRow("typed decomposed") << QStringLiteral("Pe") + QChar(0x0301) + QStringLiteral("ks") << bakery;
    QTest::newRow("two letters: a name's start") << QStringLiteral("Gy") << bakery;
    QTest::newRow("one letter: a name's start") << QStringLiteral("m") << QStringList{QStringLiteral("Mill")};
    QTest::newRow("two letters elsewhere") << QStringLiteral("ut") << QStringList();
    QTest::newRow("two letters inside a name") << QStringLiteral("ri") << QStringList();
    QTest::newRow("quotes and signs are letters") << QStringLiteral("\"%_") << QStringList();
    QTest::newRow("not across fields") << QStringLiteral("pekseg fo") << QStringList();
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
    for (const SiteSummary &s : sitesOf(*book, text))
        found << s.site.details.name;
    QCOMPARE(found, names);
}

// Another client changes a site: the database keeps its search text itself.
void TestSiteBook::changedThroughSql_data()
{
    QTest::addColumn<QString>("assignment");
    QTest::addColumn<QString>("found");
    QTest::addColumn<QString>("gone");
    QTest::newRow("address") << QStringLiteral("address = 'Szeged, Kárász utca'") << QStringLiteral("karasz")
                             << QStringLiteral("malom");
    QTest::newRow("name, by its start") << QStringLiteral("name = 'Őrház'") << QStringLiteral("or")
                                        << QStringLiteral("mi");
    QTest::newRow("phone, by digits") << QStringLiteral("phone = '+36 (1) 987–6543'") << QStringLiteral("19876")
                                      << QStringLiteral("30 111");
    QTest::newRow("notes") << QStringLiteral("notes = 'KULCS a postaládában'") << QStringLiteral("postalada")
                           << QStringLiteral("regi");
}

void TestSiteBook::changedThroughSql()
{
    QFETCH(QString, assignment);
    QFETCH(QString, found);
    QFETCH(QString, gone);
    auto book = newBook();
    const qint64 mill = book->addSite({QStringLiteral("Mill"),
                                       QStringLiteral("Malom utca 2"),
                                       {},
                                       QStringLiteral("+36 30 111 2222"),
                                       QStringLiteral("régi kulcs")})
                            .id;
    book->addSite(SiteDetails::named(QStringLiteral("Barn")));
    book->execute(QStringLiteral("UPDATE sites SET %1 WHERE name = 'Mill'").arg(assignment));
    const QList<SiteSummary> hits = sitesOf(*book, found);
    QCOMPARE(hits.size(), 1);
    QCOMPARE(hits.first().site.id, mill);
    QVERIFY(sitesOf(*book, gone).isEmpty());
}

// The plans of the searches read the index, not every site.
void TestSiteBook::searchUsesTheIndex()
{
    auto book = newBook();
    book->addSite(SiteDetails::named(QStringLiteral("Mill")));
    const SqlStatements &sql = BookFixture::Postgres ? postgresStatements() : sqliteStatements();
    const auto page = [](QString statement) {
        return statement.replace(QStringLiteral(":limit"), QStringLiteral("50"))
            .replace(QStringLiteral(":offset"), QStringLiteral("0"))
            .replace(QStringLiteral(":archived"), QStringLiteral("0"));
    };
    // A small book is read whole where it can; the index must be usable.
    if (BookFixture::Postgres)
        book->execute(QStringLiteral("SET enable_seqscan = off"));
    for (QString ListingSql::*form : {&ListingSql::whole, &ListingSql::paged}) {
        const std::pair<QString, QString> searches[] = {
            {page(sql.searchSites.*form)
                 .replace(QStringLiteral(":phrase"),
                          BookFixture::Postgres ? QStringLiteral("'%mil%'") : QStringLiteral("'\"mil\"'")),
             BookFixture::Postgres ? QStringLiteral("sites_search") : QStringLiteral("VIRTUAL TABLE INDEX 0:M")},
            {page(sql.namePrefix.*form)
                 .replace(QStringLiteral(":low"), QStringLiteral("'mi'"))
                 .replace(QStringLiteral(":high"), QStringLiteral("'mj'")),
             BookFixture::Postgres ? QStringLiteral("sites_by_fold") : QStringLiteral("INDEX site_fold_by_name")}};
        for (const auto &[statement, index] : searches) {
            QStringList plan;
            book->query(QStringLiteral("EXPLAIN ") + QLatin1String(BookFixture::Postgres ? "" : "QUERY PLAN ")
                            + statement,
                        [&](const QSqlQuery &q) { plan << q.value(BookFixture::Postgres ? 0 : 3).toString(); });
            QVERIFY2(plan.join(QLatin1Char('\n')).contains(index), qPrintable(plan.join(QLatin1Char('\n'))));
        }
    }
}

void TestSiteBook::pagesAndStreams()
{
    auto book = newBook();
    for (int k = 0; k < 12; ++k)
        book->addSite(SiteDetails::named(QStringLiteral("Site %1").arg(k, 2, 10, QLatin1Char('0'))));
    QStringList names;
    SiteQuery query;
    query.offset = 3;
    query.limit = 4;
    book->eachSite(query, [&](const SiteSummary &s) {
        names << s.site.details.name;
        return true;
    });
    QCOMPARE(names,
             (QStringList{QStringLiteral("Site 03"), QStringLiteral("Site 04"), QStringLiteral("Site 05"),
                          QStringLiteral("Site 06")}));
    int seen = 0;
    book->eachSite({}, [&](const SiteSummary &) { return ++seen < 2; }); // stops when told
    QCOMPARE(seen, 2);

    const qint64 id = book->site(QStringLiteral("Site 00")).id;
    const QDateTime base(QDate(2026, 5, 1), QTime(8, 0), Qt::UTC);
    for (int k = 0; k < 6; ++k)
        book->record(id,
                     {Operation::Read,
                      {},
                      QStringLiteral("read %1").arg(k),
                      k % 2 ? std::optional(imageWith(std::uint8_t(k), 0)) : std::nullopt,
                      base.addDays(k)});
    const auto outcomes = [&](const HistoryQuery &h) {
        QStringList list;
        book->eachExchange(id, h, [&](const Exchange &e) {
            list << e.outcome + (e.image ? QStringLiteral("+") : QString());
            return true;
        });
        return list;
    };
    HistoryQuery h;
    h.withImages = h.onlyWithImage = true;
    h.limit = 2;
    QCOMPARE(outcomes(h), (QStringList{QStringLiteral("read 5+"), QStringLiteral("read 3+")}));
    h = {};
    h.since = base.addDays(2);
    h.before = base.addDays(4);
    QCOMPARE(outcomes(h), (QStringList{QStringLiteral("read 3"), QStringLiteral("read 2")}));
    h.operatorName = QStringLiteral("somebody else");
    QCOMPARE(outcomes(h), QStringList());
}

// An older book's current sets reach the index the upgrade builds.
void TestSiteBook::upgradeIndexesSets()
{
    m_url = m_fixture.newBook(false);
    ImageBytes set = imageWith(0xFF, 0);
    store(set, "APN", QStringLiteral("internet.vodafone.hu"));
    {
        SqlSiteBook older(m_url, BookRoles{}, 3); // before the index
        older.addSite({QStringLiteral("Győri Pékség"), QStringLiteral("Fő utca 1"), {}, {}, {}}, set);
    }
    SqlSiteBook book(m_url);
    QCOMPARE(book.versionRecord(), std::make_pair(KnownVersion, KnownVersion));
    for (const QString &text : {QStringLiteral("vodaf"), QStringLiteral("fo utca"), QStringLiteral("gy")})
        QCOMPARE(sitesOf(book, text).size(), 1);
    // No text of the fold table holds a character it folds again.
    for (const FoldPair &p : foldPairs())
        for (const FoldPair &q : foldPairs())
            QVERIFY2(!p.to.contains(q.from), qPrintable(p.to));
}

// Every letter the program folds, and every separator a phone number has,
// as the database keeps them for any client.
void TestSiteBook::theBookFoldsAsTheProgram()
{
    auto book = newBook();
    QString letters;
    for (const FoldPair &p : foldPairs())
        letters += p.from;
    const QString phone = QStringLiteral("1") + QString(phoneSeparators()).remove(QLatin1Char('\n')) + QStringLiteral("2ж3");
    book->execute(QStringLiteral("INSERT INTO sites (name, name_key, phone, notes, created, changed, changed_by, revision)"
                                 " VALUES (%1, 'k', %2, %3, %4, %4, 'sql', 1)")
                      .arg(sqlLiteral(QStringLiteral("ÁrvÍz ") + letters), sqlLiteral(phone), sqlLiteral(letters),
                           BookFixture::Postgres ? QStringLiteral("now()") : QStringLiteral("'2026-12-09T12:00:00.000Z'")));
    QString name, searched;
    book->query(BookFixture::Postgres ? QStringLiteral("SELECT name_fold, search_text FROM sites")
                                      : QStringLiteral("SELECT n.name, f.body FROM site_fold n JOIN site_index f"
                                                       " ON f.rowid = n.site"),
                [&](const QSqlQuery &q) { name = q.value(0).toString(), searched = q.value(1).toString(); });
    QCOMPARE(name, foldText(QStringLiteral("ÁrvÍz ") + letters));
    QVERIFY(searched.contains(foldText(letters)));
    QCOMPARE(digitsOf(phone), QStringLiteral("12ж3"));
    QVERIFY2(searched.contains(QStringLiteral("\n12ж3")), qPrintable(searched.right(40)));
    if (BookFixture::Postgres)
        return;
    // A book that folds without the tables of letters comes to them when it is opened.
    for (const char *drop : {"DROP TRIGGER site_fold_folded", "DROP VIEW site_fold_folding", "DROP VIEW site_fold_digits",
                             "DROP TABLE site_fold_letters", "DROP TABLE site_phone_separators",
                             "DROP TABLE site_fold_work"})
        book->execute(QLatin1String(drop));
    book.reset();
    SqlSiteBook again(m_url);
    again.addSite({QStringLiteral("Győri Pékség"), {}, {}, QStringLiteral("+36 (96) 555-123"), {}});
    QCOMPARE(sitesOf(again, QStringLiteral("GYORI PEK")).size(), 1);
    QCOMPARE(sitesOf(again, QStringLiteral("96555")).size(), 1);
}

void TestSiteBook::needingVisit_data()
{
    QTest::addColumn<Operation>("operation");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<bool>("listed");
    QTest::newRow("write stopped: half-written") << Operation::Write << QStringLiteral("stopped at block 7: no answer") << true;
    QTest::newRow("read stopped") << Operation::Read << QStringLiteral("stopped at block 3: no answer") << true;
    QTest::newRow("verify differed") << Operation::Verify << QStringLiteral("3 fields differ") << true;
    QTest::newRow("verify stored differently") << Operation::Verify << QStringLiteral("1 field stored differently, same value") << true;
    QTest::newRow("compare differed") << Operation::Compare << QStringLiteral("1 field differs") << true;
    QTest::newRow("verified") << Operation::Verify << QStringLiteral("verified") << false;
    QTest::newRow("compare equal") << Operation::Compare << QStringLiteral("no difference") << false;
    QTest::newRow("write complete") << Operation::Write << QStringLiteral("complete, 3 of 15 blocks changed") << false;
    QTest::newRow("backup not kept: nothing written") << Operation::Write << QStringLiteral("not kept: disk full") << false;
}

void TestSiteBook::needingVisit()
{
    QFETCH(Operation, operation);
    QFETCH(QString, outcome);
    QFETCH(bool, listed);
    auto book = newBook();
    const Site farm = book->addSite(SiteDetails::named(QStringLiteral("Farm")), imageWith(1, 1));
    const QDateTime start = QDateTime::currentDateTimeUtc();
    // Only the last module exchange counts, and a file put after it does not hide it.
    book->record(farm.id, {Operation::Verify, QStringLiteral("COM1"), QStringLiteral("2 fields differ"), std::nullopt, start});
    const Exchange last = book->record(farm.id, {operation, QStringLiteral("COM1"), outcome, std::nullopt, start.addSecs(1)});
    book->record(farm.id, {Operation::File, {}, QStringLiteral("from farm.QM3"), imageWith(2, 2), start.addSecs(2), true});
    book->addSite(SiteDetails::named(QStringLiteral("Mill")), imageWith(3, 3)); // a file only
    const QList<SiteSummary> found = visitsOf(*book);
    QCOMPARE(found.size(), listed ? 1 : 0);
    if (listed) {
        QCOMPARE(found.first().site.details.name, QStringLiteral("Farm"));
        QVERIFY(found.first().last);
        QCOMPARE(found.first().last->number, last.number);
        QCOMPARE(found.first().last->outcome, outcome);
    }
    // Among a search's hits: by the name's start, by the index, and not for another site's text.
    for (const auto &[text, hit] : {std::pair{"fa", listed}, {"arm", listed}, {"mill", false}}) {
        SiteQuery query;
        query.text = QString::fromLatin1(text);
        query.attention = true;
        QStringList names;
        book->eachSite(query, [&](const SiteSummary &s) { return names << s.site.details.name, true; });
        QCOMPARE(names, hit ? QStringList{QStringLiteral("Farm")} : QStringList());
    }
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
    // After the site's exchange "file": the history is in time order.
    const QDateTime when = QDateTime(QDate::currentDate().addDays(1), QTime(12, 31, 5, 250), Qt::UTC);
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
    const QList<SiteSummary> list = sitesOf(*book);
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
        book->execute(QStringLiteral("UPDATE book SET version = %1, oldest_writer = %1").arg(KnownVersion + 1));
    }
    SqlSiteBook book(m_url);
    QCOMPARE(book.version(), KnownVersion + 1);
    const Site site = book.site(QStringLiteral("Shop")); // reading still works
    const QString refusal = QStringLiteral("the site book is version %1; this program knows up to %2")
                                .arg(KnownVersion + 1)
                                .arg(KnownVersion);
    QString message;
    QCOMPARE(kindOf([&] { book.addSite(SiteDetails::named(QStringLiteral("Mill"))); }, &message), SiteBookError::Kind::NewerBook);
    QCOMPARE(message, refusal);
    QCOMPARE(kindOf([&] { book.editSite(site); }, &message), SiteBookError::Kind::NewerBook);
    QCOMPARE(message, refusal);
    QCOMPARE(kindOf([&] { book.record(site.id, {Operation::File, {}, QStringLiteral("x"), imageWith(3, 3)}); }, &message),
             SiteBookError::Kind::NewerBook);
    QCOMPARE(message, refusal);
    QCOMPARE(sitesOf(book).size(), 1);
    QCOMPARE(book.history(site.id).size(), 1);
    QCOMPARE(book.versionRecord(), std::make_pair(KnownVersion + 1, KnownVersion + 1));
}

void TestSiteBook::newerBookWithOldWriter()
{
    {
        auto book = newBook();
        book->execute(
            QStringLiteral("UPDATE book SET version = %1, oldest_writer = %2").arg(KnownVersion + 1).arg(KnownVersion));
    }
    SqlSiteBook book(m_url);
    book.addSite(SiteDetails::named(QStringLiteral("Mill")));
    QCOMPARE(sitesOf(book).size(), 1);
    QCOMPARE(book.versionRecord(), std::make_pair(KnownVersion + 1, KnownVersion)); // never lowered
}

void TestSiteBook::upgradeStepByStep()
{
    m_url = m_fixture.newBook(false);
    {
        SqlSiteBook first(m_url, BookRoles{}, 1);
        QCOMPARE(first.versionRecord(), std::make_pair(1, 1));
        first.execute(QStringLiteral("INSERT INTO sites (name, contact, created, changed, changed_by, revision) VALUES "
                                     "('Győr', 'Kovács', '2026-01-02T03:04:05.000Z', '2026-01-02T03:04:05.000Z', 'x', 1)"));
    }
    SqlSiteBook book(m_url);
    QCOMPARE(book.versionRecord(), std::make_pair(KnownVersion, KnownVersion));
    QCOMPARE(sitesOf(book, QStringLiteral("kovacs")).size(), 1); // the upgrade filled the search text
    const Site gyor = book.site(QStringLiteral("Győr"));
    QCOMPARE(gyor.created, QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5), Qt::UTC));
    // The details as they were become the first kept change, by whoever made them.
    const QList<DetailsChange> changes = book.changes(gyor.id);
    QCOMPARE(changes.size(), 1);
    QVERIFY(!changes.first().before);
    QCOMPARE(changes.first().operatorName, QStringLiteral("x"));
    QCOMPARE(changes.first().time, gyor.changed);
    QCOMPARE(changes.first().after.details.contact, QStringLiteral("Kovács"));
}

void TestSiteBook::lookAlikeNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("decomposed") << QStringLiteral("Kova") + QChar(0x0301) + QStringLiteral("cs"); // a + combining acute
    QTest::newRow("capitals") << QStringLiteral("KOVÁCS");
    QTest::newRow("trailing blank") << QStringLiteral("Kovács ");
    QTest::newRow("leading blanks") << QStringLiteral("  kovács");
}

void TestSiteBook::lookAlikeNames()
{
    QFETCH(QString, name);
    auto book = newBook();
    book->addSite(SiteDetails::named(QStringLiteral("Kovács")));
    QString message;
    QCOMPARE(kindOf([&] { book->addSite(SiteDetails::named(name)); }, &message), SiteBookError::Kind::NameTaken);
    QCOMPARE(message, QStringLiteral("site \"%1\" exists (as \"Kovács\")").arg(name));
    // Renamed onto the look-alike of another site: refused too.
    Site trail = book->addSite(SiteDetails::named(QStringLiteral("Trail  Head")));
    trail.details.name = name;
    QCOMPARE(kindOf([&] { book->editSite(trail); }), SiteBookError::Kind::NameTaken);
    // A site may change the spelling of its own name; the name keeps it.
    trail.details.name = QStringLiteral("TRAIL head ");
    QCOMPARE(book->editSite(trail).details.name, QStringLiteral("TRAIL head "));
    QCOMPARE(sitesOf(*book).size(), 2);
    QVERIFY(book->findSite(QStringLiteral("TRAIL head ")));
}

void TestSiteBook::editsOfOtherFieldsMerge()
{
    auto anna = newBook();
    SqlSiteBook peter(m_url);
    const Site asRead =
        anna->addSite({QStringLiteral("Mill"), QStringLiteral("Old St 1"), QStringLiteral("Béla"), {}, {}});
    SiteDetails phone = asRead.details, address = asRead.details, otherPhone = asRead.details;
    phone.phone = QStringLiteral("+36 2");
    address.address = QStringLiteral("New St 2");
    otherPhone.phone = QStringLiteral("+36 3");
    peter.editFields(asRead, phone);
    // Anna read revision 1 and changes another field: applied on revision 2.
    QCOMPARE(anna->editFields(asRead, address).revision, 3);
    const SiteDetails held = anna->site(QStringLiteral("Mill")).details;
    QCOMPARE(QStringList({held.address, held.phone, held.contact}),
             QStringList({address.address, phone.phone, QStringLiteral("Béla")}));
    // The same field changed by both: refused, nothing saved.
    QCOMPARE(kindOf([&] { anna->editFields(asRead, otherPhone); }), SiteBookError::Kind::Changed);
    QCOMPARE(anna->site(QStringLiteral("Mill")).details.phone, phone.phone);
}

void TestSiteBook::historyInTimeOrder()
{
    auto book = newBook();
    const Site site = book->addSite(SiteDetails::named(QStringLiteral("Shop")));
    const QDateTime base(QDate(2026, 3, 1), QTime(8, 0), Qt::UTC);
    // Recorded in the order 2026, 2019, 2025: an import of old files after a read.
    const QList<Exchange> recorded =
        book->recordAll(site.id,
                        {{Operation::Read, QStringLiteral("COM1"), QStringLiteral("complete"), imageWith(1, 1), base},
                         {Operation::File, {}, QStringLiteral("a"), imageWith(2, 2), base.addYears(-7)},
                         {Operation::File, {}, QStringLiteral("b"), imageWith(3, 3), base.addYears(-1)}});
    const QList<Exchange> history = book->history(site.id);
    QCOMPARE(history.size(), 3);
    const QList<qint64> order{history.at(0).number, history.at(1).number, history.at(2).number};
    QCOMPARE(order, (QList<qint64>{recorded.at(0).number, recorded.at(2).number, recorded.at(1).number}));
    QCOMPARE(sitesOf(*book).first().last->number, recorded.at(0).number);
}

void TestSiteBook::silentServerBoundsTheWait_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<int>("seconds");
    QTest::newRow("default") << QString() << 5;
    QTest::newRow("connect_timeout=2") << QStringLiteral("?connect_timeout=2") << 2;
}

void TestSiteBook::silentServerBoundsTheWait()
{
    QFETCH(QString, query);
    QFETCH(int, seconds);
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL")))
        QFAIL("Qt's QPSQL driver is missing (package libqt6sql6-psql)");
    // Accepts connections (the kernel's backlog does) and never says a word.
    SilentServer silent;
    QVERIFY(silent.port() != 0);
    const QString url = QStringLiteral("postgresql://nobody@127.0.0.1:%1/sites").arg(silent.port()) + query;
    QElapsedTimer timer;
    timer.start();
    QString message;
    QCOMPARE(kindOf([&] { SqlSiteBook book(url); }, &message), SiteBookError::Kind::Unavailable);
    const qint64 ms = timer.elapsed();
    QVERIFY2(message.contains(QLatin1String("cannot be opened")), qPrintable(message));
    // libpq counts its time-out in whole seconds of the clock: it ends up to a second early.
    QVERIFY2(ms >= (seconds - 1) * 1000 && ms < seconds * 1000 + 1500, qPrintable(QString::number(ms)));
    QCOMPARE(silent.connections(), 1);
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

// Every row of a table of an SQLite book, in number order, as SQLite holds it.
QList<QVariantList> rowsOf(const QString &file, const QString &table)
{
    QList<QVariantList> rows;
    const QString connection = QStringLiteral("rows ") + file;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(file);
        if (!db.open())
            return rows;
        QSqlQuery q(db);
        if (q.exec(QStringLiteral("SELECT * FROM %1 ORDER BY 1").arg(table)))
            while (q.next()) {
                QVariantList row;
                for (int c = 0; c < q.record().count(); ++c)
                    row << q.value(c);
                rows << row;
            }
    }
    QSqlDatabase::removeDatabase(connection);
    return rows;
}

void TestSiteBook::everyDetailsChangeKept()
{
    auto book = newBook();
    Site site = book->addSite({QStringLiteral("Bakery"), QStringLiteral("Main St 1"), {}, {}, {}});
    site.details.address = QStringLiteral("Main St 2");
    site = book->editSite(site);
    SiteDetails notes = site.details;
    notes.notes = QStringLiteral("back door");
    site = book->editFields(site, notes);
    site = book->setArchived(site, true);
    QVERIFY(site.archived);
    // Archiving an archived site changes nothing and keeps nothing.
    QCOMPARE(book->setArchived(site, true).revision, site.revision);
    site = book->setArchived(site, false);
    const QList<DetailsChange> changes = book->changes(site.id);
    QCOMPARE(changes.size(), 5);
    for (const DetailsChange &c : changes)
        QCOMPARE(c.operatorName, book->operatorName());
    // Newest first, each before as the one after it left it.
    QVERIFY(!changes.at(4).before);
    QCOMPARE(changes.at(4).after.details.address, QStringLiteral("Main St 1"));
    QCOMPARE(changes.at(3).before->details.address, QStringLiteral("Main St 1"));
    QCOMPARE(changes.at(3).after.details.address, QStringLiteral("Main St 2"));
    QCOMPARE(changes.at(2).after.details.notes, QStringLiteral("back door"));
    QVERIFY(!changes.at(1).before->archived && changes.at(1).after.archived);
    QVERIFY(changes.at(0).before->archived && !changes.at(0).after.archived);
    QCOMPARE(changes.at(0).time, site.changed);
    for (int i = 1; i < changes.size(); ++i)
        QCOMPARE(changes.at(i - 1).before->details.address, changes.at(i).after.details.address);
    // Kept for good.
    QCOMPARE(kindOf([&] { book->execute(QStringLiteral("UPDATE site_changes SET operator = 'x'")); }),
             SiteBookError::Kind::Unavailable);
    QCOMPARE(kindOf([&] { book->execute(QStringLiteral("DELETE FROM site_changes")); }), SiteBookError::Kind::Unavailable);
    QCOMPARE(book->changes(site.id).size(), 5);
}

void TestSiteBook::archivedLeftOut_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("withArchived");
    QTest::addColumn<QStringList>("listed");
    QTest::newRow("all") << QString() << false << QStringList{QStringLiteral("Bakery")};
    QTest::newRow("all with archived") << QString() << true << QStringList{QStringLiteral("Bakery"), QStringLiteral("Mill")};
    QTest::newRow("search") << QStringLiteral("river") << false << QStringList{};
    QTest::newRow("search with archived") << QStringLiteral("river") << true << QStringList{QStringLiteral("Mill")};
}

void TestSiteBook::archivedLeftOut()
{
    QFETCH(QString, text);
    QFETCH(bool, withArchived);
    QFETCH(QStringList, listed);
    auto book = newBook();
    book->addSite(SiteDetails::named(QStringLiteral("Bakery")));
    Site mill = book->addSite({QStringLiteral("Mill"), QStringLiteral("River Rd 2"), {}, {}, {}}, imageWith(1, 1));
    book->record(mill.id, {Operation::Write, QStringLiteral("COM1"), QStringLiteral("stopped at block 3"), imageWith(2, 1)});
    QCOMPARE(visitsOf(*book).size(), 1);
    book->setArchived(mill, true);
    QStringList names;
    for (const SiteSummary &s : sitesOf(*book, text, withArchived)) {
        names << s.site.details.name;
        QCOMPARE(s.site.archived, s.site.details.name == QLatin1String("Mill"));
    }
    QCOMPARE(names, listed);
    // Nobody visits a customer who left; its exchanges and its set stay.
    QVERIFY(visitsOf(*book).isEmpty());
    QCOMPARE(book->history(mill.id).size(), 2);
    QVERIFY(book->site(QStringLiteral("Mill")).current);
    QVERIFY(book->findSiteById(mill.id));
}

void TestSiteBook::copyThereAndBack()
{
    const QString source = m_fixture.folder() + QStringLiteral("/source/sites.sqlite");
    const QString back = m_fixture.folder() + QStringLiteral("/back/sites.sqlite");
    {
        SqlSiteBook book(source);
        Site gyor = book.addSite({QStringLiteral("Győr Pékség"), QStringLiteral("Fő tér 1"), QStringLiteral("Anna"),
                                  QStringLiteral("+36 1 234"), QStringLiteral("line 1\nline 2")},
                                 imageWith(1, 7));
        gyor.details.contact = QStringLiteral("Kovács Anna");
        book.editSite(gyor);
        Site mill = book.addSite(SiteDetails::named(QStringLiteral("Mill")));
        book.setArchived(mill, true);
        book.addSite(SiteDetails::named(QStringLiteral("Empty")));
        const QDateTime t(QDate(2026, 3, 4), QTime(5, 6, 7, 891), Qt::UTC);
        for (int i = 0; i < 6; ++i)
            book.recordAll(i % 2 ? mill.id : gyor.id,
                           {{Operation::Read, QStringLiteral("COM%1").arg(i), QStringLiteral("complete"),
                             imageWith(std::uint8_t(10 + i), 0), t.addSecs(i), i == 0},
                            {Operation::Compare, QStringLiteral("COM1"), QStringLiteral("3 fields differ"), std::nullopt,
                             t.addSecs(i)}});
    }
    const QString middle = m_fixture.newBook();
    const BookCopy there = copySiteBook(source, middle);
    QCOMPARE(there.sites, 3);
    QCOMPARE(there.exchanges, 13);
    QCOMPARE(there.changes, 5);
    const BookCopy again = copySiteBook(middle, back);
    QCOMPARE(again.sites, there.sites);
    QCOMPARE(again.exchanges, there.exchanges);
    QCOMPARE(again.changes, there.changes);
    for (const char *table : {"sites", "exchanges", "site_changes", "site_search", "book"}) {
        const QList<QVariantList> before = rowsOf(source, QLatin1String(table)), after = rowsOf(back, QLatin1String(table));
        QVERIFY2(!before.isEmpty(), table);
        QCOMPARE(after, before);
    }
    // The copy goes on numbering after the highest it was given.
    SqlSiteBook copy(middle);
    const Site added = copy.addSite(SiteDetails::named(QStringLiteral("New")));
    QCOMPARE(added.id, 4);
    QCOMPARE(copy.record(added.id, {Operation::File, {}, QStringLiteral("x"), std::nullopt}).number, 14);
    QCOMPARE(copy.changes(added.id).first().number, 6);
    QCOMPARE(sitesOf(copy, QStringLiteral("kovacs anna")).size(), 1);
}

void TestSiteBook::copyRefused_data()
{
    QTest::addColumn<QString>("into");
    QTest::addColumn<QString>("said");
    QTest::newRow("not empty") << QStringLiteral("other") << QStringLiteral("is not empty");
    QTest::newRow("itself") << QStringLiteral("itself") << QStringLiteral("is the site book copied from");
    QTest::newRow("itself by another address")
        << QStringLiteral("spelled") << QStringLiteral("is the site book copied from");
}

void TestSiteBook::copyRefused()
{
    QFETCH(QString, into);
    QFETCH(QString, said);
    auto book = newBook();
    book->addSite(SiteDetails::named(QStringLiteral("Bakery")));
    QString target = m_url;
    if (into == QLatin1String("other")) {
        target = m_fixture.newBook();
        SqlSiteBook(target).addSite(SiteDetails::named(QStringLiteral("Mill")));
    } else if (into == QLatin1String("spelled")) {
        target = BookFixture::Postgres ? m_url + QStringLiteral("?application_name=copy")
                                       : QFileInfo(m_url).absolutePath() + QStringLiteral("/../")
                + QFileInfo(QFileInfo(m_url).absolutePath()).fileName() + QStringLiteral("/sites.sqlite");
    }
    QString message;
    QCOMPARE(kindOf([&] { copySiteBook(m_url, target); }, &message), SiteBookError::Kind::Input);
    QVERIFY2(message.contains(said), qPrintable(message));
    QCOMPARE([&] { SqlSiteBook held(target); return sitesOf(held).size(); }(), 1);
}

void TestSiteBook::changedByText_data()
{
    QTest::addColumn<QDateTime>("time");
    QTest::addColumn<QString>("text");
    const QDateTime noon(QDate(2026, 12, 9), QTime(12, 31));
    QTest::newRow("today") << noon.toUTC() << QStringLiteral("Changed by anna at 12:31");
    QTest::newRow("yesterday") << noon.addDays(-1).toUTC() << QStringLiteral("Changed by anna on 2026-12-08 at 12:31");
}

void TestSiteBook::changedByText()
{
    QFETCH(QDateTime, time);
    QFETCH(QString, text);
    QCOMPARE(Sites::changedByText(QStringLiteral("anna"), time, QDate(2026, 12, 9)), text);
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
        QCOMPARE(sitesOf(reader).size(), 1);
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
    QCOMPARE(sitesOf(*book).size(), 1);
    QCOMPARE(book->history(site.id).size(), 1);
    QCOMPARE(book->site(QStringLiteral("Shop")).details.notes, QString());
    QCOMPARE(book->site(QStringLiteral("Shop")).current, std::optional<ImageBytes>(imageWith(1, 1)));
    BookFixture::admin(QStringLiteral("DROP OWNED BY %1").arg(role));
}

namespace {

// A login role of its own for one person, member of `group`, and the URL
// of the book for it.
QString personUrl(const QString &bookUrl, const QString &person, const QString &group)
{
    BookFixture::admin(QStringLiteral("DROP ROLE IF EXISTS %1").arg(person));
    const QString made = BookFixture::admin(QStringLiteral("CREATE ROLE %1 LOGIN PASSWORD '%2' IN ROLE %3")
                                                .arg(person, qEnvironmentVariable("PGPASSWORD"), group));
    if (!made.isEmpty())
        qWarning("%s", qPrintable(made));
    return QStringLiteral("postgresql://%1@%2:%3/%4")
        .arg(person, qEnvironmentVariable("PGHOST", QStringLiteral("localhost")), qEnvironmentVariable("PGPORT"),
             bookUrl.section(QLatin1Char('/'), 3));
}

} // namespace

void TestSiteBook::installersCannotRewrite()
{
    auto book = newBook();
    const Site site = book->addSite(SiteDetails::named(QStringLiteral("Shop")), imageWith(1, 1));
    const QString pid = QString::number(QCoreApplication::applicationPid());
    const QString installer = QStringLiteral("anna_") + pid, staff = QStringLiteral("peter_") + pid;
    {
        SqlSiteBook anna(personUrl(m_url, installer, QStringLiteral("quelmar_installers")));
        QCOMPARE(anna.operatorName(), installer);
        // What an installer does is allowed ...
        const Exchange e = anna.record(site.id,
                                       {Operation::Read, QStringLiteral("COM1"), QStringLiteral("complete"),
                                        imageWith(2, 2), QDateTime::currentDateTimeUtc(), true});
        QCOMPARE(e.operatorName, installer);
        Site held = anna.site(QStringLiteral("Shop"));
        held.details.notes = QStringLiteral("back door");
        anna.editSite(held);
        anna.addSite(SiteDetails::named(QStringLiteral("Mill")));
        // ... and nothing that rewrites the history or the tables.
        for (const char *statement :
             {"TRUNCATE exchanges CASCADE", "DELETE FROM exchanges", "UPDATE exchanges SET outcome = 'x'",
              "DROP TRIGGER exchanges_never_changed ON exchanges",
              "DROP TRIGGER exchanges_never_truncated ON exchanges", "ALTER TABLE exchanges DISABLE TRIGGER ALL",
              "DROP TABLE exchanges CASCADE", "DELETE FROM sites", "UPDATE book SET version = 1",
              "UPDATE site_changes SET operator = 'x'", "DELETE FROM site_changes", "TRUNCATE site_changes CASCADE",
              "ALTER TABLE site_changes DISABLE TRIGGER ALL"}) {
            QString message;
            QCOMPARE(kindOf([&] { anna.execute(QString::fromLatin1(statement)); }, &message),
                     SiteBookError::Kind::Refused);
            QVERIFY2(message.contains(QLatin1String("permission denied"))
                         || message.contains(QLatin1String("must be owner")),
                     qPrintable(QString::fromLatin1(statement) + QStringLiteral(": ") + message));
        }
    }
    {
        SqlSiteBook peter(personUrl(m_url, staff, QStringLiteral("quelmar_staff")));
        QCOMPARE(sitesOf(peter).size(), 2);
        QString message;
        QCOMPARE(kindOf(
                     [&] {
                         peter.record(site.id, {Operation::File, {}, QStringLiteral("x"), std::nullopt});
                     },
                     &message),
                 SiteBookError::Kind::Refused);
        QCOMPARE(kindOf([&] { peter.addSite(SiteDetails::named(QStringLiteral("Barn"))); }),
                 SiteBookError::Kind::Refused);
        QCOMPARE(kindOf([&] { peter.execute(QStringLiteral("DELETE FROM exchanges")); }), SiteBookError::Kind::Refused);
    }
    // Even the owner's own trigger refuses a TRUNCATE, for the administrator as well.
    QString message;
    QCOMPARE(kindOf([&] { book->execute(QStringLiteral("TRUNCATE exchanges CASCADE")); }, &message),
             SiteBookError::Kind::Unavailable);
    QVERIFY2(message.contains(QLatin1String("never changed or deleted")), qPrintable(message));
    QCOMPARE(book->history(site.id).size(), 2);
    QCOMPARE(sitesOf(*book).size(), 2);
    for (const QString &role : {installer, staff})
        BookFixture::admin(QStringLiteral("DROP OWNED BY %1; DROP ROLE %1").arg(role));
}

void TestSiteBook::verifyFullNeedsItsRootCertificate()
{
    newBook();
    const QString url = QStringLiteral("postgresql://%1:%2/%3?sslmode=verify-full&sslrootcert=/nonexistent/root.crt"
                                       "&application_name=quelmar%20test")
                            .arg(qEnvironmentVariable("PGHOST", QStringLiteral("localhost")),
                                 qEnvironmentVariable("PGPORT"), m_url.section(QLatin1Char('/'), 3));
    QString message;
    QCOMPARE(kindOf([&] { SqlSiteBook book(url); }, &message), SiteBookError::Kind::Unavailable);
    // Refused before anything crosses the line in clear: no TLS here, and no root certificate.
    QVERIFY2(message.contains(QLatin1String("SSL")) || message.contains(QLatin1String("/nonexistent/root.crt")),
             qPrintable(message));
    // The other parameters reach the server as given.
    SqlSiteBook named(QStringLiteral("%1?application_name=quelmar%20test&sslmode=prefer").arg(m_url));
    QCOMPARE(kindOf([&] {
                 named.execute(QStringLiteral("DO $$ BEGIN IF current_setting('application_name') <> 'quelmar test' "
                                              "THEN RAISE EXCEPTION 'wrong name'; END IF; END $$"));
             }),
             SiteBookError::Kind(-1));
}

void TestSiteBook::noTablesAsksForInit()
{
    m_url = m_fixture.newBook(false);
    QString message;
    QCOMPARE(kindOf([&] { SqlSiteBook book(m_url); }, &message), SiteBookError::Kind::Unavailable);
    QVERIFY2(message.contains(QLatin1String("site init")), qPrintable(message));
    QCOMPARE(kindOf([&] { SqlSiteBook book(m_url, BookUse::Read); }), SiteBookError::Kind::Unavailable);
    SqlSiteBook made(m_url, BookRoles{});
    QCOMPARE(made.version(), KnownVersion);
    SqlSiteBook book(m_url);
    QCOMPARE(sitesOf(book).size(), 0);
}
#else

void TestSiteBook::bookHoldsOneVersionRow()
{
    auto book = newBook();
    QCOMPARE(kindOf([&] {
                 book->execute(QStringLiteral("INSERT INTO book (one, version, oldest_writer) VALUES (2, 9, 9)"));
             }),
             SiteBookError::Kind::Unavailable);
    QCOMPARE(kindOf([&] { book->execute(QStringLiteral("INSERT INTO book (version, oldest_writer) VALUES (9, 9)")); }),
             SiteBookError::Kind::Unavailable);
    QCOMPARE(book->versionRecord(), std::make_pair(KnownVersion, KnownVersion));
    // A book whose version row is gone says so; it is never made again over itself.
    book->execute(QStringLiteral("DELETE FROM book"));
    book.reset();
    QString message;
    QCOMPARE(kindOf([&] { SqlSiteBook again(m_url); }, &message), SiteBookError::Kind::Unavailable);
    QCOMPARE(message, QStringLiteral("the site book %1 is damaged: its table book holds no version").arg(m_url));
}

// A window's reader and its actions open a new book at the same moment.
void TestSiteBook::twoMakeOneBookAtOnce()
{
    QStringList failures;
    std::mutex said;
    for (int round = 0; round < 20; ++round) {
        const QString url = m_fixture.newBook(false);
        const auto open = [&] {
            try {
                SqlSiteBook book(url);
            } catch (const SiteBookError &e) {
                const std::lock_guard lock(said);
                failures << QString::fromUtf8(e.what());
            }
        };
        std::thread first(open), second(open);
        first.join();
        second.join();
    }
    QVERIFY2(failures.isEmpty(), qPrintable(failures.join(QLatin1Char('\n'))));
}

void TestSiteBook::busyBookWaitsTenSeconds()
{
    auto book = newBook();
    const Site site = book->addSite(SiteDetails::named(QStringLiteral("Shop")));
    QElapsedTimer timer;
    QList<qint64> notices;
    setWaitNotice([&] { notices << timer.elapsed(); });
    const auto quiet = qScopeGuard([] { setWaitNotice({}); });
    SqlSiteBook holder(m_url);
    holder.execute(QStringLiteral("BEGIN IMMEDIATE"));
    timer.start();
    QString message;
    QCOMPARE(kindOf(
                 [&] {
                     book->record(site.id, {Operation::File, {}, QStringLiteral("x"), std::nullopt});
                 },
                 &message),
             SiteBookError::Kind::Unavailable);
    QVERIFY2(message.contains(QLatin1String("locked")) && timer.elapsed() >= 9500 && timer.elapsed() < 11500,
             qPrintable(message + QString::number(timer.elapsed())));
    QCOMPARE(notices.size(), 1); // said once, after a second
    QVERIFY2(notices.first() >= 950 && notices.first() < 2000, qPrintable(QString::number(notices.first())));
    holder.execute(QStringLiteral("ROLLBACK"));
    book->record(site.id, {Operation::File, {}, QStringLiteral("x"), std::nullopt});
    QCOMPARE(book->history(site.id).size(), 1);
}

void TestSiteBook::outputIsTheBook_data()
{
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("refusal");
    QTest::newRow("the book") << QStringLiteral("sites.sqlite")
                              << QStringLiteral("is the site book: choose another file");
    QTest::newRow("its wal") << QStringLiteral("sites.sqlite-wal")
                             << QStringLiteral("is the site book's wal file: choose another file");
    QTest::newRow("a hard link") << QStringLiteral("link.QM3")
                                 << QStringLiteral("is the site book: choose another file");
    QTest::newRow("a symbolic link") << QStringLiteral("symlink.QM3")
                                     << QStringLiteral("is the site book: choose another file");
    QTest::newRow("its journal, missing") << QStringLiteral("sites.sqlite-journal")
                                          << QStringLiteral("is the site book's journal file: choose another file");
    QTest::newRow("another file") << QStringLiteral("other.QM3") << QString();
}

void TestSiteBook::outputIsTheBook()
{
    QFETCH(QString, output);
    auto book = newBook();
    book->addSite(SiteDetails::named(QStringLiteral("Shop")));
    const QString folder = QFileInfo(m_url).absolutePath();
    QVERIFY(::link(QFile::encodeName(m_url).constData(),
                   QFile::encodeName(folder + QStringLiteral("/link.QM3")).constData())
            == 0);
    QVERIFY(QFile::link(m_url, folder + QStringLiteral("/symlink.QM3")));
    QFile(folder + QStringLiteral("/other.QM3")).open(QIODevice::WriteOnly);
    QTEST(outputIsBook(folder + QLatin1Char('/') + output, m_url), "refusal");
}
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
    // An empty file of 644 taken over as the book is made 600; a reading command never takes one.
    const QString taken = m_fixture.folder() + QStringLiteral("/taken.sqlite");
    QFile(taken).open(QIODevice::WriteOnly);
    QVERIFY(::chmod(QFile::encodeName(taken).constData(), 0644) == 0);
    QCOMPARE(kindOf([&] { SqlSiteBook book(taken, BookUse::Read); }), SiteBookError::Kind::NoBook);
    SqlSiteBook(taken).addSite(SiteDetails::named(QStringLiteral("Shop")));
    QCOMPARE(modeOf(taken), 0600);
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
    QTest::newRow("scheme in capitals") << QStringLiteral("POSTGRESQL://anna@localhost:5432/sites") << true
                                        << QStringLiteral("anna") << QStringLiteral("localhost") << 5432
                                        << QStringLiteral("sites") << true;
    QTest::newRow("libpq parameters") << QStringLiteral(
        "postgresql://db/sites?sslmode=verify-full&sslrootcert=/etc/"
        "ca.crt&connect_timeout=3&application_name=a%20b&service=office&target_session_attrs=read-write")
                                      << true << QStringLiteral("") << QStringLiteral("db") << -1
                                      << QStringLiteral("sites") << true;
    QTest::newRow("unknown parameter") << QStringLiteral("postgresql://db/sites?sslmod=require") << true
                                       << QStringLiteral("") << QStringLiteral("db") << -1 << QStringLiteral("sites")
                                       << false;
    QTest::newRow("password parameter") << QStringLiteral("postgresql://db/sites?password=secret") << true
                                        << QStringLiteral("") << QStringLiteral("db") << -1 << QStringLiteral("sites")
                                        << false;
    QTest::newRow("one slash") << QStringLiteral("postgresql:/anna@localhost/sites") << false << QStringLiteral("")
                               << QStringLiteral("") << -1 << QStringLiteral("") << false;
    QTest::newRow("misspelt scheme") << QStringLiteral("postgresq://anna@localhost/sites") << false
                                     << QStringLiteral("") << QStringLiteral("") << -1 << QStringLiteral("") << false;
    QTest::newRow("other scheme") << QStringLiteral("mysql://db/sites") << false << QStringLiteral("")
                                  << QStringLiteral("") << -1 << QStringLiteral("") << false;
    QTest::newRow("relative path") << QStringLiteral("rel.sqlite") << false << QStringLiteral("") << QStringLiteral("")
                                   << -1 << QStringLiteral("") << false;
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
    QVERIFY(!where.error.contains(QLatin1String("secret")));
    if (!where.postgres && where.error.isEmpty())
        QCOMPARE(where.path, url);
    if (QTest::currentDataTag() == QByteArray("libpq parameters"))
        QCOMPARE(
            connectOptions(where.parameters),
            QStringLiteral("sslmode='verify-full' sslrootcert='/etc/ca.crt' connect_timeout='3' application_name='a b' "
                           "service='office' target_session_attrs='read-write'"));
}

void TestSiteBook::networkFileSystems_data()
{
    QTest::addColumn<long>("type");
    QTest::addColumn<QString>("name");
    QTest::newRow("nfs") << 0x6969L << QStringLiteral("NFS");
    QTest::newRow("cifs") << long(0xFF534D42UL) << QStringLiteral("CIFS/SMB");
    QTest::newRow("smb2") << long(0xFE534D42UL) << QStringLiteral("CIFS/SMB");
    QTest::newRow("smb") << 0x517BL << QStringLiteral("CIFS/SMB");
    QTest::newRow("fuse (sshfs, gvfs, glusterfs)") << 0x65735546L << QStringLiteral("FUSE");
    QTest::newRow("9p") << 0x01021997L << QStringLiteral("9p");
    QTest::newRow("cephfs") << 0x00C36400L << QStringLiteral("CephFS");
    QTest::newRow("lustre") << 0x0BD00BD0L << QStringLiteral("Lustre");
    QTest::newRow("ext4") << 0xEF53L << QStringLiteral("");
    QTest::newRow("tmpfs") << 0x01021994L << QStringLiteral("");
}

void TestSiteBook::networkFileSystems()
{
    QFETCH(long, type);
    QTEST(networkFileSystemName(type), "name");
}


void TestSiteBook::backupWhileWriting()
{
    auto book = newBook();
    const Site site = book->addSite(SiteDetails::named(QStringLiteral("Bakery")), imageWith(1, 1));
    const QString file = m_fixture.folder() + QStringLiteral("/backup.sqlite");
    // Another program records meanwhile: the backup holds its exchanges whole or not at all.
    QProcess recorder;
    recorder.start(QStringLiteral(SITES_RECORDER), {m_url, QStringLiteral("Bakery"), QStringLiteral("300"), QStringLiteral("b")});
    QByteArray said;
    while (!said.contains("committed") && recorder.waitForReadyRead(10000))
        said += recorder.readAllStandardOutput();
    QVERIFY(said.contains("committed"));
    const BookCopy kept = backupSiteBook(m_url, file);
    QVERIFY(recorder.waitForFinished(60000));
    QCOMPARE(modeOf(file), 0600);
    QCOMPARE(kept.sites, 1);
    SqlSiteBook copy(file, BookUse::Read);
    QCOMPARE(copy.history(site.id).size(), kept.exchanges);
    QCOMPARE(rowsOf(file, QStringLiteral("sites")), rowsOf(m_url, QStringLiteral("sites")));
    QCOMPARE(rowsOf(file, QStringLiteral("exchanges")),
             rowsOf(m_url, QStringLiteral("exchanges")).mid(0, int(kept.exchanges)));
}

void TestSiteBook::backupNeverOverAFile_data()
{
    QTest::addColumn<QString>("there");
    QTest::newRow("a file") << QStringLiteral("file");
    QTest::newRow("a link to nothing") << QStringLiteral("dangling");
    QTest::newRow("the book") << QStringLiteral("book");
}

void TestSiteBook::backupNeverOverAFile()
{
    QFETCH(QString, there);
    auto book = newBook();
    book->addSite(SiteDetails::named(QStringLiteral("Bakery")));
    QString file = m_fixture.folder() + QStringLiteral("/kept-%1").arg(there);
    const QString planted = m_fixture.folder() + QStringLiteral("/planted-%1").arg(there);
    if (there == QLatin1String("file"))
        QVERIFY(QFile(file).open(QIODevice::WriteOnly));
    else if (there == QLatin1String("dangling"))
        QVERIFY(QFile::link(planted, file));
    else
        file = m_url;
    QCOMPARE(kindOf([&] { backupSiteBook(m_url, file); }), SiteBookError::Kind::Input);
    QVERIFY(!QFileInfo::exists(planted));
    QCOMPARE(sitesOf(*book).size(), 1);
}
#endif

void TestSiteBook::theReaderAnswersTheNewest()
{
    auto book = newBook();
    for (const char *name : {"Farm", "Mill", "Mine"})
        book->addSite(SiteDetails::named(QString::fromLatin1(name)));
    const Site farm = book->site(QStringLiteral("Farm"));
    book->record(farm.id, {Operation::Read, QStringLiteral("COM1"), QStringLiteral("complete"), imageWith(1, 1)});
    QStringList answers;
    const auto ask = [&](BookReader &reader, const char *text) {
        SiteQuery query;
        query.text = QString::fromLatin1(text);
        reader.list(
            query,
            [&answers, text](const BookReader::Page &page) {
                QStringList names;
                for (const SiteSummary &s : page.sites)
                    names << s.site.details.name;
                answers << QString::fromLatin1(text) + QLatin1Char(':') + names.join(QLatin1Char(','));
            },
            [&answers](const QString &why, bool opening) { answers << (opening ? "opening: " : "") + why; });
    };
    BookReader reader(m_url);
    // Asked one after another before any answer: only the last is answered.
    ask(reader, "mi");
    ask(reader, "farm");
    ask(reader, "min");
    QTRY_COMPARE(answers, QStringList{QStringLiteral("min:Mine")});
    QTest::qWait(50);
    QCOMPARE(answers.size(), 1);
    // The exchanges with what the list shows of their images, without them.
    QList<BookReader::ExchangeRow> rows;
    reader.exchanges(farm.id, -1, [&](const QList<BookReader::ExchangeRow> &read) { rows = read; }, {});
    QTRY_COMPARE(rows.size(), 1);
    QVERIFY(!rows.first().exchange.image);
    QCOMPARE(rows.first().summary, History::summaryOf(imageWith(1, 1)));
    // A book that cannot be opened is said as such.
    const QString blocker = m_fixture.folder() + QStringLiteral("/blocker");
    QVERIFY(QFile(blocker).open(QIODevice::WriteOnly));
    BookReader nowhere(BookFixture::Postgres ? QStringLiteral("postgresql:///quelmar_no_such_book")
                                             : blocker + QStringLiteral("/sites.sqlite"));
    answers.clear();
    ask(nowhere, "farm");
    QTRY_COMPARE(answers.size(), 1);
    QVERIFY2(answers.first().startsWith(QStringLiteral("opening: ")), qPrintable(answers.first()));
}

QTEST_GUILESS_MAIN(TestSiteBook)
#include "tst_sitebook.moc"
