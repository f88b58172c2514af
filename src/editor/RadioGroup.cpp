#include "RadioGroup.h"

#include <QButtonGroup>
#include <QRadioButton>
#include <QVBoxLayout>

RadioGroup::RadioGroup(QWidget *parent)
    : QWidget(parent)
    , m_group(new QButtonGroup(this))
    , m_layout(new QVBoxLayout(this))
{
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(2);
    connect(m_group, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked)
            setItemIndex(id);
    });
}

QRadioButton *RadioGroup::addItem(const QString &text)
{
    auto *button = new QRadioButton(text, this);
    const int index = count();
    button->setObjectName(objectName() + QString::number(index));
    m_group->addButton(button, index);
    m_layout->addWidget(button);
    return button;
}

int RadioGroup::count() const
{
    return static_cast<int>(m_group->buttons().size());
}

QRadioButton *RadioGroup::item(int index) const
{
    return qobject_cast<QRadioButton *>(m_group->button(index));
}

QString RadioGroup::itemText(int index) const
{
    QRadioButton *button = item(index);
    return button ? button->text() : QString();
}

void RadioGroup::setItemText(int index, const QString &text)
{
    if (QRadioButton *button = item(index))
        button->setText(text);
}

int RadioGroup::itemIndex() const
{
    return m_index;
}

void RadioGroup::setItemIndex(int index)
{
    if (index < 0 || index >= count())
        index = -1;
    if (index == m_index)
        return;
    m_index = index;
    if (index >= 0) {
        item(index)->setChecked(true);
    } else if (QAbstractButton *checked = m_group->checkedButton()) {
        // An exclusive group refuses to uncheck its last checked button.
        m_group->setExclusive(false);
        checked->setChecked(false);
        m_group->setExclusive(true);
    }
    emit itemIndexChanged(m_index);
}
