// SPDX-License-Identifier: MIT
// Files into the board: controller firmware through 0xA0 (and the wait for
// the board to come back), the FPGA bitstream and EEPROM images through the
// board protocol, and the identity writes.
#include "../eepromflash.h"
#include "../eepromlayout.h"
#include "../formats/bitfile.h"
#include "../formats/filebytes.h"
#include "../formats/intelhex.h"
#include "fx2board.h"
#include "protocol.h"
#include "transferstatus.h"

#include <algorithm>
#include <cstdio>

namespace kousb::usb {

using namespace protocol;

// The whole image is checked against the internal memory before the CPU is
// touched (fx2loader.h).
Status Fx2Board::loadFirmware(const std::string& path) { return loadFirmwareWaiting(path, kBackWithin); }

Status Fx2Board::loadFirmwareWaiting(const std::string& path, std::chrono::milliseconds backWithin)
{
    if (Status s = checkPlugged(); !s)
        return s;
    FirmwareImage image;
    if (Status s = Fx2Loader::readImage(path, image); !s)
        return s;
    bool gone = false;
    Status loaded = m_loader.load(image, gone, backWithin);
    return followRestart(std::move(loaded), gone);
}

Status Fx2Board::followRestart(Status started, bool gone)
{
    if (gone) {
        // It left and did not come back: this board has gone; if it turns up
        // later, the backend finds it as a new one. The message names the
        // place it left, as the board's own place() spells it.
        m_gone = true;
        return Status::error(started.code(), "the board at " + place() + " " + started.detail());
    }
    if (!started)
        return loaderStatus(std::move(started));
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
    if (Status s = checkPlugged(); !s)
        return s;
    if (Status s = requireCapability(kFpgaConfig, false); !s)
        return s;
    std::vector<std::uint8_t> file;
    if (Status s = formats::readWholeFile(path, formats::kMaxBitFileBytes, file); !s)
        return s;
    formats::BitHeader header;
    if (Status s = formats::parseBitHeader(file.data(), file.size(), file.size(), header); !s)
        return s;
    if (!m_fpgaPart.empty() && !formats::fpgaPartMatches(header.part, m_fpgaPart))
        return Status::error(ErrorCode::BadFile,
                             "wrong part: the file is for " + header.part + ", this board's FPGA is " + m_fpgaPart);
    const std::uint32_t length = std::uint32_t(header.bitstreamLength);
    const std::uint8_t size[4] = {std::uint8_t(length), std::uint8_t(length >> 8), std::uint8_t(length >> 16),
                                  std::uint8_t(length >> 24)};
    if (Status s = vendorOut(kFpgaConfig, kConfigBegin, 0, size, sizeof size); !s)
        return s;
    const std::uint8_t* bits = file.data() + header.bitstreamOffset;
    for (std::size_t done = 0; done < length; done += kFpgaConfigChunk) {
        const std::size_t n = std::min<std::size_t>(kFpgaConfigChunk, length - done);
        if (Status s = vendorOut(kFpgaConfig, kConfigData, 0, bits + done, n); !s)
            return s;
    }
    return vendorOut(kFpgaConfig, kConfigEnd, 0, nullptr, 0, kFpgaConfigEndTimeout);
}

Status Fx2Board::loadEepromImage(const std::string& path)
{
    EepromFlashReport report;
    return loadEepromImageWithProgress(path, {}, report);
}

// The shared flash-and-verify routine over the EEPROM request.
Status Fx2Board::loadEepromImageWithProgress(const std::string& path, const EepromFlashOptions& options,
                                             EepromFlashReport& report)
{
    if (Status s = checkPlugged(); !s)
        return s;
    if (Status s = requireCapability(kEeprom, false); !s)
        return s;
    struct Access : EepromAccess {
        Fx2Board& board;
        explicit Access(Fx2Board& b) : board(b) {}
        Status writeRun(std::size_t offset, const std::uint8_t* data, std::size_t length) override
        {
            return board.vendorOut(kEeprom, std::uint16_t(offset), 0, data, length);
        }
        Status read(std::size_t offset, std::uint8_t* data, std::size_t length) override
        {
            return board.readEeprom(offset, data, length);
        }
    } access(*this);
    if (Status s = flashEepromImage(path, kEepromSize, access, options, report); !s)
        return s;
    // The identity lives in the EEPROM too; the image may have changed it.
    const BoardIdentity before = m_identity;
    readIdentity();
    if ((before.id != m_identity.id || before.name != m_identity.name || before.deviceClass != m_identity.deviceClass)
        && m_onChange)
        m_onChange();
    return Status::ok();
}

std::size_t Fx2Board::eepromSize()
{
    return !m_gone && !m_accessDenied && requireCapability(kEeprom, true) ? kEepromSize : 0;
}

Status Fx2Board::readEeprom(std::size_t offset, std::uint8_t* data, std::size_t length)
{
    if (Status s = checkPlugged(); !s)
        return s;
    if (Status s = requireCapability(kEeprom, true); !s)
        return s;
    if (offset > kEepromSize || length > kEepromSize - offset)
        return Status::error(ErrorCode::OutOfRange, "beyond the " + std::to_string(kEepromSize) + "-byte EEPROM");
    if (data == nullptr && length > 0)
        return Status::error(ErrorCode::InvalidArgument, "no buffer");
    return addressedRead(kEeprom, std::uint16_t(offset), data, length);
}

Status Fx2Board::writeIdentityField(std::uint16_t field, const std::uint8_t* data, std::size_t length)
{
    if (Status s = vendorOut(kIdentity, field, 0, data, length); !s)
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
        return Status::error(ErrorCode::InvalidArgument,
                             "a name has at most " + std::to_string(eeprom::kMaxNameLength) + " characters");
    return writeIdentityField(kFieldName, reinterpret_cast<const std::uint8_t*>(name.data()), name.size());
}

Status Fx2Board::writeClass(std::uint8_t deviceClass) { return writeIdentityField(kFieldClass, &deviceClass, 1); }

}  // namespace kousb::usb
