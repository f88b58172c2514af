#pragma once
// One serial device held open with the module's line settings: the system
// calls behind TSerialPort. Failures throw ESerialPort; closing never does.

#include <QDeadlineTimer>
#include <QString>
#include <termios.h>

#include <cstdint>

class SerialDevice
{
public:
    SerialDevice() = default;
    ~SerialDevice() { Close(); }
    SerialDevice(const SerialDevice &) = delete;
    SerialDevice &operator=(const SerialDevice &) = delete;

    bool isOpen() const { return m_fd >= 0; }
    int descriptor() const { return m_fd; }

    // Opens the device exclusively (advisory lock plus TIOCEXCL), raw 8N1 at
    // baud without flow control, DTR and RTS raised. On failure nothing
    // stays open and the device's queues are left as they were.
    void Open(const QString &path, int baud);
    // Discards both queues of an opened line, restores the settings found
    // at open, releases the device.
    void Close() noexcept;

    // Bytes waiting in the input queue.
    int queuedInput() const;
    // Never waits: 0 when nothing is queued.
    int Read(std::uint8_t *buffer, int n);
    // Sends all n bytes and waits until they have left, within 100 ms per
    // byte plus one second; returns the count sent by then.
    int Write(const std::uint8_t *buffer, int n);

private:
    void configure(int baud);
    void waitUntilSent(const QDeadlineTimer &deadline) const;

    int m_fd = -1;
    int m_baud = 0;
    bool m_locked = false;
    bool m_exclusive = false;
    bool m_haveSaved = false;
    bool m_owned = false; // locked and configured: its queues are ours
    termios m_saved{};
};
