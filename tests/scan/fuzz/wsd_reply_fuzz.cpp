// Fuzz target: the WS-Discovery decoders over any datagram or HTTP response a
// peer may send. Checks the bounds the sweep relies on.
#include "fuzz/fuzz_target.h"
#include "scan/wsdmessage.h"

#include <cstdlib>
#include <string_view>

namespace {

void checkText(const std::string& text, size_t cap) {
    if (text.size() > cap)
        std::abort();
    for (unsigned char c : text)
        if (c < 0x20 || c == 0x7F)
            std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    if (const auto m = ormix::parseProbeMatches(input)) {
        if (m->matches.size() > ormix::kWsdMaxMatches)
            std::abort();
        checkText(m->relatesTo, ormix::kWsdMaxAddressBytes);
        for (const auto& match : m->matches) {
            checkText(match.endpoint, ormix::kWsdMaxAddressBytes);
            if (match.xaddrs.size() > ormix::kWsdMaxXAddrs)
                std::abort();
            if (const auto t = ormix::wsdHttpTarget(match.xaddrs, "127.0.0.18"))
                checkText(t->path, ormix::kWsdMaxAddressBytes);
        }
    }
    for (const auto& c : {ormix::parseMetadataComputer(input), ormix::parseComputerText(input)}) {
        if (!c)
            continue;
        if (c->name.empty())
            std::abort();
        checkText(c->name, ormix::kWsdMaxTextBytes);
        checkText(c->workgroup, ormix::kWsdMaxTextBytes);
    }
    for (bool closed : {false, true}) {
        bool failed = false;
        const auto body = ormix::httpResponseBody(input, closed, failed);
        if (body && (failed || body->size() > input.size() || body->data() < input.data()))
            std::abort();
    }
    return 0;
}
