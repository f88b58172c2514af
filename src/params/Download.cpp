#include "Download.h"

#include "Differences.h"
#include "HistoryWindow.h"
#include "ImageState.h"
#include "ParameterFile.h"
#include "TransferTexts.h"
#include "WriteChecks.h"

#include "link/ModuleLink.h"
#include "ui/WindowHelpers.h"

#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QUrl>

TFormDownload *FormDownload = nullptr;

namespace {

constexpr int Margin = 8;
constexpr int RowHeight = 28;
constexpr int CheckHeight = 22;
// Four lines: a half-written write with its backup file wraps to that.
constexpr int OutcomeHeight = 72;
constexpr int Gap = 6;
constexpr int SectionGap = 10;
constexpr int FullWidth = TFormDownload::ClientWidth - 2 * Margin;

const QString ModuleHeading = QStringLiteral("Module");

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
    // What a write does besides writing; texts of their own, as the text
    // table has none for them.
    cbVerify = new QCheckBox(QStringLiteral("Verify after writing"), this);
    cbVerify->setObjectName(QStringLiteral("cbVerify"));
    cbVerify->setGeometry(Margin, y, FullWidth, CheckHeight);
    y += CheckHeight + 2;
    cbBackup = new QCheckBox(QStringLiteral("Back up the module before writing"), this);
    cbBackup->setObjectName(QStringLiteral("cbBackup"));
    cbBackup->setGeometry(Margin, y, FullWidth, CheckHeight);
    y += CheckHeight + 2;
    cbChangedOnly = new QCheckBox(QStringLiteral("Write only changed blocks"), this);
    cbChangedOnly->setObjectName(QStringLiteral("cbChangedOnly"));
    cbChangedOnly->setGeometry(Margin, y, FullWidth, CheckHeight);
    y += CheckHeight + Gap;

    constexpr int stopWidth = 60;
    Progress = new QProgressBar(this);
    Progress->setObjectName(QStringLiteral("Progress"));
    Progress->setAccessibleName(QStringLiteral("Progress"));
    Progress->setRange(0, Transfer::BarMaximum);
    Progress->setValue(0);
    Progress->setTextVisible(false);
    Progress->setGeometry(Margin, y + 3, FullWidth - stopWidth - Gap, RowHeight - 6);
    // Always enabled: it ends a running operation, and does nothing otherwise.
    btStop = button(this, "btStop", QStringLiteral("Stop"),
                    QRect(Margin + FullWidth - stopWidth, y, stopWidth, RowHeight));
    y += RowHeight + 4;
    lbOutcome = new QLabel(this);
    lbOutcome->setObjectName(QStringLiteral("lbOutcome"));
    lbOutcome->setWordWrap(true);
    lbOutcome->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lbOutcome->setGeometry(Margin, y, FullWidth, OutcomeHeight);
    y += OutcomeHeight + 4;
    btDifferences = button(this, "btDifferences", QStringLiteral("Differences"),
                           QRect(Margin, y, FullWidth, RowHeight));
    btDifferences->setEnabled(false);
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
    const int third = (FullWidth - 2 * Gap) / 3;
    btHistory = button(this, "btHistory", QStringLiteral("History"), QRect(Margin, y, third, RowHeight));
    btSites = button(this, "btSites", QStringLiteral("Sites..."),
                     QRect(Margin + third + Gap, y, FullWidth - 2 * third - 2 * Gap, RowHeight));
    btReport = button(this, "btReport", QStringLiteral("Report"),
                      QRect(Margin + FullWidth - third, y, third, RowHeight));
    y += RowHeight + 4;
    lbSite = new QLabel(this);
    lbSite->setObjectName(QStringLiteral("lbSite"));
    lbSite->setGeometry(Margin, y, FullWidth, CheckHeight);
    btClose = button(this, "btClose", QStringLiteral("Ablak bezárása"),
                     QRect(Margin, ClientHeight - Margin - RowHeight, FullWidth, RowHeight));

    Timer1 = &Transfer.tick();
    FormDifferences = new TFormDifferences(this);

    const WriteChecks checks = loadWriteChecks();
    cbVerify->setChecked(checks.verify);
    cbBackup->setChecked(checks.backup);
    cbChangedOnly->setChecked(checks.changedOnly);
    for (QCheckBox *check : {cbVerify, cbBackup, cbChangedOnly})
        connect(check, &QCheckBox::toggled, this, &TFormDownload::saveWriteChecks);

    connect(btRead, &QPushButton::clicked, this, &TFormDownload::btReadClick);
    connect(btWrite, &QPushButton::clicked, this, &TFormDownload::btWriteClick);
    connect(btCompare, &QPushButton::clicked, this, &TFormDownload::btCompareClick);
    connect(btStop, &QPushButton::clicked, this, &TFormDownload::btStopClick);
    connect(btDifferences, &QPushButton::clicked, this, &TFormDownload::btDifferencesClick);
    connect(btOpen, &QPushButton::clicked, this, &TFormDownload::btOpenClick);
    connect(btSave, &QPushButton::clicked, this, &TFormDownload::btSaveClick);
    connect(btEdit, &QPushButton::clicked, this, &TFormDownload::btEditClick);
    connect(btHistory, &QPushButton::clicked, this, &TFormDownload::btHistoryClick);
    connect(btSites, &QPushButton::clicked, this, &TFormDownload::btSitesClick);
    connect(btReport, &QPushButton::clicked, this, &TFormDownload::btReportClick);
    connect(btClose, &QPushButton::clicked, this, &TFormDownload::btCloseClick);

    OpenDialog1 = [this] { return askParameterFile(this, FileDialogMode::Open); };
    SaveDialog1 = [this] { return askParameterFile(this, FileDialogMode::Save); };
    MessageBox = [this](const QString &text) {
        QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(), text, QMessageBox::Ok, this);
        box.exec();
    };
    ErrorBox = [](const QString &text) { showErrorBox(text); };
    ReportDialog = [this] {
        return askFileName(this, FileDialogMode::Save, QStringLiteral("PDF (*.pdf)"), QStringLiteral("pdf"));
    };
    // Asked each time: the main window sets the port after the link exists.
    PortName = [this] { return m_link ? m_link->ComPort1.Port() : QString(); };
    OpenReport = [](const QString &path) { return QDesktopServices::openUrl(QUrl::fromLocalFile(path)); };

    SetBarColour(Transfer::Green);
    keyboardWindow(this, false);
    centreOnScreen(this);
    FormCreate();
}

void TFormDownload::FormCreate()
{
    workingImage().erase();
}

void TFormDownload::setLink(ModuleLink *link)
{
    Transfer.Link = link ? TransferLink{&link->ComPort1, &link->Codec, &link->Dispatcher.Reception} : TransferLink{};
    m_link = link;
}


void TFormDownload::saveWriteChecks()
{
    storeWriteChecks({cbVerify->isChecked(), cbBackup->isChecked(), cbChangedOnly->isChecked()});
}

// ------------------------------------------------------------ display

void TFormDownload::DisableButtons()
{
    for (QPushButton *b : {btOpen, btSave, btRead, btWrite, btCompare, btEdit, btHistory, btSites, btReport, btClose})
        b->setEnabled(false);
    // A module sequence starts: what was said and listed about the last one
    // no longer describes the module.
    for (QCheckBox *check : {cbVerify, cbBackup, cbChangedOnly})
        check->setEnabled(false);
    btDifferences->setEnabled(false);
    hold(true);
    FormDifferences->hide();
    lbOutcome->clear();
}

void TFormDownload::EnableButtons()
{
    for (QPushButton *b : {btOpen, btSave, btRead, btWrite, btCompare, btEdit, btHistory, btSites, btReport, btClose})
        b->setEnabled(true);
    for (QCheckBox *check : {cbVerify, cbBackup, cbChangedOnly})
        check->setEnabled(true);
    hold(false);
}

void TFormDownload::hold(bool on)
{
    m_holds += on ? 1 : -1;
    if (m_holds == (on ? 1 : 0))
        emit operationRunning(on);
}

bool TFormDownload::ask(const QString &question)
{
    hold(true);
    const bool yes = askYesNo(this, question);
    hold(false);
    return yes;
}

QString TFormDownload::choose(const std::function<QString()> &dialog)
{
    hold(true);
    const QString path = dialog();
    hold(false);
    return path;
}

void TFormDownload::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (SiteLog)
        SiteLog->refresh();
}

void TFormDownload::setProgress(int position)
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

void TFormDownload::showMessage(const QString &text)
{
    hold(true);
    MessageBox(text);
    hold(false);
}

void TFormDownload::showError(const QString &text)
{
    hold(true);
    ErrorBox(text);
    hold(false);
}

// ------------------------------------------------------------ buttons

ModuleOperations TFormDownload::operations()
{
    ModuleOperations runner(Transfer, PortName());
    runner.attach(this);
    return runner;
}

void TFormDownload::received(const ExchangeRecord &record)
{
    WorkingImage &state = workingImage();
    const bool complete = record.image.has_value();
    if (record.operation == Operation::Read && !record.inWrite && complete) {
        // Bytes 960 to 1087 from the set of the site the read belongs to.
        state.readFromModule(record.port, [this](ImageBytes &image) {
            if (m_siteSet)
                keepPcBytes(image, *m_siteSet);
        });
    } else if (record.operation == Operation::Compare && complete && !record.differs()
               && std::equal(record.reference.begin(), record.reference.begin() + EEAddr::ModuleBytes,
                             state.bytes().begin())) {
        // The module holds the last read or written set, and so does the
        // image: changes made since stay unkept.
        state.readFromModule(record.port);
    } else if (record.ending == WriteEnding::Written || record.ending == WriteEnding::VerifyStopped) {
        state.writtenToModule(record.port, ImageState::Verify::NotRun);
    } else if (record.ending == WriteEnding::Verified || record.ending == WriteEnding::AlreadyHeld) {
        state.writtenToModule(record.port, ImageState::Verify::Matched);
    } else if (record.ending == WriteEnding::VerifyDiffered) {
        state.writtenToModule(record.port, ImageState::Verify::Differed);
    }
    if (SiteLog && !m_site.isNone())
        SiteLog->record(m_site, record, siteNote());
}

void TFormDownload::refreshHistory()
{
    if (m_history && m_history->isVisible())
        m_history->Refresh();
}

bool TFormDownload::mayReplaceImage()
{
    return !workingImage().state().hasUnkeptChanges() || ask(QString::fromLatin1(UnkeptChangesReplaceQuestion));
}

void TFormDownload::btReadClick()
{
    // Declined: nothing is sent and the line keeps what it said.
    if (!mayReplaceImage())
        return;
    operationStarted();
    const ExchangeRecord read = operations().read();
    refreshHistory();
    // A wrong module is seen at once: its set is not the site's.
    showLine(outcomeText(read) + siteDifferenceText(read, m_siteSet)
             + (read.image ? History::outcomeNote(read.history) : QString()));
}

void TFormDownload::btWriteClick()
{
    operationStarted();
    // The erased image of start-up would wipe the module's configuration:
    // written only when the installer says so.
    if (Transfer.Link.Connected() && workingImage().state().isUntouched()
        && !ask(QString::fromLatin1(UntouchedWriteQuestion))) {
        fileOperationStarted();
        showLine(QString::fromLatin1(NothingWrittenText));
        return;
    }
    CheckedWriteOptions options;
    options.verify = cbVerify->isChecked();
    options.backup = cbBackup->isChecked();
    options.changedOnly = cbChangedOnly->isChecked();
    const WriteOutcome write = operations().write(options);
    refreshHistory();
    if (write.ending == WriteEnding::VerifyDiffered || write.ending == WriteEnding::VerifyStopped)
        listDifferences(write.result, write.readBack, write.written, QStringLiteral("Written"));
    showLine(outcomeText(write));
    if (mayBeHalfWritten(write)) {
        QPalette red = lbOutcome->palette();
        red.setColor(QPalette::WindowText, Qt::red);
        lbOutcome->setPalette(red);
    }
}

void TFormDownload::btCompareClick()
{
    operationStarted();
    const ExchangeRecord compare = operations().compare(Transfer.Buffer(), CompareWith::LastTransfer);
    listDifferences(compare.result, Transfer.Received(), Transfer.Buffer(), QStringLiteral("Last read or written"));
    showLine(outcomeText(compare) + changedSinceText(compare, workingImage().bytes()));
}

void TFormDownload::btStopClick()
{
    Transfer.stop();
}

void TFormDownload::btDifferencesClick()
{
    // Beside this window, so the outcome line stays in sight.
    placeBeside(FormDifferences, this);
    bringForward(FormDifferences);
}

void TFormDownload::listDifferences(const TransferResult &result, std::span<const std::uint8_t> module,
                                    std::span<const std::uint8_t> reference, const QString &heading)
{
    ImageBytes seen{};
    const FieldModel::ImageDifferences differences = arrivedDifferences(result, module, reference, seen);
    if (differences.isEmpty())
        return;
    FormDifferences->showDifferences(differenceRows(differences, seen, reference), ModuleHeading, heading);
    btDifferences->setEnabled(true);
}

void TFormDownload::showLine(const QString &text)
{
    m_outcome = text;
    lbOutcome->setPalette(QPalette());
    lbOutcome->setText(m_outcome + m_siteNotes);
}

ExchangeLog::Done TFormDownload::siteNote()
{
    const int operation = m_operations;
    return [this, operation](const QString &note) {
        // The stages of one write that failed alike say it once.
        if (note.isEmpty() || operation != m_operations || m_siteNotes.contains(note))
            return;
        m_siteNotes += note;
        lbOutcome->setText(m_outcome + m_siteNotes);
    };
}

void TFormDownload::showSite(const QString &name)
{
    lbSite->setText(name.isEmpty() ? QString() : QStringLiteral("Site: ") + name);
}

void TFormDownload::imageLoaded()
{
    SetBarColour(Transfer::Green);
    setProgress(Transfer::BarMaximum);
    fileOperationStarted();
}

void TFormDownload::operationStarted()
{
    ++m_operations;
    m_outcome.clear();
    m_siteNotes.clear();
    // Whatever is chosen meanwhile, this operation's exchanges are that site's.
    m_site = SiteLog ? SiteLog->target() : ExchangeLog::Target();
    m_siteSet = SiteLog ? SiteLog->siteSet() : std::nullopt;
}

void TFormDownload::fileOperationStarted()
{
    operationStarted();
    btDifferences->setEnabled(false);
    lbOutcome->setPalette(QPalette());
    lbOutcome->clear();
}

void TFormDownload::btOpenClick()
{
    if (!mayReplaceImage())
        return;
    // Reset before the dialog, so a cancel shows it too.
    SetBarColour(Transfer::Green);
    setProgress(0);
    fileOperationStarted();
    const QString path = choose(OpenDialog1);
    if (path.isEmpty())
        return;
    ImageBytes loaded = workingImage().bytes();
    const ParameterFile::Result result = ParameterFile::load(path, loaded);
    if (!result.ok) {
        showError(result.message);
        return;
    }
    setProgress(Transfer::BarMaximum);
    workingImage().loadFromFile(loaded, QFileInfo(path).fileName());
    showLine(fileOutcomeText(true, QFileInfo(path).fileName()));
    if (siteInWork())
        SiteLog->file(workingImage().bytes(), QStringLiteral("from ") + QFileInfo(path).fileName(), siteNote());
}

void TFormDownload::btSaveClick()
{
    const QString path = choose(SaveDialog1);
    if (path.isEmpty())
        return;
    fileOperationStarted();
    const ParameterFile::Result result = ParameterFile::save(path, workingImage().bytes());
    if (!result.ok) {
        showError(result.message);
        return;
    }
    workingImage().savedToFile(QFileInfo(path).fileName());
    showLine(fileOutcomeText(false, QFileInfo(path).fileName()));
}

void TFormDownload::btEditClick()
{
    if (!openEditor)
        return;
    const ImageBytes before = workingImage().bytes();
    if (!openEditor())
        return;
    // A changed set is the site's new current set; the outcome line makes
    // room for its note.
    if (workingImage().bytes() == before || !siteInWork())
        return;
    fileOperationStarted();
    SiteLog->file(workingImage().bytes(), QStringLiteral("stored in the editor"), siteNote());
}

void TFormDownload::btHistoryClick()
{
    const bool first = !m_history;
    if (first) {
        m_history = new TFormHistory(this);
        m_history->Loaded = [this] { imageLoaded(); };
        connect(this, &TFormDownload::operationRunning, m_history->btLoad, &QWidget::setDisabled);
    }
    m_history->Refresh();
    // At the width its entries gave it, clear of this window when the screen has room.
    if (first) {
        centreOnScreen(m_history);
        placeBeside(m_history, this);
    }
    m_history->show();
    bringForward(m_history);
}

void TFormDownload::btSitesClick()
{
    if (openSites)
        openSites();
}

void TFormDownload::btReportClick()
{
    if (!WriteReport)
        return;
    const QString path = choose(ReportDialog);
    if (path.isEmpty())
        return;
    const QString error = WriteReport(path);
    if (!error.isEmpty()) {
        showError(error);
        return;
    }
    // Without a viewer the report would be saved without a word on screen.
    if (!OpenReport(path))
        showMessage(QStringLiteral("The report was saved to %1. No program to show it was found.").arg(path));
}

void TFormDownload::btCloseClick()
{
    hide();
}

