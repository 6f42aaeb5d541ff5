// Compilation: the errors with their codes, positions and texts, the programs
// written for each construct (golden dumps with their start filters), and
// when a program is dropped and compiled again.
#include "regex_test_util.h"

#include <gtest/gtest.h>

using namespace ormix;

namespace {

struct ErrorCase {
    const char* pattern;
    int code;
    int pos;
};

ERegExpr compileError(const std::string& pattern) {
    TRegExpr r;
    r.SetExpression(pattern);
    try {
        r.Compile();
    } catch (const ERegExpr& e) {
        return e;
    }
    return ERegExpr("no error", 0, 0);
}

} // namespace

TEST(RegexCompile, ErrorsCarryCodeAndPosition) {
    static const ErrorCase cases[] = {
        {"a)", 104, 1},
        {"(a", 103, 2},
        {"((a)", 103, 4},
        {"[a", 113, 2},
        {"[", 113, 1},
        {"[^", 113, 2},
        {"[]", 113, 2},
        {"a**", 107, 2},
        {"a{2}{3}", 107, 4},
        {"a*??", 107, 3},
        {"a+{1}", 107, 2},
        {"(ab)?+", 107, 5},
        {"^*", 106, 1},
        {"$+", 106, 1},
        {"\\b{2}", 106, 2},
        {"(?i)*", 106, 4},
        {"(?#c)+", 106, 5},
        {"()*", 106, 2},
        {"(a*)*", 106, 4},
        {"(a|)+", 106, 4},
        {"(a{0,2})*", 106, 8},
        {"(^)*", 106, 3},
        {"(a?){2}", 106, 4},
        {"(?x)a *", 106, 6}, // under x a blank is an empty atom
        {"*a", 115, 0},
        {"+", 115, 0},
        {"a|?b", 115, 2},
        {"(*a)", 115, 1},
        {"a{123456789}", 122, 1},
        {"a{1,123456789}", 122, 1},
        {"a{2,1}", 124, 1},
        {"\\", 116, 1},
        {"ab\\", 116, 3},
        {"\\xg0", 108, 2},
        {"\\x4g", 108, 3},
        {"\\x{4g}", 108, 4},
        {"\\x", 111, 2},
        {"\\x4", 111, 3},
        {"\\x{41", 111, 5},
        {"[\\x", 111, 3},
        {"\\x{123}", 112, 5},
        {"[z-a]", 109, 4},
        {"[\\x42-\\x41]", 109, 10},
        {"[\\", 110, 1},
        {"[a-\\", 110, 3},
        {"(?#abc", 125, 6},
        {"(?:a)", 127, 2},
        {"(?i", 127, 3},
        {"(?iq)", 127, 3},
        {"(((((((((((((((a)))))))))))))))", 102, 15},
    };
    for (const auto& c : cases) {
        const ERegExpr e = compileError(c.pattern);
        EXPECT_EQ(e.ErrorCode, c.code) << c.pattern << ": " << e.what();
        EXPECT_EQ(e.CompilerErrorPos, c.pos) << c.pattern << ": " << e.what();
    }
    // Forms that are not errors.
    for (const char* ok :
         {"a{12345678}", "\\x{0041}", "(a){0}", "a??", "(a?)?", "(a*)?", "^?", "\\b?", "a{,}",
          "(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)(k)(l)(m)(n)", "(?)", "(?-)", "[a-]", "[]-a]", "a{"})
        EXPECT_EQ(compileError(ok).ErrorCode, 0) << ok;
}

TEST(RegexCompile, ErrorMessages) {
    EXPECT_STREQ(compileError("a)").what(), "TRegExpr(comp): ParseReg Unmatched () (pos 1)");
    EXPECT_STREQ(compileError("(a").what(), "TRegExpr(comp): ParseReg Unmatched () (pos 2)");
    EXPECT_STREQ(compileError("[z-a]").what(), "TRegExpr(comp): Invalid [] Range (pos 4)");
    EXPECT_STREQ(compileError("\\x{123}").what(), "TRegExpr(comp): Hex Code After \\x Is Too Big (pos 5)");
    EXPECT_STREQ(compileError("(?q)").what(), "TRegExpr(comp): Urecognized Modifier (pos 2)");

    TRegExpr r;
    EXPECT_EQ(r.ErrorMsg(0), "No errors");
    EXPECT_EQ(r.ErrorMsg(126).substr(0, 48), "TRegExpr(comp): If you want take part in beta-te");
    EXPECT_EQ(r.ErrorMsg(1005), "TRegExpr(exec): No Inpit String Specified");
    EXPECT_EQ(r.ErrorMsg(1013), "Unknown error");
    EXPECT_EQ(r.ErrorMsg(-1), "Unknown error");
    try {
        r.Compile();
        ADD_FAILURE();
    } catch (const ERegExpr& e) {
        EXPECT_EQ(e.ErrorCode, 1003);
        EXPECT_STREQ(e.what(), "TRegExpr(exec): Not Assigned Expression Property"); // no position after 1000
    }
    EXPECT_EQ(r.LastError(), 1003);
    EXPECT_EQ(r.GetCompilerErrorPos(), 0);
}

TEST(RegexCompile, ErrorPositionIsReadableInsideError) {
    // GetCompilerErrorPos answers while compiling, so an Error override sees it.
    struct Recording : TRegExpr {
        int seenPos = -1;
        void Error(int code) override {
            seenPos = GetCompilerErrorPos();
            TRegExpr::Error(code);
        }
    } r;
    r.SetExpression("ab(");
    EXPECT_THROW(r.Compile(), ERegExpr);
    EXPECT_EQ(r.seenPos, 3);
    EXPECT_EQ(r.GetCompilerErrorPos(), 0);

    // An override that returns does not let the engine go on.
    struct Quiet : TRegExpr {
        void Error(int) override {}
    } q;
    q.SetExpression("a)");
    EXPECT_THROW(q.Compile(), ERegExpr);
}

TEST(RegexCompile, FailedCompilationRaisesAgainAtEveryMatch) {
    TRegExpr r;
    r.SetExpression("a{2,1}");
    for (int i = 0; i < 2; ++i) {
        try {
            r.Exec("aa");
            ADD_FAILURE();
        } catch (const ERegExpr& e) {
            EXPECT_EQ(e.ErrorCode, 124);
        }
    }
    r.SetExpression("a{1,2}");
    EXPECT_TRUE(r.Exec("aa"));
}

TEST(RegexCompile, ChangedSettingsRecompile) {
    TRegExpr r;
    r.SetExpression("abc");
    EXPECT_FALSE(r.Exec("ABC"));
    r.SetModifier(1, true);
    EXPECT_TRUE(r.Exec("ABC"));
    r.SetModifierStr("-i");
    EXPECT_FALSE(r.Exec("ABC"));

    // "^" under m is line-wise only while some line separator exists.
    r.SetExpression("(?m)^b");
    EXPECT_TRUE(r.Exec("a\nb"));
    r.SetLineSeparators("");
    EXPECT_TRUE(r.Exec("a\r\nb")); // the paired separator still makes lines
    r.SetLinePairedSeparator("");
    EXPECT_FALSE(r.Exec("a\r\nb"));
    EXPECT_NE(r.Dump().find("BOL "), std::string::npos);
    r.SetLineSeparators("|");
    EXPECT_TRUE(r.Exec("a|b"));
    EXPECT_NE(r.Dump().find("BOLML"), std::string::npos);

    r.SetExpression("\\w+");
    r.SetWordChars("xyz");
    EXPECT_TRUE(r.Exec("abxyc"));
    EXPECT_EQ(r.GetMatch(0), "xy");
}

TEST(RegexCompile, GoldenDumps) {
    struct Golden {
        const char* pattern;
        const char* dump;
    };
    static const Golden cases[] = {
        // A literal run gives its last character to a quantifier; start character.
        {"abc*", " 1:BRANCH (26) \r\n"
                 " 6:EXACTLY (14) ab\r\n"
                 "14:STAR (26) \r\n"
                 "19:EXACTLY (0)c\r\n"
                 "26:END (0)\r\n"
                 "start a\r\n"
                 "FirstCharSet:a\r\n"},
        // Starting with a repeat: the longest literal is a must-have text.
        {"x*abc", " 1:BRANCH (27) \r\n"
                  " 6:STAR (18) \r\n"
                  "11:EXACTLY (0)x\r\n"
                  "18:EXACTLY (27) abc\r\n"
                  "27:END (0)\r\n"
                  "must have abc\r\n"
                  "FirstCharSet:ax\r\n"},
        {"^abc", " 1:BRANCH (20) \r\n"
                 " 6:BOL (11) \r\n"
                 "11:EXACTLY (20) abc\r\n"
                 "20:END (0)\r\n"
                 "anchored \r\n"
                 "FirstCharSet:a\r\n"},
        // Greedy star of a complex atom: BRANCH, the atom, BACK; BRANCH, NOTHING.
        {"(a|b)*c", " 1:BRANCH (67) \r\n"
                    " 6:BRANCH (50) \r\n"
                    "11:OPEN[1] (16) \r\n"
                    "16:BRANCH (28) \r\n"
                    "21:EXACTLY (40) a\r\n"
                    "28:BRANCH (40) \r\n"
                    "33:EXACTLY (40) b\r\n"
                    "40:CLOSE[1] (45) \r\n"
                    "45:BACK (6) \r\n"
                    "50:BRANCH (55) \r\n"
                    "55:NOTHING (60) \r\n"
                    "60:EXACTLY (67) c\r\n"
                    "67:END (0)\r\n"
                    "must have c\r\n"
                    "FirstCharSet:abc\r\n"},
        // Greedy plus of a complex atom: the atom, BRANCH (BACK to the atom), BRANCH (NOTHING).
        {"(ab)+", " 1:BRANCH (49) \r\n"
                  " 6:OPEN[1] (11) \r\n"
                  "11:BRANCH (24) \r\n"
                  "16:EXACTLY (24) ab\r\n"
                  "24:CLOSE[1] (29) \r\n"
                  "29:BRANCH (39) \r\n"
                  "34:BACK (6) \r\n"
                  "39:BRANCH (44) \r\n"
                  "44:NOTHING (49) \r\n"
                  "49:END (0)\r\n"
                  "\r\n"
                  "FirstCharSet:a\r\n"},
        {"a?b", " 1:BRANCH (35) \r\n"
                " 6:BRANCH (18) \r\n"
                "11:EXACTLY (23) a\r\n"
                "18:BRANCH (23) \r\n"
                "23:NOTHING (28) \r\n"
                "28:EXACTLY (35) b\r\n"
                "35:END (0)\r\n"
                "\r\n"
                "FirstCharSet:ab\r\n"},
        {"a??b{2,3}c*?d+?", " 1:BRANCH (70) \r\n"
                            " 6:BRACESNG (26) {0,1}\r\n"
                            "19:EXACTLY (0)a\r\n"
                            "26:BRACES (46) {2,3}\r\n"
                            "39:EXACTLY (0)b\r\n"
                            "46:STARNG (58) \r\n"
                            "51:EXACTLY (0)c\r\n"
                            "58:PLUSNG (70) \r\n"
                            "63:EXACTLY (0)d\r\n"
                            "70:END (0)\r\n"
                            "\r\n"
                            "FirstCharSet:ab\r\n"},
        // Counted and non-greedy complex atoms: LOOPENTRY, the atom, LOOP/LOOPNG.
        {"(ab){2,3}(c)??", " 1:BRANCH (95) \r\n"
                           " 6:LOOPENTRY (34) \r\n"
                           "11:OPEN[1] (16) \r\n"
                           "16:BRANCH (29) \r\n"
                           "21:EXACTLY (29) ab\r\n"
                           "29:CLOSE[1] (34) \r\n"
                           "34:LOOP (51)  -> (11) {2,3}\r\n"
                           "51:LOOPENTRY (78) \r\n"
                           "56:OPEN[2] (61) \r\n"
                           "61:BRANCH (73) \r\n"
                           "66:EXACTLY (73) c\r\n"
                           "73:CLOSE[2] (78) \r\n"
                           "78:LOOPNG (95)  -> (56) {0,1}\r\n"
                           "95:END (0)\r\n"
                           "\r\n"
                           "FirstCharSet:a\r\n"},
        {"(ab)*?", " 1:BRANCH (51) \r\n"
                   " 6:LOOPENTRY (34) \r\n"
                   "11:OPEN[1] (16) \r\n"
                   "16:BRANCH (29) \r\n"
                   "21:EXACTLY (29) ab\r\n"
                   "29:CLOSE[1] (34) \r\n"
                   "34:LOOPNG (51)  -> (11) {0,2147483646}\r\n"
                   "51:END (0)\r\n"
                   "\r\n"
                   "FirstCharSet:a\r\n"},
        // Sets: up to three members as a tiny set (largest repeated), more as 32 bytes.
        {"[ab][^ab][a-e]\\s", " 1:BRANCH (96) \r\n"
                              " 6:ANYOFTINYSET (14) abb\r\n"
                              "14:ANYBUTTINYSET (22) abb\r\n"
                              "22:ANYOFFULLSET (59) abcde\r\n"
                              "59:ANYOFFULLSET (96) #9#10#12#13 \r\n"
                              "96:END (0)\r\n"
                              "\r\n"
                              "FirstCharSet:ab\r\n"},
        {"(a)\\1(?i)\\1[a]", " 1:BRANCH (53) \r\n"
                             " 6:OPEN[1] (11) \r\n"
                             "11:BRANCH (23) \r\n"
                             "16:EXACTLY (23) a\r\n"
                             "23:CLOSE[1] (28) \r\n"
                             "28:BSUBEXP (34)  \\1\r\n"
                             "34:COMMENT (39) \r\n"
                             "39:BSUBEXP/CI (45)  \\1\r\n"
                             "45:ANYOFTINYSET (53) Aaa\r\n"
                             "53:END (0)\r\n"
                             "\r\n"
                             "FirstCharSet:a\r\n"},
        {"(?#x)a\\d\\D\\b\\B\\A\\Z", " 1:BRANCH (48) \r\n"
                                     " 6:COMMENT (11) \r\n"
                                     "11:EXACTLY (18) a\r\n"
                                     "18:ANYDIGIT (23) \r\n"
                                     "23:NOTDIGIT (28) \r\n"
                                     "28:BOUND (33) \r\n"
                                     "33:NOTBOUND (38) \r\n"
                                     "38:BOL (43) \r\n"
                                     "43:EOL (48) \r\n"
                                     "48:END (0)\r\n"
                                     "\r\n"
                                     "FirstCharSet:a\r\n"},
        {"(?im)^A$(?-s)\xe0.", " 1:BRANCH (45) \r\n"
                               " 6:COMMENT (11) \r\n"
                               "11:BOLML (16) \r\n"
                               "16:EXACTLY/CI (23) A\r\n"
                               "23:EOLML (28) \r\n"
                               "28:COMMENT (33) \r\n"
                               "33:EXACTLY/CI (40) \xe0\r\n"
                               "40:ANYML (45) \r\n"
                               "45:END (0)\r\n"
                               "\r\n"
                               "FirstCharSet:Aa\r\n"},
        {"[\\x01-\\x03\\d]", " 1:BRANCH (43) \r\n"
                             " 6:ANYOFFULLSET (43) #1#2#30123456789\r\n"
                             "43:END (0)\r\n"
                             "\r\n"
                             "FirstCharSet:#1#2#30123456789\r\n"},
    };
    for (const auto& c : cases) {
        TRegExpr r;
        r.SetExpression(c.pattern);
        EXPECT_EQ(r.Dump(), c.dump) << c.pattern;
    }
}

TEST(RegexCompile, DumpCompilesFirst) {
    TRegExpr r;
    r.SetExpression("(");
    EXPECT_THROW(r.Dump(), ERegExpr);
    r.SetExpression("a");
    r.SetModifierStr("i");
    EXPECT_EQ(r.Dump().substr(0, 36), " 1:BRANCH (13) \r\n 6:EXACTLY/CI (13) ");
}
