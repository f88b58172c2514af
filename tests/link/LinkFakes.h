#pragma once
// Stand-ins for the port and the windows around the codec and dispatcher,
// and helpers that build messages and frames. Shared by the link tests and
// the codec fuzz target.

#include "link/FrameCodec.h"
#include "link/LinkCipher.h"
#include "link/MessageDispatcher.h"
#include "serial/PortIo.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <stdexcept>
#include <vector>

// Serves queued bytes and records every write.
class FakePort : public PortIo
{
public:
    struct Failure : std::runtime_error
    {
        using std::runtime_error::runtime_error;
    };

    int failOnRead = -1; // the read with this number (from 0) throws once
    bool connected = true;
    QList<QByteArray> writes; // WriteBytes calls, one entry each
    QList<QByteArray> texts;  // WriteText calls, one entry each

    void queue(const QByteArray &bytes) { m_incoming += bytes; }
    // Received bytes not read yet.
    qsizetype pending() const { return m_incoming.size() - m_readPos; }

    int ReadBytes(std::uint8_t *buffer, int n) override
    {
        if (m_reads++ == failOnRead)
            throw Failure("read failed");
        const auto count = std::min<qsizetype>(n, pending());
        std::copy_n(m_incoming.constData() + m_readPos, count, reinterpret_cast<char *>(buffer));
        m_readPos += count;
        return static_cast<int>(count);
    }
    int WriteBytes(const std::uint8_t *buffer, int n) override
    {
        writes.append(QByteArray(reinterpret_cast<const char *>(buffer), n));
        if (!connected)
            throw Failure("port closed");
        return n;
    }
    int WriteText(const QByteArray &text) override
    {
        texts.append(text);
        if (!connected)
            throw Failure("port closed");
        return static_cast<int>(text.size());
    }
    bool Connected() const override { return connected; }
    int reads() const { return m_reads; }

private:
    QByteArray m_incoming;
    qsizetype m_readPos = 0;
    int m_reads = 0;
};

struct MemoCall
{
    MemoId memo;
    QString text;
    bool force;
    bool operator==(const MemoCall &) const = default;
};

class RecordingMemos : public MemoSink
{
public:
    std::vector<MemoCall> calls;
    void AppendToMemo(MemoId memo, const QString &text, bool force) override
    {
        calls.push_back({memo, text, force});
    }
};

class RecordingStatus : public StatusSink
{
public:
    StatusFields fields;
    std::vector<StatusFields> refreshes; // the fields as each refresh saw them
    StatusFields &Status() override { return fields; }
    void RefreshStatus() override { refreshes.push_back(fields); }
};

inline QByteArray toBytes(const Block16 &block)
{
    return QByteArray(reinterpret_cast<const char *>(block.data()), static_cast<qsizetype>(block.size()));
}

inline Block16 toBlock(const QByteArray &bytes)
{
    Block16 block{};
    std::copy_n(bytes.constData(), std::min<qsizetype>(bytes.size(), 16), reinterpret_cast<char *>(block.data()));
    return block;
}

// A message with brackets, the type and bytes 2.. from payload (rest zero).
inline ModuleMessage makeMessage(std::uint8_t type, const QByteArray &payload = {})
{
    ModuleMessage m{};
    m[0] = 0x5B;
    m[1] = type;
    for (qsizetype i = 0; i < payload.size() && i < 13; ++i)
        m[static_cast<std::size_t>(2 + i)] = static_cast<std::uint8_t>(payload[i]);
    m[15] = 0x5D;
    return m;
}

// The block header and the six data messages that carry a block, as the
// module sends them, with the checksum given (normally blockChecksum(block)).
inline std::vector<ModuleMessage> blockMessages(std::uint8_t blockNumber, const ParameterBlock &block,
                                                std::uint32_t checksum)
{
    std::vector<ModuleMessage> out;
    ModuleMessage header = makeMessage(0x2C);
    header[13] = blockNumber;
    out.push_back(header);
    for (int k = 0; k < 6; ++k) {
        ModuleMessage data = makeMessage(0x3C);
        data[2] = static_cast<std::uint8_t>(k);
        const int count = k < 5 ? 12 : 4;
        for (int i = 0; i < count; ++i)
            data[static_cast<std::size_t>(3 + i)] = block[static_cast<std::size_t>(12 * k + i)];
        if (k == 5)
            for (int i = 0; i < 4; ++i)
                data[static_cast<std::size_t>(7 + i)] = static_cast<std::uint8_t>(checksum >> (24 - 8 * i));
        out.push_back(data);
    }
    return out;
}

// The 18 line bytes of any plaintext block, brackets or not.
inline QByteArray frameOf(const Block16 &plain)
{
    static LinkCipher encrypt(LinkCipher::Direction::Encrypt);
    return QByteArray(1, '\x7B') + toBytes(encrypt.apply(plain)) + QByteArray(1, '\x7D');
}

// Wires a codec to a dispatcher the way the main window does.
struct LinkBench
{
    FakePort port;
    RecordingMemos memos;
    RecordingStatus status;
    MessageDispatcher dispatcher;
    std::vector<ModuleMessage> received;
    FrameCodec codec{port, [this](const ModuleMessage &m) {
                         received.push_back(m);
                         dispatcher.DispatchMessage(m);
                     }};

    LinkBench()
    {
        dispatcher.Memos = &memos;
        dispatcher.StatusWindow = &status;
    }
    LinkBench(const LinkBench &) = delete;
    LinkBench &operator=(const LinkBench &) = delete;

    // Back to the state at start-up, keeping the cipher contexts, which are
    // costly to set up for every fuzz input.
    void reset()
    {
        port = FakePort();
        memos.calls.clear();
        status = RecordingStatus();
        dispatcher.Reception = BlockReception();
        received.clear();
        codec.ReceiveWindow = {};
        codec.CurrentMessage = {};
        codec.CommandCounter = 0;
    }

    void feed(const QByteArray &bytes)
    {
        for (char b : bytes)
            codec.ReceiveByte(static_cast<std::uint8_t>(b));
    }
};
