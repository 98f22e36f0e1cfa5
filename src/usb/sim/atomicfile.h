#pragma once
#include <string>

namespace kousb::sim {

enum class WriteMode {
    CreateNew,        // fail if the file exists
    ReplaceExisting,  // fail if the file has gone (never brings an unplugged board back)
};

// Writes `content` to `path` so that a reader (or a crash) sees either the
// old file or the new one, never a mix: the bytes go to a temporary file in
// the same directory, which then takes the file's place in one step.
// `durable` also flushes the data to the disk before the switch.
// Returns false with a reason in `error`.
bool writeFileAtomic(const std::string& path, const std::string& content, WriteMode mode, bool durable,
                     std::string& error);

// Reads a whole regular file of at most `maxBytes` (through the library's
// one bounded file reader); false with a reason naming the path otherwise.
bool readSmallFile(const std::string& path, std::size_t maxBytes, std::string& content, std::string& error);

} // namespace kousb::sim
