#pragma once
// The simulator's end of a pseudo-terminal: the tool opens the slave as its
// serial port, the simulator reads and writes the master, paced like a real
// line by a LinePacer and a timerfd (no busy waiting).

#include "LinePacer.h"

#include <QObject>
#include <QString>

class ModuleSimulator;
class QSocketNotifier;

class PtyLine : public QObject
{
    Q_OBJECT

public:
    // A byte time of zero answers at once.
    PtyLine(ModuleSimulator &sim, LinePacer::Nanos byteTime, QObject *parent = nullptr);
    ~PtyLine() override;

    bool open(QString *error);
    QString devicePath() const { return m_device; }

signals:
    // After a hang-up fault: the frames before it are out and the pty is closed.
    void hungUp();

private:
    void onReadable();
    void onTimer();
    void pump();
    void armTimer(LinePacer::Nanos at);
    void hangUpWhenRead();
    void closePty();

    ModuleSimulator &m_sim;
    LinePacer m_pacer;
    LinePacer::Nanos m_arrival{0}; // of the byte being handed to the engine
    QByteArray m_backlog;          // due but not yet taken by the pty
    bool m_hangupPending = false;
    LinePacer::Nanos m_hangupStart{0};

    int m_master = -1;
    int m_slave = -1; // held open so the master never sees the tool's close
    int m_timer = -1;
    QString m_device;
    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_timerNotifier = nullptr;
};
