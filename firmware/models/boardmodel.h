// SPDX-License-Identifier: MIT
#pragma once
// One board of ours as plain data: the controller (its internal RAM, the
// CPUCS reset bit, the endpoint buffers), the firmware core's state, and the
// chips behind the firmware's hardware layer (fw_hw.h), as the chips hold it
// on the wire:
//
//   I2C    the boot EEPROM, a 24LC128 at 0x51 (two address bytes, 64-byte
//          pages that wrap, no acknowledge during its write cycle), and an
//          LM75 temperature sensor at 0x48 (a pointer byte, then the
//          register's bytes, most significant first)
//   SPI    an M25P16 serial flash, 2 MiB (read, page program of 1 bits to
//          0, write enable, status, JEDEC ID)
//   UART   TXD0 wired to RXD0: what the firmware sends, it receives
//   FPGA   configured slave-serial from a bitstream holding the sync word,
//          with its register file, the external bus it bridges (64 KiB
//          each) and its command port, behind the parallel bus
//
// Nothing here points anywhere, so a board can live in memory that several
// processes map (a simulated board's state file), and all zero bytes are a
// board without power: powerOn() (controller.h) sets the few fields that are
// not zero on a fresh board. The SPI flash keeps its cells inverted for that
// reason (0 is an erased 0xFF).
extern "C" {
#include "fw_core.h"
}

#include <cstddef>
#include <cstdint>

namespace fwmodel {

// What the chips' work on the wire takes, for a simulated board's timing
// (src/usb/sim/simtiming.h charges it): an I2C byte at 400 kHz (nine clocks,
// START and STOP folded in), the EEPROM's write cycle (3 ms typical, 5 ms at
// most) and a byte of FPGA configuration (about 4 Mbyte/s through the
// controller's port pins).
constexpr std::int64_t kI2cByteNs = 22500;
constexpr std::int64_t kEepromWriteCycleNs = 3000000;
constexpr std::int64_t kFpgaConfigByteNs = 250;

// The chips' 7-bit I2C addresses.
constexpr std::uint8_t kEepromAddress = 0x51;
constexpr std::uint8_t kSensorAddress = 0x48;

constexpr std::size_t kNameSize = 128;
constexpr std::size_t kFlashSize = 2 * 1024 * 1024;
constexpr std::size_t kSpace16 = 64 * 1024;

struct Eeprom {
    std::uint8_t cells[KOUSB_EEPROM_SIZE];
    bool absent;               // not fitted: nothing answers at 0x51
    std::uint16_t cyclePolls;  // address polls it leaves unanswered after a page write
    std::int32_t dropOffset;   // a fault: the page write covering this offset is acknowledged, not stored; -1 none
    std::uint16_t pointer;     // the chip's address counter
    std::uint8_t offsetBytes;  // offset bytes taken in the write under way
    std::uint16_t pageStart;
    std::uint8_t page[KOUSB_EEPROM_PAGE_SIZE];  // the page buffer, written at the STOP
    std::uint64_t pageCells;                    // bit i: page[i] was given
    std::uint16_t busyPolls;                    // polls left in the write cycle
    // A page write in the cells: the page as it was, so that a write cut
    // off half-way (its process killed) can be undone (undoTornPageWrite).
    bool writing;
    std::uint8_t before[KOUSB_EEPROM_PAGE_SIZE];
};

struct Sensor {
    std::int16_t halfDegrees;  // the temperature, 0.5 °C a step
    std::uint8_t pointer;
    std::uint8_t config;
    std::uint16_t hysteresis, overtemperature;  // two's complement, top 9 bits
    std::uint8_t written;                       // bytes of the write under way (the pointer first)
    std::uint8_t value[2];
    std::uint8_t readAt;  // bytes read in the read under way
};

struct I2c {
    bool open, read;
    std::uint8_t address;              // 7-bit
    std::int32_t bytesBeforeBusError;  // a fault: bytes a read gets before the bus fails; -1 never
    std::uint32_t starts, stops;       // what the firmware did on the bus
};

struct SpiFlash {
    std::uint8_t inverted[kFlashSize];  // cell ^ 0xFF
    bool absent;
    bool selected;
    std::uint8_t command[4];  // opcode and address bytes of the command under way
    std::uint8_t commandBytes;
    std::uint8_t jedecAt;
    bool writeEnabled;
    std::uint8_t busyPolls;
    std::uint32_t pointer;  // the next byte a read or a page program reaches
};

struct Fpga {
    bool absent;
    bool configured;                // DONE
    bool configuring;               // PROG_B pulsed, bits coming
    std::uint32_t window;           // the last four bytes shifted in
    bool synced;                    // the sync word went by
    std::uint32_t shifted;          // bytes of this configuration
    std::uint32_t configuredBytes;  // bytes of the last configuration that took
    char design[kNameSize];         // the configured design's name, as its loader named it
    char designComing[kNameSize];   // the name of the configuration on its way
    std::uint8_t registers[kSpace16];
    std::uint8_t external[kSpace16];
    std::uint16_t busAddress[3];  // latched per bus: FPGA registers, external, command
    std::uint32_t commandBytes;   // bytes written to the command port
    std::uint8_t lastCommand[16];
};

struct Controller {
    std::uint8_t programRam[KOUSB_PROGRAM_RAM_END];
    std::uint8_t dataRam[KOUSB_DATA_RAM_END - KOUSB_DATA_RAM_START];
    bool cpuReset;
    bool running;               // the CPU runs our firmware core
    bool released;              // the CPU was let run: the board leaves the bus and comes back
    bool fullSpeed;             // bulk packets of 64 bytes, not 512
    std::uint32_t loadedBytes;  // bytes written through 0xA0 since the CPU was put into reset
    char firmware[kNameSize];   // "name (N bytes)" of the image loaded; empty: the boot state
    char firmwareComing[kNameSize];
    std::uint16_t capabilities;  // the board's profile, for the firmware to start with
    char fpgaPart[KOUSB_FPGA_PART_SIZE];
    bool versionFromEeprom;
    std::uint8_t inBuffers[2][FW_BULK_PACKET];
    std::uint8_t inSlot;
};

struct Board {
    Controller controller;
    fw_state core;
    I2c i2c;
    Eeprom eeprom;
    Sensor sensor;
    Fpga fpga;
    std::int64_t busyNs;    // what the chips' work took in the transfer under way
    std::uint32_t changes;  // how often what the board shows changed: EEPROM, FPGA design, firmware
    bool eepromChanged;     // a page was written since the owner last cleared it
    SpiFlash flash;         // last: the big part
};

// The board whose chips the firmware's hardware layer reaches, and whose
// state the core works on, for the calling thread while it lives.
class Bind {
public:
    explicit Bind(Board& board);
    ~Bind();
    Bind(const Bind&) = delete;
    Bind& operator=(const Bind&) = delete;

private:
    Board* m_previous;
    fw_state* m_previousCore;
};

// The EEPROM page write under way when its process was killed, undone.
void undoTornPageWrite(Eeprom& eeprom);

}  // namespace fwmodel
