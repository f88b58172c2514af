#pragma once
// A small grid of texts and its text file. The file is a header line
// "columns,rows", one line "cw c,width" per column and one line
// "column,row,text" per non-empty cell, row by row; Windows-1250, CR LF.

#include "common/QuelmarError.h"

#include <QString>
#include <QStringList>
#include <QStringView>
#include <map>
#include <optional>
#include <utility>
#include <vector>

// A failed save or load; message() is the text to show the user.
class GridFileError : public QuelmarError
{
public:
    using QuelmarError::QuelmarError;
};

class GridTextFile
{
public:
    static constexpr int DefaultColumnWidth = 64;
    // A header asking for more is taken as a damaged file. Every column costs
    // a line in the file, so a damaged header must not make each start-up
    // read and write thousands of them; real grids here are a few cells.
    static constexpr int MaxDimension = 256;

    explicit GridTextFile(int columns = 1, int rows = 1);

    int columnCount() const { return static_cast<int>(m_widths.size()); }
    int rowCount() const { return m_rows; }
    // Clamped to 1..MaxDimension. Cells outside the new size are dropped,
    // added columns are DefaultColumnWidth wide.
    void setSize(int columns, int rows);

    // Outside the grid: 0, and setting does nothing.
    int ColumnWidth(int column) const;
    void setColumnWidth(int column, int width);

    // Outside the grid: "", and setting does nothing.
    QString cell(int column, int row) const;
    void setCell(int column, int row, const QString &text);

    // Throws GridFileError("Cannot Create " + fileName). The file is written
    // beside the target and renamed into place, so a failed save leaves the
    // old file as it was.
    void SaveGridFile(const QString &fileName) const;

    // Throws GridFileError("Cannot open file " + fileName) or
    // ("File contains no data or corrupt file " + fileName); on an error the
    // grid is unchanged. Cells the file does not name keep their text.
    void LoadGridFile(const QString &fileName);

    // The file's lines without their line ends, and back. The name only goes
    // into the error message.
    QStringList toLines() const;
    void fromLines(const QStringList &lines, const QString &fileName);

    // Multi-line texts travel with CR as TAB and LF as BS; a text with neither
    // is written as it is. Decoding keeps the first line only.
    static QString encodeCellText(const QString &text);
    static QString decodeCellText(const QString &text);

    // The integer a field begins with: blanks skipped, an optional sign,
    // digits up to the first other character; no digits give 0. Saturates
    // instead of overflowing.
    static int leadingInteger(QStringView field);
    // The same, but nullopt when the field has no digits where they belong.
    static std::optional<int> leadingNumber(QStringView field);

private:
    bool contains(int column, int row) const;
    void readBodyLine(QStringView line);

    std::vector<int> m_widths;
    int m_rows = 1;
    // Non-empty cells only, keyed (row, column): the file's order.
    std::map<std::pair<int, int>, QString> m_cells;
};
