// SPDX-License-Identifier: MIT
#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kousb::sim {

// Everything a simulated board keeps across runs, as held in its board file.
//
// The file is plain text, one "key value" per line, '#' starts a comment:
//
//   kousb-sim-board 1                  first line, format version
//   instance 3f9c0a1e5b7d2c44          identifies this plugging of the board
//   slot 0
//   rate 24                            bulk rate, Mbyte/s
//   fpga-part 3s500e                   the board's FPGA
//   fpga-design demo.ncd               loaded configuration; "-" for none
//   controller-firmware KoUSB 1.3      running firmware; "-" for the boot loader
//   eeprom 3f00 4b4f494401...          16 bytes of EEPROM at an offset (hex);
//                                      lines that would be all 0xFF are left out
//   last External 2 0102               the last bytes written in an IO mode:
//                                      length, then up to 16 bytes in hex
//   fault-eeprom-drop 0040             a fault to test with: the EEPROM page
//                                      write that covers this offset (hex)
//                                      is acknowledged but not stored
//
// The identity (ID, name, class, firmware version) lives in the EEPROM
// image; the writer adds it as a comment for people reading the file, with
// every byte of the name outside printable ASCII (and \" \\) as \xNN, so
// no EEPROM content can break the file's lines.
struct BoardState {
    std::string instance;
    int slot = 0;
    double bulkRateMBps = 24.0;
    std::string fpgaPart = "3s500e";
    std::string fpgaDesign;            // empty: not configured
    std::string controllerFirmware;    // empty: boot loader only
    std::vector<std::uint8_t> eeprom;  // always eeprom::kSize bytes

    struct LastWrite {
        std::size_t length = 0;
        std::vector<std::uint8_t> head;  // the first bytes, at most 16
    };
    std::map<std::string, LastWrite> lastWrites;  // by IO mode name

    // Faults switched on in the file, kept until the file says otherwise.
    std::optional<std::size_t> eepromDropOffset;  // this offset's page write is lost
};

constexpr std::size_t kMaxBoardFileBytes = 1 << 20;
constexpr std::size_t kLastWriteBytes = 16;

// A fresh board: erased EEPROM, defaults above, no instance yet.
BoardState blankBoard();

// Parses a board file; false with "line N: reason" in `error`. Refuses
// unknown keys, bad numbers, EEPROM data outside the EEPROM and a missing
// instance, so a damaged file is never half-read.
bool parseBoardFile(const std::string& text, BoardState& state, std::string& error);
std::string formatBoardFile(const BoardState& state);

// Reads and parses the board file at `path`: a regular file of the user's
// own, not a symbolic link, of at most kMaxBoardFileBytes; false with the reason otherwise (the caller names the
// path).
bool readBoardFile(const std::string& path, BoardState& state, std::string& error);

// A new random instance name (16 hex digits).
std::string newInstanceId();

}  // namespace kousb::sim
