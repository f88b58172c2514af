// Start-up and end of the program: window order, the splash phase, the
// English texts, the remembered port, closing, and the details shortcut.

#include "ShellFixture.h"

#include "common/BoxAnswerer.h"
#include "serial/FakeDeviceRegistry.h"

#include "editor/Settings.h"
#include "link/FrameTrace.h"
#include "link/SerialDetails.h"
#include "main/Languages.h"
#include "main/Welcome.h"
#include "params/Download.h"
#include "status/State.h"
#include "ui/WindowHelpers.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>

namespace {

// What the user sees for a row of the text table.
QString visibleText(const TextRow &row, QWidget *control)
{
    if (row.control.isEmpty())
        return control->windowTitle();
    if (auto *button = qobject_cast<QAbstractButton *>(control))
        return button->text();
    if (auto *label = qobject_cast<QLabel *>(control))
        return label->text();
    if (auto *group = qobject_cast<QGroupBox *>(control))
        return group->title();
    return QStringLiteral("<no caption on %1>").arg(control->metaObject()->className());
}

QByteArray portFile(const QString &port)
{
    return "2,1\r\ncw 0,20\r\ncw 1,20\r\n0,0," + port.toLatin1() + "\r\n";
}

} // namespace

class TestStartUp : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_fixture.setUp()); }
    void cleanupTestCase() { m_fixture.tearDown(); }
    void cleanup();

    void windowsInOrderThenSplashPhase();
    void englishTextsFromFirstDisplay();
    void closingEndsTheProgram_data();
    void closingEndsTheProgram();
    void quittingWithUnkeptChangesAsks_data();
    void quittingWithUnkeptChangesAsks();
    void portRestoredAndStored_data();
    void portRestoredAndStored();
    void rememberedPortShownAtStart_data();
    void rememberedPortShownAtStart();
    void detailsShortcut_data();
    void detailsShortcut();
    void windowsOpenCentred_data();
    void windowsOpenCentred();
    void commandLine_data();
    void commandLine();

private:
    ShellFixture m_fixture;
};

void TestStartUp::cleanup()
{
    shutDown();
    QFile::remove(m_fixture.workPath("QuelmarSetup.ini"));
}

void TestStartUp::windowsInOrderThenSplashPhase()
{
    startUp();
    // The splash is up and has created the main window, which found the
    // windows created before it and linked them to the module link.
    QVERIFY(WelcomeForm && StateForm && FormDetails && MainForm);
    QVERIFY(WelcomeForm->isVisible());
    QVERIFY(!MainForm->isVisible());
    QVERIFY(!StateForm->isVisible());
    QVERIFY(!FormDetails->isVisible());
    QVERIFY(WelcomeForm->Timer1->isActive());
    QCOMPARE(WelcomeForm->Timer1->interval(), 20);
    QCOMPARE(WelcomeForm->lbVersion->text(), QStringLiteral(" v1.03b BELL"));
    QVERIFY(WelcomeForm->windowFlags() & Qt::FramelessWindowHint);
    QVERIFY(WelcomeForm->windowFlags() & Qt::WindowStaysOnTopHint);
    QCOMPARE(MainForm->Link.Dispatcher.StatusWindow, static_cast<StatusSink *>(StateForm));
    QCOMPARE(MainForm->Link.Dispatcher.Memos, static_cast<MemoSink *>(FormDetails));

    QTRY_VERIFY_WITH_TIMEOUT(MainForm->isVisible(), ShellFixture::Patience);
    QVERIFY(!WelcomeForm->isVisible());
    QVERIFY(!WelcomeForm->Timer1->isActive());
    QVERIFY(!StateForm->isVisible());
    QVERIFY(!FormDetails->isVisible());
    QCOMPARE(MainForm->size(), QSize(232, 284));

    // The start state of the connection.
    QVERIFY(MainForm->btConnect->isEnabled());
    QVERIFY(MainForm->ButtonSelectSerial->isEnabled());
    QVERIFY(MainForm->btClose->isEnabled());
    QVERIFY(!MainForm->btDisconnect->isEnabled());
    QVERIFY(!MainForm->btStatus->isEnabled());
    QVERIFY(!MainForm->btParameterSetting->isEnabled());
    QVERIFY(MainForm->statusText().isEmpty());
    QVERIFY(!MainForm->ComPort1.Connected());
}

void TestStartUp::englishTextsFromFirstDisplay()
{
    startUp();
    // Before the splash's tick the windows carry their own texts.
    int changed = 0;
    for (const TextRow &row : englishTexts()) {
        if (row.what == TextWhat::Property) {
            QObject *component = findObject(row);
            QVERIFY2(component, qPrintable(row.window + '.' + row.control));
            if (component->property(row.property).toString() != row.text)
                ++changed;
            continue;
        }
        QWidget *control = findControl(row);
        QVERIFY2(control, qPrintable(row.window + '.' + row.control));
        if (row.what == TextWhat::Caption && visibleText(row, control) != row.text)
            ++changed;
    }
    QVERIFY(changed > 0);

    QString captionAtFirstShow;
    QString buttonAtFirstShow;
    struct ShowSpy : QObject
    {
        std::function<void()> onShow;
        bool eventFilter(QObject *, QEvent *event) override
        {
            if (event->type() == QEvent::Show)
                onShow();
            return false;
        }
    } spy;
    spy.onShow = [&] {
        captionAtFirstShow = MainForm->windowTitle();
        buttonAtFirstShow = MainForm->btConnect->text();
    };
    MainForm->installEventFilter(&spy);
    QTRY_VERIFY_WITH_TIMEOUT(MainForm->isVisible(), ShellFixture::Patience);
    MainForm->removeEventFilter(&spy);
    QCOMPARE(captionAtFirstShow, QStringLiteral("Quelmar 5  v1.03b BELL"));
    QCOMPARE(buttonAtFirstShow, QStringLiteral("Open serial port"));

    for (const TextRow &row : englishTexts()) {
        const QByteArray where = (row.window + '.' + row.control).toUtf8();
        if (row.what == TextWhat::Property) {
            QObject *component = findObject(row);
            QVERIFY2(component, where.constData());
            QCOMPARE(component->property(row.property).toString(), row.text);
            continue;
        }
        QWidget *control = findControl(row);
        QVERIFY2(control, where.constData());
        switch (row.what) {
        case TextWhat::Caption:
            QCOMPARE(visibleText(row, control), row.text);
            break;
        case TextWhat::Hidden:
            QVERIFY2(control->isHidden(), where.constData());
            break;
        case TextWhat::Property:
            break;
        }
    }

    StateForm->show();
    QCOMPARE(StateForm->windowTitle(), QStringLiteral("Quelmar5 - Status"));
    QCOMPARE(StateForm->PanelLineVoltage->text(), QStringLiteral("PSTN Line"));
    QVERIFY(MainForm->btDetails->isHidden());

    // The editor's texts come with the others; two of its pages are gone.
    QCOMPARE(SettingsForm->windowTitle(), QStringLiteral("Quelmar5 - Settings"));
    QStringList pages;
    for (int i = 0; i < SettingsForm->PageControl1->count(); ++i)
        pages << SettingsForm->PageControl1->tabText(i);
    QCOMPARE(pages, (QStringList{"Phone numbers", "SMS settings", "Call Filter", "Output Control", "Bell 103"}));
    QVERIFY(SettingsForm->findChild<QWidget *>(QStringLiteral("edAPN")));
}

void TestStartUp::closingEndsTheProgram_data()
{
    QTest::addColumn<bool>("button");
    QTest::newRow("btClose") << true;
    QTest::newRow("title bar") << false;
}

void TestStartUp::closingEndsTheProgram()
{
    QFETCH(bool, button);
    startUp();
    QTimer watchdog;
    watchdog.setSingleShot(true);
    connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    watchdog.start(ShellFixture::Patience);

    bool closed = false;
    QTimer poller;
    connect(&poller, &QTimer::timeout, [&] {
        if (closed || !MainForm || !MainForm->isVisible())
            return;
        closed = true;
        StateForm->show(); // another window open does not keep the program alive
        if (button)
            QTest::mouseClick(MainForm->btClose, Qt::LeftButton);
        else
            MainForm->windowHandle()->close();
    });
    poller.start(10);

    QCOMPARE(QApplication::exec(), 0);
    QVERIFY(closed);
    QVERIFY(!MainForm->isVisible());
    QVERIFY(!WelcomeForm->isVisible());

    QVERIFY(!QFile::exists(m_fixture.workPath("QuelmarSetup.ini")));
    shutDown();
    QFile file(m_fixture.workPath("QuelmarSetup.ini"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), portFile("COM1"));
}

void TestStartUp::quittingWithUnkeptChangesAsks_data()
{
    QTest::addColumn<bool>("edited");
    QTest::addColumn<bool>("saved");
    QTest::addColumn<bool>("yes");
    QTest::addColumn<bool>("asked");
    QTest::newRow("stored from the editor, No") << true << false << false << true;
    QTest::newRow("stored from the editor, Yes") << true << false << true << true;
    QTest::newRow("stored from the editor, then saved") << true << true << false << false;
    QTest::newRow("nothing stored") << false << false << false << false;
}

void TestStartUp::quittingWithUnkeptChangesAsks()
{
    QFETCH(bool, edited);
    QFETCH(bool, saved);
    QFETCH(bool, yes);
    QFETCH(bool, asked);
    startUp();
    QTimer watchdog;
    watchdog.setSingleShot(true);
    connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    watchdog.start(4 * ShellFixture::Patience);
    BoxAnswerer answerer(yes ? QMessageBox::Yes : QMessageBox::No);

    bool done = false;
    bool openAfterNo = false;
    QTimer poller;
    connect(&poller, &QTimer::timeout, [&] {
        if (done || !MainForm || !MainForm->isVisible())
            return;
        done = true;
        if (edited) {
            // "Edit parameters", a text typed, "Store changes".
            QTimer::singleShot(0, [] {
                QTest::keyClicks(SettingsForm->findChild<QLineEdit *>(QStringLiteral("edSMS1")), QStringLiteral("Arm"));
                SettingsForm->btSettingOK->click();
            });
            FormDownload->btEdit->click();
        }
        if (saved) {
            const QString file = m_fixture.workPath("site.QM3");
            FormDownload->SaveDialog1 = [file] { return file; };
            FormDownload->btSave->click();
        }
        QTest::mouseClick(MainForm->btClose, Qt::LeftButton);
        if (MainForm->isVisible()) {
            openAfterNo = true;
            answerer.setAnswer(QMessageBox::Yes);
            QTest::mouseClick(MainForm->btClose, Qt::LeftButton);
        }
    });
    poller.start(10);

    QCOMPARE(QApplication::exec(), 0);
    QVERIFY(done);
    const QString question = QStringLiteral("The parameter set was changed and neither written nor saved. Quit anyway?");
    QCOMPARE(answerer.texts, asked ? QStringList(yes ? 1 : 2, question) : QStringList());
    if (asked)
        QCOMPARE(answerer.defaults.first(), QMessageBox::No);
    QCOMPARE(openAfterNo, asked && !yes);
    QVERIFY(!MainForm->isVisible());
}

void TestStartUp::portRestoredAndStored_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("port");

    QTest::newRow("no file") << QByteArray() << "COM1";
    QTest::newRow("com7") << QByteArray("2,1\r\ncw 0,20\r\ncw 1,20\r\n0,0,com7\r\n") << "COM7";
    QTest::newRow("COM42") << portFile("COM42") << "COM42";
    QTest::newRow("damaged header") << QByteArray("x\r\n") << "COM1";
}

void TestStartUp::portRestoredAndStored()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, port);
    const QString path = m_fixture.workPath("QuelmarSetup.ini");
    if (!file.isNull()) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(file);
    }
    QVERIFY(ShellFixture::startAndWait());
    QCOMPARE(MainForm->ComPort1.Port(), port);

    shutDown();
    QFile stored(path);
    QVERIFY(stored.open(QIODevice::ReadOnly));
    QCOMPARE(stored.readAll(), portFile(port));
}

void TestStartUp::rememberedPortShownAtStart_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("shown");
    QTest::newRow("a known device") << "COM60" << "USB Serial Port (COM60)";
    QTest::newRow("no device of that number") << "COM7" << "COM7";
}

void TestStartUp::rememberedPortShownAtStart()
{
    QFETCH(QString, port);
    FakeDeviceRegistry registry;
    registry.devices = {{QStringLiteral("USB Serial Port (COM60)"), QStringLiteral("FTDI"), QStringLiteral("/dev/ttyUSB27")}};
    RegistryScope scope(&registry);
    QFile f(m_fixture.workPath("QuelmarSetup.ini"));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(portFile(port));
    f.close();
    QVERIFY(ShellFixture::startAndWait());
    QTEST(MainForm->Panel1->text(), "shown");
}

void TestStartUp::detailsShortcut_data()
{
    QTest::addColumn<QString>("focus"); // a control of the main window; empty: the window itself
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<bool>("opens");

    const Qt::KeyboardModifiers ctrlAlt = Qt::ControlModifier | Qt::AltModifier;
    const Qt::KeyboardModifiers keypad = ctrlAlt | Qt::KeypadModifier;
    QTest::newRow("Ctrl+Alt+D on btConnect") << "btConnect" << int(Qt::Key_D) << ctrlAlt << true;
    QTest::newRow("Ctrl+Alt+keypad 4 on btConnect") << "btConnect" << int(Qt::Key_4) << keypad << true;
    QTest::newRow("Ctrl+Alt+D on btClose") << "btClose" << int(Qt::Key_D) << ctrlAlt << true;
    QTest::newRow("Ctrl+Alt+D on the window") << "" << int(Qt::Key_D) << ctrlAlt << true;
    QTest::newRow("Ctrl+Alt+Shift+D") << "btConnect" << int(Qt::Key_D) << (ctrlAlt | Qt::ShiftModifier) << false;
    QTest::newRow("Ctrl+D") << "btConnect" << int(Qt::Key_D) << Qt::KeyboardModifiers(Qt::ControlModifier) << false;
    QTest::newRow("Alt+D") << "btConnect" << int(Qt::Key_D) << Qt::KeyboardModifiers(Qt::AltModifier) << false;
    QTest::newRow("Ctrl+Alt+4 above the letters") << "btConnect" << int(Qt::Key_4) << ctrlAlt << false;
    QTest::newRow("Ctrl+Alt+E") << "btConnect" << int(Qt::Key_E) << ctrlAlt << false;
    QTest::newRow("Ctrl+Alt+D on ButtonSelectSerial") << "ButtonSelectSerial" << int(Qt::Key_D) << ctrlAlt << false;
    QTest::newRow("Ctrl+Alt+keypad 4 on ButtonSelectSerial") << "ButtonSelectSerial" << int(Qt::Key_4) << keypad << false;
}

void TestStartUp::detailsShortcut()
{
    QFETCH(QString, focus);
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);

    QVERIFY(ShellFixture::startAndWait());
    MainForm->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(MainForm));
    QWidget *target = focus.isEmpty() ? MainForm : MainForm->findChild<QWidget *>(focus);
    QVERIFY(target);
    target->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), target);

    QTest::keyClick(target, static_cast<Qt::Key>(key), modifiers);
    QTEST(FormDetails->isVisible(), "opens");
}

void TestStartUp::windowsOpenCentred_data()
{
    QTest::addColumn<QString>("window");
    for (const char *name : {"MainForm", "FormDownload", "SettingsForm", "StateForm"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void TestStartUp::windowsOpenCentred()
{
    QFETCH(QString, window);
    QVERIFY(ShellFixture::startAndWait());
    const QWidgetList windows = QApplication::topLevelWidgets();
    const auto found = std::find_if(windows.begin(), windows.end(),
                                    [&window](const QWidget *w) { return w->objectName() == window; });
    QVERIFY(found != windows.end());
    QWidget *shown = *found;
    bringForward(shown);
    QVERIFY(QTest::qWaitForWindowExposed(shown));
    // Placed before the frame is known: the frame may sit off by its own width.
    const QRect frame = shown->frameGeometry();
    const int slack = frame.width() - shown->width() + frame.height() - shown->height() + 2;
    const QPoint offset = frame.center() - shown->screen()->availableGeometry().center();
    QVERIFY2(offset.manhattanLength() <= slack,
             qPrintable(QStringLiteral("%1, %2 (slack %3)").arg(offset.x()).arg(offset.y()).arg(slack)));
}

void TestStartUp::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode"); // -1: the program starts
    QTest::addColumn<bool>("traced");
    QTest::newRow("none") << QStringList{} << -1 << false;
    QTest::newRow("trace") << QStringList{"--trace", "@"} << -1 << true;
    QTest::newRow("help") << QStringList{"--help"} << 0 << false;
    QTest::newRow("version") << QStringList{"--version"} << 0 << false;
    QTest::newRow("unknown option") << QStringList{"--port", "COM3"} << 2 << false;
    QTest::newRow("argument") << QStringList{"file.QM3"} << 2 << false;
    QTest::newRow("trace without file") << QStringList{"--trace"} << 2 << false;
    QTest::newRow("trace into no folder") << QStringList{"--trace", "@/missing/t"} << 2 << false;
}

void TestStartUp::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(bool, traced);
    QTemporaryDir dir;
    for (QString &a : arguments)
        a.replace(QLatin1Char('@'), dir.filePath(QStringLiteral("link.trace")));
    FrameTrace trace;
    const std::optional<int> result = parseStartOptions(QStringList{"quelmar"} + arguments, trace);
    QCOMPARE(result.value_or(-1), exitCode);
    QCOMPARE(trace.isOpen(), traced);
    QCOMPARE(QFile::exists(dir.filePath(QStringLiteral("link.trace"))), traced);
}

QTEST_MAIN(TestStartUp)
#include "tst_startup.moc"
