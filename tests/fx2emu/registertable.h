// SPDX-License-Identifier: MIT
#pragma once
// The controller's registers as firmware/chip/fx2registers.txt lists them
// (transcribed from the register summary): name, address, size, access and
// bit names. The emulated controller takes every address and bit from here,
// so a wrong row shows up in the firmware and the emulator alike.
#include <array>
#include <cstdint>
#include <map>
#include <string>

struct Fx2Register {
    enum class Kind { Xdata, Sfr, Buffer };
    enum class Access { ReadWrite, ReadOnly, WriteOnly, WriteOneToClear };
    Kind kind = Kind::Xdata;
    std::uint16_t address = 0;
    std::string name;
    std::size_t size = 1;
    Access access = Access::ReadWrite;
    std::array<std::string, 8> bits;  // bits[n] names bit n; empty: no name
};

class RegisterTable {
public:
    // Reads the table; throws std::runtime_error naming the line it cannot read.
    explicit RegisterTable(const std::string& path);

    // The register called `name`; throws std::runtime_error when the table has none.
    const Fx2Register& reg(const std::string& name) const;
    std::uint16_t address(const std::string& name) const { return reg(name).address; }
    // The mask of bit `bit` of register `name`; throws when either is missing.
    std::uint8_t bit(const std::string& name, const std::string& bit) const;

private:
    std::map<std::string, Fx2Register> m_registers;
};
