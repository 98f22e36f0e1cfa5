// SPDX-License-Identifier: MIT
#pragma once
#include <string>

namespace kousb::sim {

// The folder that holds the simulated boards: $KOUSB_SIM_DIR, else
// $XDG_RUNTIME_DIR/kousb-sim, else a per-user folder in the temporary
// directory. The library and kousb-sim use the same rule, so a board plugged
// from any terminal shows in any running window.
std::string defaultDirectory();

// Creates the folder (and missing parents) if needed; false with a reason.
bool ensureDirectory(const std::string& dir, std::string& error);

// Board files are named slot-NN.board; -1 for any other name.
std::string boardFileName(int slot);
int slotFromFileName(const std::string& name);

}  // namespace kousb::sim
