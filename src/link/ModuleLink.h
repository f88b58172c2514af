#pragma once
// The module link the main window owns for the whole run: the serial port,
// the frame codec and the dispatcher, wired together. Connecting and
// disconnecting never reset the codec or the block reception state.

#include "FrameCodec.h"
#include "MessageDispatcher.h"
#include "serial/SerialPort.h"

#include <QString>

// What the main window shows for each state of the connection.
enum class ConnectionState { Start, Connected, OpenFailed, Disconnected };

struct ConnectionView
{
    bool connectEnabled;
    bool disconnectEnabled;
    bool statusEnabled;
    bool parameterSettingEnabled;
    QString statusText;
};

ConnectionView viewOf(ConnectionState state);

class ModuleLink
{
public:
    static constexpr int BaudRate = 19200;

    ModuleLink();
    ModuleLink(const ModuleLink &) = delete;
    ModuleLink &operator=(const ModuleLink &) = delete;

    TSerialPort ComPort1;
    MessageDispatcher Dispatcher;
    FrameCodec Codec;

    // Opens the port; a port that cannot be opened is reported only by the
    // state, never by the error's own text.
    ConnectionState connect();
    // Close errors reach the caller.
    ConnectionState disconnect();
    // The device went away while open: release it and report the port as
    // unavailable, so nothing claims a connection that is gone.
    ConnectionState hangUp();
};
