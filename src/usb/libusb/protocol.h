#pragma once
// The vendor requests between the host and a board, as docs/board-protocol.md
// describes them. Numbers, layouts and time limits live here only.
#include "transport.h"

#include <cstddef>
#include <cstdint>

namespace kousb::usb::protocol {

constexpr std::uint8_t kVendorOut = 0x40;  // vendor request, host to device, to the device
constexpr std::uint8_t kVendorIn = 0xC0;   // vendor request, device to host

// Answered by the controller's silicon: internal memory and CPUCS.
constexpr std::uint8_t kFirmwareLoad = 0xA0;
constexpr std::uint16_t kCpucs = 0xE600;
constexpr std::uint8_t kCpuReset = 0x01;
constexpr std::uint8_t kCpuRun = 0x00;
// Bytes per 0xA0 transfer: one EP0 packet, which every host controller and
// every controller revision take.
constexpr std::size_t kFirmwareLoadChunk = 64;
// Internal memory that 0xA0 reaches (FX2LP sizes).
constexpr std::uint16_t kProgramRamEnd = 0x4000;
constexpr std::uint16_t kDataRamStart = 0xE000;
constexpr std::uint16_t kDataRamEnd = 0xE200;

// Answered by our board firmware.
enum Request : std::uint8_t {
    kGetVersion = 0xB0,   // IN, 6 bytes: 'K' 'O' major minor capabilities(LE16)
    kGetError = 0xB1,     // IN, 4 bytes: code, failed request, detail(LE16)
    kIdentity = 0xB2,     // IN: read 40 bytes; OUT: write one field (wValue)
    kFpgaPart = 0xB3,     // IN, up to 32 bytes, NUL-terminated part name
    kExternal = 0xB4,     // IN/OUT, wValue address
    kFpgaRegister = 0xB5, // IN/OUT, wValue address
    kI2C = 0xB6,          // IN/OUT, wValue 7-bit device address
    kSpi = 0xB7,          // IN/OUT, wValue address bits 0-15, wIndex bits 16-31
    kUart = 0xB8,         // IN (may be short) / OUT
    kCommand = 0xB9,      // OUT
    kFpgaConfig = 0xBA,   // OUT, wValue phase: begin, data, end
    kEeprom = 0xBB,       // IN/OUT, wValue byte offset
};

constexpr std::uint8_t kMagic0 = 'K';
constexpr std::uint8_t kMagic1 = 'O';
constexpr std::size_t kVersionReplySize = 6;
constexpr std::size_t kErrorReplySize = 4;
constexpr std::uint8_t kSupportedMajor = 1;

// Capability bits of the version reply: which request groups the firmware serves.
enum Capability : std::uint16_t {
    kCapExternal = 1u << 0,
    kCapFpgaRegister = 1u << 1,
    kCapI2C = 1u << 2,
    kCapSpi = 1u << 3,
    kCapUart = 1u << 4,
    kCapCommand = 1u << 5,
    kCapFpgaConfig = 1u << 6,
    kCapEeprom = 1u << 7,
    kCapIdentityWrite = 1u << 8,
};

// Identity reply: ID (LE32), class, firmware version (LE16), reserved, name (32, NUL-padded).
constexpr std::size_t kIdentitySize = 40;
constexpr std::size_t kIdentityNameOffset = 8;
constexpr std::size_t kIdentityNameSize = 32;
enum IdentityField : std::uint16_t { kFieldId = 0, kFieldName = 1, kFieldClass = 2 };

enum FpgaConfigPhase : std::uint16_t { kConfigBegin = 0, kConfigData = 1, kConfigEnd = 2 };
constexpr std::size_t kFpgaConfigChunk = 4096;

constexpr std::size_t kEepromSize = 16 * 1024;

// Codes of the error reply (what the board says after it stalled a request).
enum BoardError : std::uint8_t {
    kErrNone = 0,
    kErrUnknownRequest = 1,
    kErrBadArgument = 2,
    kErrNoAcknowledge = 3,
    kErrOutOfRange = 4,
    kErrNotConfigured = 5,
    kErrBusy = 6,
    kErrDevice = 7,
};

// Time limits (see the protocol document).
constexpr Milliseconds kControlTimeout{500};
constexpr Milliseconds kEepromWriteTimeout{100};  // one page: 5 ms write cycle, with room
constexpr Milliseconds kFpgaConfigEndTimeout{2000};  // the end phase of kFpgaConfig: the FPGA reports done
constexpr Milliseconds kBlockTimeout{1000};
constexpr Milliseconds kInterruptTimeout{1000};
constexpr Milliseconds kLeaveWithin{1500};
constexpr Milliseconds kBackWithin{5000};

// One vendor request of our firmware in one direction: its code, the
// capability bit that says the firmware serves it (0: every firmware of
// ours), what messages call it, and its time limit.
struct RequestSpec {
    std::uint8_t code;
    bool in;
    std::uint16_t capability;
    const char* name;
    Milliseconds timeout;
};

inline constexpr RequestSpec kRequests[] = {
    {kGetVersion, true, 0, "version", kControlTimeout},
    {kGetError, true, 0, "last error", kControlTimeout},
    {kIdentity, true, 0, "identity", kControlTimeout},
    {kIdentity, false, kCapIdentityWrite, "identity writes", kEepromWriteTimeout},
    {kFpgaPart, true, 0, "FPGA part", kControlTimeout},
    {kExternal, true, kCapExternal, "external bus access", kControlTimeout},
    {kExternal, false, kCapExternal, "external bus access", kControlTimeout},
    {kFpgaRegister, true, kCapFpgaRegister, "FPGA register access", kControlTimeout},
    {kFpgaRegister, false, kCapFpgaRegister, "FPGA register access", kControlTimeout},
    {kI2C, true, kCapI2C, "I2C", kControlTimeout},
    {kI2C, false, kCapI2C, "I2C", kControlTimeout},
    {kSpi, true, kCapSpi, "SPI", kControlTimeout},
    {kSpi, false, kCapSpi, "SPI", kControlTimeout},
    {kUart, true, kCapUart, "UART", kControlTimeout},
    {kUart, false, kCapUart, "UART", kControlTimeout},
    {kCommand, false, kCapCommand, "the command pipe", kControlTimeout},
    {kFpgaConfig, false, kCapFpgaConfig, "FPGA configuration", kControlTimeout},
    {kEeprom, true, kCapEeprom, "EEPROM", kControlTimeout},
    {kEeprom, false, kCapEeprom, "EEPROM", kEepromWriteTimeout},
};

// The row of `code` in direction `in`. Every request the host sends has one
// (a missing row would answer with the version request's row).
constexpr const RequestSpec& requestSpec(std::uint8_t code, bool in)
{
    for (const RequestSpec& r : kRequests)
        if (r.code == code && r.in == in)
            return r;
    return kRequests[0];
}

constexpr std::size_t kMaxBlockBytes = 65536;
constexpr std::size_t kMaxRequestData = 4096;  // data stage of one vendor request

} // namespace kousb::usb::protocol
