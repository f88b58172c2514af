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
// More requests than this never wait for their answers at once.
constexpr std::size_t PendingLimit = 32;

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

void AnswerParts::add(const std::array<std::uint8_t, 16> &message)
{
    const std::size_t k = message[2];
    if (k >= m_data.size())
        return;
    std::copy_n(message.begin() + 3, 12, m_data[k].begin());
    m_have.set(k);
}

bool AnswerParts::complete(ParameterBlock &into) const
{
    if (!m_have.all())
        return false;
    ParameterBlock block{};
    for (std::size_t k = 0; k < 5; ++k)
        std::copy(m_data[k].begin(), m_data[k].end(), block.begin() + 12 * std::ptrdiff_t(k));
    std::copy_n(m_data[5].begin(), 4, block.begin() + 60);
    const std::uint32_t sum = (std::uint32_t{m_data[5][4]} << 24) | (std::uint32_t{m_data[5][5]} << 16)
                              | (std::uint32_t{m_data[5][6]} << 8) | std::uint32_t{m_data[5][7]};
    if (sum != blockChecksum(block))
        return false;
    into = block;
    return true;
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
    m_clock.start();
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

bool ParameterTransfer::watch(const std::function<bool()> &done, int ms)
{
    if (!Link.Connected())
        return false;
    m_opening = Link.port->openingNumber();
    m_running = true;
    m_stopAsked = false;
    const bool ok = waitUntil(done, QDeadlineTimer(ms, Qt::PreciseTimer));
    m_running = false;
    m_stopAsked = false;
    return ok;
}

void ParameterTransfer::noteBytes()
{
    if (Link.codec && Link.codec->receivedBytes() != m_bytesSeen) {
        m_bytesSeen = Link.codec->receivedBytes();
        m_lastByteNs = nowNs();
    }
}

qint64 ParameterTransfer::lineNs(int bytes) const
{
    return Link.port ? qint64(bytes) * Link.port->byteNanos() : 0;
}

void ParameterTransfer::recheckAt(qint64 ns)
{
    if (m_recheckNs == 0 || ns < m_recheckNs)
        m_recheckNs = ns;
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
    // And this one when done() asked to look again before the next tick.
    QTimer look;
    look.setSingleShot(true);
    look.setTimerType(Qt::PreciseTimer);
    // WaitForMoreEvents sleeps until the next event instead of spinning; the
    // receive hand-over, the ticks and a click on Stop are events, so each
    // wakes it. A port closed meanwhile (unplugged, closed by the user, or
    // opened again on another device) cannot answer this operation any
    // more, so the wait ends there rather than at its time-out.
    for (WaitTicks = ticksLeft();; WaitTicks = ticksLeft()) {
        noteBytes();
        m_recheckNs = 0;
        if (done())
            return true;
        if (WaitTicks <= 0 || m_stopAsked || !portHeld())
            return false;
        if (m_recheckNs > 0) {
            const qint64 ms = std::max<qint64>(0, (m_recheckNs - nowNs() + 999'999) / 1'000'000);
            look.start(std::chrono::milliseconds(ms));
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}

bool ParameterTransfer::tryLost(quint64 before, qint64 sentNs, qint64 answerEnd)
{
    const qint64 now = nowNs();
    if (Link.codec->receivedBytes() == before) {
        // Nothing at all: the module may be slow to start; give it a while.
        const qint64 at = sentNs + qint64(Transfer::SilentTryMs) * 1'000'000;
        recheckAt(at);
        return now >= at;
    }
    // Bytes came: the answer's length is fixed, so once its time is over and
    // the line has gone quiet, nothing more of it is coming.
    const qint64 at = std::max(answerEnd + qint64(Transfer::LostMarginMs) * 1'000'000,
                               m_lastByteNs + qint64(Transfer::QuietGapMs) * 1'000'000);
    recheckAt(at);
    return now >= at;
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
    m_partsBlock = -1;
    m_pending.clear();
    m_answerBlock = m_lastPlace = -1;
    m_inStep = false;
    m_acks = 0;
    m_acksOwed = 0;
    m_bytesSeen = Link.codec->receivedBytes();
    Link.codec->onDecoded = [this](const ModuleMessage &message) { onDecoded(message); };

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
    Link.codec->onDecoded = nullptr;
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

void ParameterTransfer::onDecoded(const std::array<std::uint8_t, 16> &message)
{
    switch (classifyMessage(message[1])) {
    case MessageClass::Acknowledge:
        if (message[14] == BlockSize) { // as the dispatcher takes it
            ++m_acks;
            --m_acksOwed;
            m_lastAckNs = nowNs();
        }
        break;
    case MessageClass::BlockHeader: {
        // An answer begins, for the block it names. When that block waits in
        // the queue, the requests before it were not answered, and the stream
        // is in step with the queue from here; an answer nobody here asked
        // for (one of an earlier operation, a misaddressed one) puts it out.
        const int block = message[13];
        const auto at = std::find(m_pending.begin(), m_pending.end(), block);
        m_inStep = at != m_pending.end();
        if (m_inStep)
            m_pending.erase(m_pending.begin(), std::next(at));
        m_answerBlock = block;
        m_lastPlace = -1;
        break;
    }
    case MessageClass::BlockData: {
        // The frame names its place. One whose place does not follow the
        // last one begins an answer whose header was lost: in step, the
        // answer to the oldest request still waiting, as the module answers
        // in order. An answer lost whole only ever gives the next to an
        // earlier request, whose block is done: nothing goes into a block it
        // does not belong to.
        const int place = message[2];
        if (m_answerBlock < 0 || place <= m_lastPlace) {
            m_inStep = m_inStep && !m_pending.empty();
            m_answerBlock = m_inStep ? m_pending.front() : -1;
            if (m_inStep)
                m_pending.pop_front();
        }
        m_lastPlace = place;
        if (m_answerBlock >= 0 && m_answerBlock == m_partsBlock)
            m_parts.add(message);
        break;
    }
    default: break;
    }
}

bool ParameterTransfer::fetchBlock(int block, const QDeadlineTimer &blockDeadline, bool readBack)
{
    BlockReception &reception = *Link.reception;
    m_parts = {};
    m_partsBlock = block;
    bool got = false;
    // A whole answer, or one made of good frames of several tries; either
    // only with the block's checksum matching. The frames are followed one
    // by one as they are decoded: the dispatcher's flag, looked at after a
    // burst of bytes, may belong to an earlier answer than its address.
    const auto take = [&] {
        got = got || m_parts.complete(m_fetched);
        return got;
    };
    for (int attempt = 0;; ++attempt) {
        const bool last = attempt == m_retries;
        reception.BlockReceived = false;
        // Not one frame to another port, nor after Stop; and no repeat once
        // the port has gone (a first try on a closed port reports its error).
        if (portSwitched() || m_stopAsked || (attempt > 0 && !portHeld()))
            break;
        if (attempt > 0)
            noteRepeat(block);
        else if (readBack)
            Link.codec->noteReadBack(block);
        const qint64 start = nowNs();
        if (!sent([&] { Link.codec->SendCommand(Transfer::ReadRequest, Transfer::blockCommand(block)); }, attempt))
            break;
        m_pending.push_back(block);
        if (m_pending.size() > PendingLimit) {
            m_pending.pop_front();
            m_inStep = false;
        }
        const qint64 sentNs = nowNs();
        const qint64 answerEnd = std::max(sentNs, start + lineNs(Transfer::FrameBytes)) + lineNs(Transfer::AnswerBytes);
        const quint64 before = Link.codec->receivedBytes();
        waitUntil(
            [&] {
                if (take())
                    return true;
                if (reception.BlockReceived) {
                    if (m_retries == 0 && reception.ReceivedBlockAddress != block * BlockSize)
                        return true; // the single try ends at another block
                    // A late answer to an earlier request: dropped.
                    reception.BlockReceived = false;
                }
                return !last && tryLost(before, sentNs, answerEnd);
            },
            tryDeadline(blockDeadline, last));
        // A whole answer that came while the try was being given up counts.
        if (got || take())
            break;
        if (reception.BlockReceived || last || blockDeadline.hasExpired())
            break;
    }
    m_partsBlock = -1;
    return got;
}

bool ParameterTransfer::sendBlock(int b)
{
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
        // An acknowledgement owed for longer than a block may take is lost.
        if (m_acksOwed > 0 && nowNs() - m_owedSinceNs > msOf(Transfer::WriteTicks) * 1'000'000)
            m_acksOwed = 0;
        // The acknowledgement names no block: it can be this try's only when
        // every earlier try had its own, none is owed, and none is extra.
        const bool placeable = attempt == 0 && m_acksOwed == 0;
        const int acksBefore = m_acks;
        const qint64 start = nowNs();
        // The seven messages go out back to back.
        const bool out = sent(
            [&] {
                codec.SendCommand(Transfer::WriteCommand, Transfer::blockCommand(b));
                for (std::size_t k = 0; k < 5; ++k)
                    codec.SendData(Transfer::WriteData, parts[k]);
                Link.reception->WriteAcknowledged = false;
                codec.SendData(Transfer::WriteData, parts[5]);
            },
            attempt);
        if (!out)
            return false;
        if (m_acksOwed++ <= 0)
            m_owedSinceNs = start;
        // Its acknowledgement can come only once the block has left the port
        // (the adapter's buffer too) and the module had it on the line.
        Link.port->drain();
        const qint64 earliest = std::max(nowNs(), start + lineNs(Transfer::AnswerBytes));
        // What came in while the block was going out was sent before the
        // module had it: counted here, it can never pass for this try's. (A
        // module with no line between, in-process, has nothing early.)
        if (lineNs(1) > 0)
            QCoreApplication::processEvents();
        const int early = m_acks - acksBefore;
        const qint64 sentNs = nowNs();
        const quint64 before = codec.receivedBytes();
        const qint64 ackEnd = earliest + lineNs(Transfer::FrameBytes);
        waitUntil([&] { return m_acks > acksBefore || (!last && tryLost(before, sentNs, ackEnd)); },
                  tryDeadline(blockDeadline, last));
        const int got = m_acks - acksBefore;
        if (got == 0) {
            if (last || blockDeadline.hasExpired() || m_stopAsked || !portHeld())
                return false;
            continue;
        }
        if (placeable && got == 1 && early == 0 && m_lastAckNs >= earliest)
            return true;
        // Which try, or which block, this acknowledgement is for cannot be
        // told: what the module holds can.
        if (fetchBlock(b, blockDeadline, true) && m_fetched == block) {
            ++m_result.checkedByReadBack;
            if (m_acksOwed < 0)
                m_acksOwed = 0; // the extra ones are in
            return true;
        }
        if (last || blockDeadline.hasExpired() || m_stopAsked || !portHeld())
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
        if (!fetchBlock(b, QDeadlineTimer(msOf(Transfer::ReadTicks), Qt::PreciseTimer))) {
            showFailure();
            return stopAt(b + 1, reception.BlockReceived ? TransferStop::OtherBlock : TransferStop::NoAnswer);
        }
        std::copy(m_fetched.begin(), m_fetched.end(), bufferBlock(m_received, b).begin());
        const auto stored = bufferBlock(store, b);
        if (compare) {
            same = same && std::equal(stored.begin(), stored.end(), m_fetched.begin());
        } else {
            std::copy(m_fetched.begin(), m_fetched.end(), stored.begin());
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
