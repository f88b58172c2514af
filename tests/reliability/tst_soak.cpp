// Hundreds of reads, writes and compares against the simulator engine
// in-process, each with a random fault on the line (fixed seed). Every
// operation either completes byte-exact or ends with its failure outcome; a
// damaged block is never taken in, and a failed read or any compare leaves
// the image alone. The transfer's tick runs at 1 ms instead of 100 ms so that
// the time-outs of lost answers do not dominate: the tick counts stay as they
// are, only the clock behind them is faster. Answers are posted events here,
// handled long before even the shortest time-out of 50 ticks runs out.

#include "params/Transfer.h"

#include "common/EngineLine.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QtTest>

#include <memory>
#include <random>

namespace {

constexpr int Blocks = EEAddr::BlockCount;
constexpr int BlockBytes = EEAddr::BlockSize;
constexpr int ModuleBytes = EEAddr::ModuleBytes;
constexpr int SoakTickMs = 1;

// Reads and writes that must complete; failed ones come on top. The same
// count fits under the sanitizers too.
constexpr int CompletedTarget = 300;
constexpr int OperationCap = 20 * CompletedTarget; // a safety net, never reached

struct Display : TransferDisplay
{
    int position = -1;
    std::uint32_t colour = 0;
    bool enabled = true;
    int messages = 0;

    void DisableButtons() override { enabled = false; }
    void EnableButtons() override { enabled = true; }
    void setProgress(int p) override { position = p; }
    void SetBarColour(std::uint32_t rgb) override { colour = rgb; }
    void showMessage(const QString &) override { ++messages; }
    void showError(const QString &) override { ++messages; }
};

enum class Op { Read, Compare, Write };

struct Tally
{
    int completed = 0;
    int failed = 0;
};

template <std::size_t N>
QByteArray bytesOf(const std::array<std::uint8_t, N> &a, int from, int count)
{
    return QByteArray(reinterpret_cast<const char *>(a.data()) + from, count);
}

} // namespace

class TestSoak : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void randomFaultsPerOperation();

private:
    // Each returns false (after a failed QVERIFY) when an outcome is wrong.
    bool soakRead(Tally &tally);
    bool soakCompare(Tally &tally);
    bool soakWrite(Tally &tally);

    // A random fault for the next operation: none, noise, or one block fault
    // of the kinds that bear on it. Returns the armed block fault's block, or
    // -1 when none is armed.
    int armRandomFault(Op op);
    void scramble(std::span<std::uint8_t> bytes);
    void changeSomeModuleBlocks();
    QByteArray module(int from = 0, int count = ModuleBytes) const { return bytesOf(m_line->module.memory, from, count); }

    std::mt19937 m_random{20240611};
    std::unique_ptr<EngineLine> m_line;
    std::unique_ptr<Display> m_display;
    std::unique_ptr<ParameterTransfer> m_transfer;
    ImageBytes m_image{};
    TransferBytes m_buffer{};
    bool m_noise = false; // noise armed for the current operation
};

void TestSoak::init()
{
    m_line = std::make_unique<EngineLine>(11);
    m_display = std::make_unique<Display>();
    m_transfer = std::make_unique<ParameterTransfer>(*m_display, m_image, m_buffer);
    m_transfer->Link = m_line->link();
    m_transfer->setTickMs(SoakTickMs);
    m_transfer->setRetries(0); // the single try: every fault ends the sequence
    scramble(m_line->module.memory);
    scramble(m_image);
    scramble(m_buffer);
}

void TestSoak::cleanup()
{
    m_transfer.reset();
    m_display.reset();
    m_line.reset();
}

void TestSoak::scramble(std::span<std::uint8_t> bytes)
{
    std::uniform_int_distribution<int> anyByte(0, 255);
    for (auto &b : bytes)
        b = static_cast<std::uint8_t>(anyByte(m_random));
}

void TestSoak::changeSomeModuleBlocks()
{
    std::bernoulli_distribution change(0.3);
    for (int b = 0; b < Blocks; ++b)
        if (change(m_random))
            scramble(std::span<std::uint8_t>(m_line->module.memory.data() + b * BlockBytes, BlockBytes));
}

int TestSoak::armRandomFault(Op op)
{
    ModuleSimulator &sim = m_line->module;
    sim.clearFaults();
    m_noise = false;
    std::uniform_int_distribution<int> anyBlock(0, Blocks - 1);
    const int block = anyBlock(m_random);
    // Most operations run on a clean line, so that enough complete.
    const int pick = std::uniform_int_distribution<int>(0, 9)(m_random);
    if (pick < 6)
        return -1;
    if (pick < 8) {
        // From about one damaged answer in ten to most of them.
        const double p = std::uniform_real_distribution<double>(0.0005, 0.01)(m_random);
        sim.arm(Fault{FaultKind::Noise, 0, 0, p});
        m_noise = true;
        return -1;
    }
    FaultKind kind = FaultKind::NoAck;
    if (op != Op::Write) {
        static constexpr FaultKind readFaults[] = {FaultKind::DropBlock, FaultKind::WrongAddress, FaultKind::Corrupt};
        kind = readFaults[std::uniform_int_distribution<int>(0, 2)(m_random)];
    }
    sim.arm(Fault{kind, block, 0, 0.0});
    return block;
}

bool TestSoak::soakRead(Tally &tally)
{
    changeSomeModuleBlocks();
    scramble(m_image);
    const QByteArray imageBefore = bytesOf(m_image, 0, 1088);
    const int faultAt = armRandomFault(Op::Read);

    const TransferOutcome outcome = m_transfer->Read();
    [&] {
        QVERIFY(m_display->enabled);
        // Green only when complete; a stopped read shows at least position 1,
        // so position 1 may mean that no block was taken in.
        QCOMPARE(m_display->colour, outcome == TransferOutcome::Succeeded ? Transfer::Green : Transfer::Red);
        // Whatever was taken in is exactly what the module holds.
        const int accepted = outcome == TransferOutcome::Succeeded ? Blocks
                             : faultAt >= 0                        ? faultAt
                             : m_display->position == 1            ? 0
                                                                   : m_display->position;
        QCOMPARE(bytesOf(m_buffer, 0, accepted * BlockBytes), module(0, accepted * BlockBytes));
        if (outcome == TransferOutcome::Succeeded) {
            QVERIFY2(faultAt < 0, "a read with a block fault cannot succeed");
            QCOMPARE(m_display->position, Blocks);
            QCOMPARE(bytesOf(m_image, 0, ModuleBytes), module());
            QCOMPARE(bytesOf(m_image, ModuleBytes, 128), QByteArray(128, '\0'));
            ++tally.completed;
            return;
        }
        QCOMPARE(outcome, TransferOutcome::Failed);
        QVERIFY2(m_noise || faultAt >= 0, "a read on a clean line must succeed");
        if (faultAt >= 0)
            QCOMPARE(m_display->position, std::max(faultAt, 1));
        QVERIFY(m_display->position < Blocks);
        QCOMPARE(bytesOf(m_image, 0, 1088), imageBefore);
        ++tally.failed;
    }();
    return !QTest::currentTestFailed();
}

bool TestSoak::soakCompare(Tally &tally)
{
    // Half the time against what the module holds, else with one block off.
    std::copy_n(m_line->module.memory.begin(), ModuleBytes, m_buffer.begin());
    int differsAt = -1;
    if (std::bernoulli_distribution(0.5)(m_random)) {
        differsAt = std::uniform_int_distribution<int>(0, Blocks - 1)(m_random);
        m_buffer[static_cast<std::size_t>(differsAt * BlockBytes + 17)] ^= 0x40;
    }
    scramble(m_image);
    const QByteArray imageBefore = bytesOf(m_image, 0, 1088);
    const int faultAt = armRandomFault(Op::Compare);

    const TransferOutcome outcome = m_transfer->Compare();
    [&] {
        QVERIFY(m_display->enabled);
        QCOMPARE(bytesOf(m_image, 0, 1088), imageBefore);
        if (outcome == TransferOutcome::Succeeded) {
            QCOMPARE(differsAt, -1);
            QVERIFY(faultAt < 0);
            QCOMPARE(m_display->position, Blocks);
            QCOMPARE(m_display->colour, Transfer::Green);
            ++tally.completed;
            return;
        }
        QCOMPARE(outcome, TransferOutcome::Failed);
        // A difference and a stop both end red; a stop shows at least
        // position 1.
        const int reached = m_display->position;
        QCOMPARE(m_display->colour, Transfer::Red);
        if (faultAt >= 0)
            QCOMPARE(reached, std::max(faultAt, 1));
        else if (!m_noise)
            QCOMPARE(reached, Blocks);
        QVERIFY(reached == Blocks ? differsAt >= 0 : (m_noise || faultAt >= 0));
        ++tally.failed;
    }();
    return !QTest::currentTestFailed();
}

bool TestSoak::soakWrite(Tally &tally)
{
    // Change some blocks of the image so that each write moves new data.
    std::bernoulli_distribution change(0.5);
    for (int b = 0; b < Blocks; ++b)
        if (change(m_random))
            scramble(std::span<std::uint8_t>(m_image.data() + b * BlockBytes, BlockBytes));
    const QByteArray imageBefore = bytesOf(m_image, 0, 1088);
    const QByteArray moduleBefore = module();
    const int storedBefore = m_line->module.counters().writesStored;
    const int faultAt = armRandomFault(Op::Write);

    const TransferOutcome outcome = m_transfer->Write();
    [&] {
        QVERIFY(m_display->enabled);
        QCOMPARE(bytesOf(m_image, 0, 1088), imageBefore);
        QCOMPARE(m_line->module.counters().writesRejected, 0);
        // The line towards the module is clean, so every block sent is
        // stored; a failure means its acknowledgement was lost.
        const int stored = m_line->module.counters().writesStored - storedBefore;
        QCOMPARE(module(0, stored * BlockBytes), imageBefore.left(stored * BlockBytes));
        QCOMPARE(module(stored * BlockBytes, ModuleBytes - stored * BlockBytes),
                 moduleBefore.mid(stored * BlockBytes));
        if (outcome == TransferOutcome::Succeeded) {
            QVERIFY(faultAt < 0);
            QCOMPARE(stored, Blocks);
            QCOMPARE(m_display->position, Blocks);
            QCOMPARE(m_display->colour, Transfer::Green);
            ++tally.completed;
            return;
        }
        QCOMPARE(outcome, TransferOutcome::Failed);
        QVERIFY2(m_noise || faultAt >= 0, "a write on a clean line must succeed");
        if (faultAt >= 0)
            QCOMPARE(stored, faultAt + 1);
        QVERIFY(stored >= 1);
        QCOMPARE(m_display->position, std::max(stored - 1, 1));
        QCOMPARE(m_display->colour, Transfer::Red);
        ++tally.failed;
    }();
    return !QTest::currentTestFailed();
}

void TestSoak::randomFaultsPerOperation()
{
    Tally reads;
    Tally compares;
    Tally writes;
    QElapsedTimer clock;
    clock.start();
    std::discrete_distribution<int> nextOp({4, 2, 4}); // read, compare, write
    int operations = 0;
    while (reads.completed < CompletedTarget || writes.completed < CompletedTarget) {
        QVERIFY2(++operations <= OperationCap, "too few operations complete");
        bool ok = false;
        switch (static_cast<Op>(nextOp(m_random))) {
        case Op::Read:
            ok = soakRead(reads);
            break;
        case Op::Compare:
            ok = soakCompare(compares);
            break;
        case Op::Write:
            ok = soakWrite(writes);
            break;
        }
        if (!ok)
            return;
    }
    qInfo("soak: %d operations in %lld ms", operations, static_cast<long long>(clock.elapsed()));
    qInfo("soak: reads    completed %d, failed %d", reads.completed, reads.failed);
    qInfo("soak: compares completed %d, failed %d", compares.completed, compares.failed);
    qInfo("soak: writes   completed %d, failed %d", writes.completed, writes.failed);
    // Faults must really have bitten each kind of operation.
    QVERIFY(reads.failed > 0 && compares.failed > 0 && writes.failed > 0);
    QCOMPARE(m_display->messages, 0);
}

QTEST_GUILESS_MAIN(TestSoak)
#include "tst_soak.moc"
