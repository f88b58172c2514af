#pragma once
// The serial port component: one device, the module's line settings, a
// reader thread that reports received bytes on the user-interface thread.

#include "PortIo.h"
#include "common/QuelmarError.h"

#include <QObject>
#include <QString>
#include <functional>

class QThread;

// Failures of the port. The message is the text for the code followed by
// " (win error code: N)" with the system's error number (-1 where none).
class ESerialPort : public QuelmarError
{
public:
    enum Code {
        OpenFailed = 1,
        WriteFailed = 2,
        ReadFailed = 3,
        PurgeFailed = 5,
        SetStateFailed = 7,
        SetupFailed = 9,
        QueueQueryFailed = 10,
    };

    ESerialPort(int code, int osError);

    int Code() const { return m_code; }
    int osError() const { return m_osError; }

    static QString textFor(int code);

private:
    int m_code;
    int m_osError;
};

// Puts every open port's line back as it was found, and nothing else:
// async-signal-safe, for a program ended by SIGINT or SIGTERM.
void RestoreOpenPortsForSignal() noexcept;

// "com5" -> "COM5", "7" -> "COM7"; anything not a number from 1 to 96 -> "COM1".
QString NormalizePortName(const QString &text);

class TSerialPort : public QObject, public PortIo
{
    Q_OBJECT

public:
    explicit TSerialPort(QObject *parent = nullptr);
    ~TSerialPort() override; // closes the port first

    QString Port() const;
    // Normalises; the same name does nothing; a new name while open closes
    // and re-opens (errors of the re-open reach the caller).
    void setPort(const QString &name);

    int BaudRate() const;
    void setBaudRate(int baud); // takes effect at the next open

    bool Connected() const override;
    quint64 openingNumber() const override;
    qint64 byteNanos() const override;
    void drain() override;
    void setConnected(bool connected);
    void Open();
    void Close();

    int ReadBytes(std::uint8_t *buffer, int n) override;
    int WriteBytes(const std::uint8_t *buffer, int n) override;
    int WriteText(const QByteArray &text) override;

    // The device node the current name maps to (port map).
    QString devicePath() const;

    // Raised on the user-interface thread with the number of queued bytes,
    // always above 0; the next wait starts only after it returns.
    std::function<void(int count)> OnRxChar;
    // Raised on the user-interface thread once, when the device hung up or
    // failed while open (adapter unplugged). The port is still open then.
    std::function<void()> OnHangup;

private:
    struct Private;
    Private *d;
};
