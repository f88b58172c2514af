#pragma once
// What the frame codec needs of a serial port. The real port implements it;
// tests and the in-process simulator give their own.

#include <QByteArray>
#include <QtGlobal>
#include <cstdint>

class PortIo
{
public:
    virtual ~PortIo() = default;

    // Copies up to n queued received bytes; never waits. Returns the count.
    virtual int ReadBytes(std::uint8_t *buffer, int n) = 0;
    // Returns once the bytes have left (or the write timed out), with the
    // count sent. Throws ESerialPort (code 2) on a closed or failed port.
    virtual int WriteBytes(const std::uint8_t *buffer, int n) = 0;
    virtual int WriteText(const QByteArray &text) = 0;
    virtual bool Connected() const = 0;
    // Changes whenever the port opens or closes: an operation that started
    // under one value belongs to that opening and must not go on under
    // another (a port closed and opened again, on another device say).
    virtual quint64 openingNumber() const { return 0; }
    // The time one byte takes on the line (10 bits), in nanoseconds; 0 where
    // there is no line to wait for (an in-process module).
    virtual qint64 byteNanos() const { return 0; }
    // Waits, within a bound, until what was written has left the port, the
    // adapter's own buffer included. Never throws.
    virtual void drain() {}
};
