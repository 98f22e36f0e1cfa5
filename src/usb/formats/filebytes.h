// SPDX-License-Identifier: MIT
#pragma once
#include "../status.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kousb::formats {

// Reading the files that the library is handed by path. Both refuse anything
// but a regular file (a directory, a pipe, /dev/zero) and never hold more than
// `maxBytes` of it: the size is checked before reading, and reading stops at
// the limit in case the file grows meanwhile.
//
// Failures: FileNotFound, FileUnreadable (with the system's reason), or
// BadFile "file too large" for readWholeFile. The reasons leave out the path;
// the caller knows it.

// The whole file; refused without reading it when larger than `maxBytes`.
Status readWholeFile(const std::string& path, std::size_t maxBytes, std::vector<std::uint8_t>& content);

// readWholeFile for a file the library keeps for the user (a board file): a
// symbolic link is not followed, and a file of another user is refused.
Status readOwnFile(const std::string& path, std::size_t maxBytes, std::vector<std::uint8_t>& content);

// The first `maxBytes` bytes (or all, if shorter), and the file's full size.
Status readFileHead(const std::string& path, std::size_t maxBytes, std::vector<std::uint8_t>& head,
                    std::uint64_t& fileSize);

}  // namespace kousb::formats
