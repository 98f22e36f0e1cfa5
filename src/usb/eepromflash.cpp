// SPDX-License-Identifier: MIT
#include "eepromflash.h"

#include "bootcheck.h"
#include "eepromlayout.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace kousb {

namespace {

// Bytes read per read, for the read-back and the present content.
constexpr std::size_t kReadChunk = 1024;

// The EEPROM before and after the flash: the present content, read from the
// board a chunk at a time and only where it is asked for (so an image that
// gives all the boot check reads costs no read), and over it the image's
// bytes where it gives them.
class EepromContent {
public:
    EepromContent(const formats::HexImage& image, std::size_t size, EepromAccess& access)
        : m_image(image), m_access(access), m_present(size), m_loaded((size + kReadChunk - 1) / kReadChunk, false)
    {
    }

    Status after(std::size_t offset, std::uint8_t* out, std::size_t length) { return read(offset, out, length, true); }
    Status before(std::size_t offset, std::uint8_t* out, std::size_t length)
    {
        return read(offset, out, length, false);
    }

    // All of the present content, reporting each chunk read to `progress`.
    Status present(std::vector<std::uint8_t>& out, const std::function<void(std::size_t done)>& progress)
    {
        for (std::size_t chunk = 0; chunk < m_loaded.size(); ++chunk) {
            if (Status s = load(chunk); !s)
                return s;
            progress(std::min(m_present.size(), (chunk + 1) * kReadChunk));
        }
        out = m_present;
        return Status::ok();
    }

private:
    Status read(std::size_t offset, std::uint8_t* out, std::size_t length, bool withImage)
    {
        for (std::size_t a = offset; a < offset + length; ++a) {
            if (withImage && m_image.present[a]) {
                out[a - offset] = m_image.bytes[a];
                continue;
            }
            if (Status s = load(a / kReadChunk); !s)
                return s;
            out[a - offset] = m_present[a];
        }
        return Status::ok();
    }

    Status load(std::size_t chunk)
    {
        if (m_loaded[chunk])
            return Status::ok();
        const std::size_t at = chunk * kReadChunk;
        if (Status s = m_access.read(at, m_present.data() + at, std::min(kReadChunk, m_present.size() - at)); !s)
            return s;
        m_loaded[chunk] = true;
        return Status::ok();
    }

    const formats::HexImage& m_image;
    EepromAccess& m_access;
    std::vector<std::uint8_t> m_present;
    std::vector<bool> m_loaded;
};

// The boot check of a flash: the EEPROM as it will be must boot, unless the
// image leaves the first byte alone and the EEPROM does not boot now either
// (an identity written to a board whose boot image was already broken makes
// nothing worse, and the board still needs one).
Status checkFlash(const formats::HexImage& image, std::size_t eepromSize, EepromContent& content)
{
    Status after = checkBootable(
        [&](std::size_t offset, std::uint8_t* out, std::size_t length) { return content.after(offset, out, length); },
        eepromSize);
    if (after || after.code() != ErrorCode::BadFile || image.present[0])
        return after;
    const Status before = checkBootable(
        [&](std::size_t offset, std::uint8_t* out, std::size_t length) { return content.before(offset, out, length); },
        eepromSize);
    if (before.code() == ErrorCode::BadFile)
        return Status::ok();
    return before ? after : before;
}

// A board that has gone fails the flash as unplugged; any other failure names the backup.
Status backupFailed(const Status& why, const std::string& path)
{
    if (why.code() == ErrorCode::Unplugged)
        return why;
    return Status::error(why.code(), "saving the EEPROM to " + path + " before the flash failed: "
                                         + (why.detail().empty() ? why.message() : why.detail())
                                         + "; nothing was written");
}

}  // namespace

Status flashEepromImage(const std::string& path, std::size_t eepromSize, EepromAccess& access,
                        const EepromFlashOptions& options, EepromFlashReport& report)
{
    report = EepromFlashReport{};
    formats::HexImage image;
    if (Status s = formats::readIntelHexFile(path, eepromSize, image); !s)
        return s;
    if (image.byteCount == 0)
        return Status::error(ErrorCode::BadFile, "no data in the image");
    EepromContent content(image, eepromSize, access);
    if (options.checkBoot) {
        if (Status s = checkFlash(image, eepromSize, content); !s)
            return s;
    }

    const std::size_t end = image.endAddress;
    const std::size_t saved = options.backupPath.empty() ? 0 : eepromSize;
    const std::size_t total = saved + 2 * end;
    auto progress = [&](std::size_t done) {
        if (options.progress)
            options.progress(done, total);
    };
    progress(0);
    if (!options.backupPath.empty()) {
        std::vector<std::uint8_t> present;
        Status backup = content.present(present, progress);
        if (backup)
            backup = formats::writeIntelHexFile(options.backupPath, present.data(), present.size());
        if (backup) {
            report.backupMade = true;
        } else {
            report.backupError = backup.message();
            if (!options.flashWithoutBackup)
                return backupFailed(backup, options.backupPath);
        }
    }

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
        progress(saved + runEnd);
        a = runEnd;
    }
    if (Status s = access.finishWrites(); !s)
        return s;

    std::vector<std::uint8_t> readBack(end);
    for (std::size_t at = 0; at < end; at += kReadChunk) {
        const std::size_t n = std::min(kReadChunk, end - at);
        if (Status s = access.read(at, readBack.data() + at, n); !s)
            return s;
        progress(saved + end + at + n);
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
