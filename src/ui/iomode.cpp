#include "iomode.h"

#include <utility>

namespace {

constexpr std::pair<IoMode, const char*> kModes[] = {
    {IoMode::External, "External"},     {IoMode::Fpga, "FPGA"},   {IoMode::Block, "Block"},
    {IoMode::I2c, "I2C"},               {IoMode::Command, "Command"}, {IoMode::Controller, "Controller"},
    {IoMode::Interrupt, "Interrupt"},   {IoMode::Spi, "SPI"},     {IoMode::Uart, "UART"},
    {IoMode::Eeprom, "EEPROM"},
};

} // namespace

std::optional<IoMode> ioModeFromName(const std::string& name)
{
    for (const auto& [mode, text] : kModes)
        if (name == text)
            return mode;
    return std::nullopt;
}

const char* ioModeName(IoMode mode)
{
    for (const auto& [m, text] : kModes)
        if (m == mode)
            return text;
    return "";
}
