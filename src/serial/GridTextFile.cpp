#include "GridTextFile.h"

#include "TextLineFile.h"

#include <algorithm>
#include <limits>

GridTextFile::GridTextFile(int columns, int rows)
{
    setSize(columns, rows);
}

void GridTextFile::setSize(int columns, int rows)
{
    columns = std::clamp(columns, 1, MaxDimension);
    rows = std::clamp(rows, 1, MaxDimension);
    m_widths.resize(static_cast<std::size_t>(columns), DefaultColumnWidth);
    m_rows = rows;
    std::erase_if(m_cells, [this](const auto &cell) {
        return !contains(cell.first.second, cell.first.first);
    });
}

bool GridTextFile::contains(int column, int row) const
{
    return column >= 0 && column < columnCount() && row >= 0 && row < m_rows;
}

int GridTextFile::ColumnWidth(int column) const
{
    return column >= 0 && column < columnCount() ? m_widths[static_cast<std::size_t>(column)] : 0;
}

void GridTextFile::setColumnWidth(int column, int width)
{
    if (column >= 0 && column < columnCount())
        m_widths[static_cast<std::size_t>(column)] = std::max(width, 0);
}

QString GridTextFile::cell(int column, int row) const
{
    const auto it = m_cells.find({row, column});
    return it == m_cells.end() ? QString() : it->second;
}

void GridTextFile::setCell(int column, int row, const QString &text)
{
    if (!contains(column, row))
        return;
    if (text.isEmpty())
        m_cells.erase({row, column});
    else
        m_cells[{row, column}] = text;
}

QStringList GridTextFile::toLines() const
{
    QStringList lines;
    lines.append(QStringLiteral("%1,%2").arg(columnCount()).arg(m_rows));
    for (int c = 0; c < columnCount(); ++c)
        lines.append(QStringLiteral("cw %1,%2").arg(c).arg(ColumnWidth(c)));
    for (const auto &[place, text] : m_cells)
        lines.append(QStringLiteral("%1,%2,").arg(place.second).arg(place.first) + encodeCellText(text));
    return lines;
}

void GridTextFile::SaveGridFile(const QString &fileName) const
{
    if (TextLineFile::Write(fileName, toLines()) != 0)
        throw GridFileError(QStringLiteral("Cannot Create ") + fileName);
}

void GridTextFile::LoadGridFile(const QString &fileName)
{
    const auto lines = TextLineFile::Read(fileName);
    if (!lines)
        throw GridFileError(QStringLiteral("Cannot open file ") + fileName);
    fromLines(*lines, fileName);
}

void GridTextFile::fromLines(const QStringList &lines, const QString &fileName)
{
    if (lines.isEmpty())
        return;

    // An empty header keeps the grid's size. Counts below 1 still give a
    // grid of one column or row, so the cell lines after them count; a count
    // that is no number at all, or an absurd size, is damage, reported
    // before anything changes.
    const QStringView header = lines.first();
    if (!header.isEmpty()) {
        const qsizetype comma = header.indexOf(u',');
        // leadingNumber saturates at +-INT_MAX, so INT_MIN marks no number.
        constexpr int none = std::numeric_limits<int>::min();
        const int columns = leadingNumber(comma < 0 ? header : header.first(comma)).value_or(none);
        const int rows = comma < 0 ? none : leadingNumber(header.sliced(comma + 1)).value_or(none);
        const auto usable = [](int count) { return count != none && count <= MaxDimension; };
        if (!usable(columns) || !usable(rows))
            throw GridFileError(QStringLiteral("File contains no data or corrupt file ") + fileName);
        setSize(columns, rows);
    }

    for (qsizetype i = 1; i < lines.size(); ++i)
        readBodyLine(lines.at(i));
}

void GridTextFile::readBodyLine(QStringView line)
{
    if (line.startsWith(u"cw")) {
        // "cw c,width": the index runs from the fourth character to the ",".
        const qsizetype comma = line.indexOf(u',');
        if (comma < 0)
            return; // no width to set
        const QStringView index = comma > 3 ? line.sliced(3, comma - 3) : QStringView();
        setColumnWidth(leadingInteger(index), leadingInteger(line.sliced(comma + 1)));
        return;
    }

    // "column,row,text"; a missing field reads 0 and takes nothing away, so a
    // line without "," is the text of cell (0, 0).
    QStringView rest = line;
    int fields[2] = {0, 0};
    for (int &field : fields) {
        const qsizetype comma = rest.indexOf(u',');
        if (comma < 0)
            break;
        field = leadingInteger(rest.first(comma));
        rest = rest.sliced(comma + 1);
    }
    if (contains(fields[0], fields[1]))
        setCell(fields[0], fields[1], decodeCellText(rest.toString()));
}

QString GridTextFile::encodeCellText(const QString &text)
{
    // A lone LF is encoded too: written as it stands it would split the line
    // and the next load would take its tail for cell (0, 0).
    if (!text.contains(u'\r') && !text.contains(u'\n'))
        return text;
    QString encoded = text;
    encoded.replace(u'\r', u'\t').replace(u'\n', u'\b');
    return encoded;
}

QString GridTextFile::decodeCellText(const QString &text)
{
    QString decoded = text;
    if (decoded.contains(u'\b'))
        decoded.replace(u'\t', u'\r').replace(u'\b', u'\n');
    const qsizetype cr = decoded.indexOf(u'\r');
    return cr < 0 ? decoded : decoded.first(cr);
}

int GridTextFile::leadingInteger(QStringView field)
{
    return leadingNumber(field).value_or(0);
}

std::optional<int> GridTextFile::leadingNumber(QStringView field)
{
    qsizetype i = 0;
    while (i < field.size() && field.at(i) == u' ')
        ++i;
    bool negative = false;
    if (i < field.size() && (field.at(i) == u'-' || field.at(i) == u'+')) {
        negative = field.at(i) == u'-';
        ++i;
    }
    constexpr long long limit = std::numeric_limits<int>::max();
    const qsizetype digits = i;
    long long value = 0;
    for (; i < field.size() && field.at(i) >= u'0' && field.at(i) <= u'9'; ++i)
        value = std::min(value * 10 + (field.at(i).unicode() - u'0'), limit);
    if (i == digits)
        return std::nullopt;
    return static_cast<int>(negative ? -value : value);
}
