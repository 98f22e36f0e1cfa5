// SPDX-License-Identifier: MIT
// The firmware's hardware layer (fw_hw.h) on the chips of the board bound to
// the calling thread (boardmodel.h).
#include "boardmodel.h"

extern "C" {
#include "fw_hw.h"
}

#include <cstring>

namespace fwmodel {

namespace {

thread_local Board* t_board = nullptr;

constexpr std::uint16_t kEepromMask = KOUSB_EEPROM_SIZE - 1;
constexpr std::uint16_t kPageMask = KOUSB_EEPROM_PAGE_SIZE - 1;

// M25P16 commands and its JEDEC ID (manufacturer, memory type, log2 of the size).
constexpr std::uint8_t kSpiWriteEnable = 0x06, kSpiProgram = 0x02, kSpiRead = 0x03, kSpiStatus = 0x05,
                       kSpiJedecId = 0x9F;
constexpr std::uint8_t kJedecId[3] = {0x20, 0x20, 0x15};
constexpr std::uint32_t kSyncWord = 0xAA995566;

Board& board() { return *t_board; }

bool acknowledges(const Board& b, std::uint8_t address)
{
    if (address == kEepromAddress)
        return !b.eeprom.absent && b.eeprom.busyPolls == 0;
    return address == kSensorAddress;
}

// The STOP after data bytes starts the page write; the cells change at once,
// the chip stays busy for its write cycle.
void finishEepromWrite(Board& b)
{
    Eeprom& e = b.eeprom;
    if (e.pageCells == 0)
        return;
    const std::uint16_t page = e.pageStart & ~kPageMask;
    if (!(e.dropOffset >= page && e.dropOffset <= page + kPageMask)) {
        std::memcpy(e.before, e.cells + page, sizeof e.before);
        e.writing = true;
        for (std::uint16_t i = 0; i < KOUSB_EEPROM_PAGE_SIZE; ++i)
            if (e.pageCells >> i & 1u)
                e.cells[page + i] = e.page[i];
        e.writing = false;
        b.eepromChanged = true;
        ++b.changes;
    }
    e.pageCells = 0;
    e.busyPolls = e.cyclePolls;
    b.busyNs += kEepromWriteCycleNs;
}

void eepromWrite(Eeprom& e, std::uint8_t byte)
{
    if (e.offsetBytes < 2) {
        e.pointer = std::uint16_t((e.pointer << 8 | byte) & kEepromMask);
        if (++e.offsetBytes == 2)
            e.pageStart = e.pointer;
        return;
    }
    // The page buffer wraps; the counter ends after the last byte given.
    e.page[e.pointer & kPageMask] = byte;
    e.pageCells |= std::uint64_t(1) << (e.pointer & kPageMask);
    e.pointer = std::uint16_t((e.pointer & ~kPageMask) | ((e.pointer + 1) & kPageMask));
}

// The pointer byte (a register above 3 is not acknowledged), then the
// register's bytes; a register takes them once all of them are given.
bool sensorWrite(Sensor& s, std::uint8_t byte)
{
    if (s.written == 0) {
        if (byte > 3)
            return false;
        s.pointer = byte;
    } else if (s.pointer == 1 && s.written == 1) {
        s.config = byte;
    } else if (s.pointer >= 2 && s.written <= 2) {
        s.value[s.written - 1] = byte;
        if (s.written == 2)
            (s.pointer == 2 ? s.hysteresis : s.overtemperature) = std::uint16_t((s.value[0] << 8 | byte) & 0xFF80);
    }
    if (s.written < 3)
        ++s.written;
    return true;
}

std::uint8_t sensorRead(Sensor& s)
{
    std::uint16_t value = s.pointer == 0   ? std::uint16_t(s.halfDegrees * 128)
                          : s.pointer == 2 ? s.hysteresis
                                           : s.overtemperature;
    if (s.pointer == 1)
        return s.config;
    return std::uint8_t(s.readAt++ % 2 == 0 ? value >> 8 : value);
}

}  // namespace

Bind::Bind(Board& b) : m_previous(t_board), m_previousCore(fw_current)
{
    t_board = &b;
    fw_current = &b.core;
}

Bind::~Bind()
{
    t_board = m_previous;
    fw_current = m_previousCore;
}

void undoTornPageWrite(Eeprom& e)
{
    if (!e.writing)
        return;
    std::memcpy(e.cells + (e.pageStart & ~kPageMask), e.before, sizeof e.before);
    e.writing = false;
}

}  // namespace fwmodel

using fwmodel::board;

extern "C" {

uint8_t hw_i2c_start(uint8_t address_rw)
{
    fwmodel::Board& b = board();
    ++b.i2c.starts;
    b.busyNs += fwmodel::kI2cByteNs;
    b.eeprom.pageCells = 0;  // a repeated START ends a write phase without writing
    b.i2c.open = true;
    b.i2c.address = address_rw >> 1;
    b.i2c.read = address_rw & 1;
    b.eeprom.offsetBytes = 0;
    b.sensor.written = b.sensor.readAt = 0;
    if (!fwmodel::acknowledges(b, b.i2c.address)) {
        if (b.i2c.address == fwmodel::kEepromAddress && b.eeprom.busyPolls > 0)
            --b.eeprom.busyPolls;
        return KOUSB_ERR_NO_ACKNOWLEDGE;
    }
    return 0;
}

uint8_t hw_i2c_write(const uint8_t* data, uint8_t n)
{
    fwmodel::Board& b = board();
    if (!b.i2c.open || b.i2c.read || !fwmodel::acknowledges(b, b.i2c.address))
        return KOUSB_ERR_NO_ACKNOWLEDGE;
    for (uint8_t i = 0; i < n; ++i) {
        b.busyNs += fwmodel::kI2cByteNs;
        if (b.i2c.address == fwmodel::kEepromAddress)
            fwmodel::eepromWrite(b.eeprom, data[i]);
        else if (!fwmodel::sensorWrite(b.sensor, data[i]))
            return KOUSB_ERR_NO_ACKNOWLEDGE;
    }
    return 0;
}

uint8_t hw_i2c_read(uint8_t* data, uint8_t n, uint16_t left)
{
    fwmodel::Board& b = board();
    if (!b.i2c.open || !b.i2c.read)
        return KOUSB_ERR_NO_ACKNOWLEDGE;
    for (uint8_t i = 0; i < n; ++i) {
        if (b.i2c.bytesBeforeBusError >= 0 && b.i2c.bytesBeforeBusError-- == 0)
            return KOUSB_ERR_BUSY;  // the transaction stays open until the firmware stops it
        b.busyNs += fwmodel::kI2cByteNs;
        if (b.i2c.address == fwmodel::kEepromAddress) {
            data[i] = b.eeprom.cells[b.eeprom.pointer];
            b.eeprom.pointer = (b.eeprom.pointer + 1) & fwmodel::kEepromMask;
        } else {
            data[i] = fwmodel::sensorRead(b.sensor);
        }
    }
    if (left == 0)
        hw_i2c_stop();
    return 0;
}

void hw_i2c_stop(void)
{
    fwmodel::Board& b = board();
    ++b.i2c.stops;
    if (b.i2c.open && !b.i2c.read && b.i2c.address == fwmodel::kEepromAddress)
        fwmodel::finishEepromWrite(b);
    b.i2c.open = false;
}

void hw_spi_select(uint8_t on)
{
    fwmodel::SpiFlash& f = board().flash;
    if (f.selected && !on && f.commandBytes > 0) {
        if (f.command[0] == fwmodel::kSpiWriteEnable) {
            f.writeEnabled = true;
        } else if (f.command[0] == fwmodel::kSpiProgram && f.commandBytes > 4 && f.writeEnabled) {
            f.writeEnabled = false;
            f.busyPolls = 2;
        }
    }
    f.selected = on;
    f.commandBytes = 0;
    f.jedecAt = 0;
}

void hw_spi_write(const uint8_t* data, uint8_t n)
{
    fwmodel::SpiFlash& f = board().flash;
    if (!f.selected || f.absent)
        return;
    for (uint8_t i = 0; i < n; ++i) {
        if (f.commandBytes < 4) {
            f.command[f.commandBytes++] = data[i];
            if (f.commandBytes == 4)
                f.pointer = (std::uint32_t(f.command[1]) << 16 | std::uint32_t(f.command[2]) << 8 | f.command[3])
                            % fwmodel::kFlashSize;
            continue;
        }
        // Page program: 1 bits become 0, never back; the address wraps within the page.
        if (f.command[0] == fwmodel::kSpiProgram && f.writeEnabled) {
            f.inverted[f.pointer] |= std::uint8_t(~data[i]);
            f.pointer = (f.pointer & ~0xFFu) | ((f.pointer + 1) & 0xFFu);
        }
        f.commandBytes = 5;
    }
}

void hw_spi_read(uint8_t* data, uint8_t n)
{
    fwmodel::SpiFlash& f = board().flash;
    for (uint8_t i = 0; i < n; ++i) {
        std::uint8_t byte = 0xFF;  // nothing drives MISO: it floats high
        if (f.selected && !f.absent && f.commandBytes > 0) {
            switch (f.command[0]) {
            case fwmodel::kSpiJedecId:
                byte = f.jedecAt < 3 ? fwmodel::kJedecId[f.jedecAt] : 0x00;
                ++f.jedecAt;
                break;
            case fwmodel::kSpiStatus:
                byte = f.busyPolls > 0 ? 0x03 : (f.writeEnabled ? 0x02 : 0x00);
                if (f.busyPolls > 0)
                    --f.busyPolls;
                break;
            case fwmodel::kSpiRead:
                if (f.commandBytes >= 4) {
                    byte = std::uint8_t(~f.inverted[f.pointer]);
                    f.pointer = (f.pointer + 1) % fwmodel::kFlashSize;
                }
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
        fw_uart_received(data[i]);  // TXD0 wired to RXD0
}

uint8_t hw_fpga_begin(void)
{
    fwmodel::Board& b = board();
    fwmodel::Fpga& f = b.fpga;
    if (f.absent)
        return KOUSB_ERR_DEVICE;  // INIT_B never rises
    if (f.configured)
        ++b.changes;
    f.configured = f.synced = false;
    f.configuring = true;
    f.window = f.shifted = 0;
    f.design[0] = '\0';
    return 0;
}

void hw_fpga_shift(const uint8_t* data, uint8_t n)
{
    fwmodel::Board& b = board();
    fwmodel::Fpga& f = b.fpga;
    if (!f.configuring)
        return;
    for (uint8_t i = 0; i < n; ++i) {
        f.window = f.window << 8 | data[i];
        f.synced = f.synced || f.window == fwmodel::kSyncWord;
    }
    f.shifted += n;
    b.busyNs += n * fwmodel::kFpgaConfigByteNs;
}

uint8_t hw_fpga_finish(void)
{
    fwmodel::Board& b = board();
    fwmodel::Fpga& f = b.fpga;
    f.configured = f.configuring && f.synced;
    f.configuring = false;
    if (f.configured) {
        f.configuredBytes = f.shifted;
        std::memcpy(f.design, f.designComing, sizeof f.design);
        ++b.changes;
    }
    f.designComing[0] = '\0';
    return f.configured;
}

uint8_t hw_fpga_done(void) { return board().fpga.configured; }

void hw_bus_address(uint8_t bus, uint16_t address) { board().fpga.busAddress[bus] = address; }

void hw_bus_read(uint8_t bus, uint8_t* data, uint8_t n)
{
    fwmodel::Fpga& f = board().fpga;
    std::uint8_t* space = bus == FW_BUS_EXTERNAL ? f.external : f.registers;
    for (uint8_t i = 0; i < n; ++i)
        data[i] = space[f.busAddress[bus]++];
}

void hw_bus_write(uint8_t bus, const uint8_t* data, uint8_t n)
{
    fwmodel::Fpga& f = board().fpga;
    if (bus == FW_BUS_COMMAND) {
        f.commandBytes += n;
        std::memcpy(f.lastCommand, data, n < sizeof f.lastCommand ? n : sizeof f.lastCommand);
        return;
    }
    std::uint8_t* space = bus == FW_BUS_EXTERNAL ? f.external : f.registers;
    for (uint8_t i = 0; i < n; ++i)
        space[f.busAddress[bus]++] = data[i];
}

}  // extern "C"
