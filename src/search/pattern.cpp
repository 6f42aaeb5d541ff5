#include "search/pattern.h"

#include "platform/codepage.h"
#include "regex/regexpr.h"

#include <algorithm>
#include <vector>

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

// The expression made from the user's text, built one character of the text
// at a time so that an error position in it can be told back in the text.
struct Prepared {
    std::string expression;
    size_t skipped = 0;       // characters of the text before the first one used (trimmed blanks)
    std::vector<size_t> ends; // per character used: where its piece of the expression ends
};

// Plain text: "?" -> ".", "*" -> ".*", wrapped as "(?i)^...$". Expression mode:
// a character code page 1251 cannot hold reaches file names as "?", so there it
// must stand for a literal "?" rather than become a quantifier.
std::optional<Prepared> prepare(std::string_view text, bool regexMode) {
    const std::string_view t = trimmed(text);
    if (t.empty())
        return std::nullopt;
    Prepared p;
    std::string_view used = text;
    if (!regexMode) {
        p.skipped = static_cast<size_t>(t.data() - text.data()); // one byte per blank
        used = t;
        p.expression = "(?i)^";
    }
    p.expression.reserve(used.size() + 8);
    for (size_t i = 0; i < used.size();) {
        const size_t n = std::min(utf8Length(static_cast<unsigned char>(used[i])), used.size() - i);
        const std::string_view ch = used.substr(i, n);
        const std::string conv = utf8ToCp1251(ch);
        if (regexMode)
            p.expression += conv == "?" && ch != "?" ? "\\?" : conv;
        else
            for (const char c : conv)
                p.expression += c == '?' ? "." : c == '*' ? ".*" : std::string(1, c);
        p.ends.push_back(p.expression.size());
        i += n;
    }
    if (!regexMode)
        p.expression += "$";
    return p;
}

} // namespace

std::optional<std::string> PreparePattern(std::string_view text, bool regexMode) {
    std::optional<Prepared> p = prepare(text, regexMode);
    if (!p)
        return std::nullopt;
    return std::move(p->expression);
}

int PatternErrorPosition(std::string_view text, bool regexMode, int expressionPos) {
    const std::optional<Prepared> p = prepare(text, regexMode);
    if (!p)
        return 0;
    const size_t at = static_cast<size_t>(std::max(expressionPos, 0));
    size_t before = 0;
    while (before < p->ends.size() && p->ends[before] <= at)
        ++before;
    return static_cast<int>(p->skipped + before);
}

std::string PatternErrorText(std::string_view text, bool regexMode, const ERegExpr& e) {
    std::string message = e.what();
    const std::string engineSuffix = " (pos " + std::to_string(e.CompilerErrorPos) + ")";
    if (e.ErrorCode >= 1000 || message.size() < engineSuffix.size() ||
        message.compare(message.size() - engineSuffix.size(), engineSuffix.size(), engineSuffix) != 0)
        return message;
    message.resize(message.size() - engineSuffix.size());
    return message + " (pos " + std::to_string(PatternErrorPosition(text, regexMode, e.CompilerErrorPos)) +
           ")";
}

} // namespace ormix
