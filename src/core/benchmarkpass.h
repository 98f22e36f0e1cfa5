#pragma once
// Timing one pass of the transfer benchmark on a board: the one stopwatch
// the "Benchmark" page, `kousb bench` and udm-bench all use, so that their
// figures are measured the same way. Plain C++17, no Qt.
#include "benchmarkschedule.h"

#include <cstdint>
#include <optional>

class KoUSBDevice;

namespace benchmark {

enum class Direction { Write, Read };

// Runs one direction of `pass`: `pass.repetitions` block transfers of
// `pass.bytes` from or into `buffer` (at least kBufferBytes long), timed on
// the steady clock around the transfers alone. The nanoseconds they took, or
// none at the first failed call (the device's last error says why).
std::optional<std::int64_t> timePass(KoUSBDevice& device, Direction direction, unsigned char* buffer,
                                     const Pass& pass);

// Times kSingleByteReads one-byte FPGA register reads at kSingleByteAddress,
// each a control transfer; none at the first failed read.
std::optional<std::int64_t> timeSingleByteReads(KoUSBDevice& device);

} // namespace benchmark
