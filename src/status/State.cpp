#include "State.h"

#include "FormSignal.h"
#include "StatusDisplay.h"
#include "ui/WindowHelpers.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QFrame>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

TStateForm *StateForm = nullptr;

namespace {

constexpr int Margin = 8;
constexpr int GroupHeight = 50;
constexpr int HeadingHeight = 22;
constexpr Rgb StaleGrey{128, 128, 128};

// A raised frame holding a bold heading panel and a centred value label.
QFrame *indicatorGroup(QWidget *parent, const QRect &place, QLabel *&heading, QLabel *&value,
                       const QString &headingName, const QString &headingText, const QString &valueName,
                       const QString &meaning)
{
    auto *group = new QFrame(parent);
    group->setFrameStyle(QFrame::Panel | QFrame::Raised);
    group->setGeometry(place);

    heading = new QLabel(headingText, group);
    heading->setObjectName(headingName);
    heading->setFrameStyle(QFrame::Panel | QFrame::Raised);
    heading->setAlignment(Qt::AlignCenter);
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    heading->setGeometry(2, 2, place.width() - 4, HeadingHeight);

    value = new QLabel(QStringLiteral("."), group);
    value->setObjectName(valueName);
    value->setAccessibleDescription(meaning);
    value->setAlignment(Qt::AlignCenter);
    value->setGeometry(2, 4 + HeadingHeight, place.width() - 4, place.height() - 6 - HeadingHeight);
    return group;
}

void setColour(QLabel *label, const Indicator &indicator)
{
    label->setText(indicator.text);
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, QColor(indicator.colour.red, indicator.colour.green, indicator.colour.blue));
    label->setPalette(p);
}

} // namespace

TStateForm::TStateForm(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("StateForm"));
    setWindowTitle(QStringLiteral("Quelmar - Állapot"));
    setFixedSize(ClientWidth, ClientHeight);

    // Top row: the telephone line, then the four inputs.
    constexpr int lineWidth = 105;
    constexpr int inputWidth = 56;
    constexpr int gap = 4;
    indicatorGroup(this, QRect(Margin, Margin, lineWidth, GroupHeight), PanelLineVoltage, lbLineVoltage,
                   QStringLiteral("PanelLineVoltage"), QStringLiteral("Vonal"), QStringLiteral("lbLineVoltage"),
                   QStringLiteral("PSTN line"));
    for (int k = 0; k < 4; ++k) {
        const QString n = QString::number(k + 1);
        const int x = Margin + lineWidth + gap + k * (inputWidth + gap);
        indicatorGroup(this, QRect(x, Margin, inputWidth, GroupHeight), PanelIN[k], lbIN[k],
                       QStringLiteral("PanelIN") + n, QStringLiteral("IN") + n, QStringLiteral("lbIN") + n,
                       QStringLiteral("Input IN") + n);
    }

    // Second row: the call state across the full width.
    constexpr int row2 = Margin + GroupHeight + gap;
    indicatorGroup(this, QRect(Margin, row2, 344, GroupHeight), PanelGSMLine, lbGSMLine,
                   QStringLiteral("PanelGSMLine"), QStringLiteral("GSM vonal állapota"), QStringLiteral("lbGSMLine"),
                   QStringLiteral("GSM line state"));

    // Third row: the signal level as a number and a bar.
    constexpr int row3 = row2 + GroupHeight + gap;
    auto *signalRow = new QFrame(this);
    signalRow->setFrameStyle(QFrame::Panel | QFrame::Raised);
    signalRow->setGeometry(Margin, row3, 345, 32);
    lbGSMpower = new QLabel(QStringLiteral("GSM térerő (0-31) :"), signalRow);
    lbGSMpower->setObjectName(QStringLiteral("lbGSMpower"));
    lbGSMpower->setGeometry(8, 6, 130, 20);
    lbGSMpowVal = new QLabel(QStringLiteral("0"), signalRow);
    lbGSMpowVal->setObjectName(QStringLiteral("lbGSMpowVal"));
    lbGSMpowVal->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lbGSMpowVal->setAccessibleDescription(QStringLiteral("GSM power"));
    lbGSMpowVal->setGeometry(138, 6, 28, 20);
    pbTerero = new QProgressBar(signalRow);
    pbTerero->setObjectName(QStringLiteral("pbTerero"));
    pbTerero->setAccessibleName(QStringLiteral("GSM power"));
    pbTerero->setRange(0, StatusDisplay::MaxSignalLevel);
    pbTerero->setValue(0);
    pbTerero->setTextVisible(false);
    pbTerero->setGeometry(176, 7, 161, 18);

    constexpr int row4 = row3 + 32 + 6;
    lbStateMessages = new QLabel(QStringLiteral("A modul állapotüzenetei:"), this);
    lbStateMessages->setObjectName(QStringLiteral("lbStateMessages"));
    lbStateMessages->setGeometry(Margin, row4, 344, 18);

    MemoState = new QPlainTextEdit(this);
    MemoState->setObjectName(QStringLiteral("MemoState"));
    MemoState->setAccessibleName(QStringLiteral("State messages"));
    MemoState->setReadOnly(true);
    MemoState->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    MemoState->setGeometry(Margin, row4 + 20, 344, 127);
    lbStateMessages->setBuddy(MemoState);

    constexpr int buttonRow = ClientHeight - Margin - 28;
    btClearMsg = new QPushButton(QStringLiteral("Üzenetablak törlése"), this);
    btClearMsg->setObjectName(QStringLiteral("btClearMsg"));
    btClearMsg->setGeometry(Margin, buttonRow, 160, 28);
    btClose = new QPushButton(QStringLiteral("Ablak bezárása"), this);
    btClose->setObjectName(QStringLiteral("btClose"));
    btClose->setGeometry(ClientWidth - Margin - 120, buttonRow, 120, 28);

    TimerState = new QTimer(this);
    TimerState->setObjectName(QStringLiteral("TimerState"));
    TimerState->setInterval(PollInterval);

    connect(TimerState, &QTimer::timeout, this, &TStateForm::TimerStateTimer);
    connect(btClearMsg, &QPushButton::clicked, this, &TStateForm::btClearMsgClick);
    connect(btClose, &QPushButton::clicked, this, &TStateForm::btCloseClick);

    // One more row below the rest: signal history and recording.
    setFixedSize(ClientWidth, ClientHeight + ExtraRowHeight);
    constexpr int extraRow = ClientHeight - 2;
    btSignalHistory = new QPushButton(QStringLiteral("Signal history"), this);
    btSignalHistory->setObjectName(QStringLiteral("btSignalHistory"));
    btSignalHistory->setGeometry(Margin, extraRow, 160, 28);
    btRecord = new QPushButton(QStringLiteral("Record to file"), this);
    btRecord->setObjectName(QStringLiteral("btRecord"));
    btRecord->setGeometry(ClientWidth - Margin - 120, extraRow, 120, 28);
    FormSignal = new TFormSignal(signalHistory, this);
    AskRecordFile = [this] {
        // A recording appends: naming an existing file is no reason to ask.
        return askFileName(this, FileDialogMode::Append, QStringLiteral("CSV files (*.csv);;All files (*)"),
                           QStringLiteral("csv"));
    };
    lbNoAnswer = new QLabel(this);
    lbNoAnswer->setObjectName(QStringLiteral("lbNoAnswer"));
    lbNoAnswer->setGeometry(Margin, extraRow + 32, ClientWidth - 2 * Margin, 20);
    connect(btSignalHistory, &QPushButton::clicked, this, &TStateForm::btSignalHistoryClick);
    connect(btRecord, &QPushButton::clicked, this, &TStateForm::btRecordClick);
    keyboardWindow(this, false);
    centreOnScreen(this);
}

void TStateForm::RefreshStatus()
{
    // Only the dispatcher calls this, once per status message.
    m_lastStatus = QDateTime::currentDateTime();
    m_stale = false;
    lbNoAnswer->clear();
    pbTerero->setEnabled(true);
    lbGSMpowVal->setEnabled(true);
    const StatusDisplay d = describeStatus(m_status);
    for (std::size_t k = 0; k < lbIN.size(); ++k)
        setColour(lbIN[k], d.inputs[k]);
    setColour(lbLineVoltage, d.line);
    setColour(lbGSMLine, d.callState);
    pbTerero->setValue(d.signalBar);
    lbGSMpowVal->setText(d.signalText);

    signalHistory.add(SignalHistory::clockMs(), m_status.SignalLevel);
    FormSignal->scheduleRedraw();
    if (!Recorder.addStatus(QDateTime::currentDateTime(), m_status))
        recordingFailed();
}

void TStateForm::stateTextReceived(const QString &text)
{
    if (!Recorder.addText(QDateTime::currentDateTime(), text))
        recordingFailed();
}

bool TStateForm::startRecording(const QString &path)
{
    QString error;
    if (!Recorder.start(path, &error)) {
        showErrorBox(QStringLiteral("Cannot record to %1").arg(error));
        return false;
    }
    btRecord->setText(QStringLiteral("Stop recording"));
    return true;
}

void TStateForm::stopRecording()
{
    Recorder.stop();
    btRecord->setText(QStringLiteral("Record to file"));
    updatePolling();
}

void TStateForm::recordingFailed()
{
    const QString error = Recorder.errorString();
    stopRecording();
    showErrorBox(QStringLiteral("Recording stopped: %1").arg(error));
}

void TStateForm::btSignalHistoryClick()
{
    if (!FormSignal->isVisible())
        placeBeside(FormSignal, this);
    bringForward(FormSignal);
}

void TStateForm::btRecordClick()
{
    if (Recorder.isRecording()) {
        stopRecording();
        return;
    }
    const QString path = AskRecordFile ? AskRecordFile() : QString();
    if (!path.isEmpty())
        startRecording(path);
}

void TStateForm::TimerStateTimer()
{
    if (!SendText)
        return;
    if (!m_pollStart.isValid())
        m_pollStart = QDateTime::currentDateTime();
    try {
        SendText(QByteArrayLiteral("??"));
    } catch (const std::exception &error) {
        // The timer keeps running: the next tick tries again.
        showException(error);
    }
    checkAnswer();
}

void TStateForm::checkAnswer()
{
    const QDateTime since = m_lastStatus.isValid() ? std::max(m_lastStatus, m_pollStart) : m_pollStart;
    if (m_stale || since.msecsTo(QDateTime::currentDateTime()) < AnswerPatience)
        return;
    // The last values stay readable, but no longer look live.
    m_stale = true;
    for (QLabel *label : {lbIN[0], lbIN[1], lbIN[2], lbIN[3], lbLineVoltage, lbGSMLine})
        setColour(label, {label->text(), StaleGrey});
    pbTerero->setEnabled(false);
    lbGSMpowVal->setEnabled(false);
    const QDateTime last = m_lastStatus.isValid() ? m_lastStatus : m_pollStart;
    lbNoAnswer->setText(QStringLiteral(" No answer since %1.").arg(last.toString(QStringLiteral("HH:mm:ss"))));
}

void TStateForm::updatePolling()
{
    if (isVisible() || Recorder.isRecording()) {
        if (!TimerState->isActive())
            TimerState->start();
        return;
    }
    TimerState->stop();
    m_pollStart = QDateTime();
}

void TStateForm::btClearMsgClick()
{
    MemoState->clear();
}

void TStateForm::btCloseClick()
{
    close();
}

void TStateForm::FormShow()
{
    updatePolling();
}

void TStateForm::FormHide()
{
    // A running recording keeps the poll going: its rows are why it runs.
    updatePolling();
}

void TStateForm::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TStateForm::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    if (!event->spontaneous())
        FormHide();
}

void TStateForm::closeEvent(QCloseEvent *event)
{
    // Closing only hides the window; it lives for the whole run.
    event->accept();
    hide();
    updatePolling();
}
