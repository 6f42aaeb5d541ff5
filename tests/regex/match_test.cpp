// What expressions match: literal runs, classes, escapes, quantifier shapes,
// alternation, groups, back-references, anchors and the modifiers; searching
// from offsets; long inputs, the loop stack and the work bounds.
#include "regex_test_util.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace ormix;
using ormix::rxtest::describeMatch;
using ormix::rxtest::matchText;

namespace {

struct MatchCase {
    const char* mods; // SetModifierStr before compiling ("" = defaults)
    const char* pattern;
    const char* input;
    const char* expected; // "nomatch", "error CODE" or "P L [g:P,L ...]"
};

void runTable(const MatchCase* cases, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        const MatchCase& c = cases[i];
        EXPECT_EQ(matchText(c.mods, c.pattern, c.input), c.expected)
            << "mods '" << c.mods << "' pattern '" << c.pattern << "' input '" << c.input << "'";
    }
}

} // namespace

TEST(RegexMatch, LiteralsClassesAndEscapes) {
    static const MatchCase cases[] = {
        {"", "abc", "xxabcx", "3 3"},
        {"", "abc*", "abccc", "1 5"}, // the star takes only the last character of the run
        {"", "abc*", "ab", "1 2"},
        {"", "abc", "ABC", "nomatch"},
        {"i", "abc", "xABC", "2 3"},
        {"", "a.c", "a\nc", "1 3"},
        {"", "a]b}c-", "a]b}c-", "1 6"}, // "]", "}" and "-" are ordinary outside classes
        {"", "[]a]", "]", "1 1"},
        {"", "[]a]", "a", "1 1"},
        {"", "[^]a]", "]ab", "3 1"},
        {"", "[a-]", "-", "1 1"},
        {"", "[\\d-z]", "-", "1 1"},
        {"", "[\\d-z]", "z", "1 1"},
        {"", "[\\d-z]", "7", "1 1"},
        {"", "[\\d-z]", "y", "nomatch"},
        {"", "[a-\\d]", "-", "1 1"}, // a range may not end in a set: "-" is a member
        {"", "[\\D]", "D", "1 1"},   // inside a class \D is the letter
        {"", "[\\D]", "x", "nomatch"},
        {"", "[a-c]+", "xabcd", "2 3"},
        {"", "[\\x41-\\x43]+", "ABCD", "1 3"},
        {"", "[\\]\\\\]+", "]\\]", "1 3"},
        {"", "[^a-c]", "abcd", "4 1"},
        {"", "[^a]", "", "nomatch"},
        {"i", "[a-c]+", "xAbCd", "2 3"},
        {"", "[ab]+", "babx", "1 3"},
        {"", "[abcd]+", "dcbax", "1 4"},
        {"", "\\d", "9", "1 1"},    // a lone class escape: the whole expression is one set
        {"", "[a-a]", "ba", "2 1"}, // one-character ranges
        {"", "[\\x41-\\x41]", "BA", "2 1"},
        {"", "\\d+", "ab123c", "3 3"},
        {"", "\\D+", "12ab3", "3 2"},
        {"", "\\w+", "  ab_9 ", "3 4"},
        {"", "\\W+", "ab, c", "3 2"},
        {"", "\\s+", "a \t\r\n\fb", "2 5"},
        {"", "\\S+", "  ab ", "3 2"},
        {"", "\\w", "\xc0", "nomatch"}, // Cyrillic letters are not word characters by default
        {"i", "\\W", "a", "nomatch"},   // \w and \W do not fold case
        {"", "\\t\\n\\r\\f\\a\\e", "\t\n\r\f\a\x1b", "1 6"},
        {"", "\\x41\\x{42}\\x{0043}", "ABC", "1 3"},
        {"", "\\x{}", "", "nomatch"}, // the zero character never matches: no input holds one
        {"", "a\\x00*b", "ab", "1 2"},
        {"", "\\.\\*\\[\\{\\\\", ".*[{\\", "1 5"},
        {"", "\\q\\-", "q-", "1 2"},
        {"", "a{,3}", "a{,3}", "1 5"}, // "{" that is no quantifier is a literal
        {"", "a{", "a{", "1 2"},
        {"", "a{x}", "a{x}", "1 4"},
        {"", "{2}", "{2}", "1 3"},
        // Code page 1251: Russian ranges bring in ё/Ё, and case folds Cyrillic.
        {"", "[\xe0-\xff]", "\xb8", "1 1"},              // [а-я] has ё
        {"", "[\xc0-\xdf]", "\xa8", "1 1"},              // [А-Я] has Ё
        {"", "[\xe0-\xdf]+", "\xa8\xb8\xc0\xff", "1 4"}, // [а-Я] is both
        {"-r", "[\xe0-\xff]", "\xb8", "nomatch"},
        {"", "(?-r)[\xc0-\xdf]", "\xa8", "nomatch"},
        {"-r", "[\xe0-\xdf]", "x", "error 109"},
        {"i", "\xb8\xe6", "\xa8\xc6", "1 2"}, // ёж ~ ЁЖ
        {"i", "[\xe0-\xe2]", "\xc1", "1 1"},  // [а-в] ~ Б
        {"i", "\xa2", "\xa1", "1 1"},         // ў ~ Ў
        {"i", "[\xe0-\xff]", "\xa8", "1 1"},  // [а-я] under i has Ё
    };
    runTable(cases, std::size(cases));
}

TEST(RegexMatch, Quantifiers) {
    static const MatchCase cases[] = {
        {"", "x*", "axc", "2 1"}, // positions that cannot begin a match are not tried
        {"", "x*", "abc", "nomatch"},
        {"", "x*", "", "nomatch"},
        {"", "a+", "baaa", "2 3"},
        {"", "a+?", "baaa", "2 1"},
        {"", "a*?b", "aaab", "1 4"},
        {"", "ba?", "ba", "1 2"},
        {"", "ba??", "ba", "1 1"},
        {"", "a??b", "ab", "1 2"},
        {"", "a{2,3}", "aaaa", "1 3"},
        {"", "a{2,3}?", "aaaa", "1 2"},
        {"", "a{2,}", "aaaaa", "1 5"},
        {"", "a{2}", "a", "nomatch"},
        {"", "x{2}", "xxx", "1 2"},
        {"", "x{2}?", "xxx", "1 2"},
        {"", "ba{0}", "baa", "1 1"},
        {"", ".*foo", "xfooyfoo", "1 8"},
        {"", ".*?foo", "xfooyfoo", "1 4"},
        {"", "a.*b", "aXbYb", "1 5"},
        {"", "a\\d*5", "a12345", "1 6"},
        // Complex atoms: BRANCH/BACK chains, and loops with counters.
        {"", "(ab)+", "ababx", "1 4 1:3,2"},
        {"", "(ab)+?", "abab", "1 2 1:1,2"},
        {"", "(ab)*c", "ababc", "1 5 1:3,2"},
        {"", "(ab)*?c", "ababc", "1 5 1:3,2"},
        {"", "((a)b)*?c", "ababc", "1 5 1:3,2 2:3,1"},
        {"", "(a|b)*c", "abbac", "1 5 1:4,1"},
        {"", "(ab)?c", "abc", "1 3 1:1,2"},
        {"", "(ab)??c", "abc", "1 3 1:1,2"},
        {"", "(ab)??", "ab", "1 0"},
        {"", "(ab){2}", "ababab", "1 4 1:3,2"},
        {"", "(ab){2,}", "abababx", "1 6 1:5,2"},
        {"", "(ab){2,}?", "ababab", "1 4 1:3,2"},
        {"", "(ab){1,2}?", "abab", "1 2 1:1,2"},
        {"", "(ab){3}", "abab", "nomatch"},
        {"", "(a|ab){2}c", "abac", "1 4 1:3,1"}, // the count backs out with the first iteration
        {"", "(a{0,2}b)*", "aabb", "1 4 1:4,1"},
        {"", "(?-s)(.)*c", "abc", "1 3 1:2,1"},
        {"", "(?-s).+", "ab\r\ncd", "1 2"},
        {"", "(a|ab)(c|bcd)(d*)", "abcd", "1 4 1:1,1 2:2,3 3:5,0"},
        // Modifier g off: every quantifier is non-greedy; a "?" after one changes nothing.
        {"-g", "a+", "aaa", "1 1"},
        {"-g", "a+?", "aaa", "1 1"},
        {"-g", "(ab)+", "abab", "1 2 1:1,2"},
        {"-g", "a{2,3}", "aaaa", "1 2"},
        {"", "(?-g)a*b", "aab", "1 3"},
        {"", "a+(?-g)a+", "aaaa", "1 4"},
    };
    runTable(cases, std::size(cases));
}

TEST(RegexMatch, AlternationGroupsAndBackReferences) {
    static const MatchCase cases[] = {
        {"", "a|ab", "ab", "1 1"}, // the first alternative that lets the rest match wins
        {"", "ab|a", "ab", "1 2"},
        {"", "(a|ab)c", "abc", "1 3 1:1,2"},
        {"", "a|", "b", "nomatch"},
        {"", "a|", "xa", "2 1"},
        {"", "(a)|b", "b", "1 1"}, // group 1 unset
        {"", "1|\\D", "1", "1 1"},
        {"", "a|[^a]", "a", "1 1"},
        {"", "x(a|b|c)y", "xcy", "1 3 1:2,1"},
        {"", "(a(b(c)))", "abc", "1 3 1:1,3 2:2,2 3:3,1"},
        {"", "()", "a", "nomatch"},
        {"", "a()b", "ab", "1 2 1:2,0"},
        {"", "(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)(k)(l)(m)(n)", "abcdefghijklmn",
         "1 14 1:1,1 2:2,1 3:3,1 4:4,1 5:5,1 6:6,1 7:7,1 8:8,1 9:9,1 10:10,1 11:11,1 12:12,1 13:13,1 "
         "14:14,1"},
        {"", "(a)\\1*", "aaaa", "1 4 1:1,1"},
        {"", "(ab)\\1*c", "abababx", "nomatch"},
        {"", "(ab)\\1*c", "ababc", "1 5 1:1,2"},
        {"", "(a+)b\\1", "aabaa", "1 5 1:1,2"},
        {"", "(a+)b\\1", "aaba", "2 3 1:2,1"},
        {"i", "(a)\\1", "aA", "1 2 1:1,1"},
        {"", "(a)\\1", "aA", "nomatch"},
        {"", "\\1(a)", "aa", "nomatch"}, // a back-reference to an unset group fails
        {"", "(a)\\2", "aa", "nomatch"},
        {"", "(a)\\1{2}", "aaaa", "1 3 1:1,1"},
        {"", "(a)\\1{2,}?", "aaaa", "1 3 1:1,1"},
        {"", "(x)(\\1)+", "xxxy", "1 3 1:1,1 2:3,1"},
        // Repeats of a back-reference to an empty capture end.
        {"", "(a*)\\1*b", "b", "1 1 1:1,0"},
        {"", "(a*)\\1+b", "b", "1 1 1:1,0"},
        {"", "(a*)\\1{3}b", "b", "1 1 1:1,0"},
        {"", "(a*)\\1*?b", "b", "1 1 1:1,0"},
        {"", "()(\\1)*x", "x", "1 1 1:1,0 2:1,0"},
        {"", "()(\\1)+x", "x", "1 1 1:1,0 2:1,0"},
        {"", "()(\\1){3}x", "x", "1 1 1:1,0 2:1,0"},
        {"", "()(\\1){2,}?x", "x", "1 1 1:1,0 2:1,0"},
        {"", "()(\\1|a)*x", "aax", "1 3 1:1,0 2:2,1"},
    };
    runTable(cases, std::size(cases));
}

TEST(RegexMatch, AnchorsBoundariesAndLineModes) {
    static const MatchCase cases[] = {
        {"", "^$", "", "1 0"}, // anchored: tried at the end of the input too
        {"", "$", "abc", "nomatch"},
        {"", "a$", "ba", "2 1"},
        {"", "a$", "a\n", "nomatch"},
        {"", "^a", "ba", "nomatch"},
        {"", "\\Aab\\Z", "ab", "1 2"},
        {"m", "\\Ab", "a\nb", "nomatch"}, // \A and \Z are never line-wise
        {"m", "a\\Z", "a\nb", "nomatch"},
        {"m", "^b", "a\r\nb", "4 1"},
        {"m", "a$", "a\r\nb", "1 1"},
        {"m", "\r^", "\r\n", "nomatch"}, // no line start between CR and LF
        {"m", "\r$", "\r\n", "nomatch"}, // and no line end
        {"m", "\r^", "\ra", "1 1"},
        {"m", "^b", "a\nb", "3 1"},
        {"m", "a$\\n^b", "a\nb", "1 3"},
        {"", "(?m)a$", "a\rb", "1 1"},
        {"", "^b", "a\nb", "nomatch"},
        {"-s", ".", "\r", "nomatch"},
        {"-s", ".", "\n", "nomatch"},
        {"-s", "a.b", "a\nb", "nomatch"},
        {"-s", "a.b", "a\tb", "1 3"},
        {"", ".", "\r", "1 1"},
        {"", "a.b", "a\nb", "1 3"},
        {"", "\\bfoo\\b", "a foo b", "3 3"},
        {"", "\\bfoo\\b", "afoo", "nomatch"},
        {"", "\\bfoo\\b", "foo", "1 3"}, // no neighbour counts as a non-word character
        {"", "o\\B", "foo", "2 1"},
        {"", "x\\B", "x", "nomatch"},
        {"", "\\b", "foo", "nomatch"}, // no character can begin an empty match
    };
    runTable(cases, std::size(cases));
}

TEST(RegexMatch, InlineAndExtendedModifiers) {
    static const MatchCase cases[] = {
        {"", "(?i)abc", "ABC", "1 3"},       {"", "(a(?i)b)c", "aBc", "1 3 1:1,2"},
        {"", "(a(?i)b)c", "aBC", "nomatch"}, // the change ends with its group
        {"", "a(?i)b|c", "C", "1 1"},        // and lasts to the end at top level
        {"", "(?i)a(?-i)b", "Ab", "1 2"},    {"", "(?i)a(?-i)b", "AB", "nomatch"},
        {"", "(?I-S)a.", "A\n", "nomatch"},  {"", "(?)a", "a", "1 1"},
        {"", "a(?#comment)b", "ab", "1 2"},  {"x", "a b # comment\n c", "abc", "1 3"},
        {"x", "a\\ b", "a b", "1 3"},        {"x", "[ ]", " ", "1 1"},
        {"x", "ab c*", "abccc", "1 5"},      {"", "(?x)a b(?-x) c", "ab c", "1 4"},
        {"", "(?x)a#b", "a#b", "1 1"},
    };
    runTable(cases, std::size(cases));
}

TEST(RegexMatch, SearchFromOffsets) {
    TRegExpr r;
    r.SetExpression("^abc");
    r.SetInputString("xabc");
    EXPECT_FALSE(r.ExecPos(2)); // "^" is the input's start, not the offset

    r.SetExpression("a");
    r.SetInputString("banana");
    std::vector<int> found;
    for (bool m = r.ExecPos(1); m; m = r.ExecNext())
        found.push_back(r.GetMatchPos(0));
    EXPECT_EQ(found, (std::vector<int>{2, 4, 6}));

    r.SetExpression("\\d*");
    EXPECT_TRUE(r.Exec("a12b3"));
    EXPECT_EQ(describeMatch(r, true), "2 2");
    EXPECT_TRUE(r.ExecNext());
    EXPECT_EQ(describeMatch(r, true), "5 1");
    EXPECT_FALSE(r.ExecNext());

    // After an empty match the next search starts one further.
    r.SetExpression("^");
    EXPECT_TRUE(r.Exec("abc"));
    EXPECT_EQ(r.GetMatchLen(0), 0);
    EXPECT_FALSE(r.ExecNext());

    r.SetExpression("c");
    r.SetInputString("abc");
    EXPECT_TRUE(r.ExecPos(3));
    EXPECT_FALSE(r.ExecPos(4)); // length + 1: nothing left to try
    EXPECT_FALSE(r.ExecPos(5));
    r.SetExpression("$");
    EXPECT_FALSE(r.ExecPos(4));
    r.SetExpression("^$");
    r.SetInputString("");
    EXPECT_TRUE(r.ExecPos(1));
}

TEST(RegexMatch, PairsAfterAFailedSearch) {
    // A search that tries no position leaves the last match readable; one that
    // tried positions in vain leaves every pair unset.
    TRegExpr r;
    r.SetExpression("x*abc"); // must have "abc"
    ASSERT_TRUE(r.Exec("abc"));
    EXPECT_FALSE(r.ExecPos(2));
    EXPECT_EQ(r.GetMatchPos(0), 1);

    r.SetExpression("a"); // start character "a"
    ASSERT_TRUE(r.Exec("ab"));
    EXPECT_FALSE(r.ExecPos(2));
    EXPECT_EQ(r.GetMatchPos(0), 1);

    r.SetExpression("(?i)^report.*$");
    ASSERT_TRUE(r.Exec("report"));
    EXPECT_FALSE(r.ExecPos(2)); // positions with "r" are tried and fail at "^"
    EXPECT_EQ(r.GetMatchPos(0), -1);

    r.SetExpression("(b)");
    ASSERT_TRUE(r.Exec("bab"));
    EXPECT_TRUE(r.ExecNext());
    EXPECT_EQ(describeMatch(r, true), "3 1 1:3,1");
    EXPECT_FALSE(r.ExecNext()); // offset beyond the end: no try
    EXPECT_EQ(r.GetMatchPos(1), 3);
}

// Exec refuses a name by its first character, read from the caller's text,
// when every match starts at the beginning; the object must be left as a full
// search leaves it.
TEST(RegexMatch, ExecRefusedAtTheFirstCharacter) {
    TRegExpr r;
    r.SetExpression("(?i)^rep(o)rt");
    ASSERT_TRUE(r.Exec("Report.txt"));
    EXPECT_EQ(describeMatch(r, true), "1 6 1:4,1");
    EXPECT_FALSE(r.Exec("photo.jpg"));
    EXPECT_EQ(r.GetInputString(), "photo.jpg");
    EXPECT_EQ(r.GetMatchPos(0), -1); // the last match went with its input
    EXPECT_EQ(r.GetMatchPos(1), -1);
    EXPECT_EQ(r.GetSubExprMatchCount(), 0);
    try {
        r.ExecNext();
        ADD_FAILURE() << "ExecNext after a refused Exec";
    } catch (const ERegExpr& e) {
        EXPECT_EQ(e.ErrorCode, 1007);
    }
    EXPECT_FALSE(r.ExecPos(1));

    // The input ends at its first zero byte whatever the first character says.
    EXPECT_FALSE(r.Exec(std::string("\0report", 7)));
    EXPECT_EQ(r.GetInputString(), "");
    EXPECT_FALSE(r.Exec(std::string("r\0eport", 7)));
    EXPECT_EQ(r.GetInputString(), "r");
    EXPECT_FALSE(r.Exec(""));
    EXPECT_TRUE(r.Exec(std::string("REPORT\0x", 8)));
    EXPECT_EQ(r.GetInputString(), "REPORT");
    r.SetExpression("(?s)^.x"); // a zero byte is among the first characters
    EXPECT_FALSE(r.Exec(std::string("\0x", 2)));
    EXPECT_TRUE(r.Exec(std::string("ax\0", 3)));
    EXPECT_EQ(describeMatch(r, true), "1 2");

    // A changed modifier or expression is compiled before the first
    // character is judged again.
    r.SetExpression("(?s)^report");
    EXPECT_FALSE(r.Exec("Report"));
    r.SetModifier(1, true);
    EXPECT_TRUE(r.Exec("Report"));
    r.SetExpression("(?s)^x");
    EXPECT_FALSE(r.Exec("Report"));
    EXPECT_TRUE(r.Exec("xylophone"));
}

TEST(RegexMatch, ExecErrors) {
    TRegExpr r;
    auto code = [&](auto&& f) {
        try {
            f();
        } catch (const ERegExpr& e) {
            return e.ErrorCode;
        }
        return 0;
    };
    EXPECT_EQ(code([&] { r.Compile(); }), 1003);
    r.SetExpression("a");
    EXPECT_EQ(code([&] { r.ExecPos(1); }), 1005);
    EXPECT_EQ(code([&] { r.ExecNext(); }), 1007);
    r.SetInputString("abc");
    EXPECT_EQ(code([&] { r.ExecPos(0); }), 1006);
    EXPECT_EQ(code([&] { r.ExecPos(-5); }), 1006);
    EXPECT_FALSE(r.ExecPos(2));
    EXPECT_EQ(code([&] { r.ExecNext(); }), 1007);
    EXPECT_EQ(r.LastError(), 1007);
    EXPECT_EQ(r.LastError(), 0);
}

TEST(RegexMatch, LoopStackHoldsTenNestedLoops) {
    auto nested = [](int depth) {
        std::string p;
        for (int i = 0; i < depth; ++i)
            p += "(";
        p += "a";
        for (int i = 0; i < depth; ++i)
            p += "){1,2}";
        return p;
    };
    EXPECT_EQ(matchText("", nested(10), "a"),
              "1 1 1:1,1 2:1,1 3:1,1 4:1,1 5:1,1 6:1,1 7:1,1 8:1,1 9:1,1 10:1,1");
    EXPECT_EQ(matchText("", nested(11), "a"), "error 1014");
    // Loops one after another reuse the levels.
    EXPECT_EQ(matchText("", "((a){1,2}){1,2}((b){1,2}){1,2}((c){2})+", "abcc"),
              "1 4 1:1,1 2:1,1 3:2,1 4:2,1 5:3,2 6:4,1");
}

// Long inputs: the matcher keeps its backtracking state on the heap, so deep
// matches neither overflow the native stack nor fail.
TEST(RegexMatch, MegabyteInputs) {
    const std::string as(1 << 20, 'a');
    const std::string asc = as + "c";
    struct Case {
        const char* pattern;
        const std::string* input;
        const char* expected;
    };
    const std::string whole = "1 " + std::to_string(asc.size());
    const Case cases[] = {
        {"(a|b)*c", &asc, nullptr},       {"(a|b)*?c", &asc, nullptr},
        {"((a)|b)+c", &asc, nullptr},     {"(a|b){1,}c", &asc, nullptr},
        {"(a|b){1,}?c", &asc, nullptr},   {"(?-s)(.)*c", &asc, nullptr},
        {"(?-s).*c", &asc, nullptr},      {"a*c", &asc, nullptr},
        {"^(a|b)*[cd]", &as, "nomatch"}, // fails after backing out of a million iterations
        {"^(a|b)*?[cd]", &as, "nomatch"}, {"^(aa|a)*$", &as, "1 1048576 1:1048575,2"},
    };
    for (const auto& c : cases) {
        TRegExpr r;
        r.SetExpression(c.pattern);
        const bool m = r.Exec(*c.input);
        if (c.expected)
            EXPECT_EQ(describeMatch(r, m), c.expected) << c.pattern;
        else
            EXPECT_EQ(describeMatch(r, m).substr(0, whole.size()), whole) << c.pattern;
    }
}

TEST(RegexMatch, WorkBoundsRaiseErrors) {
    // Beyond its stack bound the matcher raises 1016 instead of exhausting memory.
    TRegExpr r;
    r.SetExpression("((a)|(b)|(c))*d");
    try {
        r.Exec(std::string(4 << 20, 'a') + "d");
        ADD_FAILURE() << "no error";
    } catch (const ERegExpr& e) {
        EXPECT_EQ(e.ErrorCode, 1016);
        EXPECT_STREQ(e.what(), "TRegExpr(exec): Backtrack Stack Exceeded");
    }
    // An exponential search ends at the step limit when one is set.
    r.SetExpression("(a|aa)*b");
    r.SetMatchStepLimit(1000000);
    try {
        r.Exec(std::string(60, 'a') + "c" + "b");
        ADD_FAILURE() << "no error";
    } catch (const ERegExpr& e) {
        EXPECT_EQ(e.ErrorCode, 1017);
    }
    EXPECT_TRUE(r.Exec("aab"));
}

TEST(RegexMatch, CancelFlagStopsALongSearch) {
    // A flag set before the search, or while an exponential search runs with
    // no step limit, ends it with 1019; cleared, the object matches again.
    std::atomic<bool> cancel{true};
    TRegExpr r;
    r.SetExpression("(a|aa)*b");
    r.SetCancelFlag(&cancel);
    const std::string hard = std::string(80, 'a') + "cb";
    for (bool setLater : {false, true}) {
        cancel = !setLater;
        std::thread setter;
        if (setLater)
            setter = std::thread([&cancel] {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                cancel = true;
            });
        try {
            r.Exec(hard);
            ADD_FAILURE() << "no error";
        } catch (const ERegExpr& e) {
            EXPECT_EQ(e.ErrorCode, 1019);
            EXPECT_STREQ(e.what(), "TRegExpr(exec): Match Stopped");
        }
        if (setter.joinable())
            setter.join();
    }
    cancel = false;
    EXPECT_TRUE(r.Exec("aab"));
}

TEST(RegexMatch, ObjectsOnSeparateThreadsDoNotInterfere) {
    const std::vector<std::string> names = {
        "report 2023.xlsx", "\xee\xf2\xf7\xb8\xf2.txt", "photo.JPG", "draft (2).doc", "REPORT.TXT", "x"};
    const char* const patterns[] = {"(?i)^.*.txt$", "(?i)^report.*$", "(?i)\\.(jpe?g|png)$",
                                    "(?i)^.*2023.*\\.xlsx?$"};
    std::vector<std::string> expected;
    for (const char* p : patterns)
        for (const auto& n : names)
            expected.push_back(matchText("", p, n));

    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            TRegExpr r;
            r.SetExpression(patterns[t]);
            for (int round = 0; round < 2000; ++round)
                for (size_t i = 0; i < names.size(); ++i)
                    if (describeMatch(r, r.Exec(names[i])) != expected[t * names.size() + i])
                        ++failures[t];
        });
    }
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(failures, std::vector<int>(4, 0));
}
