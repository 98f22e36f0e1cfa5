// SPDX-License-Identifier: MIT
#pragma once
// Naming one attached board, or several: by ID ("42", "0x2A"), by place
// ("@1-2.3" for a USB board's bus and port path, "@sim-2" for simulated
// slot 2) or by serial number ("serial:KO0000002A"). What kousb --board and
// the Python module's board() take. Plain C++17, no Qt.
#include "boardlist.h"

#include <string>
#include <vector>

namespace boards {

struct Selector {
    enum class Kind { Id, Place, Serial };
    Kind kind = Kind::Id;
    int id = 0;
    std::string text;  // the place or serial, for those kinds
};

// Reads a selector; false with the reason in `error` for text that is none
// (an ID beyond 32 bits, an empty place or serial, anything else).
bool parseSelector(const std::string& text, Selector& selector, std::string& error);

// True when `board` is one `selector` names. A serial matches in any case.
bool matches(const Selector& selector, const Entry& board);

// The selector that names `board` alone among `attached`: its ID when no
// other board has it, else its place, else its serial; empty when nothing
// tells it apart.
std::string selectorFor(const Entry& board, const std::vector<Entry>& attached);

// Orders places as a person reads them: the numbers in them compared as
// numbers, so "1-2" < "1-10" and "sim-2" < "sim-10".
bool placeLess(const std::string& a, const std::string& b);

}  // namespace boards
