#pragma once
// The status window: polls the module with "??" every 500 ms while shown and
// shows what comes back: inputs, telephone line, call state, signal level and
// the module's state messages.

#include "link/MessageDispatcher.h"

#include <QByteArray>
#include <QDateTime>
#include <QWidget>
#include <array>
#include <functional>

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTimer;

class TStateForm : public QWidget, public StatusSink
{
    Q_OBJECT

public:
    static constexpr int PollInterval = 500; // ms
    static constexpr int ClientWidth = 360;
    static constexpr int ClientHeight = 349;

    explicit TStateForm(QWidget *parent = nullptr);

    StatusFields &Status() override { return m_status; }
    void RefreshStatus() override;
    // When the last status message arrived; invalid until one did this run.
    QDateTime LastStatusTime() const { return m_lastStatus; }

    // The link's plain-text sender; it writes nothing while the port is closed.
    std::function<void(const QByteArray &)> SendText;

    QLabel *PanelLineVoltage;
    QLabel *lbLineVoltage;
    std::array<QLabel *, 4> PanelIN;
    std::array<QLabel *, 4> lbIN;
    QLabel *PanelGSMLine;
    QLabel *lbGSMLine;
    QLabel *lbGSMpower;
    QLabel *lbGSMpowVal;
    QProgressBar *pbTerero;
    QLabel *lbStateMessages;
    QPlainTextEdit *MemoState;
    QPushButton *btClearMsg;
    QPushButton *btClose;
    QTimer *TimerState;

public slots:
    void TimerStateTimer();
    void btClearMsgClick();
    void btCloseClick();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void FormShow();
    void FormHide();

    StatusFields m_status;
    QDateTime m_lastStatus;
};

extern TStateForm *StateForm;
