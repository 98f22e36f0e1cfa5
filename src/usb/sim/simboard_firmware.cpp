// Firmware and EEPROM images loaded from files into the simulated board.
#include "simboard.h"

namespace kousb::sim {

Status SimBoard::downloadXilinx(const std::string&) { return notYet("FPGA configuration"); }
Status SimBoard::loadFirmware(const std::string&) { return notYet("controller firmware loading"); }
Status SimBoard::loadEepromImage(const std::string&) { return notYet("EEPROM flashing"); }

} // namespace kousb::sim
