// The module goes away in the middle of a read and of a write: the simulator
// process hangs up its line after a given number of frames. The started
// program must keep its event loop running, end the operation with its
// failure outcome, show the port as unavailable, fall back to idle, and work
// again once a new simulator is on the same port name and the port is opened
// again.

#include "main/ShellFixture.h"

#include "params/Download.h"
#include "params/ImageState.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <memory>

namespace {

const QString Port = QStringLiteral("COM91");
const QString Unavailable = QStringLiteral(" Error: COM port not available!");
const QColor Green(0, 128, 0);
const QColor Red(255, 0, 0);

// Idle is far below this: a few timer wake-ups per second.
constexpr double IdleCpuLimitMs = 100.0;
// The loop's own probe fires every 10 ms; a gap this long means it stalled.
constexpr int ProbeMs = 10;
constexpr qint64 StallLimitMs = 1000;

QByteArray patternImage()
{
    QByteArray image(1088, '\0');
    for (int i = 0; i < 960; ++i)
        image[i] = static_cast<char>(i * 11 + i / 64 + 1);
    return image;
}

QByteArray imageBytes()
{
    return QByteArray(reinterpret_cast<const char *>(ParameterImage.data()), 1088);
}

double cpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval &t) { return t.tv_sec * 1000.0 + t.tv_usec / 1000.0; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// Watches the event loop and the main window while an operation runs.
class Probe : public QObject
{
public:
    explicit Probe(QProcess &sim)
    {
        m_clock.start();
        connect(&sim, &QProcess::finished, this, [this] { hangupSeenMs = m_clock.elapsed(); });
        connect(&m_timer, &QTimer::timeout, this, [this] {
            const qint64 now = m_clock.elapsed();
            longestGapMs = std::max(longestGapMs, now - m_last);
            m_last = now;
            ++ticks;
            if (openFailedMs < 0 && MainForm->statusText() == Unavailable)
                openFailedMs = now;
        });
        m_timer.start(ProbeMs);
    }

    qint64 elapsed() const { return m_clock.elapsed(); }
    void stop() { m_timer.stop(); }

    qint64 longestGapMs = 0;
    int ticks = 0;
    qint64 hangupSeenMs = -1; // the simulator's exit, right after it closed the line
    qint64 openFailedMs = -1; // the main window first showed the port as unavailable

private:
    QElapsedTimer m_clock;
    QTimer m_timer;
    qint64 m_last = 0;
};

} // namespace

class TestUnplug : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase() { m_fixture.tearDown(); }
    void init() { QVERIFY(ShellFixture::startAndWait()); }
    void cleanup();

    void hangUpDuringOperation_data();
    void hangUpDuringOperation();

private:
    void startSimulator(const QStringList &extra);
    void connectPort();
    static void verifyButtons(bool connect, bool disconnect, bool status, bool parameterSetting);
    bool transferButtonsEnabled() const;
    QColor barColour() const { return FormDownload->Progress->palette().color(QPalette::Highlight); }

    ShellFixture m_fixture;
    SimulatorProcess m_sim{QStringLiteral(QUELMAR_MODULE_SIM)};
    QString m_imagePath;
    QStringList m_messages;
    QStringList m_errors;
};

void TestUnplug::initTestCase()
{
    QVERIFY(m_fixture.setUp());
    m_imagePath = m_fixture.workPath(QStringLiteral("module.qm3"));
    QFile file(m_imagePath);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(patternImage()), qint64(1088));
}

void TestUnplug::cleanup()
{
    shutDown();
    m_sim.stop();
}

void TestUnplug::startSimulator(const QStringList &extra)
{
    const QString error = m_sim.start(Port, QStringList{"--no-pacing", "--image", m_imagePath} + extra);
    QVERIFY2(error.isEmpty(), qPrintable(error));
}

void TestUnplug::verifyButtons(bool connect, bool disconnect, bool status, bool parameterSetting)
{
    QCOMPARE(MainForm->btConnect->isEnabled(), connect);
    QCOMPARE(MainForm->btDisconnect->isEnabled(), disconnect);
    QCOMPARE(MainForm->btStatus->isEnabled(), status);
    QCOMPARE(MainForm->btParameterSetting->isEnabled(), parameterSetting);
}

bool TestUnplug::transferButtonsEnabled() const
{
    const QList<QPushButton *> buttons{FormDownload->btOpen,  FormDownload->btSave,    FormDownload->btRead,
                                       FormDownload->btWrite, FormDownload->btCompare, FormDownload->btEdit,
                                       FormDownload->btClose};
    return std::all_of(buttons.begin(), buttons.end(), [](QPushButton *b) { return b->isEnabled(); });
}

void TestUnplug::connectPort()
{
    QTest::mouseClick(MainForm->btConnect, Qt::LeftButton);
    QCOMPARE(MainForm->statusText(), QStringLiteral(" Serial connection OK."));
    verifyButtons(false, true, true, true);
}

void TestUnplug::hangUpDuringOperation_data()
{
    QTest::addColumn<bool>("write");
    QTest::addColumn<int>("frames");   // sent before the line closes
    QTest::addColumn<int>("position"); // blocks done when it closes
    // A read answer is seven frames: 24 ends the line inside block 3's answer.
    QTest::newRow("read") << false << 24 << 3;
    // A write answer is one acknowledgement: the line closes after block 4's.
    QTest::newRow("write") << true << 5 << 5;
}

void TestUnplug::hangUpDuringOperation()
{
    QFETCH(bool, write);
    QFETCH(int, frames);
    QFETCH(int, position);

    QVERIFY(FormDownload);
    m_messages.clear();
    m_errors.clear();
    FormDownload->MessageBox = [this](const QString &text) { m_messages << text; };
    FormDownload->ErrorBox = [this](const QString &text) { m_errors << text; };

    startSimulator({"--fault", QStringLiteral("hangup-after=%1").arg(frames)});
    MainForm->ComPort1.setPort(Port);
    connectPort();
    QTest::mouseClick(MainForm->btParameterSetting, Qt::LeftButton);
    QVERIFY(FormDownload->isVisible());

    QByteArray image(1088, '\x5C');
    std::copy_n(image.constData(), 1088, reinterpret_cast<char *>(ParameterImage.data()));
    parameterImageState().loadedFromFile(QStringLiteral("set.QM3")); // as "Read from File" leaves it

    Probe probe(*m_sim.process());
    (write ? FormDownload->btWrite : FormDownload->btRead)->click();
    const qint64 endedMs = probe.elapsed();

    // The operation ended with its failure outcome.
    QVERIFY(transferButtonsEnabled());
    QCOMPARE(FormDownload->Progress->value(), position);
    QCOMPARE(imageBytes(), image);
    QVERIFY(m_messages.isEmpty());
    QCOMPARE(barColour(), Red);
    if (write) {
        // The last block's frames normally go out before the line closes and
        // go unanswered; on a stalled machine the port may already be closed
        // by then, and the send reports that once.
        QVERIFY2(m_errors.size() <= 1, qPrintable(m_errors.join('|')));
    } else {
        QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join('|')));
    }

    // The main window shows the port as gone, the buttons as disconnected.
    QTRY_COMPARE_WITH_TIMEOUT(MainForm->statusText(), Unavailable, ShellFixture::Patience);
    QVERIFY(!MainForm->ComPort1.Connected());
    verifyButtons(true, false, false, false);
    // The operation ended with the line, not at its 5 s or 8 s time-out.
    QTRY_VERIFY(probe.openFailedMs >= 0);
    QVERIFY2(endedMs < probe.openFailedMs + 1000,
             qPrintable(QStringLiteral("ended %1 ms, port gone %2 ms").arg(endedMs).arg(probe.openFailedMs)));
    // The simulator quits right after it closed the line.
    QVERIFY(QTest::qWaitFor([this] { return !m_sim.running(); }, ShellFixture::Patience));

    // The event loop never stalled while the operation waited.
    QVERIFY2(probe.longestGapMs < StallLimitMs, qPrintable(QString::number(probe.longestGapMs)));
    QVERIFY(probe.ticks > endedMs / (10 * ProbeMs));

    // Back to idle: the CPU used over the second after the operation.
    probe.stop();
    const double cpuBefore = cpuMs();
    QEventLoop idle;
    QTimer::singleShot(1000, &idle, &QEventLoop::quit);
    idle.exec();
    const double idleCpuMs = cpuMs() - cpuBefore;
    qInfo("%s: operation ended after %lld ms; simulator exit seen at %lld ms, port shown unavailable at %lld ms; "
          "longest event-loop gap %lld ms; CPU in the second after: %.1f ms",
          write ? "write" : "read", static_cast<long long>(endedMs), static_cast<long long>(probe.hangupSeenMs),
          static_cast<long long>(probe.openFailedMs), static_cast<long long>(probe.longestGapMs), idleCpuMs);
    QVERIFY2(idleCpuMs < IdleCpuLimitMs, qPrintable(QString::number(idleCpuMs)));

    // A new module on the same port name: opening the port again works, and
    // so does a full read.
    startSimulator({});
    connectPort();
    m_errors.clear();
    FormDownload->btRead->click();
    QCOMPARE(FormDownload->Progress->value(), 12);
    QCOMPARE(barColour(), Green);
    QVERIFY(transferButtonsEnabled());
    QCOMPARE(imageBytes(), patternImage());
    QVERIFY(m_messages.isEmpty() && m_errors.isEmpty());
}

QTEST_MAIN(TestUnplug)
#include "tst_unplug.moc"
