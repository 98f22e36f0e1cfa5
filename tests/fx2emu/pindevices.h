// SPDX-License-Identifier: MIT
#pragma once
// Chips on the controller's port pins, seen at the level of pin edges: the
// controller model tells a chip when a pin it watches changes, and the chip
// drives the pins that are the CPU's inputs. Pins are 8051 bit addresses
// (port SFR + bit number).
#include <cstdint>
#include <string>
#include <vector>

class PinAccess {
public:
    virtual ~PinAccess() = default;
    // The level on the pin now: the CPU's output, or what drives the input.
    virtual bool level(std::uint8_t pin) const = 0;
    // The CPU drives the pin (its OE bit is set).
    virtual bool isOutput(std::uint8_t pin) const = 0;
    // The port's eight pins as the CPU drives them.
    virtual std::uint8_t port(std::uint8_t sfr) const = 0;
    // The chip drives an input pin of the CPU (ignored while the CPU drives it).
    virtual void drive(std::uint8_t pin, bool level) = 0;
    // The chip drives all eight pins of a port (a data bus it answers on).
    virtual void drivePort(std::uint8_t sfr, std::uint8_t value) = 0;
    virtual std::uint64_t now() const = 0;
    virtual void fault(const std::string& what) = 0;
};

class PinDevice {
public:
    struct Watch {
        std::uint8_t pin;
        bool rising, falling;
    };
    virtual ~PinDevice() = default;
    virtual std::vector<Watch> watches() const = 0;
    // A watched pin changed to `level`.
    virtual void changed(std::uint8_t pin, bool level, PinAccess& pins) = 0;
    // The pins the chip drives at power-on.
    virtual void powerOn(PinAccess& pins) = 0;
};

// M25P16-class serial flash (SPI mode 0, MSB first): JEDEC ID 20 20 15
// (2 MiB), read (03), write enable (06), page program (02, 256-byte pages
// that wrap, only 1 -> 0, about 0.64 ms during which the status register's
// write-in-progress bit is set), read status (05).
class SpiFlash : public PinDevice {
public:
    struct Pins {
        std::uint8_t sck, mosi, miso, cs;
    };
    static constexpr std::uint64_t kPageProgramNs = 640000;

    explicit SpiFlash(const Pins& pins) : m_pins(pins) {}

    std::vector<std::uint8_t> memory = std::vector<std::uint8_t>(2 * 1024 * 1024, 0xFF);
    int pagePrograms = 0;

    std::vector<Watch> watches() const override;
    void changed(std::uint8_t pin, bool level, PinAccess& pins) override;
    void powerOn(PinAccess& pins) override { pins.drive(m_pins.miso, true); }

private:
    // The bit the chip puts on MISO for clock number `m_bits` of this selection.
    bool outputBit(std::uint64_t now);
    void deselected(std::uint64_t now);

    Pins m_pins;
    bool m_selected = false;
    std::vector<std::uint8_t> m_in;  // bytes clocked in since the selection
    std::uint8_t m_shift = 0;
    std::size_t m_bits = 0;
    bool m_writeEnabled = false;
    std::uint64_t m_busyUntil = 0;
};

// The FPGA of our board: slave-serial configuration, coarse (after PROG_B
// the chip takes DIN on each CCLK rise; once the sync word AA 99 55 66 has
// gone by and 64 more clocks, DONE rises), and once configured, the
// multiplexed bus: ALE_H and ALE_L latch port B as the address's bytes,
// RD# low puts the byte at the address on port B, WR# rising takes port B;
// each strobe counts the address up. CS_REG# selects the register space,
// CS_EXT# the external bus behind the FPGA, CS_CMD# the command port.
class FpgaBus : public PinDevice {
public:
    struct Pins {
        std::uint8_t prog, init, done, cclk, din;
        std::uint8_t aleLow, aleHigh, rd, wr, csRegister, csExternal, csCommand;
        std::uint8_t data;  // the SFR of the data port
    };
    explicit FpgaBus(const Pins& pins) : m_pins(pins) {}

    bool configured = false;
    std::vector<std::uint8_t> bitstream;  // the bytes clocked in since PROG_B, up to DONE
    std::vector<std::uint8_t> registers = std::vector<std::uint8_t>(64 * 1024, 0);
    std::vector<std::uint8_t> external = std::vector<std::uint8_t>(64 * 1024, 0);
    std::vector<std::uint8_t> commands;

    std::vector<Watch> watches() const override;
    void changed(std::uint8_t pin, bool level, PinAccess& pins) override;
    void powerOn(PinAccess& pins) override;

private:
    std::vector<std::uint8_t>* selectedSpace(PinAccess& pins, bool& command);

    Pins m_pins;
    std::uint32_t m_window = 0;
    int m_bitsInByte = 0;
    int m_clocksAfterSync = -1;
    std::uint16_t m_address = 0;
};
