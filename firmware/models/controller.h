// SPDX-License-Identifier: MIT
#pragma once
// The controller of a board (boardmodel.h) as its host reaches it over USB: the
// boot ROM's 0xA0 loader into internal RAM and the CPUCS reset bit, which
// answer whatever runs; and, once the CPU is let run, our firmware: the
// vendor requests through the core packet by packet as EP0 hands them over,
// the Block endpoints (EP2 OUT, EP6 IN, whole packets from the two IN
// buffers) and the interrupt reports (EP1). A controller cannot run 8051
// code here: whatever image was loaded, the CPU runs our firmware core, and
// the image's name is kept (Controller::firmware).
//
// In the boot state (no firmware) vendor requests but 0xA0 stall, as the
// boot ROM's; with the CPU held in reset after firmware ran, nothing answers
// (NAK: the host waits for its timeout), and neither do the endpoints.
//
// Each call binds the board to the calling thread for its duration; the
// caller serialises calls on one board. Standard requests are the carrier's
// (the emulated bus answers them from its own descriptors).
#include "boardmodel.h"

#include <cstddef>
#include <cstdint>

namespace fwmodel {

// How a transfer ended on the board: bytes taken or delivered (`actual`,
// before a stall or an overflow too), a STALL, a NAK (nothing to give or
// take: the host waits for its timeout), more than the transfer had room
// for, or the board has gone (said by carriers and wrappers only).
struct Reply {
    enum Outcome { Done, Stall, Nak, Overflow, Gone };
    Outcome outcome = Done;
    std::size_t actual = 0;
};

// A board profile: what the firmware serves and the FPGA part it names.
struct Profile {
    const char* name;  // the product string of its firmware
    std::uint16_t capabilities;
    const char* fpgaPart;
};
extern const Profile kGenericProfile;    // profiles/generic56.h
extern const Profile kFpgaProfile;       // profiles/kousbfpga.h
extern const Profile kSimulatedProfile;  // profiles/kousbsim.h

struct PowerOn {
    Profile profile = kFpgaProfile;
    bool fullSpeed = false;
    bool running = true;                   // runs firmware from power-up (loaded from its EEPROM)
    const char* firmware = "";             // its name when running
    const std::uint8_t* eeprom = nullptr;  // KOUSB_EEPROM_SIZE bytes; null: erased
    std::int32_t eepromDropOffset = -1;    // Eeprom::dropOffset
    const char* fpgaDesign = "";           // configured at power-up (from its flash) unless empty
    bool versionFromEeprom = false;        // fw_version_from_eeprom
};

// Powers a board whose bytes are all zero on.
void powerOn(Board& board, const PowerOn& how);

// A control transfer: `setup` is the 8-byte SETUP packet, `data` holds its
// wLength bytes (OUT: to take; IN: room for the answer).
Reply control(Board& board, const std::uint8_t* setup, std::uint8_t* data);
// A bulk or interrupt transfer on `endpoint` (bit 7: IN).
Reply transfer(Board& board, std::uint8_t endpoint, bool interrupt, std::uint8_t* data, std::size_t length);

// The product ID the board enumerates with now.
std::uint16_t productId(const Board& board);
// True once after the CPU was let run: the board leaves the bus and comes back.
bool takeRelease(Board& board);

// The name of the firmware image, or of the FPGA design, the host is about
// to load: kept as the board's once the load takes (the CPU is let run, the
// FPGA reports DONE).
void nameFirmwareComing(Board& board, const char* name);
void nameDesignComing(Board& board, const char* name);

}  // namespace fwmodel
