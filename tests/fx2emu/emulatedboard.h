// SPDX-License-Identifier: MIT
#pragma once
// The lab boards around the emulated controller: which chips each carries
// and on which pins, as docs/firmware.md ("Pins") gives the wiring. Both
// are CY7C68013A-56 boards (ports A, B and D; no UART0 pins) with the boot
// EEPROM at 0x51 and an LM75-class sensor at 0x48.
#include "i2cdevices.h"
#include "pindevices.h"
#include "registertable.h"

#include <memory>
#include <string>

struct EmulatedBoard {
    enum class Kind {
        Fpga,     // our board: XC3S500E on the multiplexed bus, SPI flash
        Generic,  // a generic board: SPI flash on port D, nothing else
    };
    Kind kind = Kind::Fpga;
    std::unique_ptr<Eeprom24lc128> eeprom;
    std::unique_ptr<Lm75> sensor;
    std::unique_ptr<SpiFlash> flash;
    std::unique_ptr<FpgaBus> fpga;  // null on the generic board

    // The board of `kind` with all its chips; pin names resolved in `table`.
    static EmulatedBoard make(Kind kind, const RegisterTable& table);
};

// The 8051 bit address of a port pin named as the register table names it
// ("PA0", "PD7"): the port register's address plus the bit number.
std::uint8_t pinAddress(const RegisterTable& table, const std::string& pin);
