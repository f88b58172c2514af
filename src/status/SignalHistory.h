#pragma once
// The GSM signal level over time: one sample per status message, kept for a
// day (oldest dropped first), summed up over the last ten minutes for the
// signal history window. Times are milliseconds of a steady clock, given by
// the caller, so that the arithmetic is testable without waiting.

#include <QtGlobal>
#include <deque>
#include <vector>

class SignalHistory
{
public:
    static constexpr qint64 MinuteMs = 60 * 1000;
    static constexpr qint64 WindowMs = 10 * MinuteMs;
    static constexpr qint64 KeepMs = 24 * 60 * MinuteMs;

    struct Sample
    {
        qint64 timeMs = 0;
        int level = 0;
    };

    struct Summary
    {
        int count = 0; // samples in the window; the rest is meaningless at 0
        int now = 0;   // the latest sample's level
        int min = 0;
        int max = 0;
        double average = 0.0;
    };

    // A time earlier than the last sample's counts as the last sample's, so
    // the samples stay in order.
    void add(qint64 timeMs, int level);

    // The process's steady clock in milliseconds, for callers without one.
    static qint64 clockMs();

    // The samples of the window (windowMs up to nowMs), oldest first.
    std::vector<Sample> window(qint64 nowMs, qint64 windowMs = WindowMs) const;
    Summary summary(qint64 nowMs, qint64 windowMs = WindowMs) const;

    std::size_t size() const { return m_samples.size(); }
    const Sample &oldest() const { return m_samples.front(); }

private:
    std::deque<Sample>::const_iterator firstIn(qint64 nowMs, qint64 windowMs) const;

    std::deque<Sample> m_samples;
};
