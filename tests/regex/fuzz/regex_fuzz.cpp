// Fuzz entry point for compile and match. Input: one byte of modifiers, then
// the expression up to the first zero byte, then the text. Besides crashes
// and sanitizer reports it checks the engine's results against themselves
// (positions inside the input, ExecNext moving forward) and, for short
// inputs, against the recursive reference matcher.
#include "../reference_matcher.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

using namespace ormix;

namespace {

[[noreturn]] void fault(const char* what) {
    std::fprintf(stderr, "regex fuzz: %s\n", what);
    std::abort();
}

void checkPairs(TRegExpr& r, int len) {
    const int start = r.GetMatchPos(0), mlen = r.GetMatchLen(0);
    if (start < 1 || mlen < 0 || start + mlen - 1 > len)
        fault("match outside the input");
    for (int i = 1; i <= 14; ++i) {
        const int p = r.GetMatchPos(i);
        if (p < 0)
            continue;
        if (p < start || p + r.GetMatchLen(i) > start + mlen ||
            r.GetMatch(i).size() != size_t(r.GetMatchLen(i)))
            fault("group outside the match");
    }
}

void compareWithReference(TRegExpr& r, const std::string& pattern, int mods, const std::string& text,
                          bool matched) {
    static const rx::Tables tables = rxtest::defaultTables();
    rx::Program prog;
    try {
        prog = rx::compileProgram(pattern, mods, tables);
    } catch (const rx::Fault&) {
        fault("reference compile failed where the engine compiled");
    }
    rxtest::ReferenceMatcher ref(prog, tables, text);
    ref.setBudget(200000);
    bool refMatched = false;
    try {
        refMatched = ref.search(1);
    } catch (const rxtest::ReferenceMatcher::OverBudget&) {
        return;
    } catch (const rx::Fault&) {
        return; // the engine raised the same or ran out of steps first; both are checked by the tests
    }
    if (refMatched != matched)
        fault("engine and reference disagree on a match");
    if (!matched)
        return;
    for (int i = 0; i < rx::kMaxGroups; ++i) {
        const bool set = ref.pairs().isSet(i);
        const int pos = set ? ref.pairs().start[i] + 1 : -1;
        const int len = set ? ref.pairs().end[i] - ref.pairs().start[i] : -1;
        if (r.GetMatchPos(i) != pos || r.GetMatchLen(i) != len)
            fault("engine and reference disagree on a group");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > 2048)
        return 0;
    const int modBits = data[0] & 63;
    const std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
    const size_t zero = rest.find('\0');
    const std::string pattern = rest.substr(0, zero);
    const std::string text = zero == std::string::npos ? std::string() : rest.substr(zero + 1);

    TRegExpr r;
    for (int k = 1; k <= 6; ++k)
        r.SetModifier(k, (modBits >> (k - 1)) & 1);
    r.SetMatchStepLimit(300000);
    r.SetExpression(pattern);
    try {
        r.Compile();
        (void)r.Dump();
    } catch (const ERegExpr& e) {
        if (e.ErrorCode >= 1000 && e.ErrorCode != 1003)
            fault("compilation raised a matching error");
        std::vector<RegExprSubExpr> list;
        RegExprSubExpressions(pattern, list, modBits & 32);
        return 0;
    }
    const std::string input = text.substr(0, text.find('\0'));
    try {
        bool matched = r.Exec(text);
        if (matched)
            checkPairs(r, static_cast<int>(input.size()));
        if (input.size() <= 48 && pattern.size() <= 48)
            compareWithReference(r, pattern, modBits, input, matched);
        int last = matched ? r.GetMatchPos(0) : 0;
        for (int n = 0; matched && n < 64; ++n) {
            (void)r.Substitute("$0<$1>${2}\\$&$14");
            matched = r.ExecNext();
            if (matched) {
                checkPairs(r, static_cast<int>(input.size()));
                if (r.GetMatchPos(0) <= last)
                    fault("ExecNext did not move forward");
                last = r.GetMatchPos(0);
            }
        }
        if (input.size() <= 256) {
            std::vector<std::string> pieces;
            r.Split(text, pieces);
            (void)r.Replace(text, "[$&]", true);
        }
    } catch (const ERegExpr& e) {
        if (e.ErrorCode != 1014 && e.ErrorCode != 1016 && e.ErrorCode != 1017)
            fault("unexpected matching error");
    }
    return 0;
}
