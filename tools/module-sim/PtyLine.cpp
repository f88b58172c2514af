#include "PtyLine.h"

#include "ModuleSimulator.h"

#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/timerfd.h>
#include <termios.h>
#include <unistd.h>

namespace {

LinePacer::Nanos now()
{
    return std::chrono::duration_cast<LinePacer::Nanos>(std::chrono::steady_clock::now().time_since_epoch());
}

// Bytes queued in the pty that the tool has not read can fill it up; retry
// a little later then.
constexpr LinePacer::Nanos BlockedRetry = std::chrono::milliseconds(5);

// How long a hang-up waits for the tool to read the last frames.
constexpr LinePacer::Nanos HangupSettle = std::chrono::milliseconds(100);
constexpr LinePacer::Nanos HangupGrace = std::chrono::seconds(2);
constexpr LinePacer::Nanos HangupCheck = std::chrono::milliseconds(10);

QString systemError(const char *what)
{
    return QStringLiteral("%1: %2").arg(QString::fromLatin1(what), QString::fromLocal8Bit(std::strerror(errno)));
}

} // namespace

PtyLine::PtyLine(ModuleSimulator &sim, LinePacer::Nanos byteTime, QObject *parent)
    : QObject(parent)
    , m_sim(sim)
    , m_pacer(byteTime)
{
    m_sim.onOutput = [this](const QByteArray &bytes) { m_pacer.enqueue(bytes, m_arrival); };
    m_sim.onHangup = [this] { m_hangupPending = true; };
    // Queued when due, so that what is sent meanwhile does not wait behind it.
    m_sim.onLateOutput = [this](const QByteArray &bytes, int ms) {
        QTimer::singleShot(ms, this, [this, bytes] {
            m_pacer.enqueue(bytes, now());
            pump();
        });
    };
}

PtyLine::~PtyLine()
{
    m_sim.onOutput = nullptr;
    m_sim.onLateOutput = nullptr;
    m_sim.onHangup = nullptr;
    closePty();
}

bool PtyLine::open(QString *error)
{
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0) {
        *error = systemError("cannot create a pseudo-terminal");
        closePty();
        return false;
    }
    char name[128] = {};
    if (ptsname_r(m_master, name, sizeof name) != 0) {
        *error = systemError("cannot name the pseudo-terminal");
        closePty();
        return false;
    }
    m_device = QString::fromLocal8Bit(name);
    m_slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios tio{};
    if (m_slave < 0 || tcgetattr(m_slave, &tio) != 0) {
        *error = systemError("cannot open the pseudo-terminal's slave");
        closePty();
        return false;
    }
    // Raw, so that CR and LF pass unchanged and nothing is echoed back.
    cfmakeraw(&tio);
    cfsetispeed(&tio, B19200);
    cfsetospeed(&tio, B19200);
    tio.c_cflag |= CLOCAL | CREAD;
    if (tcsetattr(m_slave, TCSANOW, &tio) != 0) {
        *error = systemError("cannot set the pseudo-terminal raw");
        closePty();
        return false;
    }
    m_timer = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (m_timer < 0) {
        *error = systemError("cannot create a timer");
        closePty();
        return false;
    }
    m_readNotifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &PtyLine::onReadable);
    m_timerNotifier = new QSocketNotifier(m_timer, QSocketNotifier::Read, this);
    connect(m_timerNotifier, &QSocketNotifier::activated, this, &PtyLine::onTimer);
    return true;
}

void PtyLine::onReadable()
{
    char buffer[4096];
    const ssize_t n = ::read(m_master, buffer, sizeof buffer);
    if (n <= 0)
        return; // EAGAIN; EIO cannot happen while our own slave is open
    const LinePacer::Nanos readTime = now();
    for (ssize_t i = 0; i < n && !m_hangupPending; ++i) {
        m_arrival = m_pacer.arrive(readTime);
        m_sim.receive(QByteArrayView(buffer + i, 1));
    }
    pump();
}

void PtyLine::onTimer()
{
    std::uint64_t expirations = 0;
    [[maybe_unused]] const ssize_t n = ::read(m_timer, &expirations, sizeof expirations);
    pump();
}

void PtyLine::pump()
{
    if (m_master < 0)
        return;
    m_backlog += m_pacer.takeDue(now());
    while (!m_backlog.isEmpty()) {
        const ssize_t n = ::write(m_master, m_backlog.constData(), static_cast<size_t>(m_backlog.size()));
        if (n > 0) {
            m_backlog.remove(0, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN) {
            armTimer(now() + BlockedRetry);
            return;
        }
        m_backlog.clear(); // the pty is gone; nothing can be delivered
    }
    if (const auto wake = m_pacer.nextWake()) {
        armTimer(*wake);
        return;
    }
    if (m_hangupPending)
        hangUpWhenRead();
}

void PtyLine::hangUpWhenRead()
{
    // Closing the master discards what the tool has not read yet, so the
    // frames before the hang-up are given time to be taken. The pty moves
    // written bytes to the slave's queue a moment later, so an empty queue
    // counts only after a short settling time.
    const LinePacer::Nanos t = now();
    if (m_hangupStart.count() == 0)
        m_hangupStart = t;
    int unread = 0;
    const bool settled = t >= m_hangupStart + HangupSettle;
    const bool read = ::ioctl(m_slave, FIONREAD, &unread) != 0 || unread == 0;
    if ((!settled || !read) && t < m_hangupStart + HangupGrace) {
        armTimer(t + HangupCheck);
        return;
    }
    closePty();
    emit hungUp();
}

void PtyLine::armTimer(LinePacer::Nanos at)
{
    // A zero time would disarm the timer; anything in the past fires at once.
    const auto ns = std::max<long long>(at.count(), 1);
    itimerspec spec{};
    spec.it_value.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
    spec.it_value.tv_nsec = static_cast<long>(ns % 1'000'000'000);
    timerfd_settime(m_timer, TFD_TIMER_ABSTIME, &spec, nullptr);
}

void PtyLine::closePty()
{
    // Later, since this may run inside one of their own signals.
    for (QSocketNotifier **notifier : {&m_readNotifier, &m_timerNotifier}) {
        if (*notifier) {
            (*notifier)->setEnabled(false);
            (*notifier)->deleteLater();
        }
        *notifier = nullptr;
    }
    for (int *fd : {&m_master, &m_slave, &m_timer}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}
