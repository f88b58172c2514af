// The transfer window inside the whole program: created at start-up with an
// erased image, switched to English, opened from the main window and reading
// through the main window's link.

#include "main/ShellFixture.h"

#include "params/Download.h"
#include "params/ImageState.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include <memory>

class TestDownloadStartUp : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_fixture.setUp()); }
    void cleanupTestCase() { m_fixture.tearDown(); }
    void init();
    void cleanup();

    void createdHiddenWithAnErasedImage();
    void englishTexts();
    void readThroughTheMainWindowsLink();
    void portSwitchedDuringAWrite();

private:
    ShellFixture m_fixture;
    SimulatorProcess m_sim{QStringLiteral(QUELMAR_MODULE_SIM)};
    SimulatorProcess m_other{QStringLiteral(QUELMAR_MODULE_SIM)};
};

void TestDownloadStartUp::init()
{
    // Something other than the erased image, so start-up has to fill it.
    ParameterImage.fill(0x12);
    QVERIFY(ShellFixture::startAndWait());
}

void TestDownloadStartUp::cleanup()
{
    shutDown();
    QVERIFY(!FormDownload);
    m_sim.stop();
    m_other.stop();
}

void TestDownloadStartUp::createdHiddenWithAnErasedImage()
{
    QVERIFY(FormDownload);
    QVERIFY(!FormDownload->isVisible());
    QVERIFY(std::all_of(ParameterImage.begin(), ParameterImage.end(), [](std::uint8_t b) { return b == 0xFF; }));
}

void TestDownloadStartUp::englishTexts()
{
    QCOMPARE(FormDownload->windowTitle(), QStringLiteral("Quelmar5 - Parameter Download/Upload"));
    const QList<QPair<QPushButton *, QString>> captions = {
        {FormDownload->btOpen, QStringLiteral("Read from File")},
        {FormDownload->btSave, QStringLiteral("Save to File")},
        {FormDownload->btRead, QStringLiteral("<-- Read parameters from module")},
        {FormDownload->btWrite, QStringLiteral("--> Write parameters to module")},
        {FormDownload->btCompare, QStringLiteral("<--> Compare parameters with module")},
        {FormDownload->btEdit, QStringLiteral("Edit parameters")},
        {FormDownload->btClose, QStringLiteral("Close window")},
        {FormDownload->btStop, QStringLiteral("Stop")},
    };
    for (const auto &[button, text] : captions)
        QCOMPARE(button->text(), text);
}

void TestDownloadStartUp::readThroughTheMainWindowsLink()
{
    const QByteArray image = [] {
        QByteArray bytes(1088, '\0');
        for (int i = 0; i < 960; ++i)
            bytes[i] = static_cast<char>(i * 5 + 9);
        return bytes;
    }();
    QFile file(m_fixture.workPath(QStringLiteral("module.qm3")));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(image) == image.size());
    file.close();

    const QString error =
        m_sim.start(QStringLiteral("COM88"), {QStringLiteral("--no-pacing"), QStringLiteral("--image"), file.fileName()});
    QVERIFY2(error.isEmpty(), qPrintable(error));

    MainForm->ComPort1.setPort(QStringLiteral("COM88"));
    MainForm->btConnect->click();
    QVERIFY(MainForm->ComPort1.Connected());
    MainForm->btParameterSetting->click();
    QVERIFY(FormDownload->isVisible());

    FormDownload->btRead->click();
    QCOMPARE(FormDownload->Progress->value(), 12);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(ParameterImage.data()), 1088), image);
    MainForm->btDisconnect->click();
}

void TestDownloadStartUp::portSwitchedDuringAWrite()
{
    QString error = m_sim.start(QStringLiteral("COM88"), {QStringLiteral("--no-pacing")});
    QVERIFY2(error.isEmpty(), qPrintable(error));
    m_other.keepLog = true;
    error = m_other.start(QStringLiteral("COM87"), {QStringLiteral("--no-pacing"), QStringLiteral("--verbose")});
    QVERIFY2(error.isEmpty(), qPrintable(error));
    MainForm->ComPort1.setPort(QStringLiteral("COM88"));
    MainForm->btConnect->click();
    QVERIFY(MainForm->ComPort1.Connected());
    MainForm->btParameterSetting->click();
    ParameterImage.fill(0x42);
    parameterImageState().loadedFromFile(QStringLiteral("set.QM3")); // a write that needs no question

    // The installer picks the other port as block 2's acknowledgement comes
    // in; the main window opens it at once.
    const auto handler = MainForm->ComPort1.OnRxChar;
    int acknowledged = 0;
    MainForm->ComPort1.OnRxChar = [&](int count) {
        handler(count);
        BlockReception &reception = MainForm->Link.Dispatcher.Reception;
        if (reception.WriteAcknowledged && ++acknowledged == 2)
            MainForm->ComPort1.setPort(QStringLiteral("COM87"));
    };
    QElapsedTimer clock;
    clock.start();
    FormDownload->btWrite->click();
    MainForm->ComPort1.OnRxChar = handler;

    QVERIFY2(clock.elapsed() < 3000, "the write ends at once, not at a time-out");
    QCOMPARE(FormDownload->lbOutcome->text(), QStringLiteral(" Write stopped at block 3 of 15: the port is closed. Blocks 1 to 2 were "
                                                                  "written: the module may be half-written."));
    QCOMPARE(FormDownload->Progress->value(), 2);
    QVERIFY(MainForm->ComPort1.Connected());
    QCOMPARE(MainForm->ComPort1.Port(), QStringLiteral("COM87"));
    // Give a stray frame time to arrive; the module on the new port heard nothing.
    QTest::qWait(300);
    QVERIFY2(!m_other.log().contains(QStringLiteral("rx")), qPrintable(m_other.log()));
    MainForm->btDisconnect->click();
}

QTEST_MAIN(TestDownloadStartUp)
#include "tst_downloadstartup.moc"
