// The "Benchmark" page: block transfer rates over block sizes.
#include "mainform.h"

#include <QPen>
#include <qwt_legend.h>
#include <qwt_plot_curve.h>
#include <qwt_text.h>

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

void MainForm::runBenchmark() {}
