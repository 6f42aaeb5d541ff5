// ScannedShare: one share the last scan found, as it travels from the tree
// to the search, its workers and the share index: its path "\\IP\share" and
// the name of the computer that offers it. The text form "\\IP\share<>NAME"
// is only for what users read or type (the search window's list of shares,
// ormix-cli's arguments); it is parsed where it comes in.
// Tests: tests/search/searchworker_test.cpp, tests/index/index_cases.h.
#pragma once

#include <string>
#include <string_view>

namespace ormix {

struct ScannedShare {
    std::string path;         // "\\IP\share"
    std::string computerName; // as the scan found it; may be empty

    // "IP" and "share" of path; empty when path is not of that form.
    std::string address() const;
    std::string shareName() const;

    bool operator==(const ScannedShare&) const = default;
};

// path + "<>" + computerName.
std::string ScannedShareText(const ScannedShare& entry);
// The reverse: the path up to the first "<>", the name up to the next one
// (a text without "<>" is a path without a name).
ScannedShare ParseScannedShare(std::string_view text);

} // namespace ormix
