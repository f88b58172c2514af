#include "SignalChart.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace {

constexpr int LeftMargin = 30;
constexpr int RightMargin = 12;
constexpr int TopMargin = 10;
constexpr int BottomMargin = 34;
constexpr int GridLevels[] = {10, 20, SignalChart::MaxLevel};
constexpr int MinuteStep = 2;

} // namespace

SignalChart::SignalChart(QWidget *parent)
    : QWidget(parent)
{
    setMinimumSize(320, 180);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void SignalChart::setSamples(std::vector<SignalHistory::Sample> samples, qint64 nowMs, qint64 spanMs)
{
    m_samples = std::move(samples);
    m_nowMs = nowMs;
    m_spanMs = std::max<qint64>(spanMs, 1);
    update();
}

void SignalChart::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Base));
    const QRectF plot(LeftMargin, TopMargin, width() - LeftMargin - RightMargin,
                      height() - TopMargin - BottomMargin);
    const auto yOf = [&](int level) {
        return plot.bottom() - plot.height() * std::clamp(level, 0, MaxLevel) / MaxLevel;
    };
    const auto xOf = [&](qint64 t) { return plot.right() - plot.width() * double(m_nowMs - t) / double(m_spanMs); };

    const QColor text = palette().color(QPalette::Text);
    QColor grid = palette().color(QPalette::Mid);
    const QFontMetrics fm(font());

    p.setPen(QPen(grid, 1, Qt::DotLine));
    for (int level : GridLevels) {
        const double y = yOf(level);
        p.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
    }
    p.setPen(text);
    for (int level : {0, 10, 20, MaxLevel}) {
        const QRectF label(0, yOf(level) - fm.height() / 2.0, LeftMargin - 4, fm.height());
        p.drawText(label, Qt::AlignRight | Qt::AlignVCenter, QString::number(level));
    }

    // Minutes before now along the bottom.
    const int minutes = static_cast<int>(m_spanMs / SignalHistory::MinuteMs);
    for (int m = 0; m <= minutes; m += MinuteStep) {
        const double x = xOf(m_nowMs - m * SignalHistory::MinuteMs);
        p.setPen(grid);
        p.drawLine(QPointF(x, plot.bottom()), QPointF(x, plot.bottom() + 3));
        p.setPen(text);
        p.drawText(QRectF(x - 20, plot.bottom() + 3, 40, fm.height()), Qt::AlignHCenter | Qt::AlignTop,
                   QString::number(m));
    }
    p.drawText(QRectF(plot.left(), plot.bottom() + 3 + fm.height(), plot.width(), fm.height()),
               Qt::AlignHCenter | Qt::AlignTop, tr("minutes before now"));
    p.setPen(grid);
    p.drawRect(plot);
    if (hasFocus()) {
        p.setPen(QPen(palette().color(QPalette::Highlight), 1, Qt::DashLine));
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }

    QPainterPath path;
    qint64 last = 0;
    for (const SignalHistory::Sample &s : m_samples) {
        const QPointF point(std::max(xOf(s.timeMs), plot.left()), yOf(s.level));
        if (path.elementCount() == 0 || s.timeMs - last > GapMs)
            path.moveTo(point);
        else
            path.lineTo(point);
        last = s.timeMs;
    }
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(palette().color(QPalette::Highlight), 2));
    p.drawPath(path);
    // A lone sample between gaps still shows as a dot.
    if (m_samples.size() == 1)
        p.drawEllipse(path.currentPosition(), 2, 2);
}
