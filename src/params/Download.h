#pragma once
// The parameter transfer window: reads, writes and compares the parameter
// image with the module, keeps it in files and opens the editor on it. The
// progress bar is the only report of a module operation's outcome.

#include "Transfer.h"

#include <QWidget>
#include <functional>

class ModuleLink;
class QProgressBar;
class QPushButton;
class QTimer;

class TFormDownload : public QWidget, public TransferDisplay
{
    Q_OBJECT

public:
    static constexpr int ClientWidth = 276;
    static constexpr int ClientHeight = 276;

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
    QPushButton *btClose;
    QTimer *Timer1;

    // The file dialogs: the chosen path, or empty when cancelled.
    std::function<QString()> OpenDialog1;
    std::function<QString()> SaveDialog1;
    // The message box and the error box; tests put recorders here.
    std::function<void(const QString &)> MessageBox;
    std::function<void(const QString &)> ErrorBox;
    // "Edit parameters" opens the editor through this; start-up wires it,
    // since the editor's folder sits above this one.
    std::function<void()> openEditor;

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
    void btCloseClick();
    void Timer1Timer();

private:
    void FormCreate();
    QString runFileDialog(bool save);
};

extern TFormDownload *FormDownload;
