#include "search/resultcompare.h"

namespace ormix {

namespace {

std::u16string_view trimmed(std::u16string_view s) {
    while (!s.empty() && s.front() <= 32)
        s.remove_prefix(1);
    while (!s.empty() && s.back() <= 32)
        s.remove_suffix(1);
    return s;
}

char16_t fold(char16_t c) {
    return (c >= u'a' && c <= u'z') ? char16_t(c - u'a' + u'A') : c;
}

} // namespace

int CompareTextNoCase(std::u16string_view a, std::u16string_view b) {
    a = trimmed(a);
    b = trimmed(b);
    const size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        const char16_t x = fold(a[i]), y = fold(b[i]);
        if (x != y)
            return x < y ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

int CompareSizes(int64_t a, int64_t b) {
    if (a < b)
        return -1;
    return a > b ? 1 : 0;
}

} // namespace ormix
