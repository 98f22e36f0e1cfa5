// SPDX-License-Identifier: MIT
// The simulated board's access paths: external bus, FPGA registers,
// controller memory, I2C, SPI, UART, command pipe and interrupt reports.
// (The bulk pipe is in simboard_bulk.cpp.)
//
// Each path reaches a part of its own, so that a write followed by a read
// gives back what a real board of this kind would:
//
//   External    64 KiB external-bus memory, byte-addressed (memoryspace.h)
//   FPGA        the FPGA's register file, 64 Ki byte registers; answers only
//               while a configuration is loaded, otherwise NotConfigured
//   Controller  the controller's 64 KiB memory space, internal RAM at the
//               bottom and the second RAM at 0xE000
//   I2C         a bus with 7-bit addresses (i2cbus.h):
//                 0x48  temperature sensor, LM75-compatible (tempsensor.h)
//                 0x51  the boot EEPROM, 24LC128-class, two-byte offsets
//                       (i2ceeprom.h); written through to the board file
//   SPI         a 2 MiB serial flash (spiflash.h)
//   UART        a loopback with a 256-byte receive queue (uartloopback.h)
//   Command     write-only; the bytes are only recorded (below)
//   Interrupt   16-byte reports; a read gets the status report of
//               statusreport.h, a write is kept and echoed in later reports
//
// The 16-bit spaces wrap at the top: a transfer running past 0xFFFF goes on
// at 0x0000. Every register-style call (External, FPGA, Controller, I2C,
// SPI) takes one control-transfer round trip (waitControlTransfer) counted
// from its start, also when the board refuses it; a call on an unplugged
// board fails at once.
//
// All of these parts are in the board's shared state (sharedboard.h), so
// every process using the board sees them; they live while the board is
// plugged and start afresh when it is plugged again (SPI flash: erased,
// 0xFF; the rest zero). Each successful write, in every mode here, is also
// recorded as the mode's last write (length and first 16 bytes), which
// `kousb-sim show` prints.
#include "simboard.h"

#include "simtiming.h"

#include <algorithm>

namespace kousb::sim {

template <typename Work>
Status SimBoard::registerCall(Work&& work)
{
    const auto start = timing::Clock::now();
    Status result = withBoard(work);
    if (result.code() != ErrorCode::Unplugged)
        timing::waitUntil(start + timing::controlTransferTime());
    return result;
}

// External bus ---------------------------------------------------------------

Status SimBoard::readExternal(std::uint16_t address, std::uint8_t* data, std::size_t length)
{
    return registerCall([&](SharedBoardState& s) {
        readSpace(s.ram.externalMemory, address, data, length);
        return Status::ok();
    });
}

Status SimBoard::writeExternal(std::uint16_t address, const std::uint8_t* data, std::size_t length)
{
    return registerCall([&](SharedBoardState& s) {
        writeSpace(s.ram.externalMemory, address, data, length);
        recordWrite(IoMode::External, data, length);
        return Status::ok();
    });
}

// FPGA registers -------------------------------------------------------------

namespace {

Status fpgaNotConfigured()
{
    return Status::error(ErrorCode::NotConfigured, "the FPGA is not configured (load a .bit file first)");
}

}  // namespace

Status SimBoard::readXilinx(std::uint16_t address, std::uint8_t* data, std::size_t length)
{
    return registerCall([&](SharedBoardState& s) {
        if (s.ram.fpgaDesign[0] == '\0')
            return fpgaNotConfigured();
        readSpace(s.ram.fpgaRegisters, address, data, length);
        return Status::ok();
    });
}

Status SimBoard::writeXilinx(std::uint16_t address, const std::uint8_t* data, std::size_t length)
{
    return registerCall([&](SharedBoardState& s) {
        if (s.ram.fpgaDesign[0] == '\0')
            return fpgaNotConfigured();
        writeSpace(s.ram.fpgaRegisters, address, data, length);
        recordWrite(IoMode::Fpga, data, length);
        return Status::ok();
    });
}

// Controller memory ----------------------------------------------------------

Status SimBoard::read8051(std::uint16_t address, std::uint8_t* data, std::size_t length)
{
    return registerCall([&](SharedBoardState& s) {
        readSpace(s.ram.controllerMemory, address, data, length);
        return Status::ok();
    });
}

Status SimBoard::write8051(std::uint16_t address, const std::uint8_t* data, std::size_t length)
{
    return registerCall([&](SharedBoardState& s) {
        writeSpace(s.ram.controllerMemory, address, data, length);
        recordWrite(IoMode::Controller, data, length);
        return Status::ok();
    });
}

// I2C ------------------------------------------------------------------------

Status SimBoard::readI2C(std::uint8_t address, std::uint8_t* data, std::size_t length)
{
    return registerCall([&](SharedBoardState&) { return m_bus.read(address, data, length); });
}

Status SimBoard::writeI2C(std::uint8_t address, const std::uint8_t* data, std::size_t length)
{
    return registerCall([&](SharedBoardState&) {
        if (Status s = m_bus.write(address, data, length); !s)
            return s;
        recordWrite(IoMode::I2c, data, length);
        return Status::ok();
    });
}

// SPI ------------------------------------------------------------------------

Status SimBoard::readSPI(std::int32_t address, std::uint8_t* data, std::size_t length)
{
    return registerCall([&](SharedBoardState& s) { return s.ram.spiFlash.read(address, data, length); });
}

Status SimBoard::writeSPI(std::int32_t address, const std::uint8_t* data, std::size_t length)
{
    return registerCall([&](SharedBoardState& s) {
        if (Status st = s.ram.spiFlash.write(address, data, length); !st)
            return st;
        recordWrite(IoMode::Spi, data, length);
        return Status::ok();
    });
}

// UART -----------------------------------------------------------------------

// A read delivers what is queued, up to `length`; the rest of the buffer is
// left as it was.
Status SimBoard::readSerial(std::uint8_t* data, std::size_t length, std::size_t& received)
{
    received = 0;
    return withBoard([&](SharedBoardState& s) {
        received = s.ram.uart.read(data, length);
        return Status::ok();
    });
}

Status SimBoard::writeSerial(const std::uint8_t* data, std::size_t length)
{
    return withBoard([&](SharedBoardState& s) {
        s.ram.uart.write(data, length);
        recordWrite(IoMode::Uart, data, length);
        return Status::ok();
    });
}

// Command pipe ---------------------------------------------------------------

Status SimBoard::writeCommand(const std::uint8_t* data, std::size_t length)
{
    return withBoard([&](SharedBoardState&) {
        recordWrite(IoMode::Command, data, length);
        return Status::ok();
    });
}

// Interrupt reports ----------------------------------------------------------

Status SimBoard::readInterrupt(std::uint8_t* report)
{
    return withBoard([&](SharedBoardState& s) {
        BoardRam& r = s.ram;
        r.reportSequence = (r.reportSequence + 1) & 0xFFFF;
        StatusInputs in;
        in.fpgaConfigured = r.fpgaDesign[0] != '\0';
        in.firmwareRunning = r.controllerFirmware[0] != '\0';
        in.uartOverrun = r.uart.overrun();
        in.uartQueued = r.uart.queued();
        in.temperature = TempSensor::wholeDegrees();
        in.hostReports = r.hostReports;
        in.sequence = r.reportSequence;
        in.lastHostReport = r.lastHostReport;
        const Report made = makeStatusReport(in);
        std::copy(made.begin(), made.end(), report);
        r.uart.clearOverrun();
        return Status::ok();
    });
}

Status SimBoard::writeInterrupt(const std::uint8_t* report)
{
    return withBoard([&](SharedBoardState& s) {
        std::copy_n(report, kInterruptReportSize, s.ram.lastHostReport.begin());
        ++s.ram.hostReports;
        recordWrite(IoMode::Interrupt, report, kInterruptReportSize);
        return Status::ok();
    });
}

}  // namespace kousb::sim
