#include "SignalHistory.h"

#include <QElapsedTimer>

#include <algorithm>

qint64 SignalHistory::clockMs()
{
    static const QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return clock.elapsed();
}

void SignalHistory::add(qint64 timeMs, int level)
{
    if (!m_samples.empty())
        timeMs = std::max(timeMs, m_samples.back().timeMs);
    m_samples.push_back({timeMs, level});
    while (m_samples.front().timeMs <= timeMs - KeepMs)
        m_samples.pop_front();
}

std::deque<SignalHistory::Sample>::const_iterator SignalHistory::firstIn(qint64 nowMs, qint64 windowMs) const
{
    // A sample exactly windowMs old has left the window.
    return std::upper_bound(m_samples.begin(), m_samples.end(), nowMs - windowMs,
                            [](qint64 t, const Sample &s) { return t < s.timeMs; });
}

std::vector<SignalHistory::Sample> SignalHistory::window(qint64 nowMs, qint64 windowMs) const
{
    return {firstIn(nowMs, windowMs), m_samples.end()};
}

SignalHistory::Summary SignalHistory::summary(qint64 nowMs, qint64 windowMs) const
{
    Summary s;
    auto it = firstIn(nowMs, windowMs);
    if (it == m_samples.end())
        return s;
    s.min = s.max = it->level;
    qint64 sum = 0;
    for (; it != m_samples.end(); ++it) {
        s.min = std::min(s.min, it->level);
        s.max = std::max(s.max, it->level);
        sum += it->level;
        ++s.count;
    }
    s.now = m_samples.back().level;
    s.average = static_cast<double>(sum) / s.count;
    return s;
}
