// The serial port opened and closed a thousand times in a row while the
// module simulator answers status polls on the other end: every close must
// return, and leave no descriptor and no thread behind. Some rounds wait for
// the answer, the others close while it is on its way, so that closes meet
// the reader thread both idle and busy.

#include "link/FrameCodec.h"
#include "serial/PortMap.h"
#include "serial/SerialPort.h"

#include "common/SimulatorProcess.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <filesystem>
#include <memory>

namespace {

constexpr int SimPort = 93;
constexpr int Rounds = 1000;
constexpr int WaitEvery = 10; // rounds that wait for the status answer
constexpr int AnswerTimeoutMs = 10000;

int entriesIn(const char *directory)
{
    int count = 0;
    for ([[maybe_unused]] const auto &entry : std::filesystem::directory_iterator(directory))
        ++count;
    return count;
}

// The tool's side: the port with the codec reading what it reports.
struct Tool
{
    TSerialPort port;
    int statusMessages = 0;
    FrameCodec codec{port, [this](const ModuleMessage &m) {
                         if ((m[1] & 0x3F) == 0x24)
                             ++statusMessages;
                     }};

    Tool()
    {
        port.setBaudRate(19200);
        port.setPort(QStringLiteral("COM%1").arg(SimPort));
        port.OnRxChar = [this](int count) { codec.ComPort1RxChar(count); };
    }

    bool pollAndWait()
    {
        const int before = statusMessages;
        port.WriteText("??\r");
        return QTest::qWaitFor([&] { return statusMessages > before; }, AnswerTimeoutMs);
    }
};

} // namespace

class TestPortReopen : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void openAndCloseAThousandTimes();

private:
    QTemporaryDir m_home;
    SimulatorProcess m_sim{QStringLiteral(QUELMAR_MODULE_SIM)};
};

void TestPortReopen::initTestCase()
{
    QVERIFY(m_home.isValid());
    // The port directory, for the simulator's link and the port's lookup.
    const QByteArray config = QFile::encodeName(m_home.filePath(QStringLiteral("config")));
    qputenv("HOME", QFile::encodeName(m_home.path()));
    qputenv("XDG_CONFIG_HOME", config);

    const QString error = m_sim.start(QStringLiteral("COM%1").arg(SimPort), {QStringLiteral("--no-pacing")});
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(QFileInfo(PortMap::linkPath(SimPort)).symLinkTarget(), m_sim.device());
}

void TestPortReopen::cleanupTestCase()
{
    QVERIFY(m_sim.stop());
}

void TestPortReopen::openAndCloseAThousandTimes()
{
    Tool tool;
    const int descriptors = entriesIn("/proc/self/fd");
    const int threads = entriesIn("/proc/self/task");

    QElapsedTimer clock;
    clock.start();
    int answered = 0;
    for (int round = 0; round < Rounds; ++round) {
        tool.port.Open();
        QVERIFY2(tool.port.Connected(), qPrintable(QStringLiteral("round %1").arg(round)));
        if (round % WaitEvery == 0) {
            QVERIFY2(tool.pollAndWait(), qPrintable(QStringLiteral("no answer in round %1").arg(round)));
            ++answered;
        } else {
            tool.port.WriteText("??\r");
            QCoreApplication::processEvents();
        }
        tool.port.Close();
        QVERIFY(!tool.port.Connected());
    }
    // Reports the closed ports' readers posted last are handled, and ignored.
    QCoreApplication::processEvents();
    const qint64 elapsed = clock.elapsed();

    QCOMPARE(entriesIn("/proc/self/fd"), descriptors);
    QCOMPARE(entriesIn("/proc/self/task"), threads);
    QCOMPARE(answered, Rounds / WaitEvery);
    QVERIFY(m_sim.running());

    // The port still works after all that.
    tool.port.Open();
    QVERIFY(tool.pollAndWait());
    tool.port.Close();
    qInfo("%d opens and closes in %lld ms", Rounds, elapsed);
}

QTEST_GUILESS_MAIN(TestPortReopen)
#include "tst_portreopen.moc"
