#include "MainForm.h"

#include "Welcome.h"
#include "StartUp.h"
#include "link/SerialDetails.h"
#include "params/Download.h"
#include "params/ImageState.h"
#include "serial/SorosDialog.h"
#include "serial/SorosKeres.h"
#include "status/State.h"
#include "ui/WindowHelpers.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QTableWidget>
#include <QVBoxLayout>

TMainForm *MainForm = nullptr;

bool isDetailsShortcut(int key, Qt::KeyboardModifiers modifiers)
{
    const Qt::KeyboardModifiers ctrlAlt = Qt::ControlModifier | Qt::AltModifier;
    if (key == Qt::Key_D)
        return (modifiers & ~Qt::KeypadModifier) == ctrlAlt;
    if (key == Qt::Key_4)
        return modifiers == (ctrlAlt | Qt::KeypadModifier);
    return false;
}

namespace {

constexpr int ButtonHeight = 25;

QPushButton *button(QWidget *parent, const char *name, const QString &text)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setFixedHeight(ButtonHeight);
    return b;
}

// A sunken frame around a group of controls.
QFrame *bevel(QWidget *parent, QVBoxLayout *&inside)
{
    auto *frame = new QFrame(parent);
    frame->setFrameStyle(QFrame::Box | QFrame::Sunken);
    inside = new QVBoxLayout(frame);
    inside->setContentsMargins(8, 8, 8, 8);
    inside->setSpacing(4);
    return frame;
}

} // namespace

TMainForm::TMainForm(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Quelmar 3"));
    setFixedSize(ClientWidth, ClientHeight);

    QVBoxLayout *portGroup = nullptr;
    QVBoxLayout *moduleGroup = nullptr;
    QFrame *portBevel = bevel(this, portGroup);
    QFrame *moduleBevel = bevel(this, moduleGroup);

    ButtonSelectSerial = button(portBevel, "ButtonSelectSerial", QStringLiteral("Soros port kiválasztása"));
    Panel1 = new QLabel(portBevel);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setAccessibleDescription(QStringLiteral("Chosen port"));
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel1->setAlignment(Qt::AlignCenter);
    Panel1->setFixedHeight(ButtonHeight - 2);
    QFont bold = Panel1->font();
    bold.setBold(true);
    Panel1->setFont(bold);
    QPalette blue = Panel1->palette();
    blue.setColor(QPalette::WindowText, Qt::blue);
    Panel1->setPalette(blue);
    btConnect = button(portBevel, "btConnect", QStringLiteral("Soros port megnyitása"));
    btDisconnect = button(portBevel, "btDisconnect", QStringLiteral("Soros port lezárása"));
    for (QWidget *w : {static_cast<QWidget *>(ButtonSelectSerial), static_cast<QWidget *>(Panel1),
                       static_cast<QWidget *>(btConnect), static_cast<QWidget *>(btDisconnect)})
        portGroup->addWidget(w);

    btStatus = button(moduleBevel, "btStatus", QStringLiteral("Modul állapota"));
    btParameterSetting = button(moduleBevel, "btParameterSetting", QStringLiteral("Modul paraméterezése"));
    moduleGroup->addWidget(btStatus);
    moduleGroup->addWidget(btParameterSetting);

    btDetails = button(this, "btDetails", QStringLiteral(">>"));
    btDetails->setFixedWidth(32);
    btClose = button(this, "btClose", QStringLiteral("Kilépés"));
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(btDetails);
    bottom->addWidget(btClose);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(false);
    m_statusText = new QLabel(StatusBar1);
    m_statusText->setObjectName(QStringLiteral("StatusBar1Text"));
    m_statusText->setAccessibleDescription(QStringLiteral("Connection"));
    m_statusText->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    StatusBar1->addWidget(m_statusText, 1);

    // The port name's carrier to and from the port setting file; never shown.
    advSave = new QTableWidget(1, 2, this);
    advSave->setObjectName(QStringLiteral("advSave"));
    advSave->horizontalHeader()->setDefaultSectionSize(20);
    advSave->hide();

    SorosDialog1 = new TSorosDialog(this);
    SorosDialog1->setObjectName(QStringLiteral("SorosDialog1"));

    auto *content = new QVBoxLayout;
    content->setContentsMargins(8, 8, 8, 4);
    content->setSpacing(8);
    content->addWidget(portBevel);
    content->addWidget(moduleBevel);
    content->addStretch();
    content->addLayout(bottom);
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    outer->addLayout(content);
    outer->addWidget(StatusBar1);

    connect(ButtonSelectSerial, &QPushButton::clicked, this, &TMainForm::ButtonSelectSerialClick);
    connect(btConnect, &QPushButton::clicked, this, &TMainForm::btConnectClick);
    connect(btDisconnect, &QPushButton::clicked, this, &TMainForm::btDisconnectClick);
    connect(btStatus, &QPushButton::clicked, this, &TMainForm::btStatusClick);
    connect(btParameterSetting, &QPushButton::clicked, this, &TMainForm::btParameterSettingClick);
    connect(btDetails, &QPushButton::clicked, this, &TMainForm::btDetailsClick);
    connect(btClose, &QPushButton::clicked, this, &TMainForm::btCloseClick);

    // The details window's key combination works on these, not on the port
    // selection button.
    for (QWidget *w : {static_cast<QWidget *>(this), static_cast<QWidget *>(btConnect),
                       static_cast<QWidget *>(btDisconnect), static_cast<QWidget *>(btClose),
                       static_cast<QWidget *>(btParameterSetting), static_cast<QWidget *>(btStatus),
                       static_cast<QWidget *>(btDetails), static_cast<QWidget *>(advSave)})
        w->installEventFilter(this);

    // The link's receivers are the status and details windows.
    Link.Dispatcher.Memos = FormDetails;
    Link.Dispatcher.StatusWindow = StateForm;
    if (FormDetails && StateForm)
        FormDetails->setStateMemo(StateForm->MemoState);
    if (StateForm)
        StateForm->SendText = [this](const QByteArray &text) { Link.Codec.SendText(text); };
    ComPort1.OnHangup = [this] { ComPort1Hangup(); };
    // quelmar --trace: every frame on this link is logged.
    Link.Codec.setTrace(startUpTrace());
    // The transfer window sends and waits through this link.
    if (FormDownload)
        FormDownload->setLink(&Link);

    showState(ConnectionState::Start);
    keyboardWindow(this, false);
    centreOnScreen(this);
    FormCreate();
}

TMainForm::~TMainForm()
{
    if (StateForm)
        StateForm->SendText = nullptr;
    if (FormDownload)
        FormDownload->setLink(nullptr);
    FormDestroy();
}

void TMainForm::FormCreate()
{
    try {
        advSave->setItem(0, 0, new QTableWidgetItem(m_portSetting.restorePortName()));
        ComPort1.setPort(advSave->item(0, 0)->text());
        // The remembered port, named as the port dialog names it.
        Panel1->setText(SorosKeres::portDisplayName(SorosKeres::DeviceList(), ComPort1.Port()));
    } catch (const std::exception &) {
        // A missing or damaged file leaves the default port.
    }
}

void TMainForm::FormDestroy()
{
    advSave->setItem(0, 0, new QTableWidgetItem(ComPort1.Port()));
    QString error;
    if (!m_portSetting.storePortName(advSave->item(0, 0)->text(), &error))
        showErrorBox(error);
}

QString TMainForm::statusText() const
{
    return m_statusText->text();
}

void TMainForm::showState(ConnectionState state)
{
    m_state = state;
    const ConnectionView view = viewOf(state);
    btConnect->setEnabled(view.connectEnabled);
    btDisconnect->setEnabled(view.disconnectEnabled);
    btStatus->setEnabled(view.statusEnabled);
    btParameterSetting->setEnabled(view.parameterSettingEnabled);
    m_statusText->setText(view.statusText);
}

void TMainForm::ButtonSelectSerialClick()
{
    SorosDialog1->setDefaultPort(Panel1->text());
    if (!SorosDialog1->Execute())
        return;
    Panel1->setText(SorosDialog1->PortHNev());
    try {
        // While open, a new name closes the port and opens the new one.
        ComPort1.setPort(SorosDialog1->PortNev());
    } catch (const std::exception &error) {
        showException(error);
        // The port is closed now: do not go on showing a connection.
        showState(ConnectionState::OpenFailed);
    }
}

void TMainForm::btConnectClick()
{
    showState(Link.connect());
    // The disabled button would hand the focus to "Close", and the next
    // Space would quit the tool.
    if (m_state == ConnectionState::Connected)
        btStatus->setFocus(Qt::OtherFocusReason);
}

void TMainForm::btDisconnectClick()
{
    m_statusText->setText(viewOf(ConnectionState::Disconnected).statusText);
    try {
        showState(Link.disconnect());
    } catch (const std::exception &error) {
        showException(error);
    }
}

void TMainForm::ComPort1Hangup()
{
    showState(Link.hangUp());
}

void TMainForm::btStatusClick()
{
    if (StateForm)
        bringForward(StateForm);
}

void TMainForm::btParameterSettingClick()
{
    if (!FormDownload)
        return;
    // Beside this window, so the connection and its buttons stay in sight.
    if (!FormDownload->isVisible())
        placeBeside(FormDownload, this);
    bringForward(FormDownload);
}

void TMainForm::btDetailsClick()
{
    if (FormDetails)
        bringForward(FormDetails);
}

void TMainForm::btCloseClick()
{
    close();
}

bool TMainForm::FormKeyDown(const QKeyEvent &key)
{
    if (!isDetailsShortcut(key.key(), key.modifiers()))
        return false;
    btDetailsClick();
    return true;
}

bool TMainForm::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    // A key that a child without the handler passed up to the window is not
    // the window's own.
    if (watched == this) {
        QWidget *focus = QApplication::focusWidget();
        if (focus && focus != this && isAncestorOf(focus))
            return false;
    }
    return FormKeyDown(*static_cast<QKeyEvent *>(event));
}

void TMainForm::closeEvent(QCloseEvent *event)
{
    // Quitting would lose edits that no module and no file holds.
    if (parameterImageState().hasUnkeptChanges() && !askYesNo(this, QString::fromLatin1(UnkeptChangesQuestion))) {
        event->ignore();
        return;
    }
    event->accept();
    if (WelcomeForm)
        WelcomeForm->close();
}
