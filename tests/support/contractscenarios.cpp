// SPDX-License-Identifier: MIT
#include "contractscenarios.h"

#include "firmwarefiles.h"

#include <QtTest>

#include <algorithm>
#include <vector>

namespace contract {

void everyIoMode(KoUSBDevice& d, const QString& bitFile, bool scratchBoard, bool uart)
{
    std::vector<unsigned char> out(65536), in(65536);
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<unsigned char>(i * 37 + i / 199);
    auto roundTrip = [&](const char* mode, auto write, auto read, int n) {
        std::fill(in.begin(), in.begin() + n, 0);
        QVERIFY2(write() && read(), qPrintable(QString(mode) + ": " + d.GetLastError()));
        QVERIFY2(std::equal(out.begin(), out.begin() + n, in.begin()), mode);
    };
    roundTrip(
        "external", [&] { return d.WriteExternal(0x2000, out.data(), 300); },
        [&] { return d.ReadExternal(0x2000, in.data(), 300); }, 300);
    if (!bitFile.isEmpty()) {
        QVERIFY2(d.DownloadXilinx(QFile::encodeName(bitFile).constData()), d.GetLastError());
        roundTrip(
            "FPGA", [&] { return d.WriteXilinx(0x40, out.data(), 12); },
            [&] { return d.ReadXilinx(0x40, in.data(), 12); }, 12);
    }
    if (scratchBoard) {
        roundTrip(
            "controller", [&] { return d.Write8051(0x1010, out.data(), 100); },
            [&] { return d.Read8051(0x1010, in.data(), 100); }, 100);
        roundTrip(
            "SPI", [&] { return d.WriteSPI(0x1000, out.data(), 32); }, [&] { return d.ReadSPI(0x1000, in.data(), 32); },
            32);
    }
    if (uart) {
        roundTrip(
            "UART", [&] { return d.WriteSerial(out.data(), 9); }, [&] { return d.ReadSerial(in.data(), 9); }, 9);
    } else {
        QVERIFY(!d.WriteSerial(out.data(), 9));
        QCOMPARE(d.GetLastErrorCode(), int(KOUSB_ERROR_NOT_SUPPORTED));
    }
    // Blocks of 64 KiB move both ways; what loops back is one packet's worth
    // (a board with our firmware drops full packets, see docs/firmware.md).
    QVERIFY2(d.WriteBlock(out.data(), 65536) && d.ReadBlock(in.data(), 65536), d.GetLastError());
    roundTrip(
        "block", [&] { return d.WriteBlock(out.data(), 64); }, [&] { return d.ReadBlock(in.data(), 64); }, 64);
    QVERIFY2(d.WriteCommand(out.data(), 4), d.GetLastError());
    QVERIFY2(d.WriteInterrupt(out.data()) && d.ReadInterrupt(in.data()), d.GetLastError());
    QVERIFY(!d.ReadI2C(0x23, in.data(), 2));
    QCOMPARE(d.GetLastErrorCode(), int(KOUSB_ERROR_NO_ACKNOWLEDGE));
}

void firmwareRefused(KoUSBDevice& d, const QString& folder)
{
    using firmwarefiles::intelHex;
    unsigned char before[64] = {}, after[64] = {};
    QVERIFY2(d.Read8051(0, before, 64), d.GetLastError());
    const QByteArray far = intelHex({{0x0000, "\x01"}, {0x5000, "\x02"}});
    const QByteArray big(0x4001, '\0');
    for (const auto& [name, content] : {std::pair<QString, QByteArray>{"far.hex", far}, {"big.bix", big}}) {
        const QString path = firmwarefiles::writeFile(folder + "/" + name, content);
        QVERIFY(!d.LoadFirmwareFromFile(QFile::encodeName(path).constData()));
        QCOMPARE(d.GetLastErrorCode(), int(KOUSB_ERROR_BAD_FILE));
    }
    QVERIFY2(d.Read8051(0, after, 64), d.GetLastError());
    QCOMPARE(QByteArray(reinterpret_cast<char*>(after), 64), QByteArray(reinterpret_cast<char*>(before), 64));
}

namespace {
void recordProgress(void* context, long long done, long long total)
{
    static_cast<std::vector<std::pair<long long, long long>>*>(context)->emplace_back(done, total);
}
}  // namespace

void eepromReflash(KoUSBDevice& d, const QString& folder, int offset, int length)
{
    QCOMPARE(d.GetEEPROMSize(), 16384);
    QByteArray held(length, '\0');
    QVERIFY2(d.ReadEEPROM(offset, reinterpret_cast<unsigned char*>(held.data()), length), d.GetLastError());
    const QString path =
        firmwarefiles::writeFile(folder + "/held.hex", firmwarefiles::intelHex({{unsigned(offset), held}}));
    std::vector<std::pair<long long, long long>> calls;
    QVERIFY2(d.LoadHexFileToEepromWithProgress(QFile::encodeName(path).constData(), &recordProgress, &calls),
             d.GetLastError());
    QVERIFY(calls.size() >= 2);
    QCOMPARE(calls.front().first, 0LL);
    QCOMPARE(calls.back().first, calls.back().second);
    QByteArray back(length, '\0');
    QVERIFY2(d.ReadEEPROM(offset, reinterpret_cast<unsigned char*>(back.data()), length), d.GetLastError());
    QCOMPARE(back, held);
    QVERIFY(!d.ReadEEPROM(16384 - 15, reinterpret_cast<unsigned char*>(back.data()), 16));
    QCOMPARE(d.GetLastErrorCode(), int(KOUSB_ERROR_OUT_OF_RANGE));
}

}  // namespace contract
