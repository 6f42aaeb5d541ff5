// Conversion between UNC share paths and percent-encoded smb:// URLs.
#include "platform/smbpath.h"

#include "platform/hexdigit.h"

#include <vector>

namespace ormix {
namespace {

bool unreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

void appendEncoded(std::string& out, std::string_view component) {
    static const char kHex[] = "0123456789ABCDEF";
    for (char ch : component) {
        const auto c = static_cast<unsigned char>(ch);
        if (unreserved(c)) {
            out += ch;
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        }
    }
}

// Decodes one component; false on a bad escape or a byte that cannot stand in a UNC component.
bool appendDecoded(std::string& out, std::string_view component) {
    for (size_t i = 0; i < component.size(); ++i) {
        char c = component[i];
        if (c == '?' || c == '#')
            return false;
        if (c == '%') {
            if (i + 2 >= component.size())
                return false;
            const int hi = hexDigitValue(component[i + 1]);
            const int lo = hexDigitValue(component[i + 2]);
            if (hi < 0 || lo < 0)
                return false;
            c = static_cast<char>(hi * 16 + lo);
            i += 2;
        }
        if (c == '\\' || c == '\0')
            return false;
        out += c;
    }
    return true;
}

std::vector<std::string_view> split(std::string_view s, char sep) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    for (;;) {
        const size_t end = s.find(sep, start);
        if (end == std::string_view::npos) {
            parts.push_back(s.substr(start));
            return parts;
        }
        parts.push_back(s.substr(start, end - start));
        start = end + 1;
    }
}

} // namespace

std::string uncToSmbUrl(std::string_view unc) {
    if (!unc.starts_with("\\\\"))
        return {};
    unc.remove_prefix(2);
    const size_t hostEnd = unc.find('\\');
    const std::string_view host = unc.substr(0, hostEnd);
    if (host.empty())
        return {};
    std::string url = "smb://";
    appendEncoded(url, host);
    url += '/';
    if (hostEnd == std::string_view::npos)
        return url;
    const auto parts = split(unc.substr(hostEnd + 1), '\\');
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i > 0)
            url += '/';
        appendEncoded(url, parts[i]);
    }
    return url;
}

std::string smbUrlToUnc(std::string_view url) {
    constexpr std::string_view kScheme = "smb://";
    if (url.size() < kScheme.size())
        return {};
    for (size_t i = 0; i < kScheme.size(); ++i) {
        char c = url[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
        if (c != kScheme[i])
            return {};
    }
    url.remove_prefix(kScheme.size());
    const size_t hostEnd = url.find('/');
    std::string unc = "\\\\";
    if (!appendDecoded(unc, url.substr(0, hostEnd)) || unc.size() == 2)
        return {};
    if (hostEnd == std::string_view::npos || hostEnd + 1 == url.size())
        return unc;
    for (std::string_view part : split(url.substr(hostEnd + 1), '/')) {
        unc += '\\';
        if (!appendDecoded(unc, part))
            return {};
    }
    return unc;
}

QString uncToSmbUrl(const QString& unc) {
    return QString::fromStdString(uncToSmbUrl(unc.toStdString()));
}

QString smbUrlToUnc(const QString& url) {
    return QString::fromStdString(smbUrlToUnc(url.toStdString()));
}

} // namespace ormix
