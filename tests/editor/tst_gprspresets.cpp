// GPRS operator presets: the built-in list, the line rule, the preset file
// and what the three text fields show for a selection.

#include "common/WorkingFolder.h"
#include "editor/GprsPresets.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using GprsPresets::PresetFields;

Q_DECLARE_METATYPE(PresetFields)

namespace {

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

PresetFields Fields(const char *apn, const char *user, const char *password)
{
    return {QString::fromUtf8(apn), QString::fromUtf8(user), QString::fromUtf8(password)};
}

} // namespace

namespace GprsPresets {
// Readable failure messages.
char *toString(const PresetFields &f)
{
    return QTest::toString(QStringLiteral("{%1|%2|%3}").arg(f.apn, f.userName, f.password));
}
} // namespace GprsPresets

class GprsPresetsTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void builtInList_data();
    void builtInList();
    void customEntryLine();
    void readPresetLine_data();
    void readPresetLine();
    void loadFile_data();
    void loadFile();
    void unusableFileKeepsBuiltIn_data();
    void unusableFileKeepsBuiltIn();
    void saveWritesCrLfLinesAndReloads();
    void failedSaveKeepsFolder();
    void selection_data();
    void selection();

private:
    std::unique_ptr<WorkingFolder> m_dir;
};

void GprsPresetsTest::init()
{
    m_dir = std::make_unique<WorkingFolder>();
    QVERIFY(m_dir->isValid());
}

void GprsPresetsTest::cleanup()
{
    m_dir.reset();
}

void GprsPresetsTest::builtInList_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("name");
    QTest::addColumn<PresetFields>("fields");

    QTest::newRow("T-Mobile") << 1 << QStringLiteral("T-Mobile") << Fields("internet", "", "");
    QTest::newRow("Pannon GSM") << 2 << QStringLiteral("Pannon GSM") << Fields("net", "", "");
    QTest::newRow("Vodafone") << 3 << QStringLiteral("Vodafone") << Fields("internet.vodafone.net", "", "");
    QTest::newRow("VodaVitamax") << 4 << QStringLiteral("VodaVitamax")
                                 << Fields("vitamax.internet.vodafone.net", "", "");
}

void GprsPresetsTest::builtInList()
{
    QFETCH(int, index);
    QFETCH(QString, name);
    QFETCH(PresetFields, fields);

    const QStringList list = GprsPresets::builtInList();
    QCOMPARE(list.size(), 5);
    const QString line = list.at(index);
    // The name fills the first 39 characters; the fields start at the 40th.
    QCOMPARE(line.first(GprsPresets::NameWidth), name.leftJustified(GprsPresets::NameWidth));
    QCOMPARE(line.at(GprsPresets::NameWidth), u'"');
    QCOMPARE(GprsPresets::readPresetLine(line), fields);
    QCOMPARE(line, GprsPresets::presetLine(name, fields));
}

void GprsPresetsTest::customEntryLine()
{
    const QString line = GprsPresets::builtInList().at(0);
    QCOMPARE(line, QStringLiteral("Egyéni beállítás") + QString(23, u' ') + QStringLiteral("\"\",\"\",\"'"));
    QVERIFY(GprsPresets::isCustomEntry(GprsPresets::builtInList(), 0));
}

void GprsPresetsTest::readPresetLine_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<PresetFields>("fields");

    QTest::newRow("three fields") << QStringLiteral("Op      \"apn.example\",\"user\",\"secret\"")
                                  << Fields("apn.example", "user", "secret");
    QTest::newRow("two fields only") << QStringLiteral("Op \"net\",\"guest\"") << Fields("net", "guest", "");
    QTest::newRow("no quotes") << QStringLiteral("Just a name, with a comma") << Fields("", "", "");
    QTest::newRow("empty line") << QString() << Fields("", "", "");
    QTest::newRow("third closing quote missing")
        << QStringLiteral("Op \"a\",\"b\",\"c") << Fields("a", "b", "");
    QTest::newRow("first closing quote missing") << QStringLiteral("Op \"abc") << Fields("", "", "");
    QTest::newRow("text between fields skipped")
        << QStringLiteral("Op \"a\" junk ; \"b\"x\"c\" tail") << Fields("a", "b", "c");
    QTest::newRow("blanks and commas inside kept")
        << QStringLiteral("\" a,b \",\"\",\" \"") << Fields(" a,b ", "", " ");
    QTest::newRow("fourth field ignored")
        << QStringLiteral("\"1\",\"2\",\"3\",\"4\"") << Fields("1", "2", "3");
    QTest::newRow("custom entry tail") << QStringLiteral("Custom \"\",\"\",\"'") << Fields("", "", "");
}

void GprsPresetsTest::readPresetLine()
{
    QFETCH(QString, line);
    QFETCH(PresetFields, fields);
    QCOMPARE(GprsPresets::readPresetLine(line), fields);
}

void GprsPresetsTest::loadFile_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("list");

    QTest::newRow("CR LF") << QByteArray("Own\r\nA \"a\"\r\n") << QStringList{"Own", "A \"a\""};
    QTest::newRow("lone CR") << QByteArray("Own\rA \"a\"\r") << QStringList{"Own", "A \"a\""};
    QTest::newRow("lone LF") << QByteArray("Own\nA \"a\"\n") << QStringList{"Own", "A \"a\""};
    QTest::newRow("no final line end") << QByteArray("Own\r\nA \"a\"") << QStringList{"Own", "A \"a\""};
    QTest::newRow("empty lines kept") << QByteArray("Own\r\n\r\nB\r\n") << QStringList{"Own", "", "B"};
    QTest::newRow("one empty line") << QByteArray("\r\n") << QStringList{QString()};
    // 0xE9 e-acute, 0xF5 o-double-acute, 0x8A S-caron: Windows-1250, not Latin-1.
    QTest::newRow("Windows-1250 letters")
        << QByteArray("Egy\xE9ni\r\nSz\xF5l\xF5 \x8A \"net\"\r\n")
        << QStringList{QStringLiteral("Egyéni"), QStringLiteral("Szőlő Š \"net\"")};
}

void GprsPresetsTest::loadFile()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, list);

    writeAll(GprsPresets::FileName, file);
    QCOMPARE(GprsPresets::loadPresetList(), list);
}

void GprsPresetsTest::unusableFileKeepsBuiltIn_data()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("missing") << 0;
    QTest::newRow("empty") << 1;
    QTest::newRow("a folder") << 2;
}

void GprsPresetsTest::unusableFileKeepsBuiltIn()
{
    QFETCH(int, kind);
    if (kind == 1)
        writeAll(GprsPresets::FileName, QByteArray());
    if (kind == 2)
        QVERIFY(QDir().mkdir(GprsPresets::FileName));

    const QStringList list = GprsPresets::loadPresetList();
    QCOMPARE(list, GprsPresets::builtInList());
    QCOMPARE(GprsPresets::selectionTexts(list, 0, Fields("x", "y", "z")), Fields("x", "y", "z"));
}

void GprsPresetsTest::saveWritesCrLfLinesAndReloads()
{
    writeAll(GprsPresets::FileName, QByteArray("old content that is longer than the new one\r\n").repeated(20));
    const QStringList list = GprsPresets::builtInList()
        << GprsPresets::presetLine(QStringLiteral("Szőlő Š"), Fields("apn", "usér", "pw"));
    QVERIFY(GprsPresets::savePresetList(list));

    const QByteArray bytes = readAll(GprsPresets::FileName);
    QCOMPARE(bytes.count("\r\n"), 6);
    QCOMPARE(bytes.count('\r'), 6);
    QCOMPARE(bytes.count('\n'), 6);
    QVERIFY(bytes.startsWith(QByteArray("Egy\xE9ni be\xE1ll\xEDt\xE1s") + QByteArray(23, ' ') + "\"\",\"\",\"'\r\n"));
    QVERIFY(bytes.endsWith(QByteArray("Sz\xF5l\xF5 \x8A") + QByteArray(32, ' ') + "\"apn\",\"us\xE9r\",\"pw\"\r\n"));
    QCOMPARE(GprsPresets::loadPresetList(), list);
}

void GprsPresetsTest::failedSaveKeepsFolder()
{
    QVERIFY(QDir().mkdir(GprsPresets::FileName));
    QVERIFY(!GprsPresets::savePresetList(GprsPresets::builtInList()));
    QVERIFY(QFileInfo(GprsPresets::FileName).isDir());
    QVERIFY(!GprsPresets::savePresetList(GprsPresets::builtInList(), QStringLiteral("missing/APNs.dat")));
}

void GprsPresetsTest::selection_data()
{
    QTest::addColumn<QStringList>("list");
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("custom");
    QTest::addColumn<PresetFields>("shown");

    const QStringList builtIn = GprsPresets::builtInList();
    const QStringList fromFile{QStringLiteral("Real \"first\",\"u\",\"p\""), QStringLiteral("Other \"second\",\"\",\"\"")};
    const PresetFields typed = Fields("abc", "me", "pw");

    QTest::newRow("custom entry shows remembered texts") << builtIn << 0 << true << typed;
    QTest::newRow("T-Mobile") << builtIn << 1 << false << Fields("internet", "", "");
    QTest::newRow("Pannon GSM") << builtIn << 2 << false << Fields("net", "", "");
    QTest::newRow("real preset as first line is custom") << fromFile << 0 << true << typed;
    QTest::newRow("second line of a file") << fromFile << 1 << false << Fields("second", "", "");
    QTest::newRow("no selection") << builtIn << -1 << true << typed;
    QTest::newRow("past the end") << builtIn << 5 << true << typed;
}

void GprsPresetsTest::selection()
{
    QFETCH(QStringList, list);
    QFETCH(int, index);
    QFETCH(bool, custom);
    QFETCH(PresetFields, shown);

    QCOMPARE(GprsPresets::isCustomEntry(list, index), custom);
    QCOMPARE(GprsPresets::selectionTexts(list, index, Fields("abc", "me", "pw")), shown);
}

QTEST_GUILESS_MAIN(GprsPresetsTest)
#include "tst_gprspresets.moc"
