// SPDX-License-Identifier: MIT
// The "Benchmark" page on a simulated board at 24 Mbyte/s: a whole run of
// 15.6 MB each way (about 1.6 s). Rates are checked for being there and
// finite, never for their values: tests assert no timings (bench/ measures).
#include "KoUSBLib.h"
#include "benchmarkcurves.h"
#include "mainform.h"
#include "simboards.h"

#include <QRegularExpression>
#include <QStatusBar>
#include <QtTest>

#include <cmath>

class TestBenchmarkSim : public QObject {
    Q_OBJECT

    SimBoards boards;

    static void checkPoints(const QVector<QPointF>& points, int expected)
    {
        QCOMPARE(points.size(), expected);
        for (int i = 0; i < points.size(); ++i) {
            QCOMPARE(points[i].x(), 4.0 * (i + 1));
            QVERIFY(std::isfinite(points[i].y()) && points[i].y() > 0);
        }
    }

private slots:
    void cleanup()
    {
        boards.unplugAll();
        SimBoards::sync();
    }

    void aWholeRunOnASimulatedBoard()
    {
        SimBoards::Options options;
        options.id = 3;
        options.name = "Bench board";
        options.rate = 24;
        boards.plug(0, options);
        MainForm form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        form.tabWidget->setCurrentIndex(2);
        QCOMPARE(form.statusbar->currentMessage(), QStringLiteral("Current device: Bench board with ID 3"));

        QTest::mouseClick(form.runBtn, Qt::LeftButton);
        checkPoints(benchmarkPoints(form, "write"), 16);
        checkPoints(benchmarkPoints(form, "read"), 16);
        QVERIFY2(form.statusbar->currentMessage().startsWith("Benchmark finished"),
                 qPrintable(form.statusbar->currentMessage()));
        // Single-byte FPGA reads: a rate once the simulated board answers them,
        // "n/a" while it does not.
        const QString rate = form.rateLabel->text();
        QVERIFY2(rate == "n/a kHz" || QRegularExpression("^[0-9]+\\.[0-9] kHz$").match(rate).hasMatch(),
                 qPrintable(rate));

        // The run's writes are in the board's shared state, not in its file.
        QCOMPARE(boards.read(0).lastWrites.count("Block"), std::size_t(1));
        QFile file(QString::fromStdString(boards.path(0)));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(!file.readAll().contains("last Block"));
    }

    void aBoardThatHasGoneStopsTheRun()
    {
        boards.plug(0, 5, "Leaving");
        MainForm form;
        boards.unplug(0);  // the file goes; the window has not heard yet
        form.runBenchmark();
        QCOMPARE(benchmarkPoints(form, "write").size(), 0);
        QCOMPARE(benchmarkPoints(form, "read").size(), 0);
        QCOMPARE(form.statusbar->currentMessage(),
                 QStringLiteral("Benchmark stopped at pass 1 (4 kbyte blocks): WriteBlock failed: board unplugged"));
        QCOMPARE(form.rateLabel->text(), QStringLiteral("n/a kHz"));
    }
};

QTEST_MAIN(TestBenchmarkSim)
#include "tst_benchmarksim.moc"
