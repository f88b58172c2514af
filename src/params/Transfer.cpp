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

std::span<std::uint8_t, BlockSize> bufferBlock(std::span<std::uint8_t> buffer, int block)
{
    return std::span<std::uint8_t, BlockSize>(buffer.data() + block * BlockSize, BlockSize);
}

} // namespace

bool TransferLink::Connected() const
{
    return port && codec && reception && port->Connected();
}

Transfer::BlockSet TransferResult::reached() const
{
    Transfer::BlockSet done;
    for (int b = 0, left = blocksDone; b < BlockCount && left > 0; ++b)
        if (blocks.test(std::size_t(b))) {
            done.set(std::size_t(b));
            --left;
        }
    return done;
}

namespace Transfer {

BlockSet differingBlocks(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b)
{
    BlockSet differ;
    for (int block = 0; block < BlockCount; ++block)
        differ.set(std::size_t(block), !std::equal(a.begin() + block * BlockSize, a.begin() + (block + 1) * BlockSize,
                                                   b.begin() + block * BlockSize));
    return differ;
}

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

void ParameterTransfer::setRetries(int retries)
{
    m_retries = std::clamp(retries, 0, Transfer::MaxRetries);
}

bool ParameterTransfer::waitFor(const bool &flag, int ticks)
{
    return waitUntil([&flag] { return flag; }, QDeadlineTimer(msOf(ticks), Qt::PreciseTimer));
}

void ParameterTransfer::noteBytes()
{
    if (Link.codec && Link.codec->receivedBytes() != m_bytesSeen) {
        m_bytesSeen = Link.codec->receivedBytes();
        m_sinceByte.start();
    }
}

bool ParameterTransfer::waitUntil(const std::function<bool()> &done, const QDeadlineTimer &deadline)
{
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
    for (WaitTicks = ticksLeft();; WaitTicks = ticksLeft()) {
        noteBytes();
        if (done())
            return true;
        if (WaitTicks <= 0 || m_stopAsked || !portHeld())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}

bool ParameterTransfer::waitForQuiet(const QDeadlineTimer &deadline)
{
    noteBytes();
    if (!m_sinceByte.isValid())
        return true; // nothing ever arrived
    return waitUntil([this] { return m_sinceByte.elapsed() >= msOf(Transfer::QuietTicks); }, deadline);
}

QDeadlineTimer ParameterTransfer::tryDeadline(const QDeadlineTimer &block, bool last) const
{
    if (last)
        return block;
    return std::min(block, QDeadlineTimer(msOf(Transfer::TryTicks), Qt::PreciseTimer));
}

void ParameterTransfer::noteRepeat(int block)
{
    ++m_result.repeated;
    Link.codec->noteRepeat(block);
}

TransferOutcome ParameterTransfer::Read()
{
    return run(Kind::Read, Transfer::AllBlocks);
}

TransferOutcome ParameterTransfer::Compare()
{
    return run(Kind::Compare, Transfer::AllBlocks);
}

TransferOutcome ParameterTransfer::Write()
{
    return run(Kind::Write, Transfer::AllBlocks);
}

TransferOutcome ParameterTransfer::Write(const Transfer::BlockSet &blocks)
{
    return run(Kind::Write, blocks);
}

TransferOutcome ParameterTransfer::readInto(ImageBytes &into)
{
    into.fill(0);
    return run(Kind::ReadInto, Transfer::AllBlocks, &into);
}

TransferOutcome ParameterTransfer::readInto(ImageBytes &into, const Transfer::BlockSet &blocks)
{
    return run(Kind::ReadInto, blocks, &into);
}

TransferOutcome ParameterTransfer::run(Kind kind, const Transfer::BlockSet &blocks, ImageBytes *into)
{
    m_result = {};
    m_result.blocks = blocks;
    m_block = 0;
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
            outcome = readOrCompare(false, *into);
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
        stopAt(m_block + 1, TransferStop::PortClosed);
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
    m_result.stop = !portHeld() || !m_result.portError.isEmpty() ? TransferStop::PortClosed : m_stopAsked ? TransferStop::Stopped : why;
    if (why == TransferStop::OtherBlock && m_result.stop == why)
        m_result.answeredBlock = Link.reception->ReceivedBlockAddress / BlockSize + 1;
    return TransferOutcome::Failed;
}

bool ParameterTransfer::sent(const std::function<void()> &send, int attempt)
{
    if (attempt == 0) {
        send(); // a first try's failure is the port's error, said once
        return true;
    }
    try {
        send();
        return true;
    } catch (const ESerialPort &error) {
        // A repeat met a line that hung up before the hang-up was seen:
        // the port is gone, which the outcome says without an error box.
        m_result.portError = QString::fromLocal8Bit(error.what());
        return false;
    }
}

bool ParameterTransfer::fetchBlock(int block)
{
    BlockReception &reception = *Link.reception;
    const QDeadlineTimer blockDeadline(msOf(Transfer::ReadTicks), Qt::PreciseTimer);
    for (int attempt = 0;; ++attempt) {
        const bool last = attempt == m_retries;
        reception.BlockReceived = false;
        // Not one frame to another port, nor after Stop; and no repeat once
        // the port has gone (a first try on a closed port reports its error).
        if (portSwitched() || m_stopAsked || (attempt > 0 && !portHeld()))
            return false;
        if (attempt > 0)
            noteRepeat(block);
        if (!sent([&] { Link.codec->SendCommand(Transfer::ReadRequest, Transfer::blockCommand(block)); }, attempt))
            return false;
        const quint64 sent = Link.codec->receivedBytes();
        waitUntil(
            [&] {
                if (!reception.BlockReceived)
                    // Bytes came, then the line fell quiet without a whole
                    // block: the answer was damaged, so ask again now.
                    return !last && m_bytesSeen != sent && m_sinceByte.elapsed() >= msOf(Transfer::QuietTicks);
                if (reception.ReceivedBlockAddress == block * BlockSize || m_retries == 0)
                    return true; // the single try ends at any block
                // A late answer to an earlier request: dropped.
                reception.BlockReceived = false;
                return false;
            },
            tryDeadline(blockDeadline, last));
        if (reception.BlockReceived) {
            const bool ours = reception.ReceivedBlockAddress == block * BlockSize;
            // An answer to an earlier try may still be on its way: let it
            // pass before the next block is asked for.
            if (ours && attempt > 0)
                waitForQuiet(QDeadlineTimer(msOf(Transfer::TryTicks), Qt::PreciseTimer));
            return ours;
        }
        if (last || !waitForQuiet(blockDeadline) || blockDeadline.hasExpired())
            return false;
    }
}

bool ParameterTransfer::sendBlock(int b)
{
    BlockReception &reception = *Link.reception;
    FrameCodec &codec = *Link.codec;
    ParameterBlock block;
    const auto stored = bufferBlock(m_buffer, b);
    std::copy(stored.begin(), stored.end(), block.begin());
    const auto parts = Transfer::writeParts(block);
    const QDeadlineTimer blockDeadline(msOf(Transfer::WriteTicks), Qt::PreciseTimer);
    for (int attempt = 0;; ++attempt) {
        const bool last = attempt == m_retries;
        if (portSwitched() || m_stopAsked || (attempt > 0 && !portHeld()))
            return false; // as for a read
        // The module stores the same 64 bytes again: harmless.
        if (attempt > 0)
            noteRepeat(b);
        // The seven messages go out back to back.
        const bool out = sent(
            [&] {
                codec.SendCommand(Transfer::WriteCommand, Transfer::blockCommand(b));
                for (std::size_t k = 0; k < 5; ++k)
                    codec.SendData(Transfer::WriteData, parts[k]);
                reception.WriteAcknowledged = false;
                codec.SendData(Transfer::WriteData, parts[5]);
            },
            attempt);
        if (!out)
            return false;
        if (waitUntil([&reception] { return reception.WriteAcknowledged; }, tryDeadline(blockDeadline, last))) {
            // The acknowledgement of an earlier try may follow this one.
            if (attempt > 0)
                waitForQuiet(QDeadlineTimer(msOf(Transfer::TryTicks), Qt::PreciseTimer));
            return true;
        }
        if (last || !waitForQuiet(blockDeadline) || blockDeadline.hasExpired())
            return false;
    }
}

TransferOutcome ParameterTransfer::readOrCompare(bool compare, std::span<std::uint8_t> store)
{
    const BlockReception &reception = *Link.reception;
    bool same = true;
    m_received.fill(0);
    for (int b = 0; b < BlockCount; ++b) {
        if (!m_result.blocks.test(std::size_t(b)))
            continue;
        m_block = b;
        // A missing or misaddressed answer ends the operation, in red: from
        // block 12 on the bar is already full, and green would read as done.
        if (!fetchBlock(b)) {
            showFailure();
            return stopAt(b + 1, reception.BlockReceived ? TransferStop::OtherBlock : TransferStop::NoAnswer);
        }
        std::copy(reception.ReceivedBlock.begin(), reception.ReceivedBlock.end(), bufferBlock(m_received, b).begin());
        const auto stored = bufferBlock(store, b);
        if (compare) {
            same = same && std::equal(stored.begin(), stored.end(), reception.ReceivedBlock.begin());
        } else {
            std::copy(reception.ReceivedBlock.begin(), reception.ReceivedBlock.end(), stored.begin());
        }
        blockDone();
        if (!same)
            m_display.SetBarColour(Transfer::Red);
    }
    if (!same) {
        m_result.differs = true;
        return TransferOutcome::Failed;
    }
    if (!compare && store.data() == m_buffer.data()) {
        std::copy(m_buffer.begin(), m_buffer.end(), m_image.begin());
        std::fill(m_image.begin() + EEAddr::ModuleBytes, m_image.end(), 0);
    }
    return TransferOutcome::Succeeded;
}

TransferOutcome ParameterTransfer::write()
{
    std::copy_n(m_image.begin(), EEAddr::ModuleBytes, m_buffer.begin());
    if (m_result.blocks.none())
        setPosition(BlockCount); // nothing to send: done
    for (int b = 0; b < BlockCount; ++b) {
        if (!m_result.blocks.test(std::size_t(b)))
            continue;
        m_block = b;
        if (!sendBlock(b)) {
            showFailure();
            return stopAt(b + 1, TransferStop::NoAcknowledgement);
        }
        blockDone();
    }
    return TransferOutcome::Succeeded;
}

void ParameterTransfer::blockDone()
{
    ++m_result.blocksDone;
    // A full sequence sets 1 to 15, one a block; a part of one moves as far
    // in its share, so that its last block fills the bar too.
    setPosition(m_result.blocksDone * BlockCount / int(m_result.blocks.count()));
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
