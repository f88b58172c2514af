// The read, compare and write sequences against the module simulator engine
// in-process, with the tool's own codec and dispatcher on this side.

#include "params/Transfer.h"

#include "common/EngineLine.h"
#include "link/FrameTrace.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <cerrno>
#include <ctime>
#include <optional>
#include <random>
#include <vector>

namespace {

constexpr int Blocks = 15;

ParameterBlock pattern(int seed)
{
    ParameterBlock block{};
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<std::uint8_t>(seed * 37 + static_cast<int>(i) * 7 + 3);
    return block;
}

struct Display : TransferDisplay
{
    int position = -1;
    std::uint32_t colour = 0;
    int firstRedAt = -1; // the position when the bar first turned red
    int disables = 0;
    int enables = 0;
    bool enabled = true;
    QStringList messages;
    QStringList errors;

    void DisableButtons() override
    {
        ++disables;
        enabled = false;
    }
    void EnableButtons() override
    {
        ++enables;
        enabled = true;
    }
    void setProgress(int p) override { position = p; }
    void SetBarColour(std::uint32_t rgb) override
    {
        colour = rgb;
        if (rgb == Transfer::Red && firstRedAt < 0)
            firstRedAt = position;
    }
    void showMessage(const QString &text) override { messages << text; }
    void showError(const QString &text) override { errors << text; }
};

enum class Op { Read, Compare, Write };

double cpuSeconds()
{
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

} // namespace

Q_DECLARE_METATYPE(Op)
Q_DECLARE_METATYPE(ParameterBlock)
Q_DECLARE_METATYPE(std::optional<Fault>)
Q_DECLARE_METATYPE(TransferOutcome)
Q_DECLARE_METATYPE(FaultKind)

class TestTransfer : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void outcomes_data();
    void outcomes();
    void notConnected_data();
    void notConnected();
    void portClosedDuringOperation_data();
    void portClosedDuringOperation();
    void lineDiesWhileWaiting_data();
    void lineDiesWhileWaiting();
    void writeThenCompareAgainstUnchangedModule();
    void messagesOfAWrite();
    void requestsOfARead();
    void traceOfARead();
    void lastDataPart_data();
    void lastDataPart();
    void waitSleepsBetweenEvents();
    void waitEndsWhenTheFlagIsSet();
    void oneRepeatRecoversABlockFault_data();
    void oneRepeatRecoversABlockFault();
    void moduleThatNeverAnswers_data();
    void moduleThatNeverAnswers();
    void completedReadsOnANoisyLineAreExact();
    void traceShowsEachRepeat_data();
    void traceShowsEachRepeat();
    void framesOfSeveralTries_data();
    void framesOfSeveralTries();

private:
    TransferOutcome run(Op op);
    QByteArray imageBytes() const { return QByteArray(reinterpret_cast<const char *>(m_image.data()), 1088); }
    QByteArray bufferBytes() const { return QByteArray(reinterpret_cast<const char *>(m_buffer.data()), 960); }
    QByteArray moduleBytes() const
    {
        return QByteArray(reinterpret_cast<const char *>(m_line->module.memory.data()), 960);
    }

    std::unique_ptr<EngineLine> m_line;
    std::unique_ptr<Display> m_display;
    std::unique_ptr<ParameterTransfer> m_transfer;
    ImageBytes m_image{};
    TransferBytes m_buffer{};
};

void TestTransfer::init()
{
    m_line = std::make_unique<EngineLine>();
    for (int b = 0; b < Blocks; ++b)
        m_line->module.setBlock(b, pattern(b));
    // The image and the buffer hold other data than the module.
    for (std::size_t i = 0; i < m_image.size(); ++i)
        m_image[i] = static_cast<std::uint8_t>(0xA0 ^ (i * 13));
    m_buffer.fill(0);

    m_display = std::make_unique<Display>();
    m_transfer = std::make_unique<ParameterTransfer>(*m_display, m_image, m_buffer);
    m_transfer->Link = m_line->link();
    m_transfer->setRetries(0); // the single try: every fault ends the sequence
}

void TestTransfer::cleanup()
{
    m_transfer.reset();
    m_display.reset();
    m_line.reset();
}

TransferOutcome TestTransfer::run(Op op)
{
    switch (op) {
    case Op::Read:
        return m_transfer->Read();
    case Op::Compare:
        return m_transfer->Compare();
    case Op::Write:
        break;
    }
    return m_transfer->Write();
}

// Buffer set-ups of a compare.
constexpr int BufferZero = -2;   // every block differs
constexpr int BufferModule = -1; // every block equal
// n >= 0: equal but for block n

void TestTransfer::outcomes_data()
{
    QTest::addColumn<Op>("op");
    QTest::addColumn<std::optional<Fault>>("fault");
    QTest::addColumn<int>("buffer");
    QTest::addColumn<TransferOutcome>("outcome");
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("firstRedAt"); // -1: stays green
    QTest::addColumn<int>("waitTicks");  // the time-out the row must sit out; 0: none

    const auto fault = [](FaultKind kind, int block) { return std::optional<Fault>(Fault{kind, block, 0, 0.0}); };
    const std::optional<Fault> none;
    using O = TransferOutcome;

    QTest::newRow("read ok") << Op::Read << none << BufferZero << O::Succeeded << 15 << -1 << 0;
    // A read or compare that stops ends red, at least at position 1; from
    // block 12 on the bar is full, so only the colour tells it from success.
    QTest::newRow("read no answer to block 4")
        << Op::Read << fault(FaultKind::DropBlock, 4) << BufferZero << O::Failed << 4 << 4 << Transfer::ReadTicks;
    QTest::newRow("read answer names block 4 for 3")
        << Op::Read << fault(FaultKind::WrongAddress, 3) << BufferZero << O::Failed << 3 << 3 << 0;
    QTest::newRow("read corrupted answer to block 6")
        << Op::Read << fault(FaultKind::Corrupt, 6) << BufferZero << O::Failed << 6 << 6 << Transfer::ReadTicks;
    QTest::newRow("read answer names block 1 for 0")
        << Op::Read << fault(FaultKind::WrongAddress, 0) << BufferZero << O::Failed << 1 << 1 << 0;
    for (int late : {12, 13, 14})
        QTest::addRow("read answer names another block for %d", late)
            << Op::Read << fault(FaultKind::WrongAddress, late) << BufferZero << O::Failed << late << late << 0;

    QTest::newRow("compare equal") << Op::Compare << none << BufferModule << O::Succeeded << 15 << -1 << 0;
    QTest::newRow("compare every block differs") << Op::Compare << none << BufferZero << O::Failed << 15 << 1 << 0;
    QTest::newRow("compare block 9 differs") << Op::Compare << none << 9 << O::Failed << 15 << 10 << 0;
    QTest::newRow("compare no answer to block 5")
        << Op::Compare << fault(FaultKind::DropBlock, 5) << BufferModule << O::Failed << 5 << 5
        << Transfer::ReadTicks;
    QTest::newRow("compare answer names another block for 13")
        << Op::Compare << fault(FaultKind::WrongAddress, 13) << BufferModule << O::Failed << 13 << 13 << 0;
    QTest::newRow("compare block 2 differs, block 7 misaddressed")
        << Op::Compare << fault(FaultKind::WrongAddress, 7) << 2 << O::Failed << 7 << 3 << 0;

    QTest::newRow("write ok") << Op::Write << none << BufferZero << O::Succeeded << 15 << -1 << 0;
    QTest::newRow("write block 0 not acknowledged")
        << Op::Write << fault(FaultKind::NoAck, 0) << BufferZero << O::Failed << 1 << 1 << Transfer::WriteTicks;
}

void TestTransfer::outcomes()
{
    QFETCH(Op, op);
    QFETCH(std::optional<Fault>, fault);
    QFETCH(int, buffer);
    QFETCH(TransferOutcome, outcome);
    QFETCH(int, position);
    QFETCH(int, firstRedAt);
    QFETCH(int, waitTicks);

    if (fault)
        m_line->module.arm(*fault);
    if (buffer != BufferZero) {
        std::copy_n(m_line->module.memory.begin(), 960, m_buffer.begin());
        if (buffer >= 0)
            m_buffer[static_cast<std::size_t>(buffer * 64 + 40)] ^= 0x01;
    }
    const QByteArray imageBefore = imageBytes();
    const QByteArray bufferBefore = bufferBytes();
    const QByteArray moduleBefore = moduleBytes();

    QElapsedTimer clock;
    clock.start();
    QCOMPARE(run(op), outcome);
    const qint64 elapsed = clock.elapsed();

    QCOMPARE(m_display->position, position);
    QCOMPARE(m_display->firstRedAt, firstRedAt);
    QCOMPARE(m_display->colour, firstRedAt < 0 ? Transfer::Green : Transfer::Red);
    QCOMPARE(m_display->disables, 1);
    QCOMPARE(m_display->enables, 1);
    QVERIFY(m_display->enabled);
    QVERIFY(m_display->messages.isEmpty());
    QVERIFY(m_display->errors.isEmpty());
    // A missing answer waits out its limit; a present one does not wait it.
    if (waitTicks > 0)
        QVERIFY2(elapsed >= waitTicks * Transfer::TickMs * 8 / 10, qPrintable(QString::number(elapsed)));

    switch (op) {
    case Op::Read: {
        // Blocks arrive into the buffer one by one, also when the read stops.
        const int arrived = fault ? fault->block : Blocks;
        QCOMPARE(bufferBytes().left(arrived * 64), moduleBefore.left(arrived * 64));
        QCOMPARE(bufferBytes().mid(arrived * 64), bufferBefore.mid(arrived * 64));
        if (outcome == TransferOutcome::Succeeded)
            QCOMPARE(imageBytes(), moduleBefore + QByteArray(128, '\0'));
        else
            QCOMPARE(imageBytes(), imageBefore);
        break;
    }
    case Op::Compare:
        QCOMPARE(imageBytes(), imageBefore);
        QCOMPARE(bufferBytes(), bufferBefore);
        break;
    case Op::Write: {
        QCOMPARE(imageBytes(), imageBefore);
        QCOMPARE(bufferBytes(), imageBefore.left(960));
        // A withheld acknowledgement still stores the block in the module.
        const int stored = outcome == TransferOutcome::Succeeded ? Blocks : position;
        QCOMPARE(moduleBytes().left(stored * 64), imageBefore.left(stored * 64));
        QCOMPARE(moduleBytes().mid(stored * 64), moduleBefore.mid(stored * 64));
        break;
    }
    }
}

void TestTransfer::notConnected_data()
{
    QTest::addColumn<Op>("op");
    QTest::addColumn<bool>("linked");
    QTest::newRow("read, port closed") << Op::Read << true;
    QTest::newRow("compare, port closed") << Op::Compare << true;
    QTest::newRow("write, port closed") << Op::Write << true;
    QTest::newRow("read, no link yet") << Op::Read << false;
}

void TestTransfer::notConnected()
{
    QFETCH(Op, op);
    QFETCH(bool, linked);
    m_line->open = false;
    if (!linked)
        m_transfer->Link = {};
    const QByteArray imageBefore = imageBytes();
    const QByteArray bufferBefore = bufferBytes();

    QCOMPARE(run(op), TransferOutcome::NotConnected);
    QCOMPARE(m_display->messages, QStringList{QStringLiteral(" No serial connection.")});
    QVERIFY(m_display->errors.isEmpty());
    QCOMPARE(m_display->position, -1);
    QCOMPARE(m_display->disables, 0);
    QCOMPARE(imageBytes(), imageBefore);
    QCOMPARE(bufferBytes(), bufferBefore);
    QVERIFY(m_line->sent.empty());
}

void TestTransfer::portClosedDuringOperation_data()
{
    QTest::addColumn<Op>("op");
    QTest::addColumn<int>("closeAfterFrames");
    QTest::addColumn<int>("position");
    QTest::newRow("read, after block 2") << Op::Read << 3 * 7 << 3;
    QTest::newRow("compare, after block 0") << Op::Compare << 7 << 1;
    QTest::newRow("write, after block 1") << Op::Write << 2 << 2;
}

void TestTransfer::portClosedDuringOperation()
{
    QFETCH(Op, op);
    QFETCH(int, closeAfterFrames);
    QFETCH(int, position);
    m_line->closeAfterFrames = closeAfterFrames;
    const QByteArray imageBefore = imageBytes();

    QElapsedTimer clock;
    clock.start();
    QCOMPARE(run(op), TransferOutcome::PortFailed);
    // The failed send ends it at once, not at a time-out.
    QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(m_display->errors, QStringList{QString::fromLocal8Bit(ESerialPort(ESerialPort::WriteFailed, EBADF).what())});
    QVERIFY(m_display->messages.isEmpty());
    QCOMPARE(m_display->colour, Transfer::Red);
    QCOMPARE(m_display->position, position);
    QVERIFY(m_display->enabled);
    QCOMPARE(m_display->enables, 1);
    QCOMPARE(imageBytes(), imageBefore);
}

void TestTransfer::lineDiesWhileWaiting_data()
{
    QTest::addColumn<Op>("op");
    QTest::addColumn<int>("dieAtFrame");
    QTest::addColumn<int>("position");
    QTest::addColumn<std::uint32_t>("colour");
    QTest::newRow("read, inside block 2's answer") << Op::Read << 2 * 7 + 4 << 2 << Transfer::Red;
    QTest::newRow("compare, before block 0's answer") << Op::Compare << 1 << 1 << Transfer::Red;
    QTest::newRow("write, before block 1's acknowledgement") << Op::Write << 2 << 1 << Transfer::Red;
}

void TestTransfer::lineDiesWhileWaiting()
{
    QFETCH(Op, op);
    QFETCH(int, dieAtFrame);
    QFETCH(int, position);
    QFETCH(std::uint32_t, colour);
    m_line->dieAtFrame = dieAtFrame;
    const QByteArray imageBefore = imageBytes();

    QElapsedTimer clock;
    clock.start();
    QCOMPARE(run(op), TransferOutcome::Failed);
    // Nothing can answer a closed port: the wait ends there, well before
    // its 5 s (read) or 8 s (write) time-out.
    QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
    // The window that closed the port reports it; the transfer adds nothing.
    QVERIFY(m_display->errors.isEmpty());
    QVERIFY(m_display->messages.isEmpty());
    QCOMPARE(m_display->position, position);
    QCOMPARE(m_display->colour, colour);
    QVERIFY(m_display->enabled);
    QCOMPARE(imageBytes(), imageBefore);
}

void TestTransfer::writeThenCompareAgainstUnchangedModule()
{
    const QByteArray image = imageBytes();
    QCOMPARE(m_transfer->Write(), TransferOutcome::Succeeded);
    QCOMPARE(moduleBytes(), image.left(960));
    QCOMPARE(m_line->module.counters().writesStored, Blocks);
    QCOMPARE(m_line->module.counters().writesRejected, 0);

    QCOMPARE(m_transfer->Compare(), TransferOutcome::Succeeded);
    QCOMPARE(m_display->position, 15);
    QCOMPARE(m_display->colour, Transfer::Green);
    QCOMPARE(imageBytes(), image);

    // The module changes behind the tool's back: the next compare turns red.
    m_line->module.memory[900] ^= 0xFF;
    QCOMPARE(m_transfer->Compare(), TransferOutcome::Failed);
    QCOMPARE(m_display->firstRedAt, 15);
    QCOMPARE(imageBytes(), image);
}

void TestTransfer::messagesOfAWrite()
{
    QCOMPARE(m_transfer->Write(), TransferOutcome::Succeeded);
    const std::vector<ModuleMessage> &sent = m_line->sent;
    QCOMPARE(sent.size(), std::size_t{Blocks * 7});
    for (int b = 0; b < Blocks; ++b) {
        ParameterBlock block;
        std::copy_n(m_image.begin() + b * 64, 64, block.begin());
        const ModuleMessage &command = sent[static_cast<std::size_t>(b * 7)];
        QCOMPARE(command[1], std::uint8_t{45});
        QCOMPARE((std::array<std::uint8_t, 5>{command[10], command[11], command[12], command[13], command[14]}),
                 (std::array<std::uint8_t, 5>{0, 0, 0, static_cast<std::uint8_t>(b), 64}));
        for (int k = 0; k < 6; ++k) {
            const ModuleMessage &data = sent[static_cast<std::size_t>(b * 7 + 1 + k)];
            QCOMPARE(data[1], std::uint8_t{61});
            QCOMPARE(data[2], static_cast<std::uint8_t>(k));
            const int carried = k < 5 ? 12 : 4;
            QVERIFY(std::equal(data.begin() + 3, data.begin() + 3 + carried, block.begin() + 12 * k));
        }
        const ModuleMessage &last = sent[static_cast<std::size_t>(b * 7 + 6)];
        const std::uint32_t sum = (std::uint32_t{last[7]} << 24) | (std::uint32_t{last[8]} << 16)
                                  | (std::uint32_t{last[9]} << 8) | last[10];
        QCOMPARE(sum, blockChecksum(block));
        QCOMPARE((std::array<std::uint8_t, 3>{last[11], last[12], last[13]}), (std::array<std::uint8_t, 3>{}));
        QCOMPARE(last[14], block[59]);
    }
}

void TestTransfer::requestsOfARead()
{
    QCOMPARE(m_transfer->Read(), TransferOutcome::Succeeded);
    const std::vector<ModuleMessage> &sent = m_line->sent;
    QCOMPARE(sent.size(), std::size_t{Blocks});
    for (int b = 0; b < Blocks; ++b) {
        const ModuleMessage &request = sent[static_cast<std::size_t>(b)];
        QCOMPARE(request[1], std::uint8_t{28});
        QCOMPARE(request[2], static_cast<std::uint8_t>(b)); // the command counter
        QCOMPARE(request[13], static_cast<std::uint8_t>(b));
        QCOMPARE(request[14], std::uint8_t{64});
    }
}

void TestTransfer::traceOfARead()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("link.trace"));
    FrameTrace trace;
    QVERIFY(trace.open(path, nullptr));
    m_line->codec.setTrace(&trace);
    QCOMPARE(m_transfer->Read(), TransferOutcome::Succeeded);
    m_line->codec.SendText("??");
    m_line->codec.setTrace(nullptr);
    m_line->codec.SendText("??"); // untraced: nothing more in the file
    trace.close();

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    QCOMPARE(lines.size(), Blocks * 8 + 2); // the poll, and the empty piece after the last line end
    QVERIFY(lines.last().isEmpty());
    QVERIFY(lines[Blocks * 8].endsWith("\tout\tpoll\t3f 3f 0d"));
    qint64 lastMs = 0;
    for (int i = 0; i < Blocks * 8; ++i) {
        const QList<QByteArray> f = lines[i].split('\t');
        QCOMPARE(f.size(), 5);
        QVERIFY(f[0].toLongLong() >= lastMs);
        lastMs = f[0].toLongLong();
        const int b = i / 8;
        const int k = i % 8;
        QCOMPARE(f[1], QByteArray(k == 0 ? "out" : "in"));
        QCOMPARE(f[2], QByteArray(k == 0 ? "read-request" : k == 1 ? "block-header" : "block-data"));
        const QByteArray line = QByteArray::fromHex(f[3]);
        QCOMPARE(line.size(), 18);
        QVERIFY(line.startsWith('{') && line.endsWith('}'));
        const QByteArray plain = QByteArray::fromHex(f[4]);
        QCOMPARE(plain.size(), 16);
        QCOMPARE(plain.front(), '[');
        QCOMPARE(plain.back(), ']');
        if (k == 0) {
            const ModuleMessage &sent = m_line->sent[static_cast<std::size_t>(b)];
            QCOMPARE(plain, QByteArray(reinterpret_cast<const char *>(sent.data()), 16));
        }
    }
}

void TestTransfer::lastDataPart_data()
{
    QTest::addColumn<ParameterBlock>("block");
    QTest::addColumn<QByteArray>("checksum");

    ParameterBlock zeros{};
    ParameterBlock ones;
    ones.fill(0xFF);
    ParameterBlock counting;
    for (std::size_t i = 0; i < counting.size(); ++i)
        counting[i] = static_cast<std::uint8_t>(i);
    QTest::newRow("64 zero bytes") << zeros << QByteArray::fromHex("0000021c");
    QTest::newRow("64 bytes 0xFF") << ones << QByteArray::fromHex("00003da4");
    QTest::newRow("0 to 63") << counting << QByteArray::fromHex("000007ac");
}

void TestTransfer::lastDataPart()
{
    QFETCH(ParameterBlock, block);
    QFETCH(QByteArray, checksum);
    const auto parts = Transfer::writeParts(block);
    const Transfer::Payload &last = parts[5];
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(last.data()) + 5, 4), checksum);
    QCOMPARE(last[0], std::uint8_t{5});
    QCOMPARE(last[12], block[59]);
    QCOMPARE(last[12], parts[4][12]);
}

void TestTransfer::waitSleepsBetweenEvents()
{
    const double cpuBefore = cpuSeconds();
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!m_transfer->watch([] { return false; }, 2000));
    const double wall = static_cast<double>(clock.elapsed()) / 1000.0;
    const double cpu = cpuSeconds() - cpuBefore;
    QVERIFY2(wall >= 1.9, qPrintable(QString::number(wall)));
    // A loop that spins would use its core for the whole wait.
    QVERIFY2(cpu < 0.05 * wall, qPrintable(QStringLiteral("cpu %1 s of %2 s").arg(cpu).arg(wall)));
}

void TestTransfer::waitEndsWhenTheFlagIsSet()
{
    bool flag = false;
    QTimer::singleShot(300, this, [&flag] { flag = true; });
    QElapsedTimer clock;
    clock.start();
    QVERIFY(m_transfer->watch([&flag] { return flag; }, 60000));
    QVERIFY(clock.elapsed() < 30000);
}

void TestTransfer::oneRepeatRecoversABlockFault_data()
{
    QTest::addColumn<Op>("op");
    QTest::addColumn<FaultKind>("kind");
    QTest::newRow("read, block 6 dropped") << Op::Read << FaultKind::DropBlock;
    QTest::newRow("read, block 6 damaged") << Op::Read << FaultKind::Corrupt;
    QTest::newRow("read, block 6 answered as block 7") << Op::Read << FaultKind::WrongAddress;
    QTest::newRow("read, block 6 answered late") << Op::Read << FaultKind::Late;
    QTest::newRow("compare, block 6 damaged") << Op::Compare << FaultKind::Corrupt;
    QTest::newRow("write, block 6 not acknowledged") << Op::Write << FaultKind::NoAck;
}

void TestTransfer::oneRepeatRecoversABlockFault()
{
    QFETCH(Op, op);
    QFETCH(FaultKind, kind);
    m_transfer->setRetries(Transfer::MaxRetries);
    m_line->module.arm(Fault{kind, 6, 0, 0.0});
    if (op == Op::Compare)
        std::copy_n(m_line->module.memory.begin(), 960, m_buffer.begin());
    const QByteArray moduleBefore = moduleBytes();
    const QByteArray imageBefore = imageBytes();

    QCOMPARE(run(op), TransferOutcome::Succeeded);
    QCOMPARE(m_transfer->Result().repeated, 1);
    QCOMPARE(m_transfer->Result().stop, TransferStop::None);
    QCOMPARE(m_display->colour, Transfer::Green);
    QCOMPARE(m_display->position, Blocks);
    switch (op) {
    case Op::Read:
        QCOMPARE(imageBytes(), moduleBefore + QByteArray(128, '\0'));
        break;
    case Op::Compare:
        QCOMPARE(bufferBytes(), moduleBefore);
        break;
    case Op::Write:
        QCOMPARE(moduleBytes(), imageBefore.left(960));
        // The block was stored twice, the same 64 bytes each time.
        QCOMPARE(m_line->module.counters().writesStored, Blocks + 1);
        break;
    }
}

void TestTransfer::moduleThatNeverAnswers_data()
{
    QTest::addColumn<Op>("op");
    QTest::addColumn<int>("retries");
    QTest::addColumn<int>("limitMs");
    QTest::newRow("read, single try") << Op::Read << 0 << Transfer::ReadTicks * Transfer::TickMs;
    QTest::newRow("read, 3 repeats") << Op::Read << 3 << Transfer::ReadTicks * Transfer::TickMs;
    QTest::newRow("write, 3 repeats") << Op::Write << 3 << Transfer::WriteTicks * Transfer::TickMs;
}

void TestTransfer::moduleThatNeverAnswers()
{
    QFETCH(Op, op);
    QFETCH(int, retries);
    QFETCH(int, limitMs);
    m_transfer->setRetries(retries);
    // Block 4 (5 counted from 1) is lost on every try.
    for (int i = 0; i < 10; ++i)
        m_line->module.arm(Fault{op == Op::Write ? FaultKind::NoAck : FaultKind::DropBlock, 4, 0, 0.0});

    QElapsedTimer clock;
    clock.start();
    QCOMPARE(run(op), TransferOutcome::Failed);
    const qint64 elapsed = clock.elapsed();

    // It ends at the same block, as late as the single try, never later.
    QCOMPARE(m_transfer->Result().stoppedAt, 5);
    QCOMPARE(m_transfer->Result().stop, op == Op::Write ? TransferStop::NoAcknowledgement : TransferStop::NoAnswer);
    QCOMPARE(m_transfer->Result().repeated, retries);
    QVERIFY2(elapsed >= limitMs - 150 && elapsed <= limitMs + 250, qPrintable(QString::number(elapsed)));
}

void TestTransfer::completedReadsOnANoisyLineAreExact()
{
    // Random bytes on the line, about one answer in four damaged: whatever a
    // read completes is what the module holds, never a damaged block.
    m_line->module.arm(Fault{FaultKind::Noise, 0, 0, 0.002});
    m_transfer->setRetries(Transfer::MaxRetries);
    std::mt19937 random(4711);
    int completed = 0;
    int repeated = 0;
    for (int run = 0; run < 12; ++run) {
        for (auto &b : m_line->module.memory)
            b = static_cast<std::uint8_t>(random());
        if (m_transfer->Read() == TransferOutcome::Succeeded) {
            ++completed;
            QCOMPARE(imageBytes(), moduleBytes() + QByteArray(128, '\0'));
        }
        repeated += m_transfer->Result().repeated;
        QCOMPARE(bufferBytes().left(m_transfer->Result().blocksDone * 64),
                 moduleBytes().left(m_transfer->Result().blocksDone * 64));
    }
    QVERIFY2(repeated > 0, "the noise damaged no answer");
    // Four damaged answers in a row to one block are rare, not impossible.
    QVERIFY2(completed >= 9, qPrintable(QString::number(completed)));
}

void TestTransfer::traceShowsEachRepeat_data()
{
    QTest::addColumn<Op>("op");
    QTest::addColumn<FaultKind>("kind");
    QTest::addColumn<QByteArray>("mark");
    // A damaged answer is asked for again; an acknowledgement that comes
    // twice makes the next block be read back.
    QTest::newRow("repeat") << Op::Read << FaultKind::Corrupt << QByteArray("\tout\trepeat\tblock 4");
    QTest::newRow("read-back") << Op::Write << FaultKind::DupAck << QByteArray("\tout\tread-back\tblock 4");
}

void TestTransfer::traceShowsEachRepeat()
{
    QFETCH(Op, op);
    QFETCH(FaultKind, kind);
    QFETCH(QByteArray, mark);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("link.trace"));
    FrameTrace trace;
    QVERIFY(trace.open(path, nullptr));
    m_line->codec.setTrace(&trace);
    m_transfer->setRetries(Transfer::MaxRetries);
    m_line->module.arm(Fault{kind, 3, 0, 0.0});
    QCOMPARE(run(op), TransferOutcome::Succeeded);
    m_line->codec.setTrace(nullptr);
    trace.close();
    QCOMPARE(m_transfer->Result().repeated + m_transfer->Result().checkedByReadBack, 1);

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    // The requests with their answers, and the one mark before the request
    // it announces.
    const QByteArray kindName = mark.split('\t').value(2);
    const auto marked = [&](const QByteArray &l) { return l.contains('\t' + kindName + '\t'); };
    const auto at = std::find_if(lines.begin(), lines.end(), marked);
    QVERIFY(at != lines.end());
    QVERIFY2(at->endsWith(mark), at->constData());
    QVERIFY(std::next(at) != lines.end());
    const QList<QByteArray> next = std::next(at)->split('\t');
    QCOMPARE(next.value(2), QByteArray("read-request"));
    QCOMPARE(QByteArray::fromHex(next.value(4)).at(13), char(3));
    QCOMPARE(std::count_if(lines.begin(), lines.end(), marked), 1);
}

namespace {

// A block data message of `block` at place k (0 to 5), as the module sends
// it: what the tool reads of it is laid out as in the write's data parts.
std::array<std::uint8_t, 16> dataMessage(const ParameterBlock &block, int k)
{
    std::array<std::uint8_t, 16> m{0x5B, 0x3C};
    const Transfer::Payload part = Transfer::writeParts(block)[std::size_t(k)];
    std::copy(part.begin(), part.end(), m.begin() + 2);
    m[15] = 0x5D;
    return m;
}

} // namespace

void TestTransfer::framesOfSeveralTries_data()
{
    // Frames in the order they come: place and answer, A being the block
    // fetched (any try) and B another block's answer.
    QTest::addColumn<QString>("frames");
    QTest::addColumn<bool>("taken");
    QTest::newRow("one whole answer") << "0A 1A 2A 3A 4A 5A" << true;
    QTest::newRow("halves of two tries") << "0A 1A 2A 3A 5A 4A" << true;
    QTest::newRow("a place missing") << "0A 1A 3A 4A 5A" << false;
    QTest::newRow("a frame of another block") << "0A 1A 2B 3A 4A 5A" << false;
    QTest::newRow("the checksum of another block") << "0A 1A 2A 3A 4A 5B" << false;
    QTest::newRow("a later try's frame replaces it") << "0A 1A 2B 3A 4A 5A 2A" << true;
}

void TestTransfer::framesOfSeveralTries()
{
    QFETCH(QString, frames);
    QFETCH(bool, taken);
    const ParameterBlock a = pattern(3);
    ParameterBlock b = a;
    b[30] ^= 0x40; // in frame 2; the sums of the two blocks differ
    b[61] ^= 0x01; // and in the last frame
    Transfer::AnswerParts parts;
    for (const QString &frame : frames.split(QLatin1Char(' ')))
        parts.add(dataMessage(frame.endsWith(QLatin1Char('A')) ? a : b, frame.left(1).toInt()));
    ParameterBlock into{};
    QCOMPARE(parts.complete(into), taken);
    if (taken)
        QCOMPARE(into, a);
    else
        QCOMPARE(into, ParameterBlock{});
}

QTEST_GUILESS_MAIN(TestTransfer)
#include "tst_transfer.moc"
