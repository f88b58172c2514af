#include "LinePacer.h"

#include <algorithm>

namespace {
// Small writes a few milliseconds apart keep the wake-ups few without
// bunching the bytes noticeably.
constexpr LinePacer::Nanos WriteInterval = std::chrono::milliseconds(5);
} // namespace

LinePacer::LinePacer(Nanos byteTime)
    : m_byteTime(byteTime)
    , m_batch(byteTime.count() > 0 ? std::max<qsizetype>(1, WriteInterval / byteTime) : 1)
{
}

LinePacer::Nanos LinePacer::arrive(Nanos readTime)
{
    // The tool handed the byte over at readTime at the earliest, so its last
    // bit cannot be in before one byte time later.
    m_lastArrival = std::max(readTime, m_lastArrival) + m_byteTime;
    return m_lastArrival;
}

void LinePacer::enqueue(const QByteArray &bytes, Nanos notBefore)
{
    if (bytes.isEmpty())
        return;
    const Nanos start = std::max(notBefore, m_lineFree);
    m_lineFree = start + m_byteTime * bytes.size();
    m_queue.push_back({bytes, start});
}

LinePacer::Nanos LinePacer::dueTime(const Chunk &chunk, qsizetype index) const
{
    return chunk.start + m_byteTime * (index + 1);
}

QByteArray LinePacer::takeDue(Nanos now)
{
    QByteArray out;
    while (!m_queue.empty()) {
        Chunk &head = m_queue.front();
        qsizetype due = head.bytes.size();
        if (m_byteTime.count() > 0 && now < dueTime(head, due - 1))
            due = now < head.start ? 0 : std::min<qsizetype>(due, (now - head.start) / m_byteTime);
        if (due > head.sent) {
            out.append(head.bytes.constData() + head.sent, due - head.sent);
            head.sent = due;
        }
        if (head.sent < head.bytes.size())
            break;
        m_queue.pop_front();
    }
    return out;
}

std::optional<LinePacer::Nanos> LinePacer::nextWake() const
{
    if (m_queue.empty())
        return std::nullopt;
    const Chunk &head = m_queue.front();
    const qsizetype last = head.bytes.size() - 1;
    return dueTime(head, std::min(head.sent + m_batch - 1, last));
}
