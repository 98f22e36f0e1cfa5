#include "simtiming.h"

namespace kousb::sim {

void waitControlTransfer() {}

void waitBulkTransfer(std::size_t, double) {}

} // namespace kousb::sim
