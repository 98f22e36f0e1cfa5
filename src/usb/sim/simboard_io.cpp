// The simulated board's access paths: external bus, FPGA registers,
// controller memory, I2C, SPI, UART, command pipe and interrupt reports.
// (The bulk pipe is in simboard_bulk.cpp.)
//
// Each path reaches a part of its own, so that a write followed by a read
// gives back what a real board of this kind would:
//
//   External    64 KiB external-bus memory, byte-addressed (memoryspace.h)
//   FPGA        the FPGA's register file, 64 Ki byte registers; answers only
//               while a configuration is loaded (m_state.fpgaDesign is not
//               empty), otherwise NotConfigured
//   Controller  the controller's 64 KiB memory space (m_controllerMemory),
//               internal RAM at the bottom
//   I2C         a bus with 7-bit addresses:
//                 0x48  temperature sensor, LM75-compatible (tempsensor.h)
//                 0x51  the boot EEPROM, 24LC128-class, two-byte offsets
//                       (i2ceeprom.h); its bytes are the board file's EEPROM
//               any other address is not acknowledged (NoAcknowledge), and
//               an address above 0x7F is no 7-bit address (InvalidArgument)
//   SPI         a 2 MiB serial flash (spiflash.h)
//   UART        a loopback with a 256-byte receive queue (uartloopback.h)
//   Command     write-only; the bytes are only recorded (below)
//   Interrupt   16-byte reports; a read gets the status report of
//               statusreport.h, a write is kept and echoed in later reports
//
// The 16-bit spaces wrap at the top: a transfer running past 0xFFFF goes on
// at 0x0000. Every register-style call (External, FPGA, Controller, I2C,
// SPI) costs one control-transfer round trip (waitControlTransfer), also
// when the board refuses it; a call on an unplugged board fails at once.
//
// Only the EEPROM survives a restart of the library (it is in the board
// file, written durably on each change); the other parts live in memory and
// start zeroed (SPI flash: erased, 0xFF). Each successful write, in every
// mode here, is also recorded in the board file as the mode's last write
// (length and first 16 bytes), which `kousb-sim show` prints.
#include "simboard.h"

#include "simtiming.h"

#include <algorithm>
#include <cstdio>

namespace kousb::sim {

namespace {

// Names under which the last writes are recorded: the IO modes' names.
constexpr const char* kExternal = "External";
constexpr const char* kFpga = "FPGA";
constexpr const char* kController = "Controller";
constexpr const char* kI2c = "I2C";
constexpr const char* kSpi = "SPI";
constexpr const char* kUart = "UART";
constexpr const char* kCommand = "Command";
constexpr const char* kInterrupt = "Interrupt";

std::string hexByte(unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value);
    return text;
}

Status checkI2cAddress(std::uint8_t address)
{
    if (address > 0x7F)
        return Status::error(ErrorCode::InvalidArgument, hexByte(address) + " is not a 7-bit I2C address");
    if (address != TempSensor::kAddress && address != I2cEeprom::kAddress)
        return Status::error(ErrorCode::NoAcknowledge, "I2C address " + hexByte(address) + " (the board has "
                                 + hexByte(TempSensor::kAddress) + " temperature sensor, "
                                 + hexByte(I2cEeprom::kAddress) + " EEPROM)");
    return Status::ok();
}

} // namespace

Status SimBoard::beginAccess() const
{
    return plugged() ? Status::ok() : Status::error(ErrorCode::Unplugged);
}

Status SimBoard::beginRegisterAccess() const
{
    if (Status s = beginAccess(); !s)
        return s;
    waitControlTransfer();
    return Status::ok();
}

Status SimBoard::recordWrite(const char* mode, const std::uint8_t* data, std::size_t length)
{
    BoardState::LastWrite& last = m_state.lastWrites[mode];
    last.length = length;
    last.head.assign(data, data + std::min(length, kLastWriteBytes));
    return persist(false);
}

// External bus ---------------------------------------------------------------

Status SimBoard::readExternal(std::uint16_t address, std::uint8_t* data, std::size_t length)
{
    if (Status s = beginRegisterAccess(); !s)
        return s;
    readSpace(m_externalMemory, address, data, length);
    return Status::ok();
}

Status SimBoard::writeExternal(std::uint16_t address, const std::uint8_t* data, std::size_t length)
{
    if (Status s = beginRegisterAccess(); !s)
        return s;
    writeSpace(m_externalMemory, address, data, length);
    return recordWrite(kExternal, data, length);
}

// FPGA registers -------------------------------------------------------------

namespace {

Status fpgaNotConfigured()
{
    return Status::error(ErrorCode::NotConfigured, "the FPGA is not configured (load a .bit file first)");
}

} // namespace

Status SimBoard::readXilinx(std::uint16_t address, std::uint8_t* data, std::size_t length)
{
    if (Status s = beginRegisterAccess(); !s)
        return s;
    if (m_state.fpgaDesign.empty())
        return fpgaNotConfigured();
    readSpace(m_fpgaRegisters, address, data, length);
    return Status::ok();
}

Status SimBoard::writeXilinx(std::uint16_t address, const std::uint8_t* data, std::size_t length)
{
    if (Status s = beginRegisterAccess(); !s)
        return s;
    if (m_state.fpgaDesign.empty())
        return fpgaNotConfigured();
    writeSpace(m_fpgaRegisters, address, data, length);
    return recordWrite(kFpga, data, length);
}

// Controller memory ----------------------------------------------------------

Status SimBoard::read8051(std::uint16_t address, std::uint8_t* data, std::size_t length)
{
    if (Status s = beginRegisterAccess(); !s)
        return s;
    readSpace(m_controllerMemory, address, data, length);
    return Status::ok();
}

Status SimBoard::write8051(std::uint16_t address, const std::uint8_t* data, std::size_t length)
{
    if (Status s = beginRegisterAccess(); !s)
        return s;
    writeSpace(m_controllerMemory, address, data, length);
    return recordWrite(kController, data, length);
}

// I2C ------------------------------------------------------------------------

Status SimBoard::readI2C(std::uint8_t address, std::uint8_t* data, std::size_t length)
{
    if (Status s = beginRegisterAccess(); !s)
        return s;
    if (Status s = checkI2cAddress(address); !s)
        return s;
    if (address == I2cEeprom::kAddress)
        m_i2cEeprom.read(m_state.eeprom, data, length);
    else
        m_tempSensor.read(data, length);
    return Status::ok();
}

Status SimBoard::writeI2C(std::uint8_t address, const std::uint8_t* data, std::size_t length)
{
    if (Status s = beginRegisterAccess(); !s)
        return s;
    if (Status s = checkI2cAddress(address); !s)
        return s;
    if (address == TempSensor::kAddress) {
        if (Status s = m_tempSensor.write(data, length); !s)
            return s;
    } else if (!I2cEeprom::writesData(length)) {
        m_i2cEeprom.write(m_state.eeprom, data, length);  // moves the address counter only
    } else {
        const I2cEeprom before = m_i2cEeprom;
        Status written = changeEeprom([&](std::vector<std::uint8_t>& image) {
            m_i2cEeprom.write(image, data, length);
            return Status::ok();
        });
        if (!written) {
            m_i2cEeprom = before;
            return written;
        }
    }
    return recordWrite(kI2c, data, length);
}

// SPI ------------------------------------------------------------------------

Status SimBoard::readSPI(std::int32_t address, std::uint8_t* data, std::size_t length)
{
    if (Status s = beginRegisterAccess(); !s)
        return s;
    return m_spiFlash.read(address, data, length);
}

Status SimBoard::writeSPI(std::int32_t address, const std::uint8_t* data, std::size_t length)
{
    if (Status s = beginRegisterAccess(); !s)
        return s;
    if (Status s = m_spiFlash.write(address, data, length); !s)
        return s;
    return recordWrite(kSpi, data, length);
}

// UART -----------------------------------------------------------------------

// A read delivers what is queued, up to `length`; the rest of the buffer is
// left as it was.
Status SimBoard::readSerial(std::uint8_t* data, std::size_t length, std::size_t& received)
{
    received = 0;
    if (Status s = beginAccess(); !s)
        return s;
    received = m_uart.read(data, length);
    return Status::ok();
}

Status SimBoard::writeSerial(const std::uint8_t* data, std::size_t length)
{
    if (Status s = beginAccess(); !s)
        return s;
    m_uart.write(data, length);
    return recordWrite(kUart, data, length);
}

// Command pipe ---------------------------------------------------------------

Status SimBoard::writeCommand(const std::uint8_t* data, std::size_t length)
{
    if (Status s = beginAccess(); !s)
        return s;
    return recordWrite(kCommand, data, length);
}

// Interrupt reports ----------------------------------------------------------

Status SimBoard::readInterrupt(std::uint8_t* report)
{
    if (Status s = beginAccess(); !s)
        return s;
    m_reportSequence = (m_reportSequence + 1) & 0xFFFF;
    StatusInputs in;
    in.fpgaConfigured = !m_state.fpgaDesign.empty();
    in.firmwareRunning = !m_state.controllerFirmware.empty();
    in.uartOverrun = m_uart.overrun();
    in.uartQueued = m_uart.queued();
    in.temperature = TempSensor::wholeDegrees();
    in.hostReports = m_hostReports;
    in.sequence = m_reportSequence;
    in.lastHostReport = m_lastHostReport;
    const Report r = makeStatusReport(in);
    std::copy(r.begin(), r.end(), report);
    m_uart.clearOverrun();
    return Status::ok();
}

Status SimBoard::writeInterrupt(const std::uint8_t* report)
{
    if (Status s = beginAccess(); !s)
        return s;
    std::copy_n(report, kInterruptReportSize, m_lastHostReport.begin());
    ++m_hostReports;
    return recordWrite(kInterrupt, report, kInterruptReportSize);
}

} // namespace kousb::sim
