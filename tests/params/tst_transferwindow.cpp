// The transfer window's outcome line, its differences list, and the write
// with verify and backup, against the module simulator engine in-process.

#include "params/Differences.h"
#include "params/Download.h"
#include "params/ImageState.h"
#include "params/ParameterFile.h"

#include "common/EngineLine.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QHeaderView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <memory>
#include <optional>

namespace {

enum class Op { Read, Compare, Write, VerifiedWrite, Open, Save, EditedCompare };

// The first byte of the n-th field that starts in the block, or -1.
int fieldByteIn(int block, int n = 0)
{
    for (const EEAddr::Field &f : FieldModel::namedFields())
        if (f.offset >= block * 64 && f.offset < block * 64 + 64 && n-- == 0)
            return f.offset;
    return -1;
}

// Gives the field another value. Flipping its bytes may not: a length byte
// past the field's end reads as empty either way, which is a field stored
// differently, not one that differs.
void changeValue(std::span<std::uint8_t> memory, const EEAddr::Field &f)
{
    const FieldModel::FieldValue value = FieldModel::Decode(memory, f);
    FieldModel::FieldValue other;
    if (const auto *text = std::get_if<QString>(&value)) {
        const QString a = f.encoding == EEAddr::Encoding::EventCode ? QStringLiteral("1234") : QStringLiteral("1");
        other = *text == a ? QStringLiteral("2") + a.mid(1) : a;
    } else if (const auto *number = std::get_if<int>(&value)) {
        other = *number == 0 ? 1 : 0;
    } else if (const auto *on = std::get_if<bool>(&value)) {
        other = !*on;
    } else {
        FieldModel::Octets octets = std::get<FieldModel::Octets>(value);
        octets[3] ^= 1;
        other = octets;
    }
    FieldModel::store(memory, f, other);
}

int uncoveredByte()
{
    std::array<bool, 960> covered{};
    for (const EEAddr::Field &f : FieldModel::namedFields())
        std::fill_n(covered.begin() + f.offset, std::min(f.length, 960 - f.offset), true);
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
    void cleanup() { delete m_form; }

    void outcomeLine_data();
    void outcomeLine();
    void differencesOfACompare();
    void storedDifferently();
    void differencesWindowFits();
    void backup_data();
    void backup();
    void checksSurviveARestart();
    void repeatedBlocksAreCounted();
    void changedBlocksOnly();

private:
    void run(Op op, const QList<int> &changed, std::optional<Fault> fault = {})
    {
        for (int i : changed) {
            const auto fields = FieldModel::namedFields();
            const auto f = std::find_if(fields.begin(), fields.end(), [i](const EEAddr::Field &g) { return g.offset == i; });
            if (f != fields.end())
                changeValue(m_line->module.memory, *f);
            else
                m_line->module.memory[std::size_t(i)] ^= 0x5A;
        }
        if (fault)
            m_line->module.arm(*fault);
        m_form->cbVerify->setChecked(op == Op::VerifiedWrite);
        // The tool's set changed since the last exchange, not in the module.
        if (op == Op::EditedCompare) {
            ImageBytes stored = workingImage().bytes();
            stored[std::size_t(fieldByteIn(3))] ^= 0x01;
            workingImage().storeFromEditor(stored);
        }
        const QString file = m_home.filePath(QStringLiteral("set.QM3"));
        m_form->OpenDialog1 = m_form->SaveDialog1 = [file] { return file; };
        if (op == Op::Open)
            QVERIFY(ParameterFile::save(file, ParameterImage).ok);
        QPushButton *buttons[] = {m_form->btRead, m_form->btCompare, m_form->btWrite,  m_form->btWrite,
                                  m_form->btOpen, m_form->btSave,    m_form->btCompare};
        buttons[int(op)]->click();
    }
    QString history() const { return m_home.filePath(QStringLiteral("data/quelmar/history")); }
    bool barIsRed() const { return m_form->Progress->palette().color(QPalette::Highlight) == QColor(Transfer::Red); }

    QTemporaryDir m_home;
    std::unique_ptr<EngineLine> m_line;
    TFormDownload *m_form = nullptr;
    QStringList m_messages;
};

void TestTransferWindow::initTestCase()
{
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home.filePath(QStringLiteral("config"))));
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_home.filePath(QStringLiteral("data"))));
}

void TestTransferWindow::init()
{
    QFile::remove(m_home.filePath(QStringLiteral("config/quelmar/QuelmarSetup.conf")));
    QDir(history()).removeRecursively();
    QFile::remove(history());
    m_line = std::make_unique<EngineLine>();
    for (std::size_t i = 0; i < m_line->module.memory.size(); ++i)
        m_line->module.memory[i] = static_cast<std::uint8_t>(i * 7 + 3);
    m_form = new TFormDownload;
    m_form->Transfer.Link = m_line->link();
    m_form->Transfer.setRetries(0); // the single try: every fault ends the sequence
    m_form->PortName = [] { return QStringLiteral("COM7"); };
    m_messages.clear();
    m_form->MessageBox = m_form->ErrorBox = [this](const QString &text) { m_messages << text; };
    // The module holds what was last read: a compare finds nothing.
    std::copy(m_line->module.memory.begin(), m_line->module.memory.end(), TransferBuffer.begin());
    std::copy(m_line->module.memory.begin(), m_line->module.memory.end(), ParameterImage.begin());
    parameterImageState().readFromModule(QStringLiteral("COM7"));
}

void TestTransferWindow::outcomeLine_data()
{
    QTest::addColumn<Op>("op");
    QTest::addColumn<std::optional<Fault>>("fault");
    QTest::addColumn<int>("closeAfterFrames"); // 7 frames answer a block; -1: never open
    QTest::addColumn<QList<int>>("changed");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("red");

    const auto row = [](const char *name, Op op, std::optional<FaultKind> kind, int block, int close,
                        const QList<int> &changed, const char *text, bool red) {
        std::optional<Fault> fault;
        if (kind)
            fault = Fault{*kind, block, 0, 0.0};
        QTest::newRow(name) << op << fault << close << changed << QString::fromLatin1(text) << red;
    };
    using F = FaultKind;
    const QList<int> three{fieldByteIn(0), fieldByteIn(7), fieldByteIn(14)};
    row("read", Op::Read, {}, 0, 0, {}, " Read: 15 of 15 blocks.", false);
    row("read, no answer", Op::Read, F::DropBlock, 3, 0, {}, " Read stopped at block 4 of 15: no answer.", true);
    row("read, other block", Op::Read, F::WrongAddress, 2, 0, {},
        " Read stopped at block 3 of 15: the module answered for block 4.", true);
    row("read, port closed", Op::Read, {}, 0, 14, {}, " Read stopped at block 3 of 15: the port is closed.", true);
    row("compare, port closed", Op::Compare, {}, 0, 7, {}, " Compare stopped at block 2 of 15: the port is closed.", true);
    row("write, port closed", Op::Write, {}, 0, 5, {}, " Write stopped at block 6 of 15: the port is closed. Blocks 1 to 5 were written: the module may be half-written.", true);
    row("compare, equal", Op::Compare, {}, 0, 0, {}, " Compare: the module holds the last read or written data.", false);
    row("compare, three fields", Op::Compare, {}, 0, 0, three, " Compare: 3 fields differ.", true);
    row("compare, one field", Op::Compare, {}, 0, 0, {fieldByteIn(5)}, " Compare: 1 field differs.", true);
    row("compare, the tool changed since", Op::EditedCompare, {}, 0, 0, {},
        " Compare: the module holds the last read or written data. The parameter set in the tool was changed since: "
        "not in the module.",
        false);

    row("compare, no answer", Op::Compare, F::DropBlock, 0, 0, {}, " Compare stopped at block 1 of 15: no answer.", true);
    row("compare, other block", Op::Compare, F::WrongAddress, 14, 0, {},
        " Compare stopped at block 15 of 15: the module answered for block 1.", true);
    row("write", Op::Write, {}, 0, 0, three, " Write: 15 of 15 blocks acknowledged.", false);
    row("write, no acknowledgement", Op::Write, F::NoAck, 6, 0, {}, " Write stopped at block 7 of 15: no acknowledgement. Blocks 1 to 6 were written: the module may be half-written.", true);
    row("write, verified", Op::VerifiedWrite, {}, 0, 0, three, " Write: 15 of 15 blocks acknowledged and verified.", false);
    // Block 9 keeps its old data, which differs in two fields.
    row("write, verify differs", Op::VerifiedWrite, F::KeepOld, 9, 0, {fieldByteIn(9), fieldByteIn(9, 1)},
        " Verify: 2 fields differ.", true);
    row("file loaded", Op::Open, {}, 0, 0, {}, " Read from file: set.QM3.", false);
    row("file saved", Op::Save, {}, 0, 0, {}, " Saved to file: set.QM3.", false);
    // The message box, and a line that no longer shows the last operation.
    row("no serial connection", Op::Write, {}, 0, -1, {}, " Write: nothing was sent: no serial connection.", false);
}

void TestTransferWindow::outcomeLine()
{
    QFETCH(Op, op);
    QFETCH(std::optional<Fault>, fault);
    QFETCH(int, closeAfterFrames);
    QFETCH(QList<int>, changed);
    QFETCH(QString, text);
    QFETCH(bool, red);

    QVERIFY(!changed.contains(-1));
    QVERIFY(m_form->lbOutcome->text().isEmpty());
    m_line->closeAfterFrames = std::max(closeAfterFrames, 0);
    m_line->open = closeAfterFrames >= 0;
    run(op, changed, fault);
    QCOMPARE(m_form->lbOutcome->text(), text);
    QCOMPARE(barIsRed(), red);
    QCOMPARE(m_form->btDifferences->isEnabled(), text.contains(QLatin1String("differ")));
    // The list's last column is headed by what the module was compared with.
    if (m_form->btDifferences->isEnabled())
        QCOMPARE(m_form->FormDifferences->lvDifferences->horizontalHeaderItem(4)->text(),
                 op == Op::Compare || op == Op::EditedCompare ? "Last read or written" : "Written");
    // A port closed under a send also shows its error box.
    QCOMPARE(m_messages.size(), closeAfterFrames ? 1 : 0);
    QCOMPARE(m_messages.contains(QStringLiteral(" No serial connection.")), closeAfterFrames < 0);
}

void TestTransferWindow::differencesOfACompare()
{
    // Fields in the last blocks too: the list covers all 15 blocks.
    const QList<int> fields{fieldByteIn(1), fieldByteIn(12), fieldByteIn(14)};
    const int uncovered = uncoveredByte();
    const QString heading = QStringLiteral("Last read or written");
    QVERIFY(uncovered < 960);
    run(Op::Compare, fields + QList<int>{uncovered});
    QCOMPARE(m_form->lbOutcome->text(), QStringLiteral(" Compare: 4 fields differ."));
    m_form->btDifferences->click();
    TFormDifferences *window = m_form->FormDifferences;
    QVERIFY(window->isVisible() && !window->isModal());
    QCOMPARE(window->windowTitle(), QStringLiteral("Quelmar5 - Differences"));
    QTableWidget *list = window->lvDifferences;
    QCOMPARE(list->horizontalHeaderItem(3)->text(), QStringLiteral("Module"));
    QCOMPARE(list->horizontalHeaderItem(4)->text(), heading);
    QCOMPARE(list->rowCount(), 4);
    for (int r = 0; r < 3; ++r) {
        const auto f = std::find_if(FieldModel::namedFields().begin(), FieldModel::namedFields().end(),
                                    [&](const EEAddr::Field &g) { return g.offset == fields[r]; });
        QCOMPARE(list->item(r, 0)->text(), FieldModel::pageCaption(f->page));
        QCOMPARE(list->item(r, 1)->text(), FieldModel::labelOf(*f));
        QCOMPARE(list->item(r, 2)->text(), FieldModel::nameOf(*f));
        QVERIFY(list->item(r, 3)->text() != list->item(r, 4)->text());
    }
    QCOMPARE(list->item(3, 1)->text(), QStringLiteral("byte %1").arg(uncovered));
    QCOMPARE(list->item(3, 3)->text().toUInt(nullptr, 16), m_line->module.memory[std::size_t(uncovered)]);
    window->btCopy->click();
    const QStringList lines = QApplication::clipboard()->text().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), list->rowCount() + 1);
    QCOMPARE(lines[0], QStringLiteral("Page\tField\tName\tModule\t") + heading);
    QCOMPARE(lines[1].split(QLatin1Char('\t'))[2], list->item(0, 2)->text());
    // The next operation takes the list away.
    m_form->btRead->click();
    QVERIFY(!m_form->btDifferences->isEnabled() && !window->isVisible());
}

void TestTransferWindow::storedDifferently()
{
    // The module holds the last exchange but for one field, and the dial
    // prefix the buffer holds erased is stored empty there: same value.
    const EEAddr::Field &prefix = *FieldModel::findField(u"NETPREFIX");
    std::fill_n(TransferBuffer.begin() + prefix.offset, prefix.length, std::uint8_t(0xFF));
    FieldModel::store(m_line->module.memory, prefix, QString());
    run(Op::Compare, {fieldByteIn(5)});
    QCOMPARE(m_form->lbOutcome->text(), QStringLiteral(" Compare: 1 field differs (1 stored differently)."));
    QVERIFY(barIsRed());
    m_form->btDifferences->click();
    QTableWidget *list = m_form->FormDifferences->lvDifferences;
    QCOMPARE(list->rowCount(), 3);
    QCOMPARE(list->item(1, 0)->text(), QStringLiteral("stored differently, same value"));
    QCOMPARE(list->item(2, 2)->text(), QStringLiteral("NETPREFIX"));
    const QColor grey = list->palette().color(QPalette::Disabled, QPalette::Text);
    QCOMPARE(list->item(2, 3)->foreground().color(), grey);
    QVERIFY(list->item(0, 3)->foreground().color() != grey);
}

void TestTransferWindow::differencesWindowFits()
{
    TFormDifferences window;
    ImageBytes a, b;
    a.fill(0xFF);
    b = a;
    FieldModel::store(b, *FieldModel::findField(u"NETPREFIX"), QStringLiteral("06"));
    FieldModel::store(b, *FieldModel::findField(u"SMS1"), QStringLiteral("Riasztás bejárat IN1"));
    b[EEAddr::GPRSmode] = 0x02; // off, as 0xFF is: stored differently
    window.showDifferences(differenceRows(FieldModel::DiffImages(a, b), a, b), QStringLiteral("Module"),
                           QStringLiteral("Written"));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    // Every column in sight: the label column may be elided, the others not.
    QTableWidget *list = window.lvDifferences;
    QCOMPARE(list->horizontalScrollBar()->maximum(), 0);
    for (int r = 0; r < list->rowCount(); ++r)
        for (int c : {0, 2, 3, 4})
            if (list->item(r, c) && list->columnSpan(r, c) == 1)
                QVERIFY2(list->horizontalHeader()->sectionSize(c)
                             > list->fontMetrics().horizontalAdvance(list->item(r, c)->text()),
                         qPrintable(list->item(r, c)->text()));
    QVERIFY(window.frameGeometry().width() <= window.screen()->availableGeometry().width());

    window.showDifferences({}, QStringLiteral("Module"), QStringLiteral("Written"));
    QVERIFY(!list->isVisible());
    QVERIFY(window.lbNoDifferences->isVisible());
    QCOMPARE(window.lbNoDifferences->text(), QStringLiteral(" No differences."));
}

void TestTransferWindow::backup_data()
{
    QTest::addColumn<std::optional<Fault>>("fault");
    QTest::addColumn<bool>("blocked"); // a file where the history folder belongs
    QTest::addColumn<QString>("text");
    const std::optional<Fault> none;
    // BACKUP: the backup file's name, as the history keeps it.
    QTest::newRow("kept") << none << false << " Write: 15 of 15 blocks acknowledged. Backup in BACKUP.";
    // The longest line there is: it must fit the outcome line whole.
    QTest::newRow("half-written") << std::optional<Fault>(Fault{FaultKind::NoAck, 6, 0, 0.0}) << false
                                  << " Write stopped at block 7 of 15: no acknowledgement. Blocks 1 to 6 were "
                                     "written: the module may be half-written. Backup in BACKUP.";
    QTest::newRow("no answer") << std::optional<Fault>(Fault{FaultKind::DropBlock, 0, 0, 0.0}) << false
                               << " Backup stopped at block 1 of 15: nothing was written.";
    QTest::newRow("history blocked") << none << true
                                     << QStringLiteral(" Backup not saved (%1): nothing was written.")
                                            .arg(ParameterFile::errorText(ENOTDIR));
}

void TestTransferWindow::backup()
{
    QFETCH(std::optional<Fault>, fault);
    QFETCH(bool, blocked);
    QFETCH(QString, text);
    if (blocked) {
        QVERIFY(QDir().mkpath(QFileInfo(history()).path()));
        QFile file(history());
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    const QByteArray before(reinterpret_cast<const char *>(m_line->module.memory.data()), 960);
    QList<int> positions;
    m_form->Progress->setValue(5);
    connect(m_form->Progress, &QProgressBar::valueChanged, this, [&positions](int v) { positions << v; });
    ParameterImage[0] ^= 0xFF;
    m_form->cbBackup->setChecked(true);
    run(Op::Write, {}, fault);
    const QStringList backups = QDir(history()).entryList({QStringLiteral("*-backup-*.QM3")});
    QCOMPARE(m_form->lbOutcome->text(), QString(text).replace(QStringLiteral("BACKUP"), backups.value(0)));
    QVERIFY(m_form->lbOutcome->heightForWidth(m_form->lbOutcome->width()) <= m_form->lbOutcome->height());
    const bool halfWritten = fault && fault->kind == FaultKind::NoAck;
    const bool kept = (!fault || halfWritten) && !blocked; // the backup
    // The bar runs 0 to 12 once for the backup and once for the write.
    const QList<int> once{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    if (kept && !halfWritten)
        QCOMPARE(positions, once + once);
    QCOMPARE(barIsRed(), !kept || halfWritten);
    QCOMPARE(m_line->module.counters().writesStored, kept ? (halfWritten ? 7 : 15) : 0);
    // The backup, and the write that followed it.
    const QStringList all = QDir(history()).entryList(QDir::Files);
    const QStringList files = all.filter(QStringLiteral("-backup-"));
    QCOMPARE(files.size(), kept ? 1 : 0);
    QCOMPARE(all.filter(QStringLiteral("-write-COM7")).size(), kept ? 1 : 0);
    if (kept) {
        QVERIFY2(QRegularExpression(QStringLiteral("^\\d{8}-\\d{6}-backup-COM7\\.QM3$")).match(files[0]).hasMatch(),
                 qPrintable(files[0]));
        QFile file(QDir(history()).filePath(files[0]));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), before + QByteArray(128, '\0'));
    }
}

void TestTransferWindow::checksSurviveARestart()
{
    QVERIFY(!m_form->cbVerify->isChecked() && !m_form->cbBackup->isChecked() && !m_form->cbChangedOnly->isChecked());
    QCOMPARE(m_form->cbVerify->text() + m_form->cbBackup->text() + m_form->cbChangedOnly->text(),
             QStringLiteral("Verify after writingBack up the module before writingWrite only changed blocks"));
    for (const bool verify : {false, true}) {
        m_form->cbVerify->setChecked(verify);
        m_form->cbBackup->setChecked(!verify);
        m_form->cbChangedOnly->setChecked(verify);
        delete m_form;
        m_form = new TFormDownload;
        QVERIFY(QFile::exists(m_home.filePath(QStringLiteral("config/quelmar/QuelmarSetup.conf"))));
        QCOMPARE(m_form->cbVerify->isChecked(), verify);
        QCOMPARE(m_form->cbBackup->isChecked(), !verify);
        QCOMPARE(m_form->cbChangedOnly->isChecked(), verify);
    }
}

void TestTransferWindow::repeatedBlocksAreCounted()
{
    m_form->Transfer.setRetries(Transfer::MaxRetries);
    m_line->module.arm(Fault{FaultKind::Corrupt, 2, 0, 0.0});
    m_line->module.arm(Fault{FaultKind::DropBlock, 9, 0, 0.0});
    ParameterImage.fill(0);
    m_form->btRead->click();
    QCOMPARE(m_form->lbOutcome->text(), QStringLiteral(" Read: 15 of 15 blocks (2 repeated)."));
    QVERIFY(std::equal(m_line->module.memory.begin(), m_line->module.memory.end(), ParameterImage.begin()));
    QCOMPARE(m_form->Progress->value(), 12);
}

void TestTransferWindow::changedBlocksOnly()
{
    // One field within block 4 changed: the write reads 15 blocks, writes
    // one and reads that one back.
    changeValue(ParameterImage, *std::find_if(FieldModel::namedFields().begin(), FieldModel::namedFields().end(),
                                              [](const EEAddr::Field &f) {
                                                  return f.offset / 64 == 4 && (f.offset + f.length - 1) / 64 == 4;
                                              }));
    m_form->cbChangedOnly->setChecked(true);
    run(Op::VerifiedWrite, {});
    QCOMPARE(m_form->lbOutcome->text(), QStringLiteral(" Write: 1 of 15 blocks changed, acknowledged and verified."));
    QCOMPARE(m_line->module.counters().writesStored, 1);
    QCOMPARE(m_line->module.counters().readsAnswered, 16);
    QVERIFY(std::equal(m_line->module.memory.begin(), m_line->module.memory.end(), ParameterImage.begin()));
    QCOMPARE(m_form->Progress->value(), Transfer::BarMaximum);
    QVERIFY(!barIsRed());
}

QTEST_MAIN(TestTransferWindow)
#include "tst_transferwindow.moc"
