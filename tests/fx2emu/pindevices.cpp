// SPDX-License-Identifier: MIT
#include "pindevices.h"

namespace {

std::uint32_t address24(const std::vector<std::uint8_t>& command)
{
    return std::uint32_t(command[1]) << 16 | std::uint32_t(command[2]) << 8 | command[3];
}

}  // namespace

std::vector<PinDevice::Watch> SpiFlash::watches() const { return {{m_pins.sck, true, false}, {m_pins.cs, true, true}}; }

bool SpiFlash::outputBit(std::uint64_t now)
{
    if (m_in.empty())
        return true;
    const std::size_t byteIndex = m_bits / 8;  // the byte being clocked now
    const int bit = 7 - int(m_bits % 8);
    std::uint8_t out = 0xFF;
    switch (m_in[0]) {
    case 0x9F: {
        static const std::uint8_t id[3] = {0x20, 0x20, 0x15};
        out = byteIndex >= 1 && byteIndex <= 3 ? id[byteIndex - 1] : 0x00;
        break;
    }
    case 0x05:
        if (byteIndex >= 1)
            out = std::uint8_t((now < m_busyUntil ? 0x01 : 0x00) | (m_writeEnabled ? 0x02 : 0x00));
        break;
    case 0x03:
        if (byteIndex >= 4 && m_in.size() >= 4)
            out = memory[(address24(m_in) + byteIndex - 4) % memory.size()];
        break;
    default: break;
    }
    return (out >> bit) & 1;
}

void SpiFlash::deselected(std::uint64_t now)
{
    if (m_in.empty())
        return;
    const bool whole = m_bits % 8 == 0;
    if (now < m_busyUntil && m_in[0] != 0x05) {
        m_in.clear();
        return;  // busy: only the status register answers
    }
    if (m_in[0] == 0x06 && whole) {
        m_writeEnabled = true;
    } else if (m_in[0] == 0x04 && whole) {
        m_writeEnabled = false;
    } else if (m_in[0] == 0x02 && whole && m_writeEnabled && m_in.size() > 4) {
        const std::uint32_t start = address24(m_in) % memory.size();
        for (std::size_t i = 4; i < m_in.size(); ++i)
            memory[(start & ~0xFFu) | ((start + i - 4) & 0xFFu)] &= m_in[i];
        m_writeEnabled = false;
        m_busyUntil = now + kPageProgramNs;
        ++pagePrograms;
    }
    m_in.clear();
}

void SpiFlash::changed(std::uint8_t pin, bool level, PinAccess& pins)
{
    if (pin == m_pins.cs) {
        if (level && m_selected)
            deselected(pins.now());
        m_selected = !level;
        m_in.clear();
        m_bits = 0;
        pins.drive(m_pins.miso, true);  // released: the pull-up holds it high
        return;
    }
    if (!m_selected || !level)
        return;
    // A rising clock: the master samples MISO now and the chip takes MOSI.
    pins.drive(m_pins.miso, outputBit(pins.now()));
    m_shift = std::uint8_t((m_shift << 1) | (pins.level(m_pins.mosi) ? 1 : 0));
    if (++m_bits % 8 == 0)
        m_in.push_back(m_shift);
}

std::vector<PinDevice::Watch> FpgaBus::watches() const
{
    return {{m_pins.prog, true, true},     {m_pins.cclk, true, false}, {m_pins.aleLow, true, false},
            {m_pins.aleHigh, true, false}, {m_pins.rd, false, true},   {m_pins.wr, true, false}};
}

void FpgaBus::powerOn(PinAccess& pins)
{
    // Unconfigured: INIT_B is high once the FPGA has cleared its memory.
    pins.drive(m_pins.init, true);
    pins.drive(m_pins.done, false);
}

std::vector<std::uint8_t>* FpgaBus::selectedSpace(PinAccess& pins, bool& command)
{
    const bool reg = !pins.level(m_pins.csRegister), ext = !pins.level(m_pins.csExternal),
               cmd = !pins.level(m_pins.csCommand);
    command = false;
    if (int(reg) + int(ext) + int(cmd) > 1) {
        pins.fault("more than one FPGA bus chip select is low");
        return nullptr;
    }
    command = cmd;
    if (!configured)
        return nullptr;  // an unconfigured FPGA answers nothing
    return reg ? &registers : ext ? &external : nullptr;
}

void FpgaBus::changed(std::uint8_t pin, bool level, PinAccess& pins)
{
    if (pin == m_pins.prog) {
        // PROG_B low clears the configuration; INIT_B follows it.
        if (!level) {
            configured = false;
            bitstream.clear();
            m_window = 0;
            m_bitsInByte = 0;
            m_clocksAfterSync = -1;
        }
        pins.drive(m_pins.init, level);
        pins.drive(m_pins.done, false);
        return;
    }
    if (pin == m_pins.cclk) {
        if (configured || !pins.level(m_pins.prog) || !pins.level(m_pins.init))
            return;
        m_window = (m_window << 1) | (pins.level(m_pins.din) ? 1u : 0u);
        if (++m_bitsInByte == 8) {
            bitstream.push_back(std::uint8_t(m_window));
            m_bitsInByte = 0;
        }
        if (m_clocksAfterSync < 0 && m_window == 0xAA995566u)
            m_clocksAfterSync = 0;
        else if (m_clocksAfterSync >= 0 && ++m_clocksAfterSync >= 64) {
            configured = true;
            pins.drive(m_pins.done, true);
        }
        return;
    }
    if (pin == m_pins.aleHigh || pin == m_pins.aleLow) {
        const std::uint8_t byte = pins.port(m_pins.data);
        m_address = pin == m_pins.aleHigh ? std::uint16_t((m_address & 0x00FF) | byte << 8)
                                          : std::uint16_t((m_address & 0xFF00) | byte);
        return;
    }
    bool command = false;
    std::vector<std::uint8_t>* space = selectedSpace(pins, command);
    if (pin == m_pins.rd) {  // falling: the FPGA drives the data port
        for (int bit = 0; bit < 8; ++bit)
            if (pins.isOutput(std::uint8_t(m_pins.data + bit))) {
                pins.fault("RD# strobed while the CPU drives the FPGA data bus");
                break;
            }
        pins.drivePort(m_pins.data, space ? (*space)[m_address] : 0xFF);
        ++m_address;
    } else if (pin == m_pins.wr) {  // rising: the FPGA takes the data port
        const std::uint8_t byte = pins.port(m_pins.data);
        if (command && configured)
            commands.push_back(byte);
        else if (space)
            (*space)[m_address] = byte;
        ++m_address;
    }
}
