// Whole-file reads and atomic replacement for the files the program keeps
// (cfg.ini, range.lst, range.txt). A replacement never leaves a half-written
// file: the new contents go to a temporary file beside the target, are synced,
// renamed over the target, and the folder is synced.
// Tests: tests/platform/atomicfile_test.cpp.
#pragma once

#include "platform/result.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include <sys/types.h>

namespace ormix {

// Reads a whole regular file of at most maxSize bytes. A FIFO, device or
// folder of that name is refused without blocking (NotRegular); a larger file
// is refused without reading it (TooLarge).
Result<std::string> readRegularFile(const std::string& path, std::size_t maxSize);

struct ReplaceOptions {
    // Permissions of a file created anew (the umask applies); a replaced file
    // keeps its own mode and, where the process may, its owner.
    mode_t newFileMode = 0666;
    // For tests: runs after the temporary file is complete, before the rename.
    std::function<void()> beforeRename;
};

// Replaces the file at `path` with `contents`. A symbolic link stays a link:
// the file it points to is replaced. Refused: a target that is not a regular
// file (NotRegular) and a read-only one (ReadOnly, also for root: a file with
// no write permission bit at all is never replaced).
Result<void> replaceFile(const std::string& path, std::string_view contents,
                         const ReplaceOptions& options = {});

// How many replacements this process has made so far (tests count the
// rewrites of a file with it).
std::uint64_t replacementsDone();

// Removes the temporary files that replacements of `path` left behind when
// their process died (killed during a save). Temporary files of living
// processes are left alone. Returns how many were removed.
std::size_t removeStaleTemporaries(const std::string& path);

} // namespace ormix
