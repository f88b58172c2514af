#pragma once
// The fields in which the module differs from the data it was compared
// with, one row each, beside the transfer window; the fields stored
// differently with the same value last, greyed. It opens wide enough for its
// columns. "Copy" puts the list on the clipboard as text; "Close" and Esc close it.

#include "TransferTexts.h"

#include <QWidget>

class QLabel;
class QPushButton;
class QTableWidget;

class TFormDifferences : public QWidget
{
    Q_OBJECT

public:
    explicit TFormDifferences(QWidget *parent = nullptr);

    // Replaces the list; the two headings say what was compared, the module first.
    void showDifferences(const QList<DifferenceRow> &rows, const QString &headingA, const QString &headingB);
    // The list as the clipboard gets it.
    QString Text() const;

    QTableWidget *lvDifferences;
    QLabel *lbNoDifferences; // " No differences." in place of an empty list
    QPushButton *btCopy;
    QPushButton *btClose;

public slots:
    void btCopyClick();

private:
    void fitColumns();

    QList<DifferenceRow> m_rows;
    QString m_headingA;
    QString m_headingB;
};
