// SPDX-License-Identifier: MIT
// The real-board logic (Fx2Board) against our board firmware's core,
// compiled for the host and running on models of the board's chips: every
// request of the board protocol, its errors, and what the host makes of them.
#include "firmwarefiles.h"
#include "firmwaretransport.h"
#include "libusb/fx2board.h"
#include "libusb/protocol.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cstring>
#include <thread>

Q_DECLARE_METATYPE(FirmwareModel::Speed)

using namespace kousb;
using namespace kousb::usb;
using namespace kousb::usb::protocol;

namespace {

QString message(const Status& s) { return QString::fromStdString(s.message()); }

std::vector<std::uint8_t> bytes(std::initializer_list<int> list)
{
    return std::vector<std::uint8_t>(list.begin(), list.end());
}

// A raw request as the host sends it, and the error reply after it.
struct Raw {
    bool stalled;
    std::size_t moved;
    std::uint8_t error[4];
};
Raw raw(FirmwareTransport& t, std::uint8_t type, std::uint8_t request, std::uint16_t value, std::uint8_t* data,
        std::size_t length)
{
    Raw r{};
    const TransferResult result = t.control(type, request, value, 0, data, length, kControlTimeout);
    r.stalled = result.error == TransferError::Stall;
    r.moved = result.transferred;
    t.control(kVendorIn, kGetError, 0, 0, r.error, sizeof r.error, kControlTimeout);
    return r;
}

}  // namespace

class TestFirmwareBoard : public QObject {
    Q_OBJECT

    QTemporaryDir m_files;

private slots:
    void profiles_data()
    {
        QTest::addColumn<bool>("fpga");
        QTest::addColumn<QString>("serves");
        QTest::addColumn<QString>("part");
        QTest::newRow("our board") << true
                                   << "external bus, FPGA registers, I2C, SPI, command, FPGA configuration, "
                                      "EEPROM, identity"
                                   << "3s500e";
        QTest::newRow("generic") << false << "I2C, SPI, EEPROM, identity"
                                 << "";
    }
    // What the board says it has, and what the host then refuses without asking.
    void profiles()
    {
        QFETCH(bool, fpga);
        const fwmodel::Profile& profile = fpga ? fwmodel::kFpgaProfile : fwmodel::kGenericProfile;
        auto transport = std::make_shared<FirmwareTransport>(profile);
        Fx2Board board(transport);
        QVERIFY(board.runsOurFirmware());
        const QString info = QString::fromStdString(board.endpointInfo());
        QFETCH(QString, serves);
        QVERIFY2(info.contains("protocol 1.0; serves " + serves + "\n"), qPrintable(info));
        QFETCH(QString, part);
        QCOMPARE(info.contains("FPGA: 3s500e"), !part.isEmpty());
        // A blank EEPROM: no identity yet, but the firmware's own version.
        const BoardIdentity id = board.identity();
        QCOMPARE(id.id, 0);
        QCOMPARE(QString::fromStdString(id.name), QString());
        QCOMPARE(id.firmwareVersion, 0x0100);

        std::uint8_t b[4] = {1, 2, 3, 4};
        // Neither 56-pin board has UART pins.
        QCOMPARE(board.writeSerial(b, 4).code(), ErrorCode::NotSupported);
        const Status external = board.writeExternal(0x10, b, 4);
        const Status command = board.writeCommand(b, 4);
        QCOMPARE(bool(external), fpga);
        if (!fpga) {
            QCOMPARE(external.code(), ErrorCode::NotSupported);
            QCOMPARE(command.code(), ErrorCode::NotSupported);
            QCOMPARE(board.readXilinx(0, b, 1).code(), ErrorCode::NotSupported);
            QCOMPARE(transport->stalls(), 0);
        }
    }

    // Every bus round-trips through the firmware to the chip models, and each
    // refusal reaches the caller as the board's reason.
    void requests()
    {
        auto transport = std::make_shared<FirmwareTransport>(fwmodel::kFpgaProfile);
        fwmodel::Board& chips = transport->board();
        Fx2Board board(transport);
        std::vector<std::uint8_t> out(300), in(300);
        for (std::size_t i = 0; i < out.size(); ++i)
            out[i] = std::uint8_t(i * 7 + 3);

        // External bus: split at nothing below 4096, the top of the space refused by the board.
        QVERIFY(board.writeExternal(0xFF00, out.data(), 256));
        QVERIFY(board.readExternal(0xFF00, in.data(), 256));
        QVERIFY(std::equal(in.begin(), in.begin() + 256, out.begin()));
        QVERIFY(std::equal(out.begin(), out.begin() + 256, chips.fpga.external + 0xFF00));

        // FPGA registers need a configured FPGA.
        QCOMPARE(board.readXilinx(0x20, in.data(), 1).code(), ErrorCode::NotConfigured);
        const std::string bit = QFile::encodeName(firmwarefiles::writeFile(m_files.filePath("ok.bit"),
                                                                           firmwarefiles::bitFile("3s500efg320", 9000)))
                                    .toStdString();
        QVERIFY2(board.downloadXilinx(bit), message(board.downloadXilinx(bit)).toLatin1());
        QCOMPARE(chips.fpga.configuredBytes, std::uint32_t(9000));
        QVERIFY(board.writeXilinx(0x20, out.data(), 3));
        QVERIFY(board.readXilinx(0x20, in.data(), 3));
        QCOMPARE(std::vector<std::uint8_t>(in.begin(), in.begin() + 3),
                 std::vector<std::uint8_t>(out.begin(), out.begin() + 3));
        QVERIFY(board.writeCommand(out.data(), 5));
        QCOMPARE(chips.fpga.commandBytes, std::uint32_t(5));
        QVERIFY(std::equal(out.begin(), out.begin() + 5, chips.fpga.lastCommand));

        // I2C: the EEPROM addressed by hand (its write cycle is over by the
        // next request), and nobody at 0x23.
        const std::uint8_t write[] = {0x01, 0x00, 0xA5, 0x5A};
        QVERIFY(board.writeI2C(0x51, write, sizeof write));
        QCOMPARE(int(chips.eeprom.cells[0x100]), 0xA5);
        QVERIFY(board.writeI2C(0x51, write, 2));
        QVERIFY(board.readI2C(0x51, in.data(), 2));
        QCOMPARE(std::vector<std::uint8_t>(in.begin(), in.begin() + 2), bytes({0xA5, 0x5A}));
        QCOMPARE(message(board.readI2C(0x23, in.data(), 1)), QString("no device answered: I2C address 0x23"));

        // SPI flash: programmed across a page boundary; out of range; no flash.
        QVERIFY(board.writeSPI(0x1F0F0, out.data(), 40));
        QVERIFY(board.readSPI(0x1F0F0, in.data(), 40));
        QVERIFY(std::equal(in.begin(), in.begin() + 40, out.begin()));
        QCOMPARE(message(board.readSPI(0x1FFFF0, in.data(), 32)),
                 QString("address out of range: the SPI flash holds bytes 0x000000 to 0x1FFFFF, not 32 at 2097136"));
        chips.flash.absent = true;
        QCOMPARE(board.readSPI(0, in.data(), 1).code(), ErrorCode::NoAcknowledge);

        // Interrupt reports: the same layout as the simulated board's, with
        // no UART bytes waiting; the FPGA configured, the sensor's 25 degrees.
        std::uint8_t report[16] = {9, 8, 7, 6, 5, 4, 3, 2, 1};
        QVERIFY(board.writeInterrupt(report));
        QVERIFY(board.readInterrupt(report));
        QCOMPARE(std::vector<std::uint8_t>(report, report + 16),
                 bytes({0x01, 0x03, 0, 0, 25, 1, 1, 0, 9, 8, 7, 6, 5, 4, 3, 2}));
    }

    void block_data()
    {
        QTest::addColumn<FirmwareModel::Speed>("speed");
        QTest::addColumn<int>("packet");  // bulk wMaxPacketSize (USB 2.0, 5.8.3)
        QTest::newRow("high speed") << FirmwareModel::Speed::High << 512;
        QTest::newRow("full speed") << FirmwareModel::Speed::Full << 64;
    }
    // Block at either speed: the host reads whole packets of the size the
    // descriptor gives, and a write of at most 64 bytes, however it is cut
    // into packets, is what comes back.
    void block()
    {
        QFETCH(FirmwareModel::Speed, speed);
        QFETCH(int, packet);
        auto transport = std::make_shared<FirmwareTransport>(fwmodel::kGenericProfile, speed);
        Fx2Board board(transport);
        std::vector<std::uint8_t> out(1024), in(1024);
        for (std::size_t i = 0; i < out.size(); ++i)
            out[i] = std::uint8_t(i * 7 + 3);

        // One packet's worth comes back, then the pattern of the next packet
        // (at full speed it starts over: byte i of a packet is i).
        QVERIFY(board.writeBlock(out.data(), 64));
        QVERIFY(board.readBlock(in.data(), 100));
        QVERIFY(std::equal(in.begin(), in.begin() + 64, out.begin()));
        QCOMPARE(int(in[64]), 64 % packet);
        QCOMPARE(int(in[99]), 99 % packet);
        // Longer writes are dropped, their short last packet too.
        for (int length : {65, 530, 2 * packet}) {
            QVERIFY(board.writeBlock(out.data() + 100, std::size_t(length)));
            QVERIFY(board.readBlock(in.data(), 1));
            QCOMPARE(int(in[0]), 0);
        }
        // After a write of whole packets a short one is a write of its own.
        QVERIFY(board.writeBlock(out.data(), std::size_t(2 * packet)));
        QVERIFY(board.writeBlock(out.data() + 200, 10));
        QVERIFY(board.readBlock(in.data(), 10));
        QVERIFY(std::equal(in.begin(), in.begin() + 10, out.begin() + 200));
        std::vector<std::uint8_t> big(65536);
        QVERIFY(board.writeBlock(big.data(), big.size()));
        QVERIFY(board.readBlock(big.data(), big.size()));
        QCOMPARE(int(big[65535]), 65535 % packet % 256);
    }

    void i2cTransactions_data()
    {
        QTest::addColumn<QString>("call");
        QTest::addColumn<int>("bytesBeforeBusError");  // -1: no bus error
        QTest::addColumn<QString>("error");            // empty: the call succeeds
        QTest::addColumn<int>("starts");               // a random EEPROM read has a repeated START
        QTest::newRow("address probe") << "probe 0x48" << -1 << "" << 1;
        QTest::newRow("probe of nobody") << "probe 0x23" << -1 << "no device answered: I2C address 0x23" << 1;
        QTest::newRow("read failing half-way") << "read" << 3 << "timed out: I2C: the board was busy" << 1;
        QTest::newRow("EEPROM read failing") << "eeprom" << 5 << "timed out: EEPROM: the board was busy" << 2;
        QTest::newRow("EEPROM read failing at its end")
            << "eeprom" << 99 << "timed out: EEPROM: the board was busy" << 2;
        QTest::newRow("identity read failing")
            << "identity" << 10 << "timed out: identity writes: the board was busy" << 2;
        QTest::newRow("sensor read failing") << "report" << 1 << "" << 1;
    }
    // Every I2C transaction ends with one STOP, also an address probe
    // (wLength 0) and a read that fails half-way.
    void i2cTransactions()
    {
        QFETCH(QString, call);
        QFETCH(int, bytesBeforeBusError);
        QFETCH(QString, error);
        QFETCH(int, starts);
        auto transport = std::make_shared<FirmwareTransport>(fwmodel::kGenericProfile);
        Fx2Board board(transport);
        fwmodel::I2c& i2c = transport->board().i2c;
        i2c.starts = i2c.stops = 0;
        i2c.bytesBeforeBusError = bytesBeforeBusError;
        std::uint8_t data[100] = {};
        Status s = Status::ok();
        if (call == "probe 0x48")
            s = board.readI2C(0x48, nullptr, 0);  // a probe needs no buffer
        else if (call == "probe 0x23")
            s = board.readI2C(0x23, nullptr, 0);
        else if (call == "read")
            s = board.readI2C(0x51, data, 10);
        else if (call == "eeprom")
            s = board.readEeprom(0, data, 100);
        else if (call == "identity")
            s = board.writeClass(3);
        else
            s = board.readInterrupt(data);
        QCOMPARE(message(s), error);
        QCOMPARE(int(i2c.starts), starts);
        QCOMPARE(int(i2c.stops), 1);
        if (call == "report")
            QCOMPARE(int(data[4]), 0);  // no temperature without the sensor's reply
    }

    // The EEPROM requests, the identity kept in it, and refusals of bad arguments.
    void eepromAndIdentity()
    {
        auto transport = std::make_shared<FirmwareTransport>(fwmodel::kGenericProfile);
        fwmodel::Board& chips = transport->board();
        Fx2Board board(transport);
        QVERIFY(board.writeName("Bench 4"));
        QVERIFY(board.writeId(-77));
        QVERIFY(board.writeClass(9));
        QCOMPARE(board.identity().id, -77);
        QCOMPARE(QString::fromStdString(board.identity().name), QString("Bench 4"));
        QCOMPARE(board.identity().deviceClass, 9);
        QCOMPARE(std::vector<std::uint8_t>(chips.eeprom.cells + 0x3F00, chips.eeprom.cells + 0x3F0C),
                 bytes({'K', 'O', 'I', 'D', 1, 9, 0x00, 0x01, 0xB3, 0xFF, 0xFF, 0xFF}));

        const std::string image =
            QFile::encodeName(firmwarefiles::writeFile(
                                  m_files.filePath("e.hex"),
                                  firmwarefiles::intelHex({{0x0000, "\xC0\xB4\x04"}, {0x1030, QByteArray(90, 'q')}})))
                .toStdString();
        QVERIFY2(board.loadEepromImage(image), message(board.loadEepromImage(image)).toLatin1());
        QCOMPARE(std::vector<std::uint8_t>(chips.eeprom.cells + 0x1030, chips.eeprom.cells + 0x108A),
                 std::vector<std::uint8_t>(90, 'q'));
        QCOMPARE(int(chips.eeprom.cells[3]), 0xFF);

        chips.eeprom.absent = true;
        QCOMPARE(board.writeClass(1).code(), ErrorCode::NoAcknowledge);
        chips.eeprom.absent = false;
        chips.eeprom.cyclePolls = 60000;  // a write cycle that outlasts the firmware's polls
        QCOMPARE(board.writeClass(1).code(), ErrorCode::Timeout);

        // Raw requests the host library never sends: the board stalls and says why, once.
        std::uint8_t data[80] = {};
        const struct {
            std::uint8_t type, request;
            std::uint16_t value;
            std::size_t length;
            int code;
        } refused[] = {
            {kVendorIn, 0xBF, 0, 4, kErrUnknownRequest},
            {kVendorOut, kGetVersion, 0, 0, kErrUnknownRequest},
            {kVendorOut, kIdentity, 7, 1, kErrBadArgument},
            {kVendorOut, kIdentity, kFieldName, 32, kErrBadArgument},
            {kVendorOut, kEeprom, 0x3F30, 32, kErrBadArgument},  // crosses a page
            {kVendorIn, kEeprom, 0x3FF0, 32, kErrOutOfRange},
            {kVendorOut, kI2C, 0x80, 1, kErrBadArgument},
            {kVendorOut, kFpgaConfig, kConfigBegin, 4, kErrUnknownRequest},  // no FPGA on this profile
        };
        for (const auto& r : refused) {
            const Raw result = raw(*transport, r.type, r.request, r.value, data, r.length);
            QVERIFY(result.stalled);
            QCOMPARE(int(result.error[0]), r.code);
            QCOMPARE(int(result.error[1]), int(r.request));
        }
        const Raw again = raw(*transport, kVendorIn, kGetVersion, 0, data, 6);
        QVERIFY(!again.stalled);
        QCOMPARE(int(again.error[0]), 0);  // the error reply cleared it
    }

    void severalBoards_data()
    {
        QTest::addColumn<bool>("threads");
        QTest::newRow("taking turns on one thread") << false;
        QTest::newRow("each on a thread of its own") << true;
    }
    // Boards of three profiles on the core in one process: what each keeps
    // between requests (a looped-back write, the error kept for the error
    // request, the identity) is its own, whether their steps take turns or
    // run at once.
    void severalBoards()
    {
        QFETCH(bool, threads);
        const fwmodel::Profile* profiles[] = {&fwmodel::kFpgaProfile, &fwmodel::kGenericProfile,
                                              &fwmodel::kSimulatedProfile};
        std::vector<std::shared_ptr<FirmwareTransport>> transports;
        std::vector<std::unique_ptr<Fx2Board>> boards;
        for (const fwmodel::Profile* profile : profiles) {
            transports.push_back(std::make_shared<FirmwareTransport>(*profile));
            boards.push_back(std::make_unique<Fx2Board>(transports.back()));
        }
        // Each step on board `b` in round `n`; an empty answer is success.
        using Step = std::function<std::string(std::size_t b, int n)>;
        const Step steps[] = {
            [&](std::size_t b, int n) {
                const std::uint8_t mine[3] = {std::uint8_t(b), std::uint8_t(n), 0xA5};
                return boards[b]->writeBlock(mine, 3) ? "" : "Block write";
            },
            [&](std::size_t b, int) {
                // A request of no meaning (each board its own), stalled; its
                // error is kept for the error request, two steps on.
                std::uint8_t byte = 0;
                const TransferResult r =
                    transports[b]->control(kVendorIn, std::uint8_t(0xBD + b), 0, 0, &byte, 1, kControlTimeout);
                return r.error == TransferError::Stall ? "" : "unknown request";
            },
            [&](std::size_t b, int n) {
                const std::uint8_t mine[3] = {std::uint8_t(b), std::uint8_t(n), 0xA5};
                std::uint8_t back[3] = {};
                return boards[b]->readBlock(back, 3) && std::memcmp(back, mine, 3) == 0 ? "" : "Block read";
            },
            [&](std::size_t b, int) {
                std::uint8_t error[4] = {};
                transports[b]->control(kVendorIn, kGetError, 0, 0, error, sizeof error, kControlTimeout);
                return error[0] == kErrUnknownRequest && error[1] == 0xBD + b ? "" : "error reply";
            },
            [&](std::size_t b, int n) {
                const std::int32_t id = std::int32_t(b) * 1000 + n;
                return boards[b]->writeId(id) && boards[b]->reloadIdentity() && boards[b]->identity().id == id
                           ? ""
                           : "identity";
            },
        };
        constexpr int kRounds = 40;
        std::vector<std::string> failures(boards.size());
        auto run = [&](std::size_t b, int n, const Step& step) {
            const std::string failed = step(b, n);
            if (!failed.empty() && failures[b].empty())
                failures[b] = "board " + std::to_string(b) + ", round " + std::to_string(n) + ": " + failed;
        };
        if (threads) {
            std::vector<std::thread> workers;
            for (std::size_t b = 0; b < boards.size(); ++b)
                workers.emplace_back([&, b] {
                    for (int n = 0; n < kRounds; ++n)
                        for (const Step& step : steps)
                            run(b, n, step);
                });
            for (std::thread& w : workers)
                w.join();
        } else {
            for (int n = 0; n < kRounds; ++n)
                for (const Step& step : steps)
                    for (std::size_t b = 0; b < boards.size(); ++b)
                        run(b, n, step);
        }
        for (const std::string& failure : failures)
            QVERIFY2(failure.empty(), failure.c_str());
    }

    // FPGA configuration: the length announced must arrive, and DONE must rise.
    void fpgaConfiguration()
    {
        auto transport = std::make_shared<FirmwareTransport>(fwmodel::kFpgaProfile);
        Fx2Board board(transport);
        std::uint8_t length[4] = {100, 0, 0, 0}, data[64] = {};
        QVERIFY(!raw(*transport, kVendorOut, kFpgaConfig, kConfigEnd, nullptr, 0).moved);
        QVERIFY(transport->control(kVendorOut, kFpgaConfig, kConfigBegin, 0, length, 4, kControlTimeout).ok());
        QVERIFY(transport->control(kVendorOut, kFpgaConfig, kConfigData, 0, data, 64, kControlTimeout).ok());
        const Raw shortStream = raw(*transport, kVendorOut, kFpgaConfig, kConfigEnd, nullptr, 0);
        QVERIFY(shortStream.stalled);
        QCOMPARE(int(shortStream.error[0]), int(kErrBadArgument));

        QByteArray junk = firmwarefiles::bitFile("3s500efg320", 200);
        junk.replace(QByteArray("\xAA\x99\x55\x66", 4), QByteArray(4, '\0'));  // no sync word: the FPGA never finishes
        const std::string path =
            QFile::encodeName(firmwarefiles::writeFile(m_files.filePath("junk.bit"), junk)).toStdString();
        QCOMPARE(board.downloadXilinx(path).code(), ErrorCode::Io);
        QVERIFY(!transport->board().fpga.configured);
    }
};

QTEST_GUILESS_MAIN(TestFirmwareBoard)
#include "tst_firmwareboard.moc"
