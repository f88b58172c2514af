#include "SerialPort.h"

#include "PortMap.h"
#include "SerialDevice.h"
#include "SerialReaderThread.h"

#include <QByteArray>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

QString NormalizePortName(const QString &text)
{
    QString rest = text;
    if (text.left(3).toUpper() == QLatin1String("COM"))
        rest = text.mid(3);
    bool ok = false;
    int number = rest.toInt(&ok, 10);
    if (!ok || number < PortMap::FirstPort || number > PortMap::LastPort)
        number = 1;
    return QStringLiteral("COM%1").arg(number);
}

namespace {

// Bytes taken off the device by a received-bytes event and not read yet.
// Taking them off keeps the device from waking the reader again for bytes a
// handler chose to leave; they are reported again with the next event.
class HeldInput
{
public:
    // Beyond this nobody is reading; like a full driver queue, newer bytes
    // are dropped.
    static constexpr int Limit = 64 * 1024;

    int size() const { return static_cast<int>(m_bytes.size()) - m_head; }
    void clear()
    {
        m_bytes.clear();
        m_head = 0;
    }

    int take(std::uint8_t *buffer, int n)
    {
        const int count = std::min(n, size());
        std::memcpy(buffer, m_bytes.constData() + m_head, static_cast<size_t>(count));
        m_head += count;
        if (m_head == m_bytes.size())
            clear();
        return count;
    }

    // Takes what the device holds now; with nothing announced, still tries
    // one byte, so that a hung-up device shows as a read failure.
    void fill(SerialDevice &device)
    {
        const int wanted = std::max(1, device.queuedInput());
        std::uint8_t chunk[1024];
        for (int taken = 0; taken < wanted;) {
            const int got = device.Read(chunk, std::min<int>(sizeof chunk, wanted - taken));
            if (got == 0)
                break;
            taken += got;
            const int room = std::clamp(Limit - size(), 0, got);
            if (m_head > 0 && m_head >= size()) {
                m_bytes.remove(0, m_head);
                m_head = 0;
            }
            m_bytes.append(reinterpret_cast<const char *>(chunk), room);
        }
    }

private:
    QByteArray m_bytes;
    int m_head = 0;
};

// Failures of a device that has gone away rather than misbehaved.
bool IsHangup(int osError)
{
    return osError == EIO || osError == ENXIO || osError == ENODEV;
}

} // namespace

struct TSerialPort::Private
{
    QString port = QStringLiteral("COM1");
    int baudRate = 9600;
    SerialDevice device;
    std::unique_ptr<TSerialReaderThread> reader;
    HeldInput held;
    // Counts opens and closes, so that a report posted by an earlier
    // reader is recognised and ignored.
    quint64 generation = 0;
    bool hungUp = false;

    void handleReceived(TSerialPort &q, quint64 reportGeneration);
    void HandleHangup(TSerialPort &q, quint64 reportGeneration);
    bool RaiseRxChar(TSerialPort &q);
    void RaiseHangup(TSerialPort &q);
};

// Runs on the user-interface thread for each Received report; the reader
// sleeps until this acknowledges or stops it.
void TSerialPort::Private::handleReceived(TSerialPort &q, quint64 reportGeneration)
{
    if (reportGeneration != generation || !reader)
        return;
    bool hangup = false;
    bool failed = false;
    try {
        held.fill(device);
    } catch (const ESerialPort &e) {
        // A failed queue query ends the reader quietly, unless the device
        // is gone; then the owner hears of it.
        hangup = e.Code() != ESerialPort::QueueQueryFailed || IsHangup(e.osError());
        failed = true;
    }
    if (!RaiseRxChar(q))
        failed = true;
    if (reportGeneration != generation)
        return; // the handler closed or re-opened the port
    if (!failed) {
        reader->Acknowledge();
        return;
    }
    reader->requestStop();
    if (hangup)
        RaiseHangup(q);
}

// Runs on the user-interface thread once the reader has seen a hang-up and
// ended: what was still queued is reported first.
void TSerialPort::Private::HandleHangup(TSerialPort &q, quint64 reportGeneration)
{
    if (reportGeneration != generation)
        return;
    try {
        held.fill(device);
    } catch (const ESerialPort &) {
        // Gone: what was read so far is all there is.
    }
    RaiseRxChar(q);
    if (reportGeneration == generation)
        RaiseHangup(q);
}

// False when the handler failed; its error ends the reader quietly.
bool TSerialPort::Private::RaiseRxChar(TSerialPort &q)
{
    const int count = held.size();
    if (count == 0 || !q.OnRxChar)
        return true;
    try {
        q.OnRxChar(count);
    } catch (...) {
        return false;
    }
    return true;
}

void TSerialPort::Private::RaiseHangup(TSerialPort &q)
{
    if (hungUp)
        return;
    hungUp = true;
    if (!q.OnHangup)
        return;
    try {
        q.OnHangup();
    } catch (...) {
        // Errors must not unwind through the event loop.
    }
}

TSerialPort::TSerialPort(QObject *parent)
    : QObject(parent)
    , d(new Private)
{
}

TSerialPort::~TSerialPort()
{
    Close();
    delete d;
}

QString TSerialPort::Port() const
{
    return d->port;
}

void TSerialPort::setPort(const QString &name)
{
    const QString port = NormalizePortName(name);
    if (port == d->port)
        return;
    const bool wasOpen = Connected();
    Close();
    d->port = port;
    if (wasOpen)
        Open();
}

int TSerialPort::BaudRate() const
{
    return d->baudRate;
}

void TSerialPort::setBaudRate(int baud)
{
    d->baudRate = baud;
}

bool TSerialPort::Connected() const
{
    return d->device.isOpen();
}

quint64 TSerialPort::openingNumber() const
{
    return d->generation;
}

qint64 TSerialPort::byteNanos() const
{
    return d->baudRate > 0 ? 10'000'000'000LL / d->baudRate : 0;
}

void TSerialPort::drain()
{
    if (Connected() && !d->hungUp)
        d->device.drain();
}

void RestoreOpenPortsForSignal() noexcept
{
    SerialDevice::restoreAllForSignal();
}

void TSerialPort::setConnected(bool connected)
{
    if (connected)
        Open();
    else
        Close();
}

QString TSerialPort::devicePath() const
{
    return PortMap::devicePath(PortMap::portNumber(d->port));
}

void TSerialPort::Open()
{
    if (Connected())
        return;
    const QString path = devicePath();
    if (path.isEmpty())
        throw ESerialPort(ESerialPort::OpenFailed, ENOENT);
    d->device.Open(path, d->baudRate);
    d->held.clear();
    d->hungUp = false;
    const quint64 generation = ++d->generation;
    auto report = [this, generation](TSerialReaderThread::Event event) {
        // Posted, never waited for: the reader then sleeps until the
        // handler acknowledges or Close() stops it.
        QMetaObject::invokeMethod(
            this,
            [this, generation, event] {
                if (event == TSerialReaderThread::Event::Received)
                    d->handleReceived(*this, generation);
                else
                    d->HandleHangup(*this, generation);
            },
            Qt::QueuedConnection);
    };
    try {
        d->reader = std::make_unique<TSerialReaderThread>(d->device.descriptor(), report);
    } catch (...) {
        d->device.Close();
        throw;
    }
}

void TSerialPort::Close()
{
    if (!Connected())
        return;
    ++d->generation;
    d->reader.reset(); // stops and joins; a report still in the queue is now stale
    d->device.Close();
    d->held.clear();
    d->hungUp = false;
}

int TSerialPort::ReadBytes(std::uint8_t *buffer, int n)
{
    if (!Connected())
        throw ESerialPort(ESerialPort::ReadFailed, EBADF);
    if (n <= 0 || !buffer)
        return 0;
    int count = d->held.take(buffer, n);
    if (count == n)
        return count;
    try {
        count += d->device.Read(buffer + count, n - count);
    } catch (const ESerialPort &) {
        if (count == 0)
            throw;
    }
    return count;
}

int TSerialPort::WriteBytes(const std::uint8_t *buffer, int n)
{
    if (!Connected())
        throw ESerialPort(ESerialPort::WriteFailed, EBADF);
    if (d->hungUp)
        throw ESerialPort(ESerialPort::WriteFailed, EIO);
    return d->device.Write(buffer, n);
}

int TSerialPort::WriteText(const QByteArray &text)
{
    return WriteBytes(reinterpret_cast<const std::uint8_t *>(text.constData()),
                      static_cast<int>(text.size()));
}
