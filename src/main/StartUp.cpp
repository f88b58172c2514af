#include "StartUp.h"

#include "MainForm.h"
#include "Welcome.h"
#include "editor/Settings.h"
#include "link/SerialDetails.h"
#include "params/Download.h"
#include "status/State.h"
#include "ui/WindowHelpers.h"

#include <QApplication>
#include <QFile>
#include <QIcon>

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
    connectWindows();

    WelcomeForm->show();
}

void connectWindows()
{
    FormDownload->openEditor = [] {
        if (SettingsForm)
            SettingsForm->EditImage();
    };
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

int RunQuelmar(int &argc, char **argv)
{
    QuelmarApplication app(argc, argv);
    ConfigureApplication();
    StartUp();
    const int result = QApplication::exec();
    ShutDown();
    return result;
}
