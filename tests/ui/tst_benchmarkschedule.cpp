// SPDX-License-Identifier: MIT
// The benchmark's schedule and rate arithmetic (pure functions).
#include "benchmarkschedule.h"

#include <QtTest>

#include <cmath>

class TestBenchmarkSchedule : public QObject {
    Q_OBJECT

private slots:
    void sixteenPassesOfGrowingBlocks()
    {
        const auto passes = benchmark::schedule();
        QCOMPARE(int(passes.size()), 16);
        for (int k = 1; k <= 16; ++k) {
            const benchmark::Pass& p = passes[k - 1];
            QCOMPARE(p.number, k);
            QCOMPARE(p.bytes, 4096 * k);
            QCOMPARE(p.repetitions, 72 - 4 * k);
            QCOMPARE(p.kbytes, 4.0 * k);  // exactly: 4 to 64 in steps of 4
        }
        QCOMPARE(passes.front().bytes, 4096);
        QCOMPARE(passes.front().repetitions, 68);
        QCOMPARE(passes.back().bytes, 65536);
        QCOMPARE(passes.back().repetitions, 8);
        QCOMPARE(benchmark::kBufferBytes, 65536);
    }

    void bytesMovedPerDirection()
    {
        const auto passes = benchmark::schedule();
        long long least = passes[0].bytesPerDirection(), most = least;
        int mostAt = 1;
        for (const auto& p : passes) {
            least = std::min(least, p.bytesPerDirection());
            if (p.bytesPerDirection() > most) {
                most = p.bytesPerDirection();
                mostAt = p.number;
            }
        }
        QCOMPARE(passes[0].bytesPerDirection(), 278528LL);
        QCOMPARE(least, 278528LL);
        QCOMPARE(most, 1327104LL);
        QCOMPARE(mostAt, 9);
        QCOMPARE(benchmark::totalBytesPerDirection(), 15597568LL);
    }

    void rateIsKbytePerMillisecond()
    {
        // 68 writes of 4 kbyte in 100 ms: 4 / (100 / 68) = 2.72.
        const auto rate = benchmark::transferRate(4.0, 68, 100'000'000);
        QVERIFY(rate);
        QVERIFY(std::fabs(*rate - 2.72) < 1e-12);
        // 8 transfers of 64 kbyte in 20 ms: 64 / 2.5 = 25.6.
        QVERIFY(std::fabs(*benchmark::transferRate(64.0, 8, 20'000'000) - 25.6) < 1e-12);
    }

    void fractionalMillisecondsCount()
    {
        QCOMPARE(benchmark::milliseconds(1'500'000), 1.5);
        QCOMPARE(benchmark::milliseconds(250), 0.00025);
        // A pass well under a millisecond still has a true, finite rate:
        // 68 transfers of 4 kbyte in 0.4 ms is 680 kbyte/ms, not infinite.
        const auto fast = benchmark::transferRate(4.0, 68, 400'000);
        QVERIFY(fast);
        QVERIFY(std::fabs(*fast - 680.0) < 1e-9);
        // 1.9 ms is not read as 1 ms: 10 transfers of 4 kbyte -> 21.05..., not 40.
        QVERIFY(std::fabs(*benchmark::transferRate(4.0, 10, 1'900'000) - 40.0 / 1.9) < 1e-9);
    }

    void noRateWithoutTimeOrTransfers()
    {
        QVERIFY(!benchmark::transferRate(4.0, 68, 0));
        QVERIFY(!benchmark::transferRate(4.0, 68, -5));
        QVERIFY(!benchmark::transferRate(4.0, 0, 1000));
        QVERIFY(!benchmark::accessRateKHz(256, 0));
        QVERIFY(!benchmark::accessRateKHz(0, 1000));
    }

    void accessRateInKilohertz()
    {
        // 256 accesses of 250 us each: 64 ms, 4 kHz.
        QVERIFY(std::fabs(*benchmark::accessRateKHz(256, 64'000'000) - 4.0) < 1e-12);
        QVERIFY(std::fabs(*benchmark::accessRateKHz(1, 1'000'000) - 1.0) < 1e-12);
    }
};

QTEST_APPLESS_MAIN(TestBenchmarkSchedule)
#include "tst_benchmarkschedule.moc"
