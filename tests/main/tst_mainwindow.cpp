// Connection control of the main window: against the module simulator, on a
// port that is absent, and when the device hangs up while open.

#include "ShellFixture.h"

#include "link/SerialDetails.h"
#include "params/Download.h"
#include "serial/FormCom.h"
#include "status/State.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <pty.h>
#include <unistd.h>

#include <memory>

namespace {

struct Buttons
{
    bool connect, disconnect, status, parameterSetting;
};

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_fixture.setUp()); }
    void cleanupTestCase() { m_fixture.tearDown(); }
    void init() { QVERIFY(ShellFixture::startAndWait()); }
    void cleanup();

    void connectStatusDisconnect();
    void absentPortFailsEveryTime();
    void hangUpShowsPortUnavailable_data();
    void hangUpShowsPortUnavailable();
    void chosenPortIsKeptForTheNextRun();
    void choosingAnAbsentPortWhileConnected();
    void focusAfterConnectIsNotOnClose();
    void transferWindowOpensBeside();

private:
    // Runs the port dialog from the main window and adds and confirms the
    // given port number in it.
    static void choosePort(int number);
    void startSimulator(const QString &port, const QStringList &extra);
    void link(const QString &port, const QString &target);
    static void verifyButtons(const Buttons &expected);

    ShellFixture m_fixture;
    SimulatorProcess m_sim{QStringLiteral(QUELMAR_MODULE_SIM)};
    int m_ptyMaster = -1;
};

void TestMainWindow::cleanup()
{
    shutDown();
    m_sim.stop();
    if (m_ptyMaster >= 0)
        ::close(m_ptyMaster);
    m_ptyMaster = -1;
    QDir ports(m_fixture.portDirectory());
    for (const QString &name : ports.entryList(QDir::System | QDir::Files))
        ports.remove(name);
}

void TestMainWindow::startSimulator(const QString &port, const QStringList &extra)
{
    const QString error = m_sim.start(port, QStringList{"--no-pacing"} + extra);
    QVERIFY2(error.isEmpty(), qPrintable(error));
}

void TestMainWindow::link(const QString &port, const QString &target)
{
    QVERIFY(QFile::link(target, m_fixture.portDirectory() + '/' + port.toLower()));
}

void TestMainWindow::verifyButtons(const Buttons &expected)
{
    QCOMPARE(MainForm->btConnect->isEnabled(), expected.connect);
    QCOMPARE(MainForm->btDisconnect->isEnabled(), expected.disconnect);
    QCOMPARE(MainForm->btStatus->isEnabled(), expected.status);
    QCOMPARE(MainForm->btParameterSetting->isEnabled(), expected.parameterSetting);
}

void TestMainWindow::connectStatusDisconnect()
{
    startSimulator("COM95", {"--status", "0x1F,31,9,0", "--text", "1:Hello from the module", "--text", "3:dialling"});
    MainForm->ComPort1.setPort("COM95");

    QTest::mouseClick(MainForm->btConnect, Qt::LeftButton);
    QCOMPARE(MainForm->statusText(), QStringLiteral(" Serial connection OK."));
    QVERIFY(MainForm->ComPort1.Connected());
    verifyButtons({false, true, true, true});

    QTest::mouseClick(MainForm->btStatus, Qt::LeftButton);
    QVERIFY(StateForm->isVisible());
    QTRY_COMPARE_WITH_TIMEOUT(StateForm->lbGSMLine->text(), QStringLiteral("End of call. 9"), ShellFixture::Patience);
    QCOMPARE(StateForm->lbIN[3]->text(), QStringLiteral("Short"));
    QCOMPARE(StateForm->lbLineVoltage->text(), QStringLiteral("Line Exists"));
    QCOMPARE(StateForm->pbTerero->value(), 31);
    QTRY_COMPARE_WITH_TIMEOUT(StateForm->MemoState->toPlainText(), QStringLiteral("Hello from the module"),
                              ShellFixture::Patience);
    QVERIFY(FormDetails->Memo5->toPlainText().isEmpty()); // details hidden: discarded

    QTest::mouseClick(MainForm->btDisconnect, Qt::LeftButton);
    QCOMPARE(MainForm->statusText(), QStringLiteral(" No serial connection."));
    QVERIFY(!MainForm->ComPort1.Connected());
    verifyButtons({true, false, false, false});
    QVERIFY(StateForm->isVisible()); // open windows stay open
    QVERIFY(StateForm->TimerState->isActive());
    QCOMPARE(StateForm->lbGSMLine->text(), QStringLiteral("End of call. 9"));

    // The simulator keeps its port: connecting again works.
    QTest::mouseClick(MainForm->btConnect, Qt::LeftButton);
    QCOMPARE(MainForm->statusText(), QStringLiteral(" Serial connection OK."));
}

void TestMainWindow::absentPortFailsEveryTime()
{
    link("COM12", m_fixture.workPath("no-such-device"));
    MainForm->ComPort1.setPort("COM12");
    for (int attempt = 0; attempt < 2; ++attempt) {
        QTest::mouseClick(MainForm->btConnect, Qt::LeftButton);
        QCOMPARE(MainForm->statusText(), QStringLiteral(" Error: COM port not available!"));
        QVERIFY(!MainForm->ComPort1.Connected());
        verifyButtons({true, false, false, false});
        QVERIFY(!QApplication::activeModalWidget()); // the status line is the only report
    }
}

void TestMainWindow::hangUpShowsPortUnavailable_data()
{
    QTest::addColumn<bool>("simulator");
    QTest::newRow("line closed under the port") << false;
    QTest::newRow("simulator hangs up") << true;
}

void TestMainWindow::hangUpShowsPortUnavailable()
{
    QFETCH(bool, simulator);
    const QString port = "COM13";
    if (simulator) {
        startSimulator(port, {"--fault", "hangup-after=1"});
    } else {
        int slave = -1;
        char name[256] = {};
        QVERIFY(::openpty(&m_ptyMaster, &slave, name, nullptr, nullptr) == 0);
        ::close(slave);
        link(port, QString::fromLocal8Bit(name));
    }
    MainForm->ComPort1.setPort(port);
    QTest::mouseClick(MainForm->btConnect, Qt::LeftButton);
    QCOMPARE(MainForm->statusText(), QStringLiteral(" Serial connection OK."));

    if (simulator) {
        QTest::mouseClick(MainForm->btStatus, Qt::LeftButton); // its poll gets the one answer
    } else {
        ::close(m_ptyMaster);
        m_ptyMaster = -1;
    }
    QTRY_COMPARE_WITH_TIMEOUT(MainForm->statusText(), QStringLiteral(" Error: COM port not available!"),
                              ShellFixture::Patience);
    QVERIFY(!MainForm->ComPort1.Connected());
    verifyButtons({true, false, false, false});

    // The device is gone for good: another attempt fails the same way.
    QTest::mouseClick(MainForm->btConnect, Qt::LeftButton);
    QCOMPARE(MainForm->statusText(), QStringLiteral(" Error: COM port not available!"));
    QVERIFY(!MainForm->ComPort1.Connected());
}

void TestMainWindow::choosePort(int number)
{
    bool handled = false;
    // The dialog runs modally: act on it from inside its own event loop.
    auto *poll = new QTimer(MainForm);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, number, &handled] {
        auto *dialog = qobject_cast<TFormComPort *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        poll->stop();
        poll->deleteLater();
        dialog->addPort(QString::number(number));
        dialog->Button1Click();
        handled = true;
    });
    poll->start(20);
    QTest::mouseClick(MainForm->ButtonSelectSerial, Qt::LeftButton);
    QVERIFY(handled);
}

void TestMainWindow::chosenPortIsKeptForTheNextRun()
{
    choosePort(94);
    QCOMPARE(MainForm->Panel1->text(), QStringLiteral("Sajátport (COM94)"));
    QCOMPARE(MainForm->ComPort1.Port(), QStringLiteral("COM94"));

    shutDown();
    QVERIFY(ShellFixture::startAndWait());
    QCOMPARE(MainForm->ComPort1.Port(), QStringLiteral("COM94"));
    // The remembered port is shown at start, named as the port list names it.
    QVERIFY2(MainForm->Panel1->text().contains(QStringLiteral("COM94")), qPrintable(MainForm->Panel1->text()));
}

void TestMainWindow::choosingAnAbsentPortWhileConnected()
{
    startSimulator("COM94", {});
    MainForm->ComPort1.setPort("COM94");
    QTest::mouseClick(MainForm->btConnect, Qt::LeftButton);
    QCOMPARE(MainForm->statusText(), QStringLiteral(" Serial connection OK."));

    QString boxText;
    auto *poll = new QTimer(MainForm);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, &boxText] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        poll->stop();
        poll->deleteLater();
        boxText = box->text();
        box->accept();
    });
    poll->start(20);
    choosePort(77); // /dev/ttyACM12, not on this machine

    QVERIFY2(boxText.startsWith(QStringLiteral("Unable to open com port (win error code: ")), qPrintable(boxText));
    QCOMPARE(MainForm->Panel1->text(), QStringLiteral("Sajátport (COM77)"));
    QVERIFY(!MainForm->ComPort1.Connected());
    QCOMPARE(MainForm->statusText(), QStringLiteral(" Error: COM port not available!"));
    verifyButtons({true, false, false, false});
}

void TestMainWindow::focusAfterConnectIsNotOnClose()
{
    startSimulator("COM95", {});
    MainForm->ComPort1.setPort("COM95");
    MainForm->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(MainForm));
    MainForm->btConnect->setFocus();
    QTest::keyClick(MainForm->btConnect, Qt::Key_Space);
    QCOMPARE(MainForm->statusText(), QStringLiteral(" Serial connection OK."));
    QCOMPARE(QApplication::focusWidget(), MainForm->btStatus);
}

void TestMainWindow::transferWindowOpensBeside()
{
    startSimulator("COM95", {});
    MainForm->ComPort1.setPort("COM95");
    // Left of the middle, so the transfer window fits beside it.
    MainForm->move(100, MainForm->y());
    QTest::mouseClick(MainForm->btConnect, Qt::LeftButton);
    QTest::mouseClick(MainForm->btParameterSetting, Qt::LeftButton);
    QVERIFY(FormDownload->isVisible());
    QVERIFY2(!FormDownload->frameGeometry().intersects(MainForm->frameGeometry()),
             qPrintable(QStringLiteral("%1,%2 %3 wide").arg(FormDownload->x()).arg(FormDownload->y()).arg(FormDownload->width())));
    QCOMPARE(FormDownload->y(), MainForm->y());
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
