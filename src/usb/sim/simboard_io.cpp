// The simulated board's access paths: external bus, FPGA registers,
// controller memory, I2C, SPI, UART, command pipe and interrupt reports.
#include "simboard.h"

namespace kousb::sim {

Status SimBoard::readExternal(std::uint16_t, std::uint8_t*, std::size_t) { return notYet("external bus"); }
Status SimBoard::writeExternal(std::uint16_t, const std::uint8_t*, std::size_t) { return notYet("external bus"); }
Status SimBoard::readXilinx(std::uint16_t, std::uint8_t*, std::size_t) { return notYet("FPGA access"); }
Status SimBoard::writeXilinx(std::uint16_t, const std::uint8_t*, std::size_t) { return notYet("FPGA access"); }
Status SimBoard::read8051(std::uint16_t, std::uint8_t*, std::size_t) { return notYet("controller memory"); }
Status SimBoard::write8051(std::uint16_t, const std::uint8_t*, std::size_t) { return notYet("controller memory"); }
Status SimBoard::readI2C(std::uint8_t, std::uint8_t*, std::size_t) { return notYet("I2C"); }
Status SimBoard::writeI2C(std::uint8_t, const std::uint8_t*, std::size_t) { return notYet("I2C"); }
Status SimBoard::readSPI(std::int32_t, std::uint8_t*, std::size_t) { return notYet("SPI"); }
Status SimBoard::writeSPI(std::int32_t, const std::uint8_t*, std::size_t) { return notYet("SPI"); }
Status SimBoard::readSerial(std::uint8_t*, std::size_t, std::size_t& received)
{
    received = 0;
    return notYet("UART");
}
Status SimBoard::writeSerial(const std::uint8_t*, std::size_t) { return notYet("UART"); }
Status SimBoard::writeCommand(const std::uint8_t*, std::size_t) { return notYet("command pipe"); }
Status SimBoard::readInterrupt(std::uint8_t*) { return notYet("interrupt transfer"); }
Status SimBoard::writeInterrupt(const std::uint8_t*) { return notYet("interrupt transfer"); }
} // namespace kousb::sim
