#pragma once
#include "../board.h"
#include "boardfile.h"
#include "bulkpipe.h"
#include "i2ceeprom.h"
#include "memoryspace.h"
#include "spiflash.h"
#include "statusreport.h"
#include "tempsensor.h"
#include "uartloopback.h"

#include <string>
#include <vector>

namespace kousb::sim {

// A simulated board, backed by its board file. State that a real board keeps
// across power cycles (the EEPROM and what is configured) is written back to
// the file atomically after each change; a board whose file has been removed
// is unplugged, and every call on it fails.
class SimBoard : public Board {
public:
    SimBoard(std::string path, BoardState state);

    const std::string& path() const { return m_path; }
    const std::string& instance() const { return m_state.instance; }

    BoardIdentity identity() override;
    std::string endpointInfo() override;

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
    Status loadEepromImageWithProgress(const std::string& path, const Progress& progress) override;
    std::size_t eepromSize() override;
    Status readEeprom(std::size_t offset, std::uint8_t* data, std::size_t length) override;

    Status writeId(std::int32_t id) override;
    Status writeName(const std::string& name) override;
    Status writeClass(std::uint8_t deviceClass) override;

private:
    bool plugged() const;
    // Writes the state to the board file; `durable` for EEPROM contents.
    Status persist(bool durable);
    // Applies `change` to the EEPROM and persists it; if the change fails, or
    // the write does, the EEPROM in memory is put back, so memory and file
    // never disagree and a refused change leaves the EEPROM as it was.
    template <typename Change>
    Status changeEeprom(Change&& change);
    Status notYet(const char* operation) const;
    // Access paths (simboard_io.cpp): the checks and costs of one call, and
    // the record of the last bytes written in an IO mode.
    Status beginAccess() const;
    Status beginRegisterAccess() const;
    Status recordWrite(const char* mode, const std::uint8_t* data, std::size_t length);

    std::string m_path;
    BoardState m_state;
    // The controller's 64 KiB memory space (internal RAM at the bottom);
    // lost at power-off, so it is not in the board file.
    std::vector<std::uint8_t> m_controllerMemory = std::vector<std::uint8_t>(64 * 1024, 0);

    // The other access paths' parts, also lost at power-off (simboard_io.cpp).
    std::vector<std::uint8_t> m_externalMemory = std::vector<std::uint8_t>(kSpace16Bytes, 0);
    std::vector<std::uint8_t> m_fpgaRegisters = std::vector<std::uint8_t>(kSpace16Bytes, 0);
    I2cEeprom m_i2cEeprom;  // the chip's address counter; its bytes are m_state.eeprom
    TempSensor m_tempSensor;
    SpiFlash m_spiFlash;
    UartLoopback m_uart;
    Report m_lastHostReport{};
    unsigned m_hostReports = 0;
    unsigned m_reportSequence = 0;
    // The "Block" endpoints' loopback FIFO; also lost at power-off.
    BulkPipe m_bulk;
};

// In the header because each subsystem's file (simboard.cpp for the identity,
// simboard_firmware.cpp for the EEPROM flash) instantiates it.
template <typename Change>
Status SimBoard::changeEeprom(Change&& change)
{
    if (!plugged())
        return Status::error(ErrorCode::Unplugged);
    const std::vector<std::uint8_t> before = m_state.eeprom;
    if (Status s = change(m_state.eeprom); !s) {
        m_state.eeprom = before;  // a change may fail half-way (a flash, say)
        return s;
    }
    Status saved = persist(true);
    if (!saved)
        m_state.eeprom = before;
    return saved;
}

} // namespace kousb::sim
