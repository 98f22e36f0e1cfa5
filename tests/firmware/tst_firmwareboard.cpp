// The real-board logic (Fx2Board) against our board firmware's core,
// compiled for the host and running on models of the board's chips: every
// request of the board protocol, its errors, and what the host makes of them.
#include "firmwarefiles.h"
#include "firmwaretransport.h"
#include "hostchips.h"
#include "libusb/fx2board.h"
#include "libusb/protocol.h"
#include "profilecaps.h"

#include <QTemporaryDir>
#include <QtTest>

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

} // namespace

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
                                   << "external bus, FPGA registers, I2C, SPI, UART, command, FPGA configuration, "
                                      "EEPROM, identity"
                                   << "3s500e";
        QTest::newRow("generic") << false << "I2C, SPI, UART, EEPROM, identity" << "";
    }
    // What the board says it has, and what the host then refuses without asking.
    void profiles()
    {
        QFETCH(bool, fpga);
        const ProfileCaps& profile = fpga ? kFpgaProfile : kGenericProfile;
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
        const Status external = board.writeExternal(0x10, b, 4);
        const Status command = board.writeCommand(b, 4);
        QCOMPARE(bool(external), fpga);
        if (!fpga) {
            QCOMPARE(message(external), QString("not supported by this board: this board's firmware does not support external bus access"));
            QVERIFY(message(command).endsWith("does not support the command pipe"));
            QVERIFY(message(board.readXilinx(0, b, 1)).endsWith("does not support FPGA register access"));
            QCOMPARE(transport->stalls(), 0);
        }
    }

    // Every bus round-trips through the firmware to the chip models, and each
    // refusal reaches the caller as the board's reason.
    void requests()
    {
        auto transport = std::make_shared<FirmwareTransport>(kFpgaProfile);
        fwhost::Chips& chips = fwhost::chips();
        Fx2Board board(transport);
        std::vector<std::uint8_t> out(300), in(300);
        for (std::size_t i = 0; i < out.size(); ++i)
            out[i] = std::uint8_t(i * 7 + 3);

        // External bus: split at nothing below 4096, the top of the space refused by the board.
        QVERIFY(board.writeExternal(0xFF00, out.data(), 256));
        QVERIFY(board.readExternal(0xFF00, in.data(), 256));
        QVERIFY(std::equal(in.begin(), in.begin() + 256, out.begin()));
        QVERIFY(std::equal(out.begin(), out.begin() + 256, chips.external.begin() + 0xFF00));

        // FPGA registers need a configured FPGA.
        QCOMPARE(message(board.readXilinx(0x20, in.data(), 1)),
                 QString("not ready: FPGA register access: the FPGA is not configured"));
        const std::string bit = QFile::encodeName(firmwarefiles::writeFile(
            m_files.filePath("ok.bit"), firmwarefiles::bitFile("3s500efg320", 9000))).toStdString();
        QVERIFY2(board.downloadXilinx(bit), message(board.downloadXilinx(bit)).toLatin1());
        QCOMPARE(chips.bitstream.size(), std::size_t(9000));
        QVERIFY(board.writeXilinx(0x20, out.data(), 3));
        QVERIFY(board.readXilinx(0x20, in.data(), 3));
        QCOMPARE(std::vector<std::uint8_t>(in.begin(), in.begin() + 3), std::vector<std::uint8_t>(out.begin(), out.begin() + 3));
        QVERIFY(board.writeCommand(out.data(), 5));
        QCOMPARE(chips.commands, std::vector<std::uint8_t>(out.begin(), out.begin() + 5));

        // I2C: the EEPROM addressed by hand (a raw write does not wait for
        // its write cycle, during which the EEPROM does not answer), and nobody at 0x23.
        const std::uint8_t write[] = {0x01, 0x00, 0xA5, 0x5A};
        QVERIFY(board.writeI2C(0x51, write, sizeof write));
        QCOMPARE(int(chips.eeprom[0x100]), 0xA5);
        QCOMPARE(message(board.writeI2C(0x51, write, 2)), QString("no device answered: I2C"));
        for (int poll = 1; poll < chips.writeCyclePolls && !board.writeI2C(0x51, write, 2); ++poll) {
        }
        QVERIFY(board.readI2C(0x51, in.data(), 2));
        QCOMPARE(std::vector<std::uint8_t>(in.begin(), in.begin() + 2), bytes({0xA5, 0x5A}));
        QCOMPARE(message(board.readI2C(0x23, in.data(), 1)), QString("no device answered: I2C"));

        // SPI flash: programmed across a page boundary; out of range; no flash.
        QVERIFY(board.writeSPI(0x1F0F0, out.data(), 40));
        QVERIFY(board.readSPI(0x1F0F0, in.data(), 40));
        QVERIFY(std::equal(in.begin(), in.begin() + 40, out.begin()));
        QCOMPARE(message(board.readSPI(0x1FFFF0, in.data(), 32)), QString("address out of range: SPI"));
        chips.flashFitted = false;
        QCOMPARE(message(board.readSPI(0, in.data(), 1)), QString("no device answered: SPI"));

        // UART: looped back; a read answers with what is waiting.
        QVERIFY(board.writeSerial(out.data(), 5));
        std::size_t got = 0;
        QVERIFY(board.readSerial(in.data(), 16, got));
        QCOMPARE(got, std::size_t(5));
        QVERIFY(std::equal(in.begin(), in.begin() + 5, out.begin()));

        // Interrupt reports: the same layout as the simulated board's.
        std::uint8_t report[16] = {9, 8, 7, 6, 5, 4, 3, 2, 1};
        QVERIFY(board.writeSerial(out.data(), 3));
        QVERIFY(board.writeInterrupt(report));
        QVERIFY(board.readInterrupt(report));
        QCOMPARE(std::vector<std::uint8_t>(report, report + 16),
                 bytes({0x01, 0x03, 3, 0, 25, 1, 1, 0, 9, 8, 7, 6, 5, 4, 3, 2}));

        // Block: a small write comes back; reads of any size get the pattern after it.
        QVERIFY(board.writeBlock(out.data(), 16));
        QVERIFY(board.readBlock(in.data(), 100));
        QVERIFY(std::equal(in.begin(), in.begin() + 16, out.begin()));
        QCOMPARE(int(in[16]), 16);
        std::vector<std::uint8_t> big(65536);
        QVERIFY(board.writeBlock(big.data(), big.size()));
        QVERIFY(board.readBlock(big.data(), big.size()));
        QCOMPARE(int(big[0]), 0);
        QCOMPARE(int(big[65535]), 255);
    }

    // The EEPROM requests, the identity kept in it, and refusals of bad arguments.
    void eepromAndIdentity()
    {
        auto transport = std::make_shared<FirmwareTransport>(kGenericProfile);
        fwhost::Chips& chips = fwhost::chips();
        Fx2Board board(transport);
        QVERIFY(board.writeName("Bench 4"));
        QVERIFY(board.writeId(-77));
        QVERIFY(board.writeClass(9));
        QCOMPARE(board.identity().id, -77);
        QCOMPARE(QString::fromStdString(board.identity().name), QString("Bench 4"));
        QCOMPARE(board.identity().deviceClass, 9);
        QCOMPARE(std::vector<std::uint8_t>(chips.eeprom.begin() + 0x3F00, chips.eeprom.begin() + 0x3F0C),
                 bytes({'K', 'O', 'I', 'D', 1, 9, 0x00, 0x01, 0xB3, 0xFF, 0xFF, 0xFF}));

        const std::string image = QFile::encodeName(firmwarefiles::writeFile(
            m_files.filePath("e.hex"), firmwarefiles::intelHex({{0x0000, "\xC2\xB4\x04"}, {0x1030, QByteArray(90, 'q')}}))).toStdString();
        QVERIFY2(board.loadEepromImage(image), message(board.loadEepromImage(image)).toLatin1());
        QCOMPARE(std::vector<std::uint8_t>(chips.eeprom.begin() + 0x1030, chips.eeprom.begin() + 0x108A),
                 std::vector<std::uint8_t>(90, 'q'));
        QCOMPARE(int(chips.eeprom[3]), 0xFF);

        chips.eepromFitted = false;
        QCOMPARE(message(board.writeClass(1)), QString("no device answered: identity writes"));
        chips.eepromFitted = true;
        chips.writeCyclePolls = 100000;  // a write cycle that never ends
        QCOMPARE(message(board.writeClass(1)), QString("timed out: identity writes: the board was busy"));

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
            {kVendorOut, kEeprom, 0x3F30, 32, kErrBadArgument},   // crosses a page
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

    // FPGA configuration: the length announced must arrive, and DONE must rise.
    void fpgaConfiguration()
    {
        auto transport = std::make_shared<FirmwareTransport>(kFpgaProfile);
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
        const std::string path = QFile::encodeName(firmwarefiles::writeFile(m_files.filePath("junk.bit"), junk)).toStdString();
        QCOMPARE(message(board.downloadXilinx(path)),
                 QString("transfer failed: FPGA configuration: the board reported a device fault"));
        QVERIFY(!fwhost::chips().fpgaConfigured);
    }
};

QTEST_GUILESS_MAIN(TestFirmwareBoard)
#include "tst_firmwareboard.moc"
