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
constexpr char kIndexShares[] = "IndexShares";
constexpr char kIndexWalks[] = "IndexWalks";
constexpr char kIndexDb[] = "IndexDb";

bool sameKey(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

} // namespace

std::vector<std::string> AppSettings::excludedShares() const {
    return DecodeCommaList(excludeText);
}

unsigned AppSettings::scanMethods() const {
    unsigned m = 0;
    if (scanNetbios)
        m |= kFoundByNetbios;
    if (scanSmb)
        m |= kFoundBySmb;
    if (scanWsd)
        m |= kFoundByWsd;
    return m == 0 ? kFoundByNetbios : m;
}

AppSettings loadAppSettings(const ConfigFile& file) {
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
    const unsigned methods = configuredScanMethods(file);
    s.scanNetbios = (methods & kFoundByNetbios) != 0;
    s.scanSmb = (methods & kFoundBySmb) != 0;
    s.scanWsd = (methods & kFoundByWsd) != 0;
    s.scanRetries = configuredScanRetries(file);
    s.indexShares = file.ReadFlag(kMain, kIndexShares, false);
    s.indexWalks = file.ReadNumber(kMain, kIndexWalks, 4);
    s.indexDb = file.ReadText(kMain, kIndexDb, "");
    return s;
}

void saveAppSettings(ConfigFile& file, const AppSettings& settings) {
    const AppSettings stored = loadAppSettings(file);
    // One entry per edited key, in the order a save adds missing keys.
    struct Key {
        const char* name;
        bool differs;
        std::string value;
    };
    const auto flag = [](bool on) { return std::string(on ? "1" : "0"); };
    const Key keys[] = {
        {kRanges, stored.ranges != settings.ranges, EncodeCommaList(settings.ranges)},
        {kShowShareCount, stored.showShareCount != settings.showShareCount, flag(settings.showShareCount)},
        {kExclude, stored.excludeText != settings.excludeText, settings.excludeText},
        {kHideEmptyHosts, stored.hideEmptyHosts != settings.hideEmptyHosts, flag(settings.hideEmptyHosts)},
        {kAutoScan, stored.autoScan != settings.autoScan, flag(settings.autoScan)},
        {kAutoScanInterval, stored.autoScanInterval != settings.autoScanInterval,
         std::to_string(settings.autoScanInterval)},
        {kGroupByWorkgroup, stored.groupByWorkgroup != settings.groupByWorkgroup,
         flag(settings.groupByWorkgroup)},
        {kScanNetbios, stored.scanNetbios != settings.scanNetbios, flag(settings.scanNetbios)},
        {kScanSmb, stored.scanSmb != settings.scanSmb, flag(settings.scanSmb)},
        {kScanWsd, stored.scanWsd != settings.scanWsd, flag(settings.scanWsd)},
        {kScanRetries, stored.scanRetries != settings.scanRetries, std::to_string(settings.scanRetries)},
        {kIndexShares, stored.indexShares != settings.indexShares, flag(settings.indexShares)},
        {kIndexWalks, stored.indexWalks != settings.indexWalks, std::to_string(settings.indexWalks)},
        {kIndexDb, stored.indexDb != settings.indexDb, settings.indexDb},
    };
    // Nothing to change: the file keeps every byte.
    if (std::none_of(std::begin(keys), std::end(keys), [](const Key& k) { return k.differs; }))
        return;
    // Otherwise every edited key ends up in the file, as a save always left it;
    // a key already there with the wanted value keeps its line as written.
    std::vector<std::string> present;
    file.ListKeys(kMain, present);
    ConfigEdit edit;
    for (const Key& key : keys) {
        const bool missing = std::none_of(present.begin(), present.end(), [&key](const std::string& name) {
            return sameKey(name, key.name);
        });
        if (key.differs || missing)
            edit.WriteText(kMain, key.name, key.value);
    }
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
