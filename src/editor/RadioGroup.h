#pragma once
// A set of exclusive radio buttons with an item index, where -1 means that
// no item is chosen (which the buttons alone cannot express once one of them
// has been checked).

#include <QWidget>

class QButtonGroup;
class QRadioButton;
class QVBoxLayout;

class RadioGroup : public QWidget
{
    Q_OBJECT

public:
    explicit RadioGroup(QWidget *parent = nullptr);

    // The button is named after the group and its index, e.g. rgCallFilter0.
    QRadioButton *addItem(const QString &text);
    int count() const;
    QRadioButton *item(int index) const;

    QString itemText(int index) const;
    void setItemText(int index, const QString &text);

    int itemIndex() const;
    // Any index outside the items clears the choice.
    void setItemIndex(int index);

signals:
    // Only when the choice really changes, by the user or by setItemIndex.
    void itemIndexChanged(int index);

private:
    QButtonGroup *m_group;
    QVBoxLayout *m_layout;
    int m_index = -1;
};
