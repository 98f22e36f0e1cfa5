// SPDX-License-Identifier: MIT
#include "simboard.h"

#include "../atomicfile.h"
#include "../eepromlayout.h"
#include "simtiming.h"

#include <cstdio>
#include <sys/stat.h>

namespace kousb::sim {

std::string stateFilePath(const std::string& boardFilePath)
{
    const auto slash = boardFilePath.find_last_of('/');
    const std::string dir = slash == std::string::npos ? "." : boardFilePath.substr(0, slash);
    std::string name = slash == std::string::npos ? boardFilePath : boardFilePath.substr(slash + 1);
    const std::string suffix = ".board";
    if (name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
        name.resize(name.size() - suffix.size());
    return dir + "/" + kStateFolder + "/" + name + ".state";
}

// The boot EEPROM as the bus reaches it; data writes go through the board's
// EEPROM change, so they are written through to the board file.
class SimBoard::EepromOnBus : public I2cDevice {
public:
    explicit EepromOnBus(SimBoard& board) : m_board(board) {}
    const char* name() const override { return "EEPROM"; }

    Status write(const std::uint8_t* data, std::size_t length) override
    {
        I2cEeprom& chip = m_board.ram().eepromChip;
        if (!I2cEeprom::writesData(length)) {
            SharedBoardState& s = m_board.m_shared->state();
            chip.write(s.eeprom, eeprom::kSize, data, length);  // moves the address counter only
            return Status::ok();
        }
        const I2cEeprom before = chip;
        Status written = m_board.changeEeprom([&](std::vector<std::uint8_t>& image) {
            chip.write(image.data(), image.size(), data, length);
            return Status::ok();
        });
        if (!written)
            chip = before;
        return written;
    }

    Status read(std::uint8_t* data, std::size_t length) override
    {
        m_board.ram().eepromChip.read(m_board.m_shared->state().eeprom, eeprom::kSize, data, length);
        return Status::ok();
    }

private:
    SimBoard& m_board;
};

class SimBoard::SensorOnBus : public I2cDevice {
public:
    explicit SensorOnBus(SimBoard& board) : m_board(board) {}
    const char* name() const override { return "temperature sensor"; }
    Status write(const std::uint8_t* data, std::size_t length) override
    {
        return m_board.ram().tempSensor.write(data, length);
    }
    Status read(std::uint8_t* data, std::size_t length) override
    {
        m_board.ram().tempSensor.read(data, length);
        return Status::ok();
    }

private:
    SimBoard& m_board;
};

SimBoard::SimBoard(std::string path, BoardState config)
    : m_path(std::move(path))
    , m_config(std::move(config))
    , m_eepromOnBus(std::make_unique<EepromOnBus>(*this))
    , m_sensorOnBus(std::make_unique<SensorOnBus>(*this))
{
    m_config.lastWrites.clear();
    m_lastIdentity = eeprom::readIdentity(m_config.eeprom);
    m_shared = SharedBoard::open(stateFilePath(m_path), m_config, m_openError);
    m_bus.attach(TempSensor::kAddress, *m_sensorOnBus);
    m_bus.attach(I2cEeprom::kAddress, *m_eepromOnBus);
}

SimBoard::~SimBoard() = default;

bool SimBoard::pluggedLocked() const
{
    struct stat st;
    return m_shared->belongsTo(m_config.instance) && ::stat(m_path.c_str(), &st) == 0;
}

Status SimBoard::writeThrough()
{
    SharedBoardState& s = m_shared->state();
    BoardState file = m_config;
    file.eeprom.assign(s.eeprom, s.eeprom + eeprom::kSize);
    std::string error;
    if (!writeFileAtomic(m_path, formatBoardFile(file), WriteMode::ReplaceExisting, error)) {
        struct stat st;
        return ::stat(m_path.c_str(), &st) == 0 ? Status::error(ErrorCode::Io, error)
                                                : Status::error(ErrorCode::Unplugged);
    }
    s.fileBehind = 0;
    return Status::ok();
}

void SimBoard::recordWrite(IoMode mode, const std::uint8_t* data, std::size_t length)
{
    BoardRam::LastWrite& last = ram().lastWrites[static_cast<int>(mode)];
    last.length = length;
    last.headLength = static_cast<std::uint8_t>(std::min(length, kLastWriteBytes));
    std::copy_n(data, last.headLength, last.head);
    last.written = true;
}

BoardIdentity SimBoard::identity()
{
    // An unplugged board still shows what it last held, until it leaves the list.
    withBoard([&](SharedBoardState& s) {
        m_lastIdentity = eeprom::readIdentity(std::vector<std::uint8_t>(s.eeprom, s.eeprom + eeprom::kSize));
        return Status::ok();
    });
    return m_lastIdentity;
}

std::string SimBoard::endpointInfo()
{
    std::string firmware, design;
    withBoard([&](SharedBoardState& s) {
        firmware = s.ram.controllerFirmware;
        design = s.ram.fpgaDesign;
        return Status::ok();
    });
    char rate[32];
    std::snprintf(rate, sizeof rate, "%.1f", m_config.bulkRateMBps);
    std::string text;
    text += "Simulated board, slot " + std::to_string(m_config.slot) + " (" + m_path + ")\n";
    text += "Controller firmware: " + (firmware.empty() ? std::string("none (boot loader)") : firmware) + "\n";
    text += "FPGA " + m_config.fpgaPart + ": "
            + (design.empty() ? std::string("not configured") : "configured with " + design) + "\n";
    text += "Endpoints:\n";
    text += "  EP0      control    in/out  max packet 64\n";
    text += "  EP1 OUT  interrupt  out     max packet 64\n";
    text += "  EP1 IN   interrupt  in      max packet 64\n";
    text += "  EP2 OUT  bulk       out     max packet 512\n";
    text += "  EP6 IN   bulk       in      max packet 512\n";
    text += std::string("Bulk rate: ") + rate + " Mbyte/s";
    return text;
}

Status SimBoard::writeId(std::int32_t id)
{
    return changeEepromCall([&](std::vector<std::uint8_t>& image) {
        eeprom::writeId(image, id);
        return Status::ok();
    });
}

Status SimBoard::writeName(const std::string& name)
{
    return changeEepromCall([&](std::vector<std::uint8_t>& image) {
        if (!eeprom::writeName(image, name))
            return Status::error(
                ErrorCode::InvalidArgument,
                "a name holds at most " + std::to_string(eeprom::kMaxNameLength) + " characters and no NUL");
        return Status::ok();
    });
}

Status SimBoard::writeClass(std::uint8_t deviceClass)
{
    return changeEepromCall([&](std::vector<std::uint8_t>& image) {
        eeprom::writeClass(image, deviceClass);
        return Status::ok();
    });
}

}  // namespace kousb::sim
