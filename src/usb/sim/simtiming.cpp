// SPDX-License-Identifier: MIT
// The simulated board's timing model; see simtiming.h for the model and its constants.
#include "simtiming.h"

#include <cmath>
#include <thread>

namespace kousb::sim {

namespace timing {

namespace {
// Keeps the conversion to nanoseconds finite for absurd sizes or rates.
constexpr double kLongestTransferSeconds = 3600.0;
}  // namespace

std::chrono::nanoseconds bulkTransferTime(std::size_t bytes, double rateMBps)
{
    if (!(rateMBps > 0))  // breaks the precondition: no time for the data
        return kBulkTransferOverhead;
    double seconds = static_cast<double>(bytes) / (rateMBps * kBytesPerSecondPerMBps);
    if (seconds > kLongestTransferSeconds)
        seconds = kLongestTransferSeconds;
    const auto data = std::chrono::nanoseconds(static_cast<long long>(std::llround(seconds * 1e9)));
    return kBulkTransferOverhead + data;
}

void waitUntil(Clock::time_point deadline)
{
    // Sleep while there is more than the margin left; a sleep may end early
    // (signals) or late, so look at the clock again after each one.
    for (auto left = deadline - Clock::now(); left > kSpinMargin; left = deadline - Clock::now())
        std::this_thread::sleep_for(left - kSpinMargin);
    while (Clock::now() < deadline) {
    }
}

}  // namespace timing

}  // namespace kousb::sim
