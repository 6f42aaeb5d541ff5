// Size texts of the result list and the ordering of result rows.
#include "search/resultcompare.h"
#include "search/sizetext.h"

#include <gtest/gtest.h>

namespace ormix {
namespace {

TEST(SizeText, Table) {
    struct Case {
        int64_t bytes;
        const char* text;
    } cases[] = {
        {0, "0"},
        {1, "1 b"},
        {512, "512 b"},
        {1024, "1024 b"},
        {1025, "1 Kb"},
        {5 * 1024 + 1023, "5 Kb"},
        {1048576, "1024 Kb"},
        {1048577, "1 Mb"},
        {5LL * 1048576, "5 Mb"},
        {999LL * 1048576, "999 Mb"},
        {1500LL * 1048576, "1,500 Mb"},
        // 2 GiB and more: 64-bit sizes all the way.
        {2LL * 1024 * 1048576, "2,048 Mb"},
        {5LL * 1024 * 1024 * 1048576, "5,242,880 Mb"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SizeText(c.bytes, ","), c.text) << c.bytes;
}

TEST(SizeText, UsesTheGivenSeparator) {
    EXPECT_EQ(SizeText(1500LL * 1048576, "\u00a0"), "1\u00a0500 Mb");
    EXPECT_EQ(SizeText(1234567LL * 1048576, "."), "1.234.567 Mb");
    // Kilobyte and byte texts are never grouped.
    EXPECT_EQ(SizeText(1048576, "."), "1024 Kb");
}

TEST(ResultCompare, FoldsOnlyLatinLettersAndTrims) {
    struct Case {
        std::u16string a, b;
        int sign;
    } cases[] = {
        {u"alpha", u"ALPHA", 0},
        {u"  alpha\t", u"ALPHA", 0},
        {u"abc", u"ABD", -1},
        {u"b", u"A", 1},
        {u"ab", u"abc", -1},
        // Cyrillic letters are not folded: upper case comes first by code.
        {u"Я", u"я", -1},
        {u"я", u"Я", 1},
        {u"_", u"a", 1}, // '_' (95) after 'A' (65) once 'a' is folded
        {u"", u"", 0},
    };
    for (const Case& c : cases) {
        const int r = CompareTextNoCase(c.a, c.b);
        EXPECT_EQ((r > 0) - (r < 0), c.sign);
    }
}

TEST(ResultCompare, SizesNumerically) {
    EXPECT_EQ(CompareSizes(1024, 2048), -1);
    EXPECT_EQ(CompareSizes(5LL << 30, 1), 1);
    EXPECT_EQ(CompareSizes(7, 7), 0);
}

} // namespace
} // namespace ormix
