// Peer texts as rows show them: one line, every control character visible.
#include "platform/displaytext.h"

#include <gtest/gtest.h>

using ormix::displayText;

TEST(DisplayText, ControlCharactersBecomeVisible) {
    struct Case {
        std::string in, out;
    } cases[] = {
        {"Docs", "Docs"},
        {"Архив 2024", "Архив 2024"},
        {"6.6.6.6\tFAKEHOST\nx", "6.6.6.6\u2409FAKEHOST\u240Ax"},
        {"a\rb", "a\u240Db"},
        {"\x1b[31mred", "\u241B[31mred"},
        {std::string("nul\0end", 7), "nul\u2400end"},
        {"del\x7f", "del\u2421"},
        {"c1\u0085line", "c1\uFFFDline"},
        {"sep\u2028par\u2029", "sep\uFFFDpar\uFFFD"},
        {"photo\u202Egpj.exe", "photo\uFFFDgpj.exe"},
        {"bad\xff\xc3", "bad\uFFFD\uFFFD"},
        {"\xe0\x80\xaf", "\uFFFD\uFFFD\uFFFD"}, // an overlong "/" is not a slash
        {"emoji \U0001F600", "emoji \U0001F600"},
        {"\\\\127.0.0.1\\share", "\\\\127.0.0.1\\share"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(displayText(c.in), c.out) << c.in;
}
