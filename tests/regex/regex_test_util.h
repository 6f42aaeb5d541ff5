// Helpers shared by the expression engine's tests.
#pragma once

#include "regex/regexpr.h"

#include <string>

namespace ormix::rxtest {

// "nomatch", or "P L" followed by " i:P,L" for every set group, as
// ormix-cli regex prints a match.
inline std::string describeMatch(TRegExpr& r, bool matched) {
    if (!matched)
        return "nomatch";
    std::string s = std::to_string(r.GetMatchPos(0)) + " " + std::to_string(r.GetMatchLen(0));
    for (int g = 1; g <= 14; ++g)
        if (r.GetMatchPos(g) > 0)
            s += " " + std::to_string(g) + ":" + std::to_string(r.GetMatchPos(g)) + "," +
                 std::to_string(r.GetMatchLen(g));
    return s;
}

// Compiles pattern under the modifier text mods and matches input; errors
// come back as "error CODE".
inline std::string matchText(const std::string& mods, const std::string& pattern, const std::string& input) {
    TRegExpr r;
    try {
        if (!mods.empty())
            r.SetModifierStr(mods);
        r.SetExpression(pattern);
        return describeMatch(r, r.Exec(input));
    } catch (const ERegExpr& e) {
        return "error " + std::to_string(e.ErrorCode);
    }
}

} // namespace ormix::rxtest
