#pragma once
// The fields in which the module differs from the data it was compared
// with, one row each, beside the transfer window; "Copy" puts the list on
// the clipboard as text.

#include "TransferTexts.h"

#include <QWidget>

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
    QPushButton *btCopy;

public slots:
    void btCopyClick();

private:
    QList<DifferenceRow> m_rows;
    QString m_headingA;
    QString m_headingB;
};
