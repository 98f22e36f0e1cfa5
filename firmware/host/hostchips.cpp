// SPDX-License-Identifier: MIT
// The hardware layer of the firmware on models of the board's chips.
#include "hostchips.h"

extern "C" {
#include "fw_core.h"
#include "fw_hw.h"
}

#include <algorithm>

namespace fwhost {

namespace {

fw_state g_core;
Chips g_chips;

// I2C: who is addressed, in which direction, and the EEPROM's own pointer.
struct I2cState {
    bool open = false;
    std::uint8_t address = 0;  // 7-bit
    bool read = false;
    int addressBytes = 0;  // EEPROM address bytes taken in this write
    std::uint16_t pointer = 0;
    std::vector<std::uint8_t> page;  // bytes of a page write, written at STOP
    std::uint16_t pageStart = 0;
    int busyPolls = 0;
    int sensorByte = 0;
} g_i2c;

// SPI flash: the command being clocked in.
struct SpiState {
    bool selected = false;
    std::vector<std::uint8_t> command;
    bool writeEnabled = false;
    int busyPolls = 0;
    std::uint32_t readPointer = 0;
} g_spi;

std::vector<std::uint8_t> g_shifted;
std::uint16_t g_busAddress[3];

bool acknowledges(std::uint8_t address)
{
    if (address == 0x51)
        return g_chips.eepromFitted && g_i2c.busyPolls == 0;
    return address == 0x48;
}

void finishEepromWrite()
{
    if (g_i2c.address == 0x51 && !g_i2c.read && !g_i2c.page.empty()) {
        // Within one page the address wraps, as on the part.
        for (std::size_t i = 0; i < g_i2c.page.size(); ++i) {
            const std::size_t at = (g_i2c.pageStart & ~0x3Fu) | ((g_i2c.pageStart + i) & 0x3Fu);
            const std::size_t cell = at % g_chips.eeprom.size();
            g_chips.eeprom[cell] = g_i2c.page[i] ^ (long(cell) == g_chips.failingCell ? 0x01 : 0x00);
        }
        g_i2c.busyPolls = g_chips.writeCyclePolls;
    }
    g_i2c.page.clear();
}

std::uint32_t flashAddress(const std::vector<std::uint8_t>& c)
{
    return (std::uint32_t(c[1]) << 16 | std::uint32_t(c[2]) << 8 | c[3]) % g_chips.flash.size();
}

}  // namespace

Chips& chips() { return g_chips; }

void bindCore() { fw_current = &g_core; }

void resetBoard(std::uint16_t capabilities, const char* fpgaPart)
{
    // The memories are refilled where they are, not made anew: the fuzzer
    // resets the board for every input.
    Chips fresh;
    fresh.eeprom.swap(g_chips.eeprom);
    fresh.flash.swap(g_chips.flash);
    fresh.fpgaRegisters.swap(g_chips.fpgaRegisters);
    fresh.external.swap(g_chips.external);
    fresh.eeprom.assign(16 * 1024, 0xFF);
    fresh.flash.assign(2 * 1024 * 1024, 0xFF);
    fresh.fpgaRegisters.assign(64 * 1024, 0);
    fresh.external.assign(64 * 1024, 0);
    g_chips = std::move(fresh);
    g_i2c = I2cState{};
    g_spi = SpiState{};
    g_shifted.clear();
    bindCore();
    fw_init(capabilities, fpgaPart);
}

}  // namespace fwhost

using namespace fwhost;

extern "C" {

uint8_t hw_i2c_start(uint8_t address_rw)
{
    ++g_chips.i2cStarts;
    if (g_i2c.open)
        finishEepromWrite();  // a repeated START ends a write phase without writing
    g_i2c.page.clear();
    g_i2c.open = true;
    g_i2c.address = address_rw >> 1;
    g_i2c.read = address_rw & 1;
    g_i2c.addressBytes = 0;
    g_i2c.sensorByte = 0;
    if (!acknowledges(g_i2c.address)) {
        if (g_i2c.address == 0x51 && g_i2c.busyPolls > 0)
            --g_i2c.busyPolls;
        return KOUSB_ERR_NO_ACKNOWLEDGE;
    }
    return 0;
}

uint8_t hw_i2c_write(const uint8_t* data, uint8_t n)
{
    if (!g_i2c.open || g_i2c.read || !acknowledges(g_i2c.address))
        return KOUSB_ERR_NO_ACKNOWLEDGE;
    for (uint8_t i = 0; i < n; ++i) {
        if (g_i2c.address != 0x51)
            continue;  // the sensor takes its pointer byte and ignores it
        if (g_i2c.addressBytes < 2) {
            g_i2c.pointer = std::uint16_t((g_i2c.pointer << 8 | data[i]) & 0x3FFF);
            if (++g_i2c.addressBytes == 2)
                g_i2c.pageStart = g_i2c.pointer;
        } else {
            g_i2c.page.push_back(data[i]);
        }
    }
    return 0;
}

uint8_t hw_i2c_read(uint8_t* data, uint8_t n, uint16_t left)
{
    if (!g_i2c.open || !g_i2c.read)
        return KOUSB_ERR_NO_ACKNOWLEDGE;
    for (uint8_t i = 0; i < n; ++i) {
        if (g_chips.i2cBytesBeforeBusError >= 0 && g_chips.i2cBytesBeforeBusError-- == 0)
            return KOUSB_ERR_BUSY;  // the transaction stays open until the firmware stops it
        if (g_i2c.address == 0x51) {
            data[i] = g_chips.eeprom[g_i2c.pointer];
            g_i2c.pointer = (g_i2c.pointer + 1) & 0x3FFF;
        } else {
            data[i] = g_i2c.sensorByte++ == 0 ? std::uint8_t(g_chips.temperature) : 0x00;
        }
    }
    if (left == 0)
        hw_i2c_stop();
    return 0;
}

void hw_i2c_stop(void)
{
    ++g_chips.i2cStops;
    finishEepromWrite();
    g_i2c.open = false;
}

void hw_spi_select(uint8_t on)
{
    if (g_spi.selected && !on && !g_spi.command.empty()) {
        const std::uint8_t op = g_spi.command[0];
        if (op == 0x06)
            g_spi.writeEnabled = true;
        else if (op == 0x02 && g_spi.writeEnabled && g_spi.command.size() > 4) {
            // Page program: only 1 -> 0, wrapping within the 256-byte page.
            const std::uint32_t start = flashAddress(g_spi.command);
            for (std::size_t i = 4; i < g_spi.command.size(); ++i) {
                const std::uint32_t at = (start & ~0xFFu) | ((start + std::uint32_t(i - 4)) & 0xFFu);
                g_chips.flash[at] &= g_spi.command[i];
            }
            g_spi.writeEnabled = false;
            g_spi.busyPolls = 2;
        }
    }
    g_spi.selected = on;
    g_spi.command.clear();
}

void hw_spi_write(const uint8_t* data, uint8_t n)
{
    if (g_spi.selected && g_chips.flashFitted)
        g_spi.command.insert(g_spi.command.end(), data, data + n);
    if (g_spi.command.size() >= 4 && g_spi.command[0] == 0x03)
        g_spi.readPointer = flashAddress(g_spi.command);
}

void hw_spi_read(uint8_t* data, uint8_t n)
{
    for (uint8_t i = 0; i < n; ++i) {
        std::uint8_t byte = 0xFF;  // nothing drives MISO: it floats high
        if (g_spi.selected && g_chips.flashFitted && !g_spi.command.empty()) {
            switch (g_spi.command[0]) {
            case 0x9F: {
                static const std::uint8_t id[3] = {0x20, 0x20, 0x15};
                const std::size_t k = g_spi.command.size() - 1;
                byte = k < 3 ? id[k] : 0x00;
                g_spi.command.push_back(0);
                break;
            }
            case 0x05:
                byte = g_spi.busyPolls > 0 ? 0x03 : (g_spi.writeEnabled ? 0x02 : 0x00);
                if (g_spi.busyPolls > 0)
                    --g_spi.busyPolls;
                break;
            case 0x03:
                byte = g_chips.flash[g_spi.readPointer];
                g_spi.readPointer = (g_spi.readPointer + 1) % g_chips.flash.size();
                break;
            default: break;
            }
        }
        data[i] = byte;
    }
}

void hw_uart_send(const uint8_t* data, uint8_t n)
{
    for (uint8_t i = 0; i < n; ++i)
        fw_uart_received(data[i]);  // TX wired to RX
}

uint8_t hw_fpga_begin(void)
{
    if (!g_chips.fpgaFitted)
        return KOUSB_ERR_DEVICE;  // INIT_B never rises
    g_chips.fpgaConfigured = false;
    g_shifted.clear();
    return 0;
}

void hw_fpga_shift(const uint8_t* data, uint8_t n) { g_shifted.insert(g_shifted.end(), data, data + n); }

uint8_t hw_fpga_finish(void)
{
    static const std::uint8_t sync[4] = {0xAA, 0x99, 0x55, 0x66};
    g_chips.fpgaConfigured = std::search(g_shifted.begin(), g_shifted.end(), sync, sync + 4) != g_shifted.end();
    if (g_chips.fpgaConfigured)
        g_chips.bitstream = g_shifted;
    return g_chips.fpgaConfigured;
}

uint8_t hw_fpga_done(void) { return g_chips.fpgaConfigured; }

void hw_bus_address(uint8_t bus, uint16_t address) { g_busAddress[bus] = address; }

void hw_bus_read(uint8_t bus, uint8_t* data, uint8_t n)
{
    std::vector<std::uint8_t>& space = bus == FW_BUS_EXTERNAL ? g_chips.external : g_chips.fpgaRegisters;
    for (uint8_t i = 0; i < n; ++i)
        data[i] = space[g_busAddress[bus]++];
}

void hw_bus_write(uint8_t bus, const uint8_t* data, uint8_t n)
{
    if (bus == FW_BUS_COMMAND) {
        g_chips.commands.insert(g_chips.commands.end(), data, data + n);
        return;
    }
    std::vector<std::uint8_t>& space = bus == FW_BUS_EXTERNAL ? g_chips.external : g_chips.fpgaRegisters;
    for (uint8_t i = 0; i < n; ++i)
        space[g_busAddress[bus]++] = data[i];
}

}  // extern "C"
