#include "Welcome.h"

#include "Languages.h"
#include "MainForm.h"
#include "ui/WindowHelpers.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

TWelcomeForm *WelcomeForm = nullptr;

TWelcomeForm::TWelcomeForm(QWidget *parent)
    : QFrame(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("WelcomeForm"));
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setLineWidth(2);
    setAutoFillBackground(true);
    QPalette grey = palette();
    grey.setColor(QPalette::Window, QColor(192, 192, 192));
    grey.setColor(QPalette::WindowText, Qt::black);
    setPalette(grey);

    lbVersion = new QLabel(this);
    lbVersion->setObjectName(QStringLiteral("lbVersion"));
    lbVersion->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QFont bold = lbVersion->font();
    bold.setBold(true);
    lbVersion->setFont(bold);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 8, 12, 8);
    layout->addWidget(lbVersion);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(SplashTime);
    connect(Timer1, &QTimer::timeout, this, &TWelcomeForm::Timer1Timer);

    FormCreate();
    adjustSize();
    centreOnScreen(this);
}

void TWelcomeForm::FormCreate()
{
    lbVersion->setText(Version);
}

void TWelcomeForm::FormShow()
{
    if (!MainForm)
        MainForm = new TMainForm;
    Timer1->start();
}

void TWelcomeForm::Timer1Timer()
{
    hide();
    Timer1->stop();
    ApplyEnglishTexts();
    MainForm->show();
}

void TWelcomeForm::showEvent(QShowEvent *event)
{
    QFrame::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TWelcomeForm::closeEvent(QCloseEvent *event)
{
    event->accept();
    QCoreApplication::quit();
}
