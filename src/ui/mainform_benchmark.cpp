// The "Benchmark" page: block transfer rates over block sizes.
#include "mainform.h"

#include "KoUSBLib.h"
#include "flashguard.h"
#include "benchmarkpass.h"

#include <QPen>
#include <QStatusBar>
#include <qwt_legend.h>
#include <qwt_plot_curve.h>
#include <qwt_text.h>

#include <array>
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
}

namespace {

QString passText(const benchmark::Pass& pass)
{
    return QStringLiteral("Benchmark stopped at pass %1 (%2 kbyte blocks): ")
        .arg(pass.number)
        .arg(pass.kbytes);
}

} // namespace

// Sixteen passes of block writes and reads, each direction timed in
// nanoseconds (benchmark::timePass), so t is in fractional milliseconds; a failed transfer (or no
// board) stops the run at that pass with a status-bar message, keeping the
// points measured so far, and only finite rates reach the curves. After the 16
// passes the page times single-byte FPGA register reads for `rateLabel`.
void MainForm::runBenchmark()
{
    if (!m_flashGuard->allowsDeviceCalls())
        return;  // the flash worker owns the device until it ends
    using benchmark::Pass;

    std::vector<unsigned char> buffer(benchmark::kBufferBytes);
    std::array<double, benchmark::kPasses> x{};
    std::array<double, benchmark::kPasses> writeRate{};
    std::array<double, benchmark::kPasses> readRate{};

    // The plot is redrawn after each pass while the GUI thread is held, so
    // paint its canvas at once rather than post an update for later.
    auto redraw = [this] {
        benchPlot->replot();
        benchPlot->canvas()->repaint();
    };
    // Ends a run early: says why, keeps the points so far, no single-byte figure.
    auto stop = [&](const QString& why) {
        redraw();
        rateLabel->setText(QStringLiteral("n/a kHz"));
        statusbar->showMessage(why);
    };
    auto reason = [this] { return QString::fromLatin1(currentDevice->GetLastError()); };

    // A new run starts from no points, so a run that stops early never shows
    // points of an earlier one beside its own.
    writeCurve->setSamples(x.data(), writeRate.data(), 0);
    readCurve->setSamples(x.data(), readRate.data(), 0);

    for (const Pass& pass : benchmark::schedule()) {
        const int i = pass.number - 1;
        x[i] = pass.kbytes;

        const auto written = benchmark::timePass(*currentDevice, benchmark::Direction::Write, buffer.data(), pass);
        if (!written)
            return stop(passText(pass) + QStringLiteral("WriteBlock failed: ") + reason());
        const std::optional<double> w = benchmark::transferRate(pass.kbytes, pass.repetitions, *written);
        if (!w)
            return stop(passText(pass) + QStringLiteral("the writes took no measurable time"));
        writeRate[i] = *w;
        writeCurve->setSamples(x.data(), writeRate.data(), pass.number);

        const auto read = benchmark::timePass(*currentDevice, benchmark::Direction::Read, buffer.data(), pass);
        if (!read)
            return stop(passText(pass) + QStringLiteral("ReadBlock failed: ") + reason());
        const std::optional<double> r = benchmark::transferRate(pass.kbytes, pass.repetitions, *read);
        if (!r)
            return stop(passText(pass) + QStringLiteral("the reads took no measurable time"));
        readRate[i] = *r;
        readCurve->setSamples(x.data(), readRate.data(), pass.number);

        redraw();
    }

    // Single byte access: one-byte FPGA register reads, each a control transfer.
    const std::optional<std::int64_t> elapsed = benchmark::timeSingleByteReads(*currentDevice);
    const bool ok = elapsed.has_value();
    const std::optional<double> kHz = ok ? benchmark::accessRateKHz(benchmark::kSingleByteReads, *elapsed)
                                         : std::nullopt;
    if (kHz) {
        rateLabel->setText(QString::number(*kHz, 'f', 1) + QStringLiteral(" kHz"));
        statusbar->showMessage(QStringLiteral("Benchmark finished."));
    } else {
        rateLabel->setText(QStringLiteral("n/a kHz"));
        statusbar->showMessage(QStringLiteral("Benchmark finished; single byte reads failed: ")
                               + (ok ? QStringLiteral("no measurable time") : reason()));
    }
}
