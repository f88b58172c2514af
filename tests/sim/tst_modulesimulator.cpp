// The simulator's engine in-process, with the tool's own codec and dispatcher
// on the other end of the "line".

#include "LinePacer.h"
#include "ModuleSimulator.h"
#include "SimArgs.h"

#include "common/Windows1250.h"
#include "link/FrameCodec.h"
#include "link/MessageDispatcher.h"

#include <QtTest>

#include <vector>

Q_DECLARE_METATYPE(FaultKind)

namespace {

ParameterBlock pattern(int seed)
{
    ParameterBlock block{};
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<std::uint8_t>(seed * 37 + static_cast<int>(i) * 11 + 5);
    return block;
}

struct Memos : MemoSink
{
    std::map<MemoId, QString> text;
    void AppendToMemo(MemoId memo, const QString &t, bool) override { text[memo] += t; }
};

struct StatusWindow : StatusSink
{
    StatusFields fields;
    int refreshes = 0;
    StatusFields &Status() override { return fields; }
    void RefreshStatus() override { ++refreshes; }
};

// The tool's end: what it writes goes straight into the simulator, what the
// simulator sends is decoded by the tool's own frame codec and dispatcher.
struct Tool : PortIo
{
    ModuleSimulator sim;
    MessageDispatcher dispatcher;
    Memos memos;
    StatusWindow statusWindow;
    FrameCodec codec{*this, [this](const ModuleMessage &m) {
                         messages.push_back(m);
                         dispatcher.DispatchMessage(m);
                     }};
    std::vector<ModuleMessage> messages;
    QByteArray line; // everything the simulator sent
    int hangups = 0;

    Tool()
    {
        dispatcher.Memos = &memos;
        dispatcher.StatusWindow = &statusWindow;
        sim.onOutput = [this](const QByteArray &bytes) {
            line += bytes;
            for (const char c : bytes)
                codec.ReceiveByte(static_cast<std::uint8_t>(c));
        };
        sim.onHangup = [this] { ++hangups; };
    }

    int ReadBytes(std::uint8_t *, int) override { return 0; }
    int WriteBytes(const std::uint8_t *buffer, int n) override
    {
        sim.receive(QByteArrayView(buffer, n));
        return n;
    }
    int WriteText(const QByteArray &text) override
    {
        sim.receive(text);
        return static_cast<int>(text.size());
    }
    bool Connected() const override { return true; }

    void clear()
    {
        messages.clear();
        line.clear();
        dispatcher.Reception.BlockReceived = false;
        dispatcher.Reception.WriteAcknowledged = false;
    }

    void requestBlock(int block, std::uint8_t length = 0x40)
    {
        clear();
        codec.SendCommand(28, {0, 0, 0, static_cast<std::uint8_t>(block), length});
    }
    bool readBlock(int block)
    {
        requestBlock(block);
        return dispatcher.Reception.BlockReceived && dispatcher.Reception.ReceivedBlockAddress == block * 64;
    }

    // The tool's write sequence; data messages are sent in the given order,
    // and the checksum can be spoilt.
    void writeBlock(int block, const ParameterBlock &data, std::vector<int> order = {0, 1, 2, 3, 4, 5},
                    std::uint32_t checksumError = 0)
    {
        clear();
        codec.SendCommand(45, {0, 0, 0, static_cast<std::uint8_t>(block), 0x40});
        for (const int k : order) {
            std::array<std::uint8_t, 13> payload{};
            payload[0] = static_cast<std::uint8_t>(k);
            if (k < 5) {
                std::copy_n(data.begin() + 12 * k, 12, payload.begin() + 1);
            } else {
                std::copy_n(data.begin() + 60, 4, payload.begin() + 1);
                const std::uint32_t sum = blockChecksum(data) + checksumError;
                for (int i = 0; i < 4; ++i)
                    payload[static_cast<std::size_t>(5 + i)] = static_cast<std::uint8_t>(sum >> (24 - 8 * i));
                payload[12] = data[59];
            }
            codec.SendData(61, payload);
        }
    }

    void poll() { codec.SendText("??"); }
};

} // namespace

class TestModuleSimulator : public QObject
{
    Q_OBJECT

private slots:
    void readsEveryBlockByteExact();
    void readAnswerLayout();
    void ignoresInvalidReadRequests_data();
    void ignoresInvalidReadRequests();
    void writeIsStoredAndReadsBack();
    void badWriteIsNeitherStoredNorAcknowledged_data();
    void badWriteIsNeitherStoredNorAcknowledged();
    void pollIsAnsweredWithStatus_data();
    void pollIsAnsweredWithStatus();
    void pollNeedsAllThreeBytes_data();
    void pollNeedsAllThreeBytes();
    void stateTextFragments_data();
    void stateTextFragments();
    void readFaultsHitOnlyTheFirstRequest_data();
    void readFaultsHitOnlyTheFirstRequest();
    void faultArmedTwiceHitsTwice();
    void lateAnswerIsHeldBack();
    void noAckStoresButWithholdsAcknowledgement();
    void hangupAfterFrames();
    void noiseIsSeededAndAtTheRequestedRate();
    void parseFaultCases_data();
    void parseFaultCases();
    void parseStatusAndText();
    void levelWaveFollowsTheClock();
    void parseLevelWaveCases_data();
    void parseLevelWaveCases();
    void pacerArrivalClock();
    void pacerSendsAtLineSpeed();
};

void TestModuleSimulator::readsEveryBlockByteExact()
{
    Tool tool;
    for (int b = 0; b < ModuleSimulator::BlockCount; ++b)
        tool.sim.setBlock(b, pattern(b));
    for (int b = 0; b < ModuleSimulator::BlockCount; ++b) {
        QVERIFY2(tool.readBlock(b), qPrintable(QStringLiteral("block %1").arg(b)));
        QCOMPARE(tool.dispatcher.Reception.ReceivedBlock, pattern(b));
        QCOMPARE(tool.line.size(), 7 * 18);
    }
    QCOMPARE(tool.sim.counters().readsAnswered, 15);
}

void TestModuleSimulator::readAnswerLayout()
{
    Tool tool;
    tool.sim.setBlock(9, pattern(9));
    tool.requestBlock(9);
    QCOMPARE(tool.messages.size(), std::size_t{7});
    QCOMPARE(tool.messages[0][1], std::uint8_t{0x2C});
    QCOMPARE(tool.messages[0][13], std::uint8_t{9});
    for (std::size_t k = 1; k < 7; ++k) {
        QCOMPARE(tool.messages[k][1], std::uint8_t{0x3C});
        QCOMPARE(tool.messages[k][2], static_cast<std::uint8_t>(k - 1));
    }
    const ModuleMessage &last = tool.messages[6];
    for (int i = 11; i <= 14; ++i)
        QCOMPARE(last[i], std::uint8_t{0});
    const std::uint32_t sum = blockChecksum(pattern(9));
    QCOMPARE(last[9], static_cast<std::uint8_t>(sum >> 8));
    QCOMPARE(last[10], static_cast<std::uint8_t>(sum));
}

void TestModuleSimulator::ignoresInvalidReadRequests_data()
{
    QTest::addColumn<int>("block");
    QTest::addColumn<int>("length");
    QTest::newRow("block 15") << 15 << 0x40;
    QTest::newRow("block 255") << 255 << 0x40;
    QTest::newRow("length 63") << 0 << 0x3F;
    QTest::newRow("length 0") << 3 << 0;
}

void TestModuleSimulator::ignoresInvalidReadRequests()
{
    QFETCH(int, block);
    QFETCH(int, length);
    Tool tool;
    tool.requestBlock(block, static_cast<std::uint8_t>(length));
    QVERIFY(tool.line.isEmpty());
    // ...and the next good request is still answered.
    QVERIFY(tool.readBlock(14));
}

void TestModuleSimulator::writeIsStoredAndReadsBack()
{
    Tool tool;
    const auto before = tool.sim.memory;
    tool.writeBlock(5, pattern(42));
    QVERIFY(tool.dispatcher.Reception.WriteAcknowledged);
    QCOMPARE(tool.messages.size(), std::size_t{1});
    QCOMPARE(tool.messages[0][1], std::uint8_t{0x1D});
    QCOMPARE(tool.messages[0][14], std::uint8_t{0x40});
    QVERIFY(tool.readBlock(5));
    QCOMPARE(tool.dispatcher.Reception.ReceivedBlock, pattern(42));
    // Nothing outside block 5 moved.
    auto expected = before;
    const ParameterBlock written = pattern(42);
    std::copy(written.begin(), written.end(), expected.begin() + 5 * 64);
    QVERIFY(tool.sim.memory == expected);
}

void TestModuleSimulator::badWriteIsNeitherStoredNorAcknowledged_data()
{
    QTest::addColumn<int>("block");
    QTest::addColumn<std::vector<int>>("order");
    QTest::addColumn<int>("checksumError");
    QTest::newRow("checksum one off") << 2 << std::vector<int>{0, 1, 2, 3, 4, 5} << 1;
    QTest::newRow("checksum high byte") << 2 << std::vector<int>{0, 1, 2, 3, 4, 5} << 0x01000000;
    QTest::newRow("message repeated") << 2 << std::vector<int>{0, 1, 1, 2, 3, 4, 5} << 0;
    QTest::newRow("message missing") << 2 << std::vector<int>{0, 1, 3, 4, 5} << 0;
    QTest::newRow("messages swapped") << 2 << std::vector<int>{0, 2, 1, 3, 4, 5} << 0;
    QTest::newRow("last message early") << 2 << std::vector<int>{0, 1, 2, 3, 5} << 0;
    QTest::newRow("block 15") << 15 << std::vector<int>{0, 1, 2, 3, 4, 5} << 0;
}

void TestModuleSimulator::badWriteIsNeitherStoredNorAcknowledged()
{
    QFETCH(int, block);
    QFETCH(std::vector<int>, order);
    QFETCH(int, checksumError);
    Tool tool;
    const auto before = tool.sim.memory;
    tool.writeBlock(block, pattern(7), order, static_cast<std::uint32_t>(checksumError));
    QVERIFY(!tool.dispatcher.Reception.WriteAcknowledged);
    QVERIFY(tool.line.isEmpty());
    QVERIFY(tool.sim.memory == before);
    QCOMPARE(tool.sim.counters().writesStored, 0);

    // The next correct write goes through.
    tool.writeBlock(2, pattern(7));
    QVERIFY(tool.dispatcher.Reception.WriteAcknowledged);
    QCOMPARE(tool.sim.block(2), pattern(7));
}

void TestModuleSimulator::pollIsAnsweredWithStatus_data()
{
    QTest::addColumn<QString>("status");
    QTest::newRow("default") << QString();
    QTest::newRow("inputs shorted") << QStringLiteral("0x1F,31,9,0xAA");
    QTest::newRow("all zero") << QStringLiteral("0,0,0,0");
    QTest::newRow("all ones") << QStringLiteral("255,255,255,255");
}

void TestModuleSimulator::pollIsAnsweredWithStatus()
{
    QFETCH(QString, status);
    Tool tool;
    ModuleSimulator::Status expected;
    if (!status.isEmpty()) {
        const auto parsed = parseStatus(status);
        QVERIFY(parsed);
        expected = *parsed;
        tool.sim.status = expected;
    }
    tool.poll();
    QCOMPARE(tool.messages.size(), std::size_t{1});
    QCOMPARE(tool.messages[0][1], std::uint8_t{0x24});
    QCOMPARE(tool.statusWindow.refreshes, 1);
    QCOMPARE(tool.statusWindow.fields.StatusFlags, expected.flags);
    QCOMPARE(tool.statusWindow.fields.SignalLevel, expected.level);
    QCOMPARE(tool.statusWindow.fields.CallState, expected.callState);
    QCOMPARE(tool.statusWindow.fields.StatusSpare, expected.spare);
}

void TestModuleSimulator::pollNeedsAllThreeBytes_data()
{
    QTest::addColumn<QList<QByteArray>>("pieces");
    QTest::addColumn<int>("answers");
    QTest::newRow("one piece") << QList<QByteArray>{"??\r"} << 1;
    QTest::newRow("byte by byte") << QList<QByteArray>{"?", "?", "\r"} << 1;
    QTest::newRow("after noise") << QList<QByteArray>{"x?", "??\r"} << 1;
    QTest::newRow("two polls back to back") << QList<QByteArray>{"??\r??\r"} << 2;
    QTest::newRow("no CR") << QList<QByteArray>{"??"} << 0;
    QTest::newRow("LF instead of CR") << QList<QByteArray>{"??\n"} << 0;
    QTest::newRow("one question mark") << QList<QByteArray>{"?\r"} << 0;
    QTest::newRow("something between") << QList<QByteArray>{"?", "x?\r"} << 0;
}

void TestModuleSimulator::pollNeedsAllThreeBytes()
{
    QFETCH(QList<QByteArray>, pieces);
    QFETCH(int, answers);
    Tool tool;
    for (const QByteArray &piece : pieces)
        tool.sim.receive(piece);
    QCOMPARE(tool.statusWindow.refreshes, answers);
}

void TestModuleSimulator::stateTextFragments_data()
{
    QTest::addColumn<int>("channel");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("types"); // of the messages after the status
    QTest::addColumn<int>("memo");

    QTest::newRow("channel 1, short") << 1 << QStringLiteral("Hi") << QByteArray("\x21") << int(MemoId::Memo3);
    QTest::newRow("channel 2, twelve and CR")
        << 2 << QStringLiteral("ALARM IN1 ON") << QByteArray("\x32") << int(MemoId::Memo4);
    QTest::newRow("channel 3, long and short")
        << 3 << QStringLiteral("GSM registered ok") << QByteArray("\x33\x23\x23") << int(MemoId::Memo5);
    QTest::newRow("channel 4, Windows-1250")
        << 4 << QStringLiteral("Hívás érkezett: 1234567") << QByteArray("\x35\x25\x25\x25") << int(MemoId::MemoDTMF);
    QTest::newRow("empty text is a bare line end") << 1 << QString() << QByteArray("\x21") << int(MemoId::Memo3);
}

void TestModuleSimulator::stateTextFragments()
{
    QFETCH(int, channel);
    QFETCH(QString, text);
    QFETCH(QByteArray, types);
    QFETCH(int, memo);
    Tool tool;
    tool.sim.setStateText(channel, Windows1250::fromUnicode(text));
    tool.poll();
    QCOMPARE(tool.messages.size(), std::size_t(1 + types.size()));
    QCOMPARE(tool.messages[0][1], std::uint8_t{0x24});
    for (qsizetype i = 0; i < types.size(); ++i)
        QCOMPARE(tool.messages[std::size_t(1 + i)][1], static_cast<std::uint8_t>(types[i]));
    QCOMPARE(tool.memos.text[MemoId(memo)], text + QLatin1Char('\r'));

    // Sent once: the next poll brings the status only.
    tool.clear();
    tool.poll();
    QCOMPARE(tool.messages.size(), std::size_t{1});
}

void TestModuleSimulator::readFaultsHitOnlyTheFirstRequest_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("lineBytes");     // sent for the first request
    QTest::addColumn<bool>("received");     // the tool took a block
    QTest::addColumn<int>("receivedBlock"); // from the header, if taken

    QTest::newRow("drop-block") << QStringLiteral("drop-block=6") << 0 << false << -1;
    QTest::newRow("wrong-address") << QStringLiteral("wrong-address=6") << 126 << true << 7;
    QTest::newRow("wrong-address, last block") << QStringLiteral("wrong-address=14") << 126 << true << 0;
    QTest::newRow("corrupt") << QStringLiteral("corrupt=6") << 126 << false << -1;
}

void TestModuleSimulator::readFaultsHitOnlyTheFirstRequest()
{
    QFETCH(QString, fault);
    QFETCH(int, lineBytes);
    QFETCH(bool, received);
    QFETCH(int, receivedBlock);
    const auto parsed = parseFault(fault);
    QVERIFY(parsed);
    const int block = parsed->block;

    Tool tool;
    for (int b = 0; b < ModuleSimulator::BlockCount; ++b)
        tool.sim.setBlock(b, pattern(b));
    tool.sim.arm(*parsed);
    // Other blocks are not touched.
    QVERIFY(tool.readBlock((block + 3) % ModuleSimulator::BlockCount));

    tool.requestBlock(block);
    QCOMPARE(tool.line.size(), lineBytes);
    QCOMPARE(tool.dispatcher.Reception.BlockReceived, received);
    if (received) {
        QCOMPARE(int(tool.dispatcher.Reception.ReceivedBlockAddress), receivedBlock * 64);
        QCOMPARE(tool.dispatcher.Reception.ReceivedBlock, pattern(block));
    }
    QCOMPARE(tool.sim.armedCount(parsed->kind, block), 0);

    QVERIFY(tool.readBlock(block));
    QCOMPARE(tool.dispatcher.Reception.ReceivedBlock, pattern(block));
}

void TestModuleSimulator::faultArmedTwiceHitsTwice()
{
    Tool tool;
    Fault drop{FaultKind::DropBlock, 4};
    tool.sim.arm(drop);
    tool.sim.arm(drop);
    tool.requestBlock(4);
    QVERIFY(tool.line.isEmpty());
    tool.requestBlock(4);
    QVERIFY(tool.line.isEmpty());
    QVERIFY(tool.readBlock(4));

    tool.sim.arm(drop);
    tool.sim.clearFaults();
    QVERIFY(tool.readBlock(4));
}

void TestModuleSimulator::lateAnswerIsHeldBack()
{
    Tool tool;
    tool.sim.setBlock(6, pattern(6));
    QList<int> delays;
    QByteArray late;
    tool.sim.onLateOutput = [&](const QByteArray &bytes, int ms) {
        late += bytes;
        delays << ms;
    };
    const auto parsed = parseFault(QStringLiteral("late=6"));
    QVERIFY(parsed);
    QCOMPARE(parsed->kind, FaultKind::Late);
    tool.sim.arm(*parsed);
    tool.requestBlock(6);
    QVERIFY(tool.line.isEmpty());
    QCOMPARE(delays, QList<int>(7, 1200));
    QCOMPARE(late.size(), 7 * 18);
    // The next request is answered at once.
    QVERIFY(tool.readBlock(6));
    QCOMPARE(tool.dispatcher.Reception.ReceivedBlock, pattern(6));
}

void TestModuleSimulator::noAckStoresButWithholdsAcknowledgement()
{
    Tool tool;
    tool.sim.arm({FaultKind::NoAck, 11});
    tool.writeBlock(11, pattern(1));
    QVERIFY(!tool.dispatcher.Reception.WriteAcknowledged);
    QVERIFY(tool.line.isEmpty());
    QCOMPARE(tool.sim.block(11), pattern(1));

    tool.writeBlock(11, pattern(2));
    QVERIFY(tool.dispatcher.Reception.WriteAcknowledged);
    QCOMPARE(tool.sim.block(11), pattern(2));
}

void TestModuleSimulator::hangupAfterFrames()
{
    Tool tool;
    tool.sim.arm({FaultKind::HangupAfter, 0, 3});
    tool.requestBlock(0);
    QCOMPARE(tool.line.size(), 3 * 18);
    QCOMPARE(tool.hangups, 1);
    QVERIFY(tool.sim.hungUp());
    tool.requestBlock(1);
    tool.poll();
    QVERIFY(tool.line.isEmpty());
    QCOMPARE(tool.hangups, 1);
}

void TestModuleSimulator::noiseIsSeededAndAtTheRequestedRate()
{
    const auto run = [](double probability, std::uint32_t seed, int reads) {
        Tool tool;
        tool.sim.setSeed(seed);
        tool.sim.arm({FaultKind::Noise, 0, 0, probability});
        QByteArray all;
        int received = 0;
        for (int i = 0; i < reads; ++i) {
            received += tool.readBlock(i % ModuleSimulator::BlockCount) ? 1 : 0;
            all += tool.line;
        }
        return std::pair{all, received};
    };
    // Every byte preceded by noise: twice the bytes, and no block survives.
    const auto [full, fullReceived] = run(1.0, 1, 15);
    QCOMPARE(full.size(), 2 * 15 * 126);
    QCOMPARE(fullReceived, 0);

    const auto [some, someReceived] = run(0.02, 7, 200);
    const qsizetype noise = some.size() - 200 * 126;
    // Expected 504 noise bytes (standard deviation about 22).
    QVERIFY2(noise > 400 && noise < 610, qPrintable(QString::number(noise)));
    // A frame hit by noise is lost, one that is not still decodes.
    QVERIFY(someReceived > 0 && someReceived < 200);

    QCOMPARE(run(0.02, 7, 30).first, run(0.02, 7, 30).first);
    QVERIFY(run(0.02, 7, 30).first != run(0.02, 8, 30).first);
}

void TestModuleSimulator::parseFaultCases_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<FaultKind>("kind");
    QTest::addColumn<int>("number"); // block, or frames
    QTest::addColumn<double>("probability");

    QTest::newRow("drop-block") << "drop-block=3" << true << FaultKind::DropBlock << 3 << 0.0;
    QTest::newRow("hex block") << "corrupt=0xE" << true << FaultKind::Corrupt << 14 << 0.0;
    QTest::newRow("leading zero is decimal") << "no-ack=010" << true << FaultKind::NoAck << 10 << 0.0;
    QTest::newRow("wrong-address") << "wrong-address=0" << true << FaultKind::WrongAddress << 0 << 0.0;
    QTest::newRow("hangup-after") << "hangup-after=20" << true << FaultKind::HangupAfter << 20 << 0.0;
    QTest::newRow("noise") << "noise=0.25" << true << FaultKind::Noise << 0 << 0.25;
    QTest::newRow("block 15") << "drop-block=15" << false << FaultKind::DropBlock << 0 << 0.0;
    QTest::newRow("negative block") << "corrupt=-1" << false << FaultKind::DropBlock << 0 << 0.0;
    QTest::newRow("huge block") << "corrupt=4294967297" << false << FaultKind::DropBlock << 0 << 0.0;
    QTest::newRow("noise above 1") << "noise=1.5" << false << FaultKind::DropBlock << 0 << 0.0;
    QTest::newRow("noise not a number") << "noise=lots" << false << FaultKind::DropBlock << 0 << 0.0;
    QTest::newRow("hangup after 0") << "hangup-after=0" << false << FaultKind::DropBlock << 0 << 0.0;
    QTest::newRow("unknown kind") << "explode=1" << false << FaultKind::DropBlock << 0 << 0.0;
    QTest::newRow("no argument") << "drop-block" << false << FaultKind::DropBlock << 0 << 0.0;
    QTest::newRow("empty argument") << "drop-block=" << false << FaultKind::DropBlock << 0 << 0.0;
}

void TestModuleSimulator::parseFaultCases()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(FaultKind, kind);
    QFETCH(int, number);
    QFETCH(double, probability);
    QString error;
    const auto fault = parseFault(text, &error);
    QCOMPARE(fault.has_value(), valid);
    if (!valid) {
        QVERIFY(!error.isEmpty());
        return;
    }
    QCOMPARE(fault->kind, kind);
    QCOMPARE(kind == FaultKind::HangupAfter ? fault->frames : fault->block, number);
    QCOMPARE(fault->probability, probability);
    QCOMPARE(faultName(kind), text.left(text.indexOf(QLatin1Char('='))));
}

void TestModuleSimulator::parseStatusAndText()
{
    const auto status = parseStatus(QStringLiteral("0x1f, 31,9,0XaA"));
    QVERIFY(status);
    QCOMPARE(status->flags, std::uint8_t{0x1F});
    QCOMPARE(status->level, std::uint8_t{31});
    QCOMPARE(status->callState, std::uint8_t{9});
    QCOMPARE(status->spare, std::uint8_t{0xAA});
    for (const char *bad : {"1,2,3", "1,2,3,4,5", "256,0,0,0", "-1,0,0,0", "a,b,c,d", ""})
        QVERIFY2(!parseStatus(QString::fromLatin1(bad)), bad);

    const auto text = parseStateText(QStringLiteral("4:Hívás: a:b"));
    QVERIFY(text);
    QCOMPARE(text->channel, 4);
    QCOMPARE(text->text, QByteArray("H\xEDv\xE1s: a:b"));
    for (const char *bad : {"0:x", "5:x", "x", "one:x", ":x"})
        QVERIFY2(!parseStateText(QString::fromLatin1(bad)), bad);
}

void TestModuleSimulator::pacerArrivalClock()
{
    using Nanos = LinePacer::Nanos;
    const Nanos byte = LinePacer::byteTimeFor(19200);
    QCOMPARE(byte, Nanos(520833));
    LinePacer pacer(byte);
    const Nanos t0(1'000'000'000);
    // Bytes read together arrive one byte time apart, the first one byte
    // time after the read...
    QCOMPARE(pacer.arrive(t0), t0 + byte);
    QCOMPARE(pacer.arrive(t0), t0 + 2 * byte);
    QCOMPARE(pacer.arrive(t0 + byte / 2), t0 + 3 * byte);
    // ...and a byte read after a pause one byte time after its read.
    const Nanos later = t0 + std::chrono::milliseconds(50);
    QCOMPARE(pacer.arrive(later), later + byte);

    LinePacer unpaced(Nanos(0));
    QCOMPARE(unpaced.arrive(t0), t0);
    QCOMPARE(unpaced.arrive(t0), t0);
}

void TestModuleSimulator::pacerSendsAtLineSpeed()
{
    using Nanos = LinePacer::Nanos;
    const Nanos byte = LinePacer::byteTimeFor(19200);
    LinePacer pacer(byte);
    const Nanos t0(5'000'000'000);
    const QByteArray first(18, 'a');
    const QByteArray second(18, 'b');
    pacer.enqueue(first, t0);
    pacer.enqueue(second, t0); // queued behind the first
    QVERIFY(pacer.takeDue(t0).isEmpty());
    QVERIFY(*pacer.nextWake() > t0);
    QCOMPARE(pacer.takeDue(t0 + 10 * byte), QByteArray(10, 'a'));
    QCOMPARE(pacer.takeDue(t0 + 20 * byte), QByteArray(8, 'a') + QByteArray(2, 'b'));
    // The wake-up never lies beyond the end of the burst.
    QVERIFY(*pacer.nextWake() <= t0 + 36 * byte);
    QCOMPARE(pacer.takeDue(t0 + 36 * byte), QByteArray(16, 'b'));
    QVERIFY(pacer.empty());
    QVERIFY(!pacer.nextWake());

    // After an idle line the next answer starts when it is allowed to.
    const Nanos t1 = t0 + std::chrono::seconds(1);
    pacer.enqueue(first, t1);
    QCOMPARE(pacer.takeDue(t1 + 18 * byte - Nanos(1)).size(), 17);

    LinePacer unpaced(Nanos(0));
    unpaced.enqueue(first, t0);
    unpaced.enqueue(second, t0);
    QCOMPARE(unpaced.takeDue(t0), first + second);
}

void TestModuleSimulator::levelWaveFollowsTheClock()
{
    Tool tool;
    qint64 now = 0;
    tool.sim.clock = [&now] { return now; };
    tool.sim.levelWave = ModuleSimulator::LevelWave{4, 28, 40'000};
    QList<int> levels;
    for (now = 0; now < 80'000; now += 10'000) {
        tool.poll();
        levels.append(tool.statusWindow.fields.SignalLevel);
    }
    // Middle, top, middle, bottom, twice over.
    QCOMPARE(levels, (QList<int>{16, 28, 16, 4, 16, 28, 16, 4}));
}

void TestModuleSimulator::parseLevelWaveCases_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("min");
    QTest::addColumn<int>("max");
    QTest::addColumn<qint64>("periodMs");
    QTest::newRow("typical") << "8,26,120" << true << 8 << 26 << qint64{120'000};
    QTest::newRow("flat, whole range") << "0,31,1" << true << 0 << 31 << qint64{1000};
    QTest::newRow("flat line") << "17,17,60" << true << 17 << 17 << qint64{60'000};
    QTest::newRow("min above max") << "20,10,60" << false << 0 << 0 << qint64{0};
    QTest::newRow("level 32") << "0,32,60" << false << 0 << 0 << qint64{0};
    QTest::newRow("no period") << "0,31,0" << false << 0 << 0 << qint64{0};
    QTest::newRow("two parts") << "0,31" << false << 0 << 0 << qint64{0};
}

void TestModuleSimulator::parseLevelWaveCases()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QString error;
    const auto wave = parseLevelWave(text, &error);
    QCOMPARE(wave.has_value(), valid);
    if (!valid) {
        QVERIFY(error.contains(text));
        return;
    }
    QTEST(wave->min, "min");
    QTEST(wave->max, "max");
    QTEST(wave->periodMs, "periodMs");
}

QTEST_GUILESS_MAIN(TestModuleSimulator)
#include "tst_modulesimulator.moc"
