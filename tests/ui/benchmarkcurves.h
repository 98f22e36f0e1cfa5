// SPDX-License-Identifier: MIT
#pragma once
// Reading the Benchmark page's curves from the plot, for the window tests.
#include "mainform.h"

#include <QVector>
#include <QPointF>
#include <qwt_plot_curve.h>

inline QwtPlotCurve* benchmarkCurve(MainForm& form, const QString& title)
{
    for (QwtPlotItem* item : form.benchPlot->itemList(QwtPlotItem::Rtti_PlotCurve))
        if (item->title().text() == title)
            return static_cast<QwtPlotCurve*>(item);
    return nullptr;
}

inline QVector<QPointF> benchmarkPoints(MainForm& form, const QString& title)
{
    QVector<QPointF> points;
    if (QwtPlotCurve* curve = benchmarkCurve(form, title))
        for (size_t i = 0; i < curve->dataSize(); ++i)
            points.append(curve->sample(int(i)));
    return points;
}
