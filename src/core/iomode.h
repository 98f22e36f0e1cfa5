// SPDX-License-Identifier: MIT
#pragma once
// The IO modes of the "IO Tests" page and `kousb read`/`write`: one table of
// each mode's name as the mode list shows it, the addresses it takes and the
// board calls it makes. Plain C++17, no Qt.
#include <array>
#include <optional>
#include <string>

class KoUSBDevice;

enum class IoMode { External, Fpga, Block, I2c, Command, Controller, Interrupt, Spi, Uart, Eeprom };

// Every mode, in the order the mode list shows them.
constexpr std::array<IoMode, 10> kIoModes = {IoMode::External, IoMode::Fpga,       IoMode::Block,     IoMode::I2c,
                                             IoMode::Command,  IoMode::Controller, IoMode::Interrupt, IoMode::Spi,
                                             IoMode::Uart,     IoMode::Eeprom};

// The mode whose name is exactly `name` (whole text, case-sensitive):
// "External", "FPGA", "Block", "I2C", "Command", "Controller", "Interrupt",
// "SPI", "UART", "EEPROM"; none for any other text.
std::optional<IoMode> ioModeFromName(const std::string& name);

// The same in any case ("i2c", "Uart"), as kousb and the Python module
// read a mode.
std::optional<IoMode> ioModeFromAnyCase(const std::string& name);

const char* ioModeName(IoMode mode);

// Whether the mode has a write call / a read call. "EEPROM" moves no data
// either way (the firmware pages do that); "Command" only writes.
bool ioModeCanWrite(IoMode mode);
bool ioModeCanRead(IoMode mode);

// The addresses a mode's board takes: 7 bits for I2C (0 to 127), 16 bits
// for External, FPGA and Controller (0 to 65535), any int for SPI; none for
// the modes without an address.
struct AddressRange {
    long long min = 0;
    long long max = 0;
};
std::optional<AddressRange> ioModeAddressRange(IoMode mode);

// One write of the first `count` bytes of `buffer` (at most 16) through
// `mode` at `address`, cut to the whole bytes the mode's address width
// fills, which is what its call carries: the low 16 bits for External, FPGA
// and Controller, the low byte for I2C (so the board sees, and refuses, an
// address above 127), all of it for SPI, none for the rest. The call's
// result; none when the mode cannot write, without a call.
std::optional<bool> ioWrite(KoUSBDevice& device, IoMode mode, int address, unsigned char* buffer, int count);

// One read of `size` bytes (0 to 16) into `buffer` as above; none when the
// mode cannot read, without a call.
std::optional<bool> ioRead(KoUSBDevice& device, IoMode mode, int address, unsigned char* buffer, int size);
