#pragma once
#include <cstddef>

namespace kousb::sim {

// How long the simulated board's transfers take, so that software timing
// them sees what it would see on a USB 2.0 high-speed link.

// Blocks for one control-transfer round trip (a register access).
void waitControlTransfer();

// Blocks for one bulk transfer of `bytes` at `rateMBps` Mbyte/s.
void waitBulkTransfer(std::size_t bytes, double rateMBps);

} // namespace kousb::sim
