// SPDX-License-Identifier: MIT
#include "s51cpu.h"

#include <stdexcept>

namespace {

std::string byteList(const std::vector<std::uint8_t>& bytes, std::size_t from, std::size_t n)
{
    std::string text;
    for (std::size_t i = from; i < from + n; ++i)
        text += " " + hexNumber(bytes[i]);
    return text;
}

// Commands s51 takes once: the FX2's memory map and the parts of the 8052
// that the controller model plays instead.
std::vector<std::string> setupCommands(std::uint8_t movxPageSfr)
{
    std::vector<std::string> c = {
        // Code and data share the on-chip RAM: code fetches see what MOVX wrote.
        "memory create addressdecoder xram " + hexNumber(0) + " " + hexNumber(0x3FFF) + " rom_chip " + hexNumber(0),
        // MOVX @Ri takes its high address byte from this SFR, not from P2.
        "set memory cpu_0_cfg " + hexNumber(9) + " " + hexNumber(movxPageSfr),
        "set memory uart_0_cfg " + hexNumber(0) + " " + hexNumber(0),
    };
    for (int port = 0; port < 4; ++port)
        c.push_back("set memory port_" + std::to_string(port) + "_cfg " + hexNumber(0) + " " + hexNumber(0));
    return c;
}

}  // namespace

S51Cpu::S51Cpu(const std::string& s51, const std::string& shim, Range page, Range sfrs, std::uint8_t movxPageSfr)
    : m_console(s51, shim), m_pageRange(page), m_sfrRange(sfrs), m_page(page.last - page.first + 1u, 0)
{
    for (const std::string& answer : m_console.exec(setupCommands(movxPageSfr)))
        if (answer.find("rror") != std::string::npos || answer.find("Unknown") != std::string::npos)
            throw std::runtime_error("s51 refused its set-up: " + answer);
    refresh();
}

std::string S51Cpu::dumpCommand(const char* space, Range range) const
{
    // 64 bytes a line: fewer lines for s51 to print.
    return std::string("dump /h ") + space + " " + hexNumber(range.first) + " " + hexNumber(range.last) + " "
           + hexNumber(64);
}

std::string S51Cpu::stopCommands(bool page, Range buffer) const
{
    std::string c = dumpCommand("sfr", m_sfrRange);
    if (page)
        c += ";" + dumpCommand("xram", m_pageRange);
    if (buffer.last)
        c += ";" + dumpCommand("xram", buffer);
    return c;
}

int S51Cpu::addBreakpoint(const std::string& command, bool page, Range buffer)
{
    const int number = ++m_breakpoints;
    m_console.exec({command, "commands " + std::to_string(number) + " " + stopCommands(page, buffer)});
    return number;
}

void S51Cpu::refresh()
{
    std::vector<std::string> commands{dumpCommand("xram", m_pageRange), dumpCommand("sfr", m_sfrRange)};
    flush(commands);
    const std::vector<std::string> answers = m_console.exec(commands);
    takeSnapshot(answers[answers.size() - 2] + "\n" + answers.back());
}

void S51Cpu::takeSnapshot(const std::string& text)
{
    // One pass: the SFRs lie below the XDATA page, a buffer above it.
    m_stopBuffer.clear();
    forEachDumpByte(text, [this](std::uint32_t address, std::uint8_t value) {
        if (address >= m_pageRange.first && address <= m_pageRange.last)
            m_page[address - m_pageRange.first] = value;
        else if (address >= m_sfrRange.first && address <= m_sfrRange.last)
            m_sfr[address - 0x80] = value;
        else if (address > m_pageRange.last)
            m_stopBuffer[address] = value;
    });
}

void S51Cpu::watchXdata(std::uint16_t address, bool write, Range buffer)
{
    addBreakpoint("break xram " + std::string(write ? "w " : "r ") + hexNumber(address), true, buffer);
}

void S51Cpu::watchSfr(std::uint8_t address) { addBreakpoint("break sfr w " + hexNumber(address), false); }

void S51Cpu::watchBitEdge(std::uint8_t bitAddress, bool level)
{
    // The condition sees the cell before the write (s51 tests it first).
    const std::uint8_t sfrAddress = bitAddress & 0xF8;
    const std::string var = "port" + hexNumber(sfrAddress).substr(2);
    const std::string mask = hexNumber(1u << (bitAddress & 7));
    if (m_variables.insert(sfrAddress).second)
        m_console.exec("var " + var + " sfr " + hexNumber(sfrAddress));
    addBreakpoint("break bits w " + hexNumber(bitAddress) + " if (" + var + "&" + mask + ")" + (level ? "!=" : "==")
                      + hexNumber(0),
                  false);
}

void S51Cpu::watchBit(std::uint8_t bitAddress) { addBreakpoint("break bits w " + hexNumber(bitAddress), false); }

void S51Cpu::writeXdata(std::uint16_t address, const std::vector<std::uint8_t>& bytes)
{
    for (std::size_t at = 0; at < bytes.size(); at += 256) {
        const std::size_t n = std::min<std::size_t>(256, bytes.size() - at);
        m_queued.push_back("set memory xram " + hexNumber(unsigned(address + at)) + byteList(bytes, at, n));
    }
    for (std::size_t i = 0; i < bytes.size(); ++i)
        if (address + i >= m_pageRange.first && address + i <= m_pageRange.last)
            m_page[address + i - m_pageRange.first] = bytes[i];
}

void S51Cpu::writeSfr(std::uint8_t address, std::uint8_t value)
{
    m_queued.push_back("set memory sfr " + hexNumber(address) + " " + hexNumber(value));
    m_sfr[address - 0x80] = value;
}

void S51Cpu::flush(std::vector<std::string>& commands)
{
    commands.insert(commands.begin(), m_queued.begin(), m_queued.end());
    m_queued.clear();
}

std::vector<std::uint8_t> S51Cpu::readXdata(std::uint16_t address, std::size_t length)
{
    std::vector<std::uint8_t> bytes(length, 0);
    if (!length)
        return bytes;
    std::vector<std::string> commands{"dump /h xram " + hexNumber(address) + " "
                                      + hexNumber(unsigned(address + length - 1))};
    flush(commands);
    const auto dumped = parseDump(m_console.exec(commands).back(), address, std::uint32_t(address + length - 1));
    if (dumped.size() != length)
        throw std::runtime_error("s51 dumped " + std::to_string(dumped.size()) + " of " + std::to_string(length)
                                 + " bytes at " + hexNumber(address));
    for (const auto& [a, value] : dumped)
        bytes[a - address] = value;
    return bytes;
}

std::uint8_t S51Cpu::xdata(std::uint16_t address) const
{
    if (address < m_pageRange.first || address > m_pageRange.last)
        throw std::logic_error("XDATA " + hexNumber(address) + " is outside the register page");
    return m_page[address - m_pageRange.first];
}

std::vector<std::uint8_t> S51Cpu::stopBytes(std::uint16_t address, std::size_t length) const
{
    std::vector<std::uint8_t> bytes(length);
    for (std::size_t i = 0; i < length; ++i) {
        auto it = m_stopBuffer.find(std::uint32_t(address + i));
        if (it == m_stopBuffer.end())
            throw std::logic_error("the stop brought no byte at " + hexNumber(unsigned(address + i)));
        bytes[i] = it->second;
    }
    return bytes;
}

std::uint8_t S51Cpu::sfr(std::uint8_t address) const { return m_sfr[std::size_t(address - 0x80) & 0x7F]; }

S51Stop S51Cpu::step(unsigned instructions)
{
    std::vector<std::string> commands{"step " + std::to_string(instructions)};
    flush(commands);
    const std::string text = m_console.exec(commands).back();
    S51Stop stop = parseStop(text);
    // The breakpoints' dumps come before s51's own report of the stop.
    if (!stop.accesses.empty())
        takeSnapshot(text.substr(0, text.find("Stop at")));
    return stop;
}

void S51Cpu::reset()
{
    std::vector<std::string> commands{"reset"};
    flush(commands);
    m_console.exec(commands);
    refresh();
}
