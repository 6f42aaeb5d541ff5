// Fuzz target: the range-text parsers over any text, and the walk of whatever
// they accept (its first addresses, and its end for short ranges).
#include "fuzz/fuzz_target.h"
#include "scan/ranges.h"

#include <arpa/inet.h>

#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    ormix::AddressRange r;
    if (!ormix::parseRangeText(text, r))
        return 0;
    if (r.first > r.last)
        std::abort();
    std::optional<uint32_t> cursor;
    uint32_t next = 0;
    uint32_t expected = r.first;
    for (int i = 0; i < 300; ++i, ++expected) {
        if (!ormix::stepAddress(r, cursor, next) || ntohl(next) != expected)
            std::abort();
        cursor = next;
        if (expected == r.last) {
            if (ormix::stepAddress(r, cursor, next))
                std::abort();
            break;
        }
    }
    if (ormix::countScanAddresses({text}) != static_cast<int64_t>(r.last - r.first))
        std::abort();
    return 0;
}
