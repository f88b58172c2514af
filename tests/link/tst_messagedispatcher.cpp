// The message dispatcher: which types do what, text assembly, status, and
// the block reception that the transfer waits on.

#include "LinkFakes.h"

#include <QtTest>

#include <algorithm>

Q_DECLARE_METATYPE(std::vector<MemoCall>)
Q_DECLARE_METATYPE(std::vector<ModuleMessage>)
Q_DECLARE_METATYPE(ParameterBlock)

// Found by QCOMPARE through argument-dependent lookup.
char *toString(const MemoCall &call)
{
    return qstrdup(QStringLiteral("{memo %1, \"%2\", force %3}")
                       .arg(static_cast<int>(call.memo))
                       .arg(call.text)
                       .arg(call.force)
                       .toUtf8()
                       .constData());
}

class TestMessageDispatcher : public QObject
{
    Q_OBJECT

private slots:
    void textRouting_data();
    void textRouting();
    void onlyListedTypesAct();
    void status();
    void acknowledgement_data();
    void acknowledgement();
    void blockReception_data();
    void blockReception();
    void noWindowsAttached();
};

namespace {

// Bytes 2..14 = "ABCDEFGHIJKLM": a short text reads "JKLM", a long one all.
const QByteArray Letters = "ABCDEFGHIJKLM";

MemoCall detail(MemoId memo, const QString &text) { return {memo, text, false}; }
MemoCall state(const QString &text) { return {MemoId::MemoState, text, true}; }

ParameterBlock countingBlock(int start)
{
    ParameterBlock block{};
    for (std::size_t n = 0; n < block.size(); ++n)
        block[n] = static_cast<std::uint8_t>(start + 7 * n);
    return block;
}

QByteArray shortText(const QByteArray &four)
{
    return QByteArray(9, 'x') + four; // bytes 2..10 are not part of it
}

} // namespace

void TestMessageDispatcher::textRouting_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<std::vector<MemoCall>>("calls");

    const QString shortLetters = "JKLM";
    const QString longLetters = QString::fromLatin1(Letters);
    using M = MemoId;
    QTest::newRow("0x21 short") << 0x21 << Letters
                                << std::vector{detail(M::Memo3, shortLetters), state(shortLetters)};
    QTest::newRow("0x61 short, upper bits ignored")
        << 0x61 << Letters << std::vector{detail(M::Memo3, shortLetters), state(shortLetters)};
    QTest::newRow("0x31 long") << 0x31 << Letters
                               << std::vector{detail(M::Memo3, longLetters), state(longLetters)};
    QTest::newRow("0x71 long") << 0x71 << Letters
                               << std::vector{detail(M::Memo3, longLetters), state(longLetters)};
    QTest::newRow("0x22 short") << 0x22 << Letters
                                << std::vector{detail(M::Memo4, shortLetters), state(shortLetters)};
    QTest::newRow("0xB2 long") << 0xB2 << Letters
                               << std::vector{detail(M::Memo4, longLetters), state(longLetters)};
    QTest::newRow("0x23 short") << 0x23 << Letters << std::vector{detail(M::Memo5, shortLetters)};
    QTest::newRow("0xE3 short") << 0xE3 << Letters << std::vector{detail(M::Memo5, shortLetters)};
    QTest::newRow("0x33 long") << 0x33 << Letters << std::vector{detail(M::Memo5, longLetters)};
    QTest::newRow("0x73 ignored") << 0x73 << Letters << std::vector<MemoCall>{};
    QTest::newRow("0xB3 ignored") << 0xB3 << Letters << std::vector<MemoCall>{};
    QTest::newRow("0x25 short") << 0x25 << Letters << std::vector{detail(M::MemoDTMF, shortLetters)};
    QTest::newRow("0x65 short") << 0x65 << Letters << std::vector{detail(M::MemoDTMF, shortLetters)};
    QTest::newRow("0x35 long") << 0x35 << Letters << std::vector{detail(M::MemoDTMF, longLetters)};
    QTest::newRow("0x75 ignored") << 0x75 << Letters << std::vector<MemoCall>{};

    QTest::newRow("A, 0, B, 0 gives AB") << 0x21 << shortText(QByteArray("A\0B\0", 4))
                                         << std::vector{detail(M::Memo3, "AB"), state("AB")};
    QTest::newRow("all-zero short text writes nothing") << 0x21 << shortText(QByteArray(4, '\0'))
                                                        << std::vector<MemoCall>{};
    QTest::newRow("zeros skipped in a long text, CR LF kept")
        << 0x33 << QByteArray("\0RING\0\r\n\0\0OK\0", 13) << std::vector{detail(M::Memo5, "RING\r\nOK")};
    QTest::newRow("Windows-1250 letters") << 0x25 << shortText("\xDB\xDC\xD5\xFB")
                                          << std::vector{detail(M::MemoDTMF, QStringLiteral("\u0170\u00DC\u0150\u0171"))};
}

void TestMessageDispatcher::textRouting()
{
    QFETCH(int, type);
    QFETCH(QByteArray, payload);
    QFETCH(std::vector<MemoCall>, calls);
    LinkBench bench;
    bench.dispatcher.DispatchMessage(makeMessage(static_cast<std::uint8_t>(type), payload));
    QCOMPARE(bench.memos.calls.size(), calls.size());
    for (std::size_t i = 0; i < calls.size(); ++i)
        QCOMPARE(bench.memos.calls[i], calls[i]);
}

// Every type byte is tried; exactly the listed ones may have any effect.
void TestMessageDispatcher::onlyListedTypesAct()
{
    QList<int> acting;
    for (int lowSix : {0x21, 0x31, 0x22, 0x32, 0x23, 0x25, 0x24, 0x2C, 0x3C, 0x1D})
        for (int upper : {0x00, 0x40, 0x80, 0xC0})
            acting.append(upper | lowSix);
    acting << 0x33 << 0x35;
    std::sort(acting.begin(), acting.end());

    QList<int> seen;
    for (int type = 0; type < 256; ++type) {
        LinkBench bench;
        // Mid-block, so that a data message 1 and a header both show.
        bench.dispatcher.Reception.ExpectedSequence = 1;
        bench.dispatcher.Reception.ReceivedBlockChecksum = 99;
        QByteArray payload = Letters;
        payload[0] = '\0';       // byte 2: data message number 0
        payload[11] = '\x02';    // byte 13: block number 2
        payload[12] = '\x40';    // byte 14: acknowledgement
        bench.dispatcher.DispatchMessage(makeMessage(static_cast<std::uint8_t>(type), payload));

        const BlockReception &r = bench.dispatcher.Reception;
        const bool acted = !bench.memos.calls.empty() || !bench.status.refreshes.empty() || r.BlockReceived
                           || r.WriteAcknowledged || r.ExpectedSequence != 1 || r.ReceivedBlockChecksum != 99
                           || r.ReceivedBlockAddress != 0 || r.ReceivedBlock != ParameterBlock{};
        if (acted)
            seen.append(type);
    }
    QCOMPARE(seen, acting);
}

void TestMessageDispatcher::status()
{
    LinkBench bench;
    bench.dispatcher.DispatchMessage(makeMessage(0x64, QByteArray::fromHex("ffffffffffffffffff1f17050a")));
    QCOMPARE(bench.status.refreshes.size(), std::size_t{1});
    const StatusFields &seen = bench.status.refreshes.front(); // as the refresh found them
    QCOMPARE(seen.StatusFlags, 0x1F);
    QCOMPARE(seen.SignalLevel, 0x17);
    QCOMPARE(seen.CallState, 0x05);
    QCOMPARE(seen.StatusSpare, 0x0A);
    QVERIFY(bench.memos.calls.empty());
}

void TestMessageDispatcher::acknowledgement_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("byte14");
    QTest::addColumn<bool>("acknowledged");
    QTest::newRow("0x1D, 0x40") << 0x1D << 0x40 << true;
    QTest::newRow("0x5D, 0x40") << 0x5D << 0x40 << true;
    QTest::newRow("0x1D, 0x41") << 0x1D << 0x41 << false;
    QTest::newRow("0x1D, 0x00") << 0x1D << 0x00 << false;
    QTest::newRow("0x1E, 0x40") << 0x1E << 0x40 << false;
}

void TestMessageDispatcher::acknowledgement()
{
    QFETCH(int, type);
    QFETCH(int, byte14);
    QFETCH(bool, acknowledged);
    MessageDispatcher dispatcher;
    ModuleMessage m = makeMessage(static_cast<std::uint8_t>(type));
    m[14] = static_cast<std::uint8_t>(byte14);
    dispatcher.DispatchMessage(m);
    QCOMPARE(dispatcher.Reception.WriteAcknowledged, acknowledged);
}

void TestMessageDispatcher::blockReception_data()
{
    QTest::addColumn<bool>("receivedBefore");
    QTest::addColumn<std::vector<ModuleMessage>>("messages");
    QTest::addColumn<bool>("received");
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("expectedSequence");
    QTest::addColumn<ParameterBlock>("block");

    const ParameterBlock a = countingBlock(1);
    const ParameterBlock b = countingBlock(100);
    const auto good = blockMessages(3, a, blockChecksum(a));
    const auto other = blockMessages(5, b, blockChecksum(b));
    auto take = [](const std::vector<ModuleMessage> &v, std::size_t from, std::size_t count) {
        return std::vector<ModuleMessage>(v.begin() + from, v.begin() + from + count);
    };
    auto join = [](std::vector<ModuleMessage> x, const std::vector<ModuleMessage> &y) {
        x.insert(x.end(), y.begin(), y.end());
        return x;
    };
    auto prefix = [](const ParameterBlock &head, const ParameterBlock &tail, std::size_t n) {
        ParameterBlock mixed = tail;
        std::copy_n(head.begin(), n, mixed.begin());
        return mixed;
    };

    QTest::newRow("whole block") << false << good << true << 192 << 0 << a;

    auto changed = good;
    changed[3][7] ^= 0x01;
    ParameterBlock changedBlock = a;
    changedBlock[24 + 4] ^= 0x01;
    QTest::newRow("data byte changed in transit") << false << changed << false << 192 << 0 << changedBlock;
    QTest::newRow("earlier flag is never cleared here") << true << changed << true << 192 << 0 << changedBlock;

    auto repeated = take(good, 0, 3);
    repeated = join(repeated, take(good, 2, 5)); // message 2 twice, then 3..6
    QTest::newRow("message 2 twice abandons") << false << repeated << false << 192 << 0 << prefix(a, {}, 24);

    QTest::newRow("last message straight after header")
        << false << join(take(good, 0, 1), take(good, 6, 1)) << false << 192 << 0 << ParameterBlock{};
    QTest::newRow("data without header") << false << take(good, 1, 6) << false << 0 << 0 << ParameterBlock{};

    QTest::newRow("second header restarts")
        << false << join(take(good, 0, 4), other) << true << 320 << 0 << b;
    QTest::newRow("stored bytes stay until overwritten")
        << false << join(good, take(other, 0, 3)) << true << 320 << 3 << prefix(b, a, 24);

    // Byte 2 = 255 must not wrap round to match the idle state's 0.
    ModuleMessage stray = makeMessage(0x3C);
    stray[2] = 0xFF;
    stray[3] = 0x10;
    QTest::newRow("data number 255 while idle") << false << std::vector{stray} << false << 0 << 0 << ParameterBlock{};
}

void TestMessageDispatcher::blockReception()
{
    QFETCH(bool, receivedBefore);
    QFETCH(std::vector<ModuleMessage>, messages);
    QFETCH(bool, received);
    QFETCH(int, address);
    QFETCH(int, expectedSequence);
    QFETCH(ParameterBlock, block);

    // Through the codec, as the module's frames arrive.
    LinkBench bench;
    bench.dispatcher.Reception.BlockReceived = receivedBefore;
    QByteArray stream;
    for (const ModuleMessage &m : messages)
        stream += frameOf(m);
    bench.feed(stream);

    const BlockReception &r = bench.dispatcher.Reception;
    QCOMPARE(r.BlockReceived, received);
    QCOMPARE(r.ReceivedBlockAddress, address);
    QCOMPARE(r.ExpectedSequence, expectedSequence);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(r.ReceivedBlock.data()), 64).toHex(),
             QByteArray(reinterpret_cast<const char *>(block.data()), 64).toHex());
}

// Before the windows exist texts and status are dropped, and blocks still
// come through.
void TestMessageDispatcher::noWindowsAttached()
{
    MessageDispatcher dispatcher;
    dispatcher.DispatchMessage(makeMessage(0x31, Letters));
    dispatcher.DispatchMessage(makeMessage(0x21, Letters));
    dispatcher.DispatchMessage(makeMessage(0x24, Letters));
    const ParameterBlock block = countingBlock(9);
    for (const ModuleMessage &m : blockMessages(0, block, blockChecksum(block)))
        dispatcher.DispatchMessage(m);
    QVERIFY(dispatcher.Reception.BlockReceived);
}

QTEST_GUILESS_MAIN(TestMessageDispatcher)
#include "tst_messagedispatcher.moc"
