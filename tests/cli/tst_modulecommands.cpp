// quelmar-params against simulated modules over pseudo-terminals: several
// ports at once, a module lost mid-write, verify, backup and the trace.

#include "common/SimulatorProcess.h"
#include "common/ToolRun.h"
#include "params/History.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <sys/stat.h>
#include <vector>

namespace {

constexpr int ImageSize = 1088;
constexpr int ModuleBytes = 960;

QByteArray pattern(int seed)
{
    QByteArray bytes(ImageSize, '\0');
    for (int i = 0; i < ModuleBytes; ++i)
        bytes[i] = static_cast<char>(seed * 31 + i * 7 + 5);
    return bytes;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

} // namespace

class TestModuleCommands : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void twoPortsAtOnceByteExact();
    void oneOfThreeHangsUpMidWrite();
    void verifyCatchesAKeptBlock();
    void backupRefusesToWrite();
    void traceOfOneRead();
    void aDifferingVerifyNamesItsBackupAndIsKept();
    void readKeepsWhatItGot();
    void readChecksItsOutputFirst_data();
    void readChecksItsOutputFirst();
    void readIntoStandardOutput_data();
    void readIntoStandardOutput();
    void quietCompareStillNamesTheDifferences();
    void repeatsOfADamagedBlock_data();
    void repeatsOfADamagedBlock();
    void changedBlocksOnly_data();
    void changedBlocksOnly();
    void createdFilesArePrivate();
    void busyPortIsRefused();

private:
    // A module on COMn holding `memory`, with extra simulator options; its
    // memory is saved at exit into sim-COMn.QM3.
    void startModule(int port, const QByteArray &memory, const QStringList &extra = {});
    QByteArray stopModule(int index);
    Run params(const QStringList &arguments);
    QString path(const QString &name) const { return m_dir->filePath(name); }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::vector<std::unique_ptr<SimulatorProcess>> m_modules;
    QStringList m_savedAs;
};

void TestModuleCommands::initTestCase()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    // The port directory of the tool and the simulators lives here.
    qputenv("HOME", m_dir->path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", m_dir->filePath(QStringLiteral("config")).toLocal8Bit());
    qputenv("XDG_DATA_HOME", m_dir->filePath(QStringLiteral("data")).toLocal8Bit());
}

void TestModuleCommands::cleanup()
{
    m_modules.clear();
    m_savedAs.clear();
}

void TestModuleCommands::startModule(int port, const QByteArray &memory, const QStringList &extra)
{
    const QString image = path(QStringLiteral("start-COM%1.QM3").arg(port));
    writeFile(image, memory);
    m_savedAs << path(QStringLiteral("sim-COM%1.QM3").arg(port));
    QFile::remove(m_savedAs.last());
    auto module = std::make_unique<SimulatorProcess>(QStringLiteral(QUELMAR_MODULE_SIM));
    const QString error = module->start(QStringLiteral("COM%1").arg(port),
                                        QStringList{QStringLiteral("--image"), image, QStringLiteral("--save"),
                                                    m_savedAs.last(), QStringLiteral("--no-pacing")}
                                            + extra);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    m_modules.push_back(std::move(module));
}

QByteArray TestModuleCommands::stopModule(int index)
{
    m_modules[static_cast<std::size_t>(index)]->stop();
    return readAll(m_savedAs[index]);
}

Run TestModuleCommands::params(const QStringList &arguments)
{
    return runTool(QStringLiteral(QUELMAR_PARAMS), arguments);
}

void TestModuleCommands::twoPortsAtOnceByteExact()
{
    startModule(81, pattern(1));
    startModule(82, pattern(2));
    const QString file = path(QStringLiteral("new.QM3"));
    QByteArray fresh = pattern(3);
    fresh.replace(ModuleBytes, ImageSize - ModuleBytes, QByteArray(ImageSize - ModuleBytes, '\x5A'));
    writeFile(file, fresh);

    const Run read = params({QStringLiteral("read"), QStringLiteral("--port"), QStringLiteral("COM81,COM82"),
                             QStringLiteral("-o"), path(QStringLiteral("before"))});
    QCOMPARE(read.status, 0);
    QVERIFY2(read.err.isEmpty(), qPrintable(read.err));
    QVERIFY(read.out.contains(QStringLiteral("COM81: read 15 of 15 blocks")));
    QVERIFY(read.out.contains(QStringLiteral("COM82: read 15 of 15 blocks")));
    QCOMPARE(readAll(path(QStringLiteral("before/COM81.QM3"))), pattern(1));
    QCOMPARE(readAll(path(QStringLiteral("before/COM82.QM3"))), pattern(2));
    // Both reads are kept in the history, as the windows keep theirs.
    const auto history = [] {
        QStringList kept;
        for (const History::Entry &e : History::Store().entries())
            kept << operationWord(e.operation) + QLatin1Char('-') + e.port;
        kept.sort();
        return kept;
    };
    QCOMPARE(history(), (QStringList{QStringLiteral("read-COM81"), QStringLiteral("read-COM82")}));

    const Run write = params({QStringLiteral("write"), QStringLiteral("--port"), QStringLiteral("COM81"),
                              QStringLiteral("--port"), QStringLiteral("COM82"), file, QStringLiteral("--verify")});
    QCOMPARE(write.status, 0);
    QCOMPARE(write.out, QStringLiteral("COM81: write 15 of 15 blocks acknowledged and verified\n"
                                       "COM82: write 15 of 15 blocks acknowledged and verified\n"));
    QCOMPARE(history(), (QStringList{QStringLiteral("read-COM81"), QStringLiteral("read-COM82"),
                                     QStringLiteral("write-COM81"), QStringLiteral("write-COM82")}));
    // Only bytes 0 to 959 travel.
    QCOMPARE(stopModule(0).left(ModuleBytes), fresh.left(ModuleBytes));
    QCOMPARE(stopModule(1).left(ModuleBytes), fresh.left(ModuleBytes));
}

void TestModuleCommands::oneOfThreeHangsUpMidWrite()
{
    startModule(83, pattern(1));
    // Five acknowledgements, then the line is gone.
    startModule(84, pattern(2), {QStringLiteral("--fault"), QStringLiteral("hangup-after=5")});
    startModule(85, pattern(3));
    const QString file = path(QStringLiteral("new.QM3"));
    writeFile(file, pattern(4));

    const Run write = params({QStringLiteral("write"), QStringLiteral("--port"), QStringLiteral("COM83,COM84,COM85"), file});
    QCOMPARE(write.status, 1);
    QCOMPARE(write.out, QStringLiteral("COM83: write 15 of 15 blocks acknowledged\n"
                                       "COM85: write 15 of 15 blocks acknowledged\n"));
    // A send that met the hang-up adds the port's error in brackets.
    QVERIFY2(QRegularExpression(QStringLiteral("^COM84: write stopped at block 6 of 15: the port is closed( \\(.+\\))?\n$"))
                 .match(write.err)
                 .hasMatch(),
             qPrintable(write.err));
    QCOMPARE(stopModule(0).left(ModuleBytes), pattern(4).left(ModuleBytes));
    QCOMPARE(stopModule(2).left(ModuleBytes), pattern(4).left(ModuleBytes));
}

void TestModuleCommands::verifyCatchesAKeptBlock()
{
    startModule(86, pattern(1), {QStringLiteral("--fault"), QStringLiteral("keep-old=4")});
    const QString file = path(QStringLiteral("new.QM3"));
    writeFile(file, pattern(5));
    const Run write = params({QStringLiteral("write"), QStringLiteral("--port"), QStringLiteral("COM86"), file,
                              QStringLiteral("--verify")});
    QCOMPARE(write.status, 1);
    QVERIFY(write.out.isEmpty());
    const QStringList lines = write.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QVERIFY2(lines.value(0).startsWith(QStringLiteral("COM86: verify: ")), qPrintable(write.err));
    // The fields stored differently with the same value are counted apart.
    const QRegularExpressionMatch count
        = QRegularExpression(QStringLiteral(R"(^COM86: verify: (\d+) fields? differs?(?: \((\d+) stored differently\))?$)"))
              .match(lines.value(0));
    QVERIFY2(count.hasMatch(), qPrintable(lines.value(0)));
    const int values = count.captured(1).toInt(), same = count.captured(2).toInt();
    // A line saying which side is which, then one listed line per difference,
    // each inside block 4 (bytes 256 to 319), the same-value ones under their heading.
    QCOMPARE(lines.value(1), QStringLiteral("  written -> module"));
    QCOMPARE(lines.size() - 2, values + same + (same > 0 ? 1 : 0));
    if (same > 0)
        QCOMPARE(lines.value(2 + values), QStringLiteral("  stored differently, same value"));
    const QByteArray held = stopModule(0);
    QCOMPARE(held.mid(256, 64), pattern(1).mid(256, 64));
    QCOMPARE(held.left(256), pattern(5).left(256));
}

void TestModuleCommands::backupRefusesToWrite()
{
    startModule(87, pattern(1), {QStringLiteral("--fault"), QStringLiteral("drop-block=0")});
    const QString file = path(QStringLiteral("new.QM3"));
    writeFile(file, pattern(6));
    const QString backups = path(QStringLiteral("backups"));
    const Run write = params({QStringLiteral("write"), QStringLiteral("--port"), QStringLiteral("COM87"), file,
                              QStringLiteral("--backup"), backups, QStringLiteral("--retries"), QStringLiteral("0")});
    QCOMPARE(write.status, 1);
    QCOMPARE(write.err, QStringLiteral("COM87: backup stopped at block 1 of 15: no answer; nothing was written\n"));
    QVERIFY(QDir(backups).entryList(QDir::Files).isEmpty());
    QCOMPARE(stopModule(0).left(ModuleBytes), pattern(1).left(ModuleBytes));
}

void TestModuleCommands::traceOfOneRead()
{
    startModule(88, pattern(1));
    const QString trace = path(QStringLiteral("read.trace"));
    const Run read = params({QStringLiteral("read"), QStringLiteral("--port"), QStringLiteral("COM88"),
                             QStringLiteral("-o"), path(QStringLiteral("traced.QM3")), QStringLiteral("--trace"), trace,
                             QStringLiteral("--quiet")});
    QCOMPARE(read.status, 0);
    QVERIFY(read.out.isEmpty());
    const QList<QByteArray> lines = readAll(trace).split('\n');
    int out = 0;
    int in = 0;
    for (const QByteArray &line : lines) {
        const QList<QByteArray> columns = line.split('\t');
        if (line.isEmpty())
            continue;
        QCOMPARE(columns.size(), 5);
        out += columns[1] == "out" && columns[2] == "read-request";
        in += columns[1] == "in" && (columns[2] == "block-header" || columns[2] == "block-data");
    }
    // One request and seven answers per block, nothing else.
    QCOMPARE(out, 15);
    QCOMPARE(in, 15 * 7);
    QCOMPARE(lines.size() - (lines.last().isEmpty() ? 1 : 0), 15 * 8);
}

void TestModuleCommands::aDifferingVerifyNamesItsBackupAndIsKept()
{
    QDir(path(QStringLiteral("data"))).removeRecursively();
    startModule(80, pattern(1), {QStringLiteral("--fault"), QStringLiteral("keep-old=4")});
    const QString file = path(QStringLiteral("new.QM3"));
    writeFile(file, pattern(7));
    const QString backups = path(QStringLiteral("kept"));
    const Run write = params({QStringLiteral("write"), QStringLiteral("--port"), QStringLiteral("COM80"), file,
                              QStringLiteral("--verify"), QStringLiteral("--backup"), backups});
    QCOMPARE(write.status, 1);
    // The backup is named where the restore file is needed, in the history's names.
    const QStringList copies = QDir(backups).entryList(QDir::Files);
    QCOMPARE(copies.size(), 1);
    QVERIFY2(QRegularExpression(QStringLiteral("^\\d{8}-\\d{6}-backup-COM80\\.QM3$")).match(copies[0]).hasMatch(),
             qPrintable(copies[0]));
    QCOMPARE(readAll(QDir(backups).filePath(copies[0])), pattern(1).left(ModuleBytes) + QByteArray(ImageSize - ModuleBytes, '\0'));
    const QString first = write.err.section(QLatin1Char('\n'), 0, 0);
    QVERIFY2(QRegularExpression(QStringLiteral("^COM80: verify: \\d+ fields? differs?(?: \\(\\d+ stored differently\\))?; backup in %1$")
                                    .arg(QRegularExpression::escape(QDir(backups).filePath(copies[0]))))
                 .match(first)
                 .hasMatch(),
             qPrintable(write.err));
    // Every block was acknowledged: the written set is kept, with how it ended.
    QStringList kept;
    for (const History::Entry &e : History::Store().entries())
        kept.prepend(operationWord(e.operation) + QLatin1Char(' ') + e.outcome);
    QCOMPARE(kept.size(), 2);
    QCOMPARE(kept[0], QStringLiteral("backup "));
    QVERIFY2(QRegularExpression(QStringLiteral("^write Verify: \\d+ fields? differs?(?: \\(\\d+ stored differently\\))?\\.$")).match(kept[1]).hasMatch(),
             qPrintable(kept[1]));
}

void TestModuleCommands::readKeepsWhatItGot()
{
    QDir(path(QStringLiteral("data"))).removeRecursively();
    startModule(79, pattern(2));
    // A name longer than the system takes passes the check (its folder is
    // writable), and the save then fails.
    const QString target = path(QString(300, QLatin1Char('x')) + QStringLiteral(".QM3"));
    const Run read = params({QStringLiteral("read"), QStringLiteral("--port"), QStringLiteral("COM79"),
                             QStringLiteral("-o"), target});
    QCOMPARE(read.status, 1);
    const QList<History::Entry> entries = History::Store().entries();
    QCOMPARE(entries.size(), 1);
    QCOMPARE(readAll(entries[0].path), pattern(2).left(ModuleBytes) + QByteArray(ImageSize - ModuleBytes, '\0'));
    QVERIFY2(read.err.startsWith(QStringLiteral("COM79: %1: ").arg(target))
                 && read.err.endsWith(QStringLiteral("; what was read is kept in %1\n").arg(entries[0].path)),
             qPrintable(read.err));
}

void TestModuleCommands::readIntoStandardOutput_data()
{
    QTest::addColumn<QString>("output");
    QTest::newRow("-") << QStringLiteral("-");
    QTest::newRow("/dev/stdout") << QStringLiteral("/dev/stdout");
}

// Standard output carries the file alone; what is said goes to standard error.
void TestModuleCommands::readIntoStandardOutput()
{
    QFETCH(QString, output);
    startModule(77, pattern(2));
    QProcess tool;
    tool.start(QStringLiteral(QUELMAR_PARAMS), {QStringLiteral("read"), QStringLiteral("--port"), QStringLiteral("COM77"),
                                                QStringLiteral("-o"), output});
    QVERIFY(tool.waitForFinished(120000));
    QCOMPARE(tool.exitCode(), 0);
    const QByteArray out = tool.readAllStandardOutput();
    QCOMPARE(out.size(), ImageSize);
    QCOMPARE(out.left(ModuleBytes), pattern(2).left(ModuleBytes));
    QCOMPARE(QString::fromUtf8(tool.readAllStandardError()),
             QStringLiteral("COM77: read 15 of 15 blocks into %1\n").arg(output));
}

void TestModuleCommands::readChecksItsOutputFirst_data()
{
    QTest::addColumn<QString>("output");
    QTest::newRow("missing folder") << QStringLiteral("nowhere/x.QM3");
    QTest::newRow("a folder") << QStringLiteral("folder");
}

void TestModuleCommands::readChecksItsOutputFirst()
{
    QFETCH(QString, output);
    QVERIFY(QDir().mkpath(path(QStringLiteral("folder"))));
    // No module answers on COM78: a check after the first request would
    // end in a port error instead, with status 1.
    const Run read = params({QStringLiteral("read"), QStringLiteral("--port"), QStringLiteral("COM78"),
                             QStringLiteral("-o"), path(output)});
    QCOMPARE(read.status, 2);
    QVERIFY2(read.err.startsWith(QStringLiteral("quelmar-params: %1: ").arg(path(output))), qPrintable(read.err));
    QVERIFY(!read.err.contains(QStringLiteral("port")));
}

void TestModuleCommands::quietCompareStillNamesTheDifferences()
{
    startModule(77, pattern(1));
    startModule(76, pattern(2));
    const QString file = path(QStringLiteral("site.QM3"));
    writeFile(file, pattern(1));
    const Run loud = params({QStringLiteral("compare"), QStringLiteral("--port"), QStringLiteral("COM77,COM76"), file});
    const Run quiet = params({QStringLiteral("compare"), QStringLiteral("--port"), QStringLiteral("COM77,COM76"), file,
                              QStringLiteral("--quiet")});
    QCOMPARE(loud.status, 1);
    QCOMPARE(quiet.status, 1);
    QVERIFY(loud.err.isEmpty());
    QVERIFY2(loud.out.startsWith(QStringLiteral("COM77: compare: the module holds the file's data\nCOM76: compare: ")),
             qPrintable(loud.out));
    // The equal module's success is left out; the differing one is said in
    // full, on standard error.
    QVERIFY(quiet.out.isEmpty());
    QCOMPARE(quiet.err, loud.out.section(QLatin1Char('\n'), 1));
    QVERIFY(quiet.err.count(QLatin1Char('\n')) > 1);
}

// What holds a parameter set is its owner's only: after a read, a backup, a
// trace and an export into fresh folders no file has group or other bits and
// every folder made is 0700.
void TestModuleCommands::createdFilesArePrivate()
{
    startModule(83, pattern(4));
    startModule(84, pattern(5));
    const QString fresh = path(QStringLiteral("fresh"));
    const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", QFile::encodeName(fresh + QStringLiteral("/data")));
    const Run read = params({QStringLiteral("read"), QStringLiteral("--port"), QStringLiteral("COM83,COM84"),
                             QStringLiteral("-o"), fresh + QStringLiteral("/reads"), QStringLiteral("--trace"),
                             fresh + QStringLiteral("/traces")});
    const Run write = params({QStringLiteral("write"), QStringLiteral("--port"), QStringLiteral("COM83"),
                              fresh + QStringLiteral("/reads/COM84.QM3"), QStringLiteral("--backup"),
                              fresh + QStringLiteral("/backups/site")});
    const Run exported = params({QStringLiteral("export"), fresh + QStringLiteral("/reads/COM83.QM3"), QStringLiteral("-o"),
                                 fresh + QStringLiteral("/site.json")});
    qputenv("XDG_DATA_HOME", dataHome);
    QCOMPARE(read.status, 0);
    QCOMPARE(write.status, 0);
    QCOMPARE(exported.status, 0);

    QStringList files;
    QDirIterator it(fresh, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo entry(it.next());
        struct stat st {};
        QCOMPARE(::lstat(QFile::encodeName(entry.filePath()).constData(), &st), 0);
        if (S_ISDIR(st.st_mode)) {
            QVERIFY2((st.st_mode & 07777) == 0700, qPrintable(entry.filePath()));
        } else {
            QVERIFY2((st.st_mode & 077) == 0, qPrintable(entry.filePath()));
            files << QDir(fresh).relativeFilePath(entry.filePath());
        }
    }
    // Two reads, two traces, a backup, an export, and the history's entries.
    QCOMPARE(files.filter(QStringLiteral("reads/")).size(), 2);
    QCOMPARE(files.filter(QStringLiteral("traces/")).size(), 2);
    QCOMPARE(files.filter(QStringLiteral("backups/site/")).size(), 1);
    QVERIFY(files.contains(QStringLiteral("site.json")));
    QVERIFY(files.filter(QStringLiteral("data/quelmar/history/")).size() >= 2);
}

// A second simulator on a port that one serves is refused, and the first
// stays reachable.
void TestModuleCommands::busyPortIsRefused()
{
    startModule(85, pattern(6));
    QProcess second;
    second.start(QStringLiteral(QUELMAR_MODULE_SIM), {QStringLiteral("--port"), QStringLiteral("COM85"),
                                                      QStringLiteral("--no-pacing")});
    QVERIFY(second.waitForFinished(10000));
    QCOMPARE(second.exitCode(), 2);
    QCOMPARE(QString::fromUtf8(second.readAllStandardError()),
             QStringLiteral("quelmar-module-sim: COM85 is published by process %1\n")
                 .arg(m_modules.back()->process()->processId()));
    writeFile(path(QStringLiteral("busy.QM3")), pattern(6));
    const Run compare = params({QStringLiteral("compare"), QStringLiteral("--port"), QStringLiteral("COM85"),
                                path(QStringLiteral("busy.QM3"))});
    QCOMPARE(compare.status, 0);
}

void TestModuleCommands::repeatsOfADamagedBlock_data()
{
    QTest::addColumn<QString>("retries"); // empty: the default
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    QTest::newRow("default") << QString() << 0 << "COM89: read 15 of 15 blocks (2 repeated) into %1\n" << QString();
    QTest::newRow("off") << "0" << 1 << QString() << "COM89: read stopped at block 3 of 15: no answer\n";
    QTest::newRow("too many") << "4" << 2 << QString() << "quelmar-params: --retries: '4' is not 0 to 3\n";
}

void TestModuleCommands::repeatsOfADamagedBlock()
{
    QFETCH(QString, retries);
    QFETCH(int, status);
    QFETCH(QString, out);
    QFETCH(QString, err);
    startModule(89, pattern(3), {QStringLiteral("--fault"), QStringLiteral("drop-block=2"), QStringLiteral("--fault"),
                                 QStringLiteral("corrupt=11")});
    const QString file = path(QStringLiteral("repeated.QM3"));
    QFile::remove(file);
    QStringList arguments{QStringLiteral("read"), QStringLiteral("--port"), QStringLiteral("COM89"), QStringLiteral("-o"), file};
    if (!retries.isEmpty())
        arguments << QStringLiteral("--retries") << retries;
    const Run read = params(arguments);
    QCOMPARE(read.status, status);
    QCOMPARE(read.out, out.contains(QLatin1String("%1")) ? out.arg(file) : out);
    QCOMPARE(read.err, err);
    if (status == 0)
        QCOMPARE(readAll(file), pattern(3));
}

void TestModuleCommands::changedBlocksOnly_data()
{
    QTest::addColumn<int>("changedByte"); // an event code of block 4; -1: the file equals the module
    QTest::addColumn<QString>("out");
    QTest::newRow("one field") << 300 << "COM75: write 1 of 15 blocks changed, acknowledged and verified; backup in %1\n";
    QTest::newRow("equal") << -1 << "COM75: write: the module already holds this file; backup in %1\n";
}

void TestModuleCommands::changedBlocksOnly()
{
    QFETCH(int, changedByte);
    QFETCH(QString, out);
    startModule(75, pattern(8));
    QByteArray wanted = pattern(8);
    if (changedByte >= 0)
        wanted[changedByte] = static_cast<char>(wanted[changedByte] ^ 0x11);
    writeFile(path(QStringLiteral("changed.QM3")), wanted);
    const QString backups = path(QStringLiteral("changed-%1").arg(changedByte));
    const Run write = params({QStringLiteral("write"), QStringLiteral("--port"), QStringLiteral("COM75"), path(QStringLiteral("changed.QM3")),
                              QStringLiteral("--changed-only"), QStringLiteral("--verify"), QStringLiteral("--backup"), backups,
                              QStringLiteral("--trace"), path(QStringLiteral("changed.trace"))});
    QCOMPARE(write.status, 0);
    QCOMPARE(write.out, out.arg(QDir(backups).filePath(QDir(backups).entryList(QDir::Files).value(0))));
    // One read, the backup; then the changed block written and read back.
    const QByteArray trace = readAll(path(QStringLiteral("changed.trace")));
    QCOMPARE(trace.count("\tout\twrite-command\t"), changedByte >= 0 ? 1 : 0);
    QCOMPARE(trace.count("\tout\tread-request\t"), changedByte >= 0 ? 16 : 15);
    QCOMPARE(stopModule(0).left(ModuleBytes), wanted.left(ModuleBytes));
}

QTEST_GUILESS_MAIN(TestModuleCommands)
#include "tst_modulecommands.moc"
