#pragma once
// Routes each valid received module message by its type: texts to the memos,
// status bytes to the status window, blocks and acknowledgements into the
// block reception state that the transfer waits on.

#include "BlockChecksum.h"
#include "LinkCipher.h"

#include <QString>
#include <cstdint>

using ModuleMessage = Block16;

struct BlockReception
{
    bool BlockReceived = false;
    std::uint16_t ReceivedBlockAddress = 0;
    ParameterBlock ReceivedBlock{};
    std::uint32_t ReceivedBlockChecksum = 0;
    std::uint16_t ExpectedSequence = 0;
    bool WriteAcknowledged = false;
};

enum class MemoId { Memo3, Memo4, Memo5, MemoDTMF, MemoState };

// Implemented by the windows that show module texts.
class MemoSink
{
public:
    virtual ~MemoSink() = default;
    virtual void AppendToMemo(MemoId memo, const QString &text, bool force) = 0;
};

struct StatusFields
{
    std::uint8_t StatusFlags = 0;
    std::uint8_t SignalLevel = 0;
    std::uint8_t CallState = 0;
    std::uint8_t StatusSpare = 0;
};

// Implemented by the status window: it owns the fields the dispatcher fills.
class StatusSink
{
public:
    virtual ~StatusSink() = default;
    virtual StatusFields &Status() = 0;
    virtual void RefreshStatus() = 0;
    // A fragment of a state text (the texts that also go to MemoState).
    virtual void stateTextReceived(const QString &) {}
};

// What a received message is, by its type byte, as DispatchMessage routes it.
enum class MessageClass { Text, Status, BlockHeader, BlockData, Acknowledge, Unknown };
MessageClass classifyMessage(std::uint8_t type);

class MessageDispatcher
{
public:
    BlockReception Reception;
    MemoSink *Memos = nullptr;   // may stay unset: texts are then dropped
    StatusSink *StatusWindow = nullptr;

    void DispatchMessage(const ModuleMessage &message);
};
