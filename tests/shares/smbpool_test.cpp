// The helper pool against the real ormix-smb, driven by its scripted test
// hosts (no network): helpers that crash, stall, garble or quit in the middle
// of a job cost that job (status 59) and are replaced; the pool goes on.
#include "shares/smbpool.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

using namespace ormix;
using namespace std::chrono_literals;

namespace {

std::string helperPath() {
    const char* bin = std::getenv("ORMIX_BIN_DIR");
    return std::string(bin ? bin : ".") + "/ormix-smb";
}

SmbPoolOptions testOptions(std::chrono::milliseconds jobTimeout = 10s) {
    SmbPoolOptions o;
    o.helperPath = helperPath();
    o.jobTimeout = jobTimeout;
    o.extraEnv = {"ORMIX_SMB_TEST_HOSTS=1"};
    return o;
}

// Waits until the process has ended (not reaped: that stays the pool's job).
bool waitForExit(pid_t pid, std::chrono::milliseconds limit) {
    const int fd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (fd < 0)
        return false;
    pollfd p{fd, POLLIN, 0};
    const bool ended = poll(&p, 1, static_cast<int>(limit.count())) == 1;
    close(fd);
    return ended;
}

} // namespace

TEST(SmbPool, ListsAndReusesOneHelper) {
    SmbHelperPool pool(testOptions());
    for (int round = 0; round < 3; ++round) {
        const ShareListing l = pool.listShares("test-shares-150");
        ASSERT_EQ(l.status, 0);
        ASSERT_EQ(l.shares.size(), 150u);
        EXPECT_EQ(l.shares.front().name, "S1");
        EXPECT_EQ(l.shares.back().name, "S150");
        EXPECT_EQ(l.shares.back().comment, "comment\t150\n");
    }
    EXPECT_EQ(pool.helpersStarted(), 1);
    EXPECT_EQ(pool.idleHelpers(), 1u);
}

TEST(SmbPool, BrokenHelperCostsOnlyItsJob) {
    const struct {
        const char* host;
        std::chrono::milliseconds limit;
    } cases[] = {
        {"test-crash", 10s},   // killed in the middle of its answer
        {"test-garbage", 10s}, // a frame length no helper may send
        {"test-exit", 10s},    // ends its output without an End frame
        {"test-stall", 700ms}, // overruns the job's time limit
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.host);
        SmbHelperPool pool(testOptions(c.limit));
        const auto t0 = std::chrono::steady_clock::now();
        const ShareListing bad = pool.listShares(c.host);
        EXPECT_EQ(bad.status, 59);
        EXPECT_LT(std::chrono::steady_clock::now() - t0, c.limit + 2s);
        EXPECT_EQ(pool.helpersReplaced(), 1);
        EXPECT_EQ(pool.idleHelpers(), 0u);

        const ShareListing next = pool.listShares("test-shares-2");
        EXPECT_EQ(next.status, 0);
        EXPECT_EQ(next.shares.size(), 2u);
        EXPECT_EQ(pool.helpersStarted(), 2);
    }
}

TEST(SmbPool, HelperKilledWhileIdleIsReplaced) {
    SmbHelperPool pool(testOptions());
    pid_t pid;
    {
        auto lease = pool.acquire();
        ASSERT_TRUE(lease);
        pid = lease.pid();
    }
    ASSERT_EQ(pool.idleHelpers(), 1u);
    ASSERT_EQ(::kill(pid, SIGKILL), 0);
    ASSERT_TRUE(waitForExit(pid, 30s));
    const ShareListing l = pool.listShares("test-shares-1");
    EXPECT_EQ(l.status, 0);
    EXPECT_EQ(pool.helpersStarted(), 2);
}

TEST(SmbPool, HelperKilledMidJobFromOutside) {
    SmbHelperPool pool(testOptions());
    auto lease = pool.acquire();
    ASSERT_TRUE(lease);
    ASSERT_TRUE(
        lease.send(smbproto::FrameWriter(smbproto::Kind::ListShares).text("test-stall").auth({}).finish()));
    std::string body;
    ASSERT_EQ(lease.read(body, std::chrono::steady_clock::now() + 5s), SmbHelperPool::Lease::Read::Frame);
    ::kill(lease.pid(), SIGKILL);
    EXPECT_EQ(lease.read(body, std::chrono::steady_clock::now() + 5s), SmbHelperPool::Lease::Read::Failed);
    lease = {};
    EXPECT_EQ(pool.helpersReplaced(), 1);
    EXPECT_EQ(pool.listShares("test-shares-3").shares.size(), 3u);
}

TEST(SmbPool, MissingHelperIsStatus59) {
    SmbPoolOptions o = testOptions();
    o.helperPath = "/nonexistent/ormix-smb";
    SmbHelperPool pool(o);
    EXPECT_EQ(pool.listShares("test-shares-1").status, 59);
}

TEST(SmbPool, ManyThreadsShareThePool) {
    SmbHelperPool pool(testOptions());
    std::vector<std::thread> threads;
    std::atomic<int> good{0};
    for (int t = 0; t < 6; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 10; ++i) {
                const int n = 1 + (t * 10 + i) % 7;
                const ShareListing l =
                    pool.listShares(i == 5 && t == 2 ? "test-crash" : "test-shares-" + std::to_string(n));
                if (l.status == 0 && l.shares.size() == static_cast<size_t>(n))
                    ++good;
            }
        });
    }
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(good.load(), 59);
    EXPECT_LE(pool.helpersStarted(), 7);
    EXPECT_EQ(pool.helpersReplaced(), 1);
}

TEST(SmbPool, PrestartedHelpersServeTheFirstJobs) {
    SmbHelperPool pool(testOptions());
    pool.prestart(3);
    pool.prestart(3); // while the first round runs: no second one
    for (int i = 0; i < 200 && pool.idleHelpers() < 3; ++i)
        std::this_thread::sleep_for(20ms);
    ASSERT_EQ(pool.idleHelpers(), 3u);
    EXPECT_EQ(pool.listShares("test-shares-4").shares.size(), 4u);
    EXPECT_EQ(pool.helpersStarted(), 3);
}

// At quit the pool kills the helpers its workers wait on, so the workers end
// and can be joined; nothing is lent or started afterwards.
TEST(SmbPool, ShutdownEndsJobsBlockedOnTheirHelpers) {
    SmbHelperPool pool(testOptions(60s));
    {
        auto idle = pool.acquire(); // one helper left idle, to be ended too
        ASSERT_TRUE(idle);
    }
    std::vector<std::thread> workers;
    std::atomic<int> failed{0};
    for (int i = 0; i < 3; ++i)
        workers.emplace_back([&] {
            if (pool.listShares("test-stall").status == 59)
                ++failed;
        });
    while (pool.helpersStarted() < 3) // the idle one serves one of the jobs
        std::this_thread::sleep_for(10ms);
    std::this_thread::sleep_for(100ms); // the jobs are sent and stalled
    const auto t0 = std::chrono::steady_clock::now();
    pool.shutdown();
    for (auto& t : workers)
        t.join();
    const auto took = std::chrono::steady_clock::now() - t0;
    std::printf("shutdown with 3 stalled jobs joined after %lld ms\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));
    EXPECT_EQ(failed.load(), 3);
    EXPECT_LT(took, 30s); // far below the 60 s job limit the jobs would otherwise wait for
    EXPECT_EQ(pool.idleHelpers(), 0u);
    EXPECT_FALSE(pool.acquire());
    EXPECT_EQ(pool.listShares("test-shares-1").status, 59);
    pool.prestart(2);
    EXPECT_EQ(pool.idleHelpers(), 0u);
    EXPECT_EQ(pool.helpersStarted(), 3);
}
