#include "Differences.h"

#include "ui/WindowHelpers.h"

#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

TFormDifferences::TFormDifferences(QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("FormDifferences"));
    setWindowTitle(QStringLiteral("Quelmar5 - Differences"));
    resize(640, 300);

    lvDifferences = new QTableWidget(this);
    lvDifferences->setObjectName(QStringLiteral("lvDifferences"));
    lvDifferences->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvDifferences->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvDifferences->verticalHeader()->hide();
    lvDifferences->horizontalHeader()->setStretchLastSection(true);

    btCopy = new QPushButton(QStringLiteral("Copy"), this);
    btCopy->setObjectName(QStringLiteral("btCopy"));
    connect(btCopy, &QPushButton::clicked, this, &TFormDifferences::btCopyClick);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btCopy);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lvDifferences);
    layout->addLayout(buttons);

    centreOnScreen(this);
}

void TFormDifferences::showDifferences(const QList<DifferenceRow> &rows, const QString &headingA,
                                       const QString &headingB)
{
    m_rows = rows;
    m_headingA = headingA;
    m_headingB = headingB;
    const QStringList columns = differenceColumns(headingA, headingB);
    lvDifferences->clear();
    lvDifferences->setColumnCount(int(columns.size()));
    lvDifferences->setHorizontalHeaderLabels(columns);
    lvDifferences->setRowCount(int(rows.size()));
    for (int r = 0; r < rows.size(); ++r) {
        const QStringList cells = rows[r].cells();
        for (int c = 0; c < cells.size(); ++c)
            lvDifferences->setItem(r, c, new QTableWidgetItem(cells[c]));
    }
    lvDifferences->resizeColumnsToContents();
}

QString TFormDifferences::Text() const
{
    return differencesText(m_rows, m_headingA, m_headingB);
}

void TFormDifferences::btCopyClick()
{
    QApplication::clipboard()->setText(Text());
}
