// SPDX-License-Identifier: MIT
#pragma once
// The board's chips as models on the host, behind the firmware's hardware
// layer (fw_hw.h): the boot EEPROM (24LC128: two address bytes, 64-byte
// pages that wrap, no acknowledge during the write cycle) and an LM75
// temperature sensor on I2C, an M25P16 serial flash on SPI, an FPGA that
// configures from a bitstream holding the sync word, and the register,
// external and command buses.
//
// The firmware core has one instance per process, so the models are one
// too. The board library's simulated board (src/usb/sim) has models of the
// same chips at the level of whole calls; these work at the level of bus
// transactions, which is what the firmware drives.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace fwhost {

// The memories are sized and filled by resetBoard: 16 KiB of EEPROM and
// 2 MiB of flash erased (0xFF), 64 KiB each of FPGA registers and external
// bus (0).
struct Chips {
    std::vector<std::uint8_t> eeprom;
    bool eepromFitted = true;
    int writeCyclePolls = 3;  // address polls the EEPROM leaves unanswered after a page write
    long failingCell = -1;    // an EEPROM byte that stores what is written with bit 0 flipped
    std::vector<std::uint8_t> flash;
    bool flashFitted = true;
    bool fpgaFitted = true;
    bool fpgaConfigured = false;
    std::vector<std::uint8_t> bitstream;  // the bytes of the last configuration
    std::vector<std::uint8_t> fpgaRegisters;
    std::vector<std::uint8_t> external;
    std::vector<std::uint8_t> commands;  // every byte written to the command port
    std::int8_t temperature = 25;
    long i2cBytesBeforeBusError = -1;  // bytes an I2C read gets before the bus fails (BERR); -1: never

    // Counters of what the firmware did on the I2C bus: every transaction
    // ends with one STOP (repeated STARTs within it need none).
    std::size_t i2cStarts = 0;
    std::size_t i2cStops = 0;
};

// The chips as a fresh board has them; also resets the firmware core.
Chips& chips();
void resetBoard(std::uint16_t capabilities, const char* fpgaPart);
// Points the firmware core at the one board's state, for the calling thread.
void bindCore();

}  // namespace fwhost
