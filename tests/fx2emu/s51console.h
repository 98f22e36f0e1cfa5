// SPDX-License-Identifier: MIT
#pragma once
// The s51 simulator of Debian's sdcc-ucsim (a plain 8052) as a child
// process, driven through its command console: commands go in as lines,
// each answer ends with the prompt, a NUL (-P). The console shim
// (s51shim.c) is preloaded so that an answer comes back at once.
//
// Not thread-safe: one owner drives it. Failures (s51 missing, gone, or
// silent for longer than a guard time) throw std::runtime_error.
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <sys/types.h>
#include <vector>

class S51Console {
public:
    S51Console(const std::string& s51, const std::string& shim);
    ~S51Console();
    S51Console(const S51Console&) = delete;
    S51Console& operator=(const S51Console&) = delete;

    // Sends the commands at once and returns what each printed, in order.
    // A command that runs the CPU (run, step) must come last: input that
    // arrives while the simulation runs stops it.
    std::vector<std::string> exec(const std::vector<std::string>& commands);
    std::string exec(const std::string& command) { return exec(std::vector<std::string>{command}).front(); }

private:
    std::string readAnswer();

    pid_t m_pid = -1;
    int m_in = -1;   // to s51's console
    int m_out = -1;  // from it
    std::string m_buffer;
};

// "0x" and hex digits: the form every number takes in the commands we send
// (s51 echoes them), so that no piece of an echoed line reads as a dump.
std::string hexNumber(unsigned value);

// Calls `use` for each byte of the dump lines ("0xADDR b b b ...") in
// `text`, with its address; other lines are ignored.
void forEachDumpByte(const std::string& text, const std::function<void(std::uint32_t, std::uint8_t)>& use);
// Those bytes whose addresses fall in [first, last], by address.
std::map<std::uint32_t, std::uint8_t> parseDump(const std::string& text, std::uint32_t first, std::uint32_t last);

// What ended a run or a step: the accesses that hit event breakpoints and
// the clock ticks the simulation took.
struct S51Access {
    std::string space;  // "xram", "sfr" or "bits"
    std::uint32_t address = 0;
    bool write = false;
};
struct S51Stop {
    std::vector<S51Access> accesses;
    std::uint64_t ticks = 0;
};
S51Stop parseStop(const std::string& text);
