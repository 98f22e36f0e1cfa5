// SPDX-License-Identifier: MIT
// Firmware and EEPROM images loaded from files into the simulated board.
//
// The board checks each file as the hardware (or the maker's loader) would
// and refuses it, changing nothing, with the reader's reason. What it takes
// costs the time the real transfer costs, so the window sees a real wait.
#include "../eepromflash.h"
#include "../eepromlayout.h"
#include "../formats/biximage.h"
#include "../formats/bitfile.h"
#include "../formats/intelhex.h"
#include "simboard.h"
#include "simtiming.h"

#include <algorithm>
#include <chrono>
#include <cctype>
#include <cstdio>
#include <sys/stat.h>
#include <thread>

namespace kousb::sim {

namespace {

// The controller's RAM that the boot loader's firmware-load request reaches
// (FX2LP): 16 KiB at 0x0000-0x3FFF and 512 bytes at 0xE000-0xE1FF, where real
// images keep their descriptors. A raw .bix image starts at 0 and fills the
// first only.
constexpr std::size_t kInternalRamSize = 16 * 1024;
const std::vector<formats::HexRegion> kLoadableRam = {{0x0000, 0x4000}, {0xE000, 0xE200}};
constexpr std::size_t kLoadableEnd = 0xE200;
// Bytes per firmware-load control transfer (EP0's packet size).
constexpr std::size_t kLoadChunk = 64;

// Configuring the FPGA: the bitstream goes through the controller at about
// 4 Mbyte/s (an 8-bit SelectMAP port at 4 MHz), so a Spartan-3E 500E's
// 283 kbyte take about 70 ms.
void waitFpgaConfiguration(std::uint64_t bitstreamBytes)
{
    std::this_thread::sleep_for(std::chrono::microseconds(bitstreamBytes / 4));
}

// One page write of a 24LC128-class EEPROM: the page over I2C at 400 kHz
// (about 1.5 ms) and the chip's write cycle (3 ms typical, 5 ms at most).
void waitEepromPageWrite() { std::this_thread::sleep_for(std::chrono::microseconds(4500)); }

// A sequential read from the EEPROM over I2C at 400 kHz: nine clocks a byte.
void waitEepromRead(std::size_t bytes) { std::this_thread::sleep_for(std::chrono::microseconds(bytes * 9 * 10 / 4)); }

// The board file is line-based text; a name from a file must not break it.
std::string printableText(const std::string& text)
{
    std::string out = text;
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = '?';
    return out;
}

std::string baseName(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool isHexName(const std::string& path)
{
    std::string name = baseName(path);
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    auto endsWith = [&](const char* tail) {
        const std::string t(tail);
        return name.size() > t.size() && name.compare(name.size() - t.size(), t.size(), t) == 0;
    };
    return endsWith(".hex") || endsWith(".ihx");
}

}  // namespace

Status SimBoard::downloadXilinx(const std::string& path)
{
    if (Status s = withBoard([](SharedBoardState&) { return Status::ok(); }); !s)
        return s;
    formats::BitHeader header;
    if (Status s = formats::readBitFile(path, header); !s)
        return s;
    if (!formats::fpgaPartMatches(header.part, m_config.fpgaPart))
        return Status::error(ErrorCode::BadFile, "wrong part: the file is for " + header.part
                                                     + ", this board's FPGA is " + m_config.fpgaPart);
    waitFpgaConfiguration(header.bitstreamLength);
    const std::string design = printableText(formats::bitDesignName(header.design));
    return withBoard([&](SharedBoardState& s) {
        copyText(s.ram.fpgaDesign, sizeof s.ram.fpgaDesign, design);
        m_shared->noteChange();
        return Status::ok();
    });
}

// A .hex or .ihx file is Intel HEX; anything else is a raw .bix image. Either
// must fit the internal RAM. Loading is the boot loader's way: hold the CPU in
// reset, write the image in EP0-sized control transfers, let the CPU run.
Status SimBoard::loadFirmware(const std::string& path)
{
    if (Status s = withBoard([](SharedBoardState&) { return Status::ok(); }); !s)
        return s;
    std::vector<std::uint8_t> bytes;
    std::vector<bool> present;
    if (isHexName(path)) {
        formats::HexImage hex;
        if (Status s = formats::readIntelHexFile(path, kLoadableEnd, hex, kLoadableRam); !s)
            return s;
        if (hex.byteCount == 0)
            return Status::error(ErrorCode::BadFile, "no data in the image");
        bytes = std::move(hex.bytes);
        present = std::move(hex.present);
    } else {
        if (Status s = formats::readBixImage(path, kInternalRamSize, bytes); !s)
            return s;
        present.assign(bytes.size(), true);
    }

    // The transfers' time first; then the image goes in as one call, so
    // other processes see the board before or after the load, never half-way.
    std::size_t loaded = 0;
    for (std::size_t chunk = 0; chunk < bytes.size(); chunk += kLoadChunk) {
        const std::size_t end = std::min(bytes.size(), chunk + kLoadChunk);
        const std::size_t before = loaded;
        for (std::size_t a = chunk; a < end; ++a)
            loaded += present[a] ? 1 : 0;
        if (loaded != before)
            waitControlTransfer();
    }
    const std::string firmware = printableText(baseName(path)) + " (" + std::to_string(loaded) + " bytes)";
    return withBoard([&](SharedBoardState& s) {
        for (std::size_t a = 0; a < bytes.size(); ++a)
            if (present[a])
                s.ram.controllerMemory[a] = bytes[a];
        copyText(s.ram.controllerFirmware, sizeof s.ram.controllerFirmware, firmware);
        m_shared->noteChange();
        return Status::ok();
    });
}

// The whole HEX file is checked before the first byte is written; then each
// 64-byte page that the image touches is written as one I2C page write, and
// the new content goes to the board file in one atomic, durable step. A board
// unplugged half-way (its file gone) ends the flash with the EEPROM as it was.
//
// Then the EEPROM is read back and compared with the image. A difference
// fails the flash naming the first differing offset; what was written stays
// written, as on a real part, so the caller sees the EEPROM as it now is.
Status SimBoard::loadEepromImage(const std::string& path)
{
    EepromFlashReport report;
    return loadEepromImageWithProgress(path, {}, report);
}

Status SimBoard::loadEepromImageWithProgress(const std::string& path, const EepromFlashOptions& options,
                                             EepromFlashReport& report)
{
    if (Status s = withBoard([](SharedBoardState&) { return Status::ok(); }); !s)
        return s;
    // Each page costs its write cycle as it goes; the pages are staged and
    // stored in one step under the board's lock once all are written, so
    // another process sees the EEPROM before or after the flash.
    struct Access : EepromAccess {
        SimBoard& board;
        std::vector<std::pair<std::size_t, std::vector<std::uint8_t>>> runs;
        explicit Access(SimBoard& b) : board(b) {}
        Status writeRun(std::size_t offset, const std::uint8_t* data, std::size_t length) override
        {
            struct stat st;
            if (::stat(board.m_path.c_str(), &st) != 0)
                return Status::error(ErrorCode::Unplugged);
            const std::size_t page = offset - offset % eeprom::kPageSize;
            const auto drop = board.m_config.eepromDropOffset;
            if (!(drop && *drop >= page && *drop < page + eeprom::kPageSize))
                runs.emplace_back(offset, std::vector<std::uint8_t>(data, data + length));
            waitEepromPageWrite();
            return Status::ok();
        }
        Status finishWrites() override
        {
            return board.changeEepromCall([&](std::vector<std::uint8_t>& image) {
                for (const auto& [offset, bytes] : runs)
                    std::copy(bytes.begin(), bytes.end(), image.begin() + static_cast<long>(offset));
                return Status::ok();
            });
        }
        Status read(std::size_t offset, std::uint8_t* data, std::size_t length) override
        {
            return board.readEeprom(offset, data, length);
        }
    } access(*this);
    return flashEepromImage(path, eeprom::kSize, access, options, report);
}

std::size_t SimBoard::eepromSize() { return eeprom::kSize; }

Status SimBoard::readEeprom(std::size_t offset, std::uint8_t* data, std::size_t length)
{
    Status result = withBoard([&](SharedBoardState& s) {
        if (offset > eeprom::kSize || length > eeprom::kSize - offset)
            return Status::error(ErrorCode::OutOfRange, "beyond the " + std::to_string(eeprom::kSize) + "-byte EEPROM");
        if (data == nullptr && length > 0)
            return Status::error(ErrorCode::InvalidArgument, "no buffer");
        std::copy_n(s.eeprom + offset, length, data);
        return Status::ok();
    });
    if (result)
        waitEepromRead(length);
    return result;
}

}  // namespace kousb::sim
