#include "SerialDevice.h"

#include "SerialPort.h"

#include <QFile>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

namespace {

speed_t speedFor(int baud)
{
    switch (baud) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    }
    return B0;
}

void makeRaw(termios &t, speed_t speed)
{
    cfmakeraw(&t);
    t.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK);
    t.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
    t.c_cflag |= CS8 | CLOCAL | CREAD;
    // Reads return at once with whatever is queued.
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
}

// Drivers may quietly refuse parts of a request; these are the parts the
// module's line cannot do without.
bool lineMatches(const termios &actual, const termios &wanted)
{
    constexpr tcflag_t Frame = CSIZE | PARENB | CSTOPB | CRTSCTS;
    return cfgetospeed(&actual) == cfgetospeed(&wanted)
           && (actual.c_cflag & Frame) == (wanted.c_cflag & Frame)
           && (actual.c_iflag & (IXON | IXOFF)) == 0
           && (actual.c_lflag & ICANON) == 0;
}

// The lines a signal handler restores: a fixed table, so that the handler
// reads plain memory and calls nothing but tcsetattr. A slot's descriptor is
// published only after its settings are in place.
struct SignalSlot
{
    std::atomic<int> fd{-1};
    std::atomic<bool> taken{false};
    termios saved{};
};
constexpr int SignalSlots = 128; // more ports than the port map names
std::array<SignalSlot, SignalSlots> signalSlots;

} // namespace

void SerialDevice::restoreAllForSignal() noexcept
{
    for (SignalSlot &slot : signalSlots) {
        const int fd = slot.fd.load(std::memory_order_acquire);
        if (fd >= 0)
            ::tcsetattr(fd, TCSANOW, &slot.saved);
    }
}

void SerialDevice::registerForSignals() noexcept
{
    for (int i = 0; i < SignalSlots; ++i) {
        SignalSlot &slot = signalSlots[static_cast<std::size_t>(i)];
        bool expected = false;
        if (!slot.taken.compare_exchange_strong(expected, true))
            continue;
        slot.saved = m_saved;
        slot.fd.store(m_fd, std::memory_order_release);
        m_signalSlot = i;
        return;
    }
}

void SerialDevice::unregisterForSignals() noexcept
{
    if (m_signalSlot < 0)
        return;
    SignalSlot &slot = signalSlots[static_cast<std::size_t>(m_signalSlot)];
    slot.fd.store(-1, std::memory_order_release);
    slot.taken.store(false, std::memory_order_release);
    m_signalSlot = -1;
}

void SerialDevice::askLowLatency()
{
    // A USB adapter otherwise holds received bytes for its latency timer
    // (16 ms on FTDI chips) before they reach us. Pseudo-terminals and some
    // drivers know no such request: the line works without it.
    serial_struct serial{};
    if (::ioctl(m_fd, TIOCGSERIAL, &serial) != 0 || (serial.flags & ASYNC_LOW_LATENCY))
        return;
    serial.flags |= ASYNC_LOW_LATENCY;
    m_lowLatencySet = ::ioctl(m_fd, TIOCSSERIAL, &serial) == 0;
}

void SerialDevice::Open(const QString &path, int baud)
{
    if (m_fd >= 0)
        return;
    const QByteArray native = QFile::encodeName(path);
    m_fd = ::open(native.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0)
        throw ESerialPort(ESerialPort::OpenFailed, errno);
    try {
        configure(baud);
    } catch (...) {
        Close();
        throw;
    }
}

void SerialDevice::configure(int baud)
{
    // The lock keeps out other openers, root included (TIOCEXCL does not
    // stop root); a held lock reads like a busy device.
    if (::flock(m_fd, LOCK_EX | LOCK_NB) != 0)
        throw ESerialPort(ESerialPort::OpenFailed, errno == EWOULDBLOCK ? EBUSY : errno);
    m_locked = true;
    if (::ioctl(m_fd, TIOCEXCL) != 0)
        throw ESerialPort(ESerialPort::OpenFailed, errno);
    m_exclusive = true;

    if (::tcgetattr(m_fd, &m_saved) != 0)
        throw ESerialPort(ESerialPort::SetStateFailed, errno);
    m_haveSaved = true;

    const speed_t speed = speedFor(baud);
    if (speed == B0)
        throw ESerialPort(ESerialPort::SetStateFailed, EINVAL);
    termios wanted = m_saved;
    makeRaw(wanted, speed);
    registerForSignals();
    if (::tcsetattr(m_fd, TCSANOW, &wanted) != 0)
        throw ESerialPort(ESerialPort::SetStateFailed, errno);
    termios actual{};
    if (::tcgetattr(m_fd, &actual) != 0)
        throw ESerialPort(ESerialPort::SetStateFailed, errno);
    if (!lineMatches(actual, wanted))
        throw ESerialPort(ESerialPort::SetStateFailed, EINVAL);
    m_baud = baud;

    // Pseudo-terminals have no modem lines; they work without them.
    int lines = TIOCM_DTR | TIOCM_RTS;
    if (::ioctl(m_fd, TIOCMBIS, &lines) != 0 && errno != ENOTTY && errno != EINVAL)
        throw ESerialPort(ESerialPort::SetStateFailed, errno);

    askLowLatency();

    // Whatever arrived before we owned the line is not for us.
    if (::tcflush(m_fd, TCIOFLUSH) != 0)
        throw ESerialPort(ESerialPort::PurgeFailed, errno);
    m_owned = true;
}

void SerialDevice::Close() noexcept
{
    if (m_fd < 0)
        return;
    // What was sent leaves first, so the last frame keeps its tail; a
    // stalled line is then flushed, so close() never waits for output it
    // would never send. Failures are ignored: an unplugged adapter must
    // still be released. Only a line this object owned is drained or
    // flushed: after a failed open the queues may hold another program's.
    if (m_owned) {
        drain();
        ::tcflush(m_fd, TCIOFLUSH);
    }
    if (m_lowLatencySet) {
        serial_struct serial{};
        if (::ioctl(m_fd, TIOCGSERIAL, &serial) == 0) {
            serial.flags &= ~ASYNC_LOW_LATENCY;
            ::ioctl(m_fd, TIOCSSERIAL, &serial);
        }
    }
    if (m_haveSaved)
        ::tcsetattr(m_fd, TCSANOW, &m_saved);
    unregisterForSignals();
    if (m_exclusive)
        ::ioctl(m_fd, TIOCNXCL);
    if (m_locked)
        ::flock(m_fd, LOCK_UN);
    ::close(m_fd);
    m_fd = -1;
    m_locked = m_exclusive = m_haveSaved = m_owned = m_lowLatencySet = false;
}

int SerialDevice::queuedInput() const
{
    int count = 0;
    if (::ioctl(m_fd, FIONREAD, &count) != 0)
        throw ESerialPort(ESerialPort::QueueQueryFailed, errno);
    return count;
}

int SerialDevice::Read(std::uint8_t *buffer, int n)
{
    if (m_fd < 0)
        throw ESerialPort(ESerialPort::ReadFailed, EBADF);
    if (n <= 0)
        return 0;
    for (;;) {
        const ssize_t got = ::read(m_fd, buffer, static_cast<size_t>(n));
        if (got >= 0)
            return static_cast<int>(got);
        if (errno == EAGAIN)
            return 0;
        if (errno != EINTR)
            throw ESerialPort(ESerialPort::ReadFailed, errno);
    }
}

int SerialDevice::Write(const std::uint8_t *buffer, int n)
{
    if (m_fd < 0)
        throw ESerialPort(ESerialPort::WriteFailed, EBADF);
    if (n <= 0 || !buffer)
        return 0;
    const QDeadlineTimer deadline(100LL * n + 1000);
    int sent = 0;
    while (sent < n) {
        const ssize_t done = ::write(m_fd, buffer + sent, static_cast<size_t>(n - sent));
        if (done > 0) {
            sent += static_cast<int>(done);
            continue;
        }
        if (done < 0 && errno == EINTR)
            continue;
        if (done < 0 && errno != EAGAIN)
            throw ESerialPort(ESerialPort::WriteFailed, errno);
        // The output queue is full: sleep until it has room or time is up.
        const qint64 left = deadline.remainingTime();
        if (left <= 0)
            throw ESerialPort(ESerialPort::WriteFailed, ETIMEDOUT);
        pollfd p{m_fd, POLLOUT, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(std::min<qint64>(left, INT_MAX)));
        if (ready < 0 && errno != EINTR)
            throw ESerialPort(ESerialPort::WriteFailed, errno);
        if (ready > 0 && !(p.revents & POLLOUT))
            throw ESerialPort(ESerialPort::WriteFailed, (p.revents & POLLNVAL) ? EBADF : EIO);
    }
    waitUntilSent(deadline);
    return sent;
}

bool SerialDevice::drain() const
{
    if (m_fd < 0 || m_baud <= 0)
        return false;
    int queued = 0;
    if (::ioctl(m_fd, TIOCOUTQ, &queued) != 0)
        return false;
    const QDeadlineTimer deadline(std::max(queued, 0) * 10000LL / m_baud + DrainSlackMs);
    // tcdrain() has no time limit, so it is called only once the driver's
    // queue is empty: then it waits for the adapter's own buffer alone.
    if (!waitUntilSent(deadline))
        return false;
    while (::tcdrain(m_fd) != 0)
        if (errno != EINTR)
            return false;
    return true;
}

bool SerialDevice::waitUntilSent(const QDeadlineTimer &deadline) const
{
    // Not tcdrain(): it has no time limit and a stalled line (or a pty
    // nobody reads) would hold it forever. The queue is checked after the
    // time its bytes need on the line, 10 bits each.
    for (;;) {
        int queued = 0;
        if (::ioctl(m_fd, TIOCOUTQ, &queued) != 0)
            return false;
        if (queued <= 0)
            return true;
        const qint64 left = deadline.remainingTime();
        if (left <= 0)
            return false;
        const qint64 lineMs = std::max<qint64>(1, queued * 10000LL / m_baud);
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(left, lineMs)));
    }
}
