#include "MessageDispatcher.h"

#include "common/Windows1250.h"

#include <QByteArray>
#include <optional>

namespace {

// Payload bytes of the two text layouts.
constexpr int ShortTextFirst = 11;
constexpr int LongTextFirst = 2;
constexpr int TextLast = 14;

struct TextRoute
{
    int first;   // first payload byte of the text
    MemoId memo; // the details memo
    bool toState;
};

// The type byte's two upper bits are ignored everywhere except for 0x33 and
// 0x35, which match only as whole bytes (0x73, 0x75 and so on are ignored).
std::optional<TextRoute> textRouteFor(std::uint8_t type)
{
    if (type == 0x33)
        return TextRoute{LongTextFirst, MemoId::Memo5, false};
    if (type == 0x35)
        return TextRoute{LongTextFirst, MemoId::MemoDTMF, false};
    switch (type & 0x3F) {
    case 0x21: return TextRoute{ShortTextFirst, MemoId::Memo3, true};
    case 0x31: return TextRoute{LongTextFirst, MemoId::Memo3, true};
    case 0x22: return TextRoute{ShortTextFirst, MemoId::Memo4, true};
    case 0x32: return TextRoute{LongTextFirst, MemoId::Memo4, true};
    case 0x23: return TextRoute{ShortTextFirst, MemoId::Memo5, false};
    case 0x25: return TextRoute{ShortTextFirst, MemoId::MemoDTMF, false};
    default: return std::nullopt;
    }
}

constexpr std::uint8_t StatusType = 0x24;
constexpr std::uint8_t BlockHeaderType = 0x2C;
constexpr std::uint8_t BlockDataType = 0x3C;
constexpr std::uint8_t AcknowledgeType = 0x1D;
constexpr std::uint8_t AcknowledgedLength = 0x40; // the block length, 64
constexpr int DataMessages = 6;

void dispatchText(MemoSink *memos, StatusSink *window, const ModuleMessage &message, const TextRoute &route)
{
    QByteArray bytes;
    for (int i = route.first; i <= TextLast; ++i)
        if (message[i] != 0)
            bytes.append(static_cast<char>(message[i]));
    if (bytes.isEmpty())
        return;
    const QString text = Windows1250::toUnicode(bytes);
    if (route.toState && window)
        window->stateTextReceived(text);
    if (!memos)
        return;
    memos->AppendToMemo(route.memo, text, false);
    if (route.toState)
        memos->AppendToMemo(MemoId::MemoState, text, true);
}

void dispatchStatus(StatusSink *window, const ModuleMessage &message)
{
    if (!window)
        return;
    StatusFields &fields = window->Status();
    fields.StatusFlags = message[11];
    fields.SignalLevel = message[12];
    fields.CallState = message[13];
    fields.StatusSpare = message[14];
    window->RefreshStatus();
}

void startBlock(BlockReception &r, const ModuleMessage &message)
{
    r.ReceivedBlockAddress = static_cast<std::uint16_t>(message[13] * 64);
    r.ExpectedSequence = 1;
    r.ReceivedBlockChecksum = 0;
}

void addBlockBytes(BlockReception &r, const ModuleMessage &message, int count)
{
    const int k = r.ExpectedSequence;
    for (int i = 0; i < count; ++i) {
        const std::uint8_t byte = message[3 + i];
        r.ReceivedBlock[static_cast<std::size_t>(12 * (k - 1) + i)] = byte;
        r.ReceivedBlockChecksum += blockChecksumTerm(k, i, byte);
    }
}

void continueBlock(BlockReception &r, const ModuleMessage &message)
{
    // Computed in int: byte 2 = 255 must not wrap round to match 0.
    if (message[2] + 1 != r.ExpectedSequence) {
        r.ExpectedSequence = 0; // missing, repeated or stray: abandon the block
        return;
    }
    if (r.ExpectedSequence < DataMessages) {
        addBlockBytes(r, message, 12);
        ++r.ExpectedSequence;
        return;
    }
    addBlockBytes(r, message, 4);
    const std::uint32_t sent = (std::uint32_t{message[7]} << 24) | (std::uint32_t{message[8]} << 16)
                               | (std::uint32_t{message[9]} << 8) | std::uint32_t{message[10]};
    if (sent == r.ReceivedBlockChecksum)
        r.BlockReceived = true;
    r.ExpectedSequence = 0;
}

} // namespace

MessageClass classifyMessage(std::uint8_t type)
{
    if (textRouteFor(type))
        return MessageClass::Text;
    switch (type & 0x3F) {
    case StatusType: return MessageClass::Status;
    case BlockHeaderType: return MessageClass::BlockHeader;
    case BlockDataType: return MessageClass::BlockData;
    case AcknowledgeType: return MessageClass::Acknowledge;
    default: return MessageClass::Unknown;
    }
}

void MessageDispatcher::DispatchMessage(const ModuleMessage &message)
{
    const std::uint8_t type = message[1];
    switch (classifyMessage(type)) {
    case MessageClass::Text:
        dispatchText(Memos, StatusWindow, message, *textRouteFor(type));
        break;
    case MessageClass::Status:
        dispatchStatus(StatusWindow, message);
        break;
    case MessageClass::BlockHeader:
        startBlock(Reception, message);
        break;
    case MessageClass::BlockData:
        continueBlock(Reception, message);
        break;
    case MessageClass::Acknowledge:
        if (message[14] == AcknowledgedLength)
            Reception.WriteAcknowledged = true;
        break;
    case MessageClass::Unknown:
        break; // unknown types are ignored
    }
}
