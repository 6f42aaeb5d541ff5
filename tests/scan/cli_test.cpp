// The ormix-cli scan and ranges contract, run as programs: ranges without a
// network, scan against nbt-responder inside a namespace of the test's own,
// and against the test LAN.
#include "fixtures/netns.h"
#include "fixtures/required.h"
#include "fixtures/testlan.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace ormix {
namespace {

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
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--methods", "wins"},
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
        ORMIX_SKIP_OR_FAIL(why);
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

// All three methods over the whole demo range: INDIA (Samba without NetBIOS,
// announced by WS-Discovery) comes with the workgroup only its metadata
// gives; asked by WS-Discovery alone it is found all the same, and its
// shares and files are there for the share listing and the search.
TEST(CliScan, WsDiscoveryHostOfTheTestLan) {
    testing::TestLan lan("cliwsd-" + std::to_string(::getpid()));
    const std::string why = lan.up();
    if (!why.empty())
        ORMIX_SKIP_OR_FAIL(why);
    std::string all, wsdOnly, shares, files;
    const int rcAll = testing::runCommand(lan.inLan({binary("ormix-cli"), "scan", "--timeout", "0.5",
                                                     "--methods", "netbios,smb,wsd", "127.0.0.10-18"}),
                                          &all);
    const int rcWsd = testing::runCommand(
        lan.inLan({binary("ormix-cli"), "scan", "--timeout", "0.5", "--methods", "wsd", "127.0.0.10-18"}),
        &wsdOnly);
    const int rcShares =
        testing::runCommand(lan.inLan({binary("ormix-cli"), "shares", "127.0.0.18"}), &shares);
    const int rcSearch = testing::runCommand(
        lan.inLan({binary("ormix-cli"), "search", "india-*", "\\\\127.0.0.18\\Projects<>INDIA"}), &files);
    lan.down();
    EXPECT_EQ(rcAll, 0);
    EXPECT_EQ(all, "127.0.0.11\tALPHA\tTESTLAN\t02-00-00-00-00-01\tnetbios,smb\n"
                   "127.0.0.12\tBRAVO\tTESTLAN\t02-00-00-00-00-02\tnetbios,smb\n"
                   "127.0.0.13\tCHARLIE\tOFFICE\t02-00-00-00-00-03\tnetbios,smb\n"
                   "127.0.0.14\tDELTA\tOFFICE\t02-00-00-00-00-04\tnetbios,smb\n"
                   "127.0.0.15\tECHO\tOFFICE\t02-00-00-00-00-05\tnetbios\n"
                   "127.0.0.16\tGOLF\t\t-\tsmb\n"
                   "127.0.0.17\tHOTEL\tOFFICE\t02-00-00-00-00-06\tnetbios,smb\n"
                   "127.0.0.18\tINDIA\tWSDGROUP\t-\tsmb,wsd\n");
    EXPECT_EQ(rcWsd, 0);
    EXPECT_EQ(wsdOnly, "127.0.0.18\tINDIA\tWSDGROUP\t-\twsd\n");
    EXPECT_EQ(rcShares, 0);
    EXPECT_NE(shares.find("\\\\127.0.0.18\\Projects\tProjects of INDIA\n"), std::string::npos) << shares;
    EXPECT_NE(shares.find("\\\\127.0.0.18\\Media\tMedia\n"), std::string::npos) << shares;
    EXPECT_EQ(rcSearch, 0);
    EXPECT_NE(files.find("india-plan.txt"), std::string::npos) << files;
    EXPECT_NE(files.find("india-q2.txt"), std::string::npos) << files;
}

} // namespace
} // namespace ormix
