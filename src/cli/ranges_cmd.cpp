// ormix-cli ranges: how the scanner reads range texts, and the progress total
// of the texts taken as one scan-range list.
#include "cli/commands.h"
#include "scan/ranges.h"

#include <arpa/inet.h>

#include <cinttypes>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

namespace ormix::cli {
namespace {

std::string dottedHost(uint32_t hostOrder) {
    in_addr a{};
    a.s_addr = htonl(hostOrder);
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &a, text, sizeof text);
    return text;
}

} // namespace

int runRanges(int argc, char** argv) {
    std::vector<std::string> texts(argv + 1, argv + argc);
    for (const std::string& text : texts) {
        AddressRange r;
        bool accepted = false;
        try {
            accepted = parseRangeText(text, r);
        } catch (const std::bad_alloc&) {
            std::fputs("Malloc failed\n", stderr);
        }
        if (accepted)
            std::printf("%s-%s\n", dottedHost(r.first).c_str(), dottedHost(r.last).c_str());
        else
            std::puts("rejected");
    }
    std::printf("total %" PRId64 "\n",
                countScanAddresses(texts, [] { std::fputs("Malloc failed\n", stderr); }));
    return 0;
}

} // namespace ormix::cli
