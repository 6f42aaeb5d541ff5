// AppSettings: everything the program keeps in section "main" of cfg.ini, as
// one value, with its one loader and one saver. Every key name of that
// section is in appsettings.cpp and nowhere else.
// Tests: tests/settings/appsettings_test.cpp.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace ormix {

class ConfigFile;
struct SelectTimeout;

struct AppSettings {
    // Scan ranges, one text per range as the settings window shows them (key iprange).
    std::vector<std::string> ranges;
    // The text of key ExcludeRes as stored: share names never shown, comma-separated.
    std::string excludeText;

    bool showShareCount = false;   // ShowResCount: list every computer's shares
    bool hideEmptyHosts = false;   // EmptyRes: leave computers without shares out of the tree
    bool autoScan = false;         // AutoScan
    int32_t autoScanInterval = 60; // AutoScanInterval, seconds as stored (not brought within bounds)
    bool groupByWorkgroup = false; // GroupByWrkGrp

    int32_t maxShareWorkers = 6;  // MaxAddThrds: share workers at once (never written)
    int32_t maxSearchWorkers = 6; // MaxIndexThrds: search workers at once (never written)
    // select_timeout_sec / select_timeout_usec: the scanner's wait for answers (never written).
    int32_t selectTimeoutSeconds = 4;
    int32_t selectTimeoutMicroseconds = 10;

    // How a scan finds computers: ScanNetbios, ScanSmb and ScanWsd (NetBIOS
    // alone when the file switches all off), and scan_retries within 0..2.
    bool scanNetbios = true;
    bool scanSmb = true;
    bool scanWsd = true;
    int32_t scanRetries = 1;

    // The share index: IndexShares, IndexWalks (shares walked at once, as
    // stored) and IndexDb (a file or a postgresql:// address).
    bool indexShares = false;
    int32_t indexWalks = 4;
    std::string indexDb;

    // The share names of excludeText.
    std::vector<std::string> excludedShares() const;
    // scanNetbios, scanSmb and scanWsd as the scanner's kFoundBy... bits.
    unsigned scanMethods() const;

    bool operator==(const AppSettings&) const = default;
};

using AppSettingsPtr = std::shared_ptr<const AppSettings>;

// Reads section "main"; a missing file or key gives the defaults above.
AppSettings loadAppSettings(const ConfigFile& file);

// Writes the keys the settings window edits (iprange, ShowResCount, ExcludeRes,
// EmptyRes, AutoScan, AutoScanInterval, GroupByWrkGrp, ScanNetbios, ScanSmb,
// ScanWsd, scan_retries, IndexShares, IndexWalks, IndexDb, in that order for keys the
// file lacks) in one rewrite of the file. Settings that all read back as they
// are leave the file untouched, byte for byte; otherwise each of these keys
// that differs or is missing is written, and a key already holding the wanted
// value keeps its line as written. Throws ConfigWriteError; the file is then
// unchanged.
void saveAppSettings(ConfigFile& file, const AppSettings& settings);

// The keys select_timeout_sec and select_timeout_usec alone: the scanner asks
// at the start of every range, so a change to the file counts from the next range.
SelectTimeout configuredSelectTimeout(const ConfigFile& file);

// The keys scan_retries (default 1) and scan_max_pps of section "main",
// bounded to what the scanner accepts.
int configuredScanRetries(const ConfigFile& file);
// The keys ScanNetbios, ScanSmb and ScanWsd (each default 1) of section
// "main"; NetBIOS alone when all are 0.
unsigned configuredScanMethods(const ConfigFile& file);
int configuredQueriesPerSecond(const ConfigFile& file);

} // namespace ormix
