#include "Differences.h"

#include "ui/WindowHelpers.h"

#include <QApplication>
#include <QLayout>
#include <QClipboard>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace {

constexpr int LabelColumn = 1;
constexpr int MinimumLabelWidth = 80;

} // namespace

TFormDifferences::TFormDifferences(QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("FormDifferences"));
    setWindowTitle(QStringLiteral("Quelmar5 - Differences"));
    resize(640, 300);

    lvDifferences = new QTableWidget(this);
    lvDifferences->setObjectName(QStringLiteral("lvDifferences"));
    lvDifferences->setAccessibleName(QStringLiteral("Differences"));
    // Tab leaves the list for the buttons; the arrow keys move within it.
    lvDifferences->setTabKeyNavigation(false);
    lvDifferences->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvDifferences->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvDifferences->setTextElideMode(Qt::ElideRight);
    lvDifferences->setWordWrap(false);
    lvDifferences->verticalHeader()->hide();
    lvDifferences->horizontalHeader()->setStretchLastSection(true);

    lbNoDifferences = new QLabel(QStringLiteral(" No differences."), this);
    lbNoDifferences->setObjectName(QStringLiteral("lbNoDifferences"));
    lbNoDifferences->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lbNoDifferences->hide();

    btCopy = new QPushButton(QStringLiteral("&Copy"), this);
    btCopy->setObjectName(QStringLiteral("btCopy"));
    connect(btCopy, &QPushButton::clicked, this, &TFormDifferences::btCopyClick);
    btClose = new QPushButton(QStringLiteral("C&lose"), this);
    btClose->setObjectName(QStringLiteral("btClose"));
    connect(btClose, &QPushButton::clicked, this, &QWidget::close);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btCopy);
    buttons->addWidget(btClose);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lvDifferences);
    layout->addWidget(lbNoDifferences);
    layout->addLayout(buttons);

    keyboardWindow(this, true);
    centreOnScreen(this);
}

void TFormDifferences::showDifferences(const QList<DifferenceRow> &rows, const QString &headingA,
                                       const QString &headingB)
{
    m_rows = rows;
    m_headingA = headingA;
    m_headingB = headingB;
    const QStringList columns = differenceColumns(headingA, headingB);
    const bool anySameValue = std::any_of(rows.begin(), rows.end(), [](const DifferenceRow &r) { return r.sameValue; });
    lvDifferences->clear();
    lvDifferences->clearSpans();
    lvDifferences->setColumnCount(int(columns.size()));
    lvDifferences->setHorizontalHeaderLabels(columns);
    lvDifferences->setRowCount(int(rows.size()) + (anySameValue ? 1 : 0));
    // Rows stored differently with the same value come last, greyed, under
    // their own heading: they are no change anyone made.
    const QBrush grey = palette().brush(QPalette::Disabled, QPalette::Text);
    int line = 0;
    bool headed = false;
    for (const DifferenceRow &row : rows) {
        if (row.sameValue && !std::exchange(headed, true)) {
            auto *heading = new QTableWidgetItem(QString::fromLatin1(SameValueHeading));
            heading->setForeground(grey);
            heading->setFlags(Qt::ItemIsEnabled);
            lvDifferences->setItem(line, 0, heading);
            lvDifferences->setSpan(line, 0, 1, int(columns.size()));
            ++line;
        }
        const QStringList cells = row.cells();
        for (int c = 0; c < cells.size(); ++c) {
            auto *item = new QTableWidgetItem(cells[c]);
            if (row.sameValue) {
                item->setForeground(grey);
                item->setToolTip(row.range);
            }
            lvDifferences->setItem(line, c, item);
        }
        ++line;
    }
    lvDifferences->setVisible(!rows.isEmpty());
    lbNoDifferences->setVisible(rows.isEmpty());
    lvDifferences->resizeColumnsToContents();
    fitColumns();
}

void TFormDifferences::fitColumns()
{
    // Wide enough for every column, within the screen; when the screen is too
    // narrow the label column gives way and its texts are elided.
    QHeaderView *header = lvDifferences->horizontalHeader();
    int columns = 0;
    for (int c = 0; c < header->count(); ++c)
        columns += header->sectionSize(c);
    const QMargins margins = layout()->contentsMargins();
    const int chrome = margins.left() + margins.right() + 2 * lvDifferences->frameWidth()
                       + lvDifferences->verticalScrollBar()->sizeHint().width();
    int wanted = columns + chrome;
    const int room = roomOnScreen(this);
    if (wanted > room) {
        const int label = header->sectionSize(LabelColumn);
        header->resizeSection(LabelColumn, std::max(MinimumLabelWidth, label - (wanted - room)));
        wanted = room;
    }
    if (wanted > width())
        resize(wanted, height());
}

QString TFormDifferences::Text() const
{
    return differencesText(m_rows, m_headingA, m_headingB);
}

void TFormDifferences::btCopyClick()
{
    QApplication::clipboard()->setText(Text());
}
