#pragma once
// The framed, encrypted line format: finds frames in the received byte
// stream and builds the frames the tool sends.

#include "LinkCipher.h"
#include "MessageDispatcher.h"

#include <QByteArray>
#include <array>
#include <cstdint>
#include <functional>

class FrameTrace;
class PortIo;

class FrameCodec
{
public:
    // onMessage runs for every valid received message, after CurrentMessage
    // has been set; normally it is MessageDispatcher::DispatchMessage.
    FrameCodec(PortIo &port, std::function<void(const ModuleMessage &)> onMessage);

    std::array<std::uint8_t, 17> ReceiveWindow{};
    ModuleMessage CurrentMessage{};
    std::uint8_t CommandCounter = 0;

    void ReceiveByte(std::uint8_t byte);
    // Every byte ReceiveByte has seen, frame or not: a transfer tells a
    // quiet line from a busy one by it.
    quint64 receivedBytes() const { return m_receivedBytes; }
    // The port's bytes-received handler: reads count bytes one at a time;
    // any error ends this event quietly, the rest stays queued.
    void ComPort1RxChar(int count);

    void SendCommand(std::uint8_t type, const std::array<std::uint8_t, 5> &params);
    void SendData(std::uint8_t type, const std::array<std::uint8_t, 13> &payload);
    // Plain text plus CR, only while connected; silently nothing otherwise.
    void SendText(const QByteArray &text);
    // The next frames ask for (or write) block b again: marked in the trace.
    void noteRepeat(int block);
    // The next read request checks written block b: marked in the trace.
    void noteReadBack(int block);

    // Every frame sent and received, and the poll, go to the trace while one
    // is set; null: none (the default).
    void setTrace(FrameTrace *trace) { m_trace = trace; }
    // Sees every valid received message right after onMessage: a transfer
    // follows the frames of an answer and the acknowledgements by it.
    std::function<void(const ModuleMessage &)> onDecoded;

private:
    void sendFrame(const ModuleMessage &plain);

    PortIo &m_port;
    std::function<void(const ModuleMessage &)> m_onMessage;
    LinkCipher m_decrypt{LinkCipher::Direction::Decrypt};
    LinkCipher m_encrypt{LinkCipher::Direction::Encrypt};
    FrameTrace *m_trace = nullptr;
    quint64 m_receivedBytes = 0;
};
