// Damage on the line, tried exhaustively. For a valid frame of every kind
// the module or the tool sends: every single flipped bit, every dropped byte
// and every doubled byte. The damaged frame must yield no message, and the
// valid frame after it must still be found. Then every single changed byte of
// a block, re-encrypted so that each frame stays valid: the block must never
// count as received.

#include "LinkFakes.h"

#include <QtTest>

#include <functional>

namespace {

enum class Damage { FlipBit, DropByte, DoubleByte };

struct Variant
{
    QByteArray line;
    QString what;
    bool frameIntact; // only a brace was doubled: the frame is still whole
};

std::vector<Variant> variantsOf(const QByteArray &frame, Damage damage)
{
    std::vector<Variant> out;
    for (qsizetype at = 0; at < frame.size(); ++at) {
        switch (damage) {
        case Damage::FlipBit:
            for (int bit = 0; bit < 8; ++bit) {
                QByteArray line = frame;
                line[at] = static_cast<char>(line[at] ^ (1 << bit));
                out.push_back({line, QStringLiteral("bit %1 of byte %2 flipped").arg(bit).arg(at), false});
            }
            break;
        case Damage::DropByte:
            out.push_back({QByteArray(frame).remove(at, 1), QStringLiteral("byte %1 dropped").arg(at), false});
            break;
        case Damage::DoubleByte:
            // A second brace before or after the frame is noise next to an
            // intact frame, which must still be found.
            out.push_back({QByteArray(frame).insert(at, frame[at]), QStringLiteral("byte %1 doubled").arg(at),
                           at == 0 || at == frame.size() - 1});
            break;
        }
    }
    return out;
}

ParameterBlock pattern()
{
    ParameterBlock block{};
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<std::uint8_t>(0x5A + 37 * i);
    return block;
}

ModuleMessage textMessage(std::uint8_t type, const QByteArray &text, int from)
{
    ModuleMessage m = makeMessage(type);
    for (qsizetype i = 0; i < text.size(); ++i)
        m[static_cast<std::size_t>(from + i)] = static_cast<std::uint8_t>(text[i]);
    return m;
}

// The frame the tool's own send routines write.
QByteArray sentFrame(const std::function<void(FrameCodec &)> &send)
{
    LinkBench tool;
    send(tool.codec);
    return tool.port.writes.constLast();
}

const ModuleMessage Before = textMessage(0x31, "line before", 2);
const ModuleMessage After = textMessage(0x32, "line after", 2);

} // namespace

class TestFrameDamage : public QObject
{
    Q_OBJECT

private slots:
    void damagedFrameYieldsNothing_data();
    void damagedFrameYieldsNothing();
    void changedBlockByteIsNeverReceived_data();
    void changedBlockByteIsNeverReceived();

private:
    LinkBench m_bench;
};

void TestFrameDamage::damagedFrameYieldsNothing_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<int>("damage");

    std::vector<std::pair<QByteArray, QByteArray>> frames;
    // What the module sends.
    frames.emplace_back("short text", frameOf(textMessage(0x21, "AB\rC", 11)));
    frames.emplace_back("long text", frameOf(textMessage(0x31, "Line busy 123", 2)));
    ModuleMessage status = makeMessage(0x24);
    status[11] = 0x1F;
    status[12] = 31;
    status[13] = 4;
    status[14] = 0xAA;
    frames.emplace_back("status", frameOf(status));
    const std::vector<ModuleMessage> block = blockMessages(7, pattern(), blockChecksum(pattern()));
    frames.emplace_back("block header", frameOf(block[0]));
    for (std::size_t k = 1; k <= 6; ++k)
        frames.emplace_back(QByteArray("block data ") + QByteArray::number(static_cast<int>(k)), frameOf(block[k]));
    ModuleMessage ack = makeMessage(0x1D);
    ack[14] = 0x40;
    frames.emplace_back("acknowledgement", frameOf(ack));
    // What the tool sends.
    frames.emplace_back("read request", sentFrame([](FrameCodec &c) { c.SendCommand(0x1C, {0, 0, 0, 7, 0x40}); }));
    frames.emplace_back("write command", sentFrame([](FrameCodec &c) { c.SendCommand(0x2D, {0, 0, 0, 7, 0x40}); }));
    std::array<std::uint8_t, 13> data{};
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(0xC3 + 11 * i);
    frames.emplace_back("write data", sentFrame([&](FrameCodec &c) { c.SendData(0x3D, data); }));

    const std::pair<Damage, const char *> damages[] = {
        {Damage::FlipBit, "bit flipped"}, {Damage::DropByte, "byte dropped"}, {Damage::DoubleByte, "byte doubled"}};
    for (const auto &[name, frame] : frames)
        for (const auto &[damage, damageName] : damages)
            QTest::addRow("%s, %s", name.constData(), damageName) << frame << static_cast<int>(damage);
}

void TestFrameDamage::damagedFrameYieldsNothing()
{
    QFETCH(QByteArray, frame);
    QFETCH(int, damage);
    QCOMPARE(frame.size(), 18);

    // The undamaged frame is found, so any silence below is the damage's.
    m_bench.reset();
    m_bench.feed(frame);
    QCOMPARE(m_bench.received.size(), std::size_t{1});
    const ModuleMessage original = m_bench.received.front();

    const std::vector<Variant> variants = variantsOf(frame, static_cast<Damage>(damage));
    QCOMPARE(variants.size(), std::size_t(damage == int(Damage::FlipBit) ? 18 * 8 : 18));
    for (const Variant &v : variants) {
        m_bench.reset();
        m_bench.feed(frameOf(Before));
        m_bench.feed(v.line);
        m_bench.feed(frameOf(After));

        std::vector<ModuleMessage> expected{Before};
        if (v.frameIntact)
            expected.push_back(original);
        expected.push_back(After);
        QVERIFY2(m_bench.received == expected,
                 qPrintable(QStringLiteral("%1: %2 messages instead of %3")
                                .arg(v.what)
                                .arg(m_bench.received.size())
                                .arg(expected.size())));
    }
}

void TestFrameDamage::changedBlockByteIsNeverReceived_data()
{
    QTest::addColumn<int>("message"); // 1 to 6
    QTest::addColumn<int>("first");   // first byte of the message to change
    QTest::addColumn<int>("count");

    for (int k = 1; k <= 5; ++k)
        QTest::addRow("data message %d", k) << k << 3 << 12;
    QTest::newRow("data message 6, block bytes") << 6 << 3 << 4;
    QTest::newRow("data message 6, checksum") << 6 << 7 << 4;
}

void TestFrameDamage::changedBlockByteIsNeverReceived()
{
    QFETCH(int, message);
    QFETCH(int, first);
    QFETCH(int, count);

    const std::vector<ModuleMessage> good = blockMessages(9, pattern(), blockChecksum(pattern()));
    auto receive = [this](const std::vector<ModuleMessage> &messages) {
        m_bench.reset();
        for (const ModuleMessage &m : messages)
            m_bench.feed(frameOf(m));
    };

    receive(good);
    QVERIFY(m_bench.dispatcher.Reception.BlockReceived);
    QCOMPARE(m_bench.dispatcher.Reception.ReceivedBlock, pattern());

    int tried = 0;
    for (int at = first; at < first + count; ++at) {
        for (int value = 0; value < 256; ++value) {
            std::vector<ModuleMessage> damaged = good;
            std::uint8_t &byte = damaged[static_cast<std::size_t>(message)][static_cast<std::size_t>(at)];
            if (byte == value)
                continue;
            byte = static_cast<std::uint8_t>(value);
            receive(damaged);
            const BlockReception &r = m_bench.dispatcher.Reception;
            const QString where = QStringLiteral("message %1 byte %2 = %3").arg(message).arg(at).arg(value);
            // Every frame arrived and was taken; only the checksum can object.
            QVERIFY2(m_bench.received.size() == damaged.size(), qPrintable(where));
            QVERIFY2(!r.BlockReceived, qPrintable(where));
            QVERIFY2(r.ExpectedSequence == 0, qPrintable(where));
            ++tried;
        }
    }
    QCOMPARE(tried, count * 255);
}

QTEST_GUILESS_MAIN(TestFrameDamage)
#include "tst_framedamage.moc"
