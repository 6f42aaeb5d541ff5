// The ormix-cli scan and ranges contract, run as programs: ranges without a
// network, scan against nbt-responder inside a namespace of the test's own.
#include "fixtures/netns.h"
#include "fixtures/testlan.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace ormix {
namespace {

// Without root or samba these tests cannot run; under CI that is a failure,
// never a quiet skip.
#define SKIP_OR_FAIL(why)                                                                                    \
    do {                                                                                                     \
        const char* ci = std::getenv("CI");                                                                  \
        if (ci && std::string(ci) == "true")                                                                 \
            FAIL() << (why);                                                                                 \
        GTEST_SKIP() << (why);                                                                               \
    } while (0)

std::string binary(const char* name) {
    const char* dir = std::getenv("ORMIX_BIN_DIR");
    return std::string(dir ? dir : ".") + "/" + name;
}

TEST(CliRanges, OneLinePerTextThenTheTotal) {
    std::string out;
    ASSERT_EQ(testing::runCommand({binary("ormix-cli"), "ranges", "192.168.0.1-10", "no address", "10.0.0.7",
                                   "192.168.0.77/24", "0.0.0.0/0", "255.255.255.255"},
                                  &out),
              0);
    EXPECT_EQ(out, "192.168.0.1-192.168.0.10\n"
                   "rejected\n"
                   "10.0.0.7-10.0.0.7\n"
                   "192.168.0.0-192.168.0.255\n"
                   "0.0.0.0-255.255.255.255\n"
                   "rejected\n"
                   "total 4294967559\n");
}

TEST(CliScan, PrintsOneLinePerReportedHost) {
    const std::string why = testing::netnsUnavailableReason();
    if (!why.empty())
        GTEST_SKIP() << why;
    testing::NetNamespace ns("scan");
    std::string error;
    ASSERT_TRUE(ns.create(error)) << error;
    ASSERT_TRUE(ns.enter(error)) << error;
    int readyFd = -1;
    const pid_t responder =
        testing::spawnCommand({binary("nbt-responder"), "--host", "127.1.0.5", "--name", "WS,ONE",
                               "--workgroup", "ОФИС", "--mac", "00-0C-29-3A-4B-5C", "--repeat", "2", "--host",
                               "127.1.0.6", "--name", "SIX", "--host", "127.1.0.7", "--truncate", "3"},
                              &readyFd);
    ASSERT_GT(responder, 0);
    const bool ready = testing::waitForLine(readyFd, "ready", 5000);
    std::string out;
    // Every address answers, so each range ends with its last answer; the
    // time-out only bounds a broken run.
    const int rc = ready ? testing::runCommand({binary("ormix-cli"), "scan", "--timeout", "30", "127.1.0.5-7",
                                                "nonsense", "127.1.0.5"},
                                               &out)
                         : -1;
    testing::stopCommand(responder);
    close(readyFd);
    ASSERT_TRUE(ready);
    EXPECT_EQ(rc, 0);
    // 127.1.0.5 answers twice and is scanned twice: one line.
    EXPECT_EQ(out, "127.1.0.5\tWS,ONE\tОФИС\t00-0C-29-3A-4B-5C\n"
                   "127.1.0.6\tSIX\t\t00-00-00-00-00-00\n"
                   "127.1.0.7\t<unknown>\t\t\n");
}

TEST(CliScan, BadMethodsOrRetriesAreUsageErrors) {
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--methods", "wsd"},
                                                 {"--methods", "netbios,"},
                                                 {"--methods"},
                                                 {"--retries", "3"},
                                                 {"--retries", "-1"}}) {
        std::vector<std::string> argv = {binary("ormix-cli"), "scan"};
        argv.insert(argv.end(), args.begin(), args.end());
        argv.push_back("127.0.0.1");
        EXPECT_EQ(testing::runCommand(argv), 2) << args.front();
    }
}

// Node status and the SMB port over the test LAN: one line per computer with
// the methods that found it; GOLF runs Samba without NetBIOS, ECHO no SMB.
TEST(CliScan, MethodsColumnOverTheTestLan) {
    testing::TestLan lan("cliscan-" + std::to_string(::getpid()));
    const std::string why = lan.up();
    if (!why.empty())
        SKIP_OR_FAIL(why);
    std::string out;
    const int rc = testing::runCommand(lan.inLan({binary("ormix-cli"), "scan", "--timeout", "3", "--methods",
                                                  "netbios,smb", "--retries", "1", "127.0.0.10-16"}),
                                       &out);
    lan.down();
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(out, "127.0.0.11\tALPHA\tTESTLAN\t02-00-00-00-00-01\tnetbios,smb\n"
                   "127.0.0.12\tBRAVO\tTESTLAN\t02-00-00-00-00-02\tnetbios,smb\n"
                   "127.0.0.13\tCHARLIE\tOFFICE\t02-00-00-00-00-03\tnetbios,smb\n"
                   "127.0.0.14\tDELTA\tOFFICE\t02-00-00-00-00-04\tnetbios,smb\n"
                   "127.0.0.15\tECHO\tOFFICE\t02-00-00-00-00-05\tnetbios\n"
                   "127.0.0.16\tGOLF\t\t-\tsmb\n");
}

} // namespace
} // namespace ormix
