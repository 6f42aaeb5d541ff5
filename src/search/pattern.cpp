#include "search/pattern.h"

#include "platform/codepage.h"
#include "regex/regexpr.h"

namespace ormix {

namespace {

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= 32)
        s.remove_prefix(1);
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= 32)
        s.remove_suffix(1);
    return s;
}

size_t utf8Length(unsigned char lead) {
    if (lead >= 0xF0)
        return 4;
    if (lead >= 0xE0)
        return 3;
    if (lead >= 0xC0)
        return 2;
    return 1;
}

// A character code page 1251 cannot hold reaches file names as "?", so in an
// expression it must stand for a literal "?" rather than become a quantifier.
std::string expressionTo1251(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        const size_t n = std::min(utf8Length(static_cast<unsigned char>(utf8[i])), utf8.size() - i);
        const std::string_view ch = utf8.substr(i, n);
        const std::string conv = utf8ToCp1251(ch);
        if (conv == "?" && ch != "?")
            out += "\\?";
        else
            out += conv;
        i += n;
    }
    return out;
}

} // namespace

std::optional<std::string> PreparePattern(std::string_view text, bool regexMode) {
    const std::string_view t = trimmed(text);
    if (t.empty())
        return std::nullopt;
    if (regexMode)
        return expressionTo1251(text);
    std::string expr = utf8ToCp1251(t);
    expr = ReplaceRegExpr("[?]", expr, ".");
    expr = ReplaceRegExpr("[*]", expr, ".*");
    return "(?i)^" + expr + "$";
}

} // namespace ormix
