// SPDX-License-Identifier: MIT
#pragma once
#include "../board.h"
#include "kousb_protocol.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace kousb::sim {

// The simulated board's interrupt status report: what ReadInterrupt gets,
// always kInterruptReportSize (16) bytes. The layout is the one our board
// firmware sends too, described in libusb/protocol_defs.h.
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
constexpr std::uint8_t kTypeStatus = KOUSB_REPORT_TYPE_STATUS;
constexpr std::uint8_t kFlagFpgaConfigured = KOUSB_REPORT_FPGA_CONFIGURED;
constexpr std::uint8_t kFlagFirmwareRunning = KOUSB_REPORT_FIRMWARE_RUNNING;
constexpr std::uint8_t kFlagUartOverrun = KOUSB_REPORT_UART_OVERRUN;
constexpr std::size_t kEchoOffset = KOUSB_REPORT_ECHO_OFFSET;
constexpr std::size_t kEchoBytes = KOUSB_REPORT_ECHO_BYTES;
}  // namespace report

Report makeStatusReport(const StatusInputs& inputs);

}  // namespace kousb::sim
