#include "PortWorker.h"

#include "link/LinkCipher.h"

#include <QEventLoop>
#include <QThread>

#include <memory>
#include <vector>

PortWorker::PortWorker(const QString &port, TransferDisplay &display)
    : transfer(display, image, buffer)
{
    link.ComPort1.setPort(port);
    transfer.Link = TransferLink{&link.ComPort1, &link.Codec, &link.Dispatcher.Reception};
    link.ComPort1.OnHangup = [this] { link.hangUp(); };
}

PortWorker::~PortWorker()
{
    link.hangUp(); // closes quietly
}

QString PortWorker::open()
{
    try {
        link.ComPort1.setConnected(true);
    } catch (const ESerialPort &error) {
        m_openError = error.osError();
        return QString::fromLocal8Bit(error.what());
    }
    return {};
}

QStringList runConcurrently(int count, const std::function<void(int)> &job, const std::function<void()> &tick,
                            int tickMs, uint stackSize)
{
    QEventLoop loop;
    int running = count;
    // One slot per job, each written by its own thread only.
    std::vector<QString> failures(static_cast<std::size_t>(count));
    std::vector<std::unique_ptr<QThread>> threads;
    for (int i = 0; i < count; ++i) {
        QString &failure = failures[static_cast<std::size_t>(i)];
        threads.emplace_back(QThread::create([&job, &failure, i] {
            // An error escaping here would end the whole process.
            try {
                job(i);
            } catch (const std::exception &error) {
                failure = QString::fromLocal8Bit(error.what());
            } catch (...) {
                failure = QStringLiteral("an unknown error ended the operation");
            }
            releaseCipherThreadState();
        }));
        threads.back()->setStackSize(stackSize);
        QObject::connect(threads.back().get(), &QThread::finished, &loop, [&running, &loop] {
            if (--running == 0)
                loop.quit();
        }, Qt::QueuedConnection);
    }
    QTimer ticker;
    if (tick) {
        ticker.setInterval(tickMs);
        QObject::connect(&ticker, &QTimer::timeout, tick);
        ticker.start();
    }
    for (int i = 0; i < count; ++i) {
        QThread &thread = *threads[static_cast<std::size_t>(i)];
        thread.start();
        // A thread that never started never says it finished.
        if (!thread.isRunning() && !thread.isFinished()) {
            failures[static_cast<std::size_t>(i)] = QStringLiteral("the system could not start a thread for it");
            --running;
        }
    }
    if (running > 0)
        loop.exec();
    for (auto &thread : threads)
        thread->wait();
    return QStringList(failures.begin(), failures.end());
}
