#pragma once
// Typing rules of the editor's one-row grids, kept apart from the widget so
// they can be checked on plain data.

#include <QChar>
#include <QString>
#include <QStringList>

namespace GridRules {

// A one-row grid: the cell texts and the current cell.
struct GridState {
    QStringList cells;
    int cursor = 0;
};

inline constexpr QChar Backspace{u'\b'};

// Digit grids (phone numbers and prefixes). Backspace steps back one cell and
// empties everything from there on; a digit fills the current cell and moves
// on unless it is the last; anything else is dropped.
void DigitGridKeyPress(GridState &grid, QChar typed);

// Event code grids: as the digit grids, but letters are upper-cased and
// "0"-"9", "A"-"F" and "*" are accepted.
void EventGridKeyPress(GridState &grid, QChar typed);

// Guards for a value committed to a cell from outside the key rules.
QString digitCellValidate(const QString &value);
QString eventCellValidate(const QString &value);

} // namespace GridRules
