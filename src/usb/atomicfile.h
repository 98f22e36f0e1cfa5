// SPDX-License-Identifier: MIT
#pragma once
#include <string>

namespace kousb {

enum class WriteMode {
    CreateNew,        // fail if the file exists
    ReplaceExisting,  // fail if the file has gone (never brings an unplugged board back)
    CreateOrReplace,  // a file saved for the user: whatever is there is replaced
};

// The one way the library and its programs write a file: a reader (or a
// crash) sees either the old file or the whole new one, never a mix.
//
// The bytes go to a temporary file with a fresh random name, created
// exclusively (O_CREAT|O_EXCL|O_NOFOLLOW) in the destination's folder, so a
// symbolic link planted at any name never redirects the write; the file gets
// 0666 minus the umask, like any file the user creates. It is flushed to disk,
// then renamed over `path` (which replaces a link at `path`, never follows
// it), and the folder is flushed. Two writers of one path each write their own
// temporary file, so one of them wins whole. On any failure the temporary file
// is removed, `path` is untouched, and `error` names the path and the reason.
// `durable` false skips the flushes, for files that need not survive a
// power loss (the crash safety stays).
bool writeFileAtomic(const std::string& path, const std::string& content, WriteMode mode, std::string& error,
                     bool durable = true);

// Flushes `path` and its folder to disk: makes a run of non-durable writes of
// one file durable at once. False if the file cannot be opened or flushed.
bool flushToDisk(const std::string& path);

}  // namespace kousb
