// Node-status messages: the query bytes, transaction ids, the length rules of
// the answer decoder and the texts a host is described with.
#include "fixtures/nbt_responder.h"
#include "scan/nbstat.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ormix {
namespace {

using testing::NbtHost;
using testing::NbtName;

NbtHost hostWith(std::vector<NbtName> names) {
    NbtHost h;
    h.names = std::move(names);
    h.mac = {0x00, 0x0c, 0x29, 0x3a, 0x4b, 0x5c};
    return h;
}

std::optional<NodeStatusAnswer> parse(const std::vector<uint8_t>& d) {
    return parseResponse(d.data(), d.size());
}

uint32_t addr(const char* text) {
    return inet_addr(text);
}

TEST(StatusQuery, BytesAreTheWildcardNodeStatusQuery) {
    const std::vector<uint8_t> expected = {
        0xAB, 0xCD, 0x00, 0x10, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x20, 0x43, 0x4B, 0x41, 0x41,
        0x41, 0x41, 0x41, 0x41, 0x41, 0x41, 0x41, 0x41, 0x41, 0x41, 0x41, 0x41, 0x41, 0x41, 0x41, 0x41, 0x41,
        0x41, 0x41, 0x41, 0x41, 0x41, 0x41, 0x41, 0x41, 0x41, 0x41, 0x41, 0x00, 0x00, 0x21, 0x00, 0x01};
    const auto q = buildStatusQuery(0xABCD);
    EXPECT_EQ(std::vector<uint8_t>(q.begin(), q.end()), expected);
}

TEST(StatusQuery, TransactionIdIsMillisecondsSinceScanStartModulo65536) {
    struct Case {
        int32_t seconds, microseconds, start;
        uint16_t id;
    } cases[] = {
        {100, 0, 100, 0},
        {100, 5000, 100, 5},
        {100, 3999, 100, 3},    // the division truncates
        {101, 1500, 100, 1001}, // counter part below a millisecond
        {165, 536000, 100, 0},  // exactly 65,536 ms
        {165, 537000, 100, 1},
        {100, 999000 + 2500, 100, 1001}, // the counter pushes microseconds past 999999
    };
    for (const auto& c : cases)
        EXPECT_EQ(transactionId({c.seconds, c.microseconds}, c.start), c.id)
            << c.seconds << "s " << c.microseconds << "us start " << c.start;
}

TEST(StatusQuery, ClockCounterAdvancesWithEveryReading) {
    // microseconds = ms * 1000 + counter, so its last three digits follow the counter.
    ClockReading prev = readClock();
    for (int i = 0; i < 2000; ++i) {
        const ClockReading r = readClock();
        EXPECT_EQ((r.microseconds % 1000 - prev.microseconds % 1000 + 1000) % 1000, 1) << i;
        prev = r;
    }
}

TEST(StatusQuery, SendOnABadSocketReportsFailure) {
    EXPECT_EQ(sendStatusQuery(-1, addr("127.0.0.1"), 0), -1);
}

TEST(ParseResponse, LengthRulesAreStrict) {
    // Two names: the table is 36 bytes at offset 57, UNIT_ID at 93, 139 bytes in all.
    const auto full = testing::buildNodeStatusAnswer(0x1234, hostWith({{"PC1"}, {"GRP", 0x00, true}}));
    ASSERT_EQ(full.size(), 139u);
    struct Case {
        size_t length;
        bool header;
        uint8_t numNames;
        bool table, stats;
    } cases[] = {
        {1, false, 0, false, false}, {2, false, 0, false, false}, {3, true, 0, false, false},
        {46, true, 0, false, false}, {57, true, 0, false, false}, {58, true, 2, false, false},
        {93, true, 2, false, false}, {94, true, 2, true, false},  {99, true, 2, true, false},
        {100, true, 2, true, true},  {139, true, 2, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.length);
        const auto a = parseResponse(full.data(), c.length);
        ASSERT_TRUE(a);
        ASSERT_EQ(a->header.has_value(), c.header);
        if (c.header) {
            EXPECT_EQ(a->header->trnId, 0x1234);
            EXPECT_EQ(a->header->numNames, c.numNames);
        }
        EXPECT_EQ(a->nameTable.has_value(), c.table);
        EXPECT_EQ(a->statistics.has_value(), c.stats);
        if (c.table) {
            EXPECT_EQ(*a->nameTable, std::vector<uint8_t>(full.begin() + 57, full.begin() + 93));
        }
    }
}

TEST(ParseResponse, HeaderFieldsStopAtTheFirstMissingOne) {
    const auto full = testing::buildNodeStatusAnswer(0x0102, hostWith({{"PC1"}}));
    const auto whole = parse(full);
    ASSERT_TRUE(whole && whole->header);
    const NodeStatusHeader& h = *whole->header;
    EXPECT_EQ(h.flags, 0x8400);
    EXPECT_EQ(h.anCount, 1);
    EXPECT_EQ(h.rrName[0], 0x20);
    EXPECT_EQ(h.rrName[1], 'C');
    EXPECT_EQ(h.rrType, 0x21);
    EXPECT_EQ(h.rrClass, 1);
    EXPECT_EQ(h.rdLength, 1 + 18 + 46);

    // 48 bytes reach RR_NAME (needs > 46) but not RR_TYPE (needs > 48).
    const auto part = parseResponse(full.data(), 48);
    ASSERT_TRUE(part && part->header);
    EXPECT_EQ(part->header->rrName[1], 'C');
    EXPECT_EQ(part->header->rrType, 0);
    EXPECT_EQ(part->header->rrClass, 0);
}

TEST(ParseResponse, RecordNameIsCopiedUpToItsFirstZero) {
    auto d = testing::buildNodeStatusAnswer(1, hostWith({}));
    d[12 + 5] = 0x00; // an early end inside RR_NAME; bytes after it are not copied
    const auto a = parse(d);
    ASSERT_TRUE(a && a->header);
    EXPECT_EQ(a->header->rrName[4], 'A');
    EXPECT_EQ(a->header->rrName[5], 0);
    EXPECT_EQ(a->header->rrName[6], 0);
}

TEST(ParseResponse, NoNamesGivesAnEmptyTableAndStatistics) {
    const auto d = testing::buildNodeStatusAnswer(1, hostWith({})); // 57 + 46 bytes
    for (size_t len : {63u, 64u, 103u}) {
        const auto a = parseResponse(d.data(), len);
        ASSERT_TRUE(a && a->nameTable);
        EXPECT_TRUE(a->nameTable->empty());
        EXPECT_EQ(a->statistics.has_value(), len > 63) << len;
    }
    const HostTexts t = describeHost(*parse(d), addr("10.0.0.1"));
    EXPECT_EQ(t.name, "<unknown>");
    EXPECT_EQ(t.workgroup, "");
    EXPECT_EQ(t.mac, "00-0C-29-3A-4B-5C");
}

TEST(DescribeHost, NameAndWorkgroupRules) {
    struct Case {
        const char* what;
        std::vector<NbtName> names;
        std::string name, workgroup;
    } cases[] = {
        {"no names", {}, "<unknown>", ""},
        {"first unique 0x00 wins", {{"FIRST"}, {"SECOND"}}, "FIRST", ""},
        {"last group 0x00 wins", {{"PC"}, {"GRP1", 0, true}, {"GRP2", 0, true}}, "PC", "GRP2"},
        {"other suffixes ignored", {{"SRV", 0x20}, {"MSG", 0x03}, {"DOM", 0x1e, true}}, "<unknown>", ""},
        {"padding trimmed", {{"ABC"}, {"WG", 0, true}}, "ABC", "WG"},
        {"group before unique", {{"WG", 0, true}, {"PC"}}, "PC", "WG"},
        {"comma kept", {{"A,B"}, {"C,D", 0, true}}, "A,B", "C,D"},
        {"Cyrillic name and workgroup", {{"ПК-1"}, {"ОТДЕЛ", 0, true}}, "ПК-1", "ОТДЕЛ"},
        {"pseudo-graphics", {{"╔═╗"}}, "╔═╗", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto a = parse(testing::buildNodeStatusAnswer(7, hostWith(c.names)));
        ASSERT_TRUE(a);
        const HostTexts t = describeHost(*a, addr("192.168.10.200"));
        EXPECT_EQ(t.name, c.name);
        EXPECT_EQ(t.workgroup, c.workgroup);
        EXPECT_EQ(t.ip, "192.168.10.200");
        EXPECT_EQ(t.mac, "00-0C-29-3A-4B-5C");
    }
}

TEST(DescribeHost, RawEntryBytes) {
    // Entries as some nodes send them: control characters and an embedded zero.
    auto d = testing::buildNodeStatusAnswer(7, hostWith({{"X"}, {"Y", 0, true}}));
    const std::string name = std::string(" \x01NAME\x00JUNK\x00\x00\x00\x00\x00", 15);
    const std::string group = std::string("\x1fGRP  \x02       ", 15);
    std::copy(name.begin(), name.end(), d.begin() + 57);
    std::copy(group.begin(), group.end(), d.begin() + 57 + 18);
    const HostTexts t = describeHost(*parse(d), addr("10.1.2.3"));
    EXPECT_EQ(t.name, "NAME");
    EXPECT_EQ(t.workgroup, "GRP");
}

TEST(DescribeHost, ShortDatagramsGiveDefaults) {
    const auto d = testing::buildNodeStatusAnswer(7, hostWith({{"PC"}, {"WG", 0, true}}));
    for (size_t len : {1u, 2u, 3u, 57u, 93u}) {
        const auto a = parseResponse(d.data(), len);
        ASSERT_TRUE(a);
        const HostTexts t = describeHost(*a, addr("10.0.0.9"));
        EXPECT_EQ(t.name, "<unknown>") << len;
        EXPECT_EQ(t.workgroup, "") << len;
        EXPECT_EQ(t.mac, "") << len;
        EXPECT_EQ(t.ip, "10.0.0.9");
    }
    // Table but no statistics: names, no MAC.
    const HostTexts t = describeHost(*parseResponse(d.data(), 99), addr("10.0.0.9"));
    EXPECT_EQ(t.name, "PC");
    EXPECT_EQ(t.workgroup, "WG");
    EXPECT_EQ(t.mac, "");
}

} // namespace
} // namespace ormix
