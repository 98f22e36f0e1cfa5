#include "simboard.h"

#include "../eepromlayout.h"
#include "../atomicfile.h"

#include <cstdio>
#include <sys/stat.h>

namespace kousb::sim {

SimBoard::SimBoard(std::string path, BoardState state) : m_path(std::move(path)), m_state(std::move(state)) {}

bool SimBoard::plugged() const
{
    struct stat st;
    return ::stat(m_path.c_str(), &st) == 0;
}

Status SimBoard::persist(bool durable)
{
    std::string error;
    if (!plugged())
        return Status::error(ErrorCode::Unplugged);
    if (!writeFileAtomic(m_path, formatBoardFile(m_state), WriteMode::ReplaceExisting, error, durable))
        return plugged() ? Status::error(ErrorCode::Io, error) : Status::error(ErrorCode::Unplugged);
    return Status::ok();
}

BoardIdentity SimBoard::identity()
{
    return eeprom::readIdentity(m_state.eeprom);
}

std::string SimBoard::endpointInfo()
{
    char rate[32];
    std::snprintf(rate, sizeof rate, "%.1f", m_state.bulkRateMBps);
    std::string text;
    text += "Simulated board, slot " + std::to_string(m_state.slot) + " (" + m_path + ")\n";
    text += "Controller firmware: "
        + (m_state.controllerFirmware.empty() ? std::string("none (boot loader)") : m_state.controllerFirmware)
        + "\n";
    text += "FPGA " + m_state.fpgaPart + ": "
        + (m_state.fpgaDesign.empty() ? std::string("not configured") : "configured with " + m_state.fpgaDesign)
        + "\n";
    text += "Endpoints:\n";
    text += "  EP0      control    in/out  max packet 64\n";
    text += "  EP1 OUT  interrupt  out     max packet 64\n";
    text += "  EP1 IN   interrupt  in      max packet 64\n";
    text += "  EP2 OUT  bulk       out     max packet 512\n";
    text += "  EP6 IN   bulk       in      max packet 512\n";
    text += std::string("Bulk rate: ") + rate + " Mbyte/s";
    return text;
}

Status SimBoard::notYet(const char* operation) const
{
    if (!plugged())
        return Status::error(ErrorCode::Unplugged);
    return Status::error(ErrorCode::NotSupported, std::string(operation) + " is not simulated");
}

Status SimBoard::writeId(std::int32_t id)
{
    return changeEeprom([&](std::vector<std::uint8_t>& image) {
        eeprom::writeId(image, id);
        return Status::ok();
    });
}

Status SimBoard::writeName(const std::string& name)
{
    return changeEeprom([&](std::vector<std::uint8_t>& image) {
        if (!eeprom::writeName(image, name))
            return Status::error(ErrorCode::InvalidArgument,
                                 "a name holds at most " + std::to_string(eeprom::kMaxNameLength)
                                     + " characters and no NUL");
        return Status::ok();
    });
}

Status SimBoard::writeClass(std::uint8_t deviceClass)
{
    return changeEeprom([&](std::vector<std::uint8_t>& image) {
        eeprom::writeClass(image, deviceClass);
        return Status::ok();
    });
}

} // namespace kousb::sim
