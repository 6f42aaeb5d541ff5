// "range.txt" writer; see rangefile.h.
#include "settings/rangefile.h"

#include "platform/atomicfile.h"
#include "scan/ranges.h"

namespace ormix {

std::string RangeFileText(const std::vector<std::string>& ranges) {
    std::string out;
    for (const std::string& text : ranges) {
        AddressRange range;
        if (!parseDashRange(text, range))
            continue;
        // A dash range never crosses a 256-address block, so this loop has at
        // most 256 rounds and cannot wrap.
        for (uint64_t a = range.first; a <= range.last; ++a) {
            const uint32_t h = static_cast<uint32_t>(a);
            const uint32_t reversed = (h >> 24) | ((h >> 8) & 0xFF00u) | ((h << 8) & 0xFF0000u) | (h << 24);
            out += std::to_string(reversed);
            out += "\r\n";
        }
    }
    return out;
}

Result<void> WriteRangeFile(const std::string& path, const std::vector<std::string>& ranges) {
    return replaceFile(path, RangeFileText(ranges));
}

} // namespace ormix
