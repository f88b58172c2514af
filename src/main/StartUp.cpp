#include "StartUp.h"

#include "AppUi.h"
#include "MainForm.h"
#include "Welcome.h"
#include "link/SerialDetails.h"
#include "params/Download.h"
#include "status/State.h"

#include <QApplication>

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
}

void StartUp()
{
    WelcomeForm = new TWelcomeForm; // the application's main window
    StateForm = new TStateForm;
    FormDownload = new TFormDownload; // fills the parameter image with 0xFF
    // The editor is created here.
    FormDetails = new TFormDetails;

    WelcomeForm->show();
}

void ShutDown()
{
    destroy(MainForm);
    destroy(FormDetails);
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
