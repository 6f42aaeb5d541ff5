// AppSettings: the loader and the saver of section "main".
#include "settings/appsettings.h"

#include "scan/scanner.h"
#include "settings/configfile.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <string_view>

namespace ormix {

namespace {

constexpr char kMain[] = "main";

constexpr char kRanges[] = "iprange";
constexpr char kExclude[] = "ExcludeRes";
constexpr char kShowShareCount[] = "ShowResCount";
constexpr char kHideEmptyHosts[] = "EmptyRes";
constexpr char kAutoScan[] = "AutoScan";
constexpr char kAutoScanInterval[] = "AutoScanInterval";
constexpr char kGroupByWorkgroup[] = "GroupByWrkGrp";
constexpr char kMaxShareWorkers[] = "MaxAddThrds";
constexpr char kMaxSearchWorkers[] = "MaxIndexThrds";
constexpr char kSelectTimeoutSeconds[] = "select_timeout_sec";
constexpr char kSelectTimeoutMicroseconds[] = "select_timeout_usec";
constexpr char kScanNetbios[] = "ScanNetbios";
constexpr char kScanSmb[] = "ScanSmb";
constexpr char kScanWsd[] = "ScanWsd";
constexpr char kScanRetries[] = "scan_retries";
constexpr char kScanMaxQueriesPerSecond[] = "scan_max_pps";

} // namespace

std::vector<std::string> AppSettings::ExcludedShares() const {
    return DecodeCommaList(excludeText);
}

AppSettings LoadAppSettings(const ConfigFile& file) {
    AppSettings s;
    s.ranges = DecodeCommaList(file.ReadText(kMain, kRanges, ""));
    s.excludeText = file.ReadText(kMain, kExclude, "");
    s.showShareCount = file.ReadNumber(kMain, kShowShareCount, 0) != 0;
    s.hideEmptyHosts = file.ReadNumber(kMain, kHideEmptyHosts, 0) != 0;
    s.autoScan = file.ReadFlag(kMain, kAutoScan, false);
    s.autoScanInterval = file.ReadNumber(kMain, kAutoScanInterval, 60);
    s.groupByWorkgroup = file.ReadFlag(kMain, kGroupByWorkgroup, false);
    s.maxShareWorkers = file.ReadNumber(kMain, kMaxShareWorkers, 6);
    s.maxSearchWorkers = file.ReadNumber(kMain, kMaxSearchWorkers, 6);
    const SelectTimeout timeout = configuredSelectTimeout(file);
    s.selectTimeoutSeconds = timeout.seconds;
    s.selectTimeoutMicroseconds = timeout.microseconds;
    return s;
}

void SaveAppSettings(ConfigFile& file, const AppSettings& settings) {
    const AppSettings stored = LoadAppSettings(file);
    const bool differs[] = {
        stored.ranges != settings.ranges,
        stored.showShareCount != settings.showShareCount,
        stored.excludeText != settings.excludeText,
        stored.hideEmptyHosts != settings.hideEmptyHosts,
        stored.autoScan != settings.autoScan,
        stored.autoScanInterval != settings.autoScanInterval,
        stored.groupByWorkgroup != settings.groupByWorkgroup,
    };
    // Nothing to change: the file keeps every byte.
    if (std::find(std::begin(differs), std::end(differs), true) == std::end(differs))
        return;
    // Otherwise every edited key ends up in the file, as a save always left it;
    // a key already there with the wanted value keeps its line as written.
    std::vector<std::string> present;
    file.ListKeys(kMain, present);
    const auto missing = [&present](std::string_view key) {
        return std::none_of(present.begin(), present.end(), [key](const std::string& name) {
            return name.size() == key.size() &&
                   std::equal(name.begin(), name.end(), key.begin(), [](char a, char b) {
                       return std::tolower(static_cast<unsigned char>(a)) ==
                              std::tolower(static_cast<unsigned char>(b));
                   });
        });
    };
    ConfigEdit edit;
    if (differs[0] || missing(kRanges))
        edit.WriteText(kMain, kRanges, EncodeCommaList(settings.ranges));
    if (differs[1] || missing(kShowShareCount))
        edit.WriteFlag(kMain, kShowShareCount, settings.showShareCount);
    if (differs[2] || missing(kExclude))
        edit.WriteText(kMain, kExclude, settings.excludeText);
    if (differs[3] || missing(kHideEmptyHosts))
        edit.WriteFlag(kMain, kHideEmptyHosts, settings.hideEmptyHosts);
    if (differs[4] || missing(kAutoScan))
        edit.WriteFlag(kMain, kAutoScan, settings.autoScan);
    if (differs[5] || missing(kAutoScanInterval))
        edit.WriteNumber(kMain, kAutoScanInterval, settings.autoScanInterval);
    if (differs[6] || missing(kGroupByWorkgroup))
        edit.WriteFlag(kMain, kGroupByWorkgroup, settings.groupByWorkgroup);
    file.Apply(edit);
}

SelectTimeout configuredSelectTimeout(const ConfigFile& file) {
    SelectTimeout t;
    t.seconds = file.ReadNumber(kMain, kSelectTimeoutSeconds, 4);
    t.microseconds = file.ReadNumber(kMain, kSelectTimeoutMicroseconds, 10);
    return t;
}

unsigned configuredScanMethods(const ConfigFile& file) {
    unsigned m = 0;
    if (file.ReadNumber(kMain, kScanNetbios, 1) != 0)
        m |= kFoundByNetbios;
    if (file.ReadNumber(kMain, kScanSmb, 1) != 0)
        m |= kFoundBySmb;
    if (file.ReadNumber(kMain, kScanWsd, 1) != 0)
        m |= kFoundByWsd;
    return m == 0 ? kFoundByNetbios : m;
}

int configuredScanRetries(const ConfigFile& file) {
    return std::clamp(file.ReadNumber(kMain, kScanRetries, 1), 0, 2);
}

int configuredQueriesPerSecond(const ConfigFile& file) {
    const int v = file.ReadNumber(kMain, kScanMaxQueriesPerSecond, ScanOptions::kDefaultQueriesPerSecond);
    return v <= 0 ? 0 : std::clamp(v, 10, 10000000);
}

} // namespace ormix
