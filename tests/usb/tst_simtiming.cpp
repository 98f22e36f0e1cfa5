// SPDX-License-Identifier: MIT
// The simulated board's timing model: its arithmetic, and waits that never
// end before their deadline (no other timing is asserted).
#include "sim/simtiming.h"

#include <QtTest>

namespace timing = kousb::sim::timing;
using std::chrono::hours;
using std::chrono::microseconds;
using std::chrono::nanoseconds;

Q_DECLARE_METATYPE(nanoseconds)

class TestSimTiming : public QObject {
    Q_OBJECT

private slots:
    void bulkModelIsOverheadPlusSizeOverRate()
    {
        QCOMPARE(timing::kBulkTransferOverhead, microseconds(250));
        QCOMPARE(timing::bulkTransferTime(0, 24), nanoseconds(250'000));
        // 4,096 bytes at 24 kbyte/ms: 1/6 ms.
        QCOMPARE(timing::bulkTransferTime(4096, 24), nanoseconds(250'000 + 166'667));
        // 65,536 bytes at 8 kbyte/ms: 8 ms.
        QCOMPARE(timing::bulkTransferTime(65536, 8), nanoseconds(250'000 + 8'000'000));
        // A rate that breaks the precondition does not make an infinite wait.
        QCOMPARE(timing::bulkTransferTime(4096, 0), nanoseconds(250'000));
        QVERIFY(timing::bulkTransferTime(std::size_t(1) << 40, 1e-300) <= hours(1) + microseconds(250));
    }

    // A control transfer is two microframes of 125 us, an interrupt transfer
    // the next one; what the chips take in them (an EEPROM page's write
    // cycle, say) makes them longer, never shorter.
    void controlAndInterruptTransfers_data()
    {
        QTest::addColumn<nanoseconds>("chips");
        QTest::addColumn<nanoseconds>("control");
        QTest::addColumn<nanoseconds>("interrupt");
        QTest::newRow("nothing on the chips") << nanoseconds(0) << nanoseconds(250'000) << nanoseconds(125'000);
        QTest::newRow("a short I2C read") << nanoseconds(67'500) << nanoseconds(250'000) << nanoseconds(125'000);
        QTest::newRow("a page write") << nanoseconds(4'485'000) << nanoseconds(4'485'000) << nanoseconds(4'485'000);
    }
    void controlAndInterruptTransfers()
    {
        QFETCH(nanoseconds, chips);
        QTEST(timing::controlTransferTime(chips), "control");
        QTEST(timing::interruptTransferTime(chips), "interrupt");
    }

    void aWaitNeverEndsBeforeItsDeadline()
    {
        for (auto d : {microseconds(0), microseconds(50), microseconds(900)}) {
            const auto deadline = timing::Clock::now() + d;
            timing::waitUntil(deadline);
            QVERIFY(timing::Clock::now() >= deadline);
        }
    }
};

QTEST_APPLESS_MAIN(TestSimTiming)
#include "tst_simtiming.moc"
