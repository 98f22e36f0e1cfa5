// SPDX-License-Identifier: MIT
#pragma once
// The I2C chips of our boards, at the level of the bus: a START selects one
// (it acknowledges its address or not), bytes go either way, a STOP ends the
// transaction. Times are the emulated controller's clock, in nanoseconds.
#include <cstdint>
#include <vector>

class I2cDevice {
public:
    virtual ~I2cDevice() = default;
    virtual std::uint8_t address() const = 0;
    // A START addressed the device; true: it acknowledges.
    virtual bool select(bool read, std::uint64_t now) = 0;
    // A byte from the master; true: acknowledged.
    virtual bool write(std::uint8_t byte) = 0;
    // The next byte the device sends.
    virtual std::uint8_t read() = 0;
    // The transaction ended with a STOP.
    virtual void stop(std::uint64_t now) = 0;
};

// 24LC128: 16 KiB, two address bytes (high first), 64-byte pages that wrap,
// written at the STOP, then a write cycle of 5 ms during which it
// acknowledges nothing. Sequential reads run on across the whole memory.
class Eeprom24lc128 : public I2cDevice {
public:
    static constexpr std::size_t kSize = 16 * 1024;
    static constexpr std::size_t kPage = 64;
    static constexpr std::uint64_t kWriteCycleNs = 5000000;

    explicit Eeprom24lc128(std::uint8_t address) : m_address(address) {}

    std::vector<std::uint8_t> memory = std::vector<std::uint8_t>(kSize, 0xFF);
    int pageWrites = 0;

    std::uint8_t address() const override { return m_address; }
    bool select(bool read, std::uint64_t now) override;
    bool write(std::uint8_t byte) override;
    std::uint8_t read() override;
    void stop(std::uint64_t now) override;

private:
    std::uint8_t m_address;
    std::uint16_t m_pointer = 0;
    int m_addressBytes = 0;
    bool m_reading = false;
    std::vector<std::uint8_t> m_page;
    std::uint64_t m_busyUntil = 0;
};

// LM75-class sensor: a pointer register (0 temperature, 1 configuration,
// 2 hysteresis, 3 overtemperature), read as two bytes each (configuration:
// one); the temperature's first byte is whole degrees Celsius, signed.
class Lm75 : public I2cDevice {
public:
    explicit Lm75(std::uint8_t address) : m_address(address) {}

    double celsius = 25.0;

    std::uint8_t address() const override { return m_address; }
    bool select(bool read, std::uint64_t now) override;
    bool write(std::uint8_t byte) override;
    std::uint8_t read() override;
    void stop(std::uint64_t) override {}

private:
    std::uint8_t m_address;
    std::uint8_t m_pointer = 0;
    std::uint8_t m_registers[4][2] = {{0, 0}, {0, 0}, {75, 0}, {80, 0}};
    bool m_pointerTaken = false;
    int m_byte = 0;
};
