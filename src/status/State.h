#pragma once
// The status window: polls the module with "??" every 500 ms while shown and
// shows what comes back: inputs, telephone line, call state, signal level and
// the module's state messages.

#include "SignalHistory.h"
#include "StatusCsv.h"
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
class TFormSignal;

class TStateForm : public QWidget, public StatusSink
{
    Q_OBJECT

public:
    static constexpr int PollInterval = 500; // ms
    static constexpr int ClientWidth = 360;
    static constexpr int ClientHeight = 349;
    // The row of the signal history and recording buttons below the rest,
    // and the line that says when the module stopped answering.
    static constexpr int ExtraRowHeight = 56;
    // Polling this long without a status message greys the state display.
    static constexpr int AnswerPatience = 3000; // ms

    explicit TStateForm(QWidget *parent = nullptr);

    StatusFields &Status() override { return m_status; }
    void RefreshStatus() override;
    // When the last status message arrived; invalid until one did this run.
    QDateTime lastStatusTime() const { return m_lastStatus; }
    void stateTextReceived(const QString &text) override;

    // Starts appending rows to the CSV file; false (after an error box) if it
    // cannot be opened.
    bool startRecording(const QString &path);
    void stopRecording();
    // Asks for the file to record to; empty: cancelled. Tests replace it.
    std::function<QString()> AskRecordFile;

    // Every status message's level since start-up, shown or hidden.
    SignalHistory signalHistory;
    StatusRecorder Recorder;

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
    QPushButton *btSignalHistory;
    QPushButton *btRecord;
    // " No answer since 12:30:05." while the display shows a stale state.
    QLabel *lbNoAnswer;
    TFormSignal *FormSignal;
    // True while the display is greyed for want of an answer.
    bool isStale() const { return m_stale; }

public slots:
    void TimerStateTimer();
    void btClearMsgClick();
    void btCloseClick();
    void btSignalHistoryClick();
    void btRecordClick();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void FormShow();
    void FormHide();
    void recordingFailed();
    // Greys the display once the poll has gone unanswered too long.
    void checkAnswer();
    // Polling goes on while shown, or while a recording needs the rows.
    void updatePolling();

    StatusFields m_status;
    QDateTime m_lastStatus;
    QDateTime m_pollStart; // the first tick of the current polling
    bool m_stale = false;
};

extern TStateForm *StateForm;
