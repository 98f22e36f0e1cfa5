// SPDX-License-Identifier: MIT
// The "Benchmark" page against the recording board: what it calls, what the
// curves and rateLabel show, and how a failure stops a run. No timings are
// asserted; the double answers at once.
#include "KoUSBLib.h"
#include "benchmarkcurves.h"
#include "mainform.h"
#include "recordingboard.h"
#include "simboards.h"

#include <QRegularExpression>
#include <QStatusBar>
#include <QtTest>

#include <atomic>
#include <cmath>

using kousb::ErrorCode;
using kousb::Status;

// Counts the paint events a widget receives; read from the run's worker too.
class PaintCounter : public QObject {
public:
    std::atomic<int> count{0};
    bool eventFilter(QObject*, QEvent* event) override
    {
        count += event->type() == QEvent::Paint;
        return false;
    }
};

class TestBenchmarkPage : public QObject {
    Q_OBJECT

    SimBoards boards;  // an empty folder: the recording board is the only one
    std::shared_ptr<RecordingBoard> board = installRecordingBoard(0);

    static QString status(MainForm& form) { return form.statusbar->currentMessage(); }

    static int count(const std::vector<RecordedCall>& calls, const std::string& op)
    {
        int n = 0;
        for (const RecordedCall& c : calls)
            n += c.op == op;
        return n;
    }

    // Every point finite and positive, and the x values 4, 8, ... in order.
    static void checkPoints(const QVector<QPointF>& points, int expected)
    {
        QCOMPARE(points.size(), expected);
        for (int i = 0; i < points.size(); ++i) {
            QCOMPARE(points[i].x(), 4.0 * (i + 1));
            QVERIFY2(std::isfinite(points[i].y()) && points[i].y() > 0,
                     qPrintable(QString("point %1 has rate %2").arg(i).arg(points[i].y())));
        }
    }

    // Makes the n-th call (counted from now, 1-based) of `op` fail and every one after it.
    void failFrom(const std::string& op, int n)
    {
        auto calls = std::make_shared<int>(0);
        RecordingBoard* b = board.get();
        if (n == 1) {
            b->setResult(op, Status::error(ErrorCode::Io, "test fault"));
            return;
        }
        // The double fetches its answer before it runs the hook, so the hook
        // of call n-1 sets the answer of call n.
        b->setHook(op, [b, op, n, calls] {
            if (++*calls == n - 1)
                b->setResult(op, Status::error(ErrorCode::Io, "test fault"));
        });
    }

private slots:
    void init()
    {
        for (const char* op : {"writeBlock", "readBlock", "readXilinx"}) {
            board->setHook(op, nullptr);
            board->setResult(op, Status::ok());
        }
        board->clearCalls();
    }

    void beforeTheFirstRun()
    {
        MainForm form;
        QCOMPARE(benchmarkPoints(form, "write").size(), 0);
        QCOMPARE(benchmarkPoints(form, "read").size(), 0);
        QCOMPARE(form.rateLabel->text(), QStringLiteral(" kHz"));
        QCOMPARE(status(form), QStringLiteral("Current device: Recording board with ID 42"));
    }

    void aRunFollowsTheSchedule()
    {
        MainForm form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        board->clearCalls();
        QTest::mouseClick(form.runBtn, Qt::LeftButton);  // runBtn clicked() -> runBenchmark()
        const std::vector<RecordedCall> calls = board->calls();

        std::size_t at = 0;
        for (int k = 1; k <= 16; ++k) {
            const int size = 4096 * k, reps = 72 - 4 * k;
            for (const char* op : {"writeBlock", "readBlock"}) {
                for (int r = 0; r < reps; ++r, ++at) {
                    QVERIFY2(at < calls.size(), "too few calls");
                    QCOMPARE(calls[at].op, std::string(op));
                    QCOMPARE(calls[at].length, std::size_t(size));
                }
            }
        }
        QCOMPARE(count(calls, "writeBlock"), 608);
        QCOMPARE(count(calls, "readBlock"), 608);
        // Then the single-byte reads: one byte of FPGA register 0 each.
        QCOMPARE(int(calls.size() - at), 256);
        for (; at < calls.size(); ++at) {
            QCOMPARE(calls[at].op, std::string("readXilinx"));
            QCOMPARE(calls[at].address, 0LL);
            QCOMPARE(calls[at].length, std::size_t(1));
        }
    }

    void aFullRunPlotsSixteenPointsEach()
    {
        MainForm form;
        form.runBenchmark();
        checkPoints(benchmarkPoints(form, "write"), 16);
        checkPoints(benchmarkPoints(form, "read"), 16);
        QCOMPARE(benchmarkPoints(form, "write").last().x(), 64.0);
        QCOMPARE(status(form), QStringLiteral("Benchmark finished."));
    }

    void rateLabelShowsTheSingleByteRate()
    {
        MainForm form;
        QCOMPARE(form.rateLabel->text(), QStringLiteral(" kHz"));
        form.runBenchmark();
        const QString text = form.rateLabel->text();
        QVERIFY2(QRegularExpression("^[0-9]+\\.[0-9] kHz$").match(text).hasMatch(), qPrintable(text));
        QVERIFY(text.chopped(4).toDouble() > 0);
    }

    void rateLabelWhenSingleByteReadsFail()
    {
        MainForm form;
        board->setResult("readXilinx", Status::error(ErrorCode::NotSupported, "no FPGA"));
        form.runBenchmark();
        QCOMPARE(form.rateLabel->text(), QStringLiteral("n/a kHz"));
        checkPoints(benchmarkPoints(form, "write"), 16);
        QCOMPARE(status(form), QStringLiteral("Benchmark finished; single byte reads failed: "
                                              "not supported by this board: no FPGA"));
        QCOMPARE(count(board->calls(), "readXilinx"), 1);  // stops at the first failure
    }

    void aSecondRunReplacesTheFirst()
    {
        MainForm form;
        form.runBenchmark();
        checkPoints(benchmarkPoints(form, "write"), 16);

        // Look at the curves from inside the second run, at its first write
        // of pass 2: only the second run's pass 1 shows. The hook runs on the
        // run's worker; the curves are read on the GUI thread, after the
        // pass it posted.
        int writes = 0;
        int writePoints = -1, readPoints = -1;
        board->setHook("writeBlock", [&] {
            if (++writes == 69)
                QMetaObject::invokeMethod(
                    &form,
                    [&] {
                        writePoints = benchmarkPoints(form, "write").size();
                        readPoints = benchmarkPoints(form, "read").size();
                    },
                    Qt::BlockingQueuedConnection);
        });
        form.runBenchmark();
        QCOMPARE(writePoints, 1);
        QCOMPARE(readPoints, 1);
        checkPoints(benchmarkPoints(form, "write"), 16);
        checkPoints(benchmarkPoints(form, "read"), 16);
    }

    // The run works on a thread of its own: meanwhile the window paints and
    // handles events, the plot has the passes so far, Run and the other device
    // tools are disabled, and neither a click on Run nor a direct call starts
    // a second run.
    void theWindowStaysLiveDuringARun()
    {
        MainForm form;
        form.tabWidget->setCurrentIndex(2);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        PaintCounter paints;
        form.benchPlot->canvas()->installEventFilter(&paints);
        QCoreApplication::processEvents();
        struct {
            bool painted = false, runEnabled = true, toolsEnabled = true;
            int points = -1;
        } during;
        int writes = 0;
        board->setHook("writeBlock", [&] {
            if (++writes != 68 + 64 + 1)
                return;                      // the first write of pass 3, on the worker
            QDeadlineTimer patience(20000);  // fails the test rather than hang it
            while (paints.count == 0 && !patience.hasExpired())
                QThread::msleep(2);
            during.painted = paints.count > 0;
            QMetaObject::invokeMethod(
                &form,
                [&] {
                    during.points = benchmarkPoints(form, "write").size();
                    during.runEnabled = form.runBtn->isEnabled();
                    during.toolsEnabled =
                        form.writeBtn->isEnabled() || form.devListTree->isEnabled() || form.updateIdBtn->isEnabled();
                    QTest::mouseClick(form.runBtn, Qt::LeftButton);
                    form.runBenchmark();
                },
                Qt::BlockingQueuedConnection);
        });
        board->clearCalls();
        paints.count = 0;
        QTest::mouseClick(form.runBtn, Qt::LeftButton);  // returns when the run has ended
        QVERIFY(during.painted);
        QCOMPARE(during.points, 2);
        QVERIFY(!during.runEnabled);
        QVERIFY(!during.toolsEnabled);
        QCOMPARE(count(board->calls(), "writeBlock"), 608);  // one run only
        QCoreApplication::processEvents();                   // a click replayed now would start one
        QCOMPARE(count(board->calls(), "writeBlock"), 608);
        QVERIFY(form.runBtn->isEnabled());
        QCOMPARE(status(form), QStringLiteral("Benchmark finished."));
    }

    void aFailedWriteStopsTheRunAtItsPass()
    {
        MainForm form;
        form.runBenchmark();  // a full run first: its points must not linger
        board->clearCalls();
        failFrom("writeBlock", 69);  // the first write of pass 2
        form.runBenchmark();
        checkPoints(benchmarkPoints(form, "write"), 1);
        checkPoints(benchmarkPoints(form, "read"), 1);
        QCOMPARE(status(form), QStringLiteral("Benchmark stopped at pass 2 (8 kbyte blocks): "
                                              "WriteBlock failed: transfer failed: test fault"));
        QCOMPARE(form.rateLabel->text(), QStringLiteral("n/a kHz"));
        const auto calls = board->calls();
        QCOMPARE(count(calls, "writeBlock"), 69);
        QCOMPARE(count(calls, "readBlock"), 68);
        QCOMPARE(count(calls, "readXilinx"), 0);
    }

    void aFailedReadStopsTheRunAtItsPass()
    {
        MainForm form;
        failFrom("readBlock", 68 + 64 + 1);  // the first read of pass 3
        form.runBenchmark();
        // Pass 3's writes were measured and stay; its reads were not.
        checkPoints(benchmarkPoints(form, "write"), 3);
        checkPoints(benchmarkPoints(form, "read"), 2);
        QCOMPARE(status(form), QStringLiteral("Benchmark stopped at pass 3 (12 kbyte blocks): "
                                              "ReadBlock failed: transfer failed: test fault"));
        QCOMPARE(count(board->calls(), "writeBlock"), 68 + 64 + 60);
    }

    void aFailureInTheFirstTransferLeavesNoPoints()
    {
        MainForm form;
        form.runBenchmark();
        failFrom("writeBlock", 1);
        form.runBenchmark();
        QCOMPARE(benchmarkPoints(form, "write").size(), 0);
        QCOMPARE(benchmarkPoints(form, "read").size(), 0);
        QCOMPARE(status(form), QStringLiteral("Benchmark stopped at pass 1 (4 kbyte blocks): "
                                              "WriteBlock failed: transfer failed: test fault"));
    }

    void noBoardStopsTheRunAtOnce()
    {
        MainForm form;
        form.updateCurrentDevice(4711);  // no board has this ID: unbinds
        QCOMPARE(status(form), QStringLiteral("No USB device found or selected."));
        board->clearCalls();
        form.runBenchmark();
        QCOMPARE(benchmarkPoints(form, "write").size(), 0);
        QCOMPARE(benchmarkPoints(form, "read").size(), 0);
        QCOMPARE(status(form), QStringLiteral("Benchmark stopped at pass 1 (4 kbyte blocks): "
                                              "WriteBlock failed: no board selected"));
        QCOMPARE(form.rateLabel->text(), QStringLiteral("n/a kHz"));
        QVERIFY(board->calls().empty());
    }
};

QTEST_MAIN(TestBenchmarkPage)
#include "tst_benchmarkpage.moc"
