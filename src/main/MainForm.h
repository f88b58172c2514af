#pragma once
// The main window: port choice, connect and disconnect, and the doors to the
// status and transfer windows. It owns the module link for the whole run.

#include "link/ModuleLink.h"
#include "serial/PortSettingFile.h"

#include <QWidget>

class QKeyEvent;
class QLabel;
class QPushButton;
class QStatusBar;
class QTableWidget;
class TSorosDialog;

class TMainForm : public QWidget
{
    Q_OBJECT

public:
    static constexpr int ClientWidth = 232;
    static constexpr int ClientHeight = 284;

    explicit TMainForm(QWidget *parent = nullptr);
    ~TMainForm() override;

    ModuleLink Link;
    TSerialPort &ComPort1 = Link.ComPort1;

    QPushButton *ButtonSelectSerial;
    QLabel *Panel1;
    QPushButton *btConnect;
    QPushButton *btDisconnect;
    QPushButton *btStatus;
    QPushButton *btParameterSetting;
    QPushButton *btDetails;
    QPushButton *btClose;
    QStatusBar *StatusBar1;
    QTableWidget *advSave;
    TSorosDialog *SorosDialog1;

    QString statusText() const;
    ConnectionState State() const { return m_state; }

public slots:
    void ButtonSelectSerialClick();
    void btConnectClick();
    void btDisconnectClick();
    void btStatusClick();
    void btParameterSettingClick();
    void btDetailsClick();
    void btCloseClick();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void FormCreate();
    void FormDestroy();
    // True when the key opened the details window.
    bool FormKeyDown(const QKeyEvent &key);
    void ComPort1Hangup();
    void showState(ConnectionState state);

    QLabel *m_statusText;
    PortSettingFile m_portSetting;
    ConnectionState m_state = ConnectionState::Start;
};

extern TMainForm *MainForm;

// Ctrl+Alt+D or Ctrl+Alt+keypad 4, with no other modifier.
bool isDetailsShortcut(int key, Qt::KeyboardModifiers modifiers);
