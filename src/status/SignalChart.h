#pragma once
// A small painted chart of the signal level over the last minutes: level 0
// to 31 upwards with grid lines at 10, 20 and 31, minutes before now along
// the bottom, now at the right.

#include "SignalHistory.h"

#include <QWidget>
#include <vector>

class SignalChart : public QWidget
{
    Q_OBJECT

public:
    static constexpr int MaxLevel = 31;
    // Samples further apart than this are not joined: the line was silent.
    static constexpr qint64 GapMs = 5000;

    explicit SignalChart(QWidget *parent = nullptr);

    void setSamples(std::vector<SignalHistory::Sample> samples, qint64 nowMs, qint64 spanMs);

    QSize sizeHint() const override { return {480, 240}; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    std::vector<SignalHistory::Sample> m_samples;
    qint64 m_nowMs = 0;
    qint64 m_spanMs = SignalHistory::WindowMs;
};
