#include "ModuleSimulator.h"

#include "SimArgs.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

// Types compare on their low six bits, as the tool's own dispatcher does.
constexpr std::uint8_t TypeMask = 0x3F;
constexpr std::uint8_t ReadRequest = 0x1C;
constexpr std::uint8_t WriteCommand = 0x2D;
constexpr std::uint8_t WriteData = 0x3D;

constexpr std::uint8_t BlockHeader = 0x2C;
constexpr std::uint8_t BlockData = 0x3C;
constexpr std::uint8_t Acknowledge = 0x1D;
constexpr std::uint8_t StatusMessage = 0x24;

constexpr std::uint8_t BlockLength = 0x40;
constexpr int DataMessages = 6;
constexpr int BytesPerData = 12;

// Short and long text types of channels 1 to 4.
constexpr std::array<std::uint8_t, 4> ShortTextType = {0x21, 0x22, 0x23, 0x25};
constexpr std::array<std::uint8_t, 4> LongTextType = {0x31, 0x32, 0x33, 0x35};
constexpr int ShortTextLength = 4;
constexpr int LongTextLength = 13;

// A corrupted answer has this ciphertext byte of its third data message
// inverted: the frame no longer decrypts to a bracketed message.
constexpr int CorruptedDataMessage = 3;
constexpr int CorruptedFrameByte = 8;

constexpr std::uint8_t PollByte = 0x3F;
constexpr std::uint8_t CarriageReturn = 0x0D;

std::uint32_t readChecksum(const ModuleMessage &message)
{
    return (std::uint32_t{message[7]} << 24) | (std::uint32_t{message[8]} << 16)
           | (std::uint32_t{message[9]} << 8) | std::uint32_t{message[10]};
}

} // namespace

int ModuleSimulator::Collector::WriteBytes(const std::uint8_t *buffer, int n)
{
    bytes.append(reinterpret_cast<const char *>(buffer), n);
    return n;
}

int ModuleSimulator::Collector::WriteText(const QByteArray &text)
{
    bytes.append(text);
    return static_cast<int>(text.size());
}

ModuleSimulator::ModuleSimulator()
    : m_codec(std::make_unique<FrameCodec>(m_collector,
                                           [this](const ModuleMessage &message) { onMessage(message); }))
    , m_random(std::random_device{}())
{
    memory.fill(0xFF);
    auto started = std::make_shared<QElapsedTimer>();
    started->start();
    clock = [started] { return started->elapsed(); };
}

ModuleSimulator::~ModuleSimulator() = default;

ParameterBlock ModuleSimulator::block(int number) const
{
    ParameterBlock data{};
    std::copy_n(memory.begin() + number * 64, data.size(), data.begin());
    return data;
}

void ModuleSimulator::setBlock(int number, const ParameterBlock &data)
{
    std::copy(data.begin(), data.end(), memory.begin() + number * 64);
}

void ModuleSimulator::setStateText(int channel, const QByteArray &text)
{
    if (isValidChannel(channel))
        m_pendingTexts[static_cast<std::size_t>(channel - 1)] = text + '\r';
}

void ModuleSimulator::arm(const Fault &fault)
{
    switch (fault.kind) {
    case FaultKind::Noise:
        m_noise = std::clamp(fault.probability, 0.0, 1.0);
        break;
    case FaultKind::HangupAfter:
        m_framesToHangup = std::max(fault.frames, 1);
        break;
    default:
        ++m_armed[{fault.kind, fault.block}];
        break;
    }
}

void ModuleSimulator::clearFaults()
{
    m_armed.clear();
    m_noise = 0.0;
    m_framesToHangup = 0;
}

int ModuleSimulator::armedCount(FaultKind kind, int block) const
{
    const auto it = m_armed.find({kind, block});
    return it == m_armed.end() ? 0 : it->second;
}

void ModuleSimulator::setSeed(std::uint32_t seed)
{
    m_random.seed(seed);
}

void ModuleSimulator::receive(QByteArrayView bytes)
{
    for (const char c : bytes) {
        if (m_hungUp)
            return;
        const auto byte = static_cast<std::uint8_t>(c);
        // The poll travels outside the frames, so the raw stream is watched
        // alongside the frame search.
        m_lastBytes = {m_lastBytes[1], m_lastBytes[2], byte};
        m_codec->ReceiveByte(byte);
        if (m_lastBytes[0] == PollByte && m_lastBytes[1] == PollByte && byte == CarriageReturn)
            answerPoll();
    }
}

void ModuleSimulator::onMessage(const ModuleMessage &message)
{
    log("rx", message);
    switch (message[1] & TypeMask) {
    case ReadRequest:
        answerRead(message);
        break;
    case WriteCommand:
        startWrite(message);
        break;
    case WriteData:
        continueWrite(message);
        break;
    default:
        break; // the module ignores what it does not know
    }
}

void ModuleSimulator::answerRead(const ModuleMessage &request)
{
    const int number = request[13];
    if (!isValidBlock(number) || request[14] != BlockLength)
        return;
    if (takeFault(FaultKind::DropBlock, number))
        return;

    const bool wrongAddress = takeFault(FaultKind::WrongAddress, number);
    m_lateMs = takeFault(FaultKind::Late, number) ? LateMs : 0;
    const bool corrupt = takeFault(FaultKind::Corrupt, number);
    const bool lateLast = takeFault(FaultKind::LateLast, number);
    const ParameterBlock data = block(number);

    std::array<std::uint8_t, 13> payload{};
    payload[11] = static_cast<std::uint8_t>(wrongAddress ? (number + 1) % BlockCount : number);
    send(BlockHeader, payload);

    for (int k = 1; k < DataMessages; ++k) {
        payload.fill(0);
        payload[0] = static_cast<std::uint8_t>(k - 1);
        std::copy_n(data.begin() + BytesPerData * (k - 1), BytesPerData, payload.begin() + 1);
        send(BlockData, payload, corrupt && k == CorruptedDataMessage);
    }
    payload.fill(0);
    payload[0] = DataMessages - 1;
    std::copy_n(data.begin() + 60, 4, payload.begin() + 1);
    const std::uint32_t sum = blockChecksum(data);
    for (int i = 0; i < 4; ++i)
        payload[static_cast<std::size_t>(5 + i)] = static_cast<std::uint8_t>(sum >> (24 - 8 * i));
    if (lateLast)
        m_lateMs = LateLastMs;
    send(BlockData, payload);
    m_lateMs = 0;
    ++m_counters.readsAnswered;
}

void ModuleSimulator::startWrite(const ModuleMessage &command)
{
    const int number = command[13];
    if (!isValidBlock(number) || command[14] != BlockLength) {
        m_write = {};
        return;
    }
    m_write = {};
    m_write.block = number;
    m_write.expected = 1;
    m_write.startedMs = clock ? clock() : 0;
}

void ModuleSimulator::continueWrite(const ModuleMessage &message)
{
    if (m_write.expected == 0)
        return; // no write announced, or it was abandoned
    if (message[2] + 1 != m_write.expected) {
        m_write = {};
        ++m_counters.writesRejected;
        return;
    }
    const int k = m_write.expected;
    if (k < DataMessages) {
        std::copy_n(message.begin() + 3, BytesPerData, m_write.data.begin() + BytesPerData * (k - 1));
        ++m_write.expected;
        return;
    }
    // The last message: bytes 11 to 14 carry nothing the module reads.
    std::copy_n(message.begin() + 3, 4, m_write.data.begin() + 60);
    const WriteInProgress done = std::exchange(m_write, {});
    if (readChecksum(message) != blockChecksum(done.data)) {
        ++m_counters.writesRejected;
        return;
    }
    // A write lost inside the module: neither stored nor acknowledged.
    if (takeFault(FaultKind::LoseWrite, done.block))
        return;
    // Keeping the old data models a module whose memory refused the write
    // while its protocol side acknowledged it.
    if (!takeFault(FaultKind::KeepOld, done.block)) {
        setBlock(done.block, done.data);
        ++m_counters.writesStored;
    }
    // A withheld acknowledgement models one lost on the line: the block is
    // stored all the same.
    if (takeFault(FaultKind::NoAck, done.block))
        return;
    std::array<std::uint8_t, 13> payload{};
    payload[12] = BlockLength;
    const qint64 lineLeft = ackLineMs > 0 && clock ? done.startedMs + ackLineMs - clock() : 0;
    m_lateMs = takeFault(FaultKind::LateAck, done.block) ? LateMs : int(std::max<qint64>(lineLeft, 0));
    send(Acknowledge, payload);
    m_lateMs = 0;
    if (takeFault(FaultKind::DupAck, done.block))
        send(Acknowledge, payload);
}

int ModuleSimulator::LevelWave::levelAt(qint64 ms) const
{
    // Starts at the middle, rising.
    const double phase = 2 * std::numbers::pi * double(ms % periodMs) / double(periodMs);
    return static_cast<int>(std::lround(min + (max - min) * (1 + std::sin(phase)) / 2));
}

void ModuleSimulator::answerPoll()
{
    if (onLog)
        onLog(QStringLiteral("rx poll"));
    if (levelWave && clock)
        status.level = static_cast<std::uint8_t>(levelWave->levelAt(clock()));
    std::array<std::uint8_t, 13> payload{};
    payload[9] = status.flags;
    payload[10] = status.level;
    payload[11] = status.callState;
    payload[12] = status.spare;
    send(StatusMessage, payload);
    ++m_counters.pollsAnswered;
    sendStateTexts();
}

void ModuleSimulator::sendStateTexts()
{
    for (std::size_t c = 0; c < m_pendingTexts.size(); ++c) {
        const QByteArray text = std::exchange(m_pendingTexts[c], {});
        // Whole long fragments first, the rest in short ones; the tool joins
        // them into lines, so the split is invisible to the user.
        qsizetype at = 0;
        while (text.size() - at >= LongTextLength) {
            std::array<std::uint8_t, 13> payload{};
            std::copy_n(text.constData() + at, LongTextLength, payload.begin());
            send(LongTextType[c], payload);
            at += LongTextLength;
        }
        while (at < text.size()) {
            std::array<std::uint8_t, 13> payload{};
            const auto n = std::min<qsizetype>(ShortTextLength, text.size() - at);
            std::copy_n(text.constData() + at, n, payload.begin() + 9);
            send(ShortTextType[c], payload);
            at += n;
        }
    }
}

void ModuleSimulator::send(std::uint8_t type, const std::array<std::uint8_t, 13> &payload, bool corrupt)
{
    if (m_hungUp)
        return;
    m_collector.bytes.clear();
    m_codec->SendData(type, payload);
    if (onLog) {
        ModuleMessage plain{};
        plain[0] = 0x5B;
        plain[1] = type;
        std::copy(payload.begin(), payload.end(), plain.begin() + 2);
        plain[15] = 0x5D;
        log(corrupt ? "tx (corrupted)" : "tx", plain);
    }
    emitFrame(std::exchange(m_collector.bytes, {}), corrupt);
}

void ModuleSimulator::emitFrame(QByteArray frame, bool corrupt)
{
    if (corrupt)
        frame[CorruptedFrameByte] = static_cast<char>(~frame[CorruptedFrameByte]);
    QByteArray line;
    if (m_noise > 0.0) {
        std::bernoulli_distribution noisy(m_noise);
        std::uniform_int_distribution<int> anyByte(0, 255);
        for (const char byte : std::as_const(frame)) {
            if (noisy(m_random))
                line.append(static_cast<char>(anyByte(m_random)));
            line.append(byte);
        }
    } else {
        line = std::move(frame);
    }
    ++m_counters.framesSent;
    if (m_lateMs > 0 && onLateOutput)
        onLateOutput(line, m_lateMs);
    else if (onOutput)
        onOutput(line);
    if (m_framesToHangup > 0 && --m_framesToHangup == 0) {
        m_hungUp = true;
        if (onHangup)
            onHangup();
    }
}

bool ModuleSimulator::takeFault(FaultKind kind, int block)
{
    const auto it = m_armed.find({kind, block});
    if (it == m_armed.end())
        return false;
    if (--it->second == 0)
        m_armed.erase(it);
    if (onLog)
        onLog(QStringLiteral("fault %1=%2").arg(faultName(kind)).arg(block));
    return true;
}

void ModuleSimulator::log(const char *direction, const ModuleMessage &message)
{
    if (!onLog)
        return;
    const QByteArray hex = QByteArray(reinterpret_cast<const char *>(message.data()),
                                      static_cast<qsizetype>(message.size()))
                               .toHex(' ');
    onLog(QStringLiteral("%1 type %2: %3")
              .arg(QString::fromLatin1(direction))
              .arg(message[1], 2, 16, QLatin1Char('0'))
              .arg(QString::fromLatin1(hex)));
}
