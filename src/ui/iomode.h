#pragma once
// The IO modes of the "IO Tests" page, by the names the mode list shows.
// Plain C++17, no Qt.
#include <optional>
#include <string>

enum class IoMode { External, Fpga, Block, I2c, Command, Controller, Interrupt, Spi, Uart, Eeprom };

// The mode whose name is exactly `name` (whole text, case-sensitive):
// "External", "FPGA", "Block", "I2C", "Command", "Controller", "Interrupt",
// "SPI", "UART", "EEPROM"; none for any other text.
std::optional<IoMode> ioModeFromName(const std::string& name);

const char* ioModeName(IoMode mode);
