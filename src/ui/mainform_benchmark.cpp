// SPDX-License-Identifier: MIT
// The "Benchmark" page: block transfer rates over block sizes.
#include "mainform.h"

#include "KoUSBLib.h"
#include "deviceguard.h"
#include "benchmarkrun.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPen>
#include <QStatusBar>
#include <qwt_legend.h>
#include <qwt_plot_grid.h>
#include <qwt_plot_curve.h>
#include <qwt_text.h>

#include <array>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

void MainForm::setupBenchmarkPlot()
{
    writeCurve = new QwtPlotCurve(QStringLiteral("write"));
    readCurve = new QwtPlotCurve(QStringLiteral("read"));
    writeCurve->attach(benchPlot);
    readCurve->attach(benchPlot);
    writeCurve->setPen(QPen(Qt::blue));
    readCurve->setPen(QPen(Qt::green));
    benchPlot->setAxisScale(QwtPlot::xBottom, 0, 64, 8);
    benchPlot->setAxisScale(QwtPlot::yLeft, 0, 30, 0);
    benchPlot->setAxisTitle(QwtPlot::xBottom, QwtText(QStringLiteral("block size [kbyte]")));
    benchPlot->setAxisTitle(QwtPlot::yLeft, QwtText(QStringLiteral("transfer rate [Mbyte/sec]")));
    benchPlot->insertLegend(new QwtLegend(), QwtPlot::RightLegend, -1.0);

    // The plot speaks in the window's font sizes (Qwt's own are larger),
    // over a light grid.
    for (int axis : {QwtPlot::xBottom, QwtPlot::yLeft}) {
        benchPlot->setAxisFont(axis, font());
        QwtText title = benchPlot->axisTitle(axis);
        QFont bold = font();
        bold.setBold(true);
        title.setFont(bold);
        benchPlot->setAxisTitle(axis, title);
    }
    if (QWidget* legend = benchPlot->legend())
        legend->setFont(font());
    auto* grid = new QwtPlotGrid;
    grid->setMajorPen(QColor(200, 200, 200), 0.0, Qt::SolidLine);
    grid->attach(benchPlot);
}

namespace {

QString passText(const benchmark::Pass& pass)
{
    return QStringLiteral("Benchmark stopped at pass %1 (%2 kbyte blocks): ").arg(pass.number).arg(pass.kbytes);
}

// The points shown so far, kept on the GUI thread for the curves.
struct Points {
    std::array<double, benchmark::kPasses> x{};
    std::array<double, benchmark::kPasses> write{};
    std::array<double, benchmark::kPasses> read{};
};

// Carries measured passes from the worker to the GUI thread: the worker
// queues them under a std::mutex (which ThreadSanitizer sees, unlike Qt's
// own locks) and posts an event; the GUI thread shows what is queued.
class PassFeed : public QObject {
public:
    explicit PassFeed(std::function<void(const benchmark::PassResult&)> show) : m_show(std::move(show)) {}

    // Worker thread. Returns once the GUI thread has drawn the pass, so that
    // the drawing does not compete with the next pass's timed transfers (on
    // a busy machine it would show as rates below the model). Once the GUI
    // thread has not got to a pass in time (the application is quitting),
    // the run no longer waits for it.
    void push(const benchmark::PassResult& result)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_pending.push_back(result);
        ++m_pushed;
        QCoreApplication::postEvent(this, new QEvent(QEvent::User));
        const long long pushed = m_pushed;
        if (!m_gaveUp)
            m_gaveUp = !m_drawn.wait_for(lock, std::chrono::milliseconds(500), [&] { return m_shown >= pushed; });
    }

    // GUI thread.
    void drain()
    {
        std::vector<benchmark::PassResult> results;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            results.swap(m_pending);
        }
        for (const benchmark::PassResult& r : results)
            m_show(r);
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_shown += static_cast<long long>(results.size());
        }
        m_drawn.notify_all();
    }

    bool event(QEvent* event) override
    {
        if (event->type() != QEvent::User)
            return QObject::event(event);
        drain();
        return true;
    }

private:
    std::function<void(const benchmark::PassResult&)> m_show;
    std::mutex m_mutex;
    std::condition_variable m_drawn;
    std::vector<benchmark::PassResult> m_pending;
    long long m_pushed = 0;
    long long m_shown = 0;
    bool m_gaveUp = false;
};

// How a run ended, handed from the worker to the GUI thread under a lock.
struct Outcome {
    std::mutex mutex;
    QString stopped;            // why the run stopped early; empty when all passes ran
    std::optional<double> kHz;  // the single-byte rate
    QString singleByteFailure;  // why there is no single-byte rate
};

}  // namespace

// Sixteen passes of block writes and reads on a worker thread
// (benchmark::runPasses), each direction timed in nanoseconds, so t is in
// fractional milliseconds. The window stays live meanwhile: each pass's
// rates are posted to the GUI thread, which extends the curves and redraws
// the plot, and the device guard keeps Run and the other device tools
// disabled until the run ends, so nothing clicked meanwhile starts another.
// A failed transfer (or no board) stops the run at that pass with a
// status-bar message, keeping the points measured so far, and only finite
// rates reach the curves. After the 16 passes the worker times single-byte
// FPGA register reads for `rateLabel`.
void MainForm::runBenchmark()
{
    if (!m_deviceGuard->begin())
        return;  // a long operation's worker owns the device until it ends

    // A new run starts from no points, so a run that stops early never shows
    // points of an earlier one beside its own.
    writeCurve->setSamples(QVector<QPointF>());
    readCurve->setSamples(QVector<QPointF>());
    benchPlot->replot();
    statusbar->showMessage(QStringLiteral("Benchmark running ..."));

    Points points;
    PassFeed feed([this, &points](const benchmark::PassResult& r) {
        const int i = r.pass.number - 1;
        points.x[i] = r.pass.kbytes;
        points.write[i] = *r.write;
        writeCurve->setSamples(points.x.data(), points.write.data(), r.pass.number);
        if (r.read) {
            points.read[i] = *r.read;
            readCurve->setSamples(points.x.data(), points.read.data(), r.pass.number);
        }
        benchPlot->replot();
        benchPlot->canvas()->repaint();  // now, before the worker times the next pass
    });

    Outcome outcome;
    KoUSBDevice* device = currentDevice;
    auto work = [device, &outcome, &feed] {
        // Ends the run with `why` in the status bar.
        auto stop = [&](const QString& why) {
            std::lock_guard<std::mutex> lock(outcome.mutex);
            outcome.stopped = why;
            return false;
        };
        auto reason = [device] { return QString::fromLatin1(device->GetLastError()); };

        const bool complete = benchmark::runPasses(*device, [&](const benchmark::PassResult& r) {
            const QString at = passText(r.pass);
            if (r.failed == benchmark::Direction::Write)
                return stop(at + QStringLiteral("WriteBlock failed: ") + reason());
            if (!r.write)
                return stop(at + QStringLiteral("the writes took no measurable time"));
            feed.push(r);  // the pass's writes were measured and stay
            if (r.failed)
                return stop(at + QStringLiteral("ReadBlock failed: ") + reason());
            if (!r.read)
                return stop(at + QStringLiteral("the reads took no measurable time"));
            return true;
        });
        if (!complete)
            return;

        // Single byte access: one-byte FPGA register reads, each a control transfer.
        const std::optional<std::int64_t> elapsed = benchmark::timeSingleByteReads(*device);
        const std::optional<double> kHz =
            elapsed ? benchmark::accessRateKHz(benchmark::kSingleByteReads, *elapsed) : std::nullopt;
        std::lock_guard<std::mutex> lock(outcome.mutex);
        outcome.kHz = kHz;
        if (!kHz)
            outcome.singleByteFailure = elapsed ? QStringLiteral("no measurable time") : reason();
    };

    runOnWorker(work, [this, &outcome, &feed](bool ran) {
        feed.drain();  // normally done already: the worker posted before it ended
        std::lock_guard<std::mutex> lock(outcome.mutex);
        if (!ran) {
            rateLabel->setText(QStringLiteral("n/a kHz"));
            statusbar->showMessage(QStringLiteral("Benchmark not run: the worker thread could not be started"));
        } else if (!outcome.stopped.isEmpty()) {
            rateLabel->setText(QStringLiteral("n/a kHz"));
            statusbar->showMessage(outcome.stopped);
        } else if (outcome.kHz) {
            rateLabel->setText(QString::number(*outcome.kHz, 'f', 1) + QStringLiteral(" kHz"));
            statusbar->showMessage(QStringLiteral("Benchmark finished."));
        } else {
            rateLabel->setText(QStringLiteral("n/a kHz"));
            statusbar->showMessage(QStringLiteral("Benchmark finished; single byte reads failed: ")
                                   + outcome.singleByteFailure);
        }
    });
}
