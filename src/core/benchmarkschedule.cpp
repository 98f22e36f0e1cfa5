// SPDX-License-Identifier: MIT
#include "benchmarkschedule.h"

#include <cmath>

namespace benchmark {

std::array<Pass, kPasses> schedule()
{
    std::array<Pass, kPasses> passes;
    for (int k = 1; k <= kPasses; ++k)
        passes[k - 1] = pass(k);
    return passes;
}

long long totalBytesPerDirection()
{
    long long total = 0;
    for (const Pass& p : schedule())
        total += p.bytesPerDirection();
    return total;
}

std::optional<double> transferRate(double kbytes, int repetitions, std::int64_t elapsedNs)
{
    if (elapsedNs <= 0 || repetitions <= 0)
        return std::nullopt;
    const double rate = kbytes / (milliseconds(elapsedNs) / repetitions);
    if (!std::isfinite(rate))
        return std::nullopt;
    return rate;
}

std::optional<double> accessRateKHz(int count, std::int64_t elapsedNs)
{
    if (elapsedNs <= 0 || count <= 0)
        return std::nullopt;
    const double rate = count / milliseconds(elapsedNs);
    if (!std::isfinite(rate))
        return std::nullopt;
    return rate;
}

}  // namespace benchmark
