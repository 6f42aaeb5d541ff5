// The settings the main window keeps copies of, as loaded from section "main"
// of cfg.ini. The settings loader hands over one complete value per load, so a
// reader never mixes values from before and after a save.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ormix {

struct SettingsMirrors {
    bool ShowResCount = false;
    bool EmptyRes = false;
    bool AutoScan = false;
    int32_t AutoScanInterval = 60; // seconds, as read (not brought within 5..6000)
    bool GroupByWrkGrp = false;
    std::vector<std::string> ExcludedShares;
};

} // namespace ormix
