// Scan ranges: the three forms of a range text (a single address, address/prefix,
// address-lastbyte), the walk through a range, the progress total of a range
// list, and the set of addresses that answered. Covered by
// tests/scan/ranges_test.cpp and the parseRangeText fuzzer.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace ormix {

// Inclusive, host byte order; first <= last after a successful parse.
struct AddressRange {
    uint32_t first = 0;
    uint32_t last = 0;
};

// Each parser accepts its own form only. Addresses are read with the C
// library's inet_addr notation (1-4 parts, decimal, 0-octal or 0x-hex); the
// all-ones address is never accepted. The working copy of the text is a
// std::string: when its memory cannot be obtained the parsers throw
// std::bad_alloc, and the caller shows "Malloc failed" and treats the text as
// rejected.
bool parseSingleAddress(std::string_view text, AddressRange& range);
bool parsePrefixRange(std::string_view text, AddressRange& range); // "192.168.1.0/24"
bool parseDashRange(std::string_view text, AddressRange& range);   // "192.168.1.10-20"
bool parseRangeText(std::string_view text, AddressRange& range);   // the three in that order

// The walk: cursor empty -> first; then each next address up to last; false
// when the walk is over. Cursor and result are in network byte order. Never
// wraps past 255.255.255.255.
bool stepAddress(const AddressRange& range, std::optional<uint32_t> cursor, uint32_t& next);

// Sum of (last - first) over the accepted texts: the progress total of a scan.
// 64-bit, so a range covering the whole address space fits. A text whose
// working copy cannot be made counts as rejected after onMallocFailed ran.
int64_t countScanAddresses(const std::vector<std::string>& ranges,
                           const std::function<void()>& onMallocFailed = {});

// Addresses (host byte order) that answered during the scan of one range.
class AnsweredSet {
public:
    // True when the address was new and has been added.
    bool add(uint32_t address) { return set_.insert(address).second; }
    bool contains(uint32_t address) const { return set_.count(address) != 0; }
    size_t size() const { return set_.size(); }

private:
    std::set<uint32_t> set_;
};

// Value of a dotted text for sorting by address: each part before a "." is a
// decimal number weighted 2^24, 2^16, 2^8, 1, 0, ... (modulo 2^32); whatever
// follows the last "." is ignored, so callers append "." to an address.
// "192.168.0.5." gives 3232235525. Throws std::invalid_argument on an empty or
// non-numeric part.
uint32_t ipToNumber(std::string_view text);

// An IPv4 address in network byte order as dotted text ("127.0.0.1").
std::string dottedAddress(uint32_t networkOrder);

} // namespace ormix
