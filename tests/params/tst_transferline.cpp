// The transfer engine over the real serial port component and the module
// simulator process on a pseudo-terminal, paced at 19200 bit/s: faults of
// acknowledgements and answers that only timing on a line shows, and
// quelmar-params ended by a signal in the middle of a read.

#include "link/ModuleLink.h"
#include "params/Transfer.h"
#include "serial/PortMap.h"

#include "common/SimulatorProcess.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int Port = 66;

struct Display : TransferDisplay
{
    void DisableButtons() override {}
    void EnableButtons() override {}
    void setProgress(int) override {}
    void SetBarColour(std::uint32_t) override {}
    void showMessage(const QString &) override {}
    void showError(const QString &) override {}
};

// A transfer on the test's link, into its own image and buffer.
struct Engine
{
    Display display;
    ImageBytes image{};
    TransferBytes buffer{};
    ParameterTransfer transfer{display, image, buffer};

    explicit Engine(ModuleLink &link) { transfer.Link = {&link.ComPort1, &link.Codec, &link.Dispatcher.Reception}; }
};

QByteArray moduleImage()
{
    QByteArray image(1088, '\0');
    for (int i = 0; i < 960; ++i)
        image[i] = static_cast<char>(i * 29 + 5);
    return image;
}

QByteArray bytesOf(const ImageBytes &image)
{
    return QByteArray(reinterpret_cast<const char *>(image.data()), qsizetype(image.size()));
}

QStringList faultArguments(const QStringList &faults)
{
    QStringList arguments;
    for (const QString &fault : faults)
        arguments << QStringLiteral("--fault") << fault;
    return arguments;
}

} // namespace

enum class Op { Read, Write };
Q_DECLARE_METATYPE(Op)
Q_DECLARE_METATYPE(TransferStop)

class TestTransferLine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void faultsOnALine_data();
    void faultsOnALine();
    void noisyReadsCombineFrames();
    void outcomeLineCountsTheBlocksReadBack();
    void signalRestoresTheLine_data();
    void signalRestoresTheLine();

private:
    // A simulator on Port holding moduleImage(), and the tool's link to it.
    void startModule(const QStringList &faults);

    QTemporaryDir m_dir;
    QString m_imageFile;
    std::unique_ptr<SimulatorProcess> m_sim;
    std::unique_ptr<ModuleLink> m_link;
};

void TestTransferLine::initTestCase()
{
    QVERIFY(m_dir.isValid());
    qputenv("XDG_CONFIG_HOME", m_dir.filePath(QStringLiteral("config")).toLocal8Bit());
    qputenv("XDG_DATA_HOME", m_dir.filePath(QStringLiteral("data")).toLocal8Bit());
    m_imageFile = m_dir.filePath(QStringLiteral("module.QM3"));
    QFile file(m_imageFile);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(moduleImage()), 1088);
}

void TestTransferLine::cleanup()
{
    m_link.reset();
    m_sim.reset();
}

void TestTransferLine::startModule(const QStringList &faults)
{
    m_sim = std::make_unique<SimulatorProcess>(QStringLiteral(QUELMAR_MODULE_SIM));
    const QString error = m_sim->start(QStringLiteral("COM%1").arg(Port),
                                       QStringList{QStringLiteral("--image"), m_imageFile} + faultArguments(faults));
    QVERIFY2(error.isEmpty(), qPrintable(error));
    m_link = std::make_unique<ModuleLink>();
    m_link->ComPort1.setPort(QStringLiteral("COM%1").arg(Port));
    QCOMPARE(m_link->connect(), ConnectionState::Connected);
}

void TestTransferLine::faultsOnALine_data()
{
    QTest::addColumn<Op>("op");
    QTest::addColumn<QStringList>("faults");
    QTest::addColumn<int>("retries");
    QTest::addColumn<TransferStop>("stop");
    QTest::addColumn<bool>("checked"); // some block read back
    QTest::addColumn<int>("limitMs");  // the operation ends by then

    const TransferStop done = TransferStop::None;
    QTest::newRow("write, clean, single try") << Op::Write << QStringList{} << 0 << done << false << 1500;
    QTest::newRow("write, acknowledged twice") << Op::Write << QStringList{"dup-ack=4"} << 3 << done << true << 3000;
    QTest::newRow("write, acknowledged late") << Op::Write << QStringList{"late-ack=4"} << 3 << done << true << 4000;
    QTest::newRow("write, lost") << Op::Write << QStringList{"lose-write=4"} << 3 << done << true << 4000;
    // The next block's write is lost just as the last one's acknowledgement
    // comes again: it must not pass for the lost block's.
    QTest::newRow("write, acknowledged twice, then lost")
        << Op::Write << QStringList{"dup-ack=3", "lose-write=4"} << 3 << done << true << 4000;
    QTest::newRow("write, acknowledged twice, then lost, single try")
        << Op::Write << QStringList{"dup-ack=3", "lose-write=4"} << 0 << TransferStop::NoAcknowledgement << false << 3000;
    QTest::newRow("read, last frame just past the give-up")
        << Op::Read << QStringList{"late-last=6"} << 3 << done << false << 2000;
    QTest::newRow("read, last frame late, single try")
        << Op::Read << QStringList{"late-last=6"} << 0 << done << false << 2000;
    // A module that never answers ends at the same block, as late as the
    // single try would.
    QTest::newRow("read, never answered")
        << Op::Read << QStringList{"drop-block=4", "drop-block=4", "drop-block=4", "drop-block=4"} << 3
        << TransferStop::NoAnswer << false << 5000 + 300 + 250;
    QTest::newRow("read, never answered, single try")
        << Op::Read << QStringList{"drop-block=4"} << 0 << TransferStop::NoAnswer << false << 5000 + 300 + 250;
}

void TestTransferLine::faultsOnALine()
{
    QFETCH(Op, op);
    QFETCH(QStringList, faults);
    QFETCH(int, retries);
    QFETCH(TransferStop, stop);
    QFETCH(bool, checked);
    QFETCH(int, limitMs);
    startModule(faults);

    Engine engine(*m_link);
    ImageBytes &image = engine.image;
    ParameterTransfer &transfer = engine.transfer;
    for (std::size_t i = 0; i < EEAddr::ModuleBytes; ++i)
        image[i] = static_cast<std::uint8_t>(i * 3 + 1); // not what the module holds
    transfer.setRetries(retries);
    const QByteArray written = bytesOf(image).left(960);

    QElapsedTimer clock;
    clock.start();
    const TransferOutcome outcome = op == Op::Read ? transfer.Read() : transfer.Write();
    const qint64 elapsed = clock.elapsed();
    const TransferResult result = transfer.Result();

    QCOMPARE(result.stop, stop);
    QCOMPARE(outcome, stop == TransferStop::None ? TransferOutcome::Succeeded : TransferOutcome::Failed);
    QCOMPARE(result.checkedByReadBack > 0, checked);
    QVERIFY2(elapsed <= limitMs, qPrintable(QString::number(elapsed)));
    if (stop == TransferStop::NoAnswer) {
        QCOMPARE(result.stoppedAt, 5);
        QCOMPARE(result.repeated, retries);
        QVERIFY2(elapsed >= 5000 - 150, qPrintable(QString::number(elapsed)));
    }
    if (op == Op::Read) {
        if (outcome == TransferOutcome::Succeeded)
            QCOMPARE(bytesOf(image), moduleImage().left(960) + QByteArray(128, '\0'));
        return;
    }
    if (retries == 0 && faults.isEmpty())
        QCOMPARE(result.repeated, 0);
    // What the module holds, read clean (each fault hits once): every block
    // the write counts as done, and all of them when it succeeded.
    ImageBytes held{};
    transfer.setRetries(Transfer::MaxRetries);
    QCOMPARE(transfer.readInto(held), TransferOutcome::Succeeded);
    for (int b = 0; b < EEAddr::BlockCount; ++b)
        if (result.reached().test(std::size_t(b)))
            QCOMPARE(bytesOf(held).mid(b * 64, 64), written.mid(b * 64, 64));
    if (outcome == TransferOutcome::Succeeded)
        QCOMPARE(bytesOf(held).left(960), written);
    else
        QCOMPARE(result.stoppedAt, 5);
}

void TestTransferLine::noisyReadsCombineFrames()
{
    // One random byte in 200 damages about every other answer: the good
    // frames of the tries together make each block, and nothing else is
    // ever taken.
    startModule({QStringLiteral("noise=0.005")});
    Engine engine(*m_link);
    ImageBytes &image = engine.image;
    ParameterTransfer &transfer = engine.transfer;
    int completed = 0;
    int repeated = 0;
    for (int run = 0; run < 8; ++run) {
        image.fill(0x55);
        if (transfer.Read() == TransferOutcome::Succeeded) {
            ++completed;
            QCOMPARE(bytesOf(image), moduleImage().left(960) + QByteArray(128, '\0'));
        }
        repeated += transfer.Result().repeated;
    }
    QVERIFY2(repeated > 8, qPrintable(QString::number(repeated)));
    QVERIFY2(completed >= 7, qPrintable(QString::number(completed)));
}

void TestTransferLine::outcomeLineCountsTheBlocksReadBack()
{
    startModule({QStringLiteral("dup-ack=7")});
    m_link.reset();
    const QString file = m_dir.filePath(QStringLiteral("write.QM3"));
    QFile out(file);
    QVERIFY(out.open(QIODevice::WriteOnly));
    QCOMPARE(out.write(QByteArray(1088, '\x42')), 1088);
    out.close();
    QProcess tool;
    tool.start(QStringLiteral(QUELMAR_PARAMS),
               {QStringLiteral("write"), QStringLiteral("--port"), QStringLiteral("COM%1").arg(Port), file});
    QVERIFY(tool.waitForFinished(30000));
    QCOMPARE(tool.readAllStandardError(), QByteArray());
    QCOMPARE(tool.readAllStandardOutput(),
             QByteArray("COM66: write 15 of 15 blocks acknowledged (1 checked by reading back)\n"));
    QCOMPARE(tool.exitCode(), 0);
}

void TestTransferLine::signalRestoresTheLine_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<int>("status");
    QTest::newRow("SIGINT") << int(SIGINT) << 130;
    QTest::newRow("SIGTERM") << int(SIGTERM) << 143;
}

void TestTransferLine::signalRestoresTheLine()
{
    QFETCH(int, signal);
    QFETCH(int, status);
    // Block 2 is never answered: the read waits there when the signal comes.
    startModule({QStringLiteral("drop-block=2"), QStringLiteral("drop-block=2"), QStringLiteral("drop-block=2"),
                 QStringLiteral("drop-block=2")});
    m_link.reset();
    // The device as some other program left it: cooked, echoing, 9600 bit/s.
    const QByteArray device = QFile::encodeName(QFile::symLinkTarget(PortMap::linkPath(Port)));
    const int fd = ::open(device.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    QVERIFY(fd >= 0);
    termios before{};
    QCOMPARE(::tcgetattr(fd, &before), 0);
    before.c_lflag |= ICANON | ECHO;
    cfsetispeed(&before, B9600);
    cfsetospeed(&before, B9600);
    QCOMPARE(::tcsetattr(fd, TCSANOW, &before), 0);

    QProcess tool;
    tool.start(QStringLiteral(QUELMAR_PARAMS), {QStringLiteral("read"), QStringLiteral("--port"),
                                                QStringLiteral("COM%1").arg(Port), QStringLiteral("-o"),
                                                m_dir.filePath(QStringLiteral("read.QM3"))});
    QVERIFY(tool.waitForStarted());
    // Once the tool has the line raw at 19200, it is in the read.
    QVERIFY(QTest::qWaitFor(
        [&] {
            termios now{};
            return ::tcgetattr(fd, &now) == 0 && cfgetospeed(&now) == B19200 && !(now.c_lflag & ICANON);
        },
        10000));
    QTest::qWait(300);
    ::kill(static_cast<pid_t>(tool.processId()), signal);
    QVERIFY(tool.waitForFinished(10000));
    QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
    QCOMPARE(tool.exitCode(), status);

    termios after{};
    QCOMPARE(::tcgetattr(fd, &after), 0);
    ::close(fd);
    QCOMPARE(cfgetospeed(&after), speed_t(B9600));
    QVERIFY(after.c_lflag & ICANON);
    QVERIFY(after.c_lflag & ECHO);
    QVERIFY(!QFile::exists(m_dir.filePath(QStringLiteral("read.QM3"))));
}

QTEST_GUILESS_MAIN(TestTransferLine)
#include "tst_transferline.moc"
