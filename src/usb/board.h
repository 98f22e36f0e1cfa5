// SPDX-License-Identifier: MIT
#pragma once
#include "status.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace kousb {

// What a board says about itself; read from the identity block of its EEPROM.
struct BoardIdentity {
    std::int32_t id = 0;
    std::string name;
    std::uint8_t deviceClass = 0;
    int firmwareVersion = 0;
};

// What a flash does besides writing the image and verifying it.
struct EepromFlashOptions {
    // Hears of the bytes done so far and in all, as Board::Progress; may be empty.
    std::function<void(std::size_t done, std::size_t total)> progress;
    // Refuse an image after which the controller would not boot (bootcheck.h);
    // false writes it all the same.
    bool checkBoot = true;
    // Where the EEPROM's present content is saved as Intel HEX (replacing a
    // file there), after the image has been read and checked and before the
    // first write. Empty: no backup.
    std::string backupPath;
    // When the backup cannot be made: false refuses the flash (nothing is
    // written), true flashes without it.
    bool flashWithoutBackup = false;
};

// What became of a flash's backup.
struct EepromFlashReport {
    bool backupMade = false;
    std::string backupError;  // why a backup that was asked for was not made
};

// Bytes a board's interrupt endpoint moves per report.
constexpr std::size_t kInterruptReportSize = 16;

// One attached board, as a backend presents it.
//
// Contract for every method: the library serialises all calls on one board
// (a backend never sees two at once), so implementations need no lock of their
// own for that; a call may come from any thread. Each call blocks until its
// work is done. A failure returns a Status with the reason and, unless the
// method says otherwise, leaves the caller's buffer untouched. Reads never
// write more than `length` bytes.
class Board {
public:
    virtual ~Board() = default;

    // Identity and a readable description of the endpoints and board state.
    virtual BoardIdentity identity() = 0;
    virtual std::string endpointInfo() = 0;
    // Where the board is plugged in, the same for as long as it stays there
    // (across re-enumeration too): for a USB board its bus and hub port path
    // as Linux names the device ("1-2.3"), for a simulated board "sim-" and
    // its slot. Empty once the backend cannot tell.
    virtual std::string place() = 0;
    // The board's serial number: a USB board's serial string as its device
    // descriptor names it, a simulated board's as our firmware makes it
    // (boardserial.h). Empty when the board has none or it cannot be read.
    virtual std::string serial() { return {}; }
    // Reads the identity from the board again, for a board whose identity()
    // gives what it read earlier: another program may have written it since.
    // Optional: a board whose identity() reads the board each time keeps this.
    virtual Status reloadIdentity() { return Status::ok(); }

    // Around every call the library makes on the board (AttachedBoard::call),
    // under its call lock. Optional: a board that other processes share (a
    // simulated board) holds their lock here, so that calls interleave whole.
    virtual void beginCall() {}
    virtual void endCall() {}

    // External bus memory, 16-bit byte addresses.
    virtual Status readExternal(std::uint16_t address, std::uint8_t* data, std::size_t length) = 0;
    virtual Status writeExternal(std::uint16_t address, const std::uint8_t* data, std::size_t length) = 0;
    // FPGA register file, 16-bit addresses.
    virtual Status readXilinx(std::uint16_t address, std::uint8_t* data, std::size_t length) = 0;
    virtual Status writeXilinx(std::uint16_t address, const std::uint8_t* data, std::size_t length) = 0;
    // The controller's own memory space.
    virtual Status read8051(std::uint16_t address, std::uint8_t* data, std::size_t length) = 0;
    virtual Status write8051(std::uint16_t address, const std::uint8_t* data, std::size_t length) = 0;
    // I2C bus; `address` is the 7-bit device address.
    virtual Status readI2C(std::uint8_t address, std::uint8_t* data, std::size_t length) = 0;
    virtual Status writeI2C(std::uint8_t address, const std::uint8_t* data, std::size_t length) = 0;
    // SPI device, addressed by the full int.
    virtual Status readSPI(std::int32_t address, std::uint8_t* data, std::size_t length) = 0;
    virtual Status writeSPI(std::int32_t address, const std::uint8_t* data, std::size_t length) = 0;
    // UART; a read may deliver fewer bytes than asked (`received` says how many).
    virtual Status readSerial(std::uint8_t* data, std::size_t length, std::size_t& received) = 0;
    virtual Status writeSerial(const std::uint8_t* data, std::size_t length) = 0;
    // Command pipe, write-only.
    virtual Status writeCommand(const std::uint8_t* data, std::size_t length) = 0;
    // Interrupt endpoints: one report of kInterruptReportSize bytes.
    virtual Status readInterrupt(std::uint8_t* report) = 0;
    virtual Status writeInterrupt(const std::uint8_t* report) = 0;
    // Bulk endpoints.
    virtual Status readBlock(std::uint8_t* data, std::size_t length) = 0;
    virtual Status writeBlock(const std::uint8_t* data, std::size_t length) = 0;

    // Firmware from files; `path` is a file name in the platform's encoding.
    // A refused file changes nothing on the board.
    virtual Status downloadXilinx(const std::string& path) = 0;
    virtual Status loadFirmware(const std::string& path) = 0;
    // loadFirmware for a board that leaves the bus when its new firmware
    // starts: waits up to `backWithin` for it to come back at its place.
    // Optional: a board that stays on the bus keeps this (loadFirmware).
    virtual Status loadFirmwareWaiting(const std::string& path, std::chrono::milliseconds backWithin)
    {
        (void)backWithin;
        return loadFirmware(path);
    }
    virtual Status loadEepromImage(const std::string& path) = 0;

    // Identity writes into the EEPROM's identity block.
    virtual Status writeId(std::int32_t id) = 0;
    virtual Status writeName(const std::string& name) = 0;
    virtual Status writeClass(std::uint8_t deviceClass) = 0;

    // --- EEPROM read-back and a flash that reports progress ---

    // Called during a long operation with the bytes done so far and in all,
    // on the caller's thread, under the board's call lock (so it must not
    // call the library for the same board).
    using Progress = std::function<void(std::size_t done, std::size_t total)>;

    // loadEepromImage with what a careful flash adds (EepromFlashOptions);
    // `report` says what became of the backup. Backends flash through
    // flashEepromImage (eepromflash.h), so that the boot check, the backup and
    // a verification failure are the same on every board. loadEepromImage is
    // this call with the default options.
    virtual Status loadEepromImageWithProgress(const std::string& path, const EepromFlashOptions& options,
                                               EepromFlashReport& report) = 0;
    // Bytes of EEPROM the board has; 0 when it cannot be read back.
    virtual std::size_t eepromSize() = 0;
    // Reads `length` bytes of EEPROM from `offset`; refuses a range beyond
    // eepromSize() without reading.
    virtual Status readEeprom(std::size_t offset, std::uint8_t* data, std::size_t length) = 0;
};

}  // namespace kousb
