// SPDX-License-Identifier: MIT
// Port pins and UART0: the chips on the pins see the edges of the pins they
// watch and drive the CPU's inputs; UART0 sends into the void on a package
// without its pins.
#include "fx2emulator.h"

void Fx2Emulator::watchPins()
{
    for (const char letter : {'A', 'B', 'D'})
        m_oe[std::uint8_t(reg(std::string("IO") + letter))] = std::uint8_t(reg(std::string("OE") + letter));
    std::set<std::uint8_t> ports;
    for (PinDevice* d : m_pinDevices)
        for (const PinDevice::Watch& w : d->watches()) {
            ports.insert(w.pin & 0xF8);
            if (w.rising && w.falling)
                m_cpu->watchBit(w.pin);
            else
                m_cpu->watchBitEdge(w.pin, w.falling);  // a rise is a write while low
        }
    // A whole-byte write to such a port may change any of its pins, or
    // overwrite the levels of its inputs in the cell.
    for (std::uint8_t port : ports)
        m_cpu->watchSfr(port);
    m_cpu->watchSfr(std::uint8_t(reg("SBUF0")));
}

void Fx2Emulator::portWritten(const S51Access& access)
{
    const bool bitWrite = access.space == "bits";
    const std::uint8_t sfr = std::uint8_t(bitWrite ? access.address & 0xF8 : access.address);
    if (!m_oe.count(sfr))
        return;
    const std::uint8_t now = m_cpu->sfr(sfr), before = m_latch[sfr];
    m_latch[sfr] = now;
    for (PinDevice* d : m_pinDevices)
        for (const PinDevice::Watch& w : d->watches()) {
            if ((w.pin & 0xF8) != sfr || (bitWrite && w.pin != access.address) || !isOutput(w.pin))
                continue;  // a bit write changes its own pin only
            const std::uint8_t mask = std::uint8_t(1u << (w.pin & 7));
            const bool high = now & mask;
            // A stop on one kind of edge says what the pin read before the
            // write; the other edges went by unseen, so the last look may be stale.
            const bool wasHigh = bitWrite && w.rising != w.falling ? w.falling : (before & mask) != 0;
            if (high != wasHigh && (high ? w.rising : w.falling))
                d->changed(w.pin, high, *this);
        }
    applyDrives();
}

void Fx2Emulator::applyDrives()
{
    std::map<std::uint8_t, std::uint8_t> cells;
    for (const auto& [pin, high] : m_driven) {
        const std::uint8_t sfr = pin & 0xF8, mask = std::uint8_t(1u << (pin & 7));
        if (isOutput(pin))
            continue;
        if (!cells.count(sfr))
            cells[sfr] = m_cpu->sfr(sfr);
        cells[sfr] = high ? std::uint8_t(cells[sfr] | mask) : std::uint8_t(cells[sfr] & ~mask);
    }
    for (const auto& [sfr, value] : cells) {
        if (m_cpu->sfr(sfr) != value)
            m_cpu->writeSfr(sfr, value);
        m_latch[sfr] = value;
    }
}

// TI rises at once: the byte leaves on TXD0 (which the 56-pin package does
// not bring out), and nothing ever arrives on RXD0.
void Fx2Emulator::uartSent()
{
    const std::uint8_t scon = std::uint8_t(reg("SCON0"));
    m_cpu->writeSfr(scon, std::uint8_t(m_cpu->sfr(scon) | bit("SCON0", "TI_0")));
}

bool Fx2Emulator::isOutput(std::uint8_t pin) const
{
    auto oe = m_oe.find(pin & 0xF8);
    return oe != m_oe.end() && (m_cpu->sfr(oe->second) & (1u << (pin & 7)));
}

bool Fx2Emulator::level(std::uint8_t pin) const
{
    if (!isOutput(pin)) {
        auto driven = m_driven.find(pin);
        if (driven != m_driven.end())
            return driven->second;
    }
    return m_cpu->sfr(pin & 0xF8) & (1u << (pin & 7));
}

std::uint8_t Fx2Emulator::port(std::uint8_t sfr) const { return m_cpu->sfr(sfr); }

void Fx2Emulator::drive(std::uint8_t pin, bool high) { m_driven[pin] = high; }

void Fx2Emulator::drivePort(std::uint8_t sfr, std::uint8_t value)
{
    for (int b = 0; b < 8; ++b)
        m_driven[std::uint8_t(sfr + b)] = value & (1u << b);
    applyDrives();
}
