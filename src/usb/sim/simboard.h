// SPDX-License-Identifier: MIT
#pragma once
#include "../board.h"
#include "../boardserial.h"
#include "boardfile.h"
#include "i2cbus.h"
#include "sharedboard.h"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace kousb::sim {

// A simulated board: its board file (configuration, and the EEPROM written
// through on each change) and its state file (everything the board holds
// while powered, mapped shared by every process using the board). Each call
// holds the board's process-shared lock while it touches the state, so calls
// from different processes interleave whole, and each sees what the last one
// left. A board whose file has been removed, or replugged since, is
// unplugged, and every call on it fails.
class SimBoard : public Board {
public:
    // `config` is the board file's content as read when the board appeared.
    SimBoard(std::string path, BoardState config);
    ~SimBoard() override;

    const std::string& path() const { return m_path; }
    const std::string& instance() const { return m_config.instance; }
    // Why the board's state cannot be shared (its state file); empty when it can.
    const std::string& openError() const { return m_openError; }
    // True when another process has changed what this board shows (identity,
    // EEPROM, FPGA design, firmware) since the last call; changes made through
    // this object do not count. Any thread.
    bool changedElsewhere() { return m_shared && m_shared->changedElsewhere(); }

    BoardIdentity identity() override;
    std::string endpointInfo() override;
    std::string place() override { return "sim-" + std::to_string(m_config.slot); }
    // As the firmware makes it, from the ID the board holds now.
    std::string serial() override { return firmwareSerial(identity().id); }

    Status readExternal(std::uint16_t address, std::uint8_t* data, std::size_t length) override;
    Status writeExternal(std::uint16_t address, const std::uint8_t* data, std::size_t length) override;
    Status readXilinx(std::uint16_t address, std::uint8_t* data, std::size_t length) override;
    Status writeXilinx(std::uint16_t address, const std::uint8_t* data, std::size_t length) override;
    Status read8051(std::uint16_t address, std::uint8_t* data, std::size_t length) override;
    Status write8051(std::uint16_t address, const std::uint8_t* data, std::size_t length) override;
    Status readI2C(std::uint8_t address, std::uint8_t* data, std::size_t length) override;
    Status writeI2C(std::uint8_t address, const std::uint8_t* data, std::size_t length) override;
    Status readSPI(std::int32_t address, std::uint8_t* data, std::size_t length) override;
    Status writeSPI(std::int32_t address, const std::uint8_t* data, std::size_t length) override;
    Status readSerial(std::uint8_t* data, std::size_t length, std::size_t& received) override;
    Status writeSerial(const std::uint8_t* data, std::size_t length) override;
    Status writeCommand(const std::uint8_t* data, std::size_t length) override;
    Status readInterrupt(std::uint8_t* report) override;
    Status writeInterrupt(const std::uint8_t* report) override;
    Status readBlock(std::uint8_t* data, std::size_t length) override;
    Status writeBlock(const std::uint8_t* data, std::size_t length) override;

    Status downloadXilinx(const std::string& path) override;
    Status loadFirmware(const std::string& path) override;
    Status loadEepromImage(const std::string& path) override;

    // EEPROM read-back, and the flash with progress (simboard_firmware.cpp).
    Status loadEepromImageWithProgress(const std::string& path, const EepromFlashOptions& options,
                                       EepromFlashReport& report) override;
    std::size_t eepromSize() override;
    Status readEeprom(std::size_t offset, std::uint8_t* data, std::size_t length) override;

    Status writeId(std::int32_t id) override;
    Status writeName(const std::string& name) override;
    Status writeClass(std::uint8_t deviceClass) override;

private:
    class EepromOnBus;
    class SensorOnBus;

    // Runs `work` on the shared state under the board's lock; Unplugged when
    // the board has gone. Brings the board file up to date first if a killed
    // process left it behind.
    template <typename Work>
    Status withBoard(Work&& work);
    // A register-style call: withBoard, then the rest of one control-transfer
    // round trip counted from the call's start (also when refused).
    template <typename Work>
    Status registerCall(Work&& work);
    bool pluggedLocked() const;
    // Writes the shared EEPROM through to the board file (caller holds the lock).
    Status writeThrough();
    // Applies `change` to a copy of the EEPROM and, if it succeeds, puts the
    // copy in place and writes it through (caller holds the lock). A failed
    // change, or a failed write, leaves the EEPROM as it was.
    template <typename Change>
    Status changeEeprom(Change&& change);
    template <typename Change>
    Status changeEepromCall(Change&& change);
    void recordWrite(IoMode mode, const std::uint8_t* data, std::size_t length);
    BoardRam& ram() { return m_shared->state().ram; }

    std::string m_path;
    BoardState m_config;
    std::string m_openError;
    BoardIdentity m_lastIdentity;
    std::unique_ptr<SharedBoard> m_shared;
    std::unique_ptr<EepromOnBus> m_eepromOnBus;
    std::unique_ptr<SensorOnBus> m_sensorOnBus;
    I2cBus m_bus;
};

// The state file of a board file: DIR/slot-NN.board -> DIR/powered/slot-NN.state.
// A folder of their own, so that mapping and changing them stirs no watcher
// of the board folder.
constexpr const char* kStateFolder = "powered";
std::string stateFilePath(const std::string& boardFilePath);

template <typename Work>
Status SimBoard::withBoard(Work&& work)
{
    if (!m_shared)
        return Status::error(ErrorCode::Io, m_openError);
    SharedBoard::Lock lock(*m_shared);
    if (!pluggedLocked())
        return Status::error(ErrorCode::Unplugged);
    if (m_shared->state().fileBehind) {
        if (Status s = writeThrough(); !s)
            return s;
    }
    return work(m_shared->state());
}

template <typename Change>
Status SimBoard::changeEeprom(Change&& change)
{
    SharedBoardState& s = m_shared->state();
    std::vector<std::uint8_t> image(s.eeprom, s.eeprom + eeprom::kSize);
    if (Status c = change(image); !c)
        return c;
    std::copy(s.eeprom, s.eeprom + eeprom::kSize, s.eepromBefore);
    s.changeUnderWay = 1;
    std::copy(image.begin(), image.end(), s.eeprom);
    Status saved = writeThrough();
    if (saved)
        m_shared->noteChange();
    else
        std::copy(s.eepromBefore, s.eepromBefore + eeprom::kSize, s.eeprom);
    s.changeUnderWay = 0;
    return saved;
}

template <typename Change>
Status SimBoard::changeEepromCall(Change&& change)
{
    return withBoard([&](SharedBoardState&) { return changeEeprom(change); });
}

}  // namespace kousb::sim
