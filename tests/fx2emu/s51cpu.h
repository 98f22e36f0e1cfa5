// SPDX-License-Identifier: MIT
#pragma once
// An 8051 core on s51 as the emulated controller uses it: one 64 KiB
// external data space whose low 16 KiB is also the code memory, MOVX @Ri
// paged by a chosen SFR, s51's own ports and UART switched off (their SFRs
// are plain cells the controller model plays), event breakpoints on the
// accesses the model answers, and runs bounded by an instruction count.
//
// Every event breakpoint prints what the model needs as the CPU left it (the
// SFRs; for an XDATA access also the register page and, where asked, a
// buffer), so one round trip per stop gives the model what it needs.
// Writes are queued and sent with the next step. Not thread-safe.
#include "s51console.h"

#include <array>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

// An XDATA or SFR address range, both ends included; last 0: none.
struct S51Range {
    std::uint16_t first = 0, last = 0;
};

class S51Cpu {
public:
    using Range = S51Range;
    // `page`: the XDATA registers; `sfrs`: the SFRs the model looks at.
    S51Cpu(const std::string& s51, const std::string& shim, Range page, Range sfrs, std::uint8_t movxPageSfr);

    // Stop after each write (or read) of this XDATA address; the stop also
    // brings `buffer` along (stopBytes).
    void watchXdata(std::uint16_t address, bool write, Range buffer = {});
    // Stop after each byte write of this SFR.
    void watchSfr(std::uint8_t address);
    // Stop after each write of this bit (8051 bit address) while it reads
    // `level` before the write: a write that drives it to the other level is
    // then an edge the model sees.
    void watchBitEdge(std::uint8_t bitAddress, bool level);
    // Stop after each write of this bit.
    void watchBit(std::uint8_t bitAddress);

    // Queued; sent before the next step or read.
    void writeXdata(std::uint16_t address, const std::vector<std::uint8_t>& bytes);
    void writeSfr(std::uint8_t address, std::uint8_t value);
    std::vector<std::uint8_t> readXdata(std::uint16_t address, std::size_t length);

    // The register page and SFRs as the CPU left them at the last event
    // stop, with the model's writes since.
    std::uint8_t xdata(std::uint16_t address) const;
    std::uint8_t sfr(std::uint8_t address) const;
    // Bytes of the buffer the last stop brought along.
    std::vector<std::uint8_t> stopBytes(std::uint16_t address, std::size_t length) const;

    // Runs at most `instructions` instructions; stops earlier at an event.
    S51Stop step(unsigned instructions);
    // The CPU's reset: PC 0, SFRs to their reset values; memory stays.
    void reset();

private:
    void flush(std::vector<std::string>& commands);
    // Reads the register page and the SFRs now.
    void refresh();
    void takeSnapshot(const std::string& text);
    std::string dumpCommand(const char* space, Range range) const;
    // Commands a breakpoint runs when it stops (after `commands N`).
    std::string stopCommands(bool page, Range buffer) const;
    int addBreakpoint(const std::string& command, bool page, Range buffer = {});

    S51Console m_console;
    Range m_pageRange, m_sfrRange;
    std::vector<std::uint8_t> m_page;
    std::array<std::uint8_t, 128> m_sfr{};
    std::map<std::uint32_t, std::uint8_t> m_stopBuffer;
    std::vector<std::string> m_queued;
    int m_breakpoints = 0;
    std::set<std::uint8_t> m_variables;  // SFRs with an s51 variable for conditions
};
