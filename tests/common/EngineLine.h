#pragma once
// The tool's end of an in-process line to the module simulator engine, for
// transfer tests: what the tool writes reaches the engine at once; the
// answers come back as posted events, the way the serial port's reader
// thread hands received bytes over. The line can also die on cue.

#include "ModuleSimulator.h"
#include "link/FrameCodec.h"
#include "link/MessageDispatcher.h"
#include "params/Transfer.h"
#include "serial/SerialPort.h"

#include <QObject>
#include <QTimer>

#include <cerrno>
#include <vector>

// Swallows what is written: the sniffer's codec needs a port to exist.
class NullPort : public PortIo
{
public:
    int ReadBytes(std::uint8_t *, int) override { return 0; }
    int WriteBytes(const std::uint8_t *, int n) override { return n; }
    int WriteText(const QByteArray &text) override { return static_cast<int>(text.size()); }
    bool Connected() const override { return true; }
};

class EngineLine : public PortIo
{
public:
    ModuleSimulator module;
    MessageDispatcher dispatcher;
    FrameCodec codec{*this, [this](const ModuleMessage &m) { dispatcher.DispatchMessage(m); }};
    // Every message the tool sent, decrypted.
    std::vector<ModuleMessage> sent;
    bool open = true;
    // The port closes (as from the main window) once this many answer
    // frames have arrived; 0: never.
    int closeAfterFrames = 0;
    // The line dies as this answer frame would arrive: the frame is lost and
    // the port closes, as when the adapter is unplugged; 0: never.
    int dieAtFrame = 0;

    explicit EngineLine(int seed = 7)
    {
        module.setSeed(seed);
        module.onOutput = [this](const QByteArray &bytes) {
            QMetaObject::invokeMethod(&m_context, [this, bytes] { deliver(bytes); }, Qt::QueuedConnection);
        };
        module.onLateOutput = [this](const QByteArray &bytes, int ms) {
            QTimer::singleShot(ms, &m_context, [this, bytes] { deliver(bytes); });
        };
    }

    TransferLink link() { return {this, &codec, &dispatcher.Reception}; }

    int ReadBytes(std::uint8_t *, int) override { return 0; }
    int WriteBytes(const std::uint8_t *buffer, int n) override
    {
        if (!open)
            throw ESerialPort(ESerialPort::WriteFailed, EBADF);
        for (int i = 0; i < n; ++i)
            m_sniffer.ReceiveByte(buffer[i]);
        module.receive(QByteArrayView(buffer, n));
        return n;
    }
    int WriteText(const QByteArray &text) override
    {
        return WriteBytes(reinterpret_cast<const std::uint8_t *>(text.constData()), static_cast<int>(text.size()));
    }
    bool Connected() const override { return open; }

private:
    void deliver(const QByteArray &bytes)
    {
        if (!open)
            return;
        if (m_delivered + 1 == dieAtFrame) {
            open = false;
            return;
        }
        for (const char byte : bytes)
            codec.ReceiveByte(static_cast<std::uint8_t>(byte));
        if (++m_delivered == closeAfterFrames)
            open = false;
    }

    QObject m_context; // posted answers die with the line
    int m_delivered = 0;
    NullPort m_nullPort;
    FrameCodec m_sniffer{m_nullPort, [this](const ModuleMessage &m) { sent.push_back(m); }};
};
