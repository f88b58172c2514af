// The port selection dialog driven like a user would: rows, colours, the
// once-a-second presence refresh, highlighting, adding a port and the
// results Execute hands back.

#include "FakeDeviceRegistry.h"
#include "serial/FormCom.h"
#include "serial/PortMap.h"
#include "serial/SerialPort.h"
#include "serial/SorosDialog.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QInputDialog>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <pty.h>
#include <unistd.h>

using namespace SorosKeres;

namespace {

constexpr int RefreshTimeoutMs = 5000; // the refresh runs once a second

QString entry(TFormComPort &form, int row)
{
    const QAbstractItemModel *model = form.StringGrid1->model();
    return model->data(model->index(row, 0), TFormComPort::EntryRole).toString();
}

QStringList rowTexts(TFormComPort &form)
{
    QStringList rows;
    for (int row = 0; row < form.StringGrid1->model()->rowCount(); ++row)
        rows.append(entry(form, row));
    return rows;
}

int rowOf(TFormComPort &form, const QString &displayName)
{
    const QStringList rows = rowTexts(form);
    for (int row = 0; row < rows.size(); ++row)
        if (DisplayNameOf(rows[row]) == displayName)
            return row;
    return -1;
}

int highlightedRow(TFormComPort &form)
{
    const QModelIndexList selected = form.StringGrid1->selectionModel()->selectedRows();
    return selected.isEmpty() ? -1 : selected.first().row();
}

// Pixels of a row drawn in one of the two reddish text colours of an absent
// port. Black, white, grey, navy and their blends never count.
int reddishPixels(TFormComPort &form, int row)
{
    QTableView *view = form.StringGrid1;
    const QRect rect = view->visualRect(view->model()->index(row, 0));
    const QImage image = view->viewport()->grab(rect).toImage();
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.red() - c.blue() > 40)
                ++count;
        }
    return count;
}

TFormComPort *openDialogWindow()
{
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (auto *form = qobject_cast<TFormComPort *>(widget); form && form->isVisible())
            return form;
    return nullptr;
}

// Runs Execute; `drive` gets the open window once it is active. The window
// is cancelled afterwards if the driver left it open, so a failed check
// never hangs the test.
bool runDialog(TSorosDialog &dialog, const std::function<void(TFormComPort &)> &drive)
{
    QTimer::singleShot(0, [&] {
        TFormComPort *form = openDialogWindow();
        QVERIFY(form);
        const auto closer = qScopeGuard([form] {
            if (form->isVisible())
                form->reject();
        });
        QVERIFY(QTest::qWaitForWindowActive(form));
        drive(*form);
    });
    return dialog.Execute();
}

void clickOk(TFormComPort &form)
{
    QTest::mouseClick(form.Button1, Qt::LeftButton);
}

RegistryDevice device(const QString &name, const QString &manufacturer = {})
{
    return {name, manufacturer, {}};
}

} // namespace

class PortDialogTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void rows_data();
    void rows();
    void noDevicesOkCancels();
    void closeBoxCancelsAndKeepsResults();
    void unplugChangesColourWithinASecond();
    void addPort_data();
    void addPort();
    void addPortThroughMenuAndInputBox();
    void defaultHighlight_data();
    void defaultHighlight();
    void keyboardMovesTheChoice();
    void reactivation_data();
    void reactivation();
    void highlightScrollsToMiddle_data();
    void highlightScrollsToMiddle();
    void texts_data();
    void texts();
    void realRegistryLinkChangesColour();

private:
    QTemporaryDir m_home;
    FakeDeviceRegistry m_fake;
};

void PortDialogTest::initTestCase()
{
    QVERIFY(m_home.isValid());
    qputenv("HOME", m_home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (m_home.path() + "/config").toLocal8Bit());
    QVERIFY(QDir().mkpath(PortMap::portDirectory()));
}

void PortDialogTest::cleanup()
{
    m_fake = FakeDeviceRegistry();
    setDeviceRegistry(nullptr);
}

void PortDialogTest::rows_data()
{
    QTest::addColumn<QList<RegistryDevice>>("devices");
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("no devices: one blank row") << QList<RegistryDevice>{} << QStringList{"COM1"} << QStringList{""};
    QTest::newRow("without (COM not offered")
        << QList<RegistryDevice>{device("Modem", "Acme")} << QStringList{"COM3"} << QStringList{""};
    QTest::newRow("port-number order")
        << QList<RegistryDevice>{device("B (COM9)"), device("A (COM2)", "Acme")} << QStringList{"COM9"}
        << QStringList{"-A (COM2);Acme", "+B (COM9);"};
    QTest::newRow("same number: present first")
        << QList<RegistryDevice>{device("X (COM4)"), device("Y (COM4)")} << QStringList{"COM4"}
        << QStringList{"+X (COM4);", "-Y (COM4);"};
}

void PortDialogTest::rows()
{
    QFETCH(QList<RegistryDevice>, devices);
    QFETCH(QStringList, present);
    QFETCH(QStringList, expected);
    m_fake.devices = devices;
    m_fake.present = present;
    RegistryScope scope(&m_fake);

    TFormComPort form;
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    QCOMPARE(rowTexts(form), expected);
    QCOMPARE(form.StringGrid1->rowHeight(0), 20);
}

void PortDialogTest::noDevicesOkCancels()
{
    RegistryScope scope(&m_fake);
    TSorosDialog dialog;
    dialog.setDefaultPort("Anything (COM1)");
    bool timerStopped = false;
    const bool result = runDialog(dialog, [&](TFormComPort &form) {
        QCOMPARE(rowTexts(form), QStringList{""});
        QCOMPARE(highlightedRow(form), -1);
        QVERIFY(form.Timer1->isActive());
        clickOk(form);
        timerStopped = !form.Timer1->isActive();
    });
    QVERIFY(!QTest::currentTestFailed());
    QVERIFY(!result);
    QVERIFY(timerStopped);
    QCOMPARE(dialog.PortNev(), QString());
    QCOMPARE(dialog.PortIndex(), 0);
}

void PortDialogTest::closeBoxCancelsAndKeepsResults()
{
    m_fake.devices = {device("A (COM3)")};
    m_fake.present = {"COM3"};
    RegistryScope scope(&m_fake);
    TSorosDialog dialog;
    dialog.setDefaultPort("A (COM3)");
    QVERIFY(runDialog(dialog, clickOk));
    QCOMPARE(dialog.PortNev(), QString("COM3"));

    // A highlighted, valid row, but the window is closed instead.
    const bool result = runDialog(dialog, [](TFormComPort &form) {
        QCOMPARE(form.chosenName(), QString("COM3"));
        form.close();
    });
    QVERIFY(!QTest::currentTestFailed());
    QVERIFY(!result);
    QCOMPARE(dialog.PortNev(), QString("COM3"));
    QCOMPARE(dialog.PortHNev(), QString("A (COM3)"));
    QCOMPARE(dialog.PortIndex(), 3);
}

void PortDialogTest::unplugChangesColourWithinASecond()
{
    m_fake.devices = {device("Adapter (COM5)"), device("Board (COM2)")};
    m_fake.present = {"COM2", "COM5"};
    RegistryScope scope(&m_fake);

    TFormComPort form;
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    const int scans = m_fake.scans;
    QCOMPARE(rowTexts(form), (QStringList{"+Board (COM2);", "+Adapter (COM5);"}));
    QCOMPARE(reddishPixels(form, 1), 0);

    m_fake.present = {"COM2"};
    QTRY_COMPARE_WITH_TIMEOUT(entry(form, 1), QString("-Adapter (COM5);"), RefreshTimeoutMs);
    QVERIFY(reddishPixels(form, 1) > 0);
    QCOMPARE(reddishPixels(form, 0), 0);

    m_fake.present = {"COM5", "COM2"};
    QTRY_COMPARE_WITH_TIMEOUT(entry(form, 1), QString("+Adapter (COM5);"), RefreshTimeoutMs);
    QCOMPARE(reddishPixels(form, 1), 0);
    QCOMPARE(rowTexts(form), (QStringList{"+Board (COM2);", "+Adapter (COM5);"}));

    // The ticks refresh the presence only; the device list waits for the
    // next activation.
    QCOMPARE(m_fake.scans, scans);
}

void PortDialogTest::addPort_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<int>("added");
    QTest::newRow("5") << "5" << 5;
    QTest::newRow("0") << "0" << 0;
    QTest::newRow("100") << "100" << 0;
    // Only ports the serial port can open: above 96 it would open COM1.
    QTest::newRow("96") << "96" << 96;
    QTest::newRow("97") << "97" << 0;
    QTest::newRow("99") << "99" << 0;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("letters") << "abc" << 0;
    QTest::newRow("negative") << "-5" << 0;
    QTest::newRow("digits then letters") << "12abc" << 12;
    QTest::newRow("dollar hex") << "$1F" << 31;
    QTest::newRow("0x hex") << "0x1f" << 31;
}

void PortDialogTest::addPort()
{
    QFETCH(QString, answer);
    QFETCH(int, added);
    m_fake.devices = {device("Board (COM2)", "Acme")};
    RegistryScope scope(&m_fake);

    TFormComPort form;
    form.setDefaultDisplayName("Board (COM2)");
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    QCOMPARE(form.chosenName(), QString("COM2"));

    form.addPort(answer);
    if (added == 0) {
        QCOMPARE(rowTexts(form), QStringList{"-Board (COM2);Acme"});
        QCOMPARE(highlightedRow(form), 0);
        QCOMPARE(form.chosenName(), QString("COM2"));
        QCOMPARE(form.Panel1->text(), QString("Board (COM2)"));
        return;
    }
    const QString name = QString("Sajátport (COM%1)").arg(added);
    QCOMPARE(rowTexts(form), (QStringList{"+" + name + ";(user defined port)", "-Board (COM2);Acme"}));
    QCOMPARE(highlightedRow(form), 0);
    QCOMPARE(form.Panel1->text(), name);
    QCOMPARE(form.Panel2->text(), QString("(user defined port)"));
    QCOMPARE(form.chosenName(), QString("COM%1").arg(added));
    // The port opened is the port shown.
    QCOMPARE(NormalizePortName(form.chosenName()), form.chosenName());
    QCOMPARE(form.chosenNumber(), added);
    QCOMPARE(form.chosenDisplayName(), name);

    // Drawn as present; the refresh keeps it on top.
    form.StringGrid1->selectionModel()->clearSelection();
    QCOMPARE(reddishPixels(form, 0), 0);
    QVERIFY(reddishPixels(form, 1) > 0);
    form.Timer1Timer();
    QCOMPARE(entry(form, 0), "+" + name + ";(user defined port)");
}

void PortDialogTest::addPortThroughMenuAndInputBox()
{
    m_fake.devices = {device("Board (COM2)")};
    m_fake.present = {"COM2"};
    RegistryScope scope(&m_fake);
    TSorosDialog dialog;
    dialog.setDefaultPort("Board (COM2)");
    dialog.setDialogusCimke("Serial ports");
    dialog.setHozzaadSzoveg("Give a number for the new port!");

    QString boxTitle;
    QString boxPrompt;
    const bool result = runDialog(dialog, [&](TFormComPort &form) {
        QTimer::singleShot(0, [&] {
            auto *box = qobject_cast<QInputDialog *>(QApplication::activeModalWidget());
            QVERIFY(box);
            boxTitle = box->windowTitle();
            boxPrompt = box->labelText();
            box->setTextValue("5");
            box->accept();
        });
        const int scans = m_fake.scans;
        form.jporthozzadsa1->trigger();
        // The window is activated again once the box is gone (here the test
        // plays the window manager); the new port stays highlighted and chosen.
        form.activateWindow();
        QTRY_VERIFY(m_fake.scans > scans);
        QCOMPARE(highlightedRow(form), 0);
        QCOMPARE(form.Panel1->text(), QString("Sajátport (COM5)"));
        QCOMPARE(form.Panel2->text(), QString("(user defined port)"));
        clickOk(form);
    });
    QVERIFY(!QTest::currentTestFailed());
    QCOMPARE(boxTitle, QString("Serial ports"));
    QCOMPARE(boxPrompt, QString("Give a number for the new port!"));
    QVERIFY(result);
    QCOMPARE(dialog.PortNev(), QString("COM5"));
    QCOMPARE(dialog.PortHNev(), QString("Sajátport (COM5)"));
    QCOMPARE(dialog.PortIndex(), 5);
}

void PortDialogTest::defaultHighlight_data()
{
    QTest::addColumn<QString>("defaultPort");
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("panel2");
    QTest::addColumn<QString>("portNev");
    QTest::addColumn<QString>("portHNev");
    QTest::newRow("no match") << "Other (COM4)" << -1 << "" << "" << "";
    QTest::newRow("case matters") << "a (COM1)" << -1 << "" << "" << "";
    QTest::newRow("empty") << "" << -1 << "" << "" << "";
    QTest::newRow("match") << "A (COM1)" << 0 << "Acme" << "COM1" << "A (COM1)";
    QTest::newRow("absent row") << "B (COM9)" << 2 << "Bee" << "COM9" << "B (COM9)";
    QTest::newRow("colon cut") << "USB: FT232 (COM7)" << 1 << "FTDI" << "COM7" << "USB";
}

void PortDialogTest::defaultHighlight()
{
    QFETCH(QString, defaultPort);
    QFETCH(int, row);
    QFETCH(QString, panel2);
    QFETCH(QString, portNev);
    QFETCH(QString, portHNev);
    m_fake.devices = {device("A (COM1)", "Acme"), device("USB: FT232 (COM7)", "FTDI"), device("B (COM9)", "Bee")};
    m_fake.present = {"COM1", "COM7"};
    RegistryScope scope(&m_fake);
    TSorosDialog dialog;
    dialog.setDefaultPort(defaultPort);

    int highlighted = -2;
    QString panel1Text;
    QString panel2Text;
    const bool result = runDialog(dialog, [&](TFormComPort &form) {
        highlighted = highlightedRow(form);
        panel1Text = form.Panel1->text();
        panel2Text = form.Panel2->text();
        clickOk(form);
    });
    QVERIFY(!QTest::currentTestFailed());
    QCOMPARE(highlighted, row);
    QCOMPARE(panel1Text, row < 0 ? QString() : defaultPort);
    QCOMPARE(panel2Text, panel2);
    QCOMPARE(result, row >= 0);
    QCOMPARE(dialog.PortNev(), portNev);
    QCOMPARE(dialog.PortHNev(), portHNev);
    QCOMPARE(dialog.PortIndex(), PortMap::portNumber(portNev));
}

void PortDialogTest::keyboardMovesTheChoice()
{
    m_fake.devices = {device("A (COM1)", "Acme"), device("B (COM9)", "Bee")};
    m_fake.present = {"COM1", "COM9"};
    RegistryScope scope(&m_fake);
    TSorosDialog dialog;
    dialog.setDefaultPort("A (COM1)");
    const bool result = runDialog(dialog, [](TFormComPort &form) {
        form.StringGrid1->setFocus();
        QTest::keyClick(form.StringGrid1, Qt::Key_Down);
        QCOMPARE(highlightedRow(form), 1);
        QCOMPARE(form.Panel1->text(), QString("B (COM9)"));
        QCOMPARE(form.Panel2->text(), QString("Bee"));
        QCOMPARE(form.StringGrid1->model()->index(1, 0).data(Qt::AccessibleTextRole).toString(),
                 QString("B (COM9)"));
        QTest::keyClick(&form, Qt::Key_Return); // the default button
    });
    QVERIFY(!QTest::currentTestFailed());
    QVERIFY(result);
    QCOMPARE(dialog.PortNev(), QString("COM9"));
}

void PortDialogTest::reactivation_data()
{
    QTest::addColumn<bool>("fromOwnWindow");
    QTest::addColumn<int>("highlighted");
    QTest::addColumn<int>("newScans");
    // After another window of the program: rebuilt, default highlighted again.
    QTest::newRow("from another window of the program") << true << 0 << 1;
    // Back from another application: the user's highlight stays.
    QTest::newRow("from another application") << false << 1 << 0;
}

void PortDialogTest::reactivation()
{
    QFETCH(bool, fromOwnWindow);
    QFETCH(int, highlighted);
    QFETCH(int, newScans);
    m_fake.devices = {device("A (COM1)"), device("B (COM9)")};
    RegistryScope scope(&m_fake);

    TFormComPort form;
    form.setDefaultDisplayName("A (COM1)");
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    form.StringGrid1->setFocus();
    QTest::keyClick(form.StringGrid1, Qt::Key_Down);
    QCOMPARE(form.chosenName(), QString("COM9"));
    const int scans = m_fake.scans;

    QWidget other;
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    if (fromOwnWindow) {
        other.show();
        QApplication::setActiveWindow(&other);
    } else {
        QApplication::setActiveWindow(nullptr);
    }
    QVERIFY(!form.isActiveWindow());
    QApplication::setActiveWindow(&form);
    QT_WARNING_POP
    QVERIFY(form.isActiveWindow());

    QCOMPARE(m_fake.scans - scans, newScans);
    QCOMPARE(highlightedRow(form), highlighted);
    QCOMPARE(form.chosenName(), highlighted == 0 ? QString("COM1") : QString("COM9"));
}

void PortDialogTest::highlightScrollsToMiddle_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("top");
    // 30 rows, 171 div 20 = 8 visible: top = row - 4, within 0 and 22.
    QTest::newRow("near the start") << 2 << 0;
    QTest::newRow("middle") << 15 << 11;
    QTest::newRow("near the end") << 28 << 22;
}

void PortDialogTest::highlightScrollsToMiddle()
{
    QFETCH(int, row);
    QFETCH(int, top);
    for (int n = 1; n <= 30; ++n)
        m_fake.devices.append(device(QString("Port (COM%1)").arg(n)));
    RegistryScope scope(&m_fake);

    TFormComPort form;
    form.setDefaultDisplayName(QString("Port (COM%1)").arg(row + 1));
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    QCOMPARE(highlightedRow(form), row);
    QCOMPARE(form.StringGrid1->verticalScrollBar()->value(), top);
    QCOMPARE(TFormComPort::centredTopRow(row, 30, 8), top);
}

void PortDialogTest::texts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("menu");
    QTest::addColumn<QString>("prompt");
    QTest::newRow("own Hungarian texts") << "" << "Soros portok" << "Válassza ki a használni kívánt soros portot!"
                                         << "Port hozzáadása" << "Adja meg a kívánt soros port sorszámát!";
    QTest::newRow("English") << "en" << "Serial ports" << "Select serial port!" << "Add port"
                             << "Give a number for the new port!";
}

void PortDialogTest::texts()
{
    QFETCH(QString, text);
    QFETCH(QString, caption);
    QFETCH(QString, label);
    QFETCH(QString, menu);
    QFETCH(QString, prompt);
    RegistryScope scope(&m_fake);
    TSorosDialog dialog;
    if (!text.isEmpty()) {
        dialog.setProperty("DialogusCimke", caption);
        dialog.setProperty("DialogusSzoveg", label);
        dialog.setProperty("HozzaadCimke", menu);
        dialog.setProperty("HozzaadSzoveg", prompt);
    }
    QStringList seen;
    runDialog(dialog, [&](TFormComPort &form) {
        seen = {form.windowTitle(), form.Label1->text(), form.jporthozzadsa1->text(), form.addPrompt()};
        QCOMPARE(form.Label1->font().pixelSize(), 16);
        QCOMPARE(form.size(), QSize(373, 257));
        QVERIFY(form.Button1->isDefault());
    });
    QVERIFY(!QTest::currentTestFailed());
    QCOMPARE(seen, (QStringList{caption, label, menu, prompt}));
}

void PortDialogTest::realRegistryLinkChangesColour()
{
    int master = -1;
    int slave = -1;
    char name[128] = {};
    QCOMPARE(openpty(&master, &slave, name, nullptr, nullptr), 0);
    const auto closePty = qScopeGuard([&] {
        ::close(master);
        ::close(slave);
        QFile::remove(PortMap::linkPath(90));
        QFile::remove(PortMap::linkPath(91));
    });
    const QString target = QString::fromLocal8Bit(name);
    const QString display = target.mid(5) + " (COM90)";
    QVERIFY(QFile::link(target, PortMap::linkPath(90)));
    QVERIFY(QFile::link(m_home.path() + "/nothing", PortMap::linkPath(91)));

    TFormComPort form;
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    int row = rowOf(form, display);
    QVERIFY2(row >= 0, qPrintable(rowTexts(form).join('\n')));
    QVERIFY(entry(form, row).startsWith('+'));
    QCOMPARE(reddishPixels(form, row), 0);
    const int dangling = rowOf(form, "nothing (COM91)");
    QVERIFY(dangling >= 0);
    QVERIFY(entry(form, dangling).startsWith('-'));
    QVERIFY(reddishPixels(form, dangling) > 0);
    for (const QString &entry : rowTexts(form)) {
        const int number = PortNumberOf(entry).value_or(0);
        QVERIFY2(number >= 1 && number <= 96, qPrintable(entry));
    }

    QVERIFY(QFile::remove(PortMap::linkPath(90)));
    QTRY_VERIFY_WITH_TIMEOUT(entry(form, rowOf(form, display)).startsWith('-'), RefreshTimeoutMs);
    QVERIFY(reddishPixels(form, rowOf(form, display)) > 0);

    QVERIFY(QFile::link(target, PortMap::linkPath(90)));
    QTRY_VERIFY_WITH_TIMEOUT(entry(form, rowOf(form, display)).startsWith('+'), RefreshTimeoutMs);
    QCOMPARE(reddishPixels(form, rowOf(form, display)), 0);
}

QTEST_MAIN(PortDialogTest)
#include "tst_portdialog.moc"
