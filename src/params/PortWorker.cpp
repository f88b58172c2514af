#include "PortWorker.h"

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
    m_timer.setInterval(Transfer::TickMs);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { transfer.Timer1Timer(); });
}

PortWorker::~PortWorker()
{
    m_timer.stop();
    link.hangUp(); // closes quietly
}

QString PortWorker::open()
{
    try {
        link.ComPort1.setConnected(true);
    } catch (const ESerialPort &error) {
        return QString::fromLocal8Bit(error.what());
    }
    m_timer.start();
    return {};
}

void runConcurrently(int count, const std::function<void(int)> &job, const std::function<void()> &tick, int tickMs)
{
    QEventLoop loop;
    int running = count;
    std::vector<std::unique_ptr<QThread>> threads;
    for (int i = 0; i < count; ++i) {
        threads.emplace_back(QThread::create([&job, i] { job(i); }));
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
    for (auto &thread : threads)
        thread->start();
    if (count > 0)
        loop.exec();
    for (auto &thread : threads)
        thread->wait();
}
