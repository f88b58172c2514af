#pragma once
// Several modules at once: each port gets its own link (port, codec,
// dispatcher and transfer, which keeps its own time) on a thread of its own
// with its own event loop, so that one module's wait or time-out never holds up
// another, and an unplugged one ends only its own operation.

#include "Transfer.h"

#include "link/ModuleLink.h"

#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>

// Created, used and destroyed on one thread.
class PortWorker
{
public:
    PortWorker(const QString &port, TransferDisplay &display);
    ~PortWorker();
    PortWorker(const PortWorker &) = delete;
    PortWorker &operator=(const PortWorker &) = delete;

    ModuleLink link;
    ImageBytes image{};
    TransferBytes buffer{};
    ParameterTransfer transfer;

    // Opens the port; empty on success, else the port error's text. A
    // hang-up later closes the port, which ends any wait.
    QString open();
    // The system's error number of the last failed open.
    int openError() const { return m_openError; }

private:
    int m_openError = 0;
};

// Runs job(0) to job(count - 1) at once, each on its own thread with its own
// event loop, and returns when all have ended. Meanwhile tick runs on the
// calling thread every tickMs (progress lines, say). Returns, for each job,
// why it did not end normally (an error that escaped it, or a thread that
// could not start); an empty text when it did. stackSize: of each thread, in
// bytes; 0 for the system's default.
QStringList runConcurrently(int count, const std::function<void(int)> &job, const std::function<void()> &tick = {},
                            int tickMs = 100, uint stackSize = 0);
