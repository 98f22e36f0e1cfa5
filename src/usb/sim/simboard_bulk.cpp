// The simulated board's bulk pipe.
#include "simboard.h"

namespace kousb::sim {

Status SimBoard::readBlock(std::uint8_t*, std::size_t) { return notYet("bulk transfer"); }
Status SimBoard::writeBlock(const std::uint8_t*, std::size_t) { return notYet("bulk transfer"); }


} // namespace kousb::sim
