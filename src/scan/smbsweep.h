// The TCP 445 sweep: non-blocking connects to every address of a range, a
// bounded number in flight, each with a short time-out; a host that accepts
// is asked who it is (SMB2 NEGOTIATE, then a SESSION_SETUP starting NTLM) and
// dropped as soon as its CHALLENGE arrives. Finds SMB servers that do not
// answer node-status queries. Covered by tests/scan/smbsweep_test.cpp.
#pragma once

#include "scan/ranges.h"
#include "scan/smbident.h"

#include <chrono>
#include <cstdint>
#include <functional>

namespace ormix {

struct SmbSweepOptions {
    uint16_t port = 445;
    // Connections open at once; also kept below the descriptor limit.
    int maxInFlight = 256;
    std::chrono::milliseconds connectTimeout{1000};
    // From the accepted connect to the CHALLENGE.
    std::chrono::milliseconds exchangeTimeout{3000};
    // Connect attempts per second at most; 0: no cap.
    int maxConnectsPerSecond = 0;
    // Asked between steps; true ends the sweep early.
    std::function<bool()> stopRequested;
};

struct SmbSweepHost {
    uint32_t address = 0;    // network byte order
    bool identified = false; // the CHALLENGE was read and decoded
    SmbIdentity identity;
};

struct SmbSweepStats {
    int64_t attempted = 0;
    int64_t accepted = 0; // connects that succeeded
    int64_t answered = 0; // of them, SMB2 servers (reported)
    int peakInFlight = 0;
};

// Sweeps the addresses of range in ascending order; found() is called on the
// calling thread for every SMB2 server, in the order they finish.
SmbSweepStats smbSweep(const AddressRange& range, const SmbSweepOptions& options,
                       const std::function<void(const SmbSweepHost&)>& found);

} // namespace ormix
