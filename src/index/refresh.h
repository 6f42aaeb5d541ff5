// The index refresh: walks a list of shares through a ShareWalker (the SMB
// helper pool in the program) only to record them, at most N at once and
// never two walks of one host at the same time. Tests: tests/index/refresh_test.cpp.
#pragma once

#include "search/scannedshare.h"
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

// Only the shares' paths matter here (the names label rows through the
// RecordingShareWalker that walker normally is). Blocks until every share was walked or stop is set;
// its threads are joined before it returns.
std::vector<RefreshOutcome> RefreshShares(ShareWalker& walker, const std::vector<ScannedShare>& shares,
                                          int maxParallel, const std::atomic<bool>& stop);

} // namespace ormix
