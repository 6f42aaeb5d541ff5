#include "search/sizetext.h"

namespace ormix {

namespace {

std::string grouped(int64_t n, std::string_view sep) {
    const std::string digits = std::to_string(n);
    std::string out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            out += sep;
        out += digits[i];
    }
    return out;
}

} // namespace

std::string SizeText(int64_t bytes, std::string_view groupSep) {
    constexpr int64_t kb = 1024, mb = 1024 * 1024;
    if (bytes <= 0)
        return "0";
    if (bytes <= kb)
        return std::to_string(bytes) + " b";
    if (bytes <= mb)
        return std::to_string(bytes / kb) + " Kb";
    return grouped(bytes / mb, groupSep) + " Mb";
}

} // namespace ormix
