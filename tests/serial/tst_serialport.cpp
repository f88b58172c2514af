// The serial port component over pseudo-terminals: each test links a port
// name to a pty slave in a temporary port directory and plays the peer on
// the master side.

#include "serial/PortMap.h"
#include "serial/SerialPort.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <memory>
#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <pty.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

// A pseudo-terminal published as port COMn.
class Pty
{
public:
    explicit Pty(int number)
    {
        if (::openpty(&m_master, &m_slave, nullptr, nullptr, nullptr) != 0)
            return;
        ::fcntl(m_master, F_SETFL, O_NONBLOCK);
        // A raw peer: no echo of the test's bytes back into the master.
        termios t{};
        ::tcgetattr(m_slave, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(m_slave, TCSANOW, &t);
        m_link = PortMap::linkPath(number);
        QFile::remove(m_link);
        m_ok = QFile::link(QString::fromLocal8Bit(::ttyname(m_slave)), m_link);
    }
    ~Pty()
    {
        closeMaster();
        if (m_slave >= 0)
            ::close(m_slave);
        QFile::remove(m_link);
    }

    bool ok() const { return m_ok; }
    int master() const { return m_master; }
    int slave() const { return m_slave; }

    termios Settings() const
    {
        termios t{};
        ::tcgetattr(m_slave, &t);
        return t;
    }
    void apply(const termios &t) const { ::tcsetattr(m_slave, TCSANOW, &t); }

    void send(const QByteArray &bytes) const
    {
        [[maybe_unused]] const ssize_t done = ::write(m_master, bytes.constData(), bytes.size());
    }

    // What the port sent, up to n bytes, waiting at most 5 s for them.
    QByteArray receive(int n) const
    {
        QByteArray got;
        QDeadlineTimer deadline(5000);
        while (got.size() < n && !deadline.hasExpired()) {
            pollfd p{m_master, POLLIN, 0};
            ::poll(&p, 1, 50);
            char buffer[256];
            const ssize_t r = ::read(m_master, buffer, std::min<size_t>(sizeof buffer, n - got.size()));
            if (r > 0)
                got.append(buffer, r);
        }
        return got;
    }

    // True when someone else holds the device's lock.
    bool locked() const
    {
        const int fd = ::open(::ttyname(m_slave), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
        ::close(fd);
        return locked;
    }

    void closeMaster()
    {
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
    }

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_link;
    bool m_ok = false;
};

// A peer that never stops sending.
class Streamer
{
public:
    explicit Streamer(int fd)
        : m_thread([this, fd] {
            const char chunk[16] = "0123456789abcde";
            while (!m_stop) {
                if (::write(fd, chunk, sizeof chunk) < 0 && errno == EAGAIN) {
                    pollfd p{fd, POLLOUT, 0};
                    ::poll(&p, 1, 20);
                } else {
                    std::this_thread::sleep_for(std::chrono::microseconds(300));
                }
            }
        })
    {
    }
    ~Streamer()
    {
        m_stop = true;
        m_thread.join();
    }

private:
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

template <typename F>
std::optional<ESerialPort> Failure(F &&operation)
{
    try {
        operation();
    } catch (const ESerialPort &e) {
        return e;
    }
    return std::nullopt;
}

// Serves events until the condition holds; a local loop rather than
// QTRY_*, which sleeps 50 ms between checks.
template <typename F>
bool waitFor(F &&condition, int ms = 10000)
{
    QDeadlineTimer deadline(ms);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}

qint64 cpuMicroseconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000000LL + usage.ru_utime.tv_usec
           + usage.ru_stime.tv_usec;
}

} // namespace

class TestSerialPort : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void lineSettings_data();
    void lineSettings();
    void unsupportedSpeedLeavesPortClosed();
    void missingDevice();
    void exclusiveOpen();
    void failedOpenKeepsOtherProgramsData_data();
    void failedOpenKeepsOtherProgramsData();
    void noReopen_data();
    void noReopen();
    void closingClosedPortDoesNothing();
    void newNameWhileOpenReopens();
    void destructorReleasesDevice();

    void rxCharReportsBytes();
    void unreadBytesComeWithNextEvent();
    void readWithNothingQueued();
    void handlerErrorEndsEvents();

    void writeReachesPeer_data();
    void writeReachesPeer();
    void failuresOnClosedPort_data();
    void failuresOnClosedPort();
    void writeIsBoundedWhenLineStalls();

    void closeWhilePeerStreams_data();
    void closeWhilePeerStreams();
    void peerHangup();

private:
    QTemporaryDir m_root;
    // Every test has COM5 on a fresh pty and a closed port named COM5.
    std::unique_ptr<Pty> m_pty;
    std::unique_ptr<TSerialPort> m_port;
};

void TestSerialPort::initTestCase()
{
    QVERIFY(m_root.isValid());
    qputenv("HOME", QFile::encodeName(m_root.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_root.filePath(QStringLiteral("config"))));
    QVERIFY(QDir().mkpath(PortMap::portDirectory()));
}

void TestSerialPort::init()
{
    m_pty = std::make_unique<Pty>(5);
    QVERIFY(m_pty->ok());
    m_port = std::make_unique<TSerialPort>();
    m_port->setPort(QStringLiteral("COM5"));
}

void TestSerialPort::cleanup()
{
    m_port.reset();
    m_pty.reset();
}

void TestSerialPort::lineSettings_data()
{
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("speed");
    QTest::newRow("9600") << 9600 << int(B9600);
    QTest::newRow("19200") << 19200 << int(B19200);
    QTest::newRow("38400") << 38400 << int(B38400);
    QTest::newRow("57600") << 57600 << int(B57600);
    QTest::newRow("115200") << 115200 << int(B115200);
}

void TestSerialPort::lineSettings()
{
    QFETCH(int, baud);
    QFETCH(int, speed);
    Pty &pty = *m_pty;
    // Settings a previous user might have left: 7E2 cooked with both kinds
    // of flow control.
    termios before = pty.Settings();
    before.c_cflag = (before.c_cflag & ~CSIZE) | CS7 | PARENB | CSTOPB | CRTSCTS;
    before.c_iflag |= IXON | IXOFF | ICRNL;
    before.c_lflag |= ICANON | ECHO | ISIG;
    before.c_oflag |= OPOST;
    before.c_cc[VMIN] = 4;
    before.c_cc[VTIME] = 2;
    cfsetspeed(&before, B4800);
    pty.apply(before);
    before = pty.Settings();

    TSerialPort &port = *m_port;
    port.setBaudRate(baud);
    port.Open();
    QVERIFY(port.Connected());

    const termios t = pty.Settings();
    QCOMPARE(int(cfgetospeed(&t)), speed);
    QCOMPARE(int(cfgetispeed(&t)), speed);
    QCOMPARE(t.c_cflag & CSIZE, tcflag_t(CS8));
    QCOMPARE(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), tcflag_t(0));
    QCOMPARE(t.c_cflag & (CLOCAL | CREAD), tcflag_t(CLOCAL | CREAD));
    QCOMPARE(t.c_iflag & (IXON | IXOFF | ICRNL | INLCR | IGNCR | ISTRIP), tcflag_t(0));
    QCOMPARE(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), tcflag_t(0));
    QCOMPARE(t.c_oflag & OPOST, tcflag_t(0));
    QCOMPARE(int(t.c_cc[VMIN]), 0);
    QCOMPARE(int(t.c_cc[VTIME]), 0);

    port.Close();
    const termios after = pty.Settings();
    QCOMPARE(after.c_cflag, before.c_cflag);
    QCOMPARE(after.c_iflag, before.c_iflag);
    QCOMPARE(after.c_oflag, before.c_oflag);
    QCOMPARE(after.c_lflag, before.c_lflag);
    QCOMPARE(int(after.c_cc[VMIN]), 4);
    QCOMPARE(int(after.c_cc[VTIME]), 2);
}

void TestSerialPort::unsupportedSpeedLeavesPortClosed()
{
    Pty &pty = *m_pty;
    TSerialPort &port = *m_port;
    const termios before = pty.Settings();
    port.setBaudRate(12345);
    const auto error = Failure([&] { port.Open(); });
    QVERIFY(error);
    QCOMPARE(error->Code(), 7);
    QCOMPARE(error->osError(), EINVAL);
    QVERIFY(!port.Connected());
    QVERIFY(!pty.locked());
    QCOMPARE(pty.Settings().c_cflag, before.c_cflag);

    port.setBaudRate(19200);
    port.Open();
    QVERIFY(port.Connected());
}

void TestSerialPort::missingDevice()
{
    QVERIFY(QFile::link(m_root.filePath(QStringLiteral("unplugged")), PortMap::linkPath(9)));
    TSerialPort port;
    port.setPort(QStringLiteral("COM9"));
    const auto error = Failure([&] { port.setConnected(true); });
    QFile::remove(PortMap::linkPath(9));
    QVERIFY(error);
    QCOMPARE(error->Code(), 1);
    QCOMPARE(QString::fromUtf8(error->what()), QStringLiteral("Unable to open com port (win error code: 2)"));
    QVERIFY(!port.Connected());
    QCOMPARE(port.Port(), QStringLiteral("COM9"));
}

void TestSerialPort::exclusiveOpen()
{
    Pty &pty = *m_pty;
    TSerialPort &first = *m_port;
    TSerialPort second;
    second.setPort(QStringLiteral("COM5"));
    first.Open();
    QVERIFY(pty.locked());

    const auto error = Failure([&] { second.Open(); });
    QVERIFY(error);
    QCOMPARE(error->Code(), 1);
    QVERIFY(QString::fromUtf8(error->what()).endsWith(QStringLiteral(" (win error code: 16)")));
    QVERIFY(!second.Connected());
    QVERIFY(first.Connected());

    first.Close();
    QVERIFY(!pty.locked());
    second.Open();
    QVERIFY(second.Connected());
}

void TestSerialPort::failedOpenKeepsOtherProgramsData_data()
{
    QTest::addColumn<bool>("otherHoldsLock");
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("code");
    QTest::newRow("device locked by another program") << true << 19200 << 1;
    QTest::newRow("line setting refused") << false << 12345 << 7;
}

void TestSerialPort::failedOpenKeepsOtherProgramsData()
{
    QFETCH(bool, otherHoldsLock);
    QFETCH(int, baud);
    QFETCH(int, code);
    Pty &pty = *m_pty;
    // Another program on the same device, with input it has not read yet
    // and output the peer has not taken yet.
    const int other = ::open(::ttyname(pty.slave()), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    QVERIFY(other >= 0);
    const auto closeOther = qScopeGuard([other] { ::close(other); });
    if (otherHoldsLock)
        QCOMPARE(::flock(other, LOCK_EX | LOCK_NB), 0);
    const QByteArray input("for the other program");
    const QByteArray output("from the other program");
    pty.send(input);
    QCOMPARE(::write(other, output.constData(), static_cast<size_t>(output.size())), ssize_t(output.size()));
    QVERIFY(waitFor([&] {
        int queued = 0;
        return ::ioctl(other, FIONREAD, &queued) == 0 && queued == input.size();
    }));

    m_port->setBaudRate(baud);
    const auto error = Failure([&] { m_port->Open(); });
    QVERIFY(error);
    QCOMPARE(error->Code(), code);
    QVERIFY(!m_port->Connected());

    char got[64] = {};
    QCOMPARE(::read(other, got, sizeof got), ssize_t(input.size()));
    QCOMPARE(QByteArray(got, input.size()), input);
    QCOMPARE(pty.receive(output.size()), output);
}

void TestSerialPort::noReopen_data()
{
    QTest::addColumn<QString>("action");
    QTest::newRow("connect again") << "connect";
    QTest::newRow("open again") << "open";
    QTest::newRow("same name") << "COM5";
    QTest::newRow("same name, other spelling") << "com05";
}

void TestSerialPort::noReopen()
{
    QFETCH(QString, action);
    Pty &pty = *m_pty;
    TSerialPort &port = *m_port;
    port.setConnected(true);
    // A re-open would apply the line settings again and undo this mark.
    termios marked = pty.Settings();
    marked.c_cc[VMIN] = 7;
    pty.apply(marked);

    if (action == QLatin1String("connect"))
        port.setConnected(true);
    else if (action == QLatin1String("open"))
        port.Open();
    else
        port.setPort(action);

    QVERIFY(port.Connected());
    QCOMPARE(int(pty.Settings().c_cc[VMIN]), 7);
}

void TestSerialPort::closingClosedPortDoesNothing()
{
    Pty &pty = *m_pty;
    TSerialPort &port = *m_port;
    port.Close();
    port.setConnected(false);
    QVERIFY(!port.Connected());

    port.Open();
    port.Close();
    // A second close would restore the saved settings over this mark.
    termios marked = pty.Settings();
    marked.c_cc[VMIN] = 9;
    pty.apply(marked);
    port.Close();
    port.setConnected(false);
    QCOMPARE(int(pty.Settings().c_cc[VMIN]), 9);
}

void TestSerialPort::newNameWhileOpenReopens()
{
    Pty &five = *m_pty;
    Pty six(6);
    QVERIFY(six.ok());
    TSerialPort &port = *m_port;
    port.Open();

    port.setPort(QStringLiteral("6"));
    QVERIFY(port.Connected());
    QCOMPARE(port.devicePath(), PortMap::linkPath(6));
    QVERIFY(!five.locked());
    QVERIFY(six.locked());
    QCOMPARE(port.WriteText("hi"), 2);
    QCOMPARE(six.receive(2), QByteArray("hi"));

    // A failed re-open keeps the new name and leaves the port closed.
    QVERIFY(QFile::link(m_root.filePath(QStringLiteral("gone")), PortMap::linkPath(7)));
    const auto error = Failure([&] { port.setPort(QStringLiteral("COM7")); });
    QFile::remove(PortMap::linkPath(7));
    QVERIFY(error);
    QCOMPARE(error->Code(), 1);
    QCOMPARE(port.Port(), QStringLiteral("COM7"));
    QVERIFY(!port.Connected());
    QVERIFY(!six.locked());
}

void TestSerialPort::destructorReleasesDevice()
{
    Pty &pty = *m_pty;
    const termios before = pty.Settings();
    m_port->setBaudRate(115200);
    m_port->Open();
    QVERIFY(pty.locked());
    m_port.reset();
    QVERIFY(!pty.locked());
    const termios after = pty.Settings();
    QCOMPARE(cfgetospeed(&after), cfgetospeed(&before));
}

void TestSerialPort::rxCharReportsBytes()
{
    Pty &pty = *m_pty;
    TSerialPort &port = *m_port;
    QList<int> counts;
    QByteArray received;
    // Reads like the frame codec: one byte at a time, as many as counted.
    port.OnRxChar = [&](int count) {
        counts << count;
        for (int i = 0; i < count; ++i) {
            std::uint8_t byte = 0;
            if (port.ReadBytes(&byte, 1) == 1)
                received += char(byte);
        }
    };
    port.Open();

    pty.send("abc");
    QTRY_COMPARE(received, QByteArray("abc"));
    const qsizetype events = counts.size();
    pty.send("d");
    QTRY_COMPARE(received, QByteArray("abcd"));
    QVERIFY(counts.size() > events);
    QVERIFY(!counts.contains(0));
}

void TestSerialPort::unreadBytesComeWithNextEvent()
{
    Pty &pty = *m_pty;
    TSerialPort &port = *m_port;
    QList<int> counts;
    port.OnRxChar = [&](int count) { counts << count; };
    port.Open();

    pty.send("ab");
    QTRY_COMPARE(counts.value(counts.size() - 1), 2);
    // Bytes left unread must not keep raising events by themselves.
    QTest::qWait(300);
    QVERIFY2(counts.size() <= 2, qPrintable(QString::number(counts.size())));

    pty.send("c");
    QTRY_COMPARE(counts.value(counts.size() - 1), 3);
    std::uint8_t buffer[8] = {};
    QCOMPARE(port.ReadBytes(buffer, 8), 3);
    QCOMPARE(QByteArray(reinterpret_cast<char *>(buffer), 3), QByteArray("abc"));
}

void TestSerialPort::readWithNothingQueued()
{
    Pty &pty = *m_pty;
    TSerialPort &port = *m_port;
    port.Open();
    std::uint8_t buffer[16];
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(port.ReadBytes(buffer, 16), 0);
    QVERIFY(timer.elapsed() < 1000);

    // Without a handler the bytes wait for a read.
    pty.send("xyz");
    QByteArray got;
    QVERIFY(waitFor([&] {
        got.append(reinterpret_cast<char *>(buffer), port.ReadBytes(buffer, 16));
        return got.size() >= 3;
    }));
    QCOMPARE(got, QByteArray("xyz"));
}

void TestSerialPort::handlerErrorEndsEvents()
{
    Pty &pty = *m_pty;
    TSerialPort &port = *m_port;
    int events = 0;
    port.OnRxChar = [&](int) {
        ++events;
        throw ESerialPort(ESerialPort::ReadFailed, EIO);
    };
    port.Open();
    pty.send("a");
    QTRY_COMPARE(events, 1);
    pty.send("b");
    QTest::qWait(300);
    QCOMPARE(events, 1);
    // The port stays open and writes still work.
    QVERIFY(port.Connected());
    QCOMPARE(port.WriteText("ok"), 2);
    QCOMPARE(pty.receive(2), QByteArray("ok"));
}

void TestSerialPort::writeReachesPeer_data()
{
    QTest::addColumn<bool>("asText");
    QTest::addColumn<QByteArray>("bytes");
    QByteArray frame(18, '\0');
    for (int i = 0; i < frame.size(); ++i)
        frame[i] = char(0x7b + i * 37);
    frame[0] = 0x7b;
    frame[17] = 0x7d;
    QTest::newRow("frame") << false << frame;
    QTest::newRow("text") << true << QByteArray("??\r");
    QTest::newRow("every byte value") << false << [] {
        QByteArray all(256, '\0');
        for (int i = 0; i < 256; ++i)
            all[i] = char(i);
        return all;
    }();
}

void TestSerialPort::writeReachesPeer()
{
    QFETCH(bool, asText);
    QFETCH(QByteArray, bytes);
    Pty &pty = *m_pty;
    TSerialPort &port = *m_port;
    port.Open();
    const int sent = asText ? port.WriteText(bytes)
                            : port.WriteBytes(reinterpret_cast<const std::uint8_t *>(bytes.constData()),
                                              int(bytes.size()));
    QCOMPARE(sent, int(bytes.size()));
    QCOMPARE(pty.receive(int(bytes.size())), bytes);
}

void TestSerialPort::failuresOnClosedPort_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<bool>("openedBefore");
    QTest::addColumn<QString>("message");
    const QString write = QStringLiteral("WriteFile function failed (win error code: %1)").arg(EBADF);
    const QString read = QStringLiteral("ReadFile function failed (win error code: %1)").arg(EBADF);
    QTest::newRow("bytes, never opened") << "bytes" << false << write;
    QTest::newRow("text, never opened") << "text" << false << write;
    QTest::newRow("bytes, after close") << "bytes" << true << write;
    QTest::newRow("text, after close") << "text" << true << write;
    QTest::newRow("read, after close") << "read" << true << read;
}

void TestSerialPort::failuresOnClosedPort()
{
    QFETCH(QString, operation);
    QFETCH(bool, openedBefore);
    QFETCH(QString, message);
    TSerialPort &port = *m_port;
    if (openedBefore) {
        port.Open();
        port.Close();
    }
    std::uint8_t buffer[4] = {1, 2, 3, 4};
    const auto error = Failure([&] {
        if (operation == QLatin1String("bytes"))
            port.WriteBytes(buffer, 4);
        else if (operation == QLatin1String("text"))
            port.WriteText("??\r");
        else
            port.ReadBytes(buffer, 4);
    });
    QVERIFY(error);
    QCOMPARE(QString::fromUtf8(error->what()), message);
}

void TestSerialPort::writeIsBoundedWhenLineStalls()
{
    Pty &pty = *m_pty;
    TSerialPort &port = *m_port;
    port.Open();
    // Fill the line towards a peer that never reads.
    ::fcntl(pty.slave(), F_SETFL, O_NONBLOCK);
    // The pty moves bytes on in the background, so it is full only once
    // it stays full for a while.
    const QByteArray filler(1024, 'f');
    for (int refused = 0; refused < 3;) {
        if (::write(pty.slave(), filler.constData(), filler.size()) > 0) {
            refused = 0;
        } else {
            QCOMPARE(errno, EAGAIN);
            ++refused;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }

    const std::uint8_t bytes[10] = {};
    QElapsedTimer timer;
    timer.start();
    // Never half a frame in silence: a write that cannot hand over every
    // byte fails with the system's reason.
    int osError = 0;
    try {
        port.WriteBytes(bytes, 10);
    } catch (const ESerialPort &e) {
        QCOMPARE(e.Code(), int(ESerialPort::WriteFailed));
        osError = e.osError();
    }
    const qint64 elapsed = timer.elapsed();
    QCOMPARE(osError, ETIMEDOUT);
    // Bounded by 100 ms per byte plus one second, and it did wait that long.
    QVERIFY2(elapsed >= 1900 && elapsed < 8000, qPrintable(QString::number(elapsed)));
    port.Close();
    QVERIFY(!port.Connected());
}

void TestSerialPort::closeWhilePeerStreams_data()
{
    QTest::addColumn<bool>("fromHandler");
    QTest::newRow("between events") << false;
    QTest::newRow("inside the handler") << true;
}

void TestSerialPort::closeWhilePeerStreams()
{
    QFETCH(bool, fromHandler);
    Pty &pty = *m_pty;
    TSerialPort &port = *m_port;
    int events = 0;
    port.OnRxChar = [&](int count) {
        ++events;
        std::uint8_t buffer[4096];
        port.ReadBytes(buffer, std::min<int>(count, sizeof buffer));
        if (fromHandler)
            port.Close();
    };
    Streamer streamer(pty.master());
    for (int round = 0; round < 200; ++round) {
        port.Open();
        const int before = events;
        QVERIFY(waitFor([&] { return events > before; }));
        port.Close();
        QVERIFY(!port.Connected());
        // Reports already posted by the stopped reader must come to nothing.
        const int atClose = events;
        QCoreApplication::processEvents();
        QCOMPARE(events, atClose);
    }
}

void TestSerialPort::peerHangup()
{
    Pty &pty = *m_pty;
    TSerialPort &port = *m_port;
    int hangups = 0;
    int events = 0;
    port.OnRxChar = [&](int count) {
        ++events;
        std::uint8_t buffer[256];
        port.ReadBytes(buffer, std::min<int>(count, sizeof buffer));
    };
    port.OnHangup = [&] { ++hangups; };
    port.Open();
    pty.send("ab");
    QTRY_VERIFY(events > 0);

    pty.closeMaster();
    QTRY_COMPARE(hangups, 1);
    QVERIFY(port.Connected());

    // Idle after a hang-up: no thread left spinning on it.
    const qint64 cpuBefore = cpuMicroseconds();
    QTest::qWait(1000);
    const qint64 cpuUsed = cpuMicroseconds() - cpuBefore;
    QVERIFY2(cpuUsed < 50000, qPrintable(QStringLiteral("%1 us").arg(cpuUsed)));
    QCOMPARE(hangups, 1);

    const auto error = Failure([&] { port.WriteText("??\r"); });
    QVERIFY(error);
    QCOMPARE(error->Code(), 2);
    port.Close();
    QVERIFY(!port.Connected());
}

QTEST_GUILESS_MAIN(TestSerialPort)
#include "tst_serialport.moc"
