#include "Download.h"

#include "HistoryWindow.h"
#include "ParameterFile.h"

#include "editor/Settings.h"
#include "link/ModuleLink.h"
#include "main/AppUi.h"

#include <QApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QUrl>
#include <QFileDialog>
#include <QFrame>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

TFormDownload *FormDownload = nullptr;

namespace {

constexpr int Margin = 8;
constexpr int RowHeight = 28;
constexpr int Gap = 6;
constexpr int SectionGap = 10;
constexpr int FullWidth = TFormDownload::ClientWidth - 2 * Margin;

const QString FileFilter = QStringLiteral("Quelmar 3 GPRS Data (*.QM3)");
const QString FileSuffix = QStringLiteral("QM3");

QPushButton *button(QWidget *parent, const char *name, const QString &text, const QRect &place)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    b->setGeometry(place);
    return b;
}

} // namespace

TFormDownload::TFormDownload(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("FormDownload"));
    setWindowTitle(QStringLiteral("Quelmar - Paraméterek le- és feltöltése"));
    setFixedSize(ClientWidth, ClientHeight);

    // The module operations, their progress bar, then the file and editor
    // buttons and Close; the window definition's own (Hungarian) texts,
    // which the English text table replaces at start-up.
    int y = Margin;
    btRead = button(this, "btRead", QStringLiteral("<-- Paraméterek olvasása a modulból"),
                    QRect(Margin, y, FullWidth, RowHeight));
    y += RowHeight + Gap;
    btWrite = button(this, "btWrite", QStringLiteral("--> Paraméterek írása a modulba"),
                     QRect(Margin, y, FullWidth, RowHeight));
    y += RowHeight + Gap;
    btCompare = button(this, "btCompare", QStringLiteral("<--> Összehasonlítás a modullal"),
                       QRect(Margin, y, FullWidth, RowHeight));
    y += RowHeight + SectionGap;

    constexpr int stopWidth = 60;
    Progress = new QProgressBar(this);
    Progress->setObjectName(QStringLiteral("Progress"));
    Progress->setAccessibleName(QStringLiteral("Progress"));
    Progress->setRange(0, Transfer::BarMaximum);
    Progress->setValue(0);
    Progress->setTextVisible(false);
    Progress->setGeometry(Margin, y + 3, FullWidth - stopWidth - Gap, RowHeight - 6);
    // Kept enabled and unconnected: pressing it does nothing.
    btStop = button(this, "btStop", QStringLiteral("Stop"),
                    QRect(Margin + FullWidth - stopWidth, y, stopWidth, RowHeight));
    y += RowHeight + SectionGap;

    auto *rule = new QFrame(this);
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);
    rule->setGeometry(Margin, y, FullWidth, 2);
    y += 2 + SectionGap;

    const int half = (FullWidth - Gap) / 2;
    btOpen = button(this, "btOpen", QStringLiteral("Beolvasás fájlból"), QRect(Margin, y, half, RowHeight));
    btSave = button(this, "btSave", QStringLiteral("Mentés fájlba"),
                    QRect(Margin + FullWidth - half, y, half, RowHeight));
    y += RowHeight + Gap;
    btEdit = button(this, "btEdit", QStringLiteral("Paraméterek szerkesztése"),
                    QRect(Margin, y, FullWidth, RowHeight));
    y += RowHeight + Gap;
    btHistory = button(this, "btHistory", QStringLiteral("History"), QRect(Margin, y, half, RowHeight));
    btReport = button(this, "btReport", QStringLiteral("Report"),
                      QRect(Margin + FullWidth - half, y, half, RowHeight));
    y += RowHeight + Gap;
    constexpr int outcomeHeight = 40;
    lbOutcome = new QLabel(this);
    lbOutcome->setObjectName(QStringLiteral("lbOutcome"));
    lbOutcome->setWordWrap(true);
    lbOutcome->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lbOutcome->setGeometry(Margin, y, FullWidth, outcomeHeight);
    btClose = button(this, "btClose", QStringLiteral("Ablak bezárása"),
                     QRect(Margin, ClientHeight - Margin - RowHeight, FullWidth, RowHeight));

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(Transfer::TickMs);

    connect(btRead, &QPushButton::clicked, this, &TFormDownload::btReadClick);
    connect(btWrite, &QPushButton::clicked, this, &TFormDownload::btWriteClick);
    connect(btCompare, &QPushButton::clicked, this, &TFormDownload::btCompareClick);
    connect(btOpen, &QPushButton::clicked, this, &TFormDownload::btOpenClick);
    connect(btSave, &QPushButton::clicked, this, &TFormDownload::btSaveClick);
    connect(btEdit, &QPushButton::clicked, this, &TFormDownload::btEditClick);
    connect(btHistory, &QPushButton::clicked, this, &TFormDownload::btHistoryClick);
    connect(btReport, &QPushButton::clicked, this, &TFormDownload::btReportClick);
    connect(btClose, &QPushButton::clicked, this, &TFormDownload::btCloseClick);
    connect(Timer1, &QTimer::timeout, this, &TFormDownload::Timer1Timer);

    OpenDialog1 = [this] { return runFileDialog(false); };
    SaveDialog1 = [this] { return runFileDialog(true); };
    MessageBox = [this](const QString &text) {
        QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(), text, QMessageBox::Ok, this);
        box.exec();
    };
    ErrorBox = [](const QString &text) { ShowErrorBox(text); };
    ReportDialog = [this] {
        QFileDialog dialog(this, QString(), QString(), QStringLiteral("PDF (*.pdf)"));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(QStringLiteral("pdf"));
        dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
        return dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty() ? dialog.selectedFiles().constFirst()
                                                                                      : QString();
    };
    OpenReport = [](const QString &path) { QDesktopServices::openUrl(QUrl::fromLocalFile(path)); };

    SetBarColour(Transfer::Green);
    CentreOnScreen(this);
    FormCreate();
    Timer1->start();
}

void TFormDownload::FormCreate()
{
    FillImage(0xFF);
}

void TFormDownload::SetLink(ModuleLink *link)
{
    m_link = link;
    Transfer.Link = link ? TransferLink{&link->ComPort1, &link->Codec, &link->Dispatcher.Reception} : TransferLink{};
}

// ------------------------------------------------------------ display

void TFormDownload::DisableButtons()
{
    for (QPushButton *b : {btOpen, btSave, btRead, btWrite, btCompare, btEdit, btHistory, btReport, btClose})
        b->setEnabled(false);
}

void TFormDownload::EnableButtons()
{
    for (QPushButton *b : {btOpen, btSave, btRead, btWrite, btCompare, btEdit, btHistory, btReport, btClose})
        b->setEnabled(true);
}

void TFormDownload::SetProgress(int position)
{
    // A value beyond the range would be ignored; the bar shows it as full.
    Progress->setValue(std::clamp(position, 0, Transfer::BarMaximum));
}

void TFormDownload::SetBarColour(std::uint32_t rgb)
{
    // The Fusion style paints the bar in the highlight colour.
    QPalette palette = Progress->palette();
    palette.setColor(QPalette::Highlight, QColor::fromRgb(static_cast<QRgb>(rgb)));
    Progress->setPalette(palette);
}

void TFormDownload::ShowMessage(const QString &text)
{
    MessageBox(text);
}

void TFormDownload::ShowError(const QString &text)
{
    ErrorBox(text);
}

// ------------------------------------------------------------ buttons

QString TFormDownload::PortName() const
{
    return m_link ? m_link->ComPort1.Port() : QString();
}

void TFormDownload::keepInHistory(TransferOutcome outcome, History::Operation operation)
{
    // Not connected leaves everything as it was, the note included.
    if (outcome == TransferOutcome::NotConnected)
        return;
    lbOutcome->clear();
    if (outcome != TransferOutcome::Succeeded)
        return;
    const History::Kept kept = History::Store().keep(ParameterImage, operation, PortName());
    lbOutcome->setText(History::outcomeNote(kept));
    if (m_history && m_history->isVisible())
        m_history->Refresh();
}

void TFormDownload::btReadClick()
{
    keepInHistory(Transfer.Read(), History::Operation::Read);
}

void TFormDownload::btWriteClick()
{
    keepInHistory(Transfer.Write(), History::Operation::Write);
}

void TFormDownload::btCompareClick()
{
    Transfer.Compare();
}

void TFormDownload::btOpenClick()
{
    // Reset before the dialog, so a cancel shows it too.
    SetBarColour(Transfer::Green);
    SetProgress(0);
    const QString path = OpenDialog1();
    if (path.isEmpty())
        return;
    const ParameterFile::Result result = ParameterFile::Load(path, ParameterImage);
    if (!result.ok) {
        ShowError(result.message);
        return;
    }
    SetProgress(Transfer::BarMaximum);
}

void TFormDownload::btSaveClick()
{
    const QString path = SaveDialog1();
    if (path.isEmpty())
        return;
    const ParameterFile::Result result = ParameterFile::Save(path, ParameterImage);
    if (!result.ok)
        ShowError(result.message);
}

void TFormDownload::btEditClick()
{
    if (SettingsForm)
        SettingsForm->EditImage();
}

void TFormDownload::btHistoryClick()
{
    if (!m_history) {
        m_history = new TFormHistory(this);
        m_history->Loaded = [this] {
            SetBarColour(Transfer::Green);
            SetProgress(Transfer::BarMaximum);
            lbOutcome->clear();
        };
    }
    m_history->Refresh();
    m_history->show();
    m_history->raise();
}

void TFormDownload::btReportClick()
{
    if (!WriteReport)
        return;
    const QString path = ReportDialog();
    if (path.isEmpty())
        return;
    const QString error = WriteReport(path);
    if (!error.isEmpty()) {
        ShowError(error);
        return;
    }
    OpenReport(path);
}

void TFormDownload::btCloseClick()
{
    hide();
}

void TFormDownload::Timer1Timer()
{
    Transfer.Timer1Timer();
}

QString TFormDownload::runFileDialog(bool save)
{
    QFileDialog dialog(this, QString(), QString(), FileFilter);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(FileSuffix);
    // Asked before an existing file is replaced: a mis-click would otherwise
    // overwrite a customer's saved parameter set with no way back.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}
