#include "FormSignal.h"

#include "SignalChart.h"
#include "SignalHistory.h"

#include "ui/WindowHelpers.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace {

QLabel *figure(QWidget *parent, const char *name, const QString &meaning)
{
    auto *label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setAccessibleDescription(meaning);
    label->setMinimumWidth(90);
    return label;
}

} // namespace

TFormSignal::TFormSignal(const SignalHistory &history, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_history(history)
{
    setObjectName(QStringLiteral("FormSignal"));
    setWindowTitle(QStringLiteral("Quelmar5 - Signal history"));

    chSignal = new SignalChart(this);
    chSignal->setObjectName(QStringLiteral("chSignal"));
    chSignal->setAccessibleName(QStringLiteral("Signal level of the last 10 minutes"));
    // Reachable by Tab, so that a screen reader reads its description.
    chSignal->setFocusPolicy(Qt::TabFocus);
    lbSignalNow = figure(this, "lbSignalNow", QStringLiteral("Signal level now"));
    lbSignalMin = figure(this, "lbSignalMin", QStringLiteral("Lowest signal level of the last 10 minutes"));
    lbSignalMax = figure(this, "lbSignalMax", QStringLiteral("Highest signal level of the last 10 minutes"));
    lbSignalAvg = figure(this, "lbSignalAvg", QStringLiteral("Average signal level of the last 10 minutes"));

    auto *figures = new QHBoxLayout;
    for (QLabel *label : {lbSignalNow, lbSignalMin, lbSignalMax, lbSignalAvg})
        figures->addWidget(label);
    figures->addStretch();
    btClose = new QPushButton(QStringLiteral("&Close"), this);
    btClose->setObjectName(QStringLiteral("btClose"));
    figures->addWidget(btClose);
    connect(btClose, &QPushButton::clicked, this, &QWidget::close);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(chSignal, 1);
    layout->addLayout(figures);
    resize(520, 300);
    keyboardWindow(this, true);

    m_redraw = new QTimer(this);
    m_redraw->setSingleShot(true);
    m_redraw->setInterval(RedrawDelay);
    m_slide = new QTimer(this);
    m_slide->setInterval(SlideInterval);
    connect(m_redraw, &QTimer::timeout, this, &TFormSignal::Refresh);
    connect(m_slide, &QTimer::timeout, this, &TFormSignal::scheduleRedraw);
    Refresh();
}

void TFormSignal::scheduleRedraw()
{
    if (isVisible() && !m_redraw->isActive())
        m_redraw->start();
}

void TFormSignal::Refresh()
{
    const qint64 now = SignalHistory::clockMs();
    const SignalHistory::Summary s = m_history.summary(now);
    const auto shown = [&](int value) { return s.count ? QString::number(value) : QStringLiteral("-"); };
    lbSignalNow->setText(QStringLiteral("Now ") + shown(s.now));
    lbSignalMin->setText(QStringLiteral("Min ") + shown(s.min));
    lbSignalMax->setText(QStringLiteral("Max ") + shown(s.max));
    lbSignalAvg->setText(QStringLiteral("Average ") + (s.count ? QString::number(s.average, 'f', 1) : QStringLiteral("-")));
    chSignal->setAccessibleDescription(
        s.count ? QStringLiteral("Now %1, min %2, max %3, average %4, from %5 status messages")
                      .arg(s.now)
                      .arg(s.min)
                      .arg(s.max)
                      .arg(QString::number(s.average, 'f', 1))
                      .arg(s.count)
                : QStringLiteral("No signal level received in the last 10 minutes"));
    chSignal->setSamples(m_history.window(now), now, SignalHistory::WindowMs);
}

void TFormSignal::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    Refresh();
    m_slide->start();
}

void TFormSignal::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    m_slide->stop();
    m_redraw->stop();
}
