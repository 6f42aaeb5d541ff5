// NetBIOS node-status (NBSTAT) messages: the scan clock that stamps every
// query, the 50-byte query, the answer decoder and the texts a host is shown
// with. Covered by tests/scan/nbstat_test.cpp and the parseResponse fuzzer.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ormix {

struct ClockReading {
    int32_t seconds = 0;      // whole seconds of the time of day (since 1970)
    int32_t microseconds = 0; // milliseconds * 1000 + the clock counter; not bounded by 999999
};

// Advances the process-wide clock counter and reads the time of day. Safe
// from any thread: the counter is atomic, so concurrent scans never race on it.
ClockReading readClock();

constexpr size_t kStatusQueryLength = 50;
constexpr uint16_t kNetbiosNamePort = 137;

// Milliseconds since the scan start second, modulo 65536, as the query carries it.
uint16_t transactionId(const ClockReading& now, int32_t scanStartSecond);

// The query for the wildcard name "*", with the given transaction id.
std::array<uint8_t, kStatusQueryLength> buildStatusQuery(uint16_t trnId);

// Sends one query to port 137 of destination (IPv4, network byte order) on the
// UDP socket fd. 0 when the send was accepted, -1 when the socket refused it.
int sendStatusQuery(int fd, uint32_t destination, int32_t scanStartSecond);

// The fixed part of an answer in host byte order; fields the datagram did not
// reach stay zero.
struct NodeStatusHeader {
    uint16_t trnId = 0;
    uint16_t flags = 0;
    uint16_t qdCount = 0;
    uint16_t anCount = 0;
    uint16_t nsCount = 0;
    uint16_t arCount = 0;
    std::array<uint8_t, 34> rrName{};
    uint16_t rrType = 0;
    uint16_t rrClass = 0;
    uint32_t ttl = 0;
    uint16_t rdLength = 0;
    uint8_t numNames = 0;
};

constexpr size_t kNameEntryLength = 18;

struct NodeStatusAnswer {
    std::optional<NodeStatusHeader> header;
    std::optional<std::vector<uint8_t>> nameTable;    // numNames entries of 18 bytes, verbatim
    std::optional<std::array<uint8_t, 6>> statistics; // UNIT_ID: the adapter's MAC address
};

// Decodes whatever datagram arrived. A field of size s at offset o is taken
// only when length > o + s (strictly); the first field that fails that test
// and everything after it stay absent. Empty only when the name table's memory
// cannot be obtained.
std::optional<NodeStatusAnswer> parseResponse(const uint8_t* data, size_t length);

// What the window shows for one answering host, UTF-8.
struct HostTexts {
    std::string name;      // "<unknown>" when the answer names no unique 0x00 entry
    std::string ip;        // dotted decimal
    std::string workgroup; // the last group 0x00 entry, or empty
    std::string mac;       // "00-0C-29-3A-4B-5C", or empty without statistics
    unsigned foundBy = 0;  // DiscoveryMethod bits (scanner.h); 0 from describeHost
};

// source: the datagram's source address, network byte order.
HostTexts describeHost(const NodeStatusAnswer& answer, uint32_t source);

} // namespace ormix
