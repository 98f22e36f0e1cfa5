// SPDX-License-Identifier: MIT
#pragma once
// The controller's I2C master as its registers show it (I2CS, I2DAT, I2CTL;
// register sheet 3.4 and 4.13): START, then the address written to I2DAT;
// bytes written go out one by one; in a read, each read of I2DAT hands over
// the byte received and starts the next read burst (the first read only
// starts one), LASTRD makes the master refuse the byte of the burst it
// starts, and the final byte is read right after STOP is set, which then
// goes out instead of another burst.
//
// A byte takes its nine clocks of bus time at once: DONE is set by the time
// the CPU looks, and the time is added to the emulated clock (`spend`).
// What the CPU does that would misbehave on a real bus is reported through
// `fault`: reading I2DAT with no read in progress starts a burst on an idle
// bus, for one.
#include "i2cdevices.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class I2cController {
public:
    struct Bits {  // masks of I2CS, from the register table
        std::uint8_t start, stop, lastRead, id1, berr, ack, done;
    };
    I2cController(const Bits& bits, std::function<std::uint64_t()> now, std::function<void(std::uint64_t)> spend,
                  std::function<void(const std::string&)> fault);

    void attach(I2cDevice* device) { m_devices.push_back(device); }
    // I2CTL's 400 kHz bit, as the CPU last wrote it.
    void setFast(bool fast) { m_fast = fast; }
    // The boot EEPROM the boot ROM found (I2CS.ID1 for a two-byte-address one).
    void setBootEepromFound(bool found) { m_bootEeprom = found; }
    // Byte `n` of the next transaction with the device at `address` (its
    // address byte is the first) meets contention: BERR, and the byte fails.
    void failByte(std::uint8_t address, int n)
    {
        m_failAddress = address;
        m_failAt = n;
        m_failCount = -1;
    }

    void controlWritten(std::uint8_t value);
    void dataWritten(std::uint8_t value);
    void dataRead();

    // I2CS and I2DAT as the CPU reads them now.
    std::uint8_t control() const;
    std::uint8_t data() const { return m_data; }
    // A transaction has begun and no STOP has ended it.
    bool open() const { return m_open; }

private:
    std::uint64_t clocks(int n) const { return std::uint64_t(n) * (m_fast ? 2500u : 10000u); }
    void sendStart(std::uint8_t addressByte);
    void sendStop();
    bool busError();

    Bits m_bits;
    std::function<std::uint64_t()> m_now;
    std::function<void(std::uint64_t)> m_spend;
    std::function<void(const std::string&)> m_fault;
    std::vector<I2cDevice*> m_devices;
    I2cDevice* m_selected = nullptr;
    bool m_fast = false;
    bool m_bootEeprom = false;
    std::uint8_t m_failAddress = 0;
    int m_failAt = 0, m_failCount = -1;  // -1: that transaction has not begun
    bool m_startPending = false, m_stopPending = false, m_lastRead = false;
    bool m_open = false, m_reading = false, m_refused = false;
    bool m_unread = false;  // a byte received that no read of I2DAT has handed over yet
    bool m_done = false, m_ack = false, m_berr = false;
    std::uint8_t m_data = 0xFF;
};
