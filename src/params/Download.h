#pragma once
// The parameter transfer window: reads, writes and compares the parameter
// image with the module, keeps it in files and opens the editor on it. Every
// image read or written is kept in the history too.

#include "History.h"
#include "Transfer.h"

#include <QWidget>
#include <functional>

class ModuleLink;
class QLabel;
class QProgressBar;
class TFormHistory;
class QPushButton;
class QTimer;

class TFormDownload : public QWidget, public TransferDisplay
{
    Q_OBJECT

public:
    static constexpr int ClientWidth = 276;
    static constexpr int ClientHeight = 348;

    // Fills the parameter image with 0xFF (FormCreate).
    explicit TFormDownload(QWidget *parent = nullptr);

    // The main window's link; without one the port counts as not connected.
    void SetLink(ModuleLink *link);

    ParameterTransfer Transfer{*this};

    QProgressBar *Progress;
    QPushButton *btRead;
    QPushButton *btWrite;
    QPushButton *btCompare;
    QPushButton *btStop;
    QPushButton *btOpen;
    QPushButton *btSave;
    QPushButton *btEdit;
    QPushButton *btHistory;
    QPushButton *btReport;
    QPushButton *btClose;
    // Empty until an operation's image could not be kept in the history.
    QLabel *lbOutcome;
    QTimer *Timer1;

    // The port of the main window's link ("COM3"), or empty without one.
    QString PortName() const;

    // The file dialogs: the chosen path, or empty when cancelled.
    std::function<QString()> OpenDialog1;
    std::function<QString()> SaveDialog1;
    // The message box and the error box; tests put recorders here.
    std::function<void(const QString &)> MessageBox;
    std::function<void(const QString &)> ErrorBox;
    // The report's save dialog, and the viewer it is opened in.
    std::function<QString()> ReportDialog;
    std::function<void(const QString &)> OpenReport;
    // Writes the commissioning report of the image; an error text, or empty.
    // Set at start-up: the report lives in its own library beside the windows.
    std::function<QString(const QString &path)> WriteReport;

    // TransferDisplay
    void DisableButtons() override;
    void EnableButtons() override;
    void SetProgress(int position) override;
    void SetBarColour(std::uint32_t rgb) override;
    void ShowMessage(const QString &text) override;
    void ShowError(const QString &text) override;

public slots:
    void btReadClick();
    void btWriteClick();
    void btCompareClick();
    void btOpenClick();
    void btSaveClick();
    void btEditClick();
    void btHistoryClick();
    void btReportClick();
    void btCloseClick();
    void Timer1Timer();

private:
    // Keeps the image of a finished read or write; says so when it could not.
    void keepInHistory(TransferOutcome outcome, History::Operation operation);
    void FormCreate();
    QString runFileDialog(bool save);

    ModuleLink *m_link = nullptr;
    TFormHistory *m_history = nullptr;
};

extern TFormDownload *FormDownload;
