// The history store: entry names, listing, the limit, folders that cannot be
// written, and names planted in the folder.

#include "params/FieldModel.h"
#include "params/History.h"
#include "params/ParameterFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

namespace {

ImageBytes imageWith(const QString &user1, const QString &apn)
{
    ImageBytes image;
    image.fill(0xFF);
    FieldModel::store(image, *FieldModel::findField(u"USER1"), user1);
    FieldModel::store(image, *FieldModel::findField(u"APN"), apn);
    return image;
}

QDateTime at(int day, int seconds)
{
    return QDateTime(QDate(2026, 3, day), QTime(0, 0).addSecs(seconds));
}

} // namespace

class TestHistory : public QObject
{
    Q_OBJECT

private slots:
    void names_data();
    void names();
    void keepListsNewestFirst();
    void theNewestAreKept();
    void unwritableFolder_data();
    void unwritableFolder();
    void plantedNamesAreNeitherFollowedNorOpened();
};

void TestHistory::names_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("operation");
    QTest::addColumn<QString>("port");
    QTest::addColumn<int>("sequence");
    QTest::newRow("read") << "20260301-093015-read-COM3.QM3" << true << int(Operation::Read) << "COM3" << 1;
    QTest::newRow("write, second of its second")
        << "20260301-093015-write-COM12-2.QM3" << true << int(Operation::Write) << "COM12" << 2;
    QTest::newRow("backup") << "20261231-235959-backup-COM1.QM3" << true << int(Operation::Backup) << "COM1"
                            << 1;
    QTest::newRow("other operation") << "20260301-093015-edit-COM3.QM3" << false << 0 << "" << 0;
    QTest::newRow("no such date") << "20260231-093015-read-COM3.QM3" << false << 0 << "" << 0;
    QTest::newRow("a user's own file") << "site.QM3" << false << 0 << "" << 0;
    QTest::newRow("temporary file") << ".quelmar-12-0.tmp" << false << 0 << "" << 0;
}

void TestHistory::names()
{
    QFETCH(QString, name);
    QFETCH(bool, valid);
    History::Entry e;
    QCOMPARE(History::parseName(name, e), valid);
    if (!valid)
        return;
    QFETCH(int, operation);
    QFETCH(QString, port);
    QFETCH(int, sequence);
    QCOMPARE(int(e.operation), operation);
    QCOMPARE(e.port, port);
    QCOMPARE(e.sequence, sequence);
    // The name is made back from its parts, so parsing and naming agree.
    QCOMPARE(History::entryName(e.when, e.operation, e.port, e.sequence), name);
}

void TestHistory::keepListsNewestFirst()
{
    QTemporaryDir tmp;
    const History::Store store(tmp.filePath(QStringLiteral("data/quelmar/history")));
    const ImageBytes first = imageWith(QStringLiteral("0612345678"), QStringLiteral("internet"));
    const ImageBytes second = imageWith(QString(), QStringLiteral("web.example"));

    const History::Kept a = store.keep(first, Operation::Read, QStringLiteral("COM3"), at(1, 10));
    const History::Kept b = store.keep(second, Operation::Write, QStringLiteral("COM3"), at(1, 10));
    const History::Kept c = store.keep(second, Operation::Write, QStringLiteral("COM3"), at(1, 10));
    QVERIFY2(a.ok() && b.ok() && c.ok(), qPrintable(a.error + b.error + c.error));
    QCOMPARE(History::outcomeNote(a), QString());

    const QList<History::Entry> list = store.entries();
    QCOMPARE(list.size(), 3);
    // Same second: the later write first, then the first write, then the read by its name.
    QCOMPARE(list.at(0).name, QStringLiteral("20260301-000010-write-COM3-2.QM3"));
    QCOMPARE(list.at(1).name, QStringLiteral("20260301-000010-write-COM3.QM3"));
    QCOMPARE(list.at(2).name, QStringLiteral("20260301-000010-read-COM3.QM3"));

    ImageBytes loaded;
    QVERIFY(ParameterFile::load(list.at(2).path, loaded).ok);
    QVERIFY(loaded == first);
    QCOMPARE(QFileInfo(list.at(2).path).size(), 1088);
    QCOMPARE(History::summaryOf(loaded), QStringLiteral("USER1 0612345678, APN internet"));
    QCOMPARE(History::summaryOf(second), QStringLiteral("USER1 (none), APN web.example"));
}

void TestHistory::theNewestAreKept()
{
    QTemporaryDir tmp;
    const History::Store store(tmp.path());
    ImageBytes image;
    image.fill(0xFF);
    // A full history of older entries, and a file of the user's own that is not one.
    for (int k = 0; k < History::Limit; ++k)
        QVERIFY(ParameterFile::save(
                    tmp.filePath(History::entryName(at(1, k), Operation::Read, QStringLiteral("COM1"))), image)
                    .ok);
    QVERIFY(ParameterFile::save(tmp.filePath(QStringLiteral("site.QM3")), image).ok);

    const History::Kept kept = store.keep(image, Operation::Backup, QStringLiteral("COM2"), at(2, 0));
    QVERIFY(kept.ok());
    const QList<History::Entry> list = store.entries();
    QCOMPARE(list.size(), History::Limit);
    QCOMPARE(list.first().path, kept.path);
    QCOMPARE(list.last().when, at(1, 1)); // only the oldest went
    QVERIFY(!QFile::exists(tmp.filePath(History::entryName(at(1, 0), Operation::Read, QStringLiteral("COM1")))));
    QVERIFY(QFile::exists(tmp.filePath(QStringLiteral("site.QM3"))));
}

void TestHistory::unwritableFolder_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("reason");
    // Root may write anywhere, so these are folders that no user can create.
    QTest::newRow("under a file") << "blocker/history" << "Invalid filename";
    QTest::newRow("a file in its place") << "blocker" << "Invalid filename";
    QTest::newRow("no name") << "/proc/self/history" << "File not found";
}

void TestHistory::unwritableFolder()
{
    QFETCH(QString, folder);
    QFETCH(QString, reason);
    QTemporaryDir tmp;
    QVERIFY(ParameterFile::save(tmp.filePath(QStringLiteral("blocker")), ImageBytes{}).ok);
    const QString path = folder.startsWith(QLatin1Char('/')) ? folder : tmp.filePath(folder);
    const History::Store store(path);
    ImageBytes image;
    const History::Kept kept = store.keep(image, Operation::Read, QStringLiteral("COM1"));
    QVERIFY(!kept.ok());
    QVERIFY(kept.path.isEmpty());
    QCOMPARE(kept.error, reason);
    QCOMPARE(History::outcomeNote(kept), QStringLiteral(" History not saved: %1.").arg(reason));
    QVERIFY(store.entries().isEmpty());
}

// A link at an entry's name and a FIFO as an outcome record: the new entry
// takes the next name, the listing neither follows nor waits.
void TestHistory::plantedNamesAreNeitherFollowedNorOpened()
{
    QTemporaryDir tmp;
    const History::Store store(tmp.filePath(QStringLiteral("history")));
    QVERIFY(QDir().mkdir(store.folder()));
    const QDir dir(store.folder());
    const QString elsewhere = tmp.filePath(QStringLiteral("elsewhere.QM3"));
    const QString taken = dir.filePath(History::entryName(at(1, 0), Operation::Read, QStringLiteral("COM1")));
    QCOMPARE(::symlink(QFile::encodeName(elsewhere).constData(), QFile::encodeName(taken).constData()), 0);
    const QString older = dir.filePath(History::entryName(at(1, 0), Operation::Write, QStringLiteral("COM1")));
    QVERIFY(ParameterFile::save(older, ImageBytes{}).ok);
    const QString record = dir.filePath(QLatin1Char('.') + QFileInfo(older).fileName() + QStringLiteral(".outcome"));
    QCOMPARE(::mkfifo(QFile::encodeName(record).constData(), 0600), 0);

    const History::Kept kept = store.keep(ImageBytes{}, Operation::Read, QStringLiteral("COM1"), at(1, 0),
                                          QStringLiteral("Verify: done."));
    QVERIFY2(kept.ok(), qPrintable(kept.error));
    QCOMPARE(QFileInfo(kept.path).fileName(), QStringLiteral("20260301-000000-read-COM1-2.QM3"));
    QVERIFY(!QFileInfo::exists(elsewhere));
    const QList<History::Entry> list = store.entries();
    QCOMPARE(list.size(), 2); // the link is no entry
    QCOMPARE(list.at(0).path, kept.path);
    QCOMPARE(list.at(0).outcome, QStringLiteral("Verify: done."));
    QCOMPARE(list.at(1).path, older);
    QCOMPARE(list.at(1).outcome, QString());
}

QTEST_GUILESS_MAIN(TestHistory)
#include "tst_history.moc"
