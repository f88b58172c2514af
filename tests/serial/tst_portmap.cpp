// Port names and how they become devices; the port's error messages.

#include "serial/PortMap.h"
#include "serial/SerialPort.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TestPortMap : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void normalizePortName_data();
    void normalizePortName();
    void portNumber_data();
    void portNumber();

    void fixedRanges_data();
    void fixedRanges();
    void rangesRoundTrip();
    void rangePortNumberOfOtherNodes_data();
    void rangePortNumberOfOtherNodes();

    void linkInPortDirectory_data();
    void linkInPortDirectory();
    void portDirectory_data();
    void portDirectory();

    void errorMessages_data();
    void errorMessages();

private:
    QTemporaryDir m_root;
    QString m_config;
};

void TestPortMap::initTestCase()
{
    QVERIFY(m_root.isValid());
    m_config = m_root.filePath(QStringLiteral("config"));
    qputenv("HOME", QFile::encodeName(m_root.filePath(QStringLiteral("home"))));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config));
    QVERIFY(QDir().mkpath(PortMap::portDirectory()));
}

void TestPortMap::normalizePortName_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("name");
    QTest::newRow("lower case") << "com5" << "COM5";
    QTest::newRow("number only") << "7" << "COM7";
    QTest::newRow("last") << "COM96" << "COM96";
    QTest::newRow("mixed case") << "cOm12" << "COM12";
    QTest::newRow("zero") << "COM0" << "COM1";
    QTest::newRow("above range") << "COM97" << "COM1";
    QTest::newRow("negative") << "COM-3" << "COM1";
    QTest::newRow("not a number") << "COMX" << "COM1";
    QTest::newRow("trailing text") << "COM5a" << "COM1";
    QTest::newRow("other device") << "LPT1" << "COM1";
    QTest::newRow("empty") << "" << "COM1";
    QTest::newRow("prefix only") << "COM" << "COM1";
}

void TestPortMap::normalizePortName()
{
    QFETCH(QString, text);
    QFETCH(QString, name);
    QCOMPARE(NormalizePortName(text), name);
}

void TestPortMap::portNumber_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("number");
    QTest::newRow("COM1") << "COM1" << 1;
    QTest::newRow("any case") << "com33" << 33;
    QTest::newRow("COM96") << "COM96" << 96;
    QTest::newRow("COM0") << "COM0" << 0;
    QTest::newRow("COM97") << "COM97" << 0;
    QTest::newRow("sign") << "COM+5" << 0;
    QTest::newRow("blank") << "COM 5" << 0;
    QTest::newRow("no number") << "COM" << 0;
    QTest::newRow("other") << "LPT1" << 0;
    QTest::newRow("empty") << "" << 0;
}

void TestPortMap::portNumber()
{
    QFETCH(QString, name);
    QFETCH(int, number);
    QCOMPARE(PortMap::portNumber(name), number);
}

void TestPortMap::fixedRanges_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("device");
    QTest::newRow("COM1") << 1 << "/dev/ttyS0";
    QTest::newRow("COM32") << 32 << "/dev/ttyS31";
    QTest::newRow("COM33") << 33 << "/dev/ttyUSB0";
    QTest::newRow("COM64") << 64 << "/dev/ttyUSB31";
    QTest::newRow("COM65") << 65 << "/dev/ttyACM0";
    QTest::newRow("COM96") << 96 << "/dev/ttyACM31";
    QTest::newRow("0") << 0 << "";
    QTest::newRow("97") << 97 << "";
    QTest::newRow("-1") << -1 << "";
}

void TestPortMap::fixedRanges()
{
    QFETCH(int, number);
    QFETCH(QString, device);
    QCOMPARE(PortMap::devicePath(number), device);
}

void TestPortMap::rangesRoundTrip()
{
    for (int n = PortMap::FirstPort; n <= PortMap::LastPort; ++n)
        QCOMPARE(PortMap::rangePortNumber(PortMap::devicePath(n)), n);
}

void TestPortMap::rangePortNumberOfOtherNodes_data()
{
    QTest::addColumn<QString>("node");
    QTest::addColumn<int>("number");
    QTest::newRow("kernel name") << "ttyUSB1" << 34;
    QTest::newRow("past the range") << "/dev/ttyS32" << 0;
    QTest::newRow("no index") << "/dev/ttyUSB" << 0;
    QTest::newRow("other driver") << "/dev/ttySAC0" << 0;
    QTest::newRow("pseudo-terminal") << "/dev/pts/3" << 0;
    QTest::newRow("empty") << "" << 0;
}

void TestPortMap::rangePortNumberOfOtherNodes()
{
    QFETCH(QString, node);
    QFETCH(int, number);
    QCOMPARE(PortMap::rangePortNumber(node), number);
}

void TestPortMap::linkInPortDirectory_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("wins");
    QTest::newRow("link") << "com5" << "link" << true;
    QTest::newRow("dangling link") << "com5" << "dangling" << true;
    QTest::newRow("plain file") << "com5" << "file" << false;
    QTest::newRow("upper-case link") << "COM5" << "link" << false;
}

void TestPortMap::linkInPortDirectory()
{
    QFETCH(QString, entry);
    QFETCH(QString, kind);
    QFETCH(bool, wins);

    const QString target = m_root.filePath(QStringLiteral("device"));
    QFile device(target);
    QVERIFY(device.open(QIODevice::WriteOnly));
    device.close();
    const QString path = PortMap::portDirectory() + u'/' + entry;
    if (kind == QLatin1String("file")) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
    } else {
        QVERIFY(QFile::link(kind == QLatin1String("link") ? target : target + QStringLiteral(".gone"), path));
    }

    const QString mapped = PortMap::devicePath(5);
    QFile::remove(path);
    QFile::remove(target);
    QCOMPARE(mapped, wins ? PortMap::linkPath(5) : QStringLiteral("/dev/ttyS4"));
}

void TestPortMap::portDirectory_data()
{
    QTest::addColumn<QByteArray>("xdg");
    QTest::addColumn<QString>("expected");
    const QString home = m_root.filePath(QStringLiteral("home"));
    QTest::newRow("set") << QByteArray("/tmp/elsewhere") << "/tmp/elsewhere/quelmar/ports";
    QTest::newRow("empty") << QByteArray() << home + "/.config/quelmar/ports";
    QTest::newRow("relative") << QByteArray("relative/dir") << home + "/.config/quelmar/ports";
}

void TestPortMap::portDirectory()
{
    QFETCH(QByteArray, xdg);
    QFETCH(QString, expected);
    qputenv("XDG_CONFIG_HOME", xdg);
    const QString directory = PortMap::portDirectory();
    const QString link = PortMap::linkPath(12);
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config));
    QCOMPARE(directory, expected);
    QCOMPARE(link, expected + "/com12");
}

void TestPortMap::errorMessages_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("osError");
    QTest::addColumn<QString>("message");
    QTest::newRow("1") << 1 << 2 << "Unable to open com port (win error code: 2)";
    QTest::newRow("2") << 2 << 5 << "WriteFile function failed (win error code: 5)";
    QTest::newRow("3") << 3 << 5 << "ReadFile function failed (win error code: 5)";
    QTest::newRow("5") << 5 << 5 << "PurgeComm function failed (win error code: 5)";
    QTest::newRow("7") << 7 << 22 << "SetCommState function failed (win error code: 22)";
    // Nothing raises 8 (the port has no time-outs to set): a code without a text of its own.
    QTest::newRow("8") << 8 << 22 << "Serial port error 8 (win error code: 22)";
    QTest::newRow("9") << 9 << 12 << "SetupComm function failed (win error code: 12)";
    QTest::newRow("10") << 10 << 5 << "ClearCommError function failed (win error code: 5)";
    QTest::newRow("no system error") << 2 << -1 << "WriteFile function failed (win error code: -1)";
}

void TestPortMap::errorMessages()
{
    QFETCH(int, code);
    QFETCH(int, osError);
    QFETCH(QString, message);
    const ESerialPort error(code, osError);
    QCOMPARE(QString::fromUtf8(error.what()), message);
    QCOMPARE(error.Code(), code);
    QCOMPARE(error.osError(), osError);
}

QTEST_GUILESS_MAIN(TestPortMap)
#include "tst_portmap.moc"
