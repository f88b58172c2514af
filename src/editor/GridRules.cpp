#include "GridRules.h"

namespace GridRules {
namespace {

bool isDigit(QChar c) { return c >= u'0' && c <= u'9'; }

bool isEventSymbol(QChar c)
{
    return isDigit(c) || (c >= u'A' && c <= u'F') || c == u'*';
}

void backspace(GridState &grid)
{
    if (grid.cursor > 0)
        --grid.cursor;
    for (int i = grid.cursor; i < grid.cells.size(); ++i)
        grid.cells[i].clear();
}

// The cursor never runs past the last cell: a further symbol replaces it.
void put(GridState &grid, QChar symbol)
{
    if (grid.cursor < 0 || grid.cursor >= grid.cells.size())
        return;
    grid.cells[grid.cursor] = QString(symbol);
    if (grid.cursor + 1 < grid.cells.size())
        ++grid.cursor;
}

} // namespace

void DigitGridKeyPress(GridState &grid, QChar typed)
{
    if (typed == Backspace)
        backspace(grid);
    else if (isDigit(typed))
        put(grid, typed);
}

void EventGridKeyPress(GridState &grid, QChar typed)
{
    // Only a-z are folded; other letters stay as typed and are then rejected.
    if (typed >= u'a' && typed <= u'z')
        typed = QChar(typed.unicode() - u'a' + u'A');
    if (typed == Backspace)
        backspace(grid);
    else if (isEventSymbol(typed))
        put(grid, typed);
}

QString digitCellValidate(const QString &value)
{
    if (!value.isEmpty() && isDigit(value.front()))
        return QString(value.front());
    return {};
}

QString eventCellValidate(const QString &value)
{
    if (value.isEmpty())
        return {};
    QChar first = value.front();
    if (first >= u'a' && first <= u'z')
        first = QChar(first.unicode() - u'a' + u'A');
    return isEventSymbol(first) ? QString(first) : QString();
}

} // namespace GridRules
