// The scanner against the nbt-responder fixture, each test inside a network
// namespace of its own (loopback only). Skipped without root. A range that
// expects answers ends when they are in (ScanOptions::rangeComplete), with a
// generous time-out behind it: a busy machine makes a test slower, not red.
#include "fixtures/nbt_responder.h"
#include "fixtures/netns.h"
#include "scan/scanner.h"
#include "settings/appsettings.h"
#include "settings/configfile.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <functional>
#include <mutex>
#include <sstream>

namespace ormix {
namespace {

using testing::NbtHost;
using testing::NbtResponder;

class Recorder : public ScanObserver {
public:
    void logLine(const std::string& line) override {
        std::lock_guard l(m);
        log.push_back(line);
    }
    void foundHost(const HostTexts& h) override {
        std::lock_guard l(m);
        hosts.push_back(h.ip + "|" + h.name + "|" + h.workgroup + "|" + h.mac);
    }
    void progressTotal(int64_t t) override {
        std::lock_guard l(m);
        total = t;
        ++totalCalls;
    }
    void progress(int64_t q) override {
        std::lock_guard l(m);
        progressCalls.push_back(q);
    }
    void fatalMessage(const std::string& text) override {
        std::lock_guard l(m);
        fatal.push_back(text);
    }
    void finished() override {
        std::lock_guard l(m);
        ++finishedCalls;
        cv.notify_all();
    }
    size_t hostCount() {
        std::lock_guard l(m);
        return hosts.size();
    }
    bool logged(const std::string& line) {
        std::lock_guard l(m);
        return std::find(log.begin(), log.end(), line) != log.end();
    }

    std::mutex m;
    std::condition_variable cv;
    std::vector<std::string> log, hosts, fatal;
    std::vector<int64_t> progressCalls;
    int64_t total = -1;
    int totalCalls = 0;
    int finishedCalls = 0;
};

uint32_t addr(const char* text) {
    return inet_addr(text);
}

NbtHost host(const char* address, std::vector<testing::NbtName> names = {{"PC"}}) {
    NbtHost h;
    h.address = addr(address);
    h.names = std::move(names);
    h.mac = {0x02, 0x00, 0x00, 0x00, 0x00, static_cast<uint8_t>(ntohl(h.address) & 0xFF)};
    return h;
}

TEST(ScanConfig, SelectTimeoutComesFromTheMainSection) {
    char path[] = "/tmp/ormix-scan-cfg-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    {
        const ConfigFile missing(std::string(path) + ".none");
        const SelectTimeout t = configuredSelectTimeout(missing);
        EXPECT_EQ(t.seconds, 4);
        EXPECT_EQ(t.microseconds, 10);
    }
    std::ofstream(path) << "[main]\nselect_timeout_sec=1\nselect_timeout_usec=250000\n";
    const SelectTimeout t = configuredSelectTimeout(ConfigFile(path));
    std::remove(path);
    EXPECT_EQ(t.seconds, 1);
    EXPECT_EQ(t.microseconds, 250000);
}

class ScannerTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string why = testing::netnsUnavailableReason();
        if (!why.empty())
            GTEST_SKIP() << why;
        std::string error;
        ASSERT_TRUE(ns_.create(error)) << error;
        ASSERT_TRUE(ns_.enter(error)) << error;
    }
    void TearDown() override {
        if (responder_)
            responder_->stop();
        responder_.reset();
        ns_.leave();
    }

    void serve(std::vector<NbtHost> hosts) {
        responder_ = std::make_unique<NbtResponder>(std::move(hosts));
        std::string error;
        ASSERT_TRUE(responder_->open(error)) << error;
        responder_->start();
    }

    // Whether range `range` (its position in the list) has all it waits for.
    using Done = std::function<bool(Recorder& rec, size_t range, size_t answered)>;

    // Each range ends once `done` holds, or at the time-out; without `done`
    // only the time-out ends it.
    std::shared_ptr<Recorder> scan(std::vector<std::string> ranges, Done done = {},
                                   int timeoutMs = kGenerousTimeoutMs) {
        auto rec = std::make_shared<Recorder>();
        ScanOptions o;
        o.ranges = std::make_shared<const std::vector<std::string>>(std::move(ranges));
        o.selectTimeout = [timeoutMs] { return SelectTimeout{timeoutMs / 1000, (timeoutMs % 1000) * 1000}; };
        if (done)
            o.rangeComplete = [rec = rec.get(), done](size_t range, size_t answered) {
                return done(*rec, range, answered);
            };
        Scanner scanner(o, rec);
        scanner.run();
        EXPECT_EQ(rec->finishedCalls, 1);
        return rec;
    }

    // Done once range i has answers from perRange[i] addresses.
    static Done answers(std::vector<size_t> perRange) {
        return
            [perRange](Recorder&, size_t range, size_t answered) { return answered >= perRange.at(range); };
    }

    static constexpr int kGenerousTimeoutMs = 30000;

    static std::vector<std::string> sorted(std::vector<std::string> v) {
        std::sort(v.begin(), v.end());
        return v;
    }

    testing::NetNamespace ns_{"scan"};
    std::unique_ptr<NbtResponder> responder_;
};

TEST_F(ScannerTest, EmptyRangeListOnlyBinds) {
    const auto rec = scan({});
    EXPECT_EQ(rec->log, (std::vector<std::string>{"Trying to bind port 2000", "Port 2000 is ok.."}));
    EXPECT_EQ(rec->total, 0);
    EXPECT_EQ(rec->totalCalls, 1);
    EXPECT_TRUE(rec->hosts.empty());
}

TEST_F(ScannerTest, PortInUseMovesToTheNextPort) {
    const int blocker = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(2000);
    ASSERT_EQ(bind(blocker, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
    const auto rec = scan({});
    close(blocker);
    EXPECT_EQ(rec->log, (std::vector<std::string>{
                            "Trying to bind port 2000", "Failed to bind (err: WSA ADDR INUSE )",
                            "Port port 2000 in use", "Trying to bind port 2001", "Port 2001 is ok.."}));
}

// Where the bind sequence ends for a given first port: each row is the first
// port and the log lines that follow.
TEST_F(ScannerTest, BindOutcomes) {
    const struct {
        int firstPort;
        std::vector<std::string> log;
    } rows[] = {
        {2100, {"Trying to bind port 2100", "Port 2100 is ok.."}},
        // No port above 65535: the number must not wrap to 0 (any free port).
        {65536,
         {"Trying to bind port 65536", "Failed to bind (err: WSA INVAL )",
          "Critical error: sock_prepare() failed!"}},
    };
    for (const auto& row : rows) {
        auto rec = std::make_shared<Recorder>();
        ScanOptions o;
        o.firstPort = row.firstPort;
        Scanner(o, rec).run();
        EXPECT_EQ(rec->log, row.log) << row.firstPort;
        EXPECT_EQ(rec->finishedCalls, 1);
    }
}

// The gauge's position: one final count per range even when the progress
// interval has not passed, and a single 0 when no range can be read.
TEST_F(ScannerTest, ProgressReportsPerRange) {
    serve({host("127.1.0.1"), host("127.1.0.10")});
    const struct {
        std::vector<std::string> ranges;
        std::vector<int64_t> progress;
    } rows[] = {
        {{"127.1.0.1-3", "127.1.0.10-11"}, {3, 5}},
        {{"host1", "1.2.3.4/33"}, {0}},
    };
    for (const auto& row : rows) {
        auto rec = std::make_shared<Recorder>();
        ScanOptions o;
        o.ranges = std::make_shared<const std::vector<std::string>>(row.ranges);
        o.selectTimeout = [] { return SelectTimeout{0, 200000}; };
        o.progressInterval = std::chrono::hours(1);
        Scanner(o, rec).run();
        // The very first query may be shown too, depending on the clock's epoch.
        auto calls = rec->progressCalls;
        if (calls.size() > row.progress.size() && calls.front() == 1)
            calls.erase(calls.begin());
        EXPECT_EQ(calls, row.progress) << row.ranges.front();
    }
}

TEST_F(ScannerTest, SilentAddressGetsOneQueryAndOneTimeout) {
    auto h = host("127.1.0.5");
    h.silent = true;
    serve({h});
    const auto started = std::chrono::steady_clock::now();
    const auto rec = scan({"127.1.0.5"}, {}, 300);
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(300));
    EXPECT_EQ(responder_->queriesReceived(addr("127.1.0.5")), 1);
    EXPECT_TRUE(rec->hosts.empty());
    EXPECT_EQ(rec->log.back(), "socket h cnt=0");
    EXPECT_EQ(rec->progressCalls.back(), 1);
}

TEST_F(ScannerTest, RejectedTextBetweenTwoGoodOnes) {
    serve({host("127.1.0.5", {{"FIVE"}}), host("127.1.0.6", {{"SIX"}})});
    const auto rec = scan({"127.1.0.5", "host1", "127.1.0.6"}, answers({1, 0, 1}));
    EXPECT_EQ(rec->log,
              (std::vector<std::string>{"Trying to bind port 2000", "Port 2000 is ok..", "socket h cnt=0",
                                        "not an IP address or address range: \"host1\"", "socket h cnt=0"}));
    EXPECT_EQ(rec->hosts, (std::vector<std::string>{"127.1.0.5|FIVE||02-00-00-00-00-05",
                                                    "127.1.0.6|SIX||02-00-00-00-00-06"}));
}

// A computer is reported once per scan: repeated answers and a second range
// that holds it again (each range still queries it) add nothing.
TEST_F(ScannerTest, RepeatedAnswersAndRepeatedRangesReportOnce) {
    auto h = host("127.1.0.5", {{"TWICE"}, {"GRP", 0, true}});
    h.repeat = 3;
    serve({h, host("127.1.0.200", {{"OTHER"}})});
    const auto rec = scan({"127.1.0.0/24", "127.1.0.5"}, answers({2, 1}));
    EXPECT_EQ(sorted(rec->hosts), (std::vector<std::string>{"127.1.0.200|OTHER||02-00-00-00-00-C8",
                                                            "127.1.0.5|TWICE|GRP|02-00-00-00-00-05"}));
    EXPECT_EQ(responder_->queriesReceived(addr("127.1.0.5")), 2);
    // The gauge: total 255 + 0, position ends exactly at the 257 queries sent,
    // and progress is coalesced rather than reported per query.
    EXPECT_EQ(rec->total, 255);
    ASSERT_FALSE(rec->progressCalls.empty());
    EXPECT_EQ(rec->progressCalls.back(), 257);
    EXPECT_LT(rec->progressCalls.size(), 257u);
    EXPECT_TRUE(std::is_sorted(rec->progressCalls.begin(), rec->progressCalls.end()));
}

// Ranges that overlap query the computers of the overlap twice; each is still
// one report, whichever range heard it first. Every address answers, so each
// range ends with its last answer rather than its time-out.
TEST_F(ScannerTest, OverlappingRangesReportEachComputerOnce) {
    std::vector<NbtHost> hosts;
    std::vector<std::string> expected;
    for (int i = 10; i <= 17; ++i) {
        const std::string address = "127.1.0." + std::to_string(i);
        hosts.push_back(host(address.c_str(), {{"PC" + std::to_string(i)}}));
        expected.push_back(address + "|PC" + std::to_string(i) + "||02-00-00-00-00-" + (i < 16 ? "0" : "1") +
                           "0123456789ABCDEF"[i % 16]);
    }
    serve(hosts);
    const auto started = std::chrono::steady_clock::now();
    const auto rec = scan({"127.1.0.10-15", "127.1.0.12-17"});
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(kGenerousTimeoutMs));
    EXPECT_EQ(sorted(rec->hosts), sorted(expected));
    EXPECT_EQ(responder_->queriesReceived(addr("127.1.0.13")), 2);
    EXPECT_EQ(responder_->queriesReceived(addr("127.1.0.17")), 1);
}

// Only a queried address of the range, answering with an id the scan sent, is
// a computer; everything else is counted and named in the log a few times.
TEST_F(ScannerTest, DatagramsThatAnswerNoQueryAreIgnored) {
    auto h = host("127.1.0.5");
    h.strays = {addr("127.1.0.99")};
    h.spoofFirst = addr("127.9.0.1");
    h.spoofCount = 60000;
    auto wrongId = host("127.1.0.6");
    wrongId.raw = buildNodeStatusAnswer(0xFFFF, wrongId);
    serve({h, wrongId});
    // Each range ends once what it must show has arrived.
    // 127.1.0.4 stays silent, so the second range waits for the stray too.
    const auto rec = scan({"127.1.0.6", "127.1.0.4-5"}, [](Recorder& r, size_t range, size_t) {
        return range == 0
                   ? r.logged("Ignored a datagram from 127.1.0.6 (unexpected transaction id)")
                   : r.hostCount() == 1 && r.logged("Ignored a datagram from 127.1.0.99 (not queried)");
    });
    EXPECT_EQ(rec->hosts, std::vector<std::string>{"127.1.0.5|PC||02-00-00-00-00-05"});
    EXPECT_NE(std::find(rec->log.begin(), rec->log.end(), "Ignored a datagram from 127.1.0.99 (not queried)"),
              rec->log.end());
    const auto summary = std::find_if(rec->log.begin(), rec->log.end(), [](const std::string& l) {
        return l.rfind("Ignored ", 0) == 0 && l.find(" datagrams ") != std::string::npos;
    });
    ASSERT_NE(summary, rec->log.end());
    // The log stays short however many arrive: the first of each kind, then a count.
    EXPECT_LE(std::count_if(rec->log.begin(), rec->log.end(),
                            [](const std::string& l) { return l.rfind("Ignored a datagram", 0) == 0; }),
              3);
    EXPECT_NE(std::find(rec->log.begin(), rec->log.end(),
                        "Ignored a datagram from 127.1.0.6 (unexpected transaction id)"),
              rec->log.end())
        << ::testing::PrintToString(rec->log);
}

// One answer every 100 ms must not hold the range open: the closing wait
// after the last query is bounded in total (the time-out plus at most 5 s
// for a slow round trip).
TEST_F(ScannerTest, TrickleDoesNotExtendTheClosingWait) {
    auto h = host("127.1.0.5");
    h.trickleMs = 100;
    serve({h});
    const auto started = std::chrono::steady_clock::now();
    const auto rec = scan({"127.1.0.5-6"}, {}, 2000); // .6 is silent: the wait runs its whole time
    const auto took = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(rec->hosts.size(), 1u);
    EXPECT_LT(took, std::chrono::seconds(20)); // was endless
    EXPECT_EQ(rec->log.back(), "socket h cnt=0");
}

// With a share of the queries lost, the retry passes ask again only the
// addresses that stayed silent, and never faster than the cap allows.
TEST_F(ScannerTest, RetriesRecoverLostAnswersWithinThePacketCap) {
    std::vector<NbtHost> hosts;
    for (int i = 0; i < 1000; ++i) {
        auto h = host(("127.4." + std::to_string(i / 250) + "." + std::to_string(i % 250 + 1)).c_str());
        h.dropPercent = 5;
        h.seed = 7;
        hosts.push_back(h);
    }
    serve(std::move(hosts));
    auto rec = std::make_shared<Recorder>();
    ScanOptions o;
    o.ranges = std::make_shared<const std::vector<std::string>>(std::vector<std::string>{"127.4.0.0/22"});
    o.selectTimeout = [] { return SelectTimeout{kGenerousTimeoutMs / 1000, 0}; };
    o.retries = 1;
    o.maxQueriesPerSecond = 2000;
    // Done when the responder has taken every query sent to its hosts and
    // each host it answered has been reported. The 24 addresses it does not
    // serve (.0 and .251-.255 of each /24) are asked in both passes.
    const int64_t kNotServed = 24;
    const Scanner* running = nullptr;
    o.rangeComplete = [&](size_t, size_t) {
        return responder_->totalQueries() ==
                   running->queriesSent() + running->retriesSent() - 2 * kNotServed &&
               rec->hostCount() == static_cast<size_t>(responder_->hostsAnswered());
    };
    Scanner scanner(o, rec);
    running = &scanner;
    scanner.run();
    EXPECT_GE(rec->hosts.size(), 995u);
    EXPECT_GT(responder_->queriesDropped(), 20);
    // The second pass asks only the silent ones, counted apart from the gauge.
    EXPECT_EQ(scanner.queriesSent(), 1024);
    EXPECT_LT(scanner.retriesSent(), 24 + 100);
    EXPECT_EQ(rec->progressCalls.back(), 1024);
    // No 250 ms holds more than the cap's share plus a small burst.
    const auto times = responder_->queryTimes();
    for (size_t i = 0, j = 0; i < times.size(); ++i) {
        while (times[i] - times[j] >= 250)
            ++j;
        ASSERT_LE(i - j + 1, 500u + 10u) << "at query " << i;
    }
}

TEST_F(ScannerTest, ShortAndMalformedAnswers) {
    std::vector<NbtHost> hosts;
    auto add = [&](const char* a, auto change) {
        NbtHost h = host(a, {{"NAME"}, {"ГРУППА", 0, true}});
        change(h);
        hosts.push_back(h);
    };
    add("127.1.0.1", [](NbtHost& h) { h.truncate = 1; });
    add("127.1.0.2", [](NbtHost& h) { h.truncate = 2; });
    add("127.1.0.3", [](NbtHost& h) { h.truncate = 57; });
    add("127.1.0.4", [](NbtHost& h) { h.truncate = 57 + 36; });
    add("127.1.0.5", [](NbtHost& h) { h.truncate = 63 + 36; }); // table, no statistics
    add("127.1.0.6", [](NbtHost& h) { h.truncate = 0; });       // an empty datagram
    add("127.1.0.7", [](NbtHost&) {});
    add("127.1.0.8", [](NbtHost& h) { // NUM_NAMES 255, far too short
        h.raw = buildNodeStatusAnswer(0, h);
        h.raw.resize(2048, 0xFF);
        h.raw[56] = 0xFF;
        h.rawTakesId = true;
    });
    serve(hosts);
    const auto rec = scan({"127.1.0.1-8"}, [](Recorder& r, size_t, size_t) {
        return r.hostCount() == 5 && r.logged("Recvfrom failed (127.1.0.6)");
    });
    // One or two bytes carry no transaction id: nothing shows they answer us.
    EXPECT_EQ(sorted(rec->hosts), (std::vector<std::string>{
                                      "127.1.0.3|<unknown>||",
                                      "127.1.0.4|<unknown>||",
                                      "127.1.0.5|NAME|ГРУППА|",
                                      "127.1.0.7|NAME|ГРУППА|02-00-00-00-00-07",
                                      "127.1.0.8|<unknown>||",
                                  }));
    EXPECT_NE(std::find(rec->log.begin(), rec->log.end(), "Recvfrom failed (127.1.0.6)"), rec->log.end());
    EXPECT_EQ(rec->progressCalls.back(), 8);
}

TEST_F(ScannerTest, QueryOnTheWireCarriesElapsedMilliseconds) {
    const int peer = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(137);
    sa.sin_addr.s_addr = addr("127.3.0.1");
    ASSERT_EQ(bind(peer, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
    const int sender = socket(AF_INET, SOCK_DGRAM, 0);
    const ClockReading start = readClock();
    ASSERT_EQ(sendStatusQuery(sender, addr("127.3.0.1"), start.seconds), 0);
    const ClockReading after = readClock();
    uint8_t buf[100];
    const ssize_t n = recv(peer, buf, sizeof buf, 0);
    close(peer);
    close(sender);
    ASSERT_EQ(n, 50);
    const auto expected = buildStatusQuery(0);
    EXPECT_TRUE(std::equal(buf + 2, buf + 50, expected.begin() + 2));
    const uint16_t id = static_cast<uint16_t>(buf[0] << 8 | buf[1]);
    EXPECT_GE(id, transactionId(start, start.seconds));
    EXPECT_LE(id, transactionId(after, start.seconds));
}

TEST_F(ScannerTest, RunsOnItsOwnThreadAndSignalsTheEnd) {
    serve({host("127.1.0.5", {{"THREADED"}})});
    auto rec = std::make_shared<Recorder>();
    ScanOptions o;
    o.ranges = std::make_shared<const std::vector<std::string>>(std::vector<std::string>{"127.1.0.5"});
    o.selectTimeout = [] { return SelectTimeout{kGenerousTimeoutMs / 1000, 0}; };
    o.rangeComplete = [](size_t, size_t answered) { return answered == 1; };
    std::make_shared<Scanner>(o, rec)->start();
    std::unique_lock l(rec->m);
    ASSERT_TRUE(rec->cv.wait_for(l, std::chrono::seconds(60), [&] { return rec->finishedCalls == 1; }));
    EXPECT_EQ(rec->hosts, std::vector<std::string>{"127.1.0.5|THREADED||02-00-00-00-00-05"});
}

// Two thousand neighbours answer in bursts far larger than the kernel's default
// UDP queue; none of them may be lost.
TEST_F(ScannerTest, BurstOfTwoThousandAnswersIsReportedWhole) {
    std::vector<NbtHost> hosts;
    for (int i = 0; i < 2000; ++i)
        hosts.push_back(host(("127.2." + std::to_string(i / 250) + "." + std::to_string(i % 250 + 1)).c_str(),
                             {{"H" + std::to_string(i)}}));
    serve(std::move(hosts));
    const auto rec = scan({"127.2.0.0/21"}, answers({2000}));
    EXPECT_EQ(rec->hosts.size(), 2000u);
}

} // namespace
} // namespace ormix
