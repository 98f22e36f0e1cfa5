// SPDX-License-Identifier: MIT
// Simulated board file reader: any text. A file it takes must survive being
// written out and read back unchanged.
#include "sim/boardfile.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    kousb::sim::BoardState state;
    std::string error;
    if (!kousb::sim::parseBoardFile(text, state, error))
        return 0;
    const std::string written = kousb::sim::formatBoardFile(state);
    kousb::sim::BoardState again;
    if (!kousb::sim::parseBoardFile(written, again, error) || kousb::sim::formatBoardFile(again) != written)
        std::abort();
    if (again.eeprom != state.eeprom || again.slot != state.slot || again.instance != state.instance)
        std::abort();
    return 0;
}
