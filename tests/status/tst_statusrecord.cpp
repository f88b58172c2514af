// The signal samples' window arithmetic and the state as CSV rows.

#include "status/SignalHistory.h"
#include "status/StatusCsv.h"

#include <QTemporaryDir>
#include <QThread>
#include <QTest>

#include <cerrno>
#include <cstring>

namespace {

constexpr qint64 Minute = SignalHistory::MinuteMs;
using Samples = QList<QPair<double, int>>;

QStringList fileLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

} // namespace

class TestStatusRecord : public QObject
{
    Q_OBJECT

private slots:
    void summaryOverTheLastTenMinutes_data();
    void summaryOverTheLastTenMinutes();
    void samplesOlderThanADayAreDropped();
    void timeNeverRunsBackwards();
    void statusRows_data();
    void statusRows();
    void stateTextRowsPerLine();
    void moduleTextsCannotRunInASpreadsheet_data();
    void moduleTextsCannotRunInASpreadsheet();
    void recorderAppendsAfterOneHeader();
    void failedSyncGivesTheSystemsReason();
};

void TestStatusRecord::summaryOverTheLastTenMinutes_data()
{
    // Samples as (minutes before now, level); now is 60 minutes in.
    QTest::addColumn<Samples>("samples");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("now");
    QTest::addColumn<int>("min");
    QTest::addColumn<int>("max");
    QTest::addColumn<double>("average");

    QTest::newRow("none") << Samples{} << 0 << 0 << 0 << 0 << 0.0;
    QTest::newRow("all inside") << Samples{{9, 18}, {5, 25}, {0.5, 23}} << 3 << 23 << 18 << 25
                                << 22.0;
    // An old low and high do not count; exactly ten minutes old has left.
    QTest::newRow("older ones left out") << Samples{{30, 2}, {10, 31}, {9.99, 20}, {1, 21}} << 2
                                         << 21 << 20 << 21 << 20.5;
    QTest::newRow("only old ones") << Samples{{15, 9}, {11, 12}} << 0 << 0 << 0 << 0 << 0.0;
    QTest::newRow("average 21.4") << Samples{{5, 18}, {4, 25}, {3, 21}, {2, 22}, {1, 21}} << 5
                                  << 21 << 18 << 25 << 21.4;
}

void TestStatusRecord::summaryOverTheLastTenMinutes()
{
    QFETCH(Samples, samples);
    constexpr qint64 nowMs = 60 * Minute;
    SignalHistory history;
    for (const auto &[minutesAgo, level] : samples)
        history.add(nowMs - static_cast<qint64>(minutesAgo * Minute), level);
    const SignalHistory::Summary s = history.summary(nowMs);
    QTEST(s.count, "count");
    QCOMPARE(history.window(nowMs).size(), static_cast<std::size_t>(s.count));
    if (s.count == 0)
        return;
    QTEST(s.now, "now");
    QTEST(s.min, "min");
    QTEST(s.max, "max");
    QFETCH(double, average);
    QVERIFY2(qAbs(s.average - average) < 1e-9, qPrintable(QString::number(s.average)));
}

void TestStatusRecord::samplesOlderThanADayAreDropped()
{
    SignalHistory history;
    // One sample a minute for 25 hours: the first hour's have gone, oldest first.
    for (qint64 m = 0; m < 25 * 60; ++m)
        history.add(m * Minute, static_cast<int>(m % 32));
    QCOMPARE(history.size(), std::size_t{24 * 60});
    QCOMPARE(history.oldest().timeMs, 60 * Minute);
    QCOMPARE(history.oldest().level, 60 % 32);
}

void TestStatusRecord::timeNeverRunsBackwards()
{
    SignalHistory history;
    history.add(5 * Minute, 10);
    history.add(2 * Minute, 30); // counts as arriving at 5 minutes
    const auto samples = history.window(6 * Minute);
    QCOMPARE(samples.size(), std::size_t{2});
    QCOMPARE(samples.back().timeMs, 5 * Minute);
    QCOMPARE(history.summary(6 * Minute).now, 30);
}

void TestStatusRecord::statusRows_data()
{
    QTest::addColumn<int>("flags");
    QTest::addColumn<int>("level");
    QTest::addColumn<int>("callState");
    QTest::addColumn<QString>("row");

    QTest::newRow("line, inputs open") << 0x10 << 23 << 0 << "Open,Open,Open,Open,Line Exists,0,Normal state.,23,";
    QTest::newRow("IN1 and IN4 short, no line")
        << 0x09 << 5 << 9 << "Short,Open,Open,Short,No Line,9,End of call.,5,";
    // The text holds a comma, so it is quoted.
    QTest::newRow("quoted text") << 0x1F << 31 << 4
                                 << "Short,Short,Short,Short,Line Exists,4,\"Incoming call, waiting for pick up.\",31,";
    QTest::newRow("unknown state, level beyond the bar") << 0xE0 << 99 << 200 << "Open,Open,Open,Open,No Line,200,.,99,";
}

void TestStatusRecord::statusRows()
{
    QFETCH(int, flags);
    QFETCH(int, level);
    QFETCH(int, callState);
    QFETCH(QString, row);
    const QDateTime time(QDate(2024, 5, 1), QTime(12, 30, 5, 250), Qt::OffsetFromUTC, 2 * 3600);
    const StatusFields fields{static_cast<std::uint8_t>(flags), static_cast<std::uint8_t>(level),
                              static_cast<std::uint8_t>(callState), 0};
    QCOMPARE(StatusCsv::statusRow(time, fields), QStringLiteral("2024-05-01T12:30:05.250+02:00,") + row);
}

void TestStatusRecord::stateTextRowsPerLine()
{
    StateTextLines lines;
    QCOMPARE(lines.add(u"GSM re"), QStringList());
    QCOMPARE(lines.add(u"ady\r\nSMS \"x\", sent\r"), (QStringList{"GSM ready", "SMS \"x\", sent"}));
    QCOMPARE(lines.add(u"\r\r"), QStringList()); // no empty rows
    const QDateTime utc(QDate(2024, 1, 2), QTime(3, 4, 5), Qt::UTC);
    QCOMPARE(StatusCsv::textRow(utc, QStringLiteral("SMS \"x\", sent")),
             QStringLiteral("2024-01-02T03:04:05.000+00:00,,,,,,,,,\"SMS \"\"x\"\", sent\""));
}

void TestStatusRecord::moduleTextsCannotRunInASpreadsheet_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("cell");
    QTest::newRow("formula") << "=HYPERLINK(\"http://x\")"
                             << "\"'=HYPERLINK(\"\"http://x\"\")\"";
    QTest::newRow("minus") << "-5 dBm"
                           << "'-5 dBm";
    QTest::newRow("at") << "@SUM(A1)"
                        << "'@SUM(A1)";
    QTest::newRow("terminal escape") << "GSM\x1b[2J ready"
                                     << "GSM\\u001b[2J ready";
    QTest::newRow("plain") << "GSM ready"
                           << "GSM ready";
}

// The recording and status --csv share the row: a module text opens as text.
void TestStatusRecord::moduleTextsCannotRunInASpreadsheet()
{
    QFETCH(QString, text);
    QFETCH(QString, cell);
    const QDateTime utc(QDate(2024, 1, 2), QTime(3, 4, 5), Qt::UTC);
    QCOMPARE(StatusCsv::textRow(utc, text), QStringLiteral("2024-01-02T03:04:05.000+00:00,,,,,,,,,") + cell);
}

void TestStatusRecord::recorderAppendsAfterOneHeader()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("site.csv"));
    const QDateTime t = QDateTime::currentDateTime();
    for (int round = 0; round < 2; ++round) {
        StatusRecorder recorder;
        QVERIFY(recorder.start(path, nullptr));
        QVERIFY(recorder.addStatus(t, StatusFields{0x10, static_cast<std::uint8_t>(20 + round), 0, 0}));
        QVERIFY(recorder.addText(t, u"Ready\r"));
        // Each row is on the system's side at once, before any stop.
        QCOMPARE(fileLines(path).size(), 1 + 2 * (round + 1));
    }
    const QStringList lines = fileLines(path);
    QCOMPARE(lines.first(), StatusCsv::header());
    QCOMPARE(lines.count(StatusCsv::header()), 1);
    QVERIFY(lines[1].endsWith(QStringLiteral(",20,")));
    QVERIFY(lines[3].endsWith(QStringLiteral(",21,")));
    QVERIFY(lines[4].endsWith(QStringLiteral(",,,,,,,,,Ready")));

    StatusRecorder refused;
    QString error;
    QVERIFY(!refused.start(dir.filePath(QStringLiteral("no/such/folder.csv")), &error));
    QVERIFY(error.contains(QStringLiteral("folder.csv")));
    QVERIFY(refused.addStatus(t, StatusFields{})); // not recording: nothing to fail
}

void TestStatusRecord::failedSyncGivesTheSystemsReason()
{
    // /dev/null takes every row but cannot be synced (EINVAL), a failure QFile never sees.
    StatusRecorder recorder;
    QVERIFY(recorder.start(QStringLiteral("/dev/null"), nullptr));
    QThread::msleep(StatusRecorder::SyncIntervalMs + 50);
    QVERIFY(!recorder.addStatus(QDateTime::currentDateTime(), StatusFields{}));
    QCOMPARE(recorder.errorString(), QStringLiteral("/dev/null: ") + QString::fromLocal8Bit(std::strerror(EINVAL)));
    QVERIFY(!recorder.isRecording());
}

QTEST_GUILESS_MAIN(TestStatusRecord)
#include "tst_statusrecord.moc"
