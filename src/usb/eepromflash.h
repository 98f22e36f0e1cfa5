// SPDX-License-Identifier: MIT
#pragma once
// Flashing an EEPROM image and proving it took: the one routine every kind
// of board uses, so that the writes, the read-back, the comparison and the
// message on a difference are the same whatever the board is.
#include "board.h"
#include "formats/intelhex.h"

#include <cstddef>
#include <cstdint>

namespace kousb {

// How one board reaches its EEPROM.
class EepromAccess {
public:
    virtual ~EepromAccess() = default;
    // Writes a run of bytes that lies within one EEPROM page (eeprom::kPageSize).
    virtual Status writeRun(std::size_t offset, const std::uint8_t* data, std::size_t length) = 0;
    // Called after the last run, before the read-back (a board that stages
    // its writes stores them here).
    virtual Status finishWrites() { return Status::ok(); }
    virtual Status read(std::size_t offset, std::uint8_t* data, std::size_t length) = 0;
};

// Reads the Intel HEX file at `path` for an EEPROM of `eepromSize` bytes
// and, before writing anything, refuses an image after which the controller
// would not boot (checkBootable on the EEPROM as it would then be: the
// image's bytes, and the present content where the image gives none, read
// from the board as far as the check needs) unless `options` waives it. An
// image that leaves the first byte alone passes when the EEPROM does not
// boot now either: it makes nothing worse.
// Then saves the present content when `options` asks for a backup (Intel HEX,
// every byte, as kousb dump-eeprom writes it; a backup that cannot be made
// refuses the flash unless `options` allows flashing without it), writes the
// bytes the image gives, page by page, reads the EEPROM back up to the
// image's end and compares. A difference fails with VerifyFailed, naming the
// first differing offset: "the EEPROM reads 0x.. at offset 0x...., the image
// has 0x..". What was written stays written. `options.progress` hears of the
// backup's reading, the writes and the read-back in turn.
Status flashEepromImage(const std::string& path, std::size_t eepromSize, EepromAccess& access,
                        const EepromFlashOptions& options, EepromFlashReport& report);

}  // namespace kousb
