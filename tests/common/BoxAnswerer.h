#pragma once
// Answers every message box that opens modally while it lives, as an
// installer would: records the box's text and its default button, then
// presses the chosen button.

#include <QApplication>
#include <QList>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>
#include <QTimer>

class BoxAnswerer
{
public:
    explicit BoxAnswerer(QMessageBox::StandardButton answer)
        : m_answer(answer)
    {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { pressAnswer(); });
        m_timer.start();
    }

    QStringList texts;                              // every box's text, in order
    QList<QMessageBox::StandardButton> defaults;    // every box's default button
    void setAnswer(QMessageBox::StandardButton answer) { m_answer = answer; }

private:
    void pressAnswer()
    {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || !box->isVisible() || box->property("answered").toBool())
            return;
        box->setProperty("answered", true);
        texts << box->text();
        defaults << (box->defaultButton() ? box->standardButton(box->defaultButton()) : QMessageBox::NoButton);
        if (QAbstractButton *b = box->button(m_answer))
            b->click();
        else
            box->reject();
    }

    QMessageBox::StandardButton m_answer;
    QTimer m_timer;
};
