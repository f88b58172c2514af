#pragma once
// Timing of a serial line at a given speed, in both directions: when each
// received byte would have arrived, and when each byte to send is due.
// Times are steady-clock nanoseconds; a byte time of zero means no pacing.

#include <QByteArray>
#include <chrono>
#include <deque>
#include <optional>

class LinePacer
{
public:
    using Nanos = std::chrono::nanoseconds;

    // Ten bits per byte: start, eight data bits, stop.
    static Nanos byteTimeFor(int baud) { return Nanos(10'000'000'000LL / baud); }

    explicit LinePacer(Nanos byteTime);

    // The moment a byte read at readTime has fully arrived: one byte time
    // after it was read, or after the byte before it, whichever is later.
    Nanos arrive(Nanos readTime);

    // The bytes go out one byte time each, starting no earlier than notBefore
    // and after everything queued before them.
    void enqueue(const QByteArray &bytes, Nanos notBefore);
    // The bytes whose last bit is on the line by now.
    QByteArray takeDue(Nanos now);
    // When the next few bytes (about 5 ms worth, or the end of a frame) are
    // due; nothing if the queue is empty.
    std::optional<Nanos> nextWake() const;
    bool empty() const { return m_queue.empty(); }

private:
    struct Chunk
    {
        QByteArray bytes;
        Nanos start;
        qsizetype sent = 0;
    };
    Nanos dueTime(const Chunk &chunk, qsizetype index) const;

    Nanos m_byteTime;
    qsizetype m_batch;
    Nanos m_lastArrival{0};
    Nanos m_lineFree{0};
    std::deque<Chunk> m_queue;
};
