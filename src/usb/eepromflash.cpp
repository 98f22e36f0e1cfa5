// SPDX-License-Identifier: MIT
#include "eepromflash.h"

#include "eepromlayout.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace kousb {

namespace {

// Bytes read back per read.
constexpr std::size_t kReadBackChunk = 1024;

}  // namespace

Status flashEepromImage(const std::string& path, std::size_t eepromSize, EepromAccess& access,
                        const Board::Progress& progress)
{
    formats::HexImage image;
    if (Status s = formats::readIntelHexFile(path, eepromSize, image); !s)
        return s;
    if (image.byteCount == 0)
        return Status::error(ErrorCode::BadFile, "no data in the image");
    const std::size_t end = image.endAddress;
    const std::size_t total = 2 * end;
    auto report = [&](std::size_t done) {
        if (progress)
            progress(done, total);
    };
    report(0);
    for (std::size_t a = 0; a < end;) {
        if (!image.present[a]) {
            ++a;
            continue;
        }
        const std::size_t pageEnd = std::min(end, (a / eeprom::kPageSize + 1) * eeprom::kPageSize);
        std::size_t runEnd = a;
        while (runEnd < pageEnd && image.present[runEnd])
            ++runEnd;
        if (Status s = access.writeRun(a, image.bytes.data() + a, runEnd - a); !s)
            return s;
        report(runEnd);
        a = runEnd;
    }
    if (Status s = access.finishWrites(); !s)
        return s;

    std::vector<std::uint8_t> readBack(end);
    for (std::size_t at = 0; at < end; at += kReadBackChunk) {
        const std::size_t n = std::min(kReadBackChunk, end - at);
        if (Status s = access.read(at, readBack.data() + at, n); !s)
            return s;
        report(end + at + n);
    }
    for (std::size_t a = 0; a < end; ++a)
        if (image.present[a] && readBack[a] != image.bytes[a]) {
            char detail[96];
            std::snprintf(detail, sizeof detail, "the EEPROM reads 0x%02X at offset 0x%04zX, the image has 0x%02X",
                          readBack[a], a, image.bytes[a]);
            return Status::error(ErrorCode::VerifyFailed, detail);
        }
    return Status::ok();
}

}  // namespace kousb
