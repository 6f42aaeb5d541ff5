// Visible one-line form of peer texts (see displaytext.h).
#include "platform/displaytext.h"

#include "platform/codepage.h"

#include <cstdint>

namespace ormix {
namespace {

// Decodes one well-formed UTF-8 sequence at s[i]; 0 when there is none.
size_t decode(std::string_view s, size_t i, uint32_t& cp) {
    const auto b = [&s](size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = b(i);
    size_t n;
    uint32_t min;
    if (c < 0x80)
        return cp = c, 1;
    if ((c & 0xE0) == 0xC0)
        n = 2, cp = c & 0x1F, min = 0x80;
    else if ((c & 0xF0) == 0xE0)
        n = 3, cp = c & 0x0F, min = 0x800;
    else if ((c & 0xF8) == 0xF0)
        n = 4, cp = c & 0x07, min = 0x10000;
    else
        return 0;
    if (i + n > s.size())
        return 0;
    for (size_t k = 1; k < n; ++k) {
        if ((b(i + k) & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (b(i + k) & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return n;
}

bool hidesLayout(uint32_t cp) {
    return (cp >= 0x80 && cp <= 0x9F) || cp == 0x2028 || cp == 0x2029 || (cp >= 0x202A && cp <= 0x202E) ||
           (cp >= 0x2066 && cp <= 0x2069);
}

} // namespace

std::string displayText(std::string_view utf8) {
    constexpr uint32_t kReplacement = 0xFFFD;
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        uint32_t cp = 0;
        const size_t n = decode(utf8, i, cp);
        if (n == 0) {
            appendUtf8(out, kReplacement);
            ++i;
            continue;
        }
        if (cp < 0x20)
            appendUtf8(out, 0x2400 + cp);
        else if (cp == 0x7F)
            appendUtf8(out, 0x2421);
        else if (hidesLayout(cp))
            appendUtf8(out, kReplacement);
        else
            out.append(utf8.substr(i, n));
        i += n;
    }
    return out;
}

} // namespace ormix
