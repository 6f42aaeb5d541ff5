// The engine against the plain recursive matcher of reference_matcher.h on
// generated expressions and inputs: same matches, same groups, same pairs
// after failed searches from offsets, same errors.
#include "reference_matcher.h"

#include <gtest/gtest.h>

#include <random>
#include <string_view>
#include <vector>

using namespace ormix;

namespace {

class PatternMaker {
public:
    explicit PatternMaker(unsigned seed) : rng_(seed) {}

    std::string make() {
        groups_ = 0;
        return alternation(0);
    }

    std::string input() {
        static const char kChars[] = "aabbAB1 \r\n";
        std::string s;
        const int n = pick(9);
        for (int i = 0; i < n; ++i)
            s += kChars[pick(sizeof kChars - 1)];
        return s;
    }

private:
    int pick(int n) { return static_cast<int>(rng_() % static_cast<unsigned>(n)); }

    std::string alternation(int depth) {
        std::string s = branch(depth);
        while (pick(5) == 0)
            s += "|" + branch(depth);
        if (pick(6) == 0)
            s += "|";
        return s;
    }

    std::string branch(int depth) {
        std::string s;
        for (int n = 1 + pick(4); n > 0; --n)
            s += piece(depth);
        return s;
    }

    std::string piece(int depth) {
        static const char* const kQuantifiers[] = {"*",     "+",    "?",      "*?",    "+?",    "??",   "{2}",
                                                   "{0,2}", "{1,}", "{1,2}?", "{0,1}", "{2,3}", "{2,}?"};
        std::string a = atom(depth);
        if (pick(3) == 0)
            a += kQuantifiers[pick(std::size(kQuantifiers))];
        return a;
    }

    std::string atom(int depth) {
        static const char* const kAtoms[] = {
            "a", "b", "ab",  "aB",  ".",    "[ab]", "[^a]",  "[a-c]", "\\d", "\\w", "\\s", "\\S",
            "^", "$", "\\b", "\\B", "(?i)", "(?m)", "(?-s)", "(?-g)", "\\A", "\\Z", "\\n", "[\\r\\n]"};
        const int r = pick(12);
        if (r < 3 && depth < 3 && groups_ < 14) {
            ++groups_;
            return "(" + alternation(depth + 1) + ")";
        }
        if (r == 3 && groups_ > 0)
            return "\\" + std::to_string(1 + pick(groups_));
        return kAtoms[pick(std::size(kAtoms))];
    }

    std::mt19937 rng_;
    int groups_ = 0;
};

std::string pairsText(const rx::Pairs& p) {
    std::string s;
    for (int i = 0; i < rx::kMaxGroups; ++i)
        if (p.isSet(i))
            s += " " + std::to_string(i) + ":" + std::to_string(p.start[i] + 1) + "," +
                 std::to_string(p.end[i] - p.start[i]);
    return s;
}

std::string engineText(TRegExpr& r) {
    std::string s;
    for (int i = 0; i < rx::kMaxGroups; ++i)
        if (r.GetMatchPos(i) > 0)
            s += " " + std::to_string(i) + ":" + std::to_string(r.GetMatchPos(i)) + "," +
                 std::to_string(r.GetMatchLen(i));
    return s;
}

} // namespace

TEST(RegexReference, GeneratedExpressionsAgree) {
    PatternMaker maker(20240607);
    const rx::Tables tables = rxtest::defaultTables();
    int compiled = 0, matched = 0, compared = 0;
    for (int n = 0; n < 20000; ++n) {
        // Anchored forms now and then, as the file search writes them: they
        // bring in the search's shortcuts (prefix, suffix, last character).
        static const char* const kFrames[][2] = {
            {"", ""}, {"", "$"}, {"(?i)^", ""}, {"^", "$"}, {"(?i)^.*", "$"}};
        const auto& frame = kFrames[n % 7 < 5 ? n % 7 : 0];
        const std::string pattern = frame[0] + maker.make() + frame[1];
        // Defaults for most, and every combination of i, s, g, m now and then.
        const int mods = n % 4 ? rx::MOD_R | rx::MOD_S | rx::MOD_G
                               : rx::MOD_R | ((n / 4) % 16 & 1 ? rx::MOD_I : 0) |
                                     ((n / 4) % 16 & 2 ? 0 : rx::MOD_S) | ((n / 4) % 16 & 4 ? 0 : rx::MOD_G) |
                                     ((n / 4) % 16 & 8 ? rx::MOD_M : 0);
        rx::Program prog;
        try {
            prog = rx::compileProgram(pattern, mods, tables);
        } catch (const rx::Fault&) {
            continue;
        }
        ++compiled;
        TRegExpr r;
        r.SetModifier(1, mods & rx::MOD_I);
        r.SetModifier(3, mods & rx::MOD_S);
        r.SetModifier(4, mods & rx::MOD_G);
        r.SetModifier(5, mods & rx::MOD_M);
        r.SetExpression(pattern);
        for (int k = 0; k < 6; ++k) {
            const std::string input = maker.input();
            rxtest::ReferenceMatcher ref(prog, tables, input);
            // Every other input comes through Exec, which reads the caller's
            // text before copying it: from a buffer of the text's exact size,
            // so that a read past its end shows under the address sanitizer.
            const bool viaExec = k % 2 == 0;
            const std::vector<char> exact(input.begin(), input.end());
            if (!viaExec)
                r.SetInputString(input);
            // A full search, then searches from later offsets, whose failures
            // keep or clear the pairs.
            for (int offset = 1; offset <= static_cast<int>(input.size()) + 2; offset += 1 + k % 2) {
                int refCode = 0, engineCode = 0;
                bool refMatch = false, engineMatch = false;
                try {
                    refMatch = ref.search(offset);
                } catch (const rx::Fault& f) {
                    refCode = f.code;
                }
                try {
                    engineMatch = viaExec && offset == 1
                                      ? r.Exec(std::string_view(exact.data(), exact.size()))
                                      : r.ExecPos(offset);
                } catch (const ERegExpr& e) {
                    engineCode = e.ErrorCode;
                }
                ++compared;
                matched += refMatch;
                ASSERT_EQ(engineCode, refCode)
                    << "pattern '" << pattern << "' input '" << input << "' offset " << offset;
                if (refCode != 0)
                    break;
                ASSERT_EQ(engineMatch, refMatch)
                    << "pattern '" << pattern << "' input '" << input << "' offset " << offset;
                ASSERT_EQ(engineText(r), pairsText(ref.pairs()))
                    << "pattern '" << pattern << "' input '" << input << "' offset " << offset;
            }
        }
    }
    // The generator must keep producing expressions that compile and match.
    EXPECT_GT(compiled, 8000);
    EXPECT_GT(matched, 20000);
    EXPECT_GT(compared, 100000);
}
