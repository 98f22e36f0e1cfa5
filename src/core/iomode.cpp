#include "iomode.h"

#include "KoUSBLib.h"

#include <utility>

namespace {

constexpr std::pair<IoMode, const char*> kNames[] = {
    {IoMode::External, "External"},     {IoMode::Fpga, "FPGA"},   {IoMode::Block, "Block"},
    {IoMode::I2c, "I2C"},               {IoMode::Command, "Command"}, {IoMode::Controller, "Controller"},
    {IoMode::Interrupt, "Interrupt"},   {IoMode::Spi, "SPI"},     {IoMode::Uart, "UART"},
    {IoMode::Eeprom, "EEPROM"},
};

} // namespace

std::optional<IoMode> ioModeFromName(const std::string& name)
{
    for (const auto& [mode, text] : kNames)
        if (name == text)
            return mode;
    return std::nullopt;
}

const char* ioModeName(IoMode mode)
{
    for (const auto& [m, text] : kNames)
        if (m == mode)
            return text;
    return "";
}

bool ioModeCanWrite(IoMode mode)
{
    return mode != IoMode::Eeprom;
}

bool ioModeCanRead(IoMode mode)
{
    return mode != IoMode::Eeprom && mode != IoMode::Command;
}

std::optional<bool> ioWrite(KoUSBDevice& device, IoMode mode, int address, unsigned char* buffer, int count)
{
    const auto address16 = static_cast<unsigned short>(address);
    const auto address8 = static_cast<unsigned char>(address);
    const auto count16 = static_cast<unsigned short>(count);
    switch (mode) {
    case IoMode::External: return device.WriteExternal(address16, buffer, count);
    case IoMode::Fpga: return device.WriteXilinx(address16, buffer, count);
    case IoMode::Block: return device.WriteBlock(buffer, count);
    case IoMode::I2c: return device.WriteI2C(address8, buffer, count16);
    case IoMode::Command: return device.WriteCommand(buffer, count16);
    case IoMode::Controller: return device.Write8051(address16, buffer, count16);
    case IoMode::Interrupt: return device.WriteInterrupt(buffer);
    case IoMode::Spi: return device.WriteSPI(address, buffer, count16);
    case IoMode::Uart: return device.WriteSerial(buffer, count16);
    case IoMode::Eeprom: break;
    }
    return std::nullopt;
}

std::optional<bool> ioRead(KoUSBDevice& device, IoMode mode, int address, unsigned char* buffer, int size)
{
    const auto address16 = static_cast<unsigned short>(address);
    const auto address8 = static_cast<unsigned char>(address);
    const auto size16 = static_cast<unsigned short>(size);
    switch (mode) {
    case IoMode::External: return device.ReadExternal(address16, buffer, size);
    case IoMode::Fpga: return device.ReadXilinx(address16, buffer, size);
    case IoMode::Block: return device.ReadBlock(buffer, size);
    case IoMode::I2c: return device.ReadI2C(address8, buffer, size16);
    case IoMode::Controller: return device.Read8051(address16, buffer, size16);
    case IoMode::Interrupt: return device.ReadInterrupt(buffer);
    case IoMode::Spi: return device.ReadSPI(address, buffer, size16);
    case IoMode::Uart: return device.ReadSerial(buffer, size16);
    case IoMode::Command:
    case IoMode::Eeprom: break;
    }
    return std::nullopt;
}
