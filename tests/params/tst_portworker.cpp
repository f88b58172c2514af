// Several jobs at once on threads of their own: an error escaping one job
// and a thread that cannot start end only that job, and the run returns.

#include "params/PortWorker.h"

#include "common/QuelmarError.h"

#include <QtTest>

#include <atomic>

class TestPortWorker : public QObject
{
    Q_OBJECT

private slots:
    void eachJobEndsOnItsOwn_data();
    void eachJobEndsOnItsOwn();
};

void TestPortWorker::eachJobEndsOnItsOwn_data()
{
    QTest::addColumn<int>("throwing"); // the job that throws; -1: none
    QTest::addColumn<bool>("other");   // it throws something not derived from std::exception
    QTest::addColumn<uint>("stackSize");
    QTest::addColumn<QStringList>("failures");
    const QString none;
    QTest::newRow("all end") << -1 << false << 0u << QStringList{none, none, none};
    QTest::newRow("the second throws") << 1 << false << 0u
                                       << QStringList{none, QStringLiteral("AES-128 is not available"), none};
    QTest::newRow("the third throws something else")
        << 2 << true << 0u << QStringList{none, none, QStringLiteral("an unknown error ended the operation")};
    // Below the system's smallest stack: no thread starts.
    const QString notStarted = QStringLiteral("the system could not start a thread for it");
    QTest::newRow("no thread starts") << -1 << false << 1u << QStringList{notStarted, notStarted, notStarted};
}

void TestPortWorker::eachJobEndsOnItsOwn()
{
    QFETCH(int, throwing);
    QFETCH(bool, other);
    QFETCH(uint, stackSize);
    QFETCH(QStringList, failures);
    if (stackSize > 0)
        for (int i = 0; i < failures.size(); ++i)
            QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("^QThread::start: ")));
    std::atomic<int> ended{0};
    const auto job = [&](int i) {
        if (i == throwing) {
            if (other)
                throw 42;
            throw QuelmarError(QStringLiteral("AES-128 is not available"));
        }
        ++ended;
    };
    QCOMPARE(runConcurrently(int(failures.size()), job, {}, 100, stackSize), failures);
    QCOMPARE(ended.load(), int(failures.count(QString())));
}

QTEST_GUILESS_MAIN(TestPortWorker)
#include "tst_portworker.moc"
