#include "StartUp.h"

#include "MainForm.h"
#include "Welcome.h"
#include "editor/Settings.h"
#include "link/FrameTrace.h"
#include "link/SerialDetails.h"
#include "params/Download.h"
#include "params/ImageState.h"
#include "report/Report.h"
#include "sites/SitesWindow.h"
#include "sites/SiteWork.h"
#include "status/State.h"
#include "ui/WindowHelpers.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFile>
#include <QIcon>
#include <QRegularExpression>

#include <cstdio>

namespace {

// Errors that no handler caught end up here rather than ending the program.
class QuelmarApplication : public QApplication
{
public:
    using QApplication::QApplication;

    bool notify(QObject *receiver, QEvent *event) override
    {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception &error) {
            showException(error);
        }
        return false;
    }
};

FrameTrace *s_trace = nullptr;
// The site in work and the Sites window (made by "Sites..." on first use).
Sites::SiteWork *s_siteWork = nullptr;
TFormSites *s_sitesWindow = nullptr;

constexpr int ExitUsage = 2;

template<typename T>
void destroy(T *&window)
{
    delete window;
    window = nullptr;
}

QString WriteReport(const QString &path)
{
    return Report::writePdf(path, imageReportContents()).error;
}

} // namespace

Report::Contents imageReportContents()
{
    Report::Contents contents;
    contents.image = ParameterImage;
    // The port the values came from, not whichever is open now.
    contents.port = parameterImageState().port();
    contents.origin = parameterImageState().sourceLine();
    if (s_siteWork && !s_siteWork->siteName().isEmpty()) {
        const Sites::SiteDetails d = s_siteWork->details().value_or(Sites::SiteDetails::named(s_siteWork->siteName()));
        // Known only once the book answered.
        const bool withoutSet = s_siteWork->details() && !s_siteWork->siteSet();
        contents.site = Report::Site{d.name, d.address, d.contact, withoutSet};
    }
    if (StateForm && StateForm->lastStatusTime().isValid())
        contents.state = Report::ModuleState{describeStatus(StateForm->Status()), StateForm->lastStatusTime()};
    return contents;
}

void configureApplication()
{
    QApplication::setStyle(QStringLiteral("Fusion"));
    QApplication::setApplicationName(QStringLiteral("Quelmar"));
    QApplication::setQuitOnLastWindowClosed(false);
    // The icons are linked into the program only; tests go without them.
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        const QString file = QStringLiteral(":/icons/quelmar-setup-%1.png").arg(size);
        if (QFile::exists(file))
            icon.addFile(file, QSize(size, size));
    }
    if (!icon.isNull())
        QApplication::setWindowIcon(icon);
    QGuiApplication::setDesktopFileName(QStringLiteral("quelmar-setup"));
}

void startUp()
{
    WelcomeForm = new TWelcomeForm; // the application's main window
    StateForm = new TStateForm;
    FormDownload = new TFormDownload; // fills the parameter image with 0xFF
    FormDownload->WriteReport = WriteReport;
    s_siteWork = new Sites::SiteWork;
    SettingsForm = new TSettingsForm; // reads the operator presets
    FormDetails = new TFormDetails;
    connectWindows();

    WelcomeForm->show();
}

void connectWindows()
{
    FormDownload->openEditor = [] { return SettingsForm && SettingsForm->editImage(); };
    if (!s_siteWork)
        return;
    FormDownload->SiteLog = s_siteWork;
    FormDownload->showSite(s_siteWork->siteName());
    QObject::connect(s_siteWork, &Sites::SiteWork::siteChanged, FormDownload, &TFormDownload::showSite);
    FormDownload->openSites = [] {
        showSitesWindow(s_sitesWindow, *s_siteWork, FormDownload);
        s_sitesWindow->Loaded = [] { FormDownload->imageLoaded(); };
        QObject::connect(FormDownload, &TFormDownload::operationRunning, s_sitesWindow, &TFormSites::operationRunning,
                         Qt::UniqueConnection);
    };
}

void shutDown()
{
    destroy(MainForm);
    destroy(FormDetails);
    destroy(SettingsForm);
    // Before the transfer window: its queued exchanges are recorded first,
    // and their notes go nowhere.
    destroy(s_sitesWindow);
    destroy(s_siteWork);
    destroy(FormDownload);
    destroy(StateForm);
    destroy(WelcomeForm);
}

std::optional<int> parseStartOptions(const QStringList &arguments, FrameTrace &trace)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Quelmar Setup: configure and watch a Quelmar module over a serial line.\n"
        "--trace is the only option besides --help and --version; everything else is done in the windows."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help and exit."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the version and exit."));
    const QCommandLineOption traceOption(
        QStringLiteral("trace"),
        QStringLiteral("Log every frame sent and received, and the status poll, to FILE (replaced): one line each, "
                       "tab-separated: milliseconds since start, out or in, the kind, the line bytes in hex, "
                       "the decrypted 16 bytes in hex (none for the poll)."),
        QStringLiteral("FILE"));
    parser.addOptions({help, version, traceOption});
    const auto usage = [](const QString &text) {
        std::fprintf(stderr, "quelmar: %s (see quelmar --help)\n", qPrintable(text));
        return ExitUsage;
    };
    if (!parser.parse(arguments))
        return usage(parser.errorText());
    if (parser.isSet(help)) {
        // helpText names the program by argv[0]; the manual wants its name.
        QString text = parser.helpText();
        text.replace(QRegularExpression(QStringLiteral("^Usage: \\S+")), QStringLiteral("Usage: quelmar"));
        std::fputs(qPrintable(text), stdout);
        return 0;
    }
    if (parser.isSet(version)) {
        std::printf("quelmar %s\n", QUELMAR_VERSION);
        return 0;
    }
    if (!parser.positionalArguments().isEmpty())
        return usage(QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()));
    if (parser.isSet(traceOption)) {
        QString error;
        if (!trace.open(parser.value(traceOption), &error))
            return usage(QStringLiteral("--trace: cannot write %1").arg(error));
    }
    return std::nullopt;
}

FrameTrace *startUpTrace()
{
    return s_trace;
}

int runQuelmar(int &argc, char **argv)
{
    // Answered before any window exists, so --help works without a display.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    FrameTrace trace;
    if (const auto exitCode = parseStartOptions(arguments, trace))
        return *exitCode;
    if (trace.isOpen())
        s_trace = &trace;

    QuelmarApplication app(argc, argv);
    configureApplication();
    startUp();
    const int result = QApplication::exec();
    shutDown();
    s_trace = nullptr;
    return result;
}
