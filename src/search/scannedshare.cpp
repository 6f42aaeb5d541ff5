// ScannedShare; see scannedshare.h.
#include "search/scannedshare.h"

namespace ormix {

namespace {

constexpr std::string_view kSeparator = "<>";

// The position of the backslash between address and share name, or npos.
size_t shareSlash(const std::string& path) {
    if (path.size() < 3 || path.compare(0, 2, "\\\\") != 0)
        return std::string::npos;
    const size_t slash = path.find('\\', 2);
    return slash == 2 ? std::string::npos : slash;
}

} // namespace

std::string ScannedShare::address() const {
    const size_t slash = shareSlash(path);
    return slash == std::string::npos ? std::string() : path.substr(2, slash - 2);
}

std::string ScannedShare::shareName() const {
    const size_t slash = shareSlash(path);
    return slash == std::string::npos ? std::string() : path.substr(slash + 1);
}

std::string ScannedShareText(const ScannedShare& entry) {
    return entry.path + std::string(kSeparator) + entry.computerName;
}

ScannedShare ParseScannedShare(std::string_view text) {
    ScannedShare entry;
    const size_t sep = text.find(kSeparator);
    entry.path = std::string(text.substr(0, sep));
    if (sep != std::string_view::npos) {
        const std::string_view rest = text.substr(sep + kSeparator.size());
        entry.computerName = std::string(rest.substr(0, rest.find(kSeparator)));
    }
    return entry;
}

} // namespace ormix
