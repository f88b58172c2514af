// The port list: entry derivations, number reading, ordering, presence
// marking, and the udev registry with a real port directory.

#include "FakeDeviceRegistry.h"
#include "serial/PortMap.h"
#include "serial/SorosKeres.h"
#include "serial/UdevRegistry.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <climits>
#include <pty.h>
#include <unistd.h>

using namespace SorosKeres;

Q_DECLARE_METATYPE(std::optional<int>)

namespace {

// A pseudo-terminal pair whose slave path a link can point at.
class Pty
{
public:
    Pty()
    {
        char name[128] = {};
        if (openpty(&m_master, &m_slave, name, nullptr, nullptr) == 0)
            m_path = QString::fromLocal8Bit(name);
    }
    ~Pty() { Close(); }
    Pty(const Pty &) = delete;
    Pty &operator=(const Pty &) = delete;

    QString path() const { return m_path; }
    void Close()
    {
        if (m_master >= 0)
            ::close(m_master);
        if (m_slave >= 0)
            ::close(m_slave);
        m_master = m_slave = -1;
    }

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_path;
};

RegistryDevice device(const QString &name, const QString &manufacturer = {}, const QString &node = {})
{
    return {name, manufacturer, node};
}

} // namespace

class SorosKeresTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void displayName_data();
    void displayName();
    void detail_data();
    void detail();
    void portNumber_data();
    void portNumber();
    void leadingInteger_data();
    void leadingInteger();

    void sortKeepsEqualNumbersInOrder_data();
    void sortKeepsEqualNumbersInOrder();
    void entries_data();
    void entries();
    void presence_data();
    void presence();

    void deviceListBuiltOnceAndRebuiltOnRequest();

    void udevNumbersAreInRange();
    void udevPortDirectoryLinks();

private:
    QTemporaryDir m_home;
};

void SorosKeresTest::initTestCase()
{
    QVERIFY(m_home.isValid());
    qputenv("HOME", m_home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (m_home.path() + "/config").toLocal8Bit());
}

void SorosKeresTest::displayName_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("expected");
    QTest::newRow("present") << "+FT232R (COM33);FTDI" << "FT232R (COM33)";
    QTest::newRow("absent") << "-FT232R (COM33);FTDI" << "FT232R (COM33)";
    QTest::newRow("unmarked") << "FT232R (COM33);FTDI" << "FT232R (COM33)";
    QTest::newRow("only one mark dropped") << "+-X (COM1);d" << "-X (COM1)";
    QTest::newRow("semicolon first") << ";detail" << "";
    QTest::newRow("mark before semicolon") << "+;detail" << "";
    QTest::newRow("no semicolon") << "Name (COM1)" << "";
    QTest::newRow("second semicolon kept after") << "A;B;C" << "A";
    QTest::newRow("empty") << "" << "";
}

void SorosKeresTest::displayName()
{
    QFETCH(QString, entry);
    QFETCH(QString, expected);
    QCOMPARE(DisplayNameOf(entry), expected);
}

void SorosKeresTest::detail_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("expected");
    QTest::newRow("user port") << userPortEntry(5) << "(user defined port)";
    QTest::newRow("two characters") << "+A (COM1);ab" << "ab";
    QTest::newRow("one character") << "+A (COM1);a" << "";
    QTest::newRow("nothing after") << "+A (COM1);" << "";
    QTest::newRow("later semicolons kept") << "A;b;c" << "b;c";
    QTest::newRow("no semicolon, long") << "ab" << "ab";
    QTest::newRow("no semicolon, short") << "a" << "";
    QTest::newRow("empty") << "" << "";
}

void SorosKeresTest::detail()
{
    QFETCH(QString, entry);
    QFETCH(QString, expected);
    QCOMPARE(DetailOf(entry), expected);
}

void SorosKeresTest::portNumber_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<std::optional<int>>("expected");
    QTest::newRow("port name") << "COM5" << std::optional<int>(5);
    QTest::newRow("port name 96") << "COM96" << std::optional<int>(96);
    QTest::newRow("port name not a number") << "COMX" << std::optional<int>();
    QTest::newRow("port name without number") << "COM" << std::optional<int>();
    QTest::newRow("lower case is no port name") << "com5" << std::optional<int>(0);
    QTest::newRow("marked entry") << "+FT232R (COM12);FTDI" << std::optional<int>(12);
    QTest::newRow("first of two") << "A (COM3) B (COM4);x" << std::optional<int>(3);
    QTest::newRow("hexadecimal") << "A (COM$1F);x" << std::optional<int>(31);
    QTest::newRow("leading blank") << "A (COM 7);x" << std::optional<int>(7);
    QTest::newRow("no closing bracket") << "A (COM12;x" << std::optional<int>(0);
    QTest::newRow("no port") << "Modem;x" << std::optional<int>(0);
    QTest::newRow("not a number") << "A (COMx);y" << std::optional<int>();
    QTest::newRow("trailing text") << "A (COM1a);y" << std::optional<int>();
    QTest::newRow("too large") << "A (COM99999999999);y" << std::optional<int>();
}

void SorosKeresTest::portNumber()
{
    QFETCH(QString, entry);
    QFETCH(std::optional<int>, expected);
    QCOMPARE(PortNumberOf(entry), expected);
}

void SorosKeresTest::leadingInteger_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<int>("expected");
    QTest::newRow("decimal") << "5" << 5;
    QTest::newRow("letters after") << "12abc" << 12;
    QTest::newRow("letters only") << "abc" << 0;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("leading blanks") << "   7" << 7;
    QTest::newRow("blank inside") << "1 2" << 1;
    QTest::newRow("minus") << "-3" << -3;
    QTest::newRow("plus") << "+4" << 4;
    QTest::newRow("dollar hex") << "$1F" << 31;
    QTest::newRow("0x hex") << "0x1f" << 31;
    QTest::newRow("x hex") << "x1F" << 31;
    QTest::newRow("X hex") << "X10" << 16;
    QTest::newRow("hex without digits") << "0xg" << 0;
    QTest::newRow("dollar alone") << "$" << 0;
    QTest::newRow("zero") << "0" << 0;
    QTest::newRow("leading zeros") << "007" << 7;
    QTest::newRow("huge") << "99999999999999999999" << INT_MAX;
}

void SorosKeresTest::leadingInteger()
{
    QFETCH(QString, answer);
    QFETCH(int, expected);
    QCOMPARE(readLeadingInteger(answer), expected);
}

void SorosKeresTest::sortKeepsEqualNumbersInOrder_data()
{
    QTest::addColumn<QStringList>("input");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("reversed")
        << QStringList{"C (COM3);", "B (COM2);", "A (COM1);"} << QStringList{"A (COM1);", "B (COM2);", "C (COM3);"};
    QTest::newRow("equal numbers keep their order")
        << QStringList{"Z (COM4);", "Y (COM2);", "X (COM4);", "W (COM2);", "V (COM4);"}
        << QStringList{"Y (COM2);", "W (COM2);", "Z (COM4);", "X (COM4);", "V (COM4);"};
    QTest::newRow("numeric, not textual") << QStringList{"A (COM10);", "B (COM9);"}
                                          << QStringList{"B (COM9);", "A (COM10);"};
    QTest::newRow("no number counts as 0") << QStringList{"A (COM1);", "Modem;", "B (COMx);"}
                                           << QStringList{"Modem;", "B (COMx);", "A (COM1);"};
    QTest::newRow("empty") << QStringList{} << QStringList{};
}

void SorosKeresTest::sortKeepsEqualNumbersInOrder()
{
    QFETCH(QStringList, input);
    QFETCH(QStringList, expected);
    sortByPortNumber(input);
    QCOMPARE(input, expected);
}

void SorosKeresTest::entries_data()
{
    QTest::addColumn<QList<RegistryDevice>>("devices");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("manufacturer and node")
        << QList<RegistryDevice>{device("FT232R (COM33)", "FTDI", "/dev/ttyUSB0")}
        << QStringList{"FT232R (COM33);FTDI : /dev/ttyUSB0"};
    QTest::newRow("node only") << QList<RegistryDevice>{device("pts/3 (COM90)", {}, "/dev/pts/3")}
                               << QStringList{"pts/3 (COM90);/dev/pts/3"};
    QTest::newRow("nothing but the name") << QList<RegistryDevice>{device("A (COM2)")} << QStringList{"A (COM2);"};
    QTest::newRow("without (COM not offered")
        << QList<RegistryDevice>{device("Modem", "Acme", "/dev/ttyS4"), device("B (COM3)")}
        << QStringList{"B (COM3);"};
    QTest::newRow("unreadable number left out")
        << QList<RegistryDevice>{device("Bad (COMx)"), device("Good (COM4)")} << QStringList{"Good (COM4);"};
    QTest::newRow("sorted, registry order for equal numbers")
        << QList<RegistryDevice>{device("C (COM7)"), device("B (COM2)"), device("A (COM7)")}
        << QStringList{"B (COM2);", "C (COM7);", "A (COM7);"};
    QTest::newRow("semicolon in name") << QList<RegistryDevice>{device("A;B (COM1)", "M")}
                                       << QStringList{"A,B (COM1);M"};
}

void SorosKeresTest::entries()
{
    QFETCH(QList<RegistryDevice>, devices);
    QFETCH(QStringList, expected);
    QCOMPARE(entriesFor(devices), expected);
}

void SorosKeresTest::presence_data()
{
    QTest::addColumn<QStringList>("deviceList");
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<QStringList>("expected");
    const QStringList two{"A (COM1);", "B (COM5);"};
    QTest::newRow("no devices") << QStringList{} << QStringList{"COM1"} << QStringList{};
    QTest::newRow("all present") << two << QStringList{"COM5", "COM1"} << QStringList{"+A (COM1);", "+B (COM5);"};
    QTest::newRow("none present") << two << QStringList{} << QStringList{"-A (COM1);", "-B (COM5);"};
    QTest::newRow("port-number order across marks")
        << two << QStringList{"COM5"} << QStringList{"-A (COM1);", "+B (COM5);"};
    QTest::newRow("unknown and unreadable ports ignored")
        << two << QStringList{"COM9", "COMX", "LPT1", "COM1"} << QStringList{"+A (COM1);", "-B (COM5);"};
    QTest::newRow("same number: present first")
        << QStringList{"X (COM3);", "Y (COM3);"} << QStringList{"COM3"} << QStringList{"+X (COM3);", "-Y (COM3);"};
    QTest::newRow("same number twice present")
        << QStringList{"X (COM3);", "Y (COM3);"} << QStringList{"COM3", "COM3"}
        << QStringList{"+X (COM3);", "+Y (COM3);"};
    QTest::newRow("same number: present before an earlier absent")
        << QStringList{"P (COM2);", "X (COM3);", "Y (COM3);", "Z (COM4);"} << QStringList{"COM3", "COM4"}
        << QStringList{"-P (COM2);", "+X (COM3);", "-Y (COM3);", "+Z (COM4);"};
}

void SorosKeresTest::presence()
{
    QFETCH(QStringList, deviceList);
    QFETCH(QStringList, present);
    QFETCH(QStringList, expected);
    QCOMPARE(markPresence(deviceList, present), expected);
}

void SorosKeresTest::deviceListBuiltOnceAndRebuiltOnRequest()
{
    FakeDeviceRegistry fake;
    RegistryScope scope(&fake);
    fake.devices = {device("B (COM5)"), device("A (COM1)")};
    fake.present = {"COM1"};

    QStringList marked{"stale"};
    ListSerialPorts(marked);
    QCOMPARE(marked, (QStringList{"+A (COM1);", "-B (COM5);"}));
    QCOMPARE(fake.scans, 1);

    // Presence follows every call; the device list only a rebuild.
    fake.devices.append(device("C (COM7)"));
    fake.present = {"COM5"};
    ListSerialPorts(marked);
    QCOMPARE(marked, (QStringList{"-A (COM1);", "+B (COM5);"}));
    QCOMPARE(fake.scans, 1);

    RebuildDeviceList();
    QCOMPARE(fake.scans, 2);
    ListSerialPorts(marked);
    QCOMPARE(marked, (QStringList{"-A (COM1);", "+B (COM5);", "-C (COM7);"}));

    fake.devices.clear();
    RebuildDeviceList();
    ListSerialPorts(marked);
    QVERIFY(marked.isEmpty());
}

void SorosKeresTest::udevNumbersAreInRange()
{
    UdevRegistry registry;
    const QStringList entries = entriesFor(registry.knownDevices());
    for (const QString &entry : entries) {
        const int number = PortNumberOf(entry).value_or(0);
        QVERIFY2(number >= PortMap::FirstPort && number <= PortMap::LastPort, qPrintable(entry));
    }
    for (const QString &port : registry.presentPorts())
        QVERIFY2(PortMap::portNumber(port) > 0, qPrintable(port));
}

void SorosKeresTest::udevPortDirectoryLinks()
{
    QVERIFY(QDir().mkpath(PortMap::portDirectory()));
    Pty pty;
    QVERIFY(!pty.path().isEmpty());
    QVERIFY(QFile::link(pty.path(), PortMap::linkPath(90)));
    QVERIFY(QFile::link(m_home.path() + "/gone", PortMap::linkPath(91)));
    // A link takes its name over from the fixed range (COM1 is /dev/ttyS0).
    QVERIFY(QFile::link(pty.path(), PortMap::linkPath(1)));
    const auto cleanup = qScopeGuard([] {
        for (int n : {1, 90, 91})
            QFile::remove(PortMap::linkPath(n));
    });

    UdevRegistry registry;
    const QStringList entries = entriesFor(registry.knownDevices());
    const QString ptyName = pty.path().mid(5); // without "/dev/"
    QVERIFY2(entries.contains(ptyName + " (COM90);" + pty.path()), qPrintable(entries.join('\n')));
    QVERIFY2(entries.contains("gone (COM91);" + m_home.path() + "/gone"), qPrintable(entries.join('\n')));
    QStringList onCom1;
    for (const QString &entry : entries)
        if (PortNumberOf(entry) == 1)
            onCom1.append(entry);
    QCOMPARE(onCom1, QStringList{ptyName + " (COM1);" + pty.path()});

    QStringList present = registry.presentPorts();
    QVERIFY(present.contains("COM90"));
    QVERIFY(present.contains("COM1"));
    QVERIFY(!present.contains("COM91"));

    pty.Close();
    present = registry.presentPorts();
    QVERIFY(!present.contains("COM90"));
    QVERIFY(!present.contains("COM1"));
}

QTEST_GUILESS_MAIN(SorosKeresTest)
#include "tst_soroskeres.moc"
