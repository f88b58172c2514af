// The grid text file: the lines it writes, how it reads damaged or foreign
// files, and that a failed save never costs the old file.

#include "common/WorkingFolder.h"
#include "serial/GridTextFile.h"
#include "serial/TextLineFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <climits>
#include <csignal>
#include <sys/resource.h>

namespace {

// The port setting grid: 2 x 1, both columns 20 wide.
GridTextFile smallGrid()
{
    GridTextFile grid(2, 1);
    grid.setColumnWidth(0, 20);
    grid.setColumnWidth(1, 20);
    return grid;
}

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

class GridTextFileTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void savesRowByRowSkippingEmptyCells();
    void splitLines_data();
    void splitLines();
    void leadingInteger_data();
    void leadingInteger();
    void cellText_data();
    void cellText();
    void multiLineCellSurvivesAsFirstLine();
    void load_data();
    void load();
    void damagedHeader_data();
    void damagedHeader();
    void cannotOpen();
    void failedSaveKeepsTarget_data();
    void failedSaveKeepsTarget();
    void failedWriteKeepsOldFile();

private:
    std::unique_ptr<WorkingFolder> m_dir;
};

void GridTextFileTest::init()
{
    m_dir = std::make_unique<WorkingFolder>();
    QVERIFY(m_dir->isValid());
}

void GridTextFileTest::cleanup()
{
    m_dir.reset();
}

void GridTextFileTest::savesRowByRowSkippingEmptyCells()
{
    GridTextFile grid(3, 2);
    grid.setColumnWidth(1, 7);
    // Set out of order; the file goes row by row, column by column.
    grid.setCell(1, 1, QStringLiteral("d"));
    grid.setCell(2, 0, QStringLiteral("b"));
    grid.setCell(0, 1, QStringLiteral("c"));
    grid.setCell(0, 0, QStringLiteral("a"));
    grid.setCell(0, 0, QString()); // emptied again: no line
    grid.setCell(3, 0, QStringLiteral("outside"));
    grid.SaveGridFile(QStringLiteral("g.txt"));

    QCOMPARE(readAll(QStringLiteral("g.txt")),
             QByteArray("3,2\r\ncw 0,64\r\ncw 1,7\r\ncw 2,64\r\n2,0,b\r\n0,1,c\r\n1,1,d\r\n"));
}

void GridTextFileTest::splitLines_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("empty") << QString() << QStringList();
    QTest::newRow("one end") << QStringLiteral("\r\n") << QStringList{QString()};
    QTest::newRow("CR LF") << QStringLiteral("a\r\nb\r\n") << QStringList{"a", "b"};
    QTest::newRow("no final end") << QStringLiteral("a\r\nb") << QStringList{"a", "b"};
    QTest::newRow("lone CR") << QStringLiteral("a\rb\r") << QStringList{"a", "b"};
    QTest::newRow("lone LF") << QStringLiteral("a\nb\n") << QStringList{"a", "b"};
    QTest::newRow("LF CR is two ends") << QStringLiteral("a\n\rb") << QStringList{"a", "", "b"};
    QTest::newRow("CR CR LF") << QStringLiteral("a\r\r\nb") << QStringList{"a", "", "b"};
    QTest::newRow("empty lines kept") << QStringLiteral("\r\n\r\nx\r\n\r\n") << QStringList{"", "", "x", ""};
}

void GridTextFileTest::splitLines()
{
    QFETCH(QString, text);
    QFETCH(QStringList, lines);
    QCOMPARE(TextLineFile::splitLines(text), lines);
}

void GridTextFileTest::leadingInteger_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("value");

    QTest::newRow("empty") << QString() << 0;
    QTest::newRow("plain") << QStringLiteral("12") << 12;
    QTest::newRow("blanks first") << QStringLiteral("   7") << 7;
    QTest::newRow("stops at letter") << QStringLiteral("3x9") << 3;
    QTest::newRow("stops at blank") << QStringLiteral("4 5") << 4;
    QTest::newRow("no digits") << QStringLiteral("x5") << 0;
    QTest::newRow("minus") << QStringLiteral("-2") << -2;
    QTest::newRow("plus") << QStringLiteral("+4") << 4;
    QTest::newRow("sign alone") << QStringLiteral("-") << 0;
    QTest::newRow("blank after sign") << QStringLiteral("- 3") << 0;
    QTest::newRow("huge saturates") << QStringLiteral("99999999999999999999") << INT_MAX;
    QTest::newRow("huge negative") << QStringLiteral("-99999999999999999999") << -INT_MAX;
}

void GridTextFileTest::leadingInteger()
{
    QFETCH(QString, field);
    QFETCH(int, value);
    QCOMPARE(GridTextFile::leadingInteger(field), value);
}

void GridTextFileTest::cellText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("encoded");
    QTest::addColumn<QString>("decoded"); // decoding the encoded text

    QTest::newRow("plain") << QStringLiteral("COM3") << QStringLiteral("COM3") << QStringLiteral("COM3");
    QTest::newRow("CR LF") << QStringLiteral("a\r\nb") << QStringLiteral("a\t\bb") << QStringLiteral("a");
    QTest::newRow("lone CR") << QStringLiteral("a\rb") << QStringLiteral("a\tb") << QStringLiteral("a\tb");
    QTest::newRow("LF without CR kept on its line")
        << QStringLiteral("a\nb") << QStringLiteral("a\bb") << QStringLiteral("a\nb");
    QTest::newRow("TAB without CR unchanged")
        << QStringLiteral("a\tb") << QStringLiteral("a\tb") << QStringLiteral("a\tb");
    QTest::newRow("BS turns TABs back")
        << QStringLiteral("x\by") << QStringLiteral("x\by") << QStringLiteral("x\ny");
}

void GridTextFileTest::cellText()
{
    QFETCH(QString, text);
    QFETCH(QString, encoded);
    QFETCH(QString, decoded);
    QCOMPARE(GridTextFile::encodeCellText(text), encoded);
    QCOMPARE(GridTextFile::decodeCellText(encoded), decoded);
}

void GridTextFileTest::multiLineCellSurvivesAsFirstLine()
{
    GridTextFile grid = smallGrid();
    grid.setCell(1, 0, QStringLiteral("first\r\nsecond"));
    grid.SaveGridFile(QStringLiteral("g.txt"));
    QVERIFY(readAll(QStringLiteral("g.txt")).endsWith("1,0,first\t\bsecond\r\n"));

    GridTextFile loaded = smallGrid();
    loaded.LoadGridFile(QStringLiteral("g.txt"));
    QCOMPARE(loaded.cell(1, 0), QStringLiteral("first"));
}

void GridTextFileTest::load_data()
{
    // Each file is read into the 2 x 1 grid; the result is shown as the
    // lines the grid would save.
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("saved");

    const QStringList head{"2,1", "cw 0,20", "cw 1,20"};

    QTest::newRow("own file") << QByteArray("2,1\r\ncw 0,20\r\ncw 1,20\r\n0,0,COM3\r\n") << head + QStringList{"0,0,COM3"};
    QTest::newRow("empty file") << QByteArray() << head;
    QTest::newRow("empty header keeps size") << QByteArray("\r\n1,0,q\r\n") << head + QStringList{"1,0,q"};
    QTest::newRow("line without comma") << QByteArray("2,1\r\nCOM9\r\n") << head + QStringList{"0,0,COM9"};
    QTest::newRow("one field only") << QByteArray("2,1\r\n1,abc\r\n") << head + QStringList{"1,0,abc"};
    QTest::newRow("commas in text") << QByteArray("2,1\r\n0,0,a,b\r\n") << head + QStringList{"0,0,a,b"};
    QTest::newRow("blanks in numbers") << QByteArray("2,1\r\n 1, 0,x\r\n") << head + QStringList{"1,0,x"};
    QTest::newRow("empty last line empties cell")
        << QByteArray("2,1\r\n0,0,COM3\r\n\r\n") << head;
    QTest::newRow("later line wins") << QByteArray("2,1\r\n0,0,COM3\r\n0,0,COM4\r\n") << head + QStringList{"0,0,COM4"};
    QTest::newRow("other sizes")
        << QByteArray("3,2\r\ncw 0,5\r\ncw 2,7\r\n2,1,x\r\n")
        << QStringList{"3,2", "cw 0,5", "cw 1,20", "cw 2,7", "2,1,x"};
    {
        // The largest grid a header may ask for; added columns get the default width.
        const int n = GridTextFile::MaxDimension;
        QStringList largest{QStringLiteral("%1,%1").arg(n), "cw 0,20", "cw 1,20"};
        for (int c = 2; c < n; ++c)
            largest << QStringLiteral("cw %1,%2").arg(c).arg(GridTextFile::DefaultColumnWidth);
        largest << QStringLiteral("%1,%1,x").arg(n - 1);
        QTest::newRow("largest size") << QStringLiteral("%1,%1\r\n%2,%2,x\r\n").arg(n).arg(n - 1).toLatin1()
                                      << largest;
    }
    // A grid keeps at least one column and one row, and the cells after
    // such a header still count.
    QTest::newRow("0 columns and rows")
        << QByteArray("0,0\r\n0,0,COM5\r\n") << QStringList{"1,1", "cw 0,20", "0,0,COM5"};
    QTest::newRow("0 rows") << QByteArray("2,0\r\n0,0,COM5\r\n") << head + QStringList{"0,0,COM5"};
    QTest::newRow("negative columns")
        << QByteArray("-1,1\r\n0,0,COM5\r\n") << QStringList{"1,1", "cw 0,20", "0,0,COM5"};
    QTest::newRow("smaller size")
        << QByteArray("1,1\r\ncw 0,9\r\n1,0,gone\r\n0,0,kept\r\n")
        << QStringList{"1,1", "cw 0,9", "0,0,kept"};
    QTest::newRow("outside the grid ignored")
        << QByteArray("2,1\r\ncw 2,99\r\ncw -1,99\r\n2,0,x\r\n0,1,y\r\n-1,0,z\r\n0,-1,w\r\n") << head;
    QTest::newRow("cw index from fourth character")
        << QByteArray("2,1\r\ncw1,40\r\ncw 1,30\r\n") << QStringList{"2,1", "cw 0,40", "cw 1,30"};
    QTest::newRow("cw without comma ignored") << QByteArray("2,1\r\ncw 1\r\n") << head;
    QTest::newRow("lone CR and LF end lines")
        << QByteArray("2,1\rcw 0,30\n0,0,COM4") << QStringList{"2,1", "cw 0,30", "cw 1,20", "0,0,COM4"};
    QTest::newRow("Windows-1250 text")
        << QByteArray("2,1\r\n0,0,\xF5r \x8A\r\n") << head + QStringList{QStringLiteral("0,0,őr Š")};
    QTest::newRow("encoded cell")
        << QByteArray("2,1\r\n0,0,a\t\bb\r\n") << head + QStringList{"0,0,a"};
}

void GridTextFileTest::load()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, saved);

    writeAll(QStringLiteral("g.txt"), file);
    GridTextFile grid = smallGrid();
    grid.LoadGridFile(QStringLiteral("g.txt"));
    QCOMPARE(grid.toLines(), saved);
}

void GridTextFileTest::damagedHeader_data()
{
    QTest::addColumn<QByteArray>("file");

    QTest::newRow("letters") << QByteArray("abc\r\n0,0,COM5\r\n");
    QTest::newRow("one number") << QByteArray("2\r\n0,0,COM5\r\n");
    QTest::newRow("no column count") << QByteArray(",1\r\n0,0,COM5\r\n");
    QTest::newRow("too many columns") << QByteArray::number(GridTextFile::MaxDimension + 1) + ",1\r\n";
    QTest::newRow("too many rows") << QByteArray("1,99999999999\r\n");
    QTest::newRow("binary") << QByteArray("\xFF\x00\x01,\x02", 5);
}

void GridTextFileTest::damagedHeader()
{
    QFETCH(QByteArray, file);

    writeAll(QStringLiteral("g.txt"), file);
    GridTextFile grid = smallGrid();
    grid.setCell(1, 0, QStringLiteral("before"));
    const QStringList before = grid.toLines();
    try {
        grid.LoadGridFile(QStringLiteral("g.txt"));
        QFAIL("a damaged header must be reported");
    } catch (const GridFileError &e) {
        QCOMPARE(e.message(), QStringLiteral("File contains no data or corrupt file g.txt"));
    }
    QCOMPARE(grid.toLines(), before);
}

void GridTextFileTest::cannotOpen()
{
    QVERIFY(QDir().mkdir(QStringLiteral("adir")));
    for (const QString &name : {QStringLiteral("missing.txt"), QStringLiteral("adir")}) {
        GridTextFile grid = smallGrid();
        try {
            grid.LoadGridFile(name);
            QFAIL("opening must fail");
        } catch (const GridFileError &e) {
            QCOMPARE(e.message(), QStringLiteral("Cannot open file ") + name);
        }
    }
}

void GridTextFileTest::failedSaveKeepsTarget_data()
{
    QTest::addColumn<QString>("target");
    QTest::newRow("folder missing") << QStringLiteral("nofolder/g.txt");
    QTest::newRow("target is a folder") << QStringLiteral("adir");
}

void GridTextFileTest::failedSaveKeepsTarget()
{
    QFETCH(QString, target);

    QVERIFY(QDir().mkdir(QStringLiteral("adir")));
    writeAll(QStringLiteral("adir/inside.txt"), "kept");
    GridTextFile grid = smallGrid();
    grid.setCell(0, 0, QStringLiteral("COM3"));
    try {
        grid.SaveGridFile(target);
        QFAIL("the save must fail");
    } catch (const GridFileError &e) {
        QCOMPARE(e.message(), QStringLiteral("Cannot Create ") + target);
    }
    QCOMPARE(readAll(QStringLiteral("adir/inside.txt")), QByteArray("kept"));
    QCOMPARE(QDir().entryList(QDir::Files | QDir::Hidden), QStringList());
}

void GridTextFileTest::failedWriteKeepsOldFile()
{
    // A file size limit makes the write itself fail after the file was
    // created: a direct write would leave the old file cut short.
    const QByteArray old("2,1\r\ncw 0,20\r\ncw 1,20\r\n0,0,COM3\r\n");
    writeAll(QStringLiteral("g.txt"), old);

    GridTextFile grid(2, 100);
    for (int row = 0; row < 100; ++row)
        grid.setCell(0, row, QStringLiteral("a long enough cell text"));

    rlimit saved{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 256;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    bool failed = false;
    try {
        grid.SaveGridFile(QStringLiteral("g.txt"));
    } catch (const GridFileError &e) {
        failed = e.message() == QStringLiteral("Cannot Create g.txt");
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    QVERIFY(failed);
    QCOMPARE(readAll(QStringLiteral("g.txt")), old);
    QCOMPARE(QDir().entryList(QDir::Files | QDir::Hidden), QStringList{"g.txt"});
}

QTEST_GUILESS_MAIN(GridTextFileTest)
#include "tst_gridtextfile.moc"
