// The status window: indicators after the module's status messages (sent as
// real frames through the codec and dispatcher), the "??" poll while shown,
// and its lifecycle.

#include "link/FrameCodec.h"
#include "link/LinkCipher.h"
#include "link/MessageDispatcher.h"
#include "link/SerialDetails.h"
#include "serial/PortIo.h"
#include "status/FormSignal.h"
#include "status/SignalChart.h"
#include "status/State.h"

#include "common/SaveDialogAnswer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

constexpr int Patience = 10000; // ms; the poll itself comes every 500 ms

// Serves queued bytes and records the texts written.
class FakePort : public PortIo
{
public:
    QByteArray queued;
    QByteArray written;
    bool connected = false;

    int ReadBytes(std::uint8_t *buffer, int n) override
    {
        const int count = std::min<int>(n, static_cast<int>(queued.size()));
        std::copy_n(queued.constData(), count, reinterpret_cast<char *>(buffer));
        queued.remove(0, count);
        return count;
    }
    int WriteBytes(const std::uint8_t *buffer, int n) override
    {
        written.append(reinterpret_cast<const char *>(buffer), n);
        return n;
    }
    int WriteText(const QByteArray &text) override
    {
        written.append(text);
        return static_cast<int>(text.size());
    }
    bool Connected() const override { return connected; }
};

QByteArray frame(const ModuleMessage &plain)
{
    LinkCipher cipher(LinkCipher::Direction::Encrypt);
    const Block16 secret = cipher.apply(plain);
    return '{' + QByteArray(reinterpret_cast<const char *>(secret.data()), 16) + '}';
}

ModuleMessage statusMessage(int flags, int level, int callState)
{
    ModuleMessage m{};
    m[0] = 0x5B;
    m[1] = 0x24;
    m[11] = static_cast<std::uint8_t>(flags);
    m[12] = static_cast<std::uint8_t>(level);
    m[13] = static_cast<std::uint8_t>(callState);
    m[14] = 0x77;
    m[15] = 0x5D;
    return m;
}

ModuleMessage longText(std::uint8_t type, const QByteArray &text)
{
    ModuleMessage m{};
    m[0] = 0x5B;
    m[1] = type;
    std::copy_n(text.constData(), std::min<qsizetype>(text.size(), 13), m.begin() + 2);
    m[15] = 0x5D;
    return m;
}

QColor colourOf(const QLabel *label)
{
    return label->palette().color(QPalette::WindowText);
}

} // namespace

class TestStateForm : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QApplication::setStyle(QStringLiteral("Fusion")); }
    void init();
    void cleanup();

    void startsBlank();
    void indicatorsFromStatusFrames_data();
    void indicatorsFromStatusFrames();
    void statusWhileHiddenShowsLater();
    void stateTextsReachMemoWhileHidden();
    void clearMessageWindow();
    void pollsOnlyWhileShown();
    void pollFollowsTheConnection();
    void closingStopsThePoll_data();
    void closingStopsThePoll();
    void recordsOneRowPerMessage();
    void staleStateGreysUntilAnAnswer();
    void recordingKeepsPollingWhileHidden();
    void recordingNamedWithoutSuffixGetsCsv();
    void signalHistoryWindow();

private:
    void receive(const ModuleMessage &message);
    int polls() const { return static_cast<int>(m_port.written.count("??\r")); }

    FakePort m_port;
    MessageDispatcher m_dispatcher;
    std::unique_ptr<FrameCodec> m_codec;
    std::unique_ptr<TStateForm> m_form;
    std::unique_ptr<TFormDetails> m_details;
};

void TestStateForm::init()
{
    m_port = FakePort();
    m_form = std::make_unique<TStateForm>();
    m_details = std::make_unique<TFormDetails>();
    m_details->setStateMemo(m_form->MemoState);
    m_dispatcher = MessageDispatcher();
    m_dispatcher.StatusWindow = m_form.get();
    m_dispatcher.Memos = m_details.get();
    m_codec = std::make_unique<FrameCodec>(m_port, [this](const ModuleMessage &m) { m_dispatcher.DispatchMessage(m); });
    m_form->SendText = [this](const QByteArray &text) { m_codec->SendText(text); };
}

void TestStateForm::cleanup()
{
    m_codec.reset();
    m_details.reset();
    m_form.reset();
}

void TestStateForm::receive(const ModuleMessage &message)
{
    m_port.queued += frame(message);
    m_codec->ComPort1RxChar(static_cast<int>(m_port.queued.size()));
}

void TestStateForm::startsBlank()
{
    QVERIFY(!m_form->isVisible());
    QVERIFY(!m_form->TimerState->isActive());
    QCOMPARE(m_form->TimerState->interval(), 500);
    for (const QLabel *label : {m_form->lbIN[0], m_form->lbIN[1], m_form->lbIN[2], m_form->lbIN[3],
                                m_form->lbLineVoltage, m_form->lbGSMLine})
        QCOMPARE(label->text(), QStringLiteral("."));
    QCOMPARE(m_form->lbGSMpowVal->text(), QStringLiteral("0"));
    QCOMPARE(m_form->pbTerero->value(), 0);
    QCOMPARE(m_form->pbTerero->maximum(), 31);
    QCOMPARE(m_form->size(), QSize(360, 349 + TStateForm::ExtraRowHeight));
}

void TestStateForm::indicatorsFromStatusFrames_data()
{
    QTest::addColumn<int>("flags");
    QTest::addColumn<int>("level");
    QTest::addColumn<int>("callState");
    QTest::addColumn<QString>("inputText");
    QTest::addColumn<QColor>("inputColour");
    QTest::addColumn<QString>("lineText");
    QTest::addColumn<QColor>("lineColour");
    QTest::addColumn<QString>("callText");
    QTest::addColumn<QColor>("callColour");
    QTest::addColumn<int>("bar");

    const QColor red(255, 0, 0), green(0, 128, 0), black(0, 0, 0);
    QTest::newRow("flags 0x1F, end of call, level 31")
        << 0x1F << 31 << 9 << "Short" << red << "Line Exists" << green << "End of call. 9" << green << 31;
    QTest::newRow("flags 0x00, state 7, level 99")
        << 0x00 << 99 << 7 << "Open" << black << "No Line" << red << ". 7" << black << 31;
    QTest::newRow("flags 0xE0, state 200, level 12")
        << 0xE0 << 12 << 200 << "Open" << black << "No Line" << red << ". 200" << black << 12;
}

void TestStateForm::indicatorsFromStatusFrames()
{
    QFETCH(int, flags);
    QFETCH(int, level);
    QFETCH(int, callState);
    QFETCH(QString, inputText);
    QFETCH(QColor, inputColour);

    m_form->show();
    receive(statusMessage(flags, level, callState));

    QCOMPARE(m_form->Status().StatusSpare, 0x77);
    for (const QLabel *label : m_form->lbIN) {
        QCOMPARE(label->text(), inputText);
        QCOMPARE(colourOf(label), inputColour);
    }
    QTEST(m_form->lbLineVoltage->text(), "lineText");
    QTEST(colourOf(m_form->lbLineVoltage), "lineColour");
    QTEST(m_form->lbGSMLine->text(), "callText");
    QTEST(colourOf(m_form->lbGSMLine), "callColour");
    QTEST(m_form->pbTerero->value(), "bar");
    QCOMPARE(m_form->lbGSMpowVal->text(), QString::number(level));
}

void TestStateForm::statusWhileHiddenShowsLater()
{
    receive(statusMessage(0x11, 18, 5));
    m_form->show();
    QCOMPARE(m_form->lbIN[0]->text(), QStringLiteral("Short"));
    QCOMPARE(m_form->lbIN[1]->text(), QStringLiteral("Open"));
    QCOMPARE(m_form->lbLineVoltage->text(), QStringLiteral("Line Exists"));
    QCOMPARE(m_form->lbGSMLine->text(), QStringLiteral("Incoming call in progress. 5"));
    QCOMPARE(m_form->lbGSMpowVal->text(), QStringLiteral("18"));
}

void TestStateForm::stateTextsReachMemoWhileHidden()
{
    QVERIFY(!m_details->isVisible());
    receive(longText(0x31, "GSM ready\r"));
    receive(longText(0x32, "Line lost\r"));
    receive(longText(0x33, "not for me\r")); // channel 3: details only
    QCOMPARE(m_form->MemoState->toPlainText(), QStringLiteral("GSM ready\nLine lost"));
    QVERIFY(m_details->Memo3->toPlainText().isEmpty());
}

void TestStateForm::clearMessageWindow()
{
    receive(longText(0x31, "first\r"));
    receive(longText(0x31, "second"));
    m_form->show();
    QTest::mouseClick(m_form->btClearMsg, Qt::LeftButton);
    QVERIFY(m_form->MemoState->toPlainText().isEmpty());
    // The line that was open continues: the mark is not touched.
    receive(longText(0x31, " part\r"));
    QCOMPARE(m_form->MemoState->toPlainText(), QStringLiteral(" part"));
    QVERIFY(m_details->LineEnded(MemoId::MemoState));
}

void TestStateForm::pollsOnlyWhileShown()
{
    m_port.connected = true;
    QTest::qWait(1200);
    QCOMPARE(polls(), 0);

    m_form->show();
    QTRY_VERIFY_WITH_TIMEOUT(polls() >= 2, Patience);
    QCOMPARE(m_port.written.size(), 3 * polls()); // "??" CR and nothing else

    m_form->hide();
    QVERIFY(!m_form->TimerState->isActive());
    const int before = polls();
    QTest::qWait(1200);
    QCOMPARE(polls(), before);
}

void TestStateForm::pollFollowsTheConnection()
{
    m_form->show();
    QTest::qWait(1200);
    QVERIFY(m_form->TimerState->isActive());
    QCOMPARE(polls(), 0);

    m_port.connected = true; // connected from the main window while shown
    QTRY_VERIFY_WITH_TIMEOUT(polls() >= 1, Patience);

    m_port.connected = false;
    const int before = polls();
    QTest::qWait(1200);
    QCOMPARE(polls(), before);
    QVERIFY(m_form->TimerState->isActive());
}

void TestStateForm::closingStopsThePoll_data()
{
    QTest::addColumn<bool>("button");
    QTest::newRow("btClose") << true;
    QTest::newRow("title bar") << false;
}

void TestStateForm::closingStopsThePoll()
{
    QFETCH(bool, button);
    m_port.connected = true;
    m_form->show();
    QTRY_VERIFY_WITH_TIMEOUT(polls() >= 1, Patience);
    receive(statusMessage(0x1F, 20, 2));

    if (button)
        QTest::mouseClick(m_form->btClose, Qt::LeftButton);
    else
        QVERIFY(m_form->close());
    QVERIFY(!m_form->isVisible());
    QVERIFY(!m_form->TimerState->isActive());
    const int before = polls();
    QTest::qWait(1200);
    QCOMPARE(polls(), before);

    // Hidden, not destroyed: showing it again shows the last state and polls.
    m_form->show();
    QCOMPARE(m_form->lbGSMLine->text(), QStringLiteral("Outgoing call in progress. 2"));
    QTRY_VERIFY_WITH_TIMEOUT(polls() > before, Patience);
}

void TestStateForm::recordsOneRowPerMessage()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("site.csv"));
    receive(statusMessage(0x10, 7, 0)); // before the recording: not in the file
    m_form->AskRecordFile = [&path] { return path; };
    QTest::mouseClick(m_form->btRecord, Qt::LeftButton);
    QCOMPARE(m_form->btRecord->text(), QStringLiteral("Stop recording"));

    receive(statusMessage(0x11, 23, 9));
    receive(longText(0x31, "Alarm IN1, z"));
    receive(longText(0x31, "one 2\r"));
    receive(statusMessage(0x10, 25, 4));
    QTest::mouseClick(m_form->btRecord, Qt::LeftButton);
    QCOMPARE(m_form->btRecord->text(), QStringLiteral("Record to file"));
    receive(statusMessage(0x10, 9, 0)); // after it: not in the file either

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList rows = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(rows.size(), 4);
    QCOMPARE(rows[0], StatusCsv::header());
    const auto afterTime = [](const QString &row) { return row.section(QLatin1Char(','), 1); };
    QCOMPARE(afterTime(rows[1]), QStringLiteral("Short,Open,Open,Open,Line Exists,9,End of call.,23,"));
    QCOMPARE(afterTime(rows[2]), QStringLiteral(",,,,,,,,\"Alarm IN1, zone 2\""));
    QCOMPARE(afterTime(rows[3]),
             QStringLiteral("Open,Open,Open,Open,Line Exists,4,\"Incoming call, waiting for pick up.\",25,"));
    const QDateTime stamped = QDateTime::fromString(rows[1].section(QLatin1Char(','), 0, 0), Qt::ISODateWithMs);
    QVERIFY(stamped.isValid());
    QVERIFY(qAbs(stamped.secsTo(QDateTime::currentDateTime())) < 60);
}

void TestStateForm::staleStateGreysUntilAnAnswer()
{
    m_port.connected = true;
    m_form->show();
    receive(statusMessage(0x1F, 20, 2));
    QElapsedTimer clock;
    clock.start();
    const QColor grey(128, 128, 128);
    QCOMPARE(colourOf(m_form->lbIN[0]), QColor(255, 0, 0));
    QVERIFY(m_form->lbNoAnswer->text().isEmpty());

    // The poll goes on unanswered, as with the cable pulled.
    QTRY_VERIFY_WITH_TIMEOUT(m_form->isStale(), Patience);
    QVERIFY2(clock.elapsed() >= TStateForm::AnswerPatience, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(polls() >= 5);
    QCOMPARE(m_form->lbNoAnswer->text(),
             QStringLiteral(" No answer since %1.").arg(m_form->lastStatusTime().toString(QStringLiteral("HH:mm:ss"))));
    for (const QLabel *label : {m_form->lbIN[0], m_form->lbIN[3], m_form->lbLineVoltage, m_form->lbGSMLine})
        QCOMPARE(colourOf(label), grey);
    QCOMPARE(m_form->lbIN[0]->text(), QStringLiteral("Short")); // the last values stay readable
    QVERIFY(!m_form->pbTerero->isEnabled());

    // Until a status message arrives.
    receive(statusMessage(0x01, 21, 0));
    QVERIFY(!m_form->isStale());
    QVERIFY(m_form->lbNoAnswer->text().isEmpty());
    QCOMPARE(colourOf(m_form->lbIN[0]), QColor(255, 0, 0));
    QCOMPARE(colourOf(m_form->lbIN[1]), QColor(0, 0, 0));
    QVERIFY(m_form->pbTerero->isEnabled());
}

void TestStateForm::recordingKeepsPollingWhileHidden()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("site.csv"));
    m_port.connected = true;
    m_form->show();
    m_form->AskRecordFile = [&path] { return path; };
    QTest::mouseClick(m_form->btRecord, Qt::LeftButton);
    QTest::mouseClick(m_form->btClose, Qt::LeftButton);
    QVERIFY(!m_form->isVisible());

    // Hidden, the recording still polls and gets its rows.
    const int hiddenAt = polls();
    QTRY_VERIFY_WITH_TIMEOUT(polls() >= hiddenAt + 2, Patience);
    receive(statusMessage(0x10, 17, 0));
    m_form->stopRecording();
    QVERIFY(!m_form->TimerState->isActive());
    const int stoppedAt = polls();
    QTest::qWait(1200);
    QCOMPARE(polls(), stoppedAt);

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList rows = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows[1].section(QLatin1Char(','), 1), QStringLiteral("Open,Open,Open,Open,Line Exists,0,Normal state.,17,"));
}

void TestStateForm::recordingNamedWithoutSuffixGetsCsv()
{
    QTemporaryDir dir;
    m_form->show();
    answerSaveDialog(this, dir.filePath(QStringLiteral("site")));
    QTest::mouseClick(m_form->btRecord, Qt::LeftButton);
    m_form->stopRecording();
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("site.csv")});
}

void TestStateForm::signalHistoryWindow()
{
    // Samples are kept while no window is shown.
    for (int level : {18, 25, 21, 22})
        receive(statusMessage(0x10, level, 0));
    QCOMPARE(m_form->signalHistory.size(), std::size_t{4});
    QTest::mouseClick(m_form->btSignalHistory, Qt::LeftButton);
    TFormSignal *window = m_form->FormSignal;
    QVERIFY(window->isVisible());
    QCOMPARE(window->windowTitle(), QStringLiteral("Quelmar5 - Signal history"));
    QCOMPARE(window->lbSignalNow->text(), QStringLiteral("Now 22"));
    QCOMPARE(window->lbSignalMin->text(), QStringLiteral("Min 18"));
    QCOMPARE(window->lbSignalMax->text(), QStringLiteral("Max 25"));
    QCOMPARE(window->lbSignalAvg->text(), QStringLiteral("Average 21.5"));
    QVERIFY(!window->chSignal->accessibleName().isEmpty());
    QCOMPARE(window->chSignal->accessibleDescription(),
             QStringLiteral("Now 22, min 18, max 25, average 21.5, from 4 status messages"));

    // A new message shows within a redraw delay.
    receive(statusMessage(0x10, 30, 0));
    QTRY_COMPARE_WITH_TIMEOUT(window->lbSignalNow->text(), QStringLiteral("Now 30"), Patience);
    QCOMPARE(window->lbSignalMax->text(), QStringLiteral("Max 30"));
}

QTEST_MAIN(TestStateForm)
#include "tst_stateform.moc"
