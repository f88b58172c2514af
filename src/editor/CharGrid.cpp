#include "CharGrid.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <mutex>

namespace {

// Exposes the grid's content as its value, so a screen reader reads the
// number rather than nothing.
class CharGridAccessible : public QAccessibleWidget
{
public:
    explicit CharGridAccessible(CharGrid *grid)
        : QAccessibleWidget(grid, QAccessible::EditableText)
    {
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return static_cast<CharGrid *>(widget())->accessibleValue();
        return QAccessibleWidget::text(t);
    }
};

QAccessibleInterface *charGridFactory(const QString &className, QObject *object)
{
    if (className == QLatin1String("CharGrid") && object && object->isWidgetType())
        return new CharGridAccessible(static_cast<CharGrid *>(object));
    return nullptr;
}

} // namespace

CharGrid::CharGrid(int cellCount, QWidget *parent)
    : QWidget(parent)
{
    static std::once_flag factoryInstalled;
    std::call_once(factoryInstalled, [] { QAccessible::installFactory(charGridFactory); });

    for (int i = 0; i < std::max(cellCount, 1); ++i)
        m_cells << QString();
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QString CharGrid::cell(int col) const
{
    return col >= 0 && col < cellCount() ? m_cells[col] : QString();
}

void CharGrid::setCell(int col, const QString &text)
{
    if (col < 0 || col >= cellCount() || m_cells[col] == text)
        return;
    m_cells[col] = text;
    notifyChanged();
}

void CharGrid::clearCells()
{
    bool changed = false;
    for (QString &c : m_cells) {
        changed = changed || !c.isEmpty();
        c.clear();
    }
    if (changed)
        notifyChanged();
}

void CharGrid::setCurrentCell(int col)
{
    col = std::clamp(col, 0, cellCount() - 1);
    if (col == m_cursor)
        return;
    m_cursor = col;
    update();
}

void CharGrid::setState(const GridRules::GridState &state)
{
    for (int i = 0; i < cellCount(); ++i)
        setCell(i, state.cells.value(i));
    setCurrentCell(state.cursor);
}

void CharGrid::commitCell(int col, const QString &value)
{
    setCell(col, m_validator ? m_validator(value) : value);
}

QString CharGrid::accessibleValue() const
{
    // Every cell, an empty one inside the value as a blank: "12 4" is not "124".
    QString value;
    for (const QString &c : m_cells)
        value += c.isEmpty() ? QLatin1Char(' ') : c.front();
    while (value.endsWith(QLatin1Char(' ')))
        value.chop(1);
    return value;
}

int CharGrid::rowHeight() const
{
    return std::max(16, fontMetrics().height() + 4);
}

QSize CharGrid::sizeHint() const
{
    // A one-pixel line left of every cell and one closing the row.
    return {cellCount() * (CellWidth + 1) + 1, rowHeight() + 2};
}

int CharGrid::cellAt(int x) const
{
    return std::clamp((x - 1) / (CellWidth + 1), 0, cellCount() - 1);
}

void CharGrid::notifyChanged()
{
    update();
    emit cellsChanged();
    if (QAccessible::isActive()) {
        QAccessibleValueChangeEvent ev(this, accessibleValue());
        QAccessible::updateAccessibility(&ev);
    }
}

bool CharGrid::event(QEvent *e)
{
    // Tab steps through the cells before it leaves the grid; QWidget would
    // otherwise move the focus on before keyPressEvent sees the key.
    if (e->type() == QEvent::KeyPress) {
        auto *k = static_cast<QKeyEvent *>(e);
        const bool plain = !(k->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
        const bool back = k->key() == Qt::Key_Backtab
                          || (k->key() == Qt::Key_Tab && (k->modifiers() & Qt::ShiftModifier));
        if (plain && back && m_cursor > 0) {
            setCurrentCell(m_cursor - 1);
            return true;
        }
        if (plain && !back && k->key() == Qt::Key_Tab && m_cursor + 1 < cellCount()) {
            setCurrentCell(m_cursor + 1);
            return true;
        }
    }
    return QWidget::event(e);
}

void CharGrid::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Left:
        setCurrentCell(m_cursor - 1);
        return;
    case Qt::Key_Right:
        setCurrentCell(m_cursor + 1);
        return;
    case Qt::Key_Home:
        setCurrentCell(0);
        return;
    case Qt::Key_End:
        setCurrentCell(cellCount() - 1);
        return;
    case Qt::Key_Backspace:
        emit characterTyped(GridRules::Backspace);
        return;
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // Left to the dialog around the grid.
        event->ignore();
        return;
    default:
        break;
    }
    const QString text = event->text();
    if (text.isEmpty() || (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        event->ignore();
        return;
    }
    for (QChar ch : text)
        emit characterTyped(ch);
}

void CharGrid::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        setCurrentCell(cellAt(qRound(event->position().x())));
    QWidget::mousePressEvent(event);
}

void CharGrid::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const QPalette &pal = palette();
    const bool enabled = isEnabled();
    const int h = rowHeight();
    const int w = cellCount() * (CellWidth + 1) + 1;

    p.fillRect(0, 0, w, h + 2, pal.color(enabled ? QPalette::Base : QPalette::Window));

    for (int i = 0; i < cellCount(); ++i) {
        const QRect cellRect(1 + i * (CellWidth + 1), 1, CellWidth, h);
        QColor textColor = pal.color(enabled ? QPalette::Text : QPalette::PlaceholderText);
        // The current cell is marked only where typing would go, so that a
        // page of grids does not show a mark in each of them.
        if (i == m_cursor && enabled && hasFocus()) {
            p.fillRect(cellRect, pal.color(QPalette::Highlight));
            textColor = pal.color(QPalette::HighlightedText);
        }
        p.setPen(textColor);
        p.drawText(cellRect, Qt::AlignCenter, m_cells[i].left(1));
    }

    p.setPen(pal.color(enabled ? QPalette::Mid : QPalette::Midlight));
    for (int i = 0; i <= cellCount(); ++i) {
        const int x = i * (CellWidth + 1);
        p.drawLine(x, 0, x, h + 1);
    }
    p.drawLine(0, 0, w - 1, 0);
    p.drawLine(0, h + 1, w - 1, h + 1);

    if (hasFocus()) {
        p.setPen(pal.color(QPalette::Highlight));
        p.drawRect(0, 0, w - 1, h + 1);
    }
}
