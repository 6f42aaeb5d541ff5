// Fuzz target: the SMB identity decoder over any reply a server may send.
// Checks the bounds the sweep relies on.
#include "fuzz/fuzz_target.h"
#include "scan/smbident.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > ormix::kSmbMaxMessage)
        return 0;
    if (size >= 4)
        if (const auto n = ormix::smbFrameLength(data); n && (*n == 0 || *n > ormix::kSmbMaxMessage))
            std::abort();
    ormix::isSmb2NegotiateResponse(data, size);
    for (const auto& id :
         {ormix::parseSessionSetupResponse(data, size), ormix::parseNtlmChallenge(data, size)}) {
        if (!id)
            continue;
        for (const std::string* text :
             {&id->netbiosComputer, &id->netbiosDomain, &id->dnsComputer, &id->dnsDomain}) {
            if (text->size() > ormix::kSmbMaxNameBytes)
                std::abort();
            for (unsigned char c : *text)
                if (c < 0x20 || c == 0x7F)
                    std::abort();
        }
    }
    return 0;
}
