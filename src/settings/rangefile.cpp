// "range.txt" writer; see rangefile.h.
#include "settings/rangefile.h"

#include "scan/ranges.h"

#include <cstdio>

namespace ormix {

std::string RangeFileText(const std::vector<std::string>& ranges) {
    std::string out;
    for (const std::string& text : ranges) {
        AddressRange range;
        if (!parse_dash_range(text, range))
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

bool WriteRangeFile(const std::string& path, const std::vector<std::string>& ranges) {
    const std::string text = RangeFileText(ranges);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    const bool closed = std::fclose(f) == 0;
    return written && closed;
}

} // namespace ormix
