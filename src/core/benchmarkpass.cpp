#include "benchmarkpass.h"

#include "KoUSBLib.h"

#include <chrono>

namespace benchmark {

namespace {

using Clock = std::chrono::steady_clock;

std::int64_t nanosecondsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count();
}

} // namespace

std::optional<std::int64_t> timePass(KoUSBDevice& device, Direction direction, unsigned char* buffer,
                                     const Pass& pass)
{
    const Clock::time_point start = Clock::now();
    if (direction == Direction::Write) {
        for (int i = 0; i < pass.repetitions; ++i)
            if (!device.WriteBlock(buffer, pass.bytes))
                return std::nullopt;
    } else {
        for (int i = 0; i < pass.repetitions; ++i)
            if (!device.ReadBlock(buffer, pass.bytes))
                return std::nullopt;
    }
    return nanosecondsSince(start);
}

std::optional<std::int64_t> timeSingleByteReads(KoUSBDevice& device)
{
    unsigned char byte = 0;
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < kSingleByteReads; ++i)
        if (!device.ReadXilinx(kSingleByteAddress, &byte, 1))
            return std::nullopt;
    return nanosecondsSince(start);
}

} // namespace benchmark
