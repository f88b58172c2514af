#include "StartUp.h"

#include "AppUi.h"
#include "MainForm.h"
#include "Welcome.h"
#include "editor/Settings.h"
#include "link/SerialDetails.h"
#include "params/Download.h"
#include "status/State.h"

#include <QApplication>
#include <QFile>
#include <QIcon>

#include <cstdio>
#include <optional>
#include <string_view>

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
            ShowException(error);
        }
        return false;
    }
};

template<typename T>
void destroy(T *&window)
{
    delete window;
    window = nullptr;
}

} // namespace

void ConfigureApplication()
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

void StartUp()
{
    WelcomeForm = new TWelcomeForm; // the application's main window
    StateForm = new TStateForm;
    FormDownload = new TFormDownload; // fills the parameter image with 0xFF
    SettingsForm = new TSettingsForm; // reads the operator presets
    FormDetails = new TFormDetails;

    WelcomeForm->show();
}

void ShutDown()
{
    destroy(MainForm);
    destroy(FormDetails);
    destroy(SettingsForm);
    destroy(FormDownload);
    destroy(StateForm);
    destroy(WelcomeForm);
}

namespace {

// --help and --version answer on standard output without a display, so that
// scripts and the manual page generator can ask.
std::optional<int> answerWithoutWindows(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs("Usage: quelmar [--help] [--version]\n\n"
                       "Quelmar Setup configures and watches a Quelmar GSM telephone-line module over a\n"
                       "serial cable: it reads the module's parameters, edits and files them, writes them\n"
                       "back, and shows the module's live state (inputs, line, call state, signal level).\n\n"
                       "Ports COM1 to COM96 are devices: a link comN in $XDG_CONFIG_HOME/quelmar/ports\n"
                       "(default ~/.config/quelmar/ports) wins; otherwise COM1-32 are /dev/ttyS0-31,\n"
                       "COM33-64 /dev/ttyUSB0-31 and COM65-96 /dev/ttyACM0-31.\n\n"
                       "Options:\n"
                       "  -h, --help     Display this help and exit.\n"
                       "  --version      Display the version and exit.\n\n"
                       "See also quelmar-params(1) for the same operations without the windows, and\n"
                       "quelmar-module-sim(1) for a simulated module.\n",
                       stdout);
            return 0;
        }
        if (arg == "--version") {
            std::fputs("quelmar " QUELMAR_VERSION "\n", stdout);
            return 0;
        }
    }
    return std::nullopt;
}

} // namespace

int RunQuelmar(int &argc, char **argv)
{
    if (const auto answered = answerWithoutWindows(argc, argv))
        return *answered;
    QuelmarApplication app(argc, argv);
    ConfigureApplication();
    StartUp();
    const int result = QApplication::exec();
    ShutDown();
    return result;
}
