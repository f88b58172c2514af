#pragma once
// The parameter transfer window: reads, writes and compares the parameter
// image with the module, keeps it in files and opens the editor on it. The
// bar shows how far an operation got, the outcome line says how it ended, and
// a compare or verify that found differences lists them on request. Every
// image read, written or backed up is kept in the history.

#include "ExchangeLog.h"
#include "FieldModel.h"
#include "ModuleOperations.h"

#include <QWidget>
#include <functional>

class ModuleLink;
class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;
class TFormDifferences;
class TFormHistory;

class TFormDownload : public QWidget, public TransferDisplay, private ExchangeReceiver
{
    Q_OBJECT

public:
    static constexpr int ClientWidth = 320;
    static constexpr int ClientHeight = 518;

    // Fills the parameter image with 0xFF (FormCreate).
    explicit TFormDownload(QWidget *parent = nullptr);

    // The main window's link; without one the port counts as not connected.
    void setLink(ModuleLink *link);

    ParameterTransfer Transfer{*this};
    // The link's port ("COM3") as it is now, for history files and the
    // report; empty without a link. Tests on an in-process line name one.
    std::function<QString()> PortName;

    QProgressBar *Progress;
    QPushButton *btRead;
    QPushButton *btWrite;
    QPushButton *btCompare;
    QCheckBox *cbVerify;
    QCheckBox *cbBackup;
    QCheckBox *cbChangedOnly;
    QPushButton *btStop;
    QLabel *lbOutcome;
    QPushButton *btDifferences;
    QPushButton *btOpen;
    QPushButton *btSave;
    QPushButton *btEdit;
    QPushButton *btHistory;
    QPushButton *btSites;
    QPushButton *btReport;
    // "Site: NAME" while a site is in work.
    QLabel *lbSite;
    QPushButton *btClose;
    // The transfer's own tick.
    QTimer *Timer1;
    TFormDifferences *FormDifferences;

    // The file dialogs: the chosen path, or empty when cancelled.
    std::function<QString()> OpenDialog1;
    std::function<QString()> SaveDialog1;
    // The message box and the error box; tests put recorders here.
    std::function<void(const QString &)> MessageBox;
    std::function<void(const QString &)> ErrorBox;
    // "Edit parameters" opens the editor through this; start-up wires it,
    // since the editor's folder sits above this one. True when it stored.
    std::function<bool()> openEditor;
    // "Sites..." opens the Sites window through this (start-up wires it).
    std::function<void()> openSites;
    // The site in work, which every exchange is recorded to; none when unset.
    ExchangeLog *SiteLog = nullptr;
    // Shows the site in work, or none (empty).
    void showSite(const QString &name);
    // The image was replaced from a kept set (history, site book): the bar
    // full, as after "Read from File".
    void imageLoaded();
    // The report's save dialog, and the viewer it is opened in.
    std::function<QString()> ReportDialog;
    // False when no program could show it.
    std::function<bool(const QString &)> OpenReport;
    // Writes the commissioning report of the image; an error text, or empty.
    // Set at start-up: the report lives in its own library beside the windows.
    std::function<QString(const QString &path)> WriteReport;

    // TransferDisplay
    void DisableButtons() override;
    void EnableButtons() override;
    void setProgress(int position) override;
    void SetBarColour(std::uint32_t rgb) override;
    void showMessage(const QString &text) override;
    void showError(const QString &text) override;

signals:
    // A module operation, or a box or question of this window, began (true)
    // or ended (false): windows that could change the image or the site in
    // work meanwhile hold their buttons.
    void operationRunning(bool running);

protected:
    // The site in work may have been renamed meanwhile.
    void showEvent(QShowEvent *event) override;

public slots:
    void btReadClick();
    void btWriteClick();
    void btCompareClick();
    void btStopClick();
    void btDifferencesClick();
    void btOpenClick();
    void btSaveClick();
    void btEditClick();
    void btHistoryClick();
    void btSitesClick();
    void btReportClick();
    void btCloseClick();

private:
    void FormCreate();
    void saveWriteChecks();
    // False when the image holds unkept editor changes and the installer
    // keeps them.
    bool mayReplaceImage();
    // The runner of this window's module operations, this window receiving.
    ModuleOperations operations();
    // The image state and the site in work, as each stage ends.
    void received(const ExchangeRecord &record) override;
    void listDifferences(const TransferResult &result, std::span<const std::uint8_t> module,
                         std::span<const std::uint8_t> reference, const QString &heading);
    // An operation starts: what was said about the last one goes.
    void operationStarted();
    void fileOperationStarted();
    void showLine(const QString &text);
    void refreshHistory();
    bool siteInWork() const { return SiteLog && !SiteLog->target().isNone(); }
    // Holds the other windows (operationRunning) while held.
    void hold(bool on);
    // The Yes/No question, held.
    bool ask(const QString &question);
    // A file dialog, held.
    QString choose(const std::function<QString()> &dialog);
    // The site in work's notes join the outcome line unless another
    // operation started meanwhile.
    ExchangeLog::Done siteNote();

    ModuleLink *m_link = nullptr;
    int m_operations = 0; // counts started operations, for late site notes
    QString m_outcome;    // the outcome line without the site's notes
    QString m_siteNotes;
    int m_holds = 0;
    // The site in work when the operation started, and its set then.
    ExchangeLog::Target m_site;
    std::optional<ImageBytes> m_siteSet;
    TFormHistory *m_history = nullptr;
};

extern TFormDownload *FormDownload;
