// SPDX-License-Identifier: MIT
// The benchmark's run on the recording board: the passes it reports, in
// order, and how a failed transfer or the caller ends it. The schedule's
// numbers come from the page's description: pass k moves 72 - 4k blocks of
// 4096 k bytes each way, writes first.
#include "KoUSBLib.h"
#include "benchmarkrun.h"
#include "recordingboard.h"
#include "simboards.h"

#include <QtTest>

#include <cmath>

using benchmark::Direction;
using Failed = std::optional<benchmark::Direction>;
Q_DECLARE_METATYPE(Failed)

class TestBenchmarkRun : public QObject {
    Q_OBJECT

    SimBoards boards;  // an empty folder: the recording board is the only one
    std::shared_ptr<RecordingBoard> board = installRecordingBoard(0);

    // Blocks the passes before pass k move each way.
    static int blocksBefore(int k) { return (k - 1) * 72 - 2 * k * (k - 1); }

private slots:
    void initTestCase() { QVERIFY(InitUSB()); }

    void passByPass_data()
    {
        QTest::addColumn<QString>("failingCall");  // "" for none
        QTest::addColumn<int>("failsAt");          // its first failing call, counted from 1 (2 or later)
        QTest::addColumn<int>("stopAfter");        // the pass after which the report ends the run; 0: never
        QTest::addColumn<int>("passes");           // passes reported
        QTest::addColumn<Failed>("failed");
        QTest::addColumn<int>("writes");
        QTest::addColumn<int>("reads");

        QTest::newRow("all sixteen") << "" << 0 << 0 << 16 << Failed() << 608 << 608;
        QTest::newRow("stopped after pass 3") << "" << 0 << 3 << 3 << Failed() << blocksBefore(4) << blocksBefore(4);
        QTest::newRow("first write of pass 2 fails")
            << "writeBlock" << blocksBefore(2) + 1 << 0 << 2 << Failed(Direction::Write) << blocksBefore(2) + 1 << 68;
        QTest::newRow("tenth read of pass 1 fails")
            << "readBlock" << 10 << 0 << 1 << Failed(Direction::Read) << 68 << 10;
    }

    void passByPass()
    {
        QFETCH(QString, failingCall);
        QFETCH(int, failsAt);
        QFETCH(int, stopAfter);
        QFETCH(int, passes);
        QFETCH(Failed, failed);
        QFETCH(int, writes);
        QFETCH(int, reads);

        for (const char* call : {"writeBlock", "readBlock"}) {
            board->setResult(call, kousb::Status::ok());
            board->setHook(call, nullptr);
        }
        // The double takes its answer before it runs the hook: the hook of
        // call n - 1 sets the answer of call n.
        const std::string op = failingCall.toStdString();
        int calls = 0;
        if (!op.empty())
            board->setHook(op, [&] {
                if (++calls == failsAt - 1)
                    board->setResult(op, kousb::Status::error(kousb::ErrorCode::Io, "test fault"));
            });
        board->clearCalls();

        KoUSBDevice device(GetUSBDeviceIndexed(0));
        std::vector<benchmark::PassResult> reported;
        const bool complete = benchmark::runPasses(device, [&](const benchmark::PassResult& r) {
            reported.push_back(r);
            return r.pass.number != stopAfter;
        });

        QCOMPARE(complete, passes == 16 && !failed);
        QCOMPARE(int(reported.size()), passes);
        for (int k = 1; k <= passes; ++k) {
            const benchmark::PassResult& r = reported[k - 1];
            QCOMPARE(r.pass.number, k);
            QCOMPARE(r.pass.bytes, 4096 * k);
            QCOMPARE(r.pass.repetitions, 72 - 4 * k);
            const Failed failedHere = k == passes ? failed : Failed();
            QCOMPARE(r.failed, failedHere);
            // A rate for each direction that ran and did not fail, finite and positive.
            QCOMPARE(bool(r.write), failedHere != Direction::Write);
            QCOMPARE(bool(r.read), !failedHere);
            for (const std::optional<double>& rate : {r.write, r.read})
                QVERIFY(!rate || (std::isfinite(*rate) && *rate > 0));
        }
        int writeCalls = 0, readCalls = 0;
        for (const RecordedCall& c : board->calls()) {
            writeCalls += c.op == "writeBlock";
            readCalls += c.op == "readBlock";
        }
        QCOMPARE(writeCalls, writes);
        QCOMPARE(readCalls, reads);
        if (failed)
            QCOMPARE(QString::fromLatin1(device.GetLastError()), QStringLiteral("transfer failed: test fault"));
    }
};

QTEST_GUILESS_MAIN(TestBenchmarkRun)
#include "tst_benchmarkrun.moc"
