// SPDX-License-Identifier: MIT
// One simulated board, many processes: what one process does is what the
// next call of another sees, calls never mix, a killed process leaves the
// board usable, and a board folder that is not the user's is never used.
#include "KoUSBLib.h"
#include "eepromlayout.h"
#include "sim/boardstore.h"
#include "sim/simdirectory.h"
#include "sim/simboard.h"
#include "firmwarefiles.h"
#include "simboards.h"
#include "toolprocess.h"

#include <QDir>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using Bytes = std::vector<unsigned char>;

class TestSharedBoard : public QObject {
    Q_OBJECT

    SimBoards boards;
    QTemporaryDir files;

    static ToolResult kousb(const QStringList& args, const QByteArray& dir = {})
    {
        if (!dir.isEmpty())
            qputenv("KOUSB_SIM_DIR", dir);
        ToolResult r = runTool(QString::fromLocal8Bit(qgetenv("KOUSB_TOOL")), args);
        return r;
    }

    // A process of its own on the board in slot 0, as another program would be.
    template <typename Work>
    pid_t child(Work&& work)
    {
        const pid_t pid = fork();
        if (pid == 0) {
            std::string error;
            kousb::sim::BoardState config;
            kousb::sim::BoardStore(boards.dir()).readLive(0, config, error);
            kousb::sim::SimBoard board(boards.path(0), config);
            _exit(work(board) ? 0 : 1);
        }
        return pid;
    }

    static int waitExit(pid_t pid)
    {
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // Each 64-byte page of the EEPROM's first `pages` holds one byte value.
    static bool pagesWhole(const std::vector<std::uint8_t>& image, std::size_t pages)
    {
        for (std::size_t p = 0; p < pages * kousb::eeprom::kPageSize; p += kousb::eeprom::kPageSize)
            for (std::size_t i = 1; i < kousb::eeprom::kPageSize; ++i)
                if (image[p + i] != image[p])
                    return false;
        return true;
    }

private slots:
    void initTestCase() { QVERIFY(InitUSB()); }
    void init()
    {
        boards.plug(0, 1, "Shared");
        SimBoards::sync();
    }
    void cleanup()
    {
        boards.unplugAll();
        SimBoards::sync();
    }

    // Written here, read by kousb; written by kousb, read here: each mode.
    void crossProcessVisibility_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<int>("address");
        QTest::newRow("External") << "External" << 16;
        QTest::newRow("FPGA") << "FPGA" << 300;
        QTest::newRow("Controller") << "Controller" << 0xE100;
        QTest::newRow("SPI") << "SPI" << 70000;
    }

    void crossProcessVisibility()
    {
        QFETCH(QString, mode);
        QFETCH(int, address);
        KoUSBDevice device(GetUSBDeviceIndexed(0));
        auto io = [&](bool write, int at, Bytes& b) {
            const auto a = static_cast<unsigned short>(at);
            const auto n = static_cast<unsigned short>(b.size());
            if (mode == "External")
                return write ? device.WriteExternal(a, b.data(), n) : device.ReadExternal(a, b.data(), n);
            if (mode == "FPGA")
                return write ? device.WriteXilinx(a, b.data(), n) : device.ReadXilinx(a, b.data(), n);
            if (mode == "Controller")
                return write ? device.Write8051(a, b.data(), n) : device.Read8051(a, b.data(), n);
            return write ? device.WriteSPI(at, b.data(), n) : device.ReadSPI(at, b.data(), n);
        };
        Bytes mine{1, 2, 255};
        QVERIFY(io(true, address, mine));
        ToolResult r = kousb({"read", mode, "--addr", QString::number(address), "--size", "3"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out.trimmed(), QStringLiteral("1 2 255"));
        // Bytes not written before: flash is not rewritten in place.
        QCOMPARE(kousb({"write", mode, "--addr", QString::number(address + 3), "9", "8", "7"}).exitCode, 0);
        Bytes back(3);
        QVERIFY(io(false, address + 3, back));
        QCOMPARE(back, (Bytes{9, 8, 7}));
    }

    // The EEPROM and the UART across calls of separate kousb runs; an
    // identity set by kousb is what this process shows, and this process's
    // EEPROM write does not undo it. (The EEPROM's address counter moves when
    // a program finds the board: its firmware reads the identity through it.)
    void eepromCounterIdentityAndUart()
    {
        QCOMPARE(kousb({"write", "I2C", "--addr", "81", "1", "0", "65", "10", "66"}).exitCode, 0);
        KoUSBDevice device(GetUSBDeviceIndexed(0));
        Bytes offset{1, 0}, written(3);
        QVERIFY(device.WriteI2C(0x51, offset.data(), 2) && device.ReadI2C(0x51, written.data(), 3));
        QCOMPARE(written, (Bytes{65, 10, 66}));

        QCOMPARE(kousb({"set-id", "--name", "Renamed by CLI"}).exitCode, 0);
        QCOMPARE(QString::fromLatin1(device.GetName()), QStringLiteral("Renamed by CLI"));
        Bytes write{0, 0, 9};
        QVERIFY(device.WriteI2C(0x51, write.data(), 3));
        QVERIFY(kousb({"list"}).out.contains("Renamed by CLI"));

        QCOMPARE(kousb({"write", "UART", "5", "6"}).exitCode, 0);
        Bytes got(4, 0);
        QVERIFY(device.ReadSerial(got.data(), 4));
        QCOMPARE(got, (Bytes{5, 6, 0, 0}));
    }

    // Any byte in the name field, a newline too, leaves the board listed.
    void anyNameLeavesTheBoardListed()
    {
        const int name = int(kousb::eeprom::kNameOffset);
        QCOMPARE(kousb({"write", "I2C", "--addr", "81", QString::number(name >> 8), QString::number(name & 0xFF), "66",
                        "10", "34", "92", "255"})
                     .exitCode,
                 0);
        const ToolResult r = kousb({"list"});
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.err.isEmpty(), qPrintable(r.err));
        QVERIFY2(r.out.contains("\tB\\x0A\"\\\xC3\xBF"), qPrintable(r.out));  // one line, the newline shown as \x0A
        QCOMPARE(std::string(KoUSBDevice(GetUSBDeviceIndexed(0)).GetName()),
                 std::string("B\n\"\\\xFF") + "d");  // "Shared" overwritten but its last letter
    }

    // A controller image with data in the second RAM at 0xE100: loaded by
    // one kousb run, read back by the next.
    void controllerImageWithHighRam()
    {
        const QString image = firmwarefiles::writeFile(
            files.filePath("high.hex"), firmwarefiles::intelHex({{0x0000, QByteArray("\x02\x00\x06", 3)},
                                                                 {0xE100, QByteArray("\x12\x01\x00\x02", 4)}}));
        QCOMPARE(kousb({"load-controller", image}).exitCode, 0);
        QCOMPARE(kousb({"read", "Controller", "--addr", "57600", "--size", "4"}).out.trimmed(),
                 QStringLiteral("18 1 0 2"));
        QCOMPARE(kousb({"read", "Controller", "--addr", "0", "--size", "3"}).out.trimmed(), QStringLiteral("2 0 6"));
        QVERIFY(
            QString::fromLatin1(KoUSBDevice(GetUSBDeviceIndexed(0)).GetEndpointInfo()).contains("high.hex (7 bytes)"));
    }

    // A board plugged without firmware is in the boot state, as a real one
    // (the FX2's boot pair, 04b4:8613, and nothing of our protocol); kousb
    // load-controller, without a file, loads our image, and from then on the
    // board runs our firmware under the image's name, in this process too.
    void bootStateLoadedWithOurImage()
    {
#ifndef KOUSB_FIRMWARE_IMAGE
        QSKIP("the firmware image is not built (no SDCC)");
#else
        boards.unplug(0);
        kousb::sim::BoardState state = kousb::sim::blankBoard();
        state.instance = kousb::sim::newInstanceId();
        kousb::eeprom::writeId(state.eeprom, 12);
        kousb::eeprom::writeName(state.eeprom, "Bare board");
        boards.writeRaw(kousb::sim::boardFileName(0), kousb::sim::formatBoardFile(state));
        QVERIFY(SimBoards::sync());
        KoUSBDevice device(GetUSBDeviceIndexed(0));
        QCOMPARE(QString::fromLatin1(device.GetName()), QStringLiteral("No firmware (boot state)"));
        QVERIFY(QString::fromLatin1(device.GetEndpointInfo()).contains("USB board 04b4:8613"));
        const ToolResult refused = kousb({"write", "External", "1"});
        QCOMPARE(refused.exitCode, 1);
        QVERIFY2(refused.err.contains("does not support external bus access"), qPrintable(refused.err));

        const ToolResult load = kousb({"load-controller"});
        QVERIFY2(load.exitCode == 0, qPrintable(load.err));
        QCOMPARE(QString::fromLatin1(device.GetName()), QStringLiteral("Bare board"));
        const QString info = QString::fromLatin1(device.GetEndpointInfo());
        QVERIFY2(info.contains("Controller firmware: " + QFileInfo(KOUSB_FIRMWARE_IMAGE).fileName() + " (")
                     && info.contains("USB board 04b4:1004"),
                 qPrintable(info));
        QCOMPARE(kousb({"write", "External", "--addr", "7", "1", "2"}).exitCode, 0);
        Bytes back(2);
        QVERIFY(device.ReadExternal(7, back.data(), 2));
        QCOMPARE(back, (Bytes{1, 2}));
#endif
    }

    // Two processes each write 500 different EEPROM bytes through I2C: all
    // 1,000 are there afterwards, in the shared state and in the board file.
    void noLostUpdate()
    {
        pid_t writers[2];
        for (int w = 0; w < 2; ++w)
            writers[w] = child([w](kousb::sim::SimBoard& board) {
                for (int i = 0; i < 500; ++i) {
                    const int at = w * 500 + i;
                    const std::uint8_t bytes[3] = {std::uint8_t(at >> 8), std::uint8_t(at), std::uint8_t(w + 1)};
                    if (!board.writeI2C(0x51, bytes, 3).isOk())
                        return false;
                }
                return true;
            });
        QCOMPARE(waitExit(writers[0]), 0);
        QCOMPARE(waitExit(writers[1]), 0);
        std::string error;
        kousb::sim::BoardState file;
        QVERIFY(kousb::sim::readBoardFile(boards.path(0), file, error));
        const auto live = boards.read(0).eeprom;
        for (int at = 0; at < 1000; ++at) {
            QCOMPARE(int(live[at]), at / 500 + 1);
            QCOMPARE(int(file.eeprom[at]), at / 500 + 1);
        }
    }

    // A writer killed at any moment in its calls: this process goes on at
    // once, each EEPROM page is wholly old or wholly new, and the board file
    // agrees with the board.
    void killedWriterLeavesTheBoardUsable()
    {
        constexpr std::size_t kPages = 4;
        KoUSBDevice device(GetUSBDeviceIndexed(0));
        for (int round = 0; round < 12; ++round) {
            const pid_t writer = child([](kousb::sim::SimBoard& board) {
                for (std::uint8_t value = 0;; ++value)
                    for (std::size_t page = 0; page < kPages; ++page) {
                        std::uint8_t bytes[2 + kousb::eeprom::kPageSize];
                        bytes[0] = 0;
                        bytes[1] = std::uint8_t(page * kousb::eeprom::kPageSize);
                        std::fill(bytes + 2, bytes + sizeof bytes, value);
                        board.writeI2C(0x51, bytes, sizeof bytes);
                        board.writeExternal(0, bytes, sizeof bytes);
                    }
                return true;
            });
            usleep(2000 + QRandomGenerator::global()->bounded(20000));
            kill(writer, SIGKILL);
            QCOMPARE(waitExit(writer), -1);

            Bytes external(2);
            QVERIFY(device.ReadExternal(0, external.data(), 2));  // would hang on a lock left held
            Bytes eeprom(kPages * kousb::eeprom::kPageSize);
            QVERIFY(device.ReadEEPROM(0, eeprom.data(), int(eeprom.size())));
            QVERIFY2(pagesWhole(eeprom, kPages), qPrintable(QString("round %1").arg(round)));
            std::string error;
            kousb::sim::BoardState file;
            QVERIFY2(kousb::sim::readBoardFile(boards.path(0), file, error), error.c_str());
            QVERIFY(std::equal(eeprom.begin(), eeprom.end(), file.eeprom.begin()));
        }
    }

    // A folder someone else owns, or anyone may write to, is refused by both
    // tools, named once, and left as it was; a board planted there is not listed.
    void foreignFolderRefused_data()
    {
        QTest::addColumn<bool>("foreignOwner");
        QTest::newRow("owned by another user") << true;
        QTest::newRow("writable by everyone") << false;
    }

    void foreignFolderRefused()
    {
        QFETCH(bool, foreignOwner);
        QTemporaryDir planted;
        const QByteArray dir = QFile::encodeName(planted.path());
        QFile::copy(QString::fromStdString(boards.path(0)), planted.filePath("slot-00.board"));
        QVERIFY(::chmod(dir.constData(), foreignOwner ? 0755 : 0777) == 0);
        if (foreignOwner)
            QVERIFY2(::chown(dir.constData(), 65534, 65534) == 0 || geteuid() != 0, "chown");
        if (foreignOwner && geteuid() != 0)
            QSKIP("giving a folder to another user needs root");

        const QByteArray own = qgetenv("KOUSB_SIM_DIR");
        const ToolResult r = kousb({"list"}, dir);
        qputenv("KOUSB_SIM_DIR", own);
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.err.count("the board folder " + QString::fromLocal8Bit(dir)), 1);
        QVERIFY(r.err.contains(foreignOwner ? "belongs to another user" : "can be written by other users"));
        QVERIFY(!r.out.contains("Shared"));
        const ToolResult sim =
            runTool(QString::fromLocal8Bit(qgetenv("KOUSB_SIM_TOOL")), {"--dir", planted.path(), "list"});
        QCOMPARE(sim.exitCode, 1);
        QCOMPARE(QDir(planted.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList{"slot-00.board"});
    }
};

QTEST_GUILESS_MAIN(TestSharedBoard)
#include "tst_sharedboard.moc"
