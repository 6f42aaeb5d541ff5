// The search text as the user types it -> the expression the workers run.
#include "platform/codepage.h"
#include "regex/regexpr.h"
#include "search/pattern.h"

#include <gtest/gtest.h>

namespace ormix {
namespace {

bool matches(const std::string& expr, const std::string& utf8Name) {
    TRegExpr e;
    e.SetExpression(expr);
    return e.Exec(utf8ToCp1251(utf8Name));
}

TEST(PreparePattern, PlainTextBecomesAnAnchoredCaseFreeExpression) {
    struct Case {
        const char* text;
        const char* expr;
        std::vector<const char*> yes, no;
    } cases[] = {
        {"*.txt", "(?i)^.*.txt$", {"report.txt", "REPORT.TXT", "reportxtxt"}, {"report.txt.bak", "txt"}},
        {"a?c", "(?i)^a.c$", {"abc", "AXC"}, {"ac", "abcd"}},
        {"  abc  ", "(?i)^abc$", {"abc", "ABC"}, {" abc"}},
        // Nothing else is escaped: "|" keeps its meaning.
        {"a|b", "(?i)^a|b$", {"axx", "xxb"}, {"xax"}},
        {"отчёт*", nullptr, {"ОТЧЁТ.doc", "отчёт"}, {"отчет", "мой отчёт"}},
    };
    for (const Case& c : cases) {
        const std::optional<std::string> expr = PreparePattern(c.text, false);
        ASSERT_TRUE(expr) << c.text;
        if (c.expr) {
            EXPECT_EQ(*expr, c.expr);
        }
        for (const char* name : c.yes)
            EXPECT_TRUE(matches(*expr, name)) << c.text << " ~ " << name;
        for (const char* name : c.no)
            EXPECT_FALSE(matches(*expr, name)) << c.text << " ~ " << name;
    }
}

TEST(PreparePattern, BlankTextIsNoGo) {
    for (const char* text : {"", " ", "\t \r\n"}) {
        EXPECT_FALSE(PreparePattern(text, false)) << text;
        EXPECT_FALSE(PreparePattern(text, true)) << text;
    }
}

TEST(PreparePattern, ExpressionModeKeepsTheTextUntrimmed) {
    EXPECT_EQ(PreparePattern(" \\.txt$", true), " \\.txt$");
    EXPECT_EQ(PreparePattern("(?i)Отчёт", true), utf8ToCp1251("(?i)Отчёт"));
}

TEST(PreparePattern, CharactersOutsideTheCodePageMatchWhatNamesBecome) {
    // File names reach the engine in code page 1251, where such a character
    // is "?"; in an expression it must not turn into a quantifier.
    const std::optional<std::string> expr = PreparePattern("^文件\\.txt$", true);
    ASSERT_TRUE(expr);
    EXPECT_TRUE(matches(*expr, "文件.txt"));
    EXPECT_FALSE(matches(*expr, "ab.txt"));
    const std::optional<std::string> plain = PreparePattern("文*.txt", false);
    ASSERT_TRUE(plain);
    EXPECT_TRUE(matches(*plain, "文档.txt"));
}

TEST(PreparePattern, ALoneBracketFailsAtTheFirstMatch) {
    const std::optional<std::string> expr = PreparePattern("[", false);
    ASSERT_TRUE(expr);
    TRegExpr e;
    e.SetExpression(*expr); // setting does not compile
    EXPECT_THROW(e.Exec("x"), ERegExpr);
}

// A text that does not compile: the message points at the character of the
// text the user typed, whatever the wrapping, the trimmed blanks, the pieces
// "*" and uncodable characters grow into, or the UTF-8 bytes of a letter.
TEST(PreparePattern, ErrorPositionsCountTheUsersCharacters) {
    const struct {
        const char* text;
        bool regexMode;
        int code;
        int pos; // characters of the text before the fault
    } cases[] = {
        {"(abc", false, 103, 4},       {"(abc", true, 103, 4},    {"(отчёт", false, 103, 6},
        {"(отчёт", true, 103, 6},      {"отчёт)", false, 104, 5}, {"отчёт)", true, 104, 5},
        {"  (отчёт  ", false, 103, 8}, {"*?ё)", false, 104, 3},   {"文)", true, 104, 1},
        {"文件(", false, 103, 3},      {"ё**", true, 107, 2},     {"ё{2,1}", true, 124, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.text) + (c.regexMode ? " (expression)" : " (plain)"));
        const std::optional<std::string> expr = PreparePattern(c.text, c.regexMode);
        ASSERT_TRUE(expr);
        TRegExpr e;
        e.SetExpression(*expr);
        try {
            e.Compile();
            ADD_FAILURE() << "compiled";
        } catch (const ERegExpr& err) {
            EXPECT_EQ(err.ErrorCode, c.code);
            EXPECT_EQ(PatternErrorPosition(c.text, c.regexMode, err.CompilerErrorPos), c.pos);
            const std::string text = PatternErrorText(c.text, c.regexMode, err);
            const std::string engine = err.what();
            EXPECT_EQ(text,
                      engine.substr(0, engine.rfind(" (pos ")) + " (pos " + std::to_string(c.pos) + ")");
        }
    }
}

} // namespace
} // namespace ormix
