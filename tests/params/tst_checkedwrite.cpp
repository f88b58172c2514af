// Where and why a sequence stops, and the write with backup and verify,
// against the module simulator engine in-process.

#include "params/CheckedWrite.h"
#include "params/ModuleOperations.h"
#include "params/ParameterFile.h"
#include "params/TransferTexts.h"

#include "common/EngineLine.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <optional>
#include <sys/stat.h>

namespace {

struct QuietDisplay : TransferDisplay
{
    std::uint32_t colour = 0;
    void DisableButtons() override {}
    void EnableButtons() override {}
    void setProgress(int) override {}
    void SetBarColour(std::uint32_t rgb) override { colour = rgb; }
    void showMessage(const QString &) override {}
    void showError(const QString &) override {}
};

enum class Op { Read, Compare, Write, Scratch };

} // namespace

Q_DECLARE_METATYPE(Op)
Q_DECLARE_METATYPE(std::optional<Fault>)
Q_DECLARE_METATYPE(TransferStop)
Q_DECLARE_METATYPE(WriteEnding)

class TestCheckedWrite : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void whereItStops_data();
    void whereItStops();
    void verifyCatchesAKeptBlock();
    void verifiedWriteLeavesTheBufferAsWritten();
    void backupRefusesToWrite_data();
    void backupRefusesToWrite();
    void howItEnded_data();
    void howItEnded();
    void changedBlocksOnly_data();
    void changedBlocksOnly();

private:
    CheckedWriteOptions options(bool verify, bool backup) const
    {
        CheckedWriteOptions o;
        o.verify = verify;
        o.backup = backup;
        o.port = QStringLiteral("COM7");
        o.history = History::Store(m_dir->filePath(QStringLiteral("history")));
        return o;
    }
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<EngineLine> m_line;
    QuietDisplay m_display;
    std::unique_ptr<ParameterTransfer> m_transfer;
    ImageBytes m_image{};
    TransferBytes m_buffer{};
};

void TestCheckedWrite::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_line = std::make_unique<EngineLine>();
    for (std::size_t i = 0; i < m_line->module.memory.size(); ++i)
        m_line->module.memory[i] = static_cast<std::uint8_t>(i * 7 + 1);
    for (std::size_t i = 0; i < m_image.size(); ++i)
        m_image[i] = static_cast<std::uint8_t>(0xA0 ^ (i * 13));
    m_buffer.fill(0);
    m_display = {};
    m_transfer = std::make_unique<ParameterTransfer>(m_display, m_image, m_buffer);
    m_transfer->Link = m_line->link();
    m_transfer->setRetries(0); // the single try: every fault ends the sequence
}

void TestCheckedWrite::cleanup()
{
    m_transfer.reset();
    m_line.reset();
}

void TestCheckedWrite::whereItStops_data()
{
    QTest::addColumn<Op>("op");
    QTest::addColumn<std::optional<Fault>>("fault");
    QTest::addColumn<int>("closeAfterFrames");
    QTest::addColumn<TransferStop>("stop");
    QTest::addColumn<int>("stoppedAt");
    QTest::addColumn<int>("answered");
    QTest::addColumn<int>("done");

    using S = TransferStop;
    const auto fault = [](FaultKind kind, int block) { return std::optional<Fault>(Fault{kind, block, 0, 0.0}); };
    QTest::newRow("read, all") << Op::Read << std::optional<Fault>() << 0 << S::None << 0 << 0 << 15;
    QTest::newRow("read, no answer to block 4") << Op::Read << fault(FaultKind::DropBlock, 3) << 0 << S::NoAnswer << 4 << 0 << 3;
    QTest::newRow("compare, answer for another block")
        << Op::Compare << fault(FaultKind::WrongAddress, 2) << 0 << S::OtherBlock << 3 << 4 << 2;
    QTest::newRow("scratch, answer for block 1 instead of 15")
        << Op::Scratch << fault(FaultKind::WrongAddress, 14) << 0 << S::OtherBlock << 15 << 1 << 14;
    QTest::newRow("write, block 7 not acknowledged")
        << Op::Write << fault(FaultKind::NoAck, 6) << 0 << S::NoAcknowledgement << 7 << 0 << 6;
    // 7 frames answer a block; the port closes after block 2's answer.
    QTest::newRow("read, port closed") << Op::Read << std::optional<Fault>() << 14 << S::PortClosed << 3 << 0 << 2;
    QTest::newRow("write, port closed") << Op::Write << std::optional<Fault>() << 5 << S::PortClosed << 6 << 0 << 5;
}

void TestCheckedWrite::whereItStops()
{
    QFETCH(Op, op);
    QFETCH(std::optional<Fault>, fault);
    QFETCH(int, closeAfterFrames);
    QFETCH(TransferStop, stop);
    QFETCH(int, stoppedAt);
    QFETCH(int, answered);
    QFETCH(int, done);

    if (fault)
        m_line->module.arm(*fault);
    m_line->closeAfterFrames = closeAfterFrames;
    ImageBytes scratch{};
    switch (op) {
    case Op::Read: m_transfer->Read(); break;
    case Op::Compare: m_transfer->Compare(); break;
    case Op::Write: m_transfer->Write(); break;
    case Op::Scratch: m_transfer->readInto(scratch); break;
    }
    const TransferResult &r = m_transfer->Result();
    QCOMPARE(r.stop, stop);
    QCOMPARE(r.stoppedAt, stoppedAt);
    QCOMPARE(r.answeredBlock, answered);
    QCOMPARE(r.blocksDone, done);
    QCOMPARE(r.outcome == TransferOutcome::Succeeded, stop == TransferStop::None && op != Op::Compare);
}

void TestCheckedWrite::verifyCatchesAKeptBlock()
{
    m_line->module.arm({FaultKind::KeepOld, 9, 0, 0.0});
    const auto old = m_line->module.block(9);
    const WriteOutcome r = checkedWrite(*m_transfer, options(true, false));
    QVERIFY(!r.succeeded());
    QCOMPARE(r.ending, WriteEnding::VerifyDiffered);
    QCOMPARE(r.result.stop, TransferStop::None);
    QVERIFY(r.result.differs);
    QCOMPARE(m_display.colour, Transfer::Red);
    // Only block 9 differs from what was written, and it holds the old data.
    for (int b = 0; b < 15; ++b) {
        const bool same = std::equal(r.readBack.begin() + b * 64, r.readBack.begin() + b * 64 + 64,
                                     r.written.begin() + b * 64);
        QCOMPARE(same, b != 9);
    }
    QVERIFY(std::equal(old.begin(), old.end(), r.readBack.begin() + 9 * 64));
    // Every difference lies in (or reaches into) block 9.
    QVERIFY(!r.differences.isEmpty());
    for (const auto &f : r.differences.fields)
        QVERIFY(f.field->offset < 10 * 64 && f.field->offset + f.field->length > 9 * 64);
    for (const auto &range : r.differences.bytes)
        QVERIFY(range.first >= 9 * 64 && range.last < 10 * 64);
}

void TestCheckedWrite::verifiedWriteLeavesTheBufferAsWritten()
{
    const ImageBytes imageBefore = m_image;
    const auto moduleBefore = m_line->module.memory;
    const WriteOutcome r = checkedWrite(*m_transfer, options(true, true));
    ImageBytes kept{};
    QVERIFY(ParameterFile::load(r.backupPath, kept).ok);
    QVERIFY(r.succeeded());
    QCOMPARE(r.ending, WriteEnding::Verified);
    QVERIFY(std::equal(moduleBefore.begin(), moduleBefore.end(), kept.begin()));
    QVERIFY(std::all_of(kept.begin() + 960, kept.end(), [](std::uint8_t b) { return b == 0; }));
    QVERIFY(std::equal(m_buffer.begin(), m_buffer.end(), imageBefore.begin()));
    QVERIFY(m_image == imageBefore);
    QVERIFY(std::equal(m_buffer.begin(), m_buffer.end(), m_line->module.memory.begin()));
}

void TestCheckedWrite::backupRefusesToWrite_data()
{
    QTest::addColumn<bool>("answers");
    QTest::addColumn<bool>("blocked"); // a file where the history folder belongs
    QTest::addColumn<bool>("shared");  // a history folder others may write
    QTest::newRow("module does not answer") << false << false << false;
    QTest::newRow("backup cannot be kept") << true << true << false;
    QTest::newRow("backup folder writable by others") << true << false << true;
}

void TestCheckedWrite::backupRefusesToWrite()
{
    QFETCH(bool, answers);
    QFETCH(bool, blocked);
    QFETCH(bool, shared);
    if (!answers)
        m_line->module.arm({FaultKind::DropBlock, 0, 0, 0.0});
    CheckedWriteOptions o = options(false, true);
    if (blocked)
        QVERIFY(ParameterFile::save(o.history.folder(), m_image).ok);
    if (shared)
        QVERIFY(QDir().mkdir(o.history.folder())
                && ::chmod(QFile::encodeName(o.history.folder()).constData(), 0777) == 0);
    const QString keepError = blocked ? ParameterFile::errorText(ENOTDIR)
        : shared ? o.history.folder() + QStringLiteral(": writable by other users; nothing was kept")
                 : QString();
    const auto moduleBefore = m_line->module.memory;
    const TransferBytes bufferBefore = m_buffer;
    const WriteOutcome r = checkedWrite(*m_transfer, o);
    QVERIFY(!r.succeeded());
    QVERIFY(r.nothingWritten());
    QCOMPARE(r.ending, answers ? WriteEnding::BackupNotKept : WriteEnding::BackupStopped);
    QCOMPARE(r.backupError, keepError);
    QCOMPARE(r.result.stoppedAt, answers ? 0 : 1);
    QCOMPARE(m_line->module.counters().writesStored, 0);
    // Others' folder is refused before the module is asked anything.
    QCOMPARE(m_line->module.counters().readsAnswered == 0, shared || !answers);
    QVERIFY(m_line->module.memory == moduleBefore);
    QVERIFY(m_buffer == bufferBefore);
    QCOMPARE(m_display.colour, Transfer::Red);
}

void TestCheckedWrite::howItEnded_data()
{
    QTest::addColumn<bool>("verify");
    QTest::addColumn<bool>("backup");
    QTest::addColumn<std::optional<Fault>>("fault");
    QTest::addColumn<WriteEnding>("ending");
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("line"); // "BACKUP" stands for the backup's path
    QTest::addColumn<QStringList>("kept"); // the history, oldest first: operation and recorded outcome

    const auto fault = [](FaultKind kind, int block) { return std::optional<Fault>(Fault{kind, block, 0, 0.0}); };
    const std::optional<Fault> none;
    const QString written = QStringLiteral("Write: 15 of 15 blocks acknowledged.");
    QTest::newRow("written") << false << false << none << WriteEnding::Written << " " + written
                             << "write 15 of 15 blocks acknowledged" << QStringList{"write " + written};
    QTest::newRow("verified, with a backup")
        << true << true << none << WriteEnding::Verified << " Write: 15 of 15 blocks acknowledged and verified. Backup in BACKUP."
        << "write 15 of 15 blocks acknowledged and verified; backup in BACKUP"
        << QStringList{"backup ", "write Write: 15 of 15 blocks acknowledged and verified."};
    // Every block was acknowledged: the module may hold the set, so it is kept.
    QTest::newRow("verify differs, with a backup")
        << true << true << fault(FaultKind::KeepOld, 9) << WriteEnding::VerifyDiffered
        << " Verify: 3 fields stored differently, same value. Backup in BACKUP."
        << "verify: 3 fields stored differently, same value; backup in BACKUP"
        << QStringList{"backup ", "write Verify: 3 fields stored differently, same value."};
    QTest::newRow("verify stopped")
        << true << false << fault(FaultKind::DropBlock, 3) << WriteEnding::VerifyStopped
        << " Verify stopped at block 4 of 15: no answer." << "verify stopped at block 4 of 15: no answer"
        << QStringList{"write Verify stopped at block 4 of 15: no answer."};
    QTest::newRow("write stopped, with a backup")
        << false << true << fault(FaultKind::NoAck, 6) << WriteEnding::WriteStopped
        << " Write stopped at block 7 of 15: no acknowledgement. Blocks 1 to 6 were written: the module may be "
           "half-written. Backup in BACKUP."
        << "write stopped at block 7 of 15: no acknowledgement; backup in BACKUP"
        << QStringList{"backup ", "write Write stopped at block 7 of 15: no acknowledgement. Blocks 1 to 6 were "
                                  "written: the module may be half-written."};
    QTest::newRow("backup stopped")
        << false << true << fault(FaultKind::DropBlock, 0) << WriteEnding::BackupStopped
        << " Backup stopped at block 1 of 15: nothing was written."
        << "backup stopped at block 1 of 15: no answer; nothing was written" << QStringList{};
}

void TestCheckedWrite::howItEnded()
{
    QFETCH(bool, verify);
    QFETCH(bool, backup);
    QFETCH(std::optional<Fault>, fault);
    QFETCH(WriteEnding, ending);
    QFETCH(QString, window);
    QFETCH(QString, line);
    QFETCH(QStringList, kept);

    if (fault) {
        // Block 9 of the image differs from the module in its bytes; the
        // fields read the same, yet the verify fails on any byte.
        m_image[9 * 64] ^= 0xFF;
        m_line->module.arm(*fault);
    }
    CheckedWriteOptions o = options(verify, backup);
    // The backup is also kept in a second store, which the line names.
    o.backupCopies << History::Store(m_dir->filePath(QStringLiteral("copies")));
    const WriteOutcome r = ModuleOperations(*m_transfer, o.port, o.history).write(o);
    QCOMPARE(r.ending, ending);
    // The window names the backup by its name, the line by its path.
    QCOMPARE(outcomeText(r), QString(window).replace(QStringLiteral("BACKUP"), QFileInfo(r.backupPath).fileName()));
    QCOMPARE(outcomeText(r, OutcomeForm::Line), QString(line).replace(QStringLiteral("BACKUP"), r.backupPath));
    QCOMPARE(r.backupPath.isEmpty(), !backup || ending == WriteEnding::BackupStopped);
    if (!r.backupPath.isEmpty())
        QVERIFY2(r.backupPath.startsWith(o.backupCopies.first().folder() + QStringLiteral("/")) &&
                     r.backupPath.endsWith(QStringLiteral("-backup-COM7.QM3")),
                 qPrintable(r.backupPath));
    QStringList entries;
    for (const History::Entry &e : o.history.entries())
        entries.prepend(operationWord(e.operation) + QLatin1Char(' ') + e.outcome);
    QCOMPARE(entries, kept);
    QCOMPARE(r.history.ok(), true);
    // The write's entry holds the whole image, bytes 960 to 1087 too.
    if (r.acknowledged()) {
        ImageBytes entry{};
        QVERIFY(ParameterFile::load(r.history.path, entry).ok);
        QVERIFY(entry == m_image);
    }
}

void TestCheckedWrite::changedBlocksOnly_data()
{
    QTest::addColumn<QList<int>>("changed"); // the blocks of the image that differ from the module
    QTest::addColumn<std::optional<Fault>>("fault");
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("writes");
    QTest::addColumn<QStringList>("kept"); // the history, oldest first

    const QString verified = QStringLiteral("Write: 1 of 15 blocks changed, acknowledged and verified.");
    const QString held = QStringLiteral("Write: the module already holds this parameter set.");
    QTest::newRow("one block") << QList<int>{4} << std::optional<Fault>() << " " + verified
                               << "write 1 of 15 blocks changed, acknowledged and verified" << 1 << QStringList{"write " + verified};
    QTest::newRow("nothing to write") << QList<int>{} << std::optional<Fault>() << " " + held
                                      << "write: the module already holds this file" << 0 << QStringList{"write " + held};
    QTest::newRow("first read stopped")
        << QList<int>{4} << std::optional<Fault>(Fault{FaultKind::DropBlock, 0, 0, 0.0}) << " Read stopped at block 1 of 15: nothing was written."
        << "read stopped at block 1 of 15: no answer; nothing was written" << 0 << QStringList{};
    // Only block 3 went in before the stop: the entry names it.
    QTest::newRow("stopped at the second changed block")
        << QList<int>{2, 9} << std::optional<Fault>(Fault{FaultKind::NoAck, 9, 0, 0.0})
        << " Write stopped at block 10 of 15: no acknowledgement. Block 3 was written: the module may be half-written."
        << "write stopped at block 10 of 15: no acknowledgement" << 2
        << QStringList{"write Write stopped at block 10 of 15: no acknowledgement. Block 3 was written: the module may be half-written."};
}

void TestCheckedWrite::changedBlocksOnly()
{
    QFETCH(QList<int>, changed);
    QFETCH(std::optional<Fault>, fault);
    QFETCH(QString, window);
    QFETCH(QString, line);
    QFETCH(int, writes);
    QFETCH(QStringList, kept);

    std::copy(m_line->module.memory.begin(), m_line->module.memory.end(), m_image.begin());
    for (const int b : changed)
        m_image[std::size_t(b * 64 + 5)] ^= 0x21;
    if (fault)
        m_line->module.arm(*fault);
    CheckedWriteOptions o = options(true, false);
    o.changedOnly = true;
    const WriteOutcome r = ModuleOperations(*m_transfer, o.port, o.history).write(o);
    QCOMPARE(outcomeText(r), window);
    QCOMPARE(outcomeText(r, OutcomeForm::Line), line);
    QCOMPARE(m_line->module.counters().writesStored, writes);
    QStringList entries;
    for (const History::Entry &e : o.history.entries())
        entries.prepend(operationWord(e.operation) + QLatin1Char(' ') + e.outcome);
    QCOMPARE(entries, kept);
}

QTEST_GUILESS_MAIN(TestCheckedWrite)
#include "tst_checkedwrite.moc"
