// The transfer window's outcome line, its differences list, and the write
// with verify and backup, against the module simulator engine in-process.

#include "params/Differences.h"
#include "params/Download.h"
#include "params/ParameterFile.h"

#include "common/EngineLine.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>

#include <memory>
#include <optional>

namespace {

enum class Op { Read, Compare, Write, Open, Save };

// Image bytes a change lands on: the first byte of the n-th field that starts
// in the block (or -1), and the first byte outside every field.
int fieldByteIn(int block, int n = 0)
{
    for (const EEAddr::Field &f : FieldModel::namedFields())
        if (f.offset >= block * 64 && f.offset < block * 64 + 64 && n-- == 0)
            return f.offset;
    return -1;
}

int uncoveredByte()
{
    std::array<bool, 960> covered{};
    for (const EEAddr::Field &f : FieldModel::namedFields())
        for (int i = f.offset; i < f.offset + f.length && i < 960; ++i)
            covered[std::size_t(i)] = true;
    return int(std::find(covered.begin(), covered.end(), false) - covered.begin());
}

} // namespace

Q_DECLARE_METATYPE(Op)
Q_DECLARE_METATYPE(std::optional<Fault>)

class TestTransferWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void outcomeLine_data();
    void outcomeLine();
    void noConnectionLeavesTheLine();
    void differencesOfACompare();
    void verifyListsWhatWasKept();
    void backupIsKeptInTheHistory();
    void backupRefusesToWrite_data();
    void backupRefusesToWrite();
    void barRunsOncePerSequence();
    void checksSurviveARestart();

private:
    void changeModule(const QList<int> &bytes)
    {
        for (int i : bytes)
            m_line->module.memory[std::size_t(i)] ^= 0x5A;
    }
    QString historyPath() const { return m_home.path() + QStringLiteral("/data/quelmar/history"); }
    QStringList historyFiles() const { return QDir(historyPath()).entryList(QDir::Files); }
    bool barIsRed() const
    {
        return m_form->Progress->palette().color(QPalette::Highlight) == QColor::fromRgb(Transfer::Red);
    }

    QTemporaryDir m_home;
    std::unique_ptr<EngineLine> m_line;
    TFormDownload *m_form = nullptr;
    QStringList m_messages;
};

void TestTransferWindow::initTestCase()
{
    QVERIFY(m_home.isValid());
    qputenv("HOME", m_home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (m_home.path() + QStringLiteral("/config")).toLocal8Bit());
    qputenv("XDG_DATA_HOME", (m_home.path() + QStringLiteral("/data")).toLocal8Bit());
}

void TestTransferWindow::init()
{
    QFile::remove(m_home.path() + QStringLiteral("/config/quelmar/QuelmarSetup.conf"));
    QDir(historyPath()).removeRecursively();
    QFile::remove(historyPath());
    m_line = std::make_unique<EngineLine>();
    for (std::size_t i = 0; i < m_line->module.memory.size(); ++i)
        m_line->module.memory[i] = static_cast<std::uint8_t>(i * 7 + 3);
    m_form = new TFormDownload;
    m_form->Transfer.Link = m_line->link();
    m_form->PortName = [] { return QStringLiteral("COM7"); };
    m_messages.clear();
    m_form->MessageBox = [this](const QString &text) { m_messages << text; };
    m_form->ErrorBox = [this](const QString &text) { m_messages << text; };
    // What the module holds is what was last read: a compare finds nothing.
    std::copy(m_line->module.memory.begin(), m_line->module.memory.end(), TransferBuffer.begin());
    std::copy(m_line->module.memory.begin(), m_line->module.memory.end(), ParameterImage.begin());
}

void TestTransferWindow::cleanup()
{
    delete m_form;
    m_form = nullptr;
    m_line.reset();
}

void TestTransferWindow::outcomeLine_data()
{
    QTest::addColumn<Op>("op");
    QTest::addColumn<std::optional<Fault>>("fault");
    QTest::addColumn<int>("closeAfterFrames");
    QTest::addColumn<QList<int>>("changed");
    QTest::addColumn<bool>("verify");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("red");

    const auto fault = [](FaultKind kind, int block) { return std::optional<Fault>(Fault{kind, block, 0, 0.0}); };
    const std::optional<Fault> none;
    const QList<int> same;
    const QList<int> three{fieldByteIn(0), fieldByteIn(7), fieldByteIn(14)};
    const QList<int> inBlock9{fieldByteIn(9), fieldByteIn(9, 1)};
    // Rows of the outcome table, in its order. 7 frames answer a block.
    QTest::newRow("read, all") << Op::Read << none << 0 << same << false << " Read: 15 of 15 blocks." << false;
    QTest::newRow("read, no answer") << Op::Read << fault(FaultKind::DropBlock, 3) << 0 << same << false
                                     << " Read stopped at block 4 of 15: no answer." << true;
    QTest::newRow("read, other block") << Op::Read << fault(FaultKind::WrongAddress, 2) << 0 << same << false
                                       << " Read stopped at block 3 of 15: the module answered for block 4." << true;
    QTest::newRow("read, port closed") << Op::Read << none << 14 << same << false
                                       << " Read stopped at block 3 of 15: the port is closed." << true;
    QTest::newRow("compare, port closed") << Op::Compare << none << 7 << same << false
                                          << " Compare stopped at block 2 of 15: the port is closed." << true;
    QTest::newRow("write, port closed") << Op::Write << none << 5 << same << false
                                        << " Write stopped at block 6 of 15: the port is closed." << true;
    QTest::newRow("compare, equal") << Op::Compare << none << 0 << same << false
                                    << " Compare: the module holds the last read or written data." << false;
    QTest::newRow("compare, three fields") << Op::Compare << none << 0 << three << false
                                           << " Compare: 3 fields differ." << true;
    QTest::newRow("compare, one field") << Op::Compare << none << 0 << QList<int>{fieldByteIn(5)} << false
                                        << " Compare: 1 field differs." << true;
    QTest::newRow("compare, no answer") << Op::Compare << fault(FaultKind::DropBlock, 0) << 0 << same << false
                                        << " Compare stopped at block 1 of 15: no answer." << true;
    QTest::newRow("compare, other block")
        << Op::Compare << fault(FaultKind::WrongAddress, 14) << 0 << same << false
        << " Compare stopped at block 15 of 15: the module answered for block 1." << true;
    QTest::newRow("write, all") << Op::Write << none << 0 << three << false
                                << " Write: 15 of 15 blocks acknowledged." << false;
    QTest::newRow("write, no acknowledgement") << Op::Write << fault(FaultKind::NoAck, 6) << 0 << same << false
                                               << " Write stopped at block 7 of 15: no acknowledgement." << true;
    QTest::newRow("write, verified") << Op::Write << none << 0 << three << true
                                     << " Write: 15 of 15 blocks acknowledged and verified." << false;
    // Block 9 keeps its old data, which differs in two fields.
    QTest::newRow("write, verify differs") << Op::Write << fault(FaultKind::KeepOld, 9) << 0 << inBlock9 << true
                                           << " Verify: 2 fields differ." << true;
    QTest::newRow("file loaded") << Op::Open << none << 0 << same << false << " Read from file: set.QM3." << false;
    QTest::newRow("file saved") << Op::Save << none << 0 << same << false << " Saved to file: set.QM3." << false;
}

void TestTransferWindow::outcomeLine()
{
    QFETCH(Op, op);
    QFETCH(std::optional<Fault>, fault);
    QFETCH(int, closeAfterFrames);
    QFETCH(QList<int>, changed);
    QFETCH(bool, verify);
    QFETCH(QString, text);
    QFETCH(bool, red);

    QVERIFY(!changed.contains(-1));
    QVERIFY(m_form->lbOutcome->text().isEmpty());
    changeModule(changed);
    if (fault)
        m_line->module.arm(*fault);
    m_line->closeAfterFrames = closeAfterFrames;
    m_form->cbVerify->setChecked(verify);
    const QString file = m_home.path() + QStringLiteral("/set.QM3");
    m_form->OpenDialog1 = m_form->SaveDialog1 = [file] { return file; };
    switch (op) {
    case Op::Read: m_form->btRead->click(); break;
    case Op::Compare: m_form->btCompare->click(); break;
    case Op::Write: m_form->btWrite->click(); break;
    case Op::Save: m_form->btSave->click(); break;
    case Op::Open:
        QVERIFY(ParameterFile::Save(file, ParameterImage).ok);
        m_form->btOpen->click();
        break;
    }
    QCOMPARE(m_form->lbOutcome->text(), text);
    QCOMPARE(barIsRed(), red);
    // Only a difference found is listed; a port closed also shows its error.
    QCOMPARE(m_form->btDifferences->isEnabled(), text.contains(QLatin1String("differ")));
    QCOMPARE(m_messages.size(), closeAfterFrames ? 1 : 0);
}

void TestTransferWindow::noConnectionLeavesTheLine()
{
    m_form->btRead->click();
    const QString before = m_form->lbOutcome->text();
    m_line->open = false;
    for (QPushButton *b : {m_form->btRead, m_form->btCompare, m_form->btWrite})
        b->click();
    QCOMPARE(m_messages, QStringList(3, QStringLiteral(" No serial connection.")));
    QCOMPARE(m_form->lbOutcome->text(), before);
}

void TestTransferWindow::differencesOfACompare()
{
    const int uncovered = uncoveredByte();
    QVERIFY(uncovered < 960);
    // Two of the fields lie in the last blocks: the list covers all 15.
    const QList<int> fields{fieldByteIn(1), fieldByteIn(12), fieldByteIn(14)};
    changeModule(fields + QList<int>{uncovered});
    m_form->btCompare->click();
    QCOMPARE(m_form->lbOutcome->text(), QStringLiteral(" Compare: 4 fields differ."));
    // The compare's own rules stay: TransferBuffer untouched, image kept.
    QVERIFY(!std::equal(TransferBuffer.begin(), TransferBuffer.end(), m_line->module.memory.begin()));

    m_form->btDifferences->click();
    TFormDifferences *window = m_form->FormDifferences;
    QVERIFY(window->isVisible());
    QVERIFY(!window->isModal());
    QCOMPARE(window->windowTitle(), QStringLiteral("Quelmar5 - Differences"));
    QTableWidget *list = window->lvDifferences;
    QCOMPARE(list->rowCount(), 4);
    QCOMPARE(list->horizontalHeaderItem(3)->text(), QStringLiteral("Module"));
    QCOMPARE(list->horizontalHeaderItem(4)->text(), QStringLiteral("Last read or written"));
    for (int r = 0; r < 3; ++r) {
        const EEAddr::Field *f = nullptr;
        for (const EEAddr::Field &g : FieldModel::namedFields())
            if (g.offset == fields[r])
                f = &g;
        QVERIFY(f);
        QCOMPARE(list->item(r, 0)->text(), FieldModel::pageCaption(f->page));
        QCOMPARE(list->item(r, 1)->text(), FieldModel::labelOf(*f));
        QCOMPARE(list->item(r, 2)->text(), FieldModel::nameOf(*f));
        QVERIFY(list->item(r, 3)->text() != list->item(r, 4)->text());
    }
    QCOMPARE(list->item(3, 1)->text(), QStringLiteral("byte %1").arg(uncovered));
    QCOMPARE(list->item(3, 3)->text(),
             QStringLiteral("%1").arg(m_line->module.memory[std::size_t(uncovered)], 2, 16, QLatin1Char('0')).toUpper());

    window->btCopy->click();
    const QStringList lines = QApplication::clipboard()->text().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 5);
    QCOMPARE(lines[0], QStringLiteral("Page\tField\tName\tModule\tLast read or written"));
    QCOMPARE(lines[4].split(QLatin1Char('\t')).mid(1, 1), QStringList{list->item(3, 1)->text()});

    // The next operation takes the list away.
    m_form->btRead->click();
    QVERIFY(!m_form->btDifferences->isEnabled());
    QVERIFY(!window->isVisible());
}

void TestTransferWindow::verifyListsWhatWasKept()
{
    const int byte = fieldByteIn(9);
    changeModule({byte});
    const std::uint8_t old = m_line->module.memory[std::size_t(byte)];
    m_line->module.arm({FaultKind::KeepOld, 9, 0, 0.0});
    m_form->cbVerify->setChecked(true);
    m_form->btWrite->click();
    QCOMPARE(m_form->lbOutcome->text(), QStringLiteral(" Verify: 1 field differs."));
    // TransferBuffer holds what was written, as after a plain write.
    QVERIFY(std::equal(TransferBuffer.begin(), TransferBuffer.end(), ParameterImage.begin()));
    QVERIFY(m_line->module.memory[std::size_t(byte)] == old);
    m_form->btDifferences->click();
    QTableWidget *list = m_form->FormDifferences->lvDifferences;
    QCOMPARE(list->rowCount(), 1);
    QCOMPARE(list->horizontalHeaderItem(4)->text(), QStringLiteral("Written"));
}

void TestTransferWindow::backupIsKeptInTheHistory()
{
    const auto before = m_line->module.memory;
    ParameterImage[0] ^= 0xFF;
    m_form->cbBackup->setChecked(true);
    m_form->btWrite->click();
    QCOMPARE(m_form->lbOutcome->text(), QStringLiteral(" Write: 15 of 15 blocks acknowledged."));
    // The backup, and the write that followed it.
    const QStringList files = historyFiles().filter(QStringLiteral("-backup-"));
    QCOMPARE(files.size(), 1);
    QCOMPARE(historyFiles().filter(QStringLiteral("-write-COM7")).size(), 1);
    QVERIFY2(QRegularExpression(QStringLiteral("^\\d{8}-\\d{6}-backup-COM7\\.QM3$")).match(files[0]).hasMatch(),
             qPrintable(files[0]));
    QFile file(historyPath() + QLatin1Char('/') + files[0]);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray kept = file.readAll();
    QCOMPARE(kept.size(), 1088);
    QCOMPARE(kept.left(960), QByteArray(reinterpret_cast<const char *>(before.data()), 960));
    QCOMPARE(m_line->module.memory[0], ParameterImage[0]);
}

void TestTransferWindow::backupRefusesToWrite_data()
{
    QTest::addColumn<bool>("answers");
    QTest::addColumn<QString>("text");
    QTest::newRow("module does not answer") << false << " Backup stopped at block 1 of 15: nothing was written.";
    // A file where the history folder should be.
    QTest::newRow("history cannot be written")
        << true << QStringLiteral(" Backup not saved (%1): nothing was written.").arg(ParameterFile::ErrorText(ENOTDIR));
}

void TestTransferWindow::backupRefusesToWrite()
{
    QFETCH(bool, answers);
    QFETCH(QString, text);
    if (!answers) {
        m_line->module.arm({FaultKind::DropBlock, 0, 0, 0.0});
    } else {
        QVERIFY(QDir().mkpath(QFileInfo(historyPath()).path()));
        QFile blocker(historyPath());
        QVERIFY(blocker.open(QIODevice::WriteOnly));
    }
    ParameterImage[0] ^= 0xFF;
    m_form->cbBackup->setChecked(true);
    m_form->btWrite->click();
    QCOMPARE(m_form->lbOutcome->text(), text);
    QVERIFY(barIsRed());
    QCOMPARE(m_line->module.counters().writesStored, 0);
    QVERIFY(historyFiles().isEmpty());
}

void TestTransferWindow::barRunsOncePerSequence()
{
    QList<int> positions;
    connect(m_form->Progress, &QProgressBar::valueChanged, this, [&positions](int v) { positions << v; });
    m_form->Progress->setValue(5);
    positions.clear();
    m_form->cbVerify->setChecked(true);
    m_form->cbBackup->setChecked(true);
    m_form->btWrite->click();
    QCOMPARE(m_form->lbOutcome->text(), QStringLiteral(" Write: 15 of 15 blocks acknowledged and verified."));
    QList<int> once{0};
    for (int p = 1; p <= 12; ++p)
        once << p;
    QCOMPARE(positions, once + once + once);
}

void TestTransferWindow::checksSurviveARestart()
{
    QVERIFY(!m_form->cbVerify->isChecked());
    QVERIFY(!m_form->cbBackup->isChecked());
    QCOMPARE(m_form->cbVerify->text(), QStringLiteral("Verify after writing"));
    QCOMPARE(m_form->cbBackup->text(), QStringLiteral("Back up the module before writing"));
    m_form->cbBackup->setChecked(true);
    delete m_form;
    m_form = new TFormDownload;
    QVERIFY(QFile::exists(m_home.path() + QStringLiteral("/config/quelmar/QuelmarSetup.conf")));
    QVERIFY(!m_form->cbVerify->isChecked());
    QVERIFY(m_form->cbBackup->isChecked());
    m_form->cbVerify->setChecked(true);
    m_form->cbBackup->setChecked(false);
    delete m_form;
    m_form = new TFormDownload;
    QVERIFY(m_form->cbVerify->isChecked());
    QVERIFY(!m_form->cbBackup->isChecked());
}

QTEST_MAIN(TestTransferWindow)
#include "tst_transferwindow.moc"
