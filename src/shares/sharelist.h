// One computer and its shares (HostInfo), the share settings a worker reads,
// and the enumeration step shared by the share workers and ormix-cli shares.
// Tests: tests/shares/sharelist_test.cpp.
#pragma once

#include "shares/accounts.h"
#include "shares/smbpool.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace ormix {

struct SHAREINF {
    std::string Path;   // \\IP\name
    std::string Remark; // empty when the share has none
};

// A computer as the scanner found it, with the shares kept by the worker.
// Shares has no fixed capacity: every kept share is stored, so a server
// with more than 100 shares shows them all. ShareCount == Shares.size().
struct HostInfo {
    std::string Name;
    std::string Ip;
    std::string Mac;
    std::string Workgroup;
    // How the scan found the computer, as the window shows it ("NetBIOS, Порт
    // SMB (445)"); empty when not known.
    std::string FoundBy;
    int32_t ShareCount = 0;
    std::vector<SHAREINF> Shares;

    void addShare(std::string path, std::string remark);
    void clearShares();
};

// The settings a share worker reads, taken as one snapshot when the worker
// is made, so a settings save during a scan never shows it half a list.
struct ShareSettings {
    bool showShareCount = false; // ShowResCount
    bool hideEmptyHosts = false; // EmptyRes
    std::vector<std::string> excludedShares;
};
using ShareSettingsPtr = std::shared_ptr<const ShareSettings>;

// Asks a server (by IPv4 address) for its shares; the pool's listShares in
// the program, a fake in tests.
using ShareLister = std::function<ShareListing(const std::string& ip)>;
using LogFn = std::function<void(const std::string& line)>;

// Lists through the pool, signing in as signIn's order says.
ShareLister poolLister(SmbHelperPool& pool, SignIn& signIn = processSignIn());

// Equal without regard to letter case, with Unicode case folding (so Cyrillic
// names fold as well as Latin ones).
bool sameShareName(const std::string& a, const std::string& b);
bool isExcludedShare(const std::string& name, const std::vector<std::string>& excluded);

// Whether a share name can stand in a share path: not empty, not "." or
// "..", and free of "\\", "/" and NUL (a name that climbs or nests would
// make the path point elsewhere).
bool isSharePathName(const std::string& name);

// "Share Enumerate Error #<status> (host <server>)", server being \\IP.
std::string shareEnumerateErrorLine(int32_t status, const std::string& server);

// Lists the shares of host.Ip and appends the ones not excluded to host, in
// the server's order. On failure logs the error line and keeps what arrived
// before it. Returns the status (0, 5, 53, 59).
int32_t EnumerateShares(HostInfo& host, const std::vector<std::string>& excluded, const ShareLister& lister,
                        const LogFn& log);

} // namespace ormix
