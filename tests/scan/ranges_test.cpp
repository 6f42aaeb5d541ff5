// Range texts, the walk, the progress total, the answered set and ipToNumber.
#include "scan/ranges.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace ormix {
namespace {

uint32_t ip(const char* dotted) {
    return ntohl(inet_addr(dotted));
}

TEST(RangeText, Forms) {
    struct Case {
        std::string text;
        const char* first; // nullptr: rejected
        const char* last;
    } cases[] = {
        // single address, with inet_addr's notation
        {"192.168.0.5", "192.168.0.5", "192.168.0.5"},
        {"10.1", "10.0.0.1", "10.0.0.1"},
        {"0x0a.0.0.012", "10.0.0.10", "10.0.0.10"},
        {"", nullptr, nullptr},
        {"host1", nullptr, nullptr},
        {"255.255.255.255", nullptr, nullptr},
        {"1.2.3.256", nullptr, nullptr},
        // address/prefix
        {"192.168.0.5/32", "192.168.0.5", "192.168.0.5"},
        {"192.168.0.77/24", "192.168.0.0", "192.168.0.255"},
        {"10.0.0.0/0", "0.0.0.0", "255.255.255.255"},
        {"10.0.0.0/", "0.0.0.0", "255.255.255.255"},
        {"10.0.0.0/ 8", "10.0.0.0", "10.255.255.255"},
        {"10.0.0.0/+8", "10.0.0.0", "10.255.255.255"},
        {"192.168.0.5/33", nullptr, nullptr},
        {"192.168.0.5/-1", nullptr, nullptr},
        {"1.2.3.4/9999999999", nullptr, nullptr},
        {"192.168.100.100/24abc", nullptr, nullptr}, // 21 characters
        {"192.168.1.0/24abc", "192.168.1.0", "192.168.1.255"},
        {"192.168.1.0/24ЖЖЖЖЖ", "192.168.1.0", "192.168.1.255"}, // 19 characters, 24 bytes
        {"192.168.1.0/24ЖЖЖЖЖЖ", nullptr, nullptr},
        {"255.255.255.255/32", nullptr, nullptr},
        {"host/24", nullptr, nullptr},
        // address-lastbyte
        {"192.168.0.10-20", "192.168.0.10", "192.168.0.20"},
        {"192.168.0.10-10", "192.168.0.10", "192.168.0.10"},
        {"192.168.0.10- 20", "192.168.0.10", "192.168.0.20"},
        {"192.168.0.10-9", nullptr, nullptr},
        {"192.168.0.10-256", nullptr, nullptr},
        {"192.168.0.10--1", nullptr, nullptr},
        {"192.168.0.10-", nullptr, nullptr},
        {"192.168.0.0-", "192.168.0.0", "192.168.0.0"},
        {"192.168.0.0-255", "192.168.0.0", "192.168.0.255"},
        {"255.255.255.255-255", nullptr, nullptr},
        {"255.255.255.0-255", "255.255.255.0", "255.255.255.255"},
        {"host1-5", nullptr, nullptr},
        {"192.168.0.10-20 plus a long tail that no prefix text may have", "192.168.0.10", "192.168.0.20"},
        // both characters
        {"192.168.0.1/24-5", "192.168.0.0", "192.168.0.255"},
        {"10.0.0.5-7/24", "10.0.0.5", "10.0.0.7"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        AddressRange r;
        const bool ok = parseRangeText(c.text, r);
        ASSERT_EQ(ok, c.first != nullptr);
        if (ok) {
            EXPECT_EQ(r.first, ip(c.first));
            EXPECT_EQ(r.last, ip(c.last));
        }
    }
}

TEST(RangeText, EachParserTakesOnlyItsOwnForm) {
    AddressRange r;
    EXPECT_FALSE(parseSingleAddress("10.0.0.0/8", r));
    EXPECT_FALSE(parseSingleAddress("10.0.0.1-5", r));
    EXPECT_FALSE(parsePrefixRange("10.0.0.1", r));
    EXPECT_FALSE(parsePrefixRange("10.0.0.1-5", r));
    EXPECT_FALSE(parseDashRange("10.0.0.1", r));
    EXPECT_FALSE(parseDashRange("10.0.0.0/8", r));
}

std::vector<uint32_t> walk(const AddressRange& r, size_t limit = 1000) {
    std::vector<uint32_t> out;
    std::optional<uint32_t> cursor;
    uint32_t next = 0;
    while (out.size() < limit && stepAddress(r, cursor, next)) {
        out.push_back(ntohl(next));
        cursor = next;
    }
    return out;
}

TEST(RangeWalk, AscendingAcrossByteBoundaries) {
    AddressRange r;
    ASSERT_TRUE(parseRangeText("10.0.0.0/23", r));
    const auto all = walk(r);
    ASSERT_EQ(all.size(), 512u);
    for (size_t i = 0; i < all.size(); ++i)
        ASSERT_EQ(all[i], ip("10.0.0.0") + i);
    EXPECT_EQ(all[255], ip("10.0.0.255"));
    EXPECT_EQ(all[256], ip("10.0.1.0"));
}

TEST(RangeWalk, SingleAddressAndTheTopOfTheSpace) {
    EXPECT_EQ(walk({ip("10.0.0.7"), ip("10.0.0.7")}), std::vector<uint32_t>{ip("10.0.0.7")});
    // The last address is 255.255.255.255: the walk ends there instead of wrapping to 0.
    EXPECT_EQ(walk({0xFFFFFFFEu, 0xFFFFFFFFu}), (std::vector<uint32_t>{0xFFFFFFFEu, 0xFFFFFFFFu}));
}

TEST(RangeTotal, CountsAddressesMinusOnePerAcceptedEntry) {
    struct Case {
        std::vector<std::string> list;
        int64_t total;
    } cases[] = {
        {{}, 0},
        {{"192.168.0.1-10", "no address", "10.0.0.7"}, 9},
        {{"10.0.0.1", "10.0.0.2", "10.0.0.3", "10.0.0.4", "10.0.0.5"}, 0},
        {{"192.168.1.1-254", "192.168.1.0/24"}, 253 + 255},
        {{"0.0.0.0/0"}, 4294967295LL},
        {{"0.0.0.0/0", "1.0.0.0/0"}, 2 * 4294967295LL},
    };
    for (const auto& c : cases)
        EXPECT_EQ(countScanAddresses(c.list), c.total) << ::testing::PrintToString(c.list);
}

TEST(AnsweredSet, AddAndContains) {
    AnsweredSet s;
    EXPECT_FALSE(s.contains(ip("10.0.0.1")));
    EXPECT_TRUE(s.add(ip("10.0.0.1")));
    EXPECT_FALSE(s.add(ip("10.0.0.1")));
    EXPECT_TRUE(s.contains(ip("10.0.0.1")));
    // Unsigned order: an address above 128.0.0.0 does not sort before small ones.
    EXPECT_TRUE(s.add(ip("200.0.0.1")));
    EXPECT_TRUE(s.add(ip("0.0.0.1")));
    EXPECT_TRUE(s.contains(ip("200.0.0.1")));
    EXPECT_FALSE(s.contains(ip("200.0.0.2")));
    EXPECT_EQ(s.size(), 3u);
}

TEST(ipToNumber, ValueOfADottedText) {
    EXPECT_EQ(ipToNumber("192.168.0.5."), 3232235525u);
    EXPECT_EQ(ipToNumber("10.0.0.1."), 167772161u);
    EXPECT_EQ(ipToNumber("192.168.0.5"), 3232235520u); // the part after the last "." is ignored
    EXPECT_EQ(ipToNumber("1.2.3.4.5.6."), 16909060u);  // parts beyond the fourth weigh 0
    EXPECT_EQ(ipToNumber("256.0.0.0."), 0u);           // modulo 2^32
    EXPECT_EQ(ipToNumber(""), 0u);
    EXPECT_THROW(ipToNumber("a.b.c.d."), std::invalid_argument);
    EXPECT_THROW(ipToNumber("1..2.3."), std::invalid_argument);
    EXPECT_LT(ipToNumber("9.0.0.1."), ipToNumber("10.0.0.1."));
}

} // namespace
} // namespace ormix
