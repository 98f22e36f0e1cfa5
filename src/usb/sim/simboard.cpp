// SPDX-License-Identifier: MIT
#include "simboard.h"

#include "../formats/bitfile.h"

#include <cstdio>

namespace kousb::sim {

namespace {

// The board file is line-based text; a name from a file must not break it.
std::string printableText(const std::string& text)
{
    std::string out = text;
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = '?';
    return out;
}

// A simulated board knows the chips on its bus, so an address where there is
// none is told with them.
Status withBusChips(Status status, std::uint8_t address)
{
    if (status.code() != ErrorCode::NoAcknowledge || address == fwmodel::kSensorAddress
        || address == fwmodel::kEepromAddress)
        return status;
    char chips[64];
    std::snprintf(chips, sizeof chips, " (the board has 0x%02X temperature sensor, 0x%02X EEPROM)",
                  fwmodel::kSensorAddress, fwmodel::kEepromAddress);
    return Status::error(ErrorCode::NoAcknowledge, status.detail() + chips);
}

}  // namespace

SimBoard::SimBoard(std::string path, BoardState config)
    : SimBoard(std::make_shared<SimTransport>(std::move(path), std::move(config)))
{
}

SimBoard::SimBoard(std::shared_ptr<SimTransport> transport) : Fx2Board(transport), m_transport(std::move(transport)) {}

Status SimBoard::readI2C(std::uint8_t address, std::uint8_t* data, std::size_t length)
{
    return withBusChips(Fx2Board::readI2C(address, data, length), address);
}

Status SimBoard::writeI2C(std::uint8_t address, const std::uint8_t* data, std::size_t length)
{
    return withBusChips(Fx2Board::writeI2C(address, data, length), address);
}

// The design's name is in the file's header, which the FPGA never sees.
Status SimBoard::downloadXilinx(const std::string& path)
{
    formats::BitHeader header;
    if (formats::readBitFile(path, header))
        m_transport->nameDesign(printableText(formats::bitDesignName(header.design)));
    return Fx2Board::downloadXilinx(path);
}

// loadFirmware comes here too.
Status SimBoard::loadFirmwareWaiting(const std::string& path, std::chrono::milliseconds backWithin)
{
    const auto slash = path.find_last_of('/');
    m_transport->nameFirmware(printableText(slash == std::string::npos ? path : path.substr(slash + 1)));
    return Fx2Board::loadFirmwareWaiting(path, backWithin);
}

}  // namespace kousb::sim
