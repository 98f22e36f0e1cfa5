// Files into the board: controller firmware through 0xA0 (and the wait for
// the board to come back), the FPGA bitstream and EEPROM images through the
// board protocol, and the identity writes.
#include "../eepromlayout.h"
#include "../formats/biximage.h"
#include "../formats/bitfile.h"
#include "../formats/filebytes.h"
#include "../formats/intelhex.h"
#include "fx2board.h"
#include "protocol.h"
#include "transferstatus.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace kousb::usb {

using namespace protocol;

namespace {

bool isHexName(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    auto endsWith = [&](const std::string& tail) {
        return name.size() > tail.size() && name.compare(name.size() - tail.size(), tail.size(), tail) == 0;
    };
    return endsWith(".hex") || endsWith(".ihx");
}

std::string hexAddress(std::size_t address)
{
    char text[12];
    std::snprintf(text, sizeof text, "0x%04zX", address);
    return text;
}

// Calls `write(start, length)` for each run of present bytes, cut so that no
// run crosses a multiple of `chunk` (an EP0 packet, an EEPROM page); stops at
// the first failure.
template <typename Write>
Status forEachRun(const std::vector<bool>& present, std::size_t chunk, Write&& write)
{
    std::size_t a = 0;
    while (a < present.size()) {
        if (!present[a]) {
            ++a;
            continue;
        }
        std::size_t end = a;
        const std::size_t limit = std::min(present.size(), (a / chunk + 1) * chunk);
        while (end < limit && present[end])
            ++end;
        if (Status s = write(a, end - a); !s)
            return s;
        a = end;
    }
    return Status::ok();
}

} // namespace

// A .hex or .ihx file is Intel HEX; anything else is a raw .bix image. The
// whole image is checked against the internal memory before the CPU is
// touched. A transfer that fails part-way leaves the CPU in reset, so a half
// image never runs.
Status Fx2Board::loadFirmware(const std::string& path)
{
    if (Status s = checkPlugged(); !s)
        return s;
    std::vector<std::uint8_t> bytes;
    std::vector<bool> present;
    if (isHexName(path)) {
        formats::HexImage hex;
        if (Status s = formats::readIntelHexFile(path, kDataRamEnd, hex); !s)
            return s;
        if (hex.byteCount == 0)
            return Status::error(ErrorCode::BadFile, "no data in the image");
        for (std::size_t a = kProgramRamEnd; a < kDataRamStart; ++a)
            if (hex.present[a])
                return Status::error(ErrorCode::BadFile, "data at " + hexAddress(a)
                                                             + ", outside the controller's internal memory");
        bytes = std::move(hex.bytes);
        present = std::move(hex.present);
    } else {
        if (Status s = formats::readBixImage(path, kProgramRamEnd, bytes); !s)
            return s;
        present.assign(bytes.size(), true);
    }

    if (Status s = setCpuReset(true); !s)
        return s;
    Status loaded = forEachRun(present, kFirmwareLoadChunk, [&](std::size_t start, std::size_t n) {
        return firmwareLoad(true, std::uint16_t(start), bytes.data() + start, n);
    });
    if (!loaded) {
        if (loaded.code() == ErrorCode::Unplugged)
            return loaded;
        return Status::error(loaded.code(), loaded.detail() + "; the controller is held in reset");
    }
    if (Status s = setCpuReset(false); !s)
        return s;

    const TransferResult back = m_transport->awaitReenumeration(kLeaveWithin, kBackWithin);
    if (!back.ok()) {
        // It left and did not come back: this board has gone; if it turns up
        // later, the backend finds it as a new one.
        m_gone = true;
        return Status::error(ErrorCode::Timeout, "the board did not come back within "
                                                     + std::to_string(kBackWithin.count() / 1000)
                                                     + " s after the firmware started");
    }
    probe(true);
    if (m_gone)
        return Status::error(ErrorCode::Unplugged);
    if (m_onChange)
        m_onChange();
    return Status::ok();
}

// The bitstream goes in data stages of kFpgaConfigChunk between a begin
// request carrying its length and an end request, which the board answers
// once the FPGA says it is configured.
Status Fx2Board::downloadXilinx(const std::string& path)
{
    static const char* const operation = "FPGA configuration";
    if (Status s = checkPlugged(); !s)
        return s;
    if (Status s = requireCapability(kCapFpgaConfig, operation); !s)
        return s;
    std::vector<std::uint8_t> file;
    if (Status s = formats::readWholeFile(path, formats::kMaxBitFileBytes, file); !s)
        return s;
    formats::BitHeader header;
    if (Status s = formats::parseBitHeader(file.data(), file.size(), file.size(), header); !s)
        return s;
    if (!m_fpgaPart.empty() && !formats::fpgaPartMatches(header.part, m_fpgaPart))
        return Status::error(ErrorCode::BadFile, "wrong part: the file is for " + header.part
                                                     + ", this board's FPGA is " + m_fpgaPart);
    const std::uint32_t length = std::uint32_t(header.bitstreamLength);
    const std::uint8_t size[4] = {std::uint8_t(length), std::uint8_t(length >> 8), std::uint8_t(length >> 16),
                                  std::uint8_t(length >> 24)};
    if (Status s = vendorOut(kFpgaConfig, kConfigBegin, 0, size, sizeof size, kCapFpgaConfig, operation,
                             kControlTimeout);
        !s)
        return s;
    const std::uint8_t* bits = file.data() + header.bitstreamOffset;
    for (std::size_t done = 0; done < length; done += kFpgaConfigChunk) {
        const std::size_t n = std::min<std::size_t>(kFpgaConfigChunk, length - done);
        if (Status s = vendorOut(kFpgaConfig, kConfigData, 0, bits + done, n, kCapFpgaConfig, operation,
                                 kControlTimeout);
            !s)
            return s;
    }
    return vendorOut(kFpgaConfig, kConfigEnd, 0, nullptr, 0, kCapFpgaConfig, operation, kFpgaConfigEndTimeout);
}

// Writes the bytes the image gives, page by page, then reads every one of
// them back: success means the EEPROM holds the image.
Status Fx2Board::loadEepromImage(const std::string& path)
{
    static const char* const operation = "EEPROM images";
    if (Status s = checkPlugged(); !s)
        return s;
    if (Status s = requireCapability(kCapEeprom, operation); !s)
        return s;
    formats::HexImage image;
    if (Status s = formats::readIntelHexFile(path, kEepromSize, image); !s)
        return s;
    if (image.byteCount == 0)
        return Status::error(ErrorCode::BadFile, "no data in the image");
    if (Status s = forEachRun(image.present, kEepromChunk, [&](std::size_t start, std::size_t n) {
            return vendorOut(kEeprom, std::uint16_t(start), 0, image.bytes.data() + start, n, kCapEeprom,
                             operation, kEepromWriteTimeout);
        });
        !s)
        return s;
    std::vector<std::uint8_t> readBack(kEepromChunk);
    Status verified = forEachRun(image.present, kEepromChunk, [&](std::size_t start, std::size_t n) {
        if (Status s = vendorIn(kEeprom, std::uint16_t(start), 0, readBack.data(), n, kCapEeprom, operation); !s)
            return s;
        for (std::size_t i = 0; i < n; ++i)
            if (readBack[i] != image.bytes[start + i])
                return Status::error(ErrorCode::Io, "EEPROM verify failed at " + hexAddress(start + i));
        return Status::ok();
    });
    if (!verified)
        return verified;
    // The identity lives in the EEPROM too; the image may have changed it.
    const BoardIdentity before = m_identity;
    readIdentity();
    if ((before.id != m_identity.id || before.name != m_identity.name || before.deviceClass != m_identity.deviceClass)
        && m_onChange)
        m_onChange();
    return Status::ok();
}

Status Fx2Board::writeIdentityField(std::uint16_t field, const std::uint8_t* data, std::size_t length)
{
    if (Status s = vendorOut(kIdentity, field, 0, data, length, kCapIdentityWrite, "identity writes",
                             kEepromWriteTimeout);
        !s)
        return s;
    return readIdentity();
}

Status Fx2Board::writeId(std::int32_t id)
{
    const std::uint32_t v = std::uint32_t(id);
    const std::uint8_t bytes[4] = {std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16), std::uint8_t(v >> 24)};
    return writeIdentityField(kFieldId, bytes, sizeof bytes);
}

Status Fx2Board::writeName(const std::string& name)
{
    if (name.size() > eeprom::kMaxNameLength || name.find('\0') != std::string::npos)
        return Status::error(ErrorCode::InvalidArgument, "a name has at most "
                                                             + std::to_string(eeprom::kMaxNameLength) + " characters");
    return writeIdentityField(kFieldName, reinterpret_cast<const std::uint8_t*>(name.data()), name.size());
}

Status Fx2Board::writeClass(std::uint8_t deviceClass)
{
    return writeIdentityField(kFieldClass, &deviceClass, 1);
}

} // namespace kousb::usb
