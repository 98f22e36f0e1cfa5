// SPDX-License-Identifier: MIT
#pragma once
// The controller's own loader, answered by its silicon whatever firmware
// runs: internal memory and CPUCS through the 0xA0 request, loading a
// firmware image with the CPU held in reset, and letting the CPU run, after
// which the device re-enumerates with its new firmware.
#include "../status.h"
#include "transport.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kousb::usb {

// A firmware image for internal memory: the bytes and which of them the file gives.
struct FirmwareImage {
    std::vector<std::uint8_t> bytes;
    std::vector<bool> present;
};

class Fx2Loader {
public:
    explicit Fx2Loader(Transport& transport) : m_transport(transport) {}

    // True when [address, address + length) lies in one region 0xA0 reaches.
    static bool reachable(std::size_t address, std::size_t length);
    // Why an address is refused.
    static const char* const kReach;

    // Reads a .hex/.ihx (Intel HEX) or raw .bix file and checks that all of
    // it lies in internal memory.
    static Status readImage(const std::string& path, FirmwareImage& image);

    // 0xA0 transfers in pieces that never cross a 64-byte boundary. A vanished
    // device fails with ErrorCode::Unplugged.
    Status read(std::uint16_t address, std::uint8_t* data, std::size_t length);
    Status write(std::uint16_t address, const std::uint8_t* data, std::size_t length);
    // True when CPUCS says the CPU is held in reset.
    Status cpuInReset(bool& inReset);

    // CPU into reset, the image, then the CPU let run (startCpu). A transfer
    // that fails part-way leaves the CPU in reset, so a half image never runs.
    Status load(const FirmwareImage& image, bool& gone, Milliseconds backWithin);
    // Lets the CPU run and waits for the device to leave and come back at its
    // port within `backWithin` (or to keep running where it is). If it left
    // and did not come back, the call fails with Timeout, naming the port,
    // and sets `gone`.
    Status startCpu(bool& gone, Milliseconds backWithin);

private:
    Status setCpuReset(bool reset);

    Transport& m_transport;
};

}  // namespace kousb::usb
