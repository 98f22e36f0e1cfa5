// SPDX-License-Identifier: MIT
// The simulated board's loopback FIFO and the timing model's arithmetic.
// No timings are asserted beyond "a wait never ends before its deadline".
#include "sim/bulkpipe.h"
#include "sim/simtiming.h"

#include <QtTest>

#include <numeric>
#include <vector>

using kousb::sim::BulkPipe;
namespace timing = kousb::sim::timing;

class TestBulkPipe : public QObject {
    Q_OBJECT

    static std::vector<std::uint8_t> bytes(std::size_t n, std::uint8_t first)
    {
        std::vector<std::uint8_t> v(n);
        std::iota(v.begin(), v.end(), first);
        return v;
    }

private slots:
    void loopsBackWhatWasWritten()
    {
        BulkPipe pipe;
        const std::vector<std::uint8_t> a{0xDE, 0xAD}, b{0xBE, 0xEF, 0x01};
        QCOMPARE(pipe.write(a.data(), a.size()), a.size());
        QCOMPARE(pipe.write(b.data(), b.size()), b.size());
        QCOMPARE(pipe.queued(), std::size_t(5));
        std::vector<std::uint8_t> got(5);
        QCOMPARE(pipe.read(got.data(), got.size()), std::size_t(5));
        QCOMPARE(got, (std::vector<std::uint8_t>{0xDE, 0xAD, 0xBE, 0xEF, 0x01}));
        QCOMPARE(pipe.queued(), std::size_t(0));
    }

    void readsPastTheQueueGetTheCounter()
    {
        BulkPipe pipe;
        std::vector<std::uint8_t> got(4);
        QCOMPARE(pipe.read(got.data(), 4), std::size_t(0));
        QCOMPARE(got, (std::vector<std::uint8_t>{0, 1, 2, 3}));
        const std::uint8_t one = 0x77;
        pipe.write(&one, 1);
        got.assign(3, 0xFF);
        QCOMPARE(pipe.read(got.data(), 3), std::size_t(1));
        QCOMPARE(got, (std::vector<std::uint8_t>{0x77, 4, 5}));  // the counter goes on where it was
        // ...and wraps after 255.
        std::vector<std::uint8_t> many(300);
        pipe.read(many.data(), many.size());
        QCOMPARE(int(many[0]), 6);
        QCOMPARE(int(many[249]), 255);
        QCOMPARE(int(many[250]), 0);
        QCOMPARE(int(pipe.nextPatternByte()), (6 + 300) % 256);
    }

    void anyReadSizeSucceeds()
    {
        BulkPipe pipe;
        for (std::size_t n :
             {std::size_t(0), std::size_t(1), std::size_t(4096), std::size_t(65536), std::size_t(200000)}) {
            std::vector<std::uint8_t> buffer(n + 1, 0xAA);
            pipe.read(buffer.data(), n);
            QCOMPARE(int(buffer[n]), 0xAA);  // nothing past the length
        }
    }

    void boundedByCapacityDiscardingWhatDoesNotFit()
    {
        BulkPipe pipe;
        const auto big = bytes(BulkPipe::kCapacity - 10, 0);
        QCOMPARE(pipe.write(big.data(), big.size()), big.size());
        const auto more = bytes(30, 100);
        QCOMPARE(pipe.write(more.data(), more.size()), std::size_t(10));  // room for 10 only
        QCOMPARE(pipe.queued(), BulkPipe::kCapacity);
        QCOMPARE(pipe.write(more.data(), more.size()), std::size_t(0));

        std::vector<std::uint8_t> got(BulkPipe::kCapacity + 2);
        QCOMPARE(pipe.read(got.data(), got.size()), BulkPipe::kCapacity);
        QVERIFY(std::equal(big.begin(), big.end(), got.begin()));
        QVERIFY(std::equal(more.begin(), more.begin() + 10, got.begin() + big.size()));
        QCOMPARE(int(got[BulkPipe::kCapacity]), 0);  // then the counter
        QCOMPARE(int(got[BulkPipe::kCapacity + 1]), 1);
    }

    void theLargestBlockLoopsBackWhole()
    {
        BulkPipe pipe;
        const auto block = bytes(65536, 7);
        QCOMPARE(pipe.write(block.data(), block.size()), block.size());
        std::vector<std::uint8_t> got(block.size());
        pipe.read(got.data(), got.size());
        QCOMPARE(got, block);
    }

    void wrapsAroundTheRing()
    {
        BulkPipe pipe;
        std::vector<std::uint8_t> sink(BulkPipe::kCapacity);
        const auto first = bytes(40000, 1);
        pipe.write(first.data(), first.size());
        pipe.read(sink.data(), 30000);        // 10,000 left, starting at index 30,000
        const auto second = bytes(50000, 9);  // goes past the end of the ring
        QCOMPARE(pipe.write(second.data(), second.size()), second.size());
        std::vector<std::uint8_t> got(60000);
        QCOMPARE(pipe.read(got.data(), got.size()), std::size_t(60000));
        QVERIFY(std::equal(first.begin() + 30000, first.end(), got.begin()));
        QVERIFY(std::equal(second.begin(), second.end(), got.begin() + 10000));
    }

    void bulkModelIsOverheadPlusSizeOverRate()
    {
        using namespace std::chrono;
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

    void controlModelIsTwoMicroframes() { QCOMPARE(timing::controlTransferTime(), std::chrono::nanoseconds(250'000)); }

    void aWaitNeverEndsBeforeItsDeadline()
    {
        for (auto d : {std::chrono::microseconds(0), std::chrono::microseconds(50), std::chrono::microseconds(900)}) {
            const auto deadline = timing::Clock::now() + d;
            timing::waitUntil(deadline);
            QVERIFY(timing::Clock::now() >= deadline);
        }
        const auto start = timing::Clock::now();
        kousb::sim::waitBulkTransfer(4096, 24, start);
        QVERIFY(timing::Clock::now() >= start + timing::bulkTransferTime(4096, 24));
        timing::waitUntil(start);  // a deadline in the past returns at once
    }
};

QTEST_APPLESS_MAIN(TestBulkPipe)
#include "tst_bulkpipe.moc"
