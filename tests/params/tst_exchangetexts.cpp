// Every way a read, compare or write ends, with and without a backup and
// changed blocks only, as each form says it: the window's outcome line, the
// command line's line, the history entries and the site book's exchanges.
// The records come from ModuleOperations against the simulator engine.

#include "params/ModuleOperations.h"
#include "params/ParameterFile.h"
#include "params/TransferTexts.h"

#include "common/EngineLine.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct QuietDisplay : TransferDisplay
{
    void DisableButtons() override {}
    void EnableButtons() override {}
    void setProgress(int) override {}
    void SetBarColour(std::uint32_t) override {}
    void showMessage(const QString &) override {}
    void showError(const QString &) override {}
};

enum class Op { Read, Compare, Write };

// What a site book would record, and what the module had stored when each
// stage was handed on.
struct Stages : ExchangeReceiver
{
    explicit Stages(const ModuleSimulator &module)
        : m_module(module)
    {
    }
    void received(const ExchangeRecord &record) override
    {
        texts << operationWord(record.operation) + QLatin1Char(' ') + siteExchangeText(record);
        storedWhenHanded << m_module.counters().writesStored;
        records << record;
    }
    QStringList texts;
    QList<int> storedWhenHanded;
    QList<ExchangeRecord> records;

private:
    const ModuleSimulator &m_module;
};

} // namespace

Q_DECLARE_METATYPE(Op)

class TestExchangeTexts : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void everyEnding_data();
    void everyEnding();
    void backupIsHandedOnBeforeTheFirstWrite();
    void withoutConnectionNothingIsKept();

private:
    QString historyFolder() const { return m_dir->filePath(QStringLiteral("history")); }
    QStringList historyEntries() const
    {
        QStringList entries;
        for (const History::Entry &e : History::Store(historyFolder()).entries())
            entries.prepend(operationWord(e.operation) + QLatin1Char(' ') + e.outcome);
        return entries;
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<EngineLine> m_line;
    QuietDisplay m_display;
    std::unique_ptr<ParameterTransfer> m_transfer;
    ImageBytes m_image{};
    TransferBytes m_buffer{};
};

void TestExchangeTexts::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_line = std::make_unique<EngineLine>();
    m_line->module.memory.fill(0xFF); // erased
    m_image.fill(0xFF);
    m_buffer.fill(0xFF);
    m_transfer = std::make_unique<ParameterTransfer>(m_display, m_image, m_buffer);
    m_transfer->Link = m_line->link();
    m_transfer->setRetries(0); // the single try: every fault ends the sequence
    m_transfer->setTickMs(5);  // time-outs of a quarter of a second
}

void TestExchangeTexts::cleanup()
{
    m_transfer.reset();
    m_line.reset();
}

void TestExchangeTexts::everyEnding_data()
{
    QTest::addColumn<Op>("op");
    QTest::addColumn<int>("checks"); // 1 verify, 2 backup, 4 changed blocks only
    QTest::addColumn<bool>("edited"); // the image differs from the module in blocks 1 and 2
    QTest::addColumn<bool>("blocked"); // a file where the history folder belongs
    QTest::addColumn<QList<Fault>>("faults");
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("line"); // BACKUP: the backup's path
    QTest::addColumn<QStringList>("history"); // oldest first: operation and recorded outcome
    QTest::addColumn<QStringList>("site");

    constexpr int Verify = 1, Backup = 2, Changed = 4;
    const auto f = [](FaultKind kind, int block) { return QList<Fault>{Fault{kind, block, 0, 0.0}}; };
    const QList<Fault> none;
    const QString notDir = ParameterFile::errorText(ENOTDIR);
    const QString both = QStringLiteral("1 field differs (1 stored differently)");

    QTest::newRow("read") << Op::Read << 0 << false << false << none << " Read: 15 of 15 blocks."
                          << "read 15 of 15 blocks" << QStringList{"read "} << QStringList{"read complete"};
    QTest::newRow("read stopped") << Op::Read << 0 << false << false << f(FaultKind::DropBlock, 3)
                                  << " Read stopped at block 4 of 15: no answer."
                                  << "read stopped at block 4 of 15: no answer" << QStringList{}
                                  << QStringList{"read stopped at block 4: no answer"};
    QTest::newRow("compare, the same") << Op::Compare << 0 << false << false << none
                                       << " Compare: the module holds the last read or written data."
                                       << "compare: the module holds the file's data" << QStringList{}
                                       << QStringList{"compare no difference"};
    // A field stored differently with the same value is counted apart, in the book too.
    QTest::newRow("compare, differs") << Op::Compare << 0 << true << false << none << " Compare: " + both + "."
                                      << "compare: " + both << QStringList{} << QStringList{"compare " + both};
    QTest::newRow("compare stopped") << Op::Compare << 0 << true << false << f(FaultKind::WrongAddress, 2)
                                     << " Compare stopped at block 3 of 15: the module answered for block 4."
                                     << "compare stopped at block 3 of 15: the module answered for block 4"
                                     << QStringList{}
                                     << QStringList{"compare stopped at block 3: the module answered for block 4"};

    const QString all = QStringLiteral("Write: 15 of 15 blocks acknowledged.");
    QTest::newRow("written") << Op::Write << 0 << true << false << none << " " + all
                             << "write 15 of 15 blocks acknowledged" << QStringList{"write " + all}
                             << QStringList{"write complete"};
    QTest::newRow("written, backup") << Op::Write << Backup << true << false << none << " " + all + " Backup in BACKUP."
                                     << "write 15 of 15 blocks acknowledged; backup in BACKUP"
                                     << QStringList{"backup ", "write " + all}
                                     << QStringList{"backup complete", "write complete"};
    const QString two = QStringLiteral("Write: 2 of 15 blocks changed and acknowledged.");
    QTest::newRow("written, changed only") << Op::Write << Changed << true << false << none << " " + two
                                           << "write 2 of 15 blocks changed and acknowledged"
                                           << QStringList{"write " + two}
                                           << QStringList{"read complete", "write complete, 2 of 15 blocks changed"};
    const QString verified = QStringLiteral("Write: 15 of 15 blocks acknowledged and verified.");
    QTest::newRow("verified") << Op::Write << Verify << true << false << none << " " + verified
                              << "write 15 of 15 blocks acknowledged and verified" << QStringList{"write " + verified}
                              << QStringList{"write complete", "verify verified"};
    const QString twoVerified = QStringLiteral("Write: 2 of 15 blocks changed, acknowledged and verified.");
    QTest::newRow("verified, backup, changed only")
        << Op::Write << (Verify | Backup | Changed) << true << false << none << " " + twoVerified + " Backup in BACKUP."
        << "write 2 of 15 blocks changed, acknowledged and verified; backup in BACKUP"
        << QStringList{"backup ", "write " + twoVerified}
        << QStringList{"backup complete", "write complete, 2 of 15 blocks changed", "verify verified"};
    // Blocks 1 and 2 keep their old (erased) data though acknowledged.
    const QList<Fault> kept{Fault{FaultKind::KeepOld, 0, 0, 0.0}, Fault{FaultKind::KeepOld, 1, 0, 0.0}};
    QTest::newRow("verify differed") << Op::Write << Verify << true << false << kept << " Verify: " + both + "."
                                     << "verify: " + both << QStringList{"write Verify: " + both + "."}
                                     << QStringList{"write complete", "verify " + both};
    QTest::newRow("verify differed, changed only")
        << Op::Write << (Verify | Changed) << true << false << kept << " Verify: " + both + "." << "verify: " + both
        << QStringList{"write Verify: " + both + "."}
        << QStringList{"read complete", "write complete, 2 of 15 blocks changed", "verify " + both};
    QTest::newRow("verify stopped") << Op::Write << Verify << true << false << f(FaultKind::DropBlock, 3)
                                    << " Verify stopped at block 4 of 15: no answer."
                                    << "verify stopped at block 4 of 15: no answer"
                                    << QStringList{"write Verify stopped at block 4 of 15: no answer."}
                                    << QStringList{"write complete", "verify stopped at block 4: no answer"};
    QTest::newRow("write stopped") << Op::Write << 0 << true << false << f(FaultKind::NoAck, 6)
                                   << " Write stopped at block 7 of 15: no acknowledgement. Blocks 1 to 6 were "
                                      "written: the module may be half-written."
                                   << "write stopped at block 7 of 15: no acknowledgement"
                                   << QStringList{"write Write stopped at block 7 of 15: no acknowledgement. Blocks 1 "
                                                  "to 6 were written: the module may be half-written."}
                                   << QStringList{"write stopped at block 7: no acknowledgement"};
    QTest::newRow("write stopped, changed only")
        << Op::Write << Changed << true << false << f(FaultKind::NoAck, 1)
        << " Write stopped at block 2 of 15: no acknowledgement. Block 1 was written: the module may be half-written."
        << "write stopped at block 2 of 15: no acknowledgement"
        << QStringList{"write Write stopped at block 2 of 15: no acknowledgement. Block 1 was written: the module may "
                       "be half-written."}
        << QStringList{"read complete", "write stopped at block 2: no acknowledgement, 2 of 15 blocks changed"};
    // Nothing went in: no entry says the module may be half-written.
    QTest::newRow("write stopped at the first block, backup")
        << Op::Write << Backup << true << false << f(FaultKind::NoAck, 0)
        << " Write stopped at block 1 of 15: no acknowledgement. Backup in BACKUP."
        << "write stopped at block 1 of 15: no acknowledgement; backup in BACKUP" << QStringList{"backup "}
        << QStringList{"backup complete", "write stopped at block 1: no acknowledgement"};
    QTest::newRow("backup stopped") << Op::Write << (Backup | Verify) << true << false << f(FaultKind::DropBlock, 0)
                                    << " Backup stopped at block 1 of 15: nothing was written."
                                    << "backup stopped at block 1 of 15: no answer; nothing was written"
                                    << QStringList{} << QStringList{"backup stopped at block 1: no answer"};
    QTest::newRow("backup not kept") << Op::Write << Backup << true << true << none
                                     << " Backup not saved (" + notDir + "): nothing was written."
                                     << "backup not saved (" + notDir + "): nothing was written" << QStringList{}
                                     << QStringList{"backup not kept: " + notDir};
    QTest::newRow("first read stopped, changed only")
        << Op::Write << Changed << true << false << f(FaultKind::DropBlock, 0)
        << " Read stopped at block 1 of 15: nothing was written."
        << "read stopped at block 1 of 15: no answer; nothing was written" << QStringList{}
        << QStringList{"read stopped at block 1: no answer"};
    const QString held = QStringLiteral("Write: the module already holds this parameter set.");
    QTest::newRow("already held, changed only")
        << Op::Write << (Changed | Verify) << false << false << none << " " + held
        << "write: the module already holds this file" << QStringList{"write " + held}
        << QStringList{"read complete", "write nothing to write: the module holds it"};
    QTest::newRow("already held, backup, changed only")
        << Op::Write << (Changed | Backup) << false << false << none << " " + held + " Backup in BACKUP."
        << "write: the module already holds this file; backup in BACKUP" << QStringList{"backup ", "write " + held}
        << QStringList{"backup complete", "write nothing to write: the module holds it"};
}

void TestExchangeTexts::everyEnding()
{
    QFETCH(Op, op);
    QFETCH(int, checks);
    QFETCH(bool, edited);
    QFETCH(bool, blocked);
    QFETCH(QList<Fault>, faults);
    QFETCH(QString, window);
    QFETCH(QString, line);
    QFETCH(QStringList, history);
    QFETCH(QStringList, site);

    if (edited) {
        FieldModel::store(m_image, *FieldModel::findField(u"USER1"), QStringLiteral("0612345678")); // block 1
        FieldModel::store(m_image, *FieldModel::findField(u"NETPREFIX"), QString()); // block 2, same value
    }
    if (blocked)
        QVERIFY(ParameterFile::save(historyFolder(), m_image).ok);
    for (const Fault &fault : faults)
        m_line->module.arm(fault);
    ModuleOperations operations(*m_transfer, QStringLiteral("COM7"), History::Store(historyFolder()));
    Stages stages(m_line->module);
    operations.attach(&stages);

    QString windowText, lineText;
    switch (op) {
    case Op::Read: {
        const ExchangeRecord r = operations.read();
        windowText = outcomeText(r);
        lineText = outcomeText(r, OutcomeForm::Line);
        QCOMPARE(r.history.ok(), true);
        break;
    }
    case Op::Compare: {
        const ExchangeRecord r = operations.compare(m_image, CompareWith::File);
        lineText = outcomeText(r, OutcomeForm::Line);
        ExchangeRecord inWindow = r; // the window holds the module against the last read or written set
        inWindow.against = CompareWith::LastTransfer;
        windowText = outcomeText(inWindow);
        break;
    }
    case Op::Write: {
        CheckedWriteOptions options;
        options.verify = checks & 1;
        options.backup = checks & 2;
        options.changedOnly = checks & 4;
        const WriteOutcome r = operations.write(options);
        windowText = outcomeText(r);
        lineText = outcomeText(r, OutcomeForm::Line);
        line.replace(QStringLiteral("BACKUP"), r.backupPath);
        window.replace(QStringLiteral("BACKUP"), QFileInfo(r.backupPath).fileName());
        break;
    }
    }
    QCOMPARE(windowText, window);
    QCOMPARE(lineText, line);
    QCOMPARE(historyEntries(), history);
    QCOMPARE(stages.texts, site);
}

void TestExchangeTexts::backupIsHandedOnBeforeTheFirstWrite()
{
    FieldModel::store(m_image, *FieldModel::findField(u"USER1"), QStringLiteral("0612345678"));
    ModuleOperations operations(*m_transfer, QStringLiteral("COM7"), History::Store(historyFolder()));
    Stages stages(m_line->module);
    operations.attach(&stages);
    CheckedWriteOptions options;
    options.backup = true;
    options.verify = true;
    QVERIFY(operations.write(options).succeeded());
    QCOMPARE(stages.texts.size(), 3);
    // Nothing was stored in the module when the backup was handed on; all
    // 15 blocks by the write's own record.
    QCOMPARE(stages.storedWhenHanded, (QList<int>{0, 15, 15}));
    // Each stage has its own time, in order, and its own image.
    QVERIFY(stages.records[0].when <= stages.records[1].when && stages.records[1].when <= stages.records[2].when);
    QVERIFY(stages.records[0].image && stages.records[1].image && stages.records[2].image);
    QVERIFY(std::all_of(stages.records[0].image->begin(), stages.records[0].image->begin() + 960,
                        [](std::uint8_t b) { return b == 0xFF; }));
    QVERIFY(*stages.records[1].image == m_image);
    QVERIFY(std::equal(m_image.begin(), m_image.begin() + 960, stages.records[2].image->begin()));
}

void TestExchangeTexts::withoutConnectionNothingIsKept()
{
    m_transfer->Link = {};
    ModuleOperations operations(*m_transfer, QStringLiteral("COM7"), History::Store(historyFolder()));
    Stages stages(m_line->module);
    operations.attach(&stages);
    // The window's line says nothing was sent; the command line says nothing.
    QCOMPARE(outcomeText(operations.read()), QStringLiteral(" Read: nothing was sent: no serial connection."));
    QCOMPARE(outcomeText(operations.compare(m_image, CompareWith::File), OutcomeForm::Line), QString());
    CheckedWriteOptions options;
    options.backup = true;
    QCOMPARE(outcomeText(operations.write(options)), QStringLiteral(" Write: nothing was sent: no serial connection."));
    QVERIFY(stages.texts.isEmpty());
    QVERIFY(historyEntries().isEmpty());
}

QTEST_GUILESS_MAIN(TestExchangeTexts)
#include "tst_exchangetexts.moc"
