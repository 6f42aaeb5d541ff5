// Range texts, the walk through a range, the progress total and ipToNumber.
#include "scan/ranges.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <stdexcept>

namespace ormix {
namespace {

// Range texts come from C strings in the settings; nothing after a NUL counts.
std::string_view untilNul(std::string_view text) {
    const auto nul = text.find('\0');
    return nul == std::string_view::npos ? text : text.substr(0, nul);
}

// inet_addr's notation; INADDR_NONE (and so 255.255.255.255) is a rejection.
std::optional<uint32_t> readAddress(const std::string& text) {
    const in_addr_t a = inet_addr(text.c_str());
    if (a == INADDR_NONE)
        return std::nullopt;
    return ntohl(a);
}

// The C library's atol: leading white space, a sign, digits up to the first
// non-digit, 0 when there are none. Out-of-range values saturate, which every
// caller rejects.
long readNumber(const std::string& text) {
    return std::strtol(text.c_str(), nullptr, 10);
}

size_t characterCount(std::string_view utf8) {
    size_t n = 0;
    for (unsigned char c : utf8)
        if ((c & 0xC0) != 0x80)
            ++n;
    return n;
}

} // namespace

bool parseSingleAddress(std::string_view text, AddressRange& range) {
    const auto a = readAddress(std::string(untilNul(text)));
    if (!a)
        return false;
    range.first = range.last = *a;
    return true;
}

bool parsePrefixRange(std::string_view text, AddressRange& range) {
    const std::string copy(untilNul(text));
    if (characterCount(copy) > 19)
        return false;
    const auto slash = copy.find('/');
    if (slash == std::string::npos)
        return false;
    const long n = readNumber(copy.substr(slash + 1));
    if (n < 0 || n > 32)
        return false;
    const auto a = readAddress(copy.substr(0, slash));
    if (!a)
        return false;
    const uint32_t mask = n == 0 ? 0u : 0xFFFFFFFFu << (32 - n);
    range.first = *a & mask;
    range.last = *a | ~mask;
    return true;
}

bool parseDashRange(std::string_view text, AddressRange& range) {
    const std::string copy(untilNul(text));
    const auto dash = copy.find('-');
    if (dash == std::string::npos)
        return false;
    const long e = readNumber(copy.substr(dash + 1));
    if (e < 0 || e > 255)
        return false;
    const auto a = readAddress(copy.substr(0, dash));
    if (!a)
        return false;
    const uint32_t last = (*a & 0xFFFFFF00u) | static_cast<uint32_t>(e);
    if (last < *a)
        return false;
    range.first = *a;
    range.last = last;
    return true;
}

bool parseRangeText(std::string_view text, AddressRange& range) {
    return parseSingleAddress(text, range) || parsePrefixRange(text, range) || parseDashRange(text, range);
}

bool stepAddress(const AddressRange& range, std::optional<uint32_t> cursor, uint32_t& next) {
    if (!cursor) {
        next = htonl(range.first);
        return true;
    }
    const uint32_t h = ntohl(*cursor);
    if (h >= range.last)
        return false;
    next = htonl(h + 1);
    return true;
}

int64_t countScanAddresses(const std::vector<std::string>& ranges,
                           const std::function<void()>& onMallocFailed) {
    int64_t total = 0;
    for (const std::string& text : ranges) {
        AddressRange r;
        try {
            if (parseRangeText(text, r))
                total += static_cast<int64_t>(r.last - r.first);
        } catch (const std::bad_alloc&) {
            if (onMallocFailed)
                onMallocFailed();
        }
    }
    return total;
}

uint32_t ipToNumber(std::string_view text) {
    uint32_t value = 0;
    uint32_t weight = 16777216;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '.')
            continue;
        const std::string part(text.substr(start, i - start));
        char* end = nullptr;
        errno = 0;
        const long long v = std::strtoll(part.c_str(), &end, 10);
        if (part.empty() || *end != '\0' || errno == ERANGE || v < INT32_MIN || v > INT32_MAX ||
            std::isspace(static_cast<unsigned char>(part[0])))
            throw std::invalid_argument("'" + part + "' is not a valid integer value");
        value += static_cast<uint32_t>(v) * weight;
        weight /= 256;
        start = i + 1;
    }
    return value;
}

std::string dottedAddress(uint32_t networkOrder) {
    in_addr a{};
    a.s_addr = networkOrder;
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &a, text, sizeof text);
    return text;
}

} // namespace ormix
