#include "SerialReaderThread.h"

#include "SerialPort.h"

#include <cerrno>
#include <poll.h>
#include <sys/eventfd.h>
#include <system_error>
#include <unistd.h>

namespace {

void signal(int fd)
{
    // An eventfd write only fails when the counter would overflow, which
    // still leaves it readable: the signal is never lost.
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t done = ::write(fd, &one, sizeof one);
}

void closeIfOpen(int &fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

} // namespace

TSerialReaderThread::TSerialReaderThread(int deviceFd, std::function<void(Event)> report)
    : m_deviceFd(deviceFd)
    , m_report(std::move(report))
{
    m_stopFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    m_ackFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    try {
        if (m_stopFd < 0 || m_ackFd < 0)
            throw ESerialPort(ESerialPort::SetupFailed, errno);
        try {
            m_thread = std::thread(&TSerialReaderThread::run, this);
        } catch (const std::system_error &e) {
            throw ESerialPort(ESerialPort::SetupFailed, e.code().value());
        }
    } catch (...) {
        closeIfOpen(m_stopFd);
        closeIfOpen(m_ackFd);
        throw;
    }
}

TSerialReaderThread::~TSerialReaderThread()
{
    stop();
    closeIfOpen(m_stopFd);
    closeIfOpen(m_ackFd);
}

void TSerialReaderThread::Acknowledge()
{
    signal(m_ackFd);
}

void TSerialReaderThread::requestStop()
{
    signal(m_stopFd);
}

void TSerialReaderThread::stop()
{
    requestStop();
    if (m_thread.joinable())
        m_thread.join();
}

void TSerialReaderThread::run()
{
    for (;;) {
        pollfd fds[2] = {{m_stopFd, POLLIN, 0}, {m_deviceFd, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[0].revents)
            return;
        const short device = fds[1].revents;
        // A hang-up stays signalled for good: report it once and end,
        // rather than wake up for it again and again.
        if (device & (POLLHUP | POLLERR | POLLNVAL)) {
            m_report(Event::HungUp);
            return;
        }
        if (device & POLLIN) {
            m_report(Event::Received);
            if (!waitForAcknowledge())
                return;
        }
    }
}

bool TSerialReaderThread::waitForAcknowledge()
{
    for (;;) {
        pollfd fds[2] = {{m_stopFd, POLLIN, 0}, {m_ackFd, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (fds[0].revents)
            return false;
        std::uint64_t count = 0;
        [[maybe_unused]] const ssize_t done = ::read(m_ackFd, &count, sizeof count);
        return true;
    }
}
