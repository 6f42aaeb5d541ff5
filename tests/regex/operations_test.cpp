// The object's operations beyond matching: modifiers as text, Substitute,
// Split, Replace, quoting, the group listing, input and match accessors,
// separators, the case inverter and the global defaults.
#include "platform/codepage.h"
#include "regex_test_util.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

using namespace ormix;

namespace {

int errorCode(const std::function<void()>& f) {
    try {
        f();
    } catch (const ERegExpr& e) {
        return e.ErrorCode;
    }
    return 0;
}

} // namespace

TEST(RegexOperations, ModifierStrings) {
    TRegExpr r;
    EXPECT_EQ(r.GetModifierStr(), "gsr-imx");
    struct Case {
        const char* set;
        const char* expected;
    };
    const Case cases[] = {
        {"i", "gsri-mx"}, {"-s", "gr-ismx"}, {"M-G", "msr-igx"},     {"-", "gsr-imx"},
        {"", "gsr-imx"},  {"ixm", "xmgsri"}, {"-irsgmx", "-irsgmx"},
    };
    for (const auto& c : cases) {
        TRegExpr m;
        m.SetModifierStr(c.set);
        EXPECT_EQ(m.GetModifierStr(), c.expected) << c.set;
    }
    // A bad letter raises 1013; the letters before it are already applied.
    EXPECT_EQ(errorCode([&] { r.SetModifierStr("iq"); }), 1013);
    EXPECT_EQ(r.GetModifierStr(), "gsri-mx");
    EXPECT_TRUE(r.GetModifier(1));
    EXPECT_TRUE(r.GetModifier(2));
    EXPECT_FALSE(r.GetModifier(5));
    r.SetModifier(6, true);
    EXPECT_EQ(r.GetModifierStr(), "xgsri-m");
    EXPECT_EQ(errorCode([&] { r.SetModifier(7, true); }), 1013);
    EXPECT_EQ(errorCode([&] { r.GetModifier(0); }), 1013);
}

TEST(RegexOperations, Substitute) {
    TRegExpr r;
    EXPECT_EQ(errorCode([&] { r.Substitute("$1"); }), 1005);
    r.SetExpression("(a)(b)?(c)?");
    ASSERT_TRUE(r.Exec("xac"));
    struct Case {
        const char* tmpl;
        const char* expected;
    };
    const Case cases[] = {
        {"${1}x\\$", "ax$"}, {"$15", ""},    {"$1", "a"},        {"$0", "ac"},
        {"$&", "ac"},        {"${&}", "ac"}, {"${3}", "c"},      {"$2", ""},
        {"[$2]", "[]"},      {"$", "$"},     {"a$", "a$"},       {"${1", "${1"},
        {"${}", "${}"},      {"$x", "$x"},   {"${1x}", "${1x}"}, {"\\\\", "\\"},
        {"a\\", "a\\"},      {"\\n", "n"},   {"$10", ""},        {"$01", "a"},
        {"$1$3", "ac"},      {"", ""},       {"$1a", "aa"},      {"$99999999999999999999", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(r.Substitute(c.tmpl), c.expected) << c.tmpl;
}

TEST(RegexOperations, SplitAndReplace) {
    struct SplitCase {
        const char* expr;
        const char* input;
        std::vector<std::string> pieces;
    };
    const SplitCase splits[] = {
        {",", "a,,b", {"a", "", "b"}},
        {"<>", "x", {"x"}},
        {",", "a,", {"a", ""}},
        {",", "", {""}},
        {",", ",", {"", ""}},
        {"x*", "axbxxc", {"a", "b", "c"}},
        {"\\d*", "a1b22", {"a", "b", ""}},
        {"<>", "\\\\10.0.0.5\\share<>HOST", {"\\\\10.0.0.5\\share", "HOST"}},
    };
    for (const auto& c : splits) {
        std::vector<std::string> pieces = {"stale"};
        SplitRegExpr(c.expr, c.input, pieces);
        EXPECT_EQ(pieces, c.pieces) << c.expr << " on " << c.input;
    }
    TRegExpr r;
    r.SetExpression(",");
    std::vector<std::string> kept = {"kept"};
    r.Split("a,b", kept); // Split appends
    EXPECT_EQ(kept, (std::vector<std::string>{"kept", "a", "b"}));

    EXPECT_EQ(ReplaceRegExpr("[?]", "a?b?", "."), "a.b.");
    EXPECT_EQ(ReplaceRegExpr("[*]", "*.txt", ".*"), ".*.txt");
    EXPECT_EQ(ReplaceRegExpr("(a)", "xax", "[$1]"), "x[$1]x");
    EXPECT_EQ(ReplaceRegExpr("(a)", "xax", "[$1]", true), "x[a]x");
    EXPECT_EQ(ReplaceRegExpr("b*", "abc", "-"), "a-c");
    EXPECT_EQ(ReplaceRegExpr("x", "abc", "-"), "abc");
    EXPECT_EQ(ReplaceRegExpr("(\\w+) (\\w+)", "one two three four", "$2 $1", true), "two one four three");
    EXPECT_TRUE(ExecRegExpr("a", "bab"));
    EXPECT_FALSE(ExecRegExpr("^a", "bab"));
}

TEST(RegexOperations, QuoteMetaChars) {
    EXPECT_EQ(QuoteRegExprMetaChars("a.b*c"), "a\\.b\\*c");
    EXPECT_EQ(QuoteRegExprMetaChars("^$.[()|?+*\\{]}"), "\\^\\$\\.\\[\\(\\)\\|\\?\\+\\*\\\\\\{\\]\\}");
    EXPECT_EQ(QuoteRegExprMetaChars("plain - text, \xc0"), "plain - text, \xc0");
    // A quoted text matches itself.
    const std::string text = "a+b (c) [d] {e} ^$|?*.\\";
    EXPECT_TRUE(ExecRegExpr("^" + QuoteRegExprMetaChars(text) + "$", text));
}

TEST(RegexOperations, SubExpressions) {
    auto whole = [](const char* e) { return 1 + static_cast<std::int64_t>(std::strlen(e)) * 65536; };
    struct Case {
        const char* expr;
        bool extended;
        int result;
        std::vector<std::pair<std::string, std::int64_t>> lines;
    };
    const std::int64_t k = 65536;
    const Case cases[] = {
        {"(a)(b(c))",
         false,
         0,
         {{"(a)(b(c))", whole("(a)(b(c))")}, {"a", 1 + 3 * k}, {"b(c)", 4 + 6 * k}, {"c", 6 + 3 * k}}},
        {"(abc)", false, 0, {{"abc", 1 + 5 * k}}}, // the first group already covers it all
        {"x(a)", false, 0, {{"x(a)", whole("x(a)")}, {"a", 2 + 3 * k}}},
        {"a)b", false, 2, {{"a)b", whole("a)b")}}},
        {"(a", false, -1, {{"(a", whole("(a")}, {"", 0}}},
        {"[a(]b", false, 0, {{"[a(]b", whole("[a(]b")}}},
        {"[]a(]", false, 0, {{"[]a(]", whole("[]a(]")}}},
        {"[\\](]", false, 0, {{"[\\](]", whole("[\\](]")}}},
        {"x[a", false, -3, {{"x[a", whole("x[a")}}},
        {"\\(a\\)", false, 0, {{"\\(a\\)", whole("\\(a\\)")}}},
        {"(?i)(a)", false, 0, {{"(?i)(a)", whole("(?i)(a)")}, {"a", 5 + 3 * k}}},
        {"(?i", false, -1, {{"(?i", whole("(?i")}}},
        {"(?x)#(\n(a)", false, 0, {{"(?x)#(\n(a)", whole("(?x)#(\n(a)")}, {"a", 8 + 3 * k}}},
        {"#(\n(a)", true, 0, {{"#(\n(a)", whole("#(\n(a)")}, {"a", 4 + 3 * k}}},
        {"#(\n(a)", false, -1, {{"#(\n(a)", whole("#(\n(a)")}, {"", 0}, {"a", 4 + 3 * k}}},
        {"(?-x)#(", true, -1, {{"(?-x)#(", whole("(?-x)#(")}, {"", 0}}},
    };
    for (const auto& c : cases) {
        std::vector<RegExprSubExpr> list = {{"stale", 7}};
        EXPECT_EQ(RegExprSubExpressions(c.expr, list, c.extended), c.result) << c.expr;
        std::vector<std::pair<std::string, std::int64_t>> lines;
        for (const auto& l : list)
            lines.emplace_back(l.text, l.number);
        EXPECT_EQ(lines, c.lines) << c.expr;
    }
}

TEST(RegexOperations, InputAndMatchAccessors) {
    TRegExpr r;
    EXPECT_EQ(errorCode([&] { r.GetInputString(); }), 1008);
    EXPECT_EQ(r.GetMatchPos(0), -1);
    EXPECT_EQ(r.GetSubExprMatchCount(), -1);
    r.SetInputString(std::string("ab\0cd", 5)); // input ends at its first zero byte
    EXPECT_EQ(r.GetInputString(), "ab");

    r.SetExpression("(a)|(b)");
    ASSERT_TRUE(r.Exec("b"));
    EXPECT_EQ(r.GetSubExprMatchCount(), 2);
    EXPECT_EQ(r.GetMatchPos(1), -1);
    EXPECT_EQ(r.GetMatchLen(1), -1);
    EXPECT_EQ(r.GetMatch(1), "");
    EXPECT_EQ(r.GetMatch(2), "b");
    EXPECT_EQ(r.GetMatchPos(15), -1);
    EXPECT_EQ(r.GetMatchPos(-1), -1);
    EXPECT_EQ(r.GetMatch(15), "");
    ASSERT_TRUE(r.Exec("a"));
    EXPECT_EQ(r.GetSubExprMatchCount(), 1);
    r.SetExpression("x");
    ASSERT_TRUE(r.Exec("x"));
    EXPECT_EQ(r.GetSubExprMatchCount(), 0);
    r.SetInputString("x"); // a new input unsets every pair
    EXPECT_EQ(r.GetMatchPos(0), -1);

    r.SetExpression(std::string("a\0b", 3)); // so does an expression
    EXPECT_EQ(r.GetExpression(), "a");
    r.SetExpression("");
    EXPECT_EQ(r.GetExpression(), "");
    EXPECT_EQ(errorCode([&] { r.Compile(); }), 1003);
}

TEST(RegexOperations, LineSeparators) {
    TRegExpr r;
    EXPECT_EQ(r.GetLinePairedSeparator(), "\r\n");
    EXPECT_EQ(r.GetLineSeparators(), "\r\n");
    r.SetLinePairedSeparator("ab");
    EXPECT_EQ(r.GetLinePairedSeparator(), "ab");
    r.SetLinePairedSeparator("");
    EXPECT_EQ(r.GetLinePairedSeparator(), "");
    for (const char* bad : {"aa", "abc", "a"}) {
        try {
            r.SetLinePairedSeparator(bad);
            ADD_FAILURE() << bad;
        } catch (const ERegExpr& e) {
            EXPECT_EQ(e.ErrorCode, 128);
            EXPECT_STREQ(e.what(),
                         "TRegExpr(comp): LinePairedSeparator must countain two different chars or no "
                         "chars at all (pos 0)");
        }
    }
    // A paired separator of its own: "." and "^" treat the pair as one break.
    r.SetLineSeparators(";");
    r.SetLinePairedSeparator("<>");
    r.SetExpression("(?m-s)^b.");
    EXPECT_EQ(rxtest::describeMatch(r, r.Exec("a<>bc")), "4 2");
    EXPECT_FALSE(r.Exec("a<>b<>"));
    EXPECT_TRUE(r.Exec("a<>b<"));
    EXPECT_TRUE(r.Exec("a;bc"));
    EXPECT_FALSE(r.Exec("a\nbc"));
}

TEST(RegexOperations, CaseInversionFollowsCodePage1251) {
    for (int c = 0; c < 256; ++c) {
        const auto ch = static_cast<unsigned char>(c);
        const unsigned char up = upper1251(ch);
        EXPECT_EQ(TRegExpr::InvertCaseFunction(ch), up != ch ? up : lower1251(ch)) << c;
    }
    EXPECT_EQ(TRegExpr::InvertCaseFunction(0xB8), 0xA8); // ё -> Ё
    EXPECT_EQ(TRegExpr::InvertCaseFunction(0xA8), 0xB8);
    EXPECT_EQ(TRegExpr::VersionMajor(), 0);
    EXPECT_EQ(TRegExpr::VersionMinor(), 947);

    TRegExpr r; // an inverter of the caller's own
    r.SetInvertCase([](unsigned char c) -> unsigned char { return c == '1' ? '2' : c == '2' ? '1' : c; });
    r.SetExpression("(?i)1");
    EXPECT_TRUE(r.Exec("2"));
    EXPECT_FALSE(r.Exec("A"));
}

TEST(RegexOperations, NewObjectsTakeTheGlobalDefaults) {
    RegExprModifierI = true;
    RegExprModifierS = false;
    TRegExpr changed;
    RegExprModifierI = false;
    RegExprModifierS = true;
    TRegExpr plain;
    EXPECT_EQ(changed.GetModifierStr(), "gri-smx");
    EXPECT_EQ(plain.GetModifierStr(), "gsr-imx");
    changed.SetExpression("a.");
    EXPECT_FALSE(changed.Exec("A\n"));
    EXPECT_TRUE(changed.Exec("A\t"));
}
