#pragma once
// The signal history window: the signal level of the last ten minutes as a
// chart, with the level now and its minimum, maximum and average. It shows
// the status window's samples and redraws a few times a second at most.

#include <QWidget>

class QLabel;
class QPushButton;
class QTimer;
class SignalChart;
class SignalHistory;

class TFormSignal : public QWidget
{
    Q_OBJECT

public:
    static constexpr int RedrawDelay = 250; // ms: messages arriving meanwhile share one redraw
    static constexpr int SlideInterval = 1000; // ms: the time axis moves on without messages too

    explicit TFormSignal(const SignalHistory &history, QWidget *parent = nullptr);

    // Redraw soon, if shown: a sample arrived, or time moved the chart on.
    void scheduleRedraw();
    // Redraw now.
    void Refresh();

    SignalChart *chSignal;
    QLabel *lbSignalNow;
    QLabel *lbSignalMin;
    QLabel *lbSignalMax;
    QLabel *lbSignalAvg;
    QPushButton *btClose;

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    const SignalHistory &m_history;
    QTimer *m_redraw;
    QTimer *m_slide;
};
