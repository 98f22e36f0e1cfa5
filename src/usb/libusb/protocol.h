// SPDX-License-Identifier: MIT
#pragma once
// The vendor requests between the host and a board, as docs/board-protocol.md
// describes them: the shared numbers and tables of src/protocol in the host
// library's types, and the host's own time limits.
#include "kousb_identity.h"
#include "kousb_protocol.h"
#include "transport.h"

#include <cstddef>
#include <cstdint>

namespace kousb::usb::protocol {

constexpr std::uint8_t kVendorOut = KOUSB_VENDOR_OUT;  // vendor request, host to device, to the device
constexpr std::uint8_t kVendorIn = KOUSB_VENDOR_IN;    // vendor request, device to host

// Answered by the controller's silicon: internal memory and CPUCS.
constexpr std::uint8_t kFirmwareLoad = KOUSB_REQ_FIRMWARE_LOAD;
constexpr std::uint16_t kCpucs = KOUSB_CPUCS;
constexpr std::uint8_t kCpuReset = KOUSB_CPU_RESET;
constexpr std::uint8_t kCpuRun = 0x00;
// Bytes per 0xA0 transfer: one EP0 packet, which every host controller and
// every controller revision take.
constexpr std::size_t kFirmwareLoadChunk = 64;
// Internal memory that 0xA0 reaches (FX2LP sizes).
constexpr std::uint16_t kProgramRamEnd = KOUSB_PROGRAM_RAM_END;
constexpr std::uint16_t kDataRamStart = KOUSB_DATA_RAM_START;
constexpr std::uint16_t kDataRamEnd = KOUSB_DATA_RAM_END;

// Answered by our board firmware.
enum Request : std::uint8_t {
    kGetVersion = KOUSB_REQ_VERSION,          // IN, 6 bytes: 'K' 'O' major minor capabilities(LE16)
    kGetError = KOUSB_REQ_ERROR,              // IN, 4 bytes: code, failed request, detail(LE16)
    kIdentity = KOUSB_REQ_IDENTITY,           // IN: read 40 bytes; OUT: write one field (wValue)
    kFpgaPart = KOUSB_REQ_FPGA_PART,          // IN, up to 32 bytes, NUL-terminated part name
    kExternal = KOUSB_REQ_EXTERNAL,           // IN/OUT, wValue address
    kFpgaRegister = KOUSB_REQ_FPGA_REGISTER,  // IN/OUT, wValue address
    kI2C = KOUSB_REQ_I2C,                     // IN/OUT, wValue 7-bit device address
    kSpi = KOUSB_REQ_SPI,                     // IN/OUT, wValue address bits 0-15, wIndex bits 16-31
    kUart = KOUSB_REQ_UART,                   // IN (may be short) / OUT
    kCommand = KOUSB_REQ_COMMAND,             // OUT
    kFpgaConfig = KOUSB_REQ_FPGA_CONFIG,      // OUT, wValue phase: begin, data, end
    kEeprom = KOUSB_REQ_EEPROM,               // IN/OUT, wValue byte offset
};

constexpr std::uint8_t kMagic0 = KOUSB_MAGIC0;
constexpr std::uint8_t kMagic1 = KOUSB_MAGIC1;
constexpr std::size_t kVersionReplySize = KOUSB_VERSION_REPLY_SIZE;
constexpr std::size_t kErrorReplySize = KOUSB_ERROR_REPLY_SIZE;
constexpr std::uint8_t kSupportedMajor = KOUSB_PROTOCOL_MAJOR;

// Capability bits of the version reply: which request groups the firmware serves.
enum Capability : std::uint16_t {
    kCapExternal = KOUSB_CAP_EXTERNAL,
    kCapFpgaRegister = KOUSB_CAP_FPGA_REGISTER,
    kCapI2C = KOUSB_CAP_I2C,
    kCapSpi = KOUSB_CAP_SPI,
    kCapUart = KOUSB_CAP_UART,
    kCapCommand = KOUSB_CAP_COMMAND,
    kCapFpgaConfig = KOUSB_CAP_FPGA_CONFIG,
    kCapEeprom = KOUSB_CAP_EEPROM,
    kCapIdentityWrite = KOUSB_CAP_IDENTITY_WRITE,
};

// Identity reply: ID (LE32), class, firmware version (LE16), reserved, name (32, NUL-padded).
constexpr std::size_t kIdentitySize = KOUSB_IDENTITY_SIZE;
constexpr std::size_t kIdentityNameOffset = KOUSB_IDENTITY_NAME_OFFSET;
constexpr std::size_t kIdentityNameSize = KOUSB_IDENTITY_NAME_SIZE;
enum IdentityField : std::uint16_t {
    kFieldId = KOUSB_FIELD_ID,
    kFieldName = KOUSB_FIELD_NAME,
    kFieldClass = KOUSB_FIELD_CLASS
};

enum FpgaConfigPhase : std::uint16_t {
    kConfigBegin = KOUSB_CONFIG_BEGIN,
    kConfigData = KOUSB_CONFIG_DATA,
    kConfigEnd = KOUSB_CONFIG_END
};
constexpr std::size_t kFpgaConfigChunk = 4096;

constexpr std::size_t kEepromSize = KOUSB_EEPROM_SIZE;

// Codes of the error reply (what the board says after it stalled a request).
enum BoardError : std::uint8_t {
    kErrNone = KOUSB_ERR_NONE,
    kErrUnknownRequest = KOUSB_ERR_UNKNOWN_REQUEST,
    kErrBadArgument = KOUSB_ERR_BAD_ARGUMENT,
    kErrNoAcknowledge = KOUSB_ERR_NO_ACKNOWLEDGE,
    kErrOutOfRange = KOUSB_ERR_OUT_OF_RANGE,
    kErrNotConfigured = KOUSB_ERR_NOT_CONFIGURED,
    kErrBusy = KOUSB_ERR_BUSY,
    kErrDevice = KOUSB_ERR_DEVICE,
};

// Time limits (see the protocol document).
constexpr Milliseconds kControlTimeout{500};
constexpr Milliseconds kFpgaConfigEndTimeout{2000};  // the end phase of kFpgaConfig: the FPGA reports done
constexpr Milliseconds kBlockTimeout{1000};
constexpr Milliseconds kInterruptTimeout{1000};
constexpr Milliseconds kLeaveWithin{1500};
constexpr Milliseconds kBackWithin{5000};

// One vendor request of our firmware in one direction: its code, the
// capability bit that says the firmware serves it (0: every firmware of
// ours), what messages call it, and its time limit (KOUSB_REQUESTS).
struct RequestInfo {
    std::uint8_t code;
    bool in;
    std::uint16_t capability;
    const char* name;
    Milliseconds timeout;
};

#define KOUSB_REQUEST_INFO(code, in, capability, name, ms) {code, in != 0, capability, name, Milliseconds(ms)},
inline constexpr RequestInfo kRequests[] = {KOUSB_REQUESTS(KOUSB_REQUEST_INFO)};
#undef KOUSB_REQUEST_INFO

// The row of `code` in direction `in`. Every request the host sends has one
// (a missing row would answer with the version request's row).
constexpr const RequestInfo& requestInfo(std::uint8_t code, bool in)
{
    for (const RequestInfo& r : kRequests)
        if (r.code == code && r.in == in)
            return r;
    return kRequests[0];
}

constexpr std::size_t kMaxBlockBytes = 65536;
constexpr std::size_t kMaxRequestData = KOUSB_MAX_REQUEST_DATA;  // data stage of one vendor request

}  // namespace kousb::usb::protocol
