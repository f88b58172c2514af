#pragma once
// Moving the parameter image to and from the module, block by block, and
// comparing the module with the data last exchanged. Each operation runs to
// its end inside one call, waiting for the module's answers in the event loop
// so that received bytes are decoded and dispatched meanwhile. The transfer
// keeps its own time: no host has to drive it. The window shows what happens
// through TransferDisplay.

#include "ParameterImage.h"

#include "link/BlockChecksum.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QString>
#include <QTimer>
#include <array>
#include <bitset>
#include <cstdint>
#include <deque>
#include <functional>
#include <span>

class FrameCodec;
class PortIo;
struct BlockReception;

// The parts of the main window's module link that a transfer uses.
struct TransferLink
{
    PortIo *port = nullptr;
    FrameCodec *codec = nullptr;
    BlockReception *reception = nullptr;

    // False while any part is missing.
    bool Connected() const;
};

// Implemented by the transfer window.
class TransferDisplay
{
public:
    virtual ~TransferDisplay() = default;
    virtual void DisableButtons() = 0;
    virtual void EnableButtons() = 0;
    virtual void setProgress(int position) = 0;
    virtual void SetBarColour(std::uint32_t rgb) = 0;
    // A plain message box, and the error box of a failed port.
    virtual void showMessage(const QString &text) = 0;
    virtual void showError(const QString &text) = 0;
    // A sequence begins: a read, compare or write, or the read of a backup
    // or verify. The command line counts its stages by it.
    virtual void sequenceStarted() {}
};

namespace Transfer {

inline constexpr std::uint32_t Green = 0x008000;
inline constexpr std::uint32_t Red = 0xFF0000;

// Positions 1 to 15 count the blocks done; the bar is full from 12 on.
inline constexpr int BarMaximum = 12;

inline constexpr int TickMs = 100;
inline constexpr int ReadTicks = 50;  // per block, read and compare
inline constexpr int WriteTicks = 80; // per block

// A block whose answer is lost or damaged is asked for (written) again, up
// to MaxRetries times, each try with its own time-out of TryTicks; the last
// try has what is left of the block's time. All tries of a block together
// stay within its limit above.
inline constexpr int MaxRetries = 3;
inline constexpr int TryTicks = 10;

// An answer (a header and six data messages) and a written block (a command
// and six data messages) are 126 bytes on the line, each after an 18-byte
// frame the other way.
inline constexpr int FrameBytes = 18;
inline constexpr int AnswerBytes = 7 * FrameBytes;
// A try whose answer has not come whole by the time it would have ended, plus
// LostMarginMs, and after which the line has been quiet for QuietGapMs, is
// lost: asked again at once. The quiet gap is longer than the 16 ms between
// the bursts in which a USB adapter hands bytes over (its latency timer),
// with as much again for a busy PC to wake; an answer that a loaded PC
// delays further is still taken when it completes during the next try, so a
// margin too short costs a repeat, never data.
inline constexpr int LostMarginMs = 20;
inline constexpr int QuietGapMs = 30;
// A try that receives nothing at all ends after SilentTryMs when later tries
// remain; the last one waits for the rest of the block's time as before.
inline constexpr int SilentTryMs = 300;

inline constexpr std::uint8_t ReadRequest = 28;
inline constexpr std::uint8_t WriteCommand = 45;
inline constexpr std::uint8_t WriteData = 61;

inline constexpr char NoConnectionText[] = " No serial connection.";

using Payload = std::array<std::uint8_t, 13>;

// Which of the 15 blocks a sequence covers; bit b is block b.
using BlockSet = std::bitset<EEAddr::BlockCount>;
inline const BlockSet AllBlocks = BlockSet().set();

// The blocks whose 64 bytes differ between two images.
BlockSet differingBlocks(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b);

// The five parameter bytes of a read request or write command for a block.
std::array<std::uint8_t, 5> blockCommand(int block);

// The six write data messages of a block: parts 0 to 4 carry 12 bytes each;
// the last carries bytes 60 to 63, the checksum (most significant byte
// first), three zeros, and in its final byte block byte 59 again, as left
// there by part 4.
std::array<Payload, 6> writeParts(const ParameterBlock &block);

// The block data messages of the answers to one block, by the place each
// names: good frames of several tries make the block once all six are
// there and the checksum the last one carries matches the 64 bytes.
class AnswerParts
{
public:
    // A decrypted block data message; its byte 2 says its place (0 to 5).
    void add(const std::array<std::uint8_t, 16> &message);
    // The block, only with its checksum matching.
    bool complete(ParameterBlock &into) const;

private:
    std::array<std::array<std::uint8_t, 12>, 6> m_data{};
    std::bitset<6> m_have;
};

} // namespace Transfer

enum class TransferOutcome {
    NotConnected, // only the message; nothing changed
    Succeeded,
    Failed,     // no, wrong or unacknowledged answer, or (compare) a difference
    PortFailed, // a send raised a port error, shown once
};

// Why a sequence ended before its last block.
enum class TransferStop {
    None,              // ran to its end (a compare may still have found a difference)
    NoAnswer,          // no block within the time-out
    OtherBlock,        // the answer carried another block's address
    NoAcknowledgement, // a written block was not acknowledged in time
    PortClosed,        // the port it started on was closed, lost or failed meanwhile
    Stopped,           // the user asked it to stop
};

// What the last sequence did, for outcome lines. Blocks count from 1.
struct TransferResult
{
    TransferOutcome outcome = TransferOutcome::NotConnected;
    TransferStop stop = TransferStop::None;
    int blocksDone = 0;    // blocks received or acknowledged, 0 to 15
    int stoppedAt = 0;     // the block it stopped at, 1 to 15; 0 when it did not stop
    int answeredBlock = 0; // OtherBlock: the block the module answered for, 1 to 15
    bool differs = false;  // a compare or verify found a difference
    QString portError;     // PortClosed by a failed send: the port's error
    int repeated = 0;      // tries beyond the first, over all blocks
    // Written blocks whose acknowledgement could not be placed (early, a
    // second one, one after a repeat) and that were found stored by reading
    // them back.
    int checkedByReadBack = 0;
    Transfer::BlockSet blocks = Transfer::AllBlocks; // the blocks the sequence covered

    // The blocks received or acknowledged: the first blocksDone of `blocks`.
    Transfer::BlockSet reached() const;
};

class ParameterTransfer
{
public:
    explicit ParameterTransfer(TransferDisplay &display, ImageBytes &image = ParameterImage,
                               TransferBytes &buffer = TransferBuffer);

    TransferLink Link;

    // The 100 ms tick (the transfer window's Timer1), always running: it
    // wakes every wait so that the wait sees its deadline, a Stop and a
    // closed port without anything else happening on the line.
    QTimer &tick() { return Timer1; }
    // The length of one tick; every limit stays a count of ticks. Shorter
    // than TickMs only where time-outs must pass quickly (soak tests).
    void setTickMs(int ms);

    // Waits on the port the link holds now, as the operations wait: asleep
    // in the event loop, woken by every received byte and every tick, at
    // most ms; ends early when that port closes and when Stop is pressed.
    // True when done() said so. The status poll waits with it between polls.
    bool watch(const std::function<bool()> &done, int ms);

    // How often a lost or damaged block is tried again: 0 to MaxRetries (the
    // default); 0 is the single try, where a wrong answer ends the operation.
    void setRetries(int retries);
    int retries() const { return m_retries; }

    // Ends the running operation at its next wait step, as a stop the user
    // asked for; does nothing when no operation runs.
    void stop();
    bool running() const { return m_running; }

    // A read replaces image bytes 0 to 959 with the module's blocks and clears
    // bytes 960 to 1087, but only once all 15 blocks have arrived; a read
    // that stops early leaves the image as it was. A compare never changes
    // the image. A write leaves it alone too.
    TransferOutcome Read();
    TransferOutcome Compare();
    TransferOutcome Write();
    // Writes only the given blocks; TransferBuffer takes all of image bytes 0
    // to 959 all the same, as the module holds them once the others were
    // found equal. No block: nothing is sent, and it succeeds.
    TransferOutcome Write(const Transfer::BlockSet &blocks);

    // Reads the 15 blocks into `into` (bytes 960 to 1087 zero), leaving the
    // image and TransferBuffer alone: the backup before a write and the
    // read-back of a verify. On failure `into` holds what arrived so far.
    TransferOutcome readInto(ImageBytes &into);
    // Reads only the given blocks into their place in `into`, leaving its
    // other bytes as they were.
    TransferOutcome readInto(ImageBytes &into, const Transfer::BlockSet &blocks);

    // How the last sequence ended.
    const TransferResult &Result() const { return m_result; }
    // The image a write sends and a read fills: ParameterImage by default.
    const ImageBytes &Image() const { return m_image; }
    // The blocks of the last write (or read): TransferBuffer by default.
    const TransferBytes &Buffer() const { return m_buffer; }
    // Every block the last read, compare or read-back received, so that a
    // compare's differences can be listed in full; blocks it did not reach
    // are zero.
    const TransferBytes &Received() const { return m_received; }

    // Red, and at least position 1 so the colour shows: the end of every
    // operation that stopped before its last block.
    void showFailure();

private:
    enum class Kind { Read, Compare, Write, ReadInto };

    // `into` receives the blocks of a ReadInto.
    TransferOutcome run(Kind kind, const Transfer::BlockSet &blocks, ImageBytes *into = nullptr);
    // Reads the blocks into their place in `store` (at least 960 bytes).
    TransferOutcome readOrCompare(bool compare, std::span<std::uint8_t> store);
    TransferOutcome stopAt(int block, TransferStop why);
    TransferOutcome write();
    // One more of the sequence's blocks done: the bar shows the share done.
    void blockDone();
    // Sends one try of a block; false when a repeat's send failed.
    bool sent(const std::function<void()> &send, int attempt);
    // Requests block b, again while its answer is lost or damaged, within
    // blockDeadline; true when the answer is that block, whole, in m_fetched.
    // readBack: a written block is checked (marked so in the trace).
    bool fetchBlock(int block, const QDeadlineTimer &blockDeadline, bool readBack = false);
    // Sends block b, again while its acknowledgement is lost; true once an
    // acknowledgement is placed, or reading back found the block stored.
    bool sendBlock(int block);
    // Sleeps in the event loop until done() or the deadline, Stop, or the
    // port's closing; notes when bytes arrive. True when done() held.
    QTimer Timer1;
    // Whole ticks left of the running wait; 0 once it has run out.
    int WaitTicks = 0;
    bool waitUntil(const std::function<bool()> &done, const QDeadlineTimer &deadline);
    // A try that has waited long enough, with `before` the byte count when it
    // was sent and answerEnd when its whole answer would have been in.
    bool tryLost(quint64 before, qint64 sentNs, qint64 answerEnd);
    // Wakes the running wait at this time, to look again.
    void recheckAt(qint64 ns);
    // One try's deadline within its block's.
    QDeadlineTimer tryDeadline(const QDeadlineTimer &block, bool last) const;
    void noteRepeat(int block);
    void noteBytes();
    // Every valid message the codec decodes: answer frames and acknowledgements.
    void onDecoded(const std::array<std::uint8_t, 16> &message);
    qint64 nowNs() const { return m_clock.nsecsElapsed(); }
    qint64 lineNs(int bytes) const;
    qint64 msOf(int ticks) const { return qint64(ticks) * m_tickMs; }
    // The port is open under another opening than the operation started on:
    // nothing more may be sent.
    bool portSwitched() const;
    // Open, and still the opening the operation started on.
    bool portHeld() const;
    void setPosition(int position);

    TransferDisplay &m_display;
    ImageBytes &m_image;
    TransferBytes &m_buffer;
    TransferBytes m_received{};
    int m_position = 0;
    int m_block = 0; // the block being read or written
    int m_tickMs = Transfer::TickMs;
    int m_retries = Transfer::MaxRetries;
    quint64 m_bytesSeen = 0;
    QElapsedTimer m_clock;      // the operation's time base
    qint64 m_lastByteNs = 0;    // the last byte the codec saw
    qint64 m_recheckNs = 0;     // when the running wait looks again; 0: at its ticks
    // The answers to the block being fetched.
    Transfer::AnswerParts m_parts;
    int m_partsBlock = -1; // -1: no block fetched
    // The module answers requests in order, one answer each: the blocks of
    // the requests whose answers have not begun yet, oldest first.
    std::deque<int> m_pending;
    int m_answerBlock = -1; // whose answer is coming in; -1: none known
    int m_lastPlace = -1;   // the place of its last data message
    bool m_inStep = false;  // the answers coming are those of m_pending, in order
    ParameterBlock m_fetched{};
    int m_acks = 0;          // acknowledgements received in this operation
    qint64 m_lastAckNs = 0;  // when the last one was decoded
    // Write tries sent minus acknowledgements received: 0 when every try so
    // far had its one acknowledgement, so the next can be placed.
    int m_acksOwed = 0;
    qint64 m_owedSinceNs = 0;
    quint64 m_opening = 0;
    bool m_running = false;
    bool m_stopAsked = false;
    TransferResult m_result;
};
