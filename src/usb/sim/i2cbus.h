// SPDX-License-Identifier: MIT
#pragma once
#include "../status.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

namespace kousb::sim {

// A device on the board's I2C bus, as the bus sees it.
class I2cDevice {
public:
    virtual ~I2cDevice() = default;
    virtual const char* name() const = 0;
    virtual Status write(const std::uint8_t* data, std::size_t length) = 0;
    virtual Status read(std::uint8_t* data, std::size_t length) = 0;
};

// The bus: 7-bit addresses and the devices answering there. An address
// above 0x7F is no 7-bit address (InvalidArgument); one where no device
// answers is not acknowledged (NoAcknowledge, naming what the bus has).
class I2cBus {
public:
    void attach(std::uint8_t address, I2cDevice& device) { m_devices[address] = &device; }

    Status write(std::uint8_t address, const std::uint8_t* data, std::size_t length);
    Status read(std::uint8_t address, std::uint8_t* data, std::size_t length);

private:
    Status find(std::uint8_t address, I2cDevice*& device) const;
    std::map<std::uint8_t, I2cDevice*> m_devices;
};

}  // namespace kousb::sim
