// ScannedShare: one share the last scan found, as the tree hands it to the
// search: its path "\\IP\share" and the name of the computer that offers it.
// The text form "\\IP\share<>NAME" is kept for what shows or takes entries as
// text (the search history, ormix-cli's arguments, the share index).
// Tests: tests/search/searchworker_test.cpp.
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
