#include "SorosDialog.h"

#include "FormCom.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QTableView>

TSorosDialog::TSorosDialog(QObject *parent) : QObject(parent)
{
}

bool TSorosDialog::Execute()
{
    QWidget *owner = qobject_cast<QWidget *>(parent());
    if (!owner)
        owner = QApplication::activeWindow();
    QPointer<TFormComPort> form = new TFormComPort(owner);
    form->setDefaultDisplayName(m_defaultPort);
    if (!m_dialogusCimke.isEmpty())
        form->setWindowTitle(m_dialogusCimke);
    if (!m_dialogusSzoveg.isEmpty()) {
        form->Label1->setText(m_dialogusSzoveg);
        form->StringGrid1->setAccessibleName(m_dialogusSzoveg);
    }
    if (!m_hozzaadCimke.isEmpty())
        form->jporthozzadsa1->setText(m_hozzaadCimke);
    if (!m_hozzaadSzoveg.isEmpty())
        form->setAddPrompt(m_hozzaadSzoveg);

    const int result = form->exec();
    if (!form) // the owner went away while the dialog ran
        return false;
    const bool confirmed = result == QDialog::Accepted;
    if (confirmed) {
        m_portNev = form->chosenName();
        m_portHNev = form->chosenDisplayName();
        m_portIndex = form->chosenNumber();
    }
    delete form;
    return confirmed;
}
