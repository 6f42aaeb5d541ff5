// The WS-Discovery sweep in a namespace of its own, against the test peer:
// who is reported, whose metadata is fetched, and what stays unasked.
#include "fixtures/netns.h"
#include "fixtures/required.h"
#include "fixtures/wsd_responder.h"
#include "scan/wsdsweep.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>

namespace ormix {
namespace {

uint32_t host(const char* dotted) {
    return ntohl(inet_addr(dotted));
}

TEST(WsdSweep, ReportsRespondersInsideTheRangesAndFetchesOnlyFromTheirOwnAddress) {
    if (const std::string why = testing::netnsUnavailableReason(); !why.empty())
        ORMIX_SKIP_OR_FAIL(why);
    testing::NetNamespace ns("wsdsweep");
    std::string error;
    ASSERT_TRUE(ns.create(error)) << error;
    ASSERT_TRUE(ns.enter(error)) << error;
    for (const char* a : {"127.0.0.17/8", "127.0.0.18/8", "127.0.0.19/8", "127.0.0.20/8", "127.0.0.30/8"})
        ASSERT_TRUE(ns.addLoopbackAddress(a));
    ASSERT_TRUE(ns.setLoopbackMulticast(true));

    std::vector<testing::WsdHostConfig> hosts{
        {"127.0.0.18", "INDIA/Workgroup:WSDGROUP", 5357, {}, {}},
        // Its transport address names INDIA: never fetched from there.
        {"127.0.0.19", "LIAR/Workgroup:X", 5357, "127.0.0.18", {}},
        // Control characters in the name and the workgroup.
        {"127.0.0.20", "MI\tKE/Workgroup:G\nH\x7f", 5357, {}, {}},
        // Metadata of a megabyte: over the cap, read no further.
        {"127.0.0.17", "HUGE/Workgroup:X", 5357, {}, std::string(1 << 20, 'x')},
        // Outside the scanned range.
        {"127.0.0.30", "OUTSIDE/Workgroup:X", 5357, {}, {}},
    };
    testing::WsdResponder responder(hosts);
    ASSERT_TRUE(responder.start(error)) << error;

    WsdSweepOptions options;
    options.listenTime = std::chrono::milliseconds(1500);
    std::map<uint32_t, WsdSweepHost> found;
    std::vector<std::string> log;
    const WsdSweepStats stats = wsdSweep(
        {{host("127.0.0.10"), host("127.0.0.20")}}, options,
        [&](const WsdSweepHost& h) { EXPECT_TRUE(found.emplace(ntohl(h.address), h).second); },
        [&](const std::string& line) { log.push_back(line); });
    responder.stop();

    EXPECT_EQ(stats.interfaces, 1);
    EXPECT_GE(responder.probes(), 1);
    ASSERT_EQ(found.size(), 4u);
    EXPECT_FALSE(found[host("127.0.0.17")].identified);
    const WsdSweepHost& india = found[host("127.0.0.18")];
    EXPECT_TRUE(india.identified);
    EXPECT_EQ(india.computer.name, "INDIA");
    EXPECT_EQ(india.computer.workgroup, "WSDGROUP");
    EXPECT_FALSE(found[host("127.0.0.19")].identified);
    EXPECT_EQ(found[host("127.0.0.20")].computer.name, "MIKE");
    EXPECT_EQ(found[host("127.0.0.20")].computer.workgroup, "GH");
    EXPECT_EQ(found.count(host("127.0.0.30")), 0u);
    // HUGE's, INDIA's and MIKE's metadata were asked for; LIAR pointed at
    // INDIA and was not followed.
    EXPECT_EQ(responder.gets(), 3);
    EXPECT_EQ(stats.fetched, 2);

    // No multicast interface carries the range: nothing is sent.
    ASSERT_TRUE(ns.setLoopbackMulticast(false));
    log.clear();
    const WsdSweepStats none = wsdSweep(
        {{host("127.0.0.10"), host("127.0.0.20")}}, options, [&](const WsdSweepHost&) { ADD_FAILURE(); },
        [&](const std::string& line) { log.push_back(line); });
    EXPECT_EQ(none.interfaces, 0);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0], "WS-Discovery: no multicast interface carries the scanned ranges");
}

} // namespace
} // namespace ormix
