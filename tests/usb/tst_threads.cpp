// SPDX-License-Identifier: MIT
// The library called from two threads at once: calls on one board are
// serialised, so neither thread sees the other's half-done work, and boards
// coming and going meanwhile leave nothing dangling.
#include "KoUSBLib.h"
#include "simboards.h"

#include <QtTest>

#include <atomic>
#include <cstring>
#include <thread>

class TestThreads : public QObject {
    Q_OBJECT

    SimBoards boards;

private slots:
    void initTestCase() { QVERIFY(InitUSB()); }
    void cleanup()
    {
        boards.unplugAll();
        SimBoards::sync();
    }

    void twoThreadsOnOneBoard()
    {
        boards.plug(0, 1, "shared");
        SimBoards::sync();
        void* handle = GetUSBDeviceIndexed(0);
        std::atomic<int> mixed{0};
        std::atomic<int> failed{0};
        // Each thread writes its own pattern to its own addresses and reads it
        // back, and renames the board, through its own object.
        auto worker = [&](unsigned char pattern, unsigned short address, const char* name) {
            KoUSBDevice device(handle);
            unsigned char out[16], in[16];
            std::memset(out, pattern, sizeof out);
            for (int i = 0; i < 200; ++i) {
                if (!device.WriteExternal(address, out, 16) || !device.ReadExternal(address, in, 16))
                    ++failed;
                else if (std::memcmp(in, out, 16) != 0)
                    ++mixed;
                if (i % 50 == 0 && !device.WriteNameToEEPROM(name))
                    ++failed;
                const std::string seen = device.GetName();
                if (seen != "shared" && seen != "thread one" && seen != "thread two")
                    ++mixed;
            }
        };
        std::thread one(worker, 0x11, 0x0000, "thread one");
        std::thread two(worker, 0x22, 0x0100, "thread two");
        one.join();
        two.join();
        QCOMPARE(failed.load(), 0);
        QCOMPARE(mixed.load(), 0);
    }

    void boardsComeAndGoWhileAnotherThreadCalls()
    {
        boards.plug(0, 1, "steady");
        SimBoards::sync();
        std::atomic<bool> stop{false};
        std::atomic<int> calls{0};
        std::thread caller([&]() {
            unsigned char buffer[16] = {};
            while (!stop) {
                // Handles are taken fresh each time, as the window's list does.
                for (int slot = 0; slot < GetMaxNumberOfUSBBoards(); ++slot) {
                    KoUSBDevice device(GetUSBDeviceIndexed(slot));
                    device.GetId();
                    device.GetName();
                    device.ReadExternal(0, buffer, 16);
                    ++calls;
                }
            }
        });
        for (int cycle = 0; cycle < 60; ++cycle) {
            boards.plug(1, 2, "coming and going");
            SimBoards::sync();
            boards.unplug(1);
            SimBoards::sync();
        }
        stop = true;
        caller.join();
        QVERIFY(calls > 0);
        QVERIFY(GetUSBDeviceIndexed(1) == nullptr);
        KoUSBDevice steady(GetUSBDeviceIndexed(0));
        QCOMPARE(QByteArray(steady.GetName()), QByteArray("steady"));
    }
};

QTEST_GUILESS_MAIN(TestThreads)
#include "tst_threads.moc"
