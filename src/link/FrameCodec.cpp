#include "FrameCodec.h"

#include "FrameTrace.h"

#include "serial/PortIo.h"
#include "serial/SerialPort.h"

#include <algorithm>
#include <cerrno>
#include <exception>

namespace {

constexpr std::uint8_t FrameOpen = 0x7B;
constexpr std::uint8_t FrameClose = 0x7D;
constexpr std::uint8_t MessageOpen = 0x5B;
constexpr std::uint8_t MessageClose = 0x5D;

} // namespace

FrameCodec::FrameCodec(PortIo &port, std::function<void(const ModuleMessage &)> onMessage)
    : m_port(port)
    , m_onMessage(std::move(onMessage))
{
}

void FrameCodec::ReceiveByte(std::uint8_t byte)
{
    ++m_receivedBytes;
    const std::uint8_t oldest = ReceiveWindow[0];
    std::copy(ReceiveWindow.begin() + 1, ReceiveWindow.end(), ReceiveWindow.begin());
    ReceiveWindow[16] = byte;
    if (oldest != FrameOpen || byte != FrameClose)
        return;

    // The ciphertext may hold braces itself, so this is only a candidate;
    // the brackets inside the plaintext decide.
    Block16 cipher;
    std::copy_n(ReceiveWindow.begin(), cipher.size(), cipher.begin());
    const Block16 plain = m_decrypt.apply(cipher);
    if (plain[0] != MessageOpen || plain[15] != MessageClose)
        return;

    CurrentMessage = plain;
    if (m_trace) {
        std::array<std::uint8_t, 18> line{};
        line[0] = FrameOpen;
        std::copy(ReceiveWindow.begin(), ReceiveWindow.end(), line.begin() + 1);
        m_trace->frame(FrameTrace::Direction::In, QByteArrayView(line.data(), line.size()), plain);
    }
    if (m_onMessage)
        m_onMessage(CurrentMessage);
    if (onDecoded)
        onDecoded(plain);
}

void FrameCodec::ComPort1RxChar(int count)
{
    // An error ends this event without a word; whatever was not read stays
    // queued and is announced again by the port's next event.
    try {
        for (int i = 0; i < count; ++i) {
            std::uint8_t byte = 0;
            if (m_port.ReadBytes(&byte, 1) != 1)
                return;
            ReceiveByte(byte);
        }
    } catch (const std::exception &) {
    }
}

void FrameCodec::SendCommand(std::uint8_t type, const std::array<std::uint8_t, 5> &params)
{
    ModuleMessage plain = {MessageOpen, type, CommandCounter, 0x00, 0xFF, 0xFF, 0x00, 0xFF, 0xFF, 0x00,
                           params[0],   params[1], params[2], params[3], params[4], MessageClose};
    ++CommandCounter; // wraps at 256 by its type
    sendFrame(plain);
}

void FrameCodec::SendData(std::uint8_t type, const std::array<std::uint8_t, 13> &payload)
{
    ModuleMessage plain{};
    plain[0] = MessageOpen;
    plain[1] = type;
    std::copy(payload.begin(), payload.end(), plain.begin() + 2);
    plain[15] = MessageClose;
    sendFrame(plain);
}

void FrameCodec::SendText(const QByteArray &text)
{
    if (!m_port.Connected())
        return;
    const QByteArray line = text + '\r';
    if (m_trace)
        m_trace->poll(line);
    m_port.WriteText(line);
}

void FrameCodec::noteRepeat(int block)
{
    if (m_trace)
        m_trace->repeat(block);
}

void FrameCodec::noteReadBack(int block)
{
    if (m_trace)
        m_trace->readBack(block);
}

void FrameCodec::sendFrame(const ModuleMessage &plain)
{
    const Block16 cipher = m_encrypt.apply(plain);
    std::array<std::uint8_t, 18> frame{};
    frame[0] = FrameOpen;
    std::copy(cipher.begin(), cipher.end(), frame.begin() + 1);
    frame[17] = FrameClose;
    // One write per frame, so frames never interleave on the line.
    if (m_trace)
        m_trace->frame(FrameTrace::Direction::Out, QByteArrayView(frame.data(), frame.size()), plain);
    // Half a frame on the line would garble the next one too: a write that
    // could not send every byte fails the operation.
    if (m_port.WriteBytes(frame.data(), static_cast<int>(frame.size())) != static_cast<int>(frame.size()))
        throw ESerialPort(ESerialPort::WriteFailed, ETIMEDOUT);
}
