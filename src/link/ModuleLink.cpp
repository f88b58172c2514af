#include "ModuleLink.h"

ConnectionView viewOf(ConnectionState state)
{
    switch (state) {
    case ConnectionState::Start:
        return {true, false, false, false, QString()};
    case ConnectionState::Connected:
        return {false, true, true, true, QStringLiteral(" Serial connection OK.")};
    case ConnectionState::OpenFailed:
        return {true, false, false, false, QStringLiteral(" Error: COM port not available!")};
    case ConnectionState::Disconnected:
        break;
    }
    return {true, false, false, false, QStringLiteral(" No serial connection.")};
}

ModuleLink::ModuleLink()
    : Codec(ComPort1, [this](const ModuleMessage &message) { Dispatcher.DispatchMessage(message); })
{
    ComPort1.setBaudRate(BaudRate);
    ComPort1.OnRxChar = [this](int count) { Codec.ComPort1RxChar(count); };
}

ConnectionState ModuleLink::connect()
{
    try {
        ComPort1.setConnected(true);
    } catch (const ESerialPort &) {
        // The status line says it all; the port stays closed.
    }
    return ComPort1.Connected() ? ConnectionState::Connected : ConnectionState::OpenFailed;
}

ConnectionState ModuleLink::disconnect()
{
    ComPort1.setConnected(false);
    return ConnectionState::Disconnected;
}

ConnectionState ModuleLink::hangUp()
{
    try {
        ComPort1.setConnected(false);
    } catch (const ESerialPort &) {
        // Nothing to report to: the device is gone either way.
    }
    return ConnectionState::OpenFailed;
}
