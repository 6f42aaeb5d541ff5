// The index refresh: walks a list of shares through a ShareWalker (the SMB
// helper pool in the program) only to record them, at most N at once and
// never two walks of one host at the same time. Tests: tests/index/refresh_test.cpp.
#pragma once

#include "search/sharewalk.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace ormix {

struct RefreshOutcome {
    std::string share; // "\\IP\name"
    bool complete = false;
    int64_t entries = 0; // files and folders listed
};

// entries are "\\IP\share<>NAME" (or bare share paths); walker is normally a
// RecordingShareWalker. Blocks until every share was walked or stop is set;
// its threads are joined before it returns.
std::vector<RefreshOutcome> RefreshShares(ShareWalker& walker, const std::vector<std::string>& entries,
                                          int maxParallel, const std::atomic<bool>& stop);

} // namespace ormix
