// WS-Discovery over the scanned ranges: one Probe for computers, sent to the
// multicast group on every interface whose subnet overlaps a range (hop
// limit 1), the ProbeMatches collected for a while, and the metadata of each
// responder fetched over HTTP to read its computer name and workgroup. Only
// answers from addresses inside the ranges count, and a Get goes only to the
// responder's own address. Everything from the peers is bounded: datagram and
// response sizes, time-outs, responders kept, fetches at once.
// Covered by tests/scan/wsdsweep_test.cpp (a responder in a namespace).
#pragma once

#include "scan/ranges.h"
#include "scan/wsdmessage.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace ormix {

struct WsdSweepOptions {
    // How long ProbeMatches are awaited after the first Probe. Responders
    // wait up to half a second before they answer a multicast Probe.
    std::chrono::milliseconds listenTime{2500};
    // One metadata fetch, from connect to the last byte.
    std::chrono::milliseconds fetchTimeout{3000};
    int maxConcurrentFetches = 8;
    // Distinct responders taken in one sweep; the rest are ignored.
    size_t maxResponders = 4096;
    // The group's port; tests move it off 3702.
    uint16_t port = kWsdPort;
    // Asked between steps; true ends the sweep early.
    std::function<bool()> stopRequested;
};

struct WsdSweepHost {
    uint32_t address = 0;    // network byte order
    bool identified = false; // the metadata named the computer
    WsdComputer computer;
};

struct WsdSweepStats {
    int interfaces = 0;  // interfaces the Probe went out on
    int64_t answers = 0; // ProbeMatches taken
    int64_t ignored = 0; // datagrams dropped (outside the ranges, foreign, oversized)
    int64_t fetched = 0; // metadata documents read
};

// Runs one discovery over the ranges on the calling thread; found() is called
// once per responder, in the order they finish. log() gets English lines for
// the scan log.
WsdSweepStats wsdSweep(const std::vector<AddressRange>& ranges, const WsdSweepOptions& options,
                       const std::function<void(const WsdSweepHost&)>& found,
                       const std::function<void(const std::string&)>& log);

} // namespace ormix
