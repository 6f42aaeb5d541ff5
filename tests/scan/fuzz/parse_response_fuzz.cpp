// Fuzz target: the node-status decoder and the host description over any
// datagram. Checks the invariants the scanner relies on.
#include "fuzz/fuzz_target.h"
#include "scan/nbstat.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0 || size > 2048)
        return 0;
    const auto answer = ormix::parseResponse(data, size);
    if (!answer)
        std::abort(); // memory for at most 255 entries is always there
    if (answer->header.has_value() != (size > 2))
        std::abort();
    if (answer->nameTable && answer->nameTable->size() != ormix::kNameEntryLength * answer->header->numNames)
        std::abort();
    if (answer->statistics && !answer->nameTable)
        std::abort();
    const ormix::HostTexts t = ormix::describeHost(*answer, 0x0100007F);
    if (t.name.empty() && !answer->nameTable)
        std::abort();
    if (t.ip != "127.0.0.1" || !(t.mac.empty() || t.mac.size() == 17))
        std::abort();
    return 0;
}
