// SPDX-License-Identifier: MIT
#include "fx2loader.h"

#include "../formats/biximage.h"
#include "../formats/intelhex.h"
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

}  // namespace

const char* const Fx2Loader::kReach = "0xA0 reaches 0x0000-0x3FFF, 0xE000-0xE1FF and CPUCS (0xE600)";

bool Fx2Loader::reachable(std::size_t address, std::size_t length)
{
    return kousb_loader_reaches(address, length) != 0;
}

Status Fx2Loader::readImage(const std::string& path, FirmwareImage& image)
{
    if (!isHexName(path)) {
        if (Status s = formats::readBixImage(path, kProgramRamEnd, image.bytes); !s)
            return s;
        image.present.assign(image.bytes.size(), true);
        return Status::ok();
    }
    formats::HexImage hex;
    const std::vector<formats::HexRegion> internal = {{0, kProgramRamEnd}, {kDataRamStart, kDataRamEnd}};
    if (Status s = formats::readIntelHexFile(path, kDataRamEnd, hex, internal); !s)
        return s;
    if (hex.byteCount == 0)
        return Status::error(ErrorCode::BadFile, "no data in the image");
    image.bytes = std::move(hex.bytes);
    image.present = std::move(hex.present);
    return Status::ok();
}

namespace {

// One direction of 0xA0 access in pieces that never cross a 64-byte boundary.
Status transferPieces(Transport& transport, bool in, std::uint16_t address, std::uint8_t* data, std::size_t length)
{
    for (std::size_t done = 0; done < length;) {
        const std::size_t at = address + done;
        const std::size_t n = std::min(kFirmwareLoadChunk - at % kFirmwareLoadChunk, length - done);
        const TransferResult r = transport.control(in ? kVendorIn : kVendorOut, kFirmwareLoad, std::uint16_t(at), 0,
                                                   data + done, n, kControlTimeout);
        const std::string context = std::string(in ? "reading" : "writing") + " controller memory at " + hexAddress(at);
        if (!r.ok())
            return transferStatus(r, context);
        if (r.transferred != n)
            return Status::error(
                ErrorCode::Io, context + ": " + std::to_string(r.transferred) + " of " + std::to_string(n) + " bytes");
        done += n;
    }
    return Status::ok();
}

}  // namespace

Status Fx2Loader::read(std::uint16_t address, std::uint8_t* data, std::size_t length)
{
    return transferPieces(m_transport, true, address, data, length);
}

Status Fx2Loader::write(std::uint16_t address, const std::uint8_t* data, std::size_t length)
{
    // The transport does not write through `data` on an OUT transfer.
    return transferPieces(m_transport, false, address, const_cast<std::uint8_t*>(data), length);
}

Status Fx2Loader::cpuInReset(bool& inReset)
{
    std::uint8_t cpucs = 0;
    if (Status s = read(kCpucs, &cpucs, 1); !s)
        return s;
    inReset = (cpucs & kCpuReset) != 0;
    return Status::ok();
}

Status Fx2Loader::setCpuReset(bool reset)
{
    const std::uint8_t value = reset ? kCpuReset : kCpuRun;
    return write(kCpucs, &value, 1);
}

Status Fx2Loader::load(const FirmwareImage& image, bool& gone, Milliseconds backWithin)
{
    if (Status s = setCpuReset(true); !s)
        return s;
    const std::size_t size = image.present.size();
    for (std::size_t a = 0; a < size;) {
        if (!image.present[a]) {
            ++a;
            continue;
        }
        std::size_t end = a;
        while (end < size && image.present[end])
            ++end;
        if (Status s = write(std::uint16_t(a), image.bytes.data() + a, end - a); !s) {
            if (s.code() == ErrorCode::Unplugged)
                return s;
            return Status::error(s.code(), s.detail() + "; the controller is held in reset");
        }
        a = end;
    }
    return startCpu(gone, backWithin);
}

Status Fx2Loader::startCpu(bool& gone, Milliseconds backWithin)
{
    gone = false;
    if (Status s = setCpuReset(false); !s)
        return s;
    const TransferResult back = m_transport.awaitReenumeration(kLeaveWithin, backWithin);
    gone = !back.ok();
    if (gone) {
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%g", double(backWithin.count()) / 1000);
        return Status::error(ErrorCode::Timeout,
                             std::string("did not come back within ") + seconds + " s after the firmware started");
    }
    return Status::ok();
}

}  // namespace kousb::usb
