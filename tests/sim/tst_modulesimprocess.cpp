// quelmar-module-sim as a process, over a real pseudo-terminal opened with
// plain POSIX calls, the way a serial port would be.

#include "link/FrameCodec.h"
#include "link/MessageDispatcher.h"
#include "serial/PortIo.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int StartTimeoutMs = 20000;
constexpr int AnswerTimeoutMs = 10000;

ParameterBlock pattern(int seed)
{
    ParameterBlock block{};
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<std::uint8_t>(seed * 29 + static_cast<int>(i) * 3 + 1);
    return block;
}

QByteArray patternImage()
{
    QByteArray image;
    for (int b = 0; b < 15; ++b) {
        const ParameterBlock block = pattern(b);
        image.append(reinterpret_cast<const char *>(block.data()), 64);
    }
    return image + QByteArray(128, '\x77');
}

struct StatusWindow : StatusSink
{
    StatusFields fields;
    int refreshes = 0;
    StatusFields &Status() override { return fields; }
    void RefreshStatus() override { ++refreshes; }
};

// The tool's end of the pty, with the tool's own codec and dispatcher.
struct Terminal : PortIo
{
    int fd = -1;
    bool hangup = false;
    MessageDispatcher dispatcher;
    StatusWindow status;
    int frames = 0;
    FrameCodec codec{*this, [this](const ModuleMessage &m) {
                         ++frames;
                         dispatcher.DispatchMessage(m);
                     }};

    explicit Terminal(const QString &device)
    {
        dispatcher.StatusWindow = &status;
        fd = ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        termios tio{};
        if (fd >= 0 && tcgetattr(fd, &tio) == 0) {
            cfmakeraw(&tio);
            cfsetispeed(&tio, B19200);
            cfsetospeed(&tio, B19200);
            tio.c_cflag |= CLOCAL | CREAD;
            tcsetattr(fd, TCSANOW, &tio);
            tcflush(fd, TCIOFLUSH);
        }
    }
    ~Terminal() override
    {
        if (fd >= 0)
            ::close(fd);
    }

    int ReadBytes(std::uint8_t *, int) override { return 0; }
    int WriteBytes(const std::uint8_t *buffer, int n) override
    {
        int done = 0;
        while (done < n) {
            const ssize_t w = ::write(fd, buffer + done, static_cast<size_t>(n - done));
            if (w > 0)
                done += static_cast<int>(w);
            else if (w < 0 && errno != EAGAIN && errno != EINTR)
                break;
        }
        return done;
    }
    int WriteText(const QByteArray &text) override
    {
        return WriteBytes(reinterpret_cast<const std::uint8_t *>(text.constData()), static_cast<int>(text.size()));
    }
    bool Connected() const override { return fd >= 0; }

    // Feeds what arrives to the codec until done() or the time-out.
    template<typename Done>
    bool pumpUntil(Done done, int timeoutMs = AnswerTimeoutMs)
    {
        QElapsedTimer clock;
        clock.start();
        while (!done()) {
            const qint64 left = timeoutMs - clock.elapsed();
            if (left <= 0 || hangup)
                return false;
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(std::min<qint64>(left, 100))) <= 0)
                continue;
            std::uint8_t buffer[512];
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n > 0) {
                for (ssize_t i = 0; i < n; ++i)
                    codec.ReceiveByte(buffer[i]);
            } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                hangup = true;
            }
        }
        return true;
    }

    void requestBlock(int block)
    {
        dispatcher.Reception.BlockReceived = false;
        codec.SendCommand(28, {0, 0, 0, static_cast<std::uint8_t>(block), 0x40});
    }
    bool readBlock(int block)
    {
        requestBlock(block);
        return pumpUntil([this] { return dispatcher.Reception.BlockReceived; })
               && dispatcher.Reception.ReceivedBlockAddress == block * 64;
    }
    bool writeBlock(int block, const ParameterBlock &data)
    {
        dispatcher.Reception.WriteAcknowledged = false;
        codec.SendCommand(45, {0, 0, 0, static_cast<std::uint8_t>(block), 0x40});
        for (int k = 0; k < 6; ++k) {
            std::array<std::uint8_t, 13> payload{};
            payload[0] = static_cast<std::uint8_t>(k);
            if (k < 5) {
                std::copy_n(data.begin() + 12 * k, 12, payload.begin() + 1);
            } else {
                std::copy_n(data.begin() + 60, 4, payload.begin() + 1);
                const std::uint32_t sum = blockChecksum(data);
                for (int i = 0; i < 4; ++i)
                    payload[static_cast<std::size_t>(5 + i)] = static_cast<std::uint8_t>(sum >> (24 - 8 * i));
                payload[12] = data[59];
            }
            codec.SendData(61, payload);
        }
        return pumpUntil([this] { return dispatcher.Reception.WriteAcknowledged; });
    }
    bool poll()
    {
        const int before = status.refreshes;
        codec.SendText("??");
        return pumpUntil([&] { return status.refreshes > before; });
    }
};

} // namespace

class TestModuleSimProcess : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void publishesThePortAndAnswers();
    void toolCanReopenThePort();
    void savesTheMemoryOnExit();
    void replacesAStaleLink();
    void pacesTheAnswerAtLineSpeed();
    void hangupClosesThePtyAndExits();
    void rejectsBadArguments_data();
    void rejectsBadArguments();
    void helpNamesEveryOption();

private:
    bool start(const QStringList &arguments);
    bool stop();
    QString linkPath(int port) const
    {
        return m_home->path() + QStringLiteral("/config/quelmar/ports/com%1").arg(port);
    }
    QString writeImage();

    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<QProcess> m_sim;
    QString m_device;
    QString m_readyLine;
};

void TestModuleSimProcess::init()
{
    m_home = std::make_unique<QTemporaryDir>();
    QVERIFY(m_home->isValid());
    m_sim = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), m_home->path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home->path() + QStringLiteral("/config"));
    m_sim->setProcessEnvironment(env);
    m_sim->setProgram(QStringLiteral(QUELMAR_MODULE_SIM));
    m_sim->setProcessChannelMode(QProcess::SeparateChannels);
    m_device.clear();
    m_readyLine.clear();
}

void TestModuleSimProcess::cleanup()
{
    if (m_sim->state() != QProcess::NotRunning) {
        m_sim->kill();
        m_sim->waitForFinished(StartTimeoutMs);
    }
    m_sim.reset();
    m_home.reset();
}

bool TestModuleSimProcess::start(const QStringList &arguments)
{
    m_sim->setArguments(arguments);
    m_sim->start();
    if (!m_sim->waitForStarted(StartTimeoutMs))
        return false;
    QElapsedTimer clock;
    clock.start();
    while (!m_sim->canReadLine()) {
        if (clock.elapsed() > StartTimeoutMs || m_sim->state() == QProcess::NotRunning)
            return false;
        m_sim->waitForReadyRead(200);
    }
    m_readyLine = QString::fromLocal8Bit(m_sim->readLine()).trimmed();
    const QStringList words = m_readyLine.split(QLatin1Char(' '));
    if (words.size() != 3 || words[0] != QLatin1String("ready"))
        return false;
    m_device = words[2];
    return true;
}

bool TestModuleSimProcess::stop()
{
    ::kill(static_cast<pid_t>(m_sim->processId()), SIGTERM);
    return m_sim->waitForFinished(StartTimeoutMs) && m_sim->exitStatus() == QProcess::NormalExit
           && m_sim->exitCode() == 0;
}

QString TestModuleSimProcess::writeImage()
{
    const QString path = m_home->path() + QStringLiteral("/image.qm3");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(patternImage()) != 1088)
        return {};
    return path;
}

void TestModuleSimProcess::publishesThePortAndAnswers()
{
    const QString image = writeImage();
    QVERIFY(!image.isEmpty());
    QVERIFY2(start({QStringLiteral("--port"), QStringLiteral("com90"), QStringLiteral("--no-pacing"),
                    QStringLiteral("--image"), image, QStringLiteral("--status"), QStringLiteral("0x1F,31,9,0xAA")}),
             qPrintable(m_readyLine + QString::fromLocal8Bit(m_sim->readAllStandardError())));
    QCOMPARE(m_readyLine.section(QLatin1Char(' '), 0, 1), QStringLiteral("ready COM90"));

    const QFileInfo link(linkPath(90));
    QVERIFY(link.isSymLink());
    QCOMPARE(link.symLinkTarget(), m_device);

    {
        Terminal tool(m_device);
        QVERIFY(tool.fd >= 0);
        QVERIFY(tool.poll());
        QCOMPARE(tool.status.fields.StatusFlags, std::uint8_t{0x1F});
        QCOMPARE(tool.status.fields.SignalLevel, std::uint8_t{31});
        QCOMPARE(tool.status.fields.CallState, std::uint8_t{9});
        QCOMPARE(tool.status.fields.StatusSpare, std::uint8_t{0xAA});
        for (const int block : {0, 7, 14}) {
            QVERIFY(tool.readBlock(block));
            QCOMPARE(tool.dispatcher.Reception.ReceivedBlock, pattern(block));
        }
    }

    QVERIFY(stop());
    QVERIFY(!QFileInfo(linkPath(90)).isSymLink());
    QVERIFY(!QFileInfo::exists(linkPath(90)));
}

void TestModuleSimProcess::toolCanReopenThePort()
{
    QVERIFY(start({QStringLiteral("--port"), QStringLiteral("COM90"), QStringLiteral("--no-pacing")}));
    for (int i = 0; i < 20; ++i) {
        Terminal tool(m_device);
        QVERIFY(tool.fd >= 0);
        QVERIFY2(tool.poll(), qPrintable(QStringLiteral("open number %1").arg(i + 1)));
    }
    QCOMPARE(m_sim->state(), QProcess::Running);
    QVERIFY(stop());
}

void TestModuleSimProcess::savesTheMemoryOnExit()
{
    const QString image = writeImage();
    const QString saved = m_home->path() + QStringLiteral("/saved.qm3");
    QVERIFY(start({QStringLiteral("--port"), QStringLiteral("COM90"), QStringLiteral("--no-pacing"),
                   QStringLiteral("--image"), image, QStringLiteral("--save"), saved}));
    {
        Terminal tool(m_device);
        QVERIFY(tool.writeBlock(3, pattern(100)));
    }
    QVERIFY(stop());

    QFile file(saved);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QCOMPARE(bytes.size(), 1088);
    QByteArray expected = patternImage().left(960);
    const ParameterBlock written = pattern(100);
    expected.replace(3 * 64, 64, QByteArray(reinterpret_cast<const char *>(written.data()), 64));
    QCOMPARE(bytes.left(960), expected);
    QCOMPARE(bytes.mid(960), QByteArray(128, '\0'));
}

void TestModuleSimProcess::replacesAStaleLink()
{
    QVERIFY(QDir().mkpath(QFileInfo(linkPath(90)).path()));
    QVERIFY(QFile::link(QStringLiteral("/dev/pts/nothing-here"), linkPath(90)));
    QVERIFY(start({QStringLiteral("--port"), QStringLiteral("COM90"), QStringLiteral("--no-pacing")}));
    QCOMPARE(QFileInfo(linkPath(90)).symLinkTarget(), m_device);
    QVERIFY(stop());
    QVERIFY(!QFileInfo(linkPath(90)).isSymLink());
}

void TestModuleSimProcess::pacesTheAnswerAtLineSpeed()
{
    QVERIFY(start({QStringLiteral("--port"), QStringLiteral("COM90"), QStringLiteral("--baud"),
                   QStringLiteral("19200")}));
    Terminal tool(m_device);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(tool.readBlock(2));
    // 126 bytes of ten bits at 19200 bit/s take 65.6 ms; only a lower bound
    // is safe on a busy machine.
    QVERIFY2(clock.elapsed() >= 60, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(stop());
}

void TestModuleSimProcess::hangupClosesThePtyAndExits()
{
    QVERIFY(start({QStringLiteral("--port"), QStringLiteral("COM90"), QStringLiteral("--no-pacing"),
                   QStringLiteral("--fault"), QStringLiteral("hangup-after=2")}));
    Terminal tool(m_device);
    tool.requestBlock(0);
    QVERIFY(!tool.pumpUntil([] { return false; }));
    QVERIFY(tool.hangup);
    QCOMPARE(tool.frames, 2);
    QVERIFY(m_sim->waitForFinished(StartTimeoutMs));
    QCOMPARE(m_sim->exitCode(), 0);
    QVERIFY(!QFileInfo(linkPath(90)).isSymLink());
}

void TestModuleSimProcess::rejectsBadArguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("port 97") << QStringList{QStringLiteral("--port"), QStringLiteral("COM97")};
    QTest::newRow("not a port") << QStringList{QStringLiteral("--port"), QStringLiteral("ttyS0")};
    QTest::newRow("baud 0") << QStringList{QStringLiteral("--baud"), QStringLiteral("0")};
    QTest::newRow("status of three") << QStringList{QStringLiteral("--status"), QStringLiteral("1,2,3")};
    QTest::newRow("text channel 5") << QStringList{QStringLiteral("--text"), QStringLiteral("5:x")};
    QTest::newRow("fault block 15") << QStringList{QStringLiteral("--fault"), QStringLiteral("drop-block=15")};
    QTest::newRow("missing image") << QStringList{QStringLiteral("--image"), QStringLiteral("/nonexistent/x.qm3")};
    QTest::newRow("stray argument") << QStringList{QStringLiteral("COM90")};
}

void TestModuleSimProcess::rejectsBadArguments()
{
    QFETCH(QStringList, arguments);
    m_sim->setArguments(arguments << QStringLiteral("--no-pacing"));
    m_sim->start();
    QVERIFY(m_sim->waitForFinished(StartTimeoutMs));
    QCOMPARE(m_sim->exitCode(), 2);
    QVERIFY(m_sim->readAllStandardOutput().isEmpty());
    QVERIFY(!m_sim->readAllStandardError().isEmpty());
    QVERIFY(!QFileInfo::exists(m_home->path() + QStringLiteral("/config/quelmar/ports")));
}

void TestModuleSimProcess::helpNamesEveryOption()
{
    m_sim->setArguments({QStringLiteral("--help")});
    m_sim->start();
    QVERIFY(m_sim->waitForFinished(StartTimeoutMs));
    QCOMPARE(m_sim->exitCode(), 0);
    const QString help = QString::fromLocal8Bit(m_sim->readAllStandardOutput());
    for (const char *word : {"--port", "--image", "--save", "--baud", "--no-pacing", "--status", "--text", "--fault",
                             "--seed", "--verbose", "drop-block", "wrong-address", "corrupt", "noise", "no-ack",
                             "hangup-after"})
        QVERIFY2(help.contains(QLatin1String(word)), word);
}

QTEST_GUILESS_MAIN(TestModuleSimProcess)
#include "tst_modulesimprocess.moc"
