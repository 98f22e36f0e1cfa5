// SPDX-License-Identifier: MIT
#include "i2cbus.h"

#include <cstdio>

namespace kousb::sim {

namespace {

std::string hexByte(unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value);
    return text;
}

}  // namespace

Status I2cBus::find(std::uint8_t address, I2cDevice*& device) const
{
    if (address > 0x7F)
        return Status::error(ErrorCode::InvalidArgument, hexByte(address) + " is not a 7-bit I2C address");
    const auto it = m_devices.find(address);
    if (it == m_devices.end()) {
        std::string present;
        for (const auto& [at, d] : m_devices)
            present += (present.empty() ? "" : ", ") + hexByte(at) + " " + d->name();
        return Status::error(ErrorCode::NoAcknowledge,
                             "I2C address " + hexByte(address) + " (the board has " + present + ")");
    }
    device = it->second;
    return Status::ok();
}

Status I2cBus::write(std::uint8_t address, const std::uint8_t* data, std::size_t length)
{
    I2cDevice* device = nullptr;
    if (Status s = find(address, device); !s)
        return s;
    return device->write(data, length);
}

Status I2cBus::read(std::uint8_t address, std::uint8_t* data, std::size_t length)
{
    I2cDevice* device = nullptr;
    if (Status s = find(address, device); !s)
        return s;
    return device->read(data, length);
}

}  // namespace kousb::sim
