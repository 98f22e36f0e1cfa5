// SPDX-License-Identifier: MIT
#include "statusreport.h"

#include <algorithm>

namespace kousb::sim {

Report makeStatusReport(const StatusInputs& in)
{
    Report r{};
    r[0] = report::kTypeStatus;
    r[1] = static_cast<std::uint8_t>((in.fpgaConfigured ? report::kFlagFpgaConfigured : 0)
                                     | (in.firmwareRunning ? report::kFlagFirmwareRunning : 0)
                                     | (in.uartOverrun ? report::kFlagUartOverrun : 0));
    const std::size_t queued = std::min<std::size_t>(in.uartQueued, 0xFFFF);
    r[2] = static_cast<std::uint8_t>(queued);
    r[3] = static_cast<std::uint8_t>(queued >> 8);
    r[4] = static_cast<std::uint8_t>(static_cast<std::int8_t>(std::clamp(in.temperature, -128, 127)));
    r[5] = static_cast<std::uint8_t>(in.hostReports);
    r[6] = static_cast<std::uint8_t>(in.sequence);
    r[7] = static_cast<std::uint8_t>(in.sequence >> 8);
    std::copy_n(in.lastHostReport.begin(), report::kEchoBytes, r.begin() + report::kEchoOffset);
    return r;
}

}  // namespace kousb::sim
