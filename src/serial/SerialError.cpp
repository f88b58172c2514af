// The one place where the port's failure codes become message texts.

#include "SerialPort.h"

namespace {

QString messageFor(int code, int osError)
{
    return ESerialPort::textFor(code) + QStringLiteral(" (win error code: %1)").arg(osError);
}

} // namespace

ESerialPort::ESerialPort(int code, int osError)
    : QuelmarError(messageFor(code, osError))
    , m_code(code)
    , m_osError(osError)
{
}

QString ESerialPort::textFor(int code)
{
    switch (code) {
    case OpenFailed:
        return QStringLiteral("Unable to open com port");
    case WriteFailed:
        return QStringLiteral("WriteFile function failed");
    case ReadFailed:
        return QStringLiteral("ReadFile function failed");
    case PurgeFailed:
        return QStringLiteral("PurgeComm function failed");
    case SetStateFailed:
        return QStringLiteral("SetCommState function failed");
    case SetupFailed:
        return QStringLiteral("SetupComm function failed");
    case QueueQueryFailed:
        return QStringLiteral("ClearCommError function failed");
    }
    return QStringLiteral("Serial port error %1").arg(code);
}
