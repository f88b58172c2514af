#include "Transfer.h"

#include "link/FrameCodec.h"
#include "link/MessageDispatcher.h"
#include "serial/SerialPort.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <algorithm>
#include <chrono>

namespace {

constexpr int BlockSize = EEAddr::BlockSize;
constexpr int BlockCount = EEAddr::BlockCount;

std::span<std::uint8_t, BlockSize> bufferBlock(TransferBytes &buffer, int block)
{
    return std::span<std::uint8_t, BlockSize>(buffer.data() + block * BlockSize, BlockSize);
}

} // namespace

bool TransferLink::Connected() const
{
    return port && codec && reception && port->Connected();
}

namespace Transfer {

std::array<std::uint8_t, 5> blockCommand(int block)
{
    return {0, 0, 0, static_cast<std::uint8_t>(block), static_cast<std::uint8_t>(BlockSize)};
}

std::array<Payload, 6> writeParts(const ParameterBlock &block)
{
    std::array<Payload, 6> parts{};
    Payload payload{};
    for (int k = 0; k < 5; ++k) {
        payload[0] = static_cast<std::uint8_t>(k);
        std::copy_n(block.begin() + 12 * k, 12, payload.begin() + 1);
        parts[static_cast<std::size_t>(k)] = payload;
    }
    // The last part reuses the buffer of part 4, so its final byte still
    // holds block byte 59: the module expects exactly these bytes.
    const std::uint32_t sum = blockChecksum(block);
    payload[0] = 5;
    std::copy_n(block.begin() + 60, 4, payload.begin() + 1);
    for (int i = 0; i < 4; ++i)
        payload[static_cast<std::size_t>(5 + i)] = static_cast<std::uint8_t>(sum >> (24 - 8 * i));
    std::fill_n(payload.begin() + 9, 3, 0);
    parts[5] = payload;
    return parts;
}

} // namespace Transfer

ParameterTransfer::ParameterTransfer(TransferDisplay &display, ImageBytes &image, TransferBytes &buffer)
    : m_display(display)
    , m_image(image)
    , m_buffer(buffer)
{
    Timer1.setObjectName(QStringLiteral("Timer1"));
    Timer1.setInterval(m_tickMs);
    Timer1.start();
}

void ParameterTransfer::setTickMs(int ms)
{
    m_tickMs = std::max(ms, 1);
    Timer1.setInterval(m_tickMs);
}

void ParameterTransfer::stop()
{
    if (m_running)
        m_stopAsked = true;
}

bool ParameterTransfer::portSwitched() const
{
    return Link.port->Connected() && Link.port->openingNumber() != m_opening;
}

bool ParameterTransfer::portHeld() const
{
    return Link.Connected() && Link.port->openingNumber() == m_opening;
}

bool ParameterTransfer::waitFor(const bool &flag, int ticks)
{
    const QDeadlineTimer deadline(qint64(ticks) * m_tickMs, Qt::PreciseTimer);
    const auto ticksLeft = [&] { return int((deadline.remainingTime() + m_tickMs - 1) / m_tickMs); };
    // The tick wakes the loop every tick; this shot wakes it at the deadline
    // itself, so that a wait never outlasts its limit.
    QTimer end;
    end.setSingleShot(true);
    end.setTimerType(Qt::PreciseTimer);
    end.start(std::chrono::milliseconds(deadline.remainingTime()));
    // WaitForMoreEvents sleeps until the next event instead of spinning; the
    // receive hand-over, the ticks and a click on Stop are events, so each
    // wakes it. A port closed meanwhile (unplugged, closed by the user, or
    // opened again on another device) cannot answer this operation any
    // more, so the wait ends there rather than at its time-out.
    for (WaitTicks = ticksLeft(); WaitTicks > 0 && !flag && !m_stopAsked && portHeld(); WaitTicks = ticksLeft())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return flag;
}

TransferOutcome ParameterTransfer::Read()
{
    return run(Kind::Read);
}

TransferOutcome ParameterTransfer::Compare()
{
    return run(Kind::Compare);
}

TransferOutcome ParameterTransfer::Write()
{
    return run(Kind::Write);
}

TransferOutcome ParameterTransfer::readInto(ImageBytes &into)
{
    return run(Kind::ReadInto, &into);
}

TransferOutcome ParameterTransfer::run(Kind kind, ImageBytes *into)
{
    m_result = {};
    if (!Link.Connected()) {
        m_display.showMessage(QString::fromLatin1(Transfer::NoConnectionText));
        return TransferOutcome::NotConnected;
    }
    // The operation belongs to this opening of the port from here on.
    m_opening = Link.port->openingNumber();
    m_running = true;
    m_stopAsked = false;
    m_display.DisableButtons();
    m_display.sequenceStarted();
    setPosition(0);
    m_display.SetBarColour(Transfer::Green);

    TransferOutcome outcome = TransferOutcome::Failed;
    try {
        if (kind == Kind::Write) {
            outcome = write();
        } else if (kind == Kind::ReadInto) {
            TransferBytes store{};
            outcome = readOrCompare(false, store);
            std::copy(store.begin(), store.end(), into->begin());
            std::fill(into->begin() + EEAddr::ModuleBytes, into->end(), 0);
        } else {
            outcome = readOrCompare(kind == Kind::Compare, m_buffer);
        }
    } catch (const ESerialPort &error) {
        // The port was closed (or failed) under a running operation: say so
        // once and end it, instead of leaving the window half-way.
        showFailure();
        m_result.portError = QString::fromLocal8Bit(error.what());
        m_display.showError(m_result.portError);
        outcome = TransferOutcome::PortFailed;
        stopAt(m_result.blocksDone + 1, TransferStop::PortClosed);
    }
    m_result.outcome = outcome;
    m_running = false;
    m_stopAsked = false;
    m_display.EnableButtons();
    return outcome;
}

TransferOutcome ParameterTransfer::stopAt(int block, TransferStop why)
{
    m_result.stoppedAt = block;
    // A wait that ended because the port went away says so, whatever it
    // waited for; then one that ended at the user's word.
    m_result.stop = !portHeld() ? TransferStop::PortClosed : m_stopAsked ? TransferStop::Stopped : why;
    if (why == TransferStop::OtherBlock && m_result.stop == why)
        m_result.answeredBlock = Link.reception->ReceivedBlockAddress / BlockSize + 1;
    return TransferOutcome::Failed;
}

bool ParameterTransfer::fetchBlock(int block)
{
    BlockReception &reception = *Link.reception;
    reception.BlockReceived = false;
    if (portSwitched() || m_stopAsked)
        return false; // not one frame to another port, nor after Stop
    Link.codec->SendCommand(Transfer::ReadRequest, Transfer::blockCommand(block));
    return waitFor(reception.BlockReceived, Transfer::ReadTicks)
           && reception.ReceivedBlockAddress == block * BlockSize;
}

TransferOutcome ParameterTransfer::readOrCompare(bool compare, TransferBytes &store)
{
    const BlockReception &reception = *Link.reception;
    bool same = true;
    m_received.fill(0);
    for (int b = 0; b < BlockCount; ++b) {
        // A missing or misaddressed answer ends the operation, in red: from
        // block 12 on the bar is already full, and green would read as done.
        if (!fetchBlock(b)) {
            showFailure();
            return stopAt(b + 1, reception.BlockReceived ? TransferStop::OtherBlock : TransferStop::NoAnswer);
        }
        m_result.blocksDone = b + 1;
        std::copy(reception.ReceivedBlock.begin(), reception.ReceivedBlock.end(), bufferBlock(m_received, b).begin());
        const auto stored = bufferBlock(store, b);
        if (compare) {
            same = same && std::equal(stored.begin(), stored.end(), reception.ReceivedBlock.begin());
        } else {
            std::copy(reception.ReceivedBlock.begin(), reception.ReceivedBlock.end(), stored.begin());
        }
        setPosition(b + 1);
        if (!same)
            m_display.SetBarColour(Transfer::Red);
    }
    if (!same) {
        m_result.differs = true;
        return TransferOutcome::Failed;
    }
    if (!compare && &store == &m_buffer) {
        std::copy(m_buffer.begin(), m_buffer.end(), m_image.begin());
        std::fill(m_image.begin() + EEAddr::ModuleBytes, m_image.end(), 0);
    }
    return TransferOutcome::Succeeded;
}

TransferOutcome ParameterTransfer::write()
{
    BlockReception &reception = *Link.reception;
    FrameCodec &codec = *Link.codec;
    std::copy_n(m_image.begin(), EEAddr::ModuleBytes, m_buffer.begin());
    for (int b = 0; b < BlockCount; ++b) {
        ParameterBlock block;
        const auto stored = bufferBlock(m_buffer, b);
        std::copy(stored.begin(), stored.end(), block.begin());
        const auto parts = Transfer::writeParts(block);
        if (portSwitched() || m_stopAsked) {
            showFailure();
            return stopAt(b + 1, TransferStop::PortClosed);
        }

        // The seven messages go out back to back.
        codec.SendCommand(Transfer::WriteCommand, Transfer::blockCommand(b));
        for (std::size_t k = 0; k < 5; ++k)
            codec.SendData(Transfer::WriteData, parts[k]);
        reception.WriteAcknowledged = false;
        codec.SendData(Transfer::WriteData, parts[5]);

        if (!waitFor(reception.WriteAcknowledged, Transfer::WriteTicks)) {
            showFailure();
            return stopAt(b + 1, TransferStop::NoAcknowledgement);
        }
        m_result.blocksDone = b + 1;
        setPosition(b + 1);
    }
    return TransferOutcome::Succeeded;
}

void ParameterTransfer::setPosition(int position)
{
    m_position = position;
    m_display.setProgress(position);
}

void ParameterTransfer::showFailure()
{
    if (m_position == 0)
        setPosition(1);
    m_display.SetBarColour(Transfer::Red);
}
