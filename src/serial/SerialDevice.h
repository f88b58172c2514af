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
    // Sends all n bytes and waits until the driver's queue has taken them
    // out, within 100 ms per byte plus one second. Bytes that cannot all be
    // handed over by then fail the write (ETIMEDOUT): never half a frame in
    // silence. Returns n.
    int Write(const std::uint8_t *buffer, int n);
    // Until the queue is empty and the adapter has sent its own buffer too
    // (tcdrain once nothing is queued), within the queue's line time plus
    // DrainSlackMs. False when the line did not drain in time.
    bool drain() const;
    static constexpr int DrainSlackMs = 200;

    // Puts the line settings of every open device back as they were found;
    // async-signal-safe (only tcsetattr on descriptors already open).
    static void restoreAllForSignal() noexcept;

private:
    void configure(int baud);
    // True once the driver's output queue is empty.
    bool waitUntilSent(const QDeadlineTimer &deadline) const;
    void askLowLatency();
    void registerForSignals() noexcept;
    void unregisterForSignals() noexcept;

    int m_fd = -1;
    int m_baud = 0;
    bool m_locked = false;
    bool m_exclusive = false;
    bool m_haveSaved = false;
    bool m_owned = false; // locked and configured: its queues are ours
    bool m_lowLatencySet = false; // we turned the driver's low latency on
    int m_signalSlot = -1;
    termios m_saved{};
};
