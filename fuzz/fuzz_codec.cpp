// Any received byte stream: the codec and dispatcher must not crash or leak,
// and must find the same messages whether the bytes come one by one or in
// receive events of any size with read errors between them. Then the input,
// cut into 16-byte messages, goes out through the send side and must come
// back as exactly those messages.

#include "LinkFakes.h"

#include <cstdio>
#include <cstdlib>

namespace {

void require(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "codec fuzz: %s\n", what);
        std::abort();
    }
}

bool sameReception(const BlockReception &a, const BlockReception &b)
{
    return a.BlockReceived == b.BlockReceived && a.ReceivedBlockAddress == b.ReceivedBlockAddress
           && a.ReceivedBlock == b.ReceivedBlock && a.ReceivedBlockChecksum == b.ReceivedBlockChecksum
           && a.ExpectedSequence == b.ExpectedSequence && a.WriteAcknowledged == b.WriteAcknowledged;
}

bool sameStatus(const std::vector<StatusFields> &a, const std::vector<StatusFields> &b)
{
    auto same = [](const StatusFields &x, const StatusFields &y) {
        return x.StatusFlags == y.StatusFlags && x.SignalLevel == y.SignalLevel && x.CallState == y.CallState
               && x.StatusSpare == y.StatusSpare;
    };
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), same);
}

void checkReceivedOneByOne(LinkBench &bench, const QByteArray &input)
{
    bench.feed(input);
    for (const ModuleMessage &m : bench.received)
        require(m[0] == 0x5B && m[15] == 0x5D, "message without brackets");
    require(bench.dispatcher.Reception.ExpectedSequence <= 6, "sequence out of range");
    for (const MemoCall &call : bench.memos.calls)
        require(!call.text.isEmpty(), "empty text appended");
}

void checkReceivedInEvents(LinkBench &bench, const LinkBench &reference, const QByteArray &input)
{
    bench.port.queue(input);
    const auto *sizes = reinterpret_cast<const std::uint8_t *>(input.constData());
    bench.port.failOnRead = input.isEmpty() ? -1 : sizes[0] % 64;
    for (qsizetype event = 0; bench.port.pending() > 0; ++event)
        bench.codec.ComPort1RxChar(1 + sizes[event % input.size()] % 40);

    require(bench.received == reference.received, "events found other messages");
    require(bench.memos.calls == reference.memos.calls, "events wrote other texts");
    require(sameStatus(bench.status.refreshes, reference.status.refreshes), "events gave another status");
    require(sameReception(bench.dispatcher.Reception, reference.dispatcher.Reception),
            "events left another block state");
}

void checkSendRoundTrip(LinkBench &sender, LinkBench &receiver, const QByteArray &input)
{
    const auto *bytes = reinterpret_cast<const std::uint8_t *>(input.constData());
    for (qsizetype at = 0; at + 14 <= input.size(); at += 14) {
        std::array<std::uint8_t, 13> payload{};
        std::copy_n(bytes + at + 1, 13, payload.begin());
        sender.codec.SendData(bytes[at], payload);
        const QByteArray &frame = sender.port.writes.constLast();
        require(frame.size() == 18, "frame of another length");

        // 17 zero bytes first: no brace pair can then span two ciphertexts
        // and by chance decrypt to an extra bracketed message.
        for (int i = 0; i < 17; ++i)
            receiver.codec.ReceiveByte(0);
        const std::size_t before = receiver.received.size();
        receiver.feed(frame);
        require(receiver.received.size() == before + 1, "a sent frame was not found");
        const ModuleMessage &back = receiver.received.back();
        require(back[0] == 0x5B && back[1] == bytes[at] && back[15] == 0x5D
                    && std::equal(payload.begin(), payload.end(), back.begin() + 2),
                "a sent message came back changed");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // Kept between inputs, but reset before each.
    static LinkBench reference, events, sender, receiver;
    for (LinkBench *bench : {&reference, &events, &sender, &receiver})
        bench->reset();

    const QByteArray input(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    checkReceivedOneByOne(reference, input);
    checkReceivedInEvents(events, reference, input);
    checkSendRoundTrip(sender, receiver, input);
    return 0;
}
