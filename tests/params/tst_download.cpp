// The transfer window over the real serial port component and the module
// simulator process on a pseudo-terminal, and its file buttons.

#include "params/Download.h"

#include "editor/Settings.h"
#include "params/Differences.h"
#include "params/FieldModel.h"
#include "params/HistoryWindow.h"
#include "params/ImageState.h"
#include "report/Report.h"
#include "link/ModuleLink.h"
#include "main/StartUp.h"
#include "params/ParameterFile.h"

#include "common/BoxAnswerer.h"
#include "common/SimulatorProcess.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QTableWidget>
#include <QLayout>
#include <QTreeWidget>
#include <QProgressBar>
#include <QRegularExpression>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace {

constexpr int SimPort = 90;

QByteArray patternImage()
{
    QByteArray image(1088, '\0');
    for (int i = 0; i < 960; ++i)
        image[i] = static_cast<char>(i * 7 + i / 64);
    return image;
}

QByteArray imageBytes()
{
    return QByteArray(reinterpret_cast<const char *>(ParameterImage.data()), 1088);
}

// As "Read from File" leaves the image.
void setImage(const QByteArray &bytes)
{
    std::copy_n(bytes.constData(), 1088, reinterpret_cast<char *>(ParameterImage.data()));
    parameterImageState().loadedFromFile(QStringLiteral("set.QM3"));
}

QByteArray bufferBytes()
{
    return QByteArray(reinterpret_cast<const char *>(TransferBuffer.data()), 960);
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

enum class Bar { Green, Red, Other };

// What the bar really shows: the colour of its filled part on screen.
Bar shownColour(QProgressBar *bar)
{
    const QImage image = bar->grab().toImage();
    const QColor c = image.pixelColor(image.width() / 8, image.height() / 2);
    if (c.green() > 2 * c.red() && c.green() > 2 * c.blue())
        return Bar::Green;
    if (c.red() > 2 * c.green() && c.red() > 2 * c.blue())
        return Bar::Red;
    return Bar::Other;
}

// Whether any text on the label is drawn in red.
bool drawnInRed(QLabel *label)
{
    const QImage image = label->grab().toImage();
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.red() > 150 && c.green() < 80 && c.blue() < 80)
                return true;
        }
    return false;
}

} // namespace

class TestDownload : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void windowDefinition();
    void readFillsTheImage();
    void readStopsAtAMisaddressedAnswer();
    void compareAgainstOtherDataTurnsRed();
    void writeThenCompare();
    void writeOfAnUntouchedImageAsks_data();
    void writeOfAnUntouchedImageAsks();
    void replacingUnkeptChangesAsks_data();
    void replacingUnkeptChangesAsks();
    void portClosedDuringARead();
    void stopEndsTheRunningOperation_data();
    void stopEndsTheRunningOperation();
    void stopWhileIdleDoesNothing();
    void notConnected();

    void saveAfterStart();
    void saveAndOpenTheSameFile();
    void open_data();
    void open();
    void saveCancelledOrFailing();
    void saveAsksBeforeReplacing_data();
    void saveAsksBeforeReplacing();
    void editOpensTheEditor();
    void historyKeepsFinishedOperations_data();
    void historyKeepsFinishedOperations();
    void historyFolderUnwritable();
    void historyWindow();
    void report();
    void reportWithoutAViewerSaysWhereItIs();
    void reportSaysWhereItsValuesComeFrom_data();
    void reportSaysWhereItsValuesComeFrom();
    void closingHides();

private:
    bool startSim(const QStringList &arguments);
    bool connectPort();
    QList<QPushButton *> sevenButtons() const
    {
        return {m_form->btOpen, m_form->btSave, m_form->btRead, m_form->btWrite,
                m_form->btCompare, m_form->btEdit, m_form->btClose};
    }
    bool allEnabled() const
    {
        const QList<QPushButton *> buttons = sevenButtons();
        return std::all_of(buttons.begin(), buttons.end(), [](QPushButton *b) { return b->isEnabled(); });
    }
    QColor barColour() const { return m_form->Progress->palette().color(QPalette::Highlight); }
    QString path(const QString &name) const { return m_home.path() + QLatin1Char('/') + name; }

    QTemporaryDir m_home;
    SimulatorProcess m_sim{QStringLiteral(QUELMAR_MODULE_SIM)};
    std::unique_ptr<ModuleLink> m_link;
    TFormDownload *m_form = nullptr;
    QStringList m_messages;
    QStringList m_errors;
    QString m_chosenPath; // what the file dialogs return; empty: cancelled
};

void TestDownload::initTestCase()
{
    QVERIFY(m_home.isValid());
    qputenv("HOME", m_home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", path(QStringLiteral("config")).toLocal8Bit());
    qputenv("XDG_DATA_HOME", path(QStringLiteral("data")).toLocal8Bit());
    QDir::setCurrent(m_home.path());
    QApplication::setStyle(QStringLiteral("Fusion"));
}

void TestDownload::init()
{
    m_form = new TFormDownload;
    FormDownload = m_form;
    m_form->Transfer.setRetries(0); // the single try: every fault ends the sequence
    m_messages.clear();
    m_errors.clear();
    m_chosenPath.clear();
    m_form->MessageBox = [this](const QString &text) { m_messages << text; };
    m_form->ErrorBox = [this](const QString &text) { m_errors << text; };
    m_form->OpenDialog1 = [this] { return m_chosenPath; };
    m_form->SaveDialog1 = [this] { return m_chosenPath; };
    TransferBuffer.fill(0);
}

void TestDownload::cleanup()
{
    FormDownload = nullptr;
    delete m_form;
    m_form = nullptr;
    m_link.reset();
    m_sim.stop();
    QDir(path(QStringLiteral("data"))).removeRecursively();
}

bool TestDownload::startSim(const QStringList &arguments)
{
    const QString error = m_sim.start(QStringLiteral("COM%1").arg(SimPort), QStringList{"--no-pacing"} + arguments);
    if (!error.isEmpty())
        qWarning("%s", qPrintable(error));
    return error.isEmpty();
}

bool TestDownload::connectPort()
{
    m_link = std::make_unique<ModuleLink>();
    m_link->ComPort1.setPort(QStringLiteral("COM%1").arg(SimPort));
    // As the main window does when the adapter goes away.
    m_link->ComPort1.OnHangup = [this] { m_link->hangUp(); };
    m_form->setLink(m_link.get());
    return m_link->connect() == ConnectionState::Connected;
}

void TestDownload::windowDefinition()
{
    QCOMPARE(m_form->objectName(), QStringLiteral("FormDownload"));
    QCOMPARE(m_form->size(), QSize(320, 518));
    QCOMPARE(m_form->minimumSize(), m_form->maximumSize());
    for (const char *name : {"Progress", "btOpen", "btSave", "btRead", "btWrite", "btCompare", "btEdit", "btClose",
                             "btStop", "btHistory", "btReport", "lbOutcome", "cbChangedOnly"})
        QVERIFY2(m_form->findChild<QObject *>(QLatin1String(name)), name);
    // The tick belongs to the transfer, which keeps its own time.
    QCOMPARE(m_form->Timer1, &m_form->Transfer.tick());
    QCOMPARE(m_form->Timer1->objectName(), QStringLiteral("Timer1"));
    QCOMPARE(m_form->Progress->minimum(), 0);
    QCOMPARE(m_form->Progress->maximum(), 12);
    QVERIFY(!m_form->Progress->isTextVisible());
    QCOMPARE(m_form->btStop->text(), QStringLiteral("Stop"));
    QVERIFY(m_form->Timer1->isActive());
    QCOMPARE(m_form->Timer1->interval(), 100);
    // Creating the window erases the image.
    QCOMPARE(imageBytes(), QByteArray(1088, '\xFF'));
}

void TestDownload::readFillsTheImage()
{
    const QString image = path(QStringLiteral("module.qm3"));
    QVERIFY(writeFile(image, patternImage()));
    QVERIFY(startSim({QStringLiteral("--image"), image}));
    QVERIFY(connectPort());
    setImage(QByteArray(1088, '\x55'));

    // Looked at while the read runs: the seven buttons are off, Stop is not.
    QList<bool> enabledDuring;
    QTimer::singleShot(0, this, [&] {
        for (QPushButton *b : sevenButtons())
            enabledDuring << b->isEnabled();
        enabledDuring << m_form->btStop->isEnabled();
    });
    m_form->btRead->click();

    QCOMPARE(enabledDuring, (QList<bool>{false, false, false, false, false, false, false, true}));
    QCOMPARE(m_form->Progress->value(), 12);
    QCOMPARE(barColour(), QColor(0, 128, 0));
    QCOMPARE(shownColour(m_form->Progress), Bar::Green);
    QVERIFY(allEnabled());
    QCOMPARE(imageBytes(), patternImage());
    QCOMPARE(bufferBytes(), patternImage().left(960));
    QVERIFY(m_messages.isEmpty() && m_errors.isEmpty());
}

void TestDownload::readStopsAtAMisaddressedAnswer()
{
    // Block 13 is past the point where the bar is full: only the colour
    // tells this read from a complete one.
    const QString image = path(QStringLiteral("module.qm3"));
    QVERIFY(writeFile(image, patternImage()));
    QVERIFY(startSim({QStringLiteral("--image"), image, QStringLiteral("--fault"), QStringLiteral("wrong-address=13")}));
    QVERIFY(connectPort());
    TransferBuffer.fill(0x5A);

    QElapsedTimer clock;
    clock.start();
    m_form->btRead->click();
    QVERIFY2(clock.elapsed() < 4000, "a wrong answer ends the read at once");

    QCOMPARE(m_form->Progress->value(), 12);
    QCOMPARE(barColour(), QColor(255, 0, 0));
    QCOMPARE(shownColour(m_form->Progress), Bar::Red);
    QVERIFY(allEnabled());
    QCOMPARE(imageBytes(), QByteArray(1088, '\xFF'));
    QCOMPARE(bufferBytes().left(13 * 64), patternImage().left(13 * 64));
    QCOMPARE(bufferBytes().mid(13 * 64), QByteArray(2 * 64, '\x5A'));
}

void TestDownload::compareAgainstOtherDataTurnsRed()
{
    const QString image = path(QStringLiteral("module.qm3"));
    QVERIFY(writeFile(image, patternImage()));
    QVERIFY(startSim({QStringLiteral("--image"), image}));
    QVERIFY(connectPort());

    m_form->btCompare->click();

    QCOMPARE(m_form->Progress->value(), 12);
    QCOMPARE(barColour(), QColor(255, 0, 0));
    QCOMPARE(shownColour(m_form->Progress), Bar::Red);
    QVERIFY(allEnabled());
    QCOMPARE(imageBytes(), QByteArray(1088, '\xFF'));
    QCOMPARE(bufferBytes(), QByteArray(960, '\0'));
}

void TestDownload::writeThenCompare()
{
    const QString saved = path(QStringLiteral("saved.qm3"));
    QVERIFY(startSim({QStringLiteral("--save"), saved}));
    QVERIFY(connectPort());
    QByteArray image = patternImage();
    image.replace(960, 128, QByteArray(128, '\x33'));
    setImage(image);

    m_form->btWrite->click();
    QCOMPARE(m_form->Progress->value(), 12);
    QCOMPARE(barColour(), QColor(0, 128, 0));
    QVERIFY(allEnabled());
    QCOMPARE(imageBytes(), image);

    m_form->SetBarColour(Transfer::Red);
    m_form->btCompare->click();
    QCOMPARE(m_form->Progress->value(), 12);
    QCOMPARE(barColour(), QColor(0, 128, 0));
    QCOMPARE(imageBytes(), image);
    QVERIFY(m_messages.isEmpty() && m_errors.isEmpty());

    m_form->setLink(nullptr);
    m_link.reset();
    // The simulator stores what it was sent as it quits.
    QVERIFY(m_sim.stop());
    QCOMPARE(readFile(saved).left(960), image.left(960));
}

void TestDownload::writeOfAnUntouchedImageAsks_data()
{
    QTest::addColumn<QString>("before"); // what happened since the window was created
    QTest::addColumn<bool>("yes");
    QTest::addColumn<bool>("asked");
    QTest::newRow("right after start, No") << "" << false << true;
    QTest::newRow("right after start, Yes") << "" << true << true;
    QTest::newRow("after a read that stopped, No") << "stopped read" << false << true;
    QTest::newRow("after a read") << "read" << false << false;
    QTest::newRow("after loading a file") << "file" << false << false;
    QTest::newRow("after storing from the editor") << "editor" << false << false;
}

void TestDownload::writeOfAnUntouchedImageAsks()
{
    QFETCH(QString, before);
    QFETCH(bool, yes);
    QFETCH(bool, asked);
    const QString module = path(QStringLiteral("module.qm3"));
    const QString saved = path(QStringLiteral("saved.qm3"));
    QVERIFY(writeFile(module, patternImage()));
    QStringList args{QStringLiteral("--image"), module, QStringLiteral("--save"), saved};
    if (before == u"stopped read")
        args << QStringLiteral("--fault") << QStringLiteral("wrong-address=4");
    QVERIFY(startSim(args));
    QVERIFY(connectPort());
    QByteArray file = patternImage();
    file[3] = 'f';
    m_chosenPath = path(QStringLiteral("site.QM3"));
    QVERIFY(writeFile(m_chosenPath, file));
    m_form->openEditor = [] {
        ImageBytes stored = workingImage().bytes();
        stored[7] = 0x42;
        workingImage().storeFromEditor(stored);
        return true;
    };
    if (before.endsWith(u"read"))
        m_form->btRead->click();
    else if (before == u"file")
        m_form->btOpen->click();
    else if (before == u"editor")
        m_form->btEdit->click();
    const QByteArray image = imageBytes();

    BoxAnswerer answerer(yes ? QMessageBox::Yes : QMessageBox::No);
    m_form->btWrite->click();

    QCOMPARE(answerer.texts, asked ? QStringList{QStringLiteral(
                                  "The parameter set was not read from a module or loaded from a file. Write an "
                                  "erased parameter set to the module?")}
                                   : QStringList());
    if (asked)
        QCOMPARE(answerer.defaults.first(), QMessageBox::No);
    const bool written = yes || !asked;
    if (!written)
        QCOMPARE(m_form->lbOutcome->text(), QStringLiteral(" Write: nothing was written."));
    else
        QCOMPARE(m_form->lbOutcome->text(), QStringLiteral(" Write: 15 of 15 blocks acknowledged."));
    QVERIFY(allEnabled());
    m_form->setLink(nullptr);
    m_link.reset();
    QVERIFY(m_sim.stop());
    QCOMPARE(readFile(saved).left(960), written ? image.left(960) : patternImage().left(960));
}

void TestDownload::replacingUnkeptChangesAsks_data()
{
    QTest::addColumn<QString>("how"); // read, file or history
    QTest::addColumn<bool>("edited"); // changes stored from the editor, unkept
    QTest::addColumn<bool>("yes");
    for (const char *how : {"read", "file", "history"}) {
        QTest::addRow("%s over edits, No", how) << how << true << false;
        QTest::addRow("%s over edits, Yes", how) << how << true << true;
        QTest::addRow("%s without edits", how) << how << false << false;
    }
}

void TestDownload::replacingUnkeptChangesAsks()
{
    QFETCH(QString, how);
    QFETCH(bool, edited);
    QFETCH(bool, yes);
    const QString module = path(QStringLiteral("module.qm3"));
    QVERIFY(writeFile(module, patternImage()));
    QVERIFY(startSim({QStringLiteral("--image"), module}));
    QVERIFY(connectPort());
    m_chosenPath = module;
    ImageBytes kept;
    kept.fill(0x11);
    QVERIFY(History::Store().keep(kept, Operation::Read, QStringLiteral("COM2")).ok());
    setImage(QByteArray(1088, '\x22'));
    if (edited) {
        ImageBytes stored = workingImage().bytes();
        stored[7] = 0x42;
        workingImage().storeFromEditor(stored);
    }
    m_form->lbOutcome->setText(QStringLiteral(" Before."));
    const QByteArray before = imageBytes();

    BoxAnswerer answerer(yes ? QMessageBox::Yes : QMessageBox::No);
    if (how == u"read") {
        m_form->btRead->click();
    } else if (how == u"file") {
        m_form->btOpen->click();
    } else {
        m_form->btHistory->click();
        auto *window = m_form->findChild<TFormHistory *>(QStringLiteral("FormHistory"));
        QVERIFY(window && window->lvHistory->topLevelItemCount() == 1);
        window->lvHistory->setCurrentItem(window->lvHistory->topLevelItem(0));
        window->btLoad->click();
    }

    QCOMPARE(answerer.texts, edited ? QStringList{QStringLiteral("The parameter set was changed and neither written "
                                                                 "nor saved. Replace it anyway?")}
                                    : QStringList());
    if (edited)
        QCOMPARE(answerer.defaults.first(), QMessageBox::No);
    const bool replaced = yes || !edited;
    QCOMPARE(imageBytes() != before, replaced);
    QCOMPARE(workingImage().state().hasUnkeptChanges(), !replaced);
    // A read declined sent nothing: the last exchange is still the empty one.
    if (how == u"read")
        QCOMPARE(bufferBytes() == QByteArray(960, '\0'), !replaced);
    if (!replaced)
        QCOMPARE(m_form->lbOutcome->text(), QStringLiteral(" Before."));
}

void TestDownload::portClosedDuringARead()
{
    const QString image = path(QStringLiteral("module.qm3"));
    QVERIFY(writeFile(image, patternImage()));
    QVERIFY(startSim({QStringLiteral("--image"), image}));
    QVERIFY(connectPort());
    // The main window closes the port right after block 2 has come in, so
    // the request for block 3 meets a closed port.
    m_link->ComPort1.OnRxChar = [this](int count) {
        m_link->Codec.ComPort1RxChar(count);
        const BlockReception &reception = m_link->Dispatcher.Reception;
        if (reception.BlockReceived && reception.ReceivedBlockAddress == 2 * 64)
            m_link->disconnect();
    };

    QElapsedTimer clock;
    clock.start();
    m_form->btRead->click();
    QVERIFY2(clock.elapsed() < 4000, "the failed send ends the read at once");

    QCOMPARE(m_errors.size(), 1);
    QVERIFY2(m_errors.first().startsWith(QStringLiteral("WriteFile function failed")), qPrintable(m_errors.first()));
    QVERIFY(m_messages.isEmpty());
    QCOMPARE(barColour(), QColor(255, 0, 0));
    QCOMPARE(m_form->Progress->value(), 3);
    QVERIFY(allEnabled());
    QCOMPARE(imageBytes(), QByteArray(1088, '\xFF'));
    QVERIFY(!m_link->ComPort1.Connected());

    // The next press only says that there is no connection.
    m_form->btRead->click();
    QCOMPARE(m_errors.size(), 1);
    QCOMPARE(m_messages, QStringList{QStringLiteral(" No serial connection.")});
}

void TestDownload::stopEndsTheRunningOperation_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("fault"); // holds the operation at the block of the outcome
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<int>("position");
    QTest::newRow("read") << "read" << "drop-block=5" << " Read stopped at block 6 of 15: stopped." << 5;
    QTest::newRow("compare") << "compare" << "drop-block=2" << " Compare stopped at block 3 of 15: stopped." << 2;
    QTest::newRow("write") << "write" << "no-ack=3" << " Write stopped at block 4 of 15: stopped. Blocks 1 to 3 were written: the module may be half-written." << 3;
    QTest::newRow("verify") << "verify" << "drop-block=7" << " Verify stopped at block 8 of 15: stopped." << 7;
    QTest::newRow("backup") << "backup" << "drop-block=0"
                            << " Backup stopped at block 1 of 15: nothing was written." << 1;
}

void TestDownload::stopEndsTheRunningOperation()
{
    QFETCH(QString, operation);
    QFETCH(QString, fault);
    QFETCH(QString, outcome);
    QFETCH(int, position);
    const QString module = path(QStringLiteral("module.qm3"));
    QVERIFY(writeFile(module, patternImage()));
    // The fault hits every try, so only Stop can end the wait early.
    QStringList args{QStringLiteral("--image"), module};
    for (int i = 0; i < 4; ++i)
        args << QStringLiteral("--fault") << fault;
    QVERIFY(startSim(args));
    QVERIFY(connectPort());
    QByteArray image = patternImage();
    image[3] = 'x';
    setImage(image);
    m_form->cbVerify->setChecked(operation == u"verify");
    m_form->cbBackup->setChecked(operation == u"backup");

    QElapsedTimer clock;
    qint64 pressedAt = -1;
    // Late enough for a verify to be past its write: an acknowledgement
    // comes only after its block's line time, even from an unpaced module.
    QTimer::singleShot(2000, this, [&] {
        pressedAt = clock.elapsed();
        m_form->btStop->click();
    });
    clock.start();
    QPushButton *button = operation == u"read"      ? m_form->btRead
                          : operation == u"compare" ? m_form->btCompare
                                                    : m_form->btWrite;
    button->click();
    const qint64 endedAt = clock.elapsed();

    QVERIFY(pressedAt >= 0);
    QVERIFY2(endedAt - pressedAt <= 200, qPrintable(QStringLiteral("%1 ms after Stop").arg(endedAt - pressedAt)));
    QCOMPARE(m_form->lbOutcome->text(), outcome);
    // Only a write that may have left the module half-written says it in red.
    QCOMPARE(drawnInRed(m_form->lbOutcome), operation == u"write");
    QCOMPARE(m_form->Progress->value(), position);
    QCOMPARE(barColour(), QColor(255, 0, 0));
    QVERIFY(allEnabled());
    QVERIFY(m_form->btStop->isEnabled());
    QCOMPARE(imageBytes(), image);
    QVERIFY(m_messages.isEmpty() && m_errors.isEmpty());
    m_form->cbVerify->setChecked(false);
    m_form->cbBackup->setChecked(false);
}

void TestDownload::stopWhileIdleDoesNothing()
{
    const QString module = path(QStringLiteral("module.qm3"));
    QVERIFY(writeFile(module, patternImage()));
    QVERIFY(startSim({QStringLiteral("--image"), module}));
    QVERIFY(connectPort());
    m_form->setProgress(4);

    m_form->btStop->click();
    QVERIFY(m_form->btStop->isEnabled());
    QCOMPARE(m_form->Progress->value(), 4);
    QVERIFY(m_form->lbOutcome->text().isEmpty());
    // No stop is left over for the next operation.
    m_form->btRead->click();
    QCOMPARE(m_form->lbOutcome->text(), QStringLiteral(" Read: 15 of 15 blocks."));
    QCOMPARE(imageBytes(), patternImage());
}

void TestDownload::notConnected()
{
    m_form->setProgress(5);
    m_form->SetBarColour(Transfer::Red);
    for (QPushButton *b : {m_form->btRead, m_form->btCompare, m_form->btWrite}) {
        // The line of an earlier operation would read as this press's result.
        m_form->lbOutcome->setText(QStringLiteral(" Read: 15 of 15 blocks."));
        b->click();
        QVERIFY(m_form->lbOutcome->text().endsWith(QStringLiteral(": nothing was sent: no serial connection.")));
    }
    QCOMPARE(m_messages, QStringList(3, QStringLiteral(" No serial connection.")));
    QVERIFY(m_errors.isEmpty());
    QCOMPARE(m_form->Progress->value(), 5);
    QCOMPARE(barColour(), QColor(255, 0, 0));
    QCOMPARE(imageBytes(), QByteArray(1088, '\xFF'));
    QCOMPARE(bufferBytes(), QByteArray(960, '\0'));
    QVERIFY(allEnabled());
}

void TestDownload::saveAfterStart()
{
    m_form->setProgress(7);
    m_form->SetBarColour(Transfer::Red);
    m_chosenPath = path(QStringLiteral("start.QM3"));
    m_form->btSave->click();
    QCOMPARE(readFile(m_chosenPath), QByteArray(1088, '\xFF'));
    // Saving leaves the bar alone.
    QCOMPARE(m_form->Progress->value(), 7);
    QCOMPARE(barColour(), QColor(255, 0, 0));
    QVERIFY(m_errors.isEmpty());
}

void TestDownload::saveAndOpenTheSameFile()
{
    QByteArray image(1088, '\0');
    for (int i = 0; i < image.size(); ++i)
        image[i] = static_cast<char>(i * 31 + 5);
    setImage(image);
    m_chosenPath = path(QStringLiteral("same.QM3"));
    m_form->btSave->click();
    setImage(QByteArray(1088, '\x11'));
    m_form->SetBarColour(Transfer::Red);

    m_form->btOpen->click();
    QCOMPARE(imageBytes(), image);
    QCOMPARE(m_form->Progress->value(), 12);
    QCOMPARE(barColour(), QColor(0, 128, 0));
    QVERIFY(m_errors.isEmpty());
}

void TestDownload::open_data()
{
    QTest::addColumn<QByteArray>("content"); // null: no such file
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<QString>("error");
    QTest::addColumn<int>("position");

    QByteArray longer(2000, '\0');
    for (int i = 0; i < longer.size(); ++i)
        longer[i] = static_cast<char>(i % 251);
    QTest::newRow("2000-byte file") << longer << false << QString() << 12;
    QTest::newRow("100-byte file") << QByteArray(100, '\x42') << false << QStringLiteral("Read beyond end of file")
                                   << 0;
    QTest::newRow("missing file") << QByteArray() << false << QStringLiteral("File not found") << 0;
    QTest::newRow("cancelled") << QByteArray(1088, '\x42') << true << QString() << 0;
}

void TestDownload::open()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, cancel);
    QFETCH(QString, error);
    QFETCH(int, position);

    const QString file = path(QStringLiteral("open.QM3"));
    QFile::remove(file);
    if (!content.isNull())
        QVERIFY(writeFile(file, content));
    m_chosenPath = cancel ? QString() : file;
    m_form->setProgress(9);
    m_form->SetBarColour(Transfer::Red);
    const QByteArray before = imageBytes();

    m_form->btOpen->click();

    // Green at 0 whatever happens after the dialog.
    QCOMPARE(barColour(), QColor(0, 128, 0));
    QCOMPARE(m_form->Progress->value(), position);
    QCOMPARE(m_errors, error.isEmpty() ? QStringList() : QStringList{error});
    QCOMPARE(imageBytes(), position == 12 ? content.left(1088) : before);
}

void TestDownload::saveCancelledOrFailing()
{
    m_chosenPath.clear();
    m_form->btSave->click();
    QVERIFY(m_errors.isEmpty());

    QCOMPARE(m_form->Progress->value(), 0);

    // A file that cannot be created: one error box, the bar untouched.
    m_form->setProgress(4);
    m_chosenPath = path(QStringLiteral("no such folder/x.QM3"));
    m_form->btSave->click();
    QCOMPARE(m_errors.size(), 1);
    QVERIFY(!QFile::exists(m_chosenPath));
    QCOMPARE(m_form->Progress->value(), 4);
}

void TestDownload::saveAsksBeforeReplacing_data()
{
    QTest::addColumn<bool>("replace");
    QTest::newRow("declined") << false;
    QTest::newRow("confirmed") << true;
}

void TestDownload::saveAsksBeforeReplacing()
{
    QFETCH(bool, replace);
    const QString file = path(QStringLiteral("customer.QM3"));
    const QByteArray saved(1088, '\x42');
    QVERIFY(writeFile(file, saved));
    // A window with its own file dialog: the real save dialog is driven.
    TFormDownload window;
    const QByteArray image(1088, '\x17');
    setImage(image);
    // Should a dialog not come as expected, the test fails instead of hanging.
    QTimer watchdog;
    connect(&watchdog, &QTimer::timeout, this, [] {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *d = qobject_cast<QDialog *>(w); d && d->isVisible())
                d->reject();
    });
    watchdog.start(20000);
    window.ErrorBox = [this](const QString &text) { m_errors << text; };
    QString question;
    bool dialogStayed = false;
    QTimer::singleShot(0, this, [&] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        QTimer::singleShot(0, this, [&] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                question = box->text();
                box->button(replace ? QMessageBox::Yes : QMessageBox::No)->click();
            }
        });
        dialog->selectFile(file);
        static_cast<QDialog *>(dialog)->accept(); // as the Save button does
        // A declined question leaves the dialog open for another name.
        dialogStayed = dialog->isVisible();
        if (dialogStayed)
            dialog->reject();
    });
    window.btSave->click();

    QVERIFY2(question.contains(QStringLiteral("customer.QM3")), qPrintable(question));
    QCOMPARE(dialogStayed, !replace);
    QCOMPARE(readFile(file), replace ? image : saved);
    QVERIFY(m_errors.isEmpty());
}

void TestDownload::editOpensTheEditor()
{
    SettingsForm = new TSettingsForm;
    connectWindows();
    QWidget *shown = nullptr;
    QTimer::singleShot(0, this, [&shown] {
        shown = QApplication::activeModalWidget();
        if (shown)
            SettingsForm->btSettingCancel->click();
    });
    m_form->btEdit->click();
    QCOMPARE(shown, static_cast<QWidget *>(SettingsForm));
    QCOMPARE(imageBytes(), QByteArray(1088, '\xFF'));
    delete SettingsForm;
    SettingsForm = nullptr;
}

void TestDownload::closingHides()
{
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form));
    m_form->btClose->click();
    QVERIFY(!m_form->isVisible());
    m_form->show();
    QVERIFY(m_form->close());
    QVERIFY(!m_form->isVisible());
    QCOMPARE(FormDownload, m_form);
}

void TestDownload::historyKeepsFinishedOperations_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("kept");
    QTest::newRow("read") << "read" << "" << true;
    QTest::newRow("read stopped") << "read" << "wrong-address=4" << false;
    QTest::newRow("write") << "write" << "" << true;
    // Blocks went in before the stop: the module may be half-written.
    QTest::newRow("write not acknowledged") << "write" << "no-ack=14" << true;
    QTest::newRow("write not acknowledged at once") << "write" << "no-ack=0" << false;
    QTest::newRow("compare") << "compare" << "" << false;
}

void TestDownload::historyKeepsFinishedOperations()
{
    QFETCH(QString, operation);
    QFETCH(QString, fault);
    QFETCH(bool, kept);
    const QString module = path(QStringLiteral("module.qm3"));
    QVERIFY(writeFile(module, patternImage()));
    QStringList args{QStringLiteral("--image"), module};
    if (!fault.isEmpty())
        args << QStringLiteral("--fault") << fault;
    QVERIFY(startSim(args));
    QVERIFY(connectPort());
    QByteArray image = patternImage();
    image[5] = 'x';
    setImage(image);

    QPushButton *button = operation == u"read" ? m_form->btRead : operation == u"write" ? m_form->btWrite : m_form->btCompare;
    button->click();

    const QList<History::Entry> entries = History::Store().entries();
    QCOMPARE(entries.size(), kept ? 1 : 0);
    QVERIFY(!m_form->lbOutcome->text().isEmpty());
    QVERIFY(!m_form->lbOutcome->text().contains(QStringLiteral("History")));
    if (!kept)
        return;
    QCOMPARE(operationWord(entries.first().operation), operation);
    QCOMPARE(entries.first().port, QStringLiteral("COM%1").arg(SimPort));
    QCOMPARE(readFile(entries.first().path), imageBytes());
    QCOMPARE(imageBytes(), operation == u"read" ? patternImage() : image);
}

void TestDownload::historyFolderUnwritable()
{
    // The history folder's place is taken by a file.
    QVERIFY(writeFile(path(QStringLiteral("data")), "x"));
    const QString module = path(QStringLiteral("module.qm3"));
    QVERIFY(writeFile(module, patternImage()));
    QVERIFY(startSim({QStringLiteral("--image"), module}));
    QVERIFY(connectPort());

    m_form->btRead->click();

    QCOMPARE(imageBytes(), patternImage());
    QCOMPARE(m_form->Progress->value(), 12);
    QCOMPARE(barColour(), QColor(0, 128, 0));
    QVERIFY(allEnabled());
    QVERIFY(m_messages.isEmpty() && m_errors.isEmpty());
    QCOMPARE(m_form->lbOutcome->text(), QStringLiteral(" Read: 15 of 15 blocks. History not saved: Invalid filename."));
    QFile::remove(path(QStringLiteral("data")));
}

void TestDownload::historyWindow()
{
    ImageBytes older, newer;
    older.fill(0xFF);
    newer.fill(0xFF);
    FieldModel::store(newer, *FieldModel::findField(u"USER1"), QStringLiteral("0612345678"));
    FieldModel::store(newer, *FieldModel::findField(u"APN"), QStringLiteral("internet"));
    const History::Store store;
    const QDateTime when(QDate(2026, 3, 14), QTime(9, 0));
    QVERIFY(store.keep(older, Operation::Read, QStringLiteral("COM2"), when).ok());
    const QString outcome = QStringLiteral("Verify stopped at block 4 of 15: no answer.");
    QVERIFY(store.keep(newer, Operation::Write, QStringLiteral("COM3"), when.addSecs(60), outcome).ok());
    TransferBuffer.fill(0x5A);

    m_form->btHistory->click();
    auto *window = m_form->findChild<TFormHistory *>(QStringLiteral("FormHistory"));
    QVERIFY(window && window->isVisible());
    QCOMPARE(window->windowTitle(), QStringLiteral("Quelmar5 - History"));
    QVERIFY(!window->isModal());
    QCOMPARE(window->lvHistory->topLevelItemCount(), 2);
    QTreeWidgetItem *top = window->lvHistory->topLevelItem(0);
    QCOMPARE(top->text(1), QStringLiteral("Write"));
    QCOMPARE(top->text(2), QStringLiteral("COM3"));
    QCOMPARE(top->text(3), QStringLiteral("USER1 0612345678, APN internet"));
    QCOMPARE(top->text(4), outcome);
    QCOMPARE(window->lvHistory->topLevelItem(1)->text(4), QString()); // recorded without one
    // Every column is in view, the outcomes too.
    window->layout()->activate();
    int columns = 0;
    for (int c = 0; c < window->lvHistory->columnCount(); ++c)
        columns += window->lvHistory->columnWidth(c);
    QVERIFY2(columns <= window->lvHistory->viewport()->width(), qPrintable(QString::number(columns)));

    // Compare: the entry against the erased image differs in its two fields.
    window->btCompareImage->click();
    QTableWidget *list = window->FormDifferences->lvDifferences;
    QVERIFY(window->FormDifferences->isVisible());
    QCOMPARE(list->rowCount(), 2);
    QCOMPARE(list->horizontalHeaderItem(3)->text(), window->items().first().name);
    QCOMPARE(list->horizontalHeaderItem(4)->text(), QStringLiteral("Image"));
    QCOMPARE(list->item(0, 3)->text(), QStringLiteral("0612345678"));

    window->btLoadClick();
    QCOMPARE(imageBytes(), QByteArray(reinterpret_cast<const char *>(newer.data()), 1088));
    QCOMPARE(bufferBytes(), QByteArray(960, '\x5A'));
    QCOMPARE(m_form->Progress->value(), 12);

    const QString copy = path(QStringLiteral("copy.QM3"));
    window->SaveDialog = [&] { return copy; };
    window->lvHistory->setCurrentItem(window->lvHistory->topLevelItem(1));
    window->btSaveAs->click();
    QCOMPARE(readFile(copy), QByteArray(1088, '\xFF'));
}

void TestDownload::report()
{
    const QString pdf = path(QStringLiteral("site.pdf"));
    QStringList opened;
    m_form->ReportDialog = [&] { return pdf; };
    m_form->OpenReport = [&](const QString &p) {
        opened << p;
        return true;
    };
    m_form->WriteReport = [](const QString &p) {
        Report::Contents contents;
        contents.image = ParameterImage;
        return Report::writePdf(p, contents).error;
    };
    m_form->btReport->click();
    QCOMPARE(opened, QStringList{pdf});
    QVERIFY(readFile(pdf).startsWith("%PDF"));
    // A report that cannot be written is an error and opens nothing.
    m_form->ReportDialog = [&] { return path(QStringLiteral("missing/site.pdf")); };
    m_form->btReport->click();
    QCOMPARE(opened.size(), 1);
    QCOMPARE(m_errors.size(), 1);
}

void TestDownload::reportWithoutAViewerSaysWhereItIs()
{
    // The offscreen platform has no program for PDF files: the window's own opener fails.
    const QString pdf = path(QStringLiteral("site.pdf"));
    m_form->ReportDialog = [&] { return pdf; };
    m_form->WriteReport = [](const QString &p) {
        Report::Contents contents;
        contents.image = ParameterImage;
        return Report::writePdf(p, contents).error;
    };
    m_form->btReport->click();
    QVERIFY(readFile(pdf).startsWith("%PDF"));
    QCOMPARE(m_messages, QStringList{QStringLiteral("The report was saved to %1. No program to show it was found.").arg(pdf)});
    QVERIFY(m_errors.isEmpty());
}

void TestDownload::reportSaysWhereItsValuesComeFrom_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("line"); // TIME stands for the clock time of the last exchange
    QTest::newRow("start") << QStringList() << "Erased: not read from a module or loaded from a file";
    QTest::newRow("read") << QStringList{"read"} << "Read from the module on COM90 at TIME";
    QTest::newRow("read, edited") << QStringList{"read", "edit"}
                                  << "Changed in the editor after the last read: not in the module";
    QTest::newRow("written and verified") << QStringList{"open", "verified write"}
                                          << "Written to the module on COM90 at TIME and verified";
    QTest::newRow("written, edited") << QStringList{"open", "write", "edit"}
                                     << "Changed in the editor after the last write: not in the module";
    QTest::newRow("from a file") << QStringList{"read", "open"} << "From the file site.QM3";
    QTest::newRow("edited, saved") << QStringList{"read", "edit", "save"} << "From the file site.QM3";
    // A compare that finds the module holding the last written set counts as a read.
    QTest::newRow("written, compared the same") << QStringList{"open", "write", "compare"}
                                                << "Read from the module on COM90 at TIME";
    QTest::newRow("edited, compared") << QStringList{"read", "edit", "compare"}
                                      << "Changed in the editor after the last read: not in the module";
}

void TestDownload::reportSaysWhereItsValuesComeFrom()
{
    QFETCH(QStringList, steps);
    QFETCH(QString, line);
    const QString module = path(QStringLiteral("module.qm3"));
    QVERIFY(writeFile(module, patternImage()));
    QVERIFY(startSim({QStringLiteral("--image"), module}));
    QVERIFY(connectPort());
    m_chosenPath = path(QStringLiteral("site.QM3"));
    QVERIFY(writeFile(m_chosenPath, patternImage()));
    m_form->openEditor = [] {
        ImageBytes stored = workingImage().bytes();
        stored[7] ^= 0x42;
        workingImage().storeFromEditor(stored);
        return true;
    };
    for (const QString &step : steps) {
        m_form->cbVerify->setChecked(step == u"verified write");
        if (step == u"read")
            m_form->btRead->click();
        else if (step.endsWith(u"write"))
            m_form->btWrite->click();
        else if (step == u"open")
            m_form->btOpen->click();
        else if (step == u"save")
            m_form->btSave->click();
        else if (step == u"compare")
            m_form->btCompare->click();
        else
            m_form->btEdit->click();
    }
    m_form->cbVerify->setChecked(false);

    const Report::Contents contents = imageReportContents();
    const QRegularExpression expected(
        QLatin1Char('^') + QRegularExpression::escape(line).replace(QStringLiteral("TIME"), QStringLiteral("\\d\\d:\\d\\d:\\d\\d")) + QLatin1Char('$'));
    QVERIFY2(expected.match(contents.origin).hasMatch(), qPrintable(contents.origin));
    QVERIFY(Report::html(contents).contains(QStringLiteral("<p>%1</p>").arg(contents.origin)));
}

QTEST_MAIN(TestDownload)
#include "tst_download.moc"
