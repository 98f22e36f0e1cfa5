// SPDX-License-Identifier: MIT
#include "simboard.h"

#include "../formats/bitfile.h"

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

}  // namespace

SimBoard::SimBoard(std::string path, BoardState config)
    : SimBoard(std::make_shared<SimTransport>(std::move(path), std::move(config)))
{
}

SimBoard::SimBoard(std::shared_ptr<SimTransport> transport) : Fx2Board(transport), m_transport(std::move(transport)) {}

// The design's name is in the file's header, which the FPGA never sees.
Status SimBoard::downloadXilinx(const std::string& path)
{
    formats::BitHeader header;
    if (formats::readBitFile(path, header))
        m_transport->nameDesign(printableText(formats::bitDesignName(header.design)));
    return Fx2Board::downloadXilinx(path);
}

Status SimBoard::loadFirmware(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    m_transport->nameFirmware(printableText(slash == std::string::npos ? path : path.substr(slash + 1)));
    return Fx2Board::loadFirmware(path);
}

}  // namespace kousb::sim
