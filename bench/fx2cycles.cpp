// SPDX-License-Identifier: MIT
// udm-fx2cycles: the firmware image's own machine cycles per vendor request
// group and per Block packet, at high and at full speed, as the emulated
// controller counts them (tests/fx2emu). The CPU is s51's classic 8051, which
// needs 12 clocks a machine cycle; the FX2's core needs at most as many of its
// 4-clock cycles, so at 48 MHz a cycle takes at most 83 ns and the times
// printed are upper estimates of the firmware's own time (the I2C bus, an
// EEPROM's write cycle and the USB link come on top). A program to run by
// hand: it prints a table and asserts nothing.
//
//   udm-fx2cycles [IMAGE.ihx]     (default: the build's kousb-fx2.ihx)
#include "buildpaths.h"
#include "formats/intelhex.h"

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

using Speed = Fx2Emulator::Speed;

struct Row {
    const char* name;
    std::function<ModelReply(Fx2Emulator&)> run;
    int packets = 1;  // > 1: a Block transfer of this many 512-byte packets, counted per packet
};

ModelReply request(Fx2Emulator& chip, std::uint8_t type, std::uint8_t code, std::uint16_t value, std::uint16_t index,
                   std::vector<std::uint8_t> data)
{
    const std::uint8_t setup[8] = {type,
                                   code,
                                   std::uint8_t(value),
                                   std::uint8_t(value >> 8),
                                   std::uint8_t(index),
                                   std::uint8_t(index >> 8),
                                   std::uint8_t(data.size()),
                                   std::uint8_t(data.size() >> 8)};
    return chip.control(setup, data.data());
}
std::function<ModelReply(Fx2Emulator&)> in(std::uint8_t code, std::uint16_t value, std::uint16_t index, std::size_t n)
{
    return [=](Fx2Emulator& c) { return request(c, 0xC0, code, value, index, std::vector<std::uint8_t>(n)); };
}
std::function<ModelReply(Fx2Emulator&)> out(std::uint8_t code, std::uint16_t value, std::uint16_t index,
                                            std::vector<std::uint8_t> data)
{
    return [=](Fx2Emulator& c) { return request(c, 0x40, code, value, index, data); };
}
std::function<ModelReply(Fx2Emulator&)> endpoint(std::uint8_t address, bool interrupt, std::size_t n)
{
    return [=](Fx2Emulator& c) {
        std::vector<std::uint8_t> data(n, 0x5A);
        return c.transfer(address, interrupt, data.data(), n);
    };
}

// The board in its boot state takes the image through 0xA0, runs it and
// comes back renumerated.
bool load(Fx2Emulator& chip, const std::string& path)
{
    kousb::formats::HexImage hex;
    if (!kousb::formats::readIntelHexFile(path, 0xE200, hex)) {
        std::fprintf(stderr, "udm-fx2cycles: cannot read %s\n", path.c_str());
        return false;
    }
    chip.attach();
    if (request(chip, 0x40, 0xA0, 0xE600, 0, {1}).outcome != ModelReply::Done)
        return false;
    for (std::size_t a = 0; a < hex.present.size(); a += 64) {
        bool any = false;
        for (std::size_t i = a; i < a + 64 && i < hex.present.size(); ++i)
            any = any || hex.present[i];
        if (any
            && request(chip, 0x40, 0xA0, std::uint16_t(a), 0,
                       {hex.bytes.begin() + long(a), hex.bytes.begin() + long(a + 64)})
                       .outcome
                   != ModelReply::Done)
            return false;
    }
    request(chip, 0x40, 0xA0, 0xE600, 0, {0});
    if (!chip.takeRelease())
        return false;
    chip.attach();  // back on the bus: a bus reset
    return request(chip, 0x00, 9, 1, 0, {}).outcome == ModelReply::Done;
}

// Prints the table for `image`; 1 when the image does not start.
int run(const std::string& image)
{
    std::vector<std::uint8_t> bitstream = {0xFF, 0xFF, 0xFF, 0xFF, 0xAA, 0x99, 0x55, 0x66};
    bitstream.resize(64, 0x20);
    const std::vector<std::uint8_t> sixteen(16, 0x3C), page(64, 0xA5);
    const std::vector<Row> rows = {
        {"version (0xB0)", in(0xB0, 0, 0, 6)},
        {"unknown request, stalled", in(0xBF, 0, 0, 4)},
        {"last error (0xB1)", in(0xB1, 0, 0, 4)},
        {"identity read (0xB2)", in(0xB2, 0, 0, 40)},
        {"identity write, name (0xB2)", out(0xB2, 1, 0, {'B', 'e', 'n', 'c', 'h'})},
        {"FPGA part (0xB3)", in(0xB3, 0, 0, 32)},
        {"FPGA configuration, begin (0xBA)", out(0xBA, 0, 0, {64, 0, 0, 0})},
        {"FPGA configuration, 64 bytes (0xBA)", out(0xBA, 1, 0, bitstream)},
        {"FPGA configuration, end (0xBA)", out(0xBA, 2, 0, {})},
        {"FPGA register write, 16 bytes (0xB5)", out(0xB5, 0x10, 0, sixteen)},
        {"FPGA register read, 16 bytes (0xB5)", in(0xB5, 0x10, 0, 16)},
        {"external bus write, 16 bytes (0xB4)", out(0xB4, 0x1000, 0, sixteen)},
        {"external bus read, 16 bytes (0xB4)", in(0xB4, 0x1000, 0, 16)},
        {"command, 16 bytes (0xB9)", out(0xB9, 0, 0, sixteen)},
        {"I2C read, sensor, 2 bytes (0xB6)", in(0xB6, 0x48, 0, 2)},
        {"SPI write, 16 bytes (0xB7)", out(0xB7, 0x100, 0, sixteen)},
        {"SPI read, 16 bytes (0xB7)", in(0xB7, 0x100, 0, 16)},
        {"EEPROM page write, 64 bytes (0xBB)", out(0xBB, 0x0400, 0, page)},
        {"EEPROM read, 64 bytes (0xBB)", in(0xBB, 0x0400, 0, 64)},
        {"interrupt report, read (EP1 IN)", endpoint(0x81, true, 64)},
        {"interrupt report, write (EP1 OUT)", endpoint(0x01, true, 16)},
        {"Block OUT, per packet (EP2)", endpoint(0x02, false, 64 * 512), 64},
        {"Block IN, per packet (EP6)", endpoint(0x86, false, 64 * 512), 64},
        // Last: the EEPROM then takes 5 ms to write, and acknowledges nothing meanwhile.
        {"I2C write, EEPROM, 2 + 14 bytes (0xB6)", out(0xB6, 0x51, 0, sixteen)},
    };
    std::vector<std::vector<std::string>> cells(rows.size());
    for (Speed speed : {Speed::High, Speed::Full}) {
        Fx2Emulator chip(fx2emubuild::tools(), EmulatedBoard::Kind::Fpga, speed);
        if (!load(chip, image)) {
            std::fprintf(stderr, "udm-fx2cycles: the image %s did not start\n", image.c_str());
            return 1;
        }
        const int packets = speed == Speed::High ? 1 : 8;  // a Block transfer's 512-byte packets are 8 at full speed
        for (std::size_t i = 0; i < rows.size(); ++i) {
            // A Block row runs twice and counts the second time: the steady
            // state, once the endpoint's buffers hold the byte counter.
            if (rows[i].packets > 1)
                rows[i].run(chip);
            const ModelReply r = rows[i].run(chip);
            char cell[64];
            const double cycles =
                double(chip.lastTransferCycles()) / (rows[i].packets * (rows[i].packets > 1 ? packets : 1));
            if (r.outcome == ModelReply::Nak)
                std::snprintf(cell, sizeof cell, "no answer");
            else
                std::snprintf(cell, sizeof cell, "%9.0f %8.1f%s", cycles, cycles / 12.0,
                              r.outcome == ModelReply::Stall ? " (stall)" : "");
            cells[i].push_back(cell);
        }
        for (const std::string& f : chip.takeFaults())
            std::fprintf(stderr, "udm-fx2cycles: %s speed: the controller saw: %s\n",
                         speed == Speed::High ? "high" : "full", f.c_str());
    }
    std::printf("%-42s %-28s %s\n%-42s %-28s %s\n", "request", "high speed", "full speed", "", "   cycles      us",
                "   cycles      us");
    for (std::size_t i = 0; i < rows.size(); ++i)
        std::printf("%-42s %-28s %s\n", rows[i].name, cells[i][0].c_str(), cells[i][1].c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    try {
        return run(argc > 1 ? argv[1] : fx2emubuild::image("kousb-fx2.ihx"));
    } catch (const std::exception& e) {  // no s51, no shim, no register table
        std::fprintf(stderr, "udm-fx2cycles: %s\n", e.what());
        return 1;
    }
}
