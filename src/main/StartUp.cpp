#include "StartUp.h"

#include "AppUi.h"
#include "MainForm.h"
#include "Welcome.h"
#include "editor/Settings.h"
#include "link/SerialDetails.h"
#include "params/Download.h"
#include "report/Report.h"
#include "status/State.h"

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

// The report of the image as the transfer window holds it, with the module's
// last state when the status window received one.
QString WriteReport(const QString &path)
{
    Report::Contents contents;
    contents.image = ParameterImage;
    contents.port = FormDownload ? FormDownload->PortName() : QString();
    if (StateForm && StateForm->LastStatusTime().isValid())
        contents.state = Report::ModuleState{DescribeStatus(StateForm->Status()), StateForm->LastStatusTime()};
    return Report::writePdf(path, contents).error;
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
    FormDownload->WriteReport = WriteReport;
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

int RunQuelmar(int &argc, char **argv)
{
    QuelmarApplication app(argc, argv);
    ConfigureApplication();
    StartUp();
    const int result = QApplication::exec();
    ShutDown();
    return result;
}
