#pragma once
// A one-row grid of one-character cells with a current cell, as the editor
// uses for phone numbers and event codes. It has no in-place editor: typed
// characters are handed out through characterTyped, and the owner decides
// what happens to the cells.
//
// Keys: Left/Right, Home/End move the current cell. Tab moves one cell right
// and Shift+Tab one cell left; at the last (first) cell they move the focus
// on to the next (previous) control, so the keyboard can always leave the grid.

#include "GridRules.h"

#include <QString>
#include <QStringList>
#include <QWidget>

#include <functional>

class CharGrid : public QWidget
{
    Q_OBJECT

public:
    static constexpr int CellWidth = 12;

    explicit CharGrid(int cellCount, QWidget *parent = nullptr);

    int cellCount() const { return static_cast<int>(m_cells.size()); }
    QString cell(int col) const;
    QStringList cells() const { return m_cells; }
    // Sets a cell's text as it is, as load does.
    void setCell(int col, const QString &text);
    void clearCells();

    int currentCell() const { return m_cursor; }
    void setCurrentCell(int col);

    GridRules::GridState state() const { return {m_cells, m_cursor}; }
    void setState(const GridRules::GridState &state);

    // A value committed for a cell from outside the typing rules: it passes
    // the guard first (see setCellValidator).
    void commitCell(int col, const QString &value);
    using Validator = std::function<QString(const QString &)>;
    void setCellValidator(Validator validator) { m_validator = std::move(validator); }

    // The whole value, for assistive tools: each cell's character from left
    // to right, an empty cell before a filled one as a blank.
    QString accessibleValue() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

signals:
    // Every character a key produces (Backspace as '\b'); the grid keeps none.
    void characterTyped(QChar ch);
    void cellsChanged();

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    int rowHeight() const;
    int cellAt(int x) const;
    void notifyChanged();

    QStringList m_cells;
    int m_cursor = 0;
    Validator m_validator;
};
