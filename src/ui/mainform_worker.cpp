// SPDX-License-Identifier: MIT
// Long operations (the EEPROM flash, a benchmark run) on a thread of their
// own, so that the window paints and takes input meanwhile while the device
// guard keeps every other caller away from the board.
#include "mainform.h"

#include "deviceguard.h"

#include <QEventLoop>
#include <QThread>

#include <memory>

// The wait is a local event loop that the worker's end quits, so the GUI
// thread sleeps in the loop instead of polling. The end is handled in the
// finished handler itself, so it happens when the worker ends even if another
// modal loop (a file dialog, the About box) runs on top of this one; results
// the worker posted to the window (queued calls) are handled before it,
// since they were posted before the worker finished.
void MainForm::runOnWorker(const std::function<void()>& work, const std::function<void(bool ran)>& finish)
{
    std::unique_ptr<QThread> worker(QThread::create(work));
    QEventLoop loop;
    bool ended = false;
    auto end = [&](bool ran) {
        if (ended)
            return;
        ended = true;
        if (ran)
            worker->wait();  // returns at once after finished()
        m_deviceGuard->end();
        // A device change that came meanwhile was put off: a message by
        // handleDeviceChange, a readable descriptor by the paused watch.
        // Asking the library once now handles either; when nothing changed it
        // does nothing. It comes before `finish`, so the operation's own
        // message is the one left in the status bar.
        handleDeviceChange();
        finish(ran);
        loop.quit();
    };
    connect(worker.get(), &QThread::finished, &loop, [&] { end(true); });
    worker->start();
    if (!worker->isRunning() && !worker->isFinished()) {
        end(false);
        return;
    }
    loop.exec();
    // Left before the worker ended (the application is quitting: its exit
    // leaves every event loop, and a new one returns at once). The worker
    // still owns the device, so wait for it without the loop; every long
    // operation is bounded.
    if (!ended)
        end(true);
}
