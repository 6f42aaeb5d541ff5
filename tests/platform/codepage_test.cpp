// Code-page round trips and the 1251 case tables.
#include "platform/codepage.h"

#include <gtest/gtest.h>

using namespace ormix;

TEST(CodePage, Cp866NamesDecode) {
    // "ПЕТЯ" in 866 is 8F 85 92 9F; box-drawing 0xB0 is a light shade.
    EXPECT_EQ(cp866ToUtf8("\x8F\x85\x92\x9F-PC"), "ПЕТЯ-PC");
    EXPECT_EQ(cp866ToUtf8("\xF0\xF1"), "Ёё");
    EXPECT_EQ(cp866ToUtf8("\xB0"), "░");
}

TEST(CodePage, Cp1251RoundTrip) {
    const std::string text = "Отчёт ЁЖИК report_2023.xlsx";
    const std::string cp = utf8ToCp1251(text);
    EXPECT_EQ(cp.size(), 27u);
    EXPECT_EQ(cp1251ToUtf8(cp), text);
    EXPECT_EQ(utf8ToCp1251("日本"), "??");
    EXPECT_EQ(utf8ToCp1251("\xC3"), "?"); // truncated sequence
    // Cut off by the end of a view whose next bytes in memory would complete it: "Ж", "€".
    const std::string whole = "\xD0\x96\xE2\x82\xAC";
    EXPECT_EQ(utf8ToCp1251(std::string_view(whole.data(), 1)), "?");
    EXPECT_EQ(utf8ToCp1251(std::string_view(whole.data() + 2, 2)), "??"); // one per byte, never "\x88" (€)
}

TEST(CodePage, Cp1251Case) {
    struct Case {
        unsigned char lower, upper;
    };
    const Case cases[] = {{'a', 'A'}, {'z', 'Z'}, {0xE0, 0xC0}, {0xFF, 0xDF}, {0xB8, 0xA8}, {0xB3, 0xB2}};
    for (const auto& c : cases) {
        EXPECT_EQ(upper1251(c.lower), c.upper);
        EXPECT_EQ(lower1251(c.upper), c.lower);
        EXPECT_TRUE(isUpper1251(c.upper));
        EXPECT_TRUE(isLower1251(c.lower));
    }
    for (unsigned char c : {0x31, 0x5F, 0xB9, 0xA0}) { // digit, underscore, No sign, no-break space
        EXPECT_EQ(upper1251(c), c);
        EXPECT_EQ(lower1251(c), c);
    }
}
