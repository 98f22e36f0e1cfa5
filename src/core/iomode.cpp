// SPDX-License-Identifier: MIT
#include "iomode.h"

#include "KoUSBLib.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstring>

namespace {

// The address argument of a call, already cut to the bytes the mode's width
// fills (see cut()), so it fits the call's parameter unchanged.
using Call = bool (*)(KoUSBDevice& device, int address, unsigned char* buffer, int length);

constexpr int kAnyInt = 32;  // the address bits of a mode that takes the whole int

struct ModeRow {
    IoMode mode;
    const char* name;
    int addressBits;  // 0: the mode takes no address
    Call write;       // null: the mode cannot write
    Call read;        // null: the mode cannot read
};

constexpr ModeRow kModes[] = {
    {IoMode::External, "External", 16,
     [](KoUSBDevice& d, int a, unsigned char* b, int n) { return d.WriteExternal(a, b, n); },
     [](KoUSBDevice& d, int a, unsigned char* b, int n) { return d.ReadExternal(a, b, n); }},
    {IoMode::Fpga, "FPGA", 16, [](KoUSBDevice& d, int a, unsigned char* b, int n) { return d.WriteXilinx(a, b, n); },
     [](KoUSBDevice& d, int a, unsigned char* b, int n) { return d.ReadXilinx(a, b, n); }},
    {IoMode::Block, "Block", 0, [](KoUSBDevice& d, int, unsigned char* b, int n) { return d.WriteBlock(b, n); },
     [](KoUSBDevice& d, int, unsigned char* b, int n) { return d.ReadBlock(b, n); }},
    {IoMode::I2c, "I2C", 7, [](KoUSBDevice& d, int a, unsigned char* b, int n) { return d.WriteI2C(a, b, n); },
     [](KoUSBDevice& d, int a, unsigned char* b, int n) { return d.ReadI2C(a, b, n); }},
    {IoMode::Command, "Command", 0, [](KoUSBDevice& d, int, unsigned char* b, int n) { return d.WriteCommand(b, n); },
     nullptr},
    {IoMode::Controller, "Controller", 16,
     [](KoUSBDevice& d, int a, unsigned char* b, int n) { return d.Write8051(a, b, n); },
     [](KoUSBDevice& d, int a, unsigned char* b, int n) { return d.Read8051(a, b, n); }},
    // An interrupt transfer moves the whole 16-byte buffer, whatever the count.
    {IoMode::Interrupt, "Interrupt", 0, [](KoUSBDevice& d, int, unsigned char* b, int) { return d.WriteInterrupt(b); },
     [](KoUSBDevice& d, int, unsigned char* b, int) { return d.ReadInterrupt(b); }},
    {IoMode::Spi, "SPI", kAnyInt, [](KoUSBDevice& d, int a, unsigned char* b, int n) { return d.WriteSPI(a, b, n); },
     [](KoUSBDevice& d, int a, unsigned char* b, int n) { return d.ReadSPI(a, b, n); }},
    {IoMode::Uart, "UART", 0, [](KoUSBDevice& d, int, unsigned char* b, int n) { return d.WriteSerial(b, n); },
     [](KoUSBDevice& d, int, unsigned char* b, int n) { return d.ReadSerial(b, n); }},
    {IoMode::Eeprom, "EEPROM", 0, nullptr, nullptr},
};

const ModeRow* rowOf(IoMode mode)
{
    for (const ModeRow& row : kModes)
        if (row.mode == mode)
            return &row;
    return nullptr;
}

// The address as the call carries it: the low whole bytes of the mode's
// width; the int itself where the mode takes any int.
int cut(const ModeRow& row, int address)
{
    if (row.addressBits >= kAnyInt)
        return address;
    const int bits = (row.addressBits + 7) / 8 * 8;
    return static_cast<int>(static_cast<unsigned>(address) & ((1u << bits) - 1));
}

}  // namespace

std::optional<IoMode> ioModeFromName(const std::string& name)
{
    for (const ModeRow& row : kModes)
        if (name == row.name)
            return row.mode;
    return std::nullopt;
}

std::optional<IoMode> ioModeFromAnyCase(const std::string& name)
{
    for (const ModeRow& row : kModes)
        if (std::equal(name.begin(), name.end(), row.name, row.name + std::strlen(row.name),
                       [](unsigned char a, unsigned char b) { return std::tolower(a) == std::tolower(b); }))
            return row.mode;
    return std::nullopt;
}

const char* ioModeName(IoMode mode)
{
    const ModeRow* row = rowOf(mode);
    return row ? row->name : "";
}

bool ioModeCanWrite(IoMode mode)
{
    const ModeRow* row = rowOf(mode);
    return row && row->write;
}

bool ioModeCanRead(IoMode mode)
{
    const ModeRow* row = rowOf(mode);
    return row && row->read;
}

std::optional<AddressRange> ioModeAddressRange(IoMode mode)
{
    const ModeRow* row = rowOf(mode);
    if (!row || row->addressBits == 0)
        return std::nullopt;
    if (row->addressBits >= kAnyInt)
        return AddressRange{INT_MIN, INT_MAX};
    return AddressRange{0, (1LL << row->addressBits) - 1};
}

std::optional<bool> ioWrite(KoUSBDevice& device, IoMode mode, int address, unsigned char* buffer, int count)
{
    const ModeRow* row = rowOf(mode);
    if (!row || !row->write)
        return std::nullopt;
    return row->write(device, cut(*row, address), buffer, count);
}

std::optional<bool> ioRead(KoUSBDevice& device, IoMode mode, int address, unsigned char* buffer, int size)
{
    const ModeRow* row = rowOf(mode);
    if (!row || !row->read)
        return std::nullopt;
    return row->read(device, cut(*row, address), buffer, size);
}
