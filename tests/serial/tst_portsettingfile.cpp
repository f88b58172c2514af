// Remembering the port: the file's exact bytes, what start-up reads from
// files it finds, and what the next exit writes.

#include "common/WorkingFolder.h"
#include "serial/PortSettingFile.h"
#include "serial/SerialPort.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

const QByteArray Header("2,1\r\ncw 0,20\r\ncw 1,20\r\n");

QByteArray readAll(const QString &fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeAll(const QString &fileName, const QByteArray &bytes)
{
    QFile file(fileName);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

} // namespace

class PortSettingFileTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void exactBytes_data();
    void exactBytes();
    void restoreAndStore_data();
    void restoreAndStore();
    void folderInTheWay();

private:
    std::unique_ptr<WorkingFolder> m_dir;
};

void PortSettingFileTest::init()
{
    m_dir = std::make_unique<WorkingFolder>();
    QVERIFY(m_dir->isValid());
}

void PortSettingFileTest::cleanup()
{
    m_dir.reset();
}

void PortSettingFileTest::exactBytes_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("COM3") << QStringLiteral("COM3")
                          << QByteArray::fromHex("322C310D0A"
                                                 "637720302C32300D0A"
                                                 "637720312C32300D0A"
                                                 "302C302C434F4D330D0A");
    QTest::newRow("COM12") << QStringLiteral("COM12")
                           << QByteArray::fromHex("322C310D0A"
                                                  "637720302C32300D0A"
                                                  "637720312C32300D0A"
                                                  "302C302C434F4D31320D0A");
}

void PortSettingFileTest::exactBytes()
{
    QFETCH(QString, port);
    QFETCH(QByteArray, bytes);

    PortSettingFile file;
    QVERIFY(file.storePortName(port));
    const QByteArray written = readAll(QStringLiteral("QuelmarSetup.ini"));
    QCOMPARE(written.size(), port.size() + 29);
    QCOMPARE(written, bytes);
}

void PortSettingFileTest::restoreAndStore_data()
{
    // One run: start-up finds `file` (or none) and reads `restored`, which
    // the serial port normalises to `port`; exit stores that, giving `saved`.
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("restored");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QByteArray>("saved");

    QTest::newRow("first run") << false << QByteArray() << QStringLiteral("COM1") << QStringLiteral("COM1")
                               << Header + "0,0,COM1\r\n";
    QTest::newRow("lower case name") << true << Header + "0,0,com7\r\n" << QStringLiteral("com7")
                                     << QStringLiteral("COM7") << Header + "0,0,COM7\r\n";
    QTest::newRow("line without comma") << true << Header + "COM9\r\n" << QStringLiteral("COM9")
                                        << QStringLiteral("COM9") << Header + "0,0,COM9\r\n";
    QTest::newRow("empty line at the end") << true << Header + "0,0,COM3\r\n\r\n" << QString()
                                           << QStringLiteral("COM1") << Header + "0,0,COM1\r\n";
    QTest::newRow("other sizes kept")
        << true << QByteArray("3,2\r\ncw 0,20\r\ncw 1,20\r\ncw 2,15\r\n0,0,COM2\r\n1,1,x\r\n")
        << QStringLiteral("COM2") << QStringLiteral("COM2")
        << QByteArray("3,2\r\ncw 0,20\r\ncw 1,20\r\ncw 2,15\r\n0,0,COM2\r\n1,1,x\r\n");
    QTest::newRow("bigger header without widths")
        << true << QByteArray("4,1\r\n") << QString() << QStringLiteral("COM1")
        << QByteArray("4,1\r\ncw 0,20\r\ncw 1,20\r\ncw 2,64\r\ncw 3,64\r\n0,0,COM1\r\n");
    QTest::newRow("outside cells ignored")
        << true << Header + "2,0,COM8\r\n0,1,COM8\r\n" << QString() << QStringLiteral("COM1")
        << Header + "0,0,COM1\r\n";
    QTest::newRow("header of 0 columns and rows")
        << true << QByteArray("0,0\r\n0,0,COM5\r\n") << QStringLiteral("COM5") << QStringLiteral("COM5")
        << QByteArray("1,1\r\ncw 0,20\r\n0,0,COM5\r\n");
    QTest::newRow("damaged header") << true << QByteArray("x,y\r\n0,0,COM5\r\n") << QStringLiteral("COM1")
                                    << QStringLiteral("COM1") << Header + "0,0,COM1\r\n";
    QTest::newRow("empty file") << true << QByteArray() << QString() << QStringLiteral("COM1")
                                << Header + "0,0,COM1\r\n";
}

void PortSettingFileTest::restoreAndStore()
{
    QFETCH(bool, exists);
    QFETCH(QByteArray, file);
    QFETCH(QString, restored);
    QFETCH(QString, port);
    QFETCH(QByteArray, saved);

    if (exists)
        writeAll(PortSettingFile::FileName, file);
    PortSettingFile setting;
    QCOMPARE(setting.restorePortName(), restored);
    QCOMPARE(NormalizePortName(restored), port);
    QString error;
    QVERIFY(setting.storePortName(port, &error));
    QVERIFY(error.isEmpty());
    QCOMPARE(readAll(PortSettingFile::FileName), saved);
}

void PortSettingFileTest::folderInTheWay()
{
    // A folder of the file's name can be neither read nor replaced.
    QVERIFY(QDir().mkdir(PortSettingFile::FileName));
    writeAll(PortSettingFile::FileName + QStringLiteral("/inside"), "kept");

    PortSettingFile setting;
    QCOMPARE(setting.restorePortName(), QStringLiteral("COM1"));
    QString error;
    QVERIFY(!setting.storePortName(QStringLiteral("COM6"), &error));
    QCOMPARE(error, QStringLiteral("Cannot Create QuelmarSetup.ini"));
    QCOMPARE(readAll(PortSettingFile::FileName + QStringLiteral("/inside")), QByteArray("kept"));
}

QTEST_GUILESS_MAIN(PortSettingFileTest)
#include "tst_portsettingfile.moc"
