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

} // namespace
} // namespace ormix
