// SPDX-License-Identifier: MIT
#include "emulatedboard.h"

#include <stdexcept>

std::uint8_t pinAddress(const RegisterTable& table, const std::string& pin)
{
    if (pin.size() != 3 || pin[0] != 'P')
        throw std::invalid_argument("not a port pin: " + pin);
    const std::string port = std::string("IO") + pin[1];
    const std::uint8_t mask = table.bit(port, pin);
    int bit = 0;
    while (!(mask & (1u << bit)))
        ++bit;
    return std::uint8_t(table.address(port) + bit);
}

EmulatedBoard EmulatedBoard::make(Kind kind, const RegisterTable& table)
{
    auto pin = [&](const char* name) { return pinAddress(table, name); };
    EmulatedBoard b;
    b.kind = kind;
    b.eeprom = std::make_unique<Eeprom24lc128>(0x51);
    b.sensor = std::make_unique<Lm75>(0x48);
    b.flash = std::make_unique<SpiFlash>(SpiFlash::Pins{pin("PD0"), pin("PD1"), pin("PD2"), pin("PD3")});
    if (kind == Kind::Fpga) {
        FpgaBus::Pins p{};
        p.prog = pin("PA4");
        p.init = pin("PA5");
        p.done = pin("PA6");
        p.cclk = pin("PA7");
        p.din = pin("PA2");
        p.aleLow = pin("PD4");
        p.aleHigh = pin("PD5");
        p.rd = pin("PD6");
        p.wr = pin("PD7");
        p.csRegister = pin("PA0");
        p.csExternal = pin("PA1");
        p.csCommand = pin("PA3");
        p.data = std::uint8_t(table.address("IOB"));
        b.fpga = std::make_unique<FpgaBus>(p);
    }
    return b;
}
