// The frame codec: finding frames in the received stream, the receive
// event's reading rules, and the exact bytes of what it sends.

#include "LinkFakes.h"

#include <QtTest>

#include <random>

using Messages = QList<QByteArray>;

class TestFrameCodec : public QObject
{
    Q_OBJECT

private slots:
    void findsFrames_data();
    void findsFrames();
    void badFrameLeavesCurrentMessage();
    void frameInPieces_data();
    void frameInPieces();
    void readsOnlyWhatTheEventAnnounces();
    void readErrorEndsEventQuietly();
    void handlerErrorEndsEventQuietly();
    void sendCommandLayout_data();
    void sendCommandLayout();
    void commandCounterWraps();
    void sendDataLayout();
    void sendCommandOnClosedPortThrows();
    void sendText();
    void randomStreamWithEmbeddedFrames();
};

namespace {

const ModuleMessage First = makeMessage(0x31, "first message");
const ModuleMessage Second = makeMessage(0x24, QByteArray::fromHex("0102030405060708091f17050a"));

Messages asList(const std::vector<ModuleMessage> &messages)
{
    Messages list;
    for (const ModuleMessage &m : messages)
        list.append(toBytes(m));
    return list;
}

Block16 decryptFrame(const QByteArray &frame)
{
    LinkCipher decrypt(LinkCipher::Direction::Decrypt);
    return decrypt.apply(toBlock(frame.mid(1, 16)));
}

// A message whose ciphertext holds 0x7D at some place, so that a 0x7B put
// 17 bytes before that place forms a false candidate.
ModuleMessage messageWithInnerCloseBrace(qsizetype *place)
{
    for (int n = 0;; ++n) {
        const ModuleMessage m = makeMessage(0x31, QByteArray::number(n));
        const qsizetype at = frameOf(m).indexOf('\x7D', 1);
        if (at > 0 && at < 17) {
            *place = at;
            return m;
        }
    }
}

} // namespace

void TestFrameCodec::findsFrames_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<Messages>("expected");

    const QByteArray a = frameOf(First);
    const QByteArray b = frameOf(Second);
    const QByteArray noise = QByteArray::fromHex("7b7d00ff7b5b5d7d7b");

    QTest::newRow("one frame") << a << Messages{toBytes(First)};
    QTest::newRow("back to back") << a + b << Messages{toBytes(First), toBytes(Second)};
    QTest::newRow("noise before") << noise + a << Messages{toBytes(First)};
    QTest::newRow("noise between") << a + noise + b << Messages{toBytes(First), toBytes(Second)};
    QTest::newRow("plain text around") << "??\r" + a + "OK\r\n" << Messages{toBytes(First)};

    QByteArray widened = a;
    widened.insert(9, '\x00');
    QTest::newRow("extra byte inside, then a good frame") << widened + b << Messages{toBytes(Second)};

    ModuleMessage badOpen = First;
    badOpen[0] = 0x5C;
    ModuleMessage badClose = First;
    badClose[15] = 0x5E;
    QTest::newRow("wrong opening bracket") << frameOf(badOpen) << Messages{};
    QTest::newRow("wrong closing bracket") << frameOf(badClose) + b << Messages{toBytes(Second)};

    // A 0x7D inside the ciphertext with 0x7B 17 bytes before it: the extra
    // candidate decrypts to garbage and is dropped, the real frame is found.
    qsizetype place = 0;
    const ModuleMessage inner = messageWithInnerCloseBrace(&place);
    QByteArray lead(18, '\x55');
    lead[lead.size() - 17 + place] = '\x7B';
    QTest::newRow("brace pair inside a ciphertext") << lead + frameOf(inner) << Messages{toBytes(inner)};
}

void TestFrameCodec::findsFrames()
{
    QFETCH(QByteArray, stream);
    QFETCH(Messages, expected);
    LinkBench bench;
    bench.feed(stream);
    QCOMPARE(asList(bench.received), expected);
}

void TestFrameCodec::badFrameLeavesCurrentMessage()
{
    LinkBench bench;
    ModuleMessage bad = Second;
    bad[15] = 0x00;
    bench.feed(frameOf(First) + frameOf(bad));
    QCOMPARE(bench.received.size(), std::size_t{1});
    QCOMPARE(bench.codec.CurrentMessage, First);
}

void TestFrameCodec::frameInPieces_data()
{
    QTest::addColumn<QList<int>>("pieces");
    QTest::newRow("5, 10, 3") << QList<int>{5, 10, 3};
    QTest::newRow("17, 1") << QList<int>{17, 1};
    QTest::newRow("byte by byte") << QList<int>(18, 1);
    QTest::newRow("two frames as 20, 16") << QList<int>{20, 16};
}

void TestFrameCodec::frameInPieces()
{
    QFETCH(QList<int>, pieces);
    LinkBench bench;
    const QByteArray stream = frameOf(First) + frameOf(Second);
    qsizetype sent = 0;
    for (int piece : pieces) {
        bench.port.queue(stream.mid(sent, piece));
        sent += piece;
        bench.codec.ComPort1RxChar(piece);
        // A frame counts only once its closing brace has been read.
        QCOMPARE(bench.received.size(), static_cast<std::size_t>(sent / 18));
    }
    QCOMPARE(bench.port.pending(), 0);
}

void TestFrameCodec::readsOnlyWhatTheEventAnnounces()
{
    LinkBench bench;
    bench.port.queue(frameOf(First));
    bench.codec.ComPort1RxChar(10);
    QCOMPARE(bench.port.pending(), 8);
    QVERIFY(bench.received.empty());
    // More announced than queued: the read of nothing ends the event.
    bench.codec.ComPort1RxChar(100);
    QCOMPARE(asList(bench.received), Messages{toBytes(First)});
    QCOMPARE(bench.port.reads(), 10 + 8 + 1);
}

void TestFrameCodec::readErrorEndsEventQuietly()
{
    LinkBench bench;
    bench.port.queue(frameOf(First));
    bench.port.failOnRead = 6;
    bench.codec.ComPort1RxChar(18); // must not throw
    QCOMPARE(bench.port.pending(), 12);
    QVERIFY(bench.received.empty());
    // The bytes left queued come with the next event and complete the frame.
    bench.codec.ComPort1RxChar(12);
    QCOMPARE(asList(bench.received), Messages{toBytes(First)});
}

void TestFrameCodec::handlerErrorEndsEventQuietly()
{
    FakePort port;
    int calls = 0;
    FrameCodec codec(port, [&calls](const ModuleMessage &) {
        ++calls;
        throw std::runtime_error("handler failed");
    });
    port.queue(frameOf(First) + frameOf(Second));
    codec.ComPort1RxChar(36);
    QCOMPARE(calls, 1);
    QCOMPARE(port.pending(), 18);
}

void TestFrameCodec::sendCommandLayout_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QByteArray>("params");
    QTest::addColumn<QByteArray>("plain");
    QTest::newRow("read block 3") << 0x1C << QByteArray::fromHex("0000000340")
                                  << QByteArray::fromHex("5b1c0000ffff00ffff0000000003405d");
    QTest::newRow("announce block 14") << 0x2D << QByteArray::fromHex("0000000e40")
                                       << QByteArray::fromHex("5b2d0000ffff00ffff000000000e405d");
    QTest::newRow("params placed in order") << 0xA7 << QByteArray::fromHex("0102030405")
                                            << QByteArray::fromHex("5ba70000ffff00ffff0001020304055d");
}

void TestFrameCodec::sendCommandLayout()
{
    QFETCH(int, type);
    QFETCH(QByteArray, params);
    QFETCH(QByteArray, plain);
    LinkBench bench;
    std::array<std::uint8_t, 5> p{};
    std::copy_n(params.constData(), 5, reinterpret_cast<char *>(p.data()));
    bench.codec.SendCommand(static_cast<std::uint8_t>(type), p);

    QCOMPARE(bench.port.writes.size(), 1);
    const QByteArray frame = bench.port.writes.first();
    QCOMPARE(frame.size(), 18);
    QCOMPARE(frame.front(), '\x7B');
    QCOMPARE(frame.back(), '\x7D');
    QCOMPARE(toBytes(decryptFrame(frame)).toHex(), plain.toHex());
}

void TestFrameCodec::commandCounterWraps()
{
    LinkBench bench;
    for (int n = 0; n < 257; ++n) {
        bench.codec.SendCommand(0x1C, {});
        if (n == 100)
            bench.codec.SendData(0x3D, {}); // leaves the counter alone
    }
    QCOMPARE(bench.port.writes.size(), 258);
    QList<int> counters;
    for (const QByteArray &frame : bench.port.writes)
        if (decryptFrame(frame)[1] == 0x1C)
            counters.append(decryptFrame(frame)[2]);
    QCOMPARE(counters.size(), 257);
    for (int n = 0; n < 256; ++n)
        QCOMPARE(counters[n], n);
    QCOMPARE(counters[256], 0);
}

void TestFrameCodec::sendDataLayout()
{
    LinkBench bench;
    bench.codec.CommandCounter = 0x42;
    std::array<std::uint8_t, 13> payload{};
    for (std::size_t i = 0; i < payload.size(); ++i)
        payload[i] = static_cast<std::uint8_t>(0xC0 + i);
    bench.codec.SendData(0x3D, payload);

    QCOMPARE(bench.port.writes.size(), 1);
    const QByteArray frame = bench.port.writes.first();
    QCOMPARE(frame.size(), 18);
    QCOMPARE(frame.front(), '\x7B');
    QCOMPARE(frame.back(), '\x7D');
    QCOMPARE(toBytes(decryptFrame(frame)).toHex(), QByteArray("5b3dc0c1c2c3c4c5c6c7c8c9cacbcc5d"));
    QCOMPARE(bench.codec.CommandCounter, 0x42);

    // What is sent comes back as the same message through a receiver.
    LinkBench receiver;
    receiver.feed(frame);
    QCOMPARE(asList(receiver.received), Messages{toBytes(decryptFrame(frame))});
}

void TestFrameCodec::sendCommandOnClosedPortThrows()
{
    LinkBench bench;
    bench.port.connected = false;
    QVERIFY_THROWS_EXCEPTION(FakePort::Failure, bench.codec.SendCommand(0x1C, {}));
    QVERIFY_THROWS_EXCEPTION(FakePort::Failure, bench.codec.SendData(0x3D, {}));
    QCOMPARE(bench.port.writes.size(), 2); // written regardless of Connected
}

void TestFrameCodec::sendText()
{
    LinkBench bench;
    bench.port.connected = false;
    bench.codec.SendText("??");
    QVERIFY(bench.port.texts.isEmpty());

    bench.port.connected = true;
    bench.codec.SendText("??");
    QCOMPARE(bench.port.texts, QList<QByteArray>{QByteArray("??\r")});
    QVERIFY(bench.port.writes.isEmpty());
}

// Frames at random places in random noise: each one is found, in order, and
// the noise yields nothing.
void TestFrameCodec::randomStreamWithEmbeddedFrames()
{
    std::mt19937 rng(20240611);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> gap(0, 4000);
    constexpr qsizetype NoiseBytes = 10'000'000;

    QByteArray stream;
    stream.reserve(NoiseBytes + NoiseBytes / 1000 * 18);
    Messages embedded;
    qsizetype noise = 0;
    while (noise < NoiseBytes) {
        for (int n = gap(rng); n > 0; --n, ++noise)
            stream.append(static_cast<char>(byte(rng)));
        QByteArray payload;
        for (int i = 0; i < 14; ++i)
            payload.append(static_cast<char>(byte(rng)));
        const ModuleMessage m = makeMessage(static_cast<std::uint8_t>(payload[0]), payload.mid(1));
        embedded.append(toBytes(m));
        stream += frameOf(m);
    }
    QVERIFY(embedded.size() > 1000);

    LinkBench bench;
    bench.feed(stream);
    QCOMPARE(asList(bench.received), embedded);
}

QTEST_GUILESS_MAIN(TestFrameCodec)
#include "tst_framecodec.moc"
