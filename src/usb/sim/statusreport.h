#pragma once
#include "../board.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace kousb::sim {

// The simulated board's interrupt status report: what ReadInterrupt gets,
// always kInterruptReportSize (16) bytes.
//
//   byte  content
//   0     report type: 0x01, board status
//   1     flags: bit 0 the FPGA is configured; bit 1 controller firmware is
//         running (clear: boot loader only); bit 2 the UART receive queue
//         overran since the last report (cleared by this report); bits 3-7 0
//   2-3   bytes waiting in the UART receive queue, little-endian
//   4     board temperature, whole degrees Celsius, signed (the I2C sensor's)
//   5     interrupt reports received from the host so far, modulo 256
//   6-7   this report's sequence number, little-endian: 1 for the first
//         report since the library started, wrapping after 65535 to 0
//   8-15  the first 8 bytes of the last report the host wrote (zeros before)
using Report = std::array<std::uint8_t, kInterruptReportSize>;

struct StatusInputs {
    bool fpgaConfigured = false;
    bool firmwareRunning = false;
    bool uartOverrun = false;
    std::size_t uartQueued = 0;
    int temperature = 0;
    unsigned hostReports = 0;
    unsigned sequence = 0;
    Report lastHostReport{};
};

namespace report {
constexpr std::uint8_t kTypeStatus = 0x01;
constexpr std::uint8_t kFlagFpgaConfigured = 0x01;
constexpr std::uint8_t kFlagFirmwareRunning = 0x02;
constexpr std::uint8_t kFlagUartOverrun = 0x04;
constexpr std::size_t kEchoOffset = 8;
constexpr std::size_t kEchoBytes = 8;
} // namespace report

Report makeStatusReport(const StatusInputs& inputs);

} // namespace kousb::sim
