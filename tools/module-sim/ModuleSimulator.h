#pragma once
// The module's side of the serial protocol, without any I/O: the tool's bytes
// go in through receive(), the module's answers come out through the output
// callback, one call per frame (noise bytes included). Tests drive it
// in-process; quelmar-module-sim puts it behind a pseudo-terminal.

#include "SimFault.h"

#include "link/BlockChecksum.h"
#include "link/FrameCodec.h"
#include "serial/PortIo.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <utility>

class ModuleSimulator
{
public:
    static constexpr int BlockCount = 15;
    static constexpr int MemorySize = BlockCount * 64;
    static constexpr int ChannelCount = 4;

    struct Status
    {
        std::uint8_t flags = 0x10; // telephone line present, all inputs open
        std::uint8_t level = 20;
        std::uint8_t callState = 0;
        std::uint8_t spare = 0;
    };

    // A signal level that swings between min and max and back once a
    // period, as a sine, for demonstrations of the signal history.
    struct LevelWave
    {
        int min = 5;
        int max = 28;
        qint64 periodMs = 120'000;

        int levelAt(qint64 ms) const;
    };

    // What the module has done so far; soak tests compare it with the tool.
    struct Counters
    {
        int readsAnswered = 0;
        int writesStored = 0;
        int writesRejected = 0; // bad sequence or checksum
        int pollsAnswered = 0;
        int framesSent = 0;
    };

    ModuleSimulator();
    ~ModuleSimulator();
    ModuleSimulator(const ModuleSimulator &) = delete;
    ModuleSimulator &operator=(const ModuleSimulator &) = delete;

    // Bytes for the tool; called once per frame (with any noise before it).
    std::function<void(const QByteArray &)> onOutput;
    // The frames of a late answer, to go out after `ms` milliseconds; unset,
    // they go to onOutput at once.
    std::function<void(const QByteArray &, int ms)> onLateOutput;
    // Called once, right after the frame that a hang-up fault waited for.
    std::function<void()> onHangup;
    // One line per message received or sent, for --verbose.
    std::function<void(const QString &)> onLog;

    // On a line without pacing, each acknowledgement still waits until this
    // long after its write command came: the time the block takes on a real
    // line, before which the tool takes no acknowledgement. 0: at once.
    int ackLineMs = 0;

    std::array<std::uint8_t, MemorySize> memory;
    Status status;
    // When set, each poll answer's level follows the wave at clock().
    std::optional<LevelWave> levelWave;
    // Milliseconds since the engine was made; tests replace it.
    std::function<qint64()> clock;

    ParameterBlock block(int number) const;
    void setBlock(int number, const ParameterBlock &data);

    // The state text of channel 1 to 4 (Windows-1250 bytes, a CR is added as
    // the line end). It goes out once, after the status answer of the next
    // poll; setting it again sends it again.
    void setStateText(int channel, const QByteArray &text);

    // Faults add up: a block fault armed twice hits the next two occurrences.
    // Noise replaces the probability; a hang-up counts frames from now on.
    void arm(const Fault &fault);
    void clearFaults();
    int armedCount(FaultKind kind, int block) const;

    void setSeed(std::uint32_t seed);

    void receive(QByteArrayView bytes);

    const Counters &counters() const { return m_counters; }
    bool hungUp() const { return m_hungUp; }

    static bool isValidChannel(int channel) { return channel >= 1 && channel <= ChannelCount; }
    static bool isValidBlock(int number) { return number >= 0 && number < BlockCount; }

private:
    class Collector : public PortIo
    {
    public:
        QByteArray bytes;
        int ReadBytes(std::uint8_t *, int) override { return 0; }
        int WriteBytes(const std::uint8_t *buffer, int n) override;
        int WriteText(const QByteArray &text) override;
        bool Connected() const override { return true; }
    };

    struct WriteInProgress
    {
        int block = -1;
        int expected = 0; // next data message, 1 to 6; 0: none in progress
        qint64 startedMs = 0;
        ParameterBlock data{};
    };

    void onMessage(const ModuleMessage &message);
    void answerRead(const ModuleMessage &request);
    void startWrite(const ModuleMessage &command);
    void continueWrite(const ModuleMessage &message);
    void answerPoll();
    void sendStateTexts();

    void send(std::uint8_t type, const std::array<std::uint8_t, 13> &payload, bool corrupt = false);
    void emitFrame(QByteArray frame, bool corrupt);
    bool takeFault(FaultKind kind, int block);
    void log(const char *direction, const ModuleMessage &message);

    Collector m_collector;
    std::unique_ptr<FrameCodec> m_codec;
    std::array<std::uint8_t, 3> m_lastBytes{}; // raw stream, for the plain poll
    WriteInProgress m_write;

    std::array<QByteArray, ChannelCount> m_pendingTexts;
    std::map<std::pair<FaultKind, int>, int> m_armed;
    double m_noise = 0.0;
    int m_framesToHangup = 0; // 0: no hang-up armed
    int m_lateMs = 0;         // while a late answer is sent
    bool m_hungUp = false;

    std::mt19937 m_random;
    Counters m_counters;
};
