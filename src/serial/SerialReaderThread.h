#pragma once
// The reader thread of an open port. It sleeps in poll() on the device and
// a stop descriptor, never on a timer. When bytes arrive it reports them and
// sleeps until the user-interface thread acknowledges that it has handled
// them (or until it is stopped), so that a stop never waits on the
// user-interface thread and the user-interface thread never waits on it for
// longer than one wake-up.

#include <functional>
#include <thread>

class TSerialReaderThread
{
public:
    enum class Event { Received, HungUp };

    // Starts the thread. report runs on the reader thread and must only pass
    // the event on, never wait; after HungUp the thread has ended.
    // Throws ESerialPort (code 9) when the thread cannot be set up.
    TSerialReaderThread(int deviceFd, std::function<void(Event)> report);
    ~TSerialReaderThread(); // Stop()
    TSerialReaderThread(const TSerialReaderThread &) = delete;
    TSerialReaderThread &operator=(const TSerialReaderThread &) = delete;

    // After a Received event has been handled: wait for the next one.
    void Acknowledge();
    // Ends the thread at its next wake-up without waiting for it.
    void requestStop();
    // Ends the thread and waits for it.
    void stop();

private:
    void run();
    bool waitForAcknowledge();

    int m_deviceFd;
    int m_stopFd = -1;
    int m_ackFd = -1;
    std::function<void(Event)> m_report;
    std::thread m_thread;
};
