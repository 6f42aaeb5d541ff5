// ormix-cli scan --format against nbt-responder in a namespace of the test's
// own: names with tabs, line breaks, escape sequences and formula starts stay
// inside their field in every format.
#include "fixtures/netns.h"
#include "fixtures/required.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace ormix {
namespace {

std::string binary(const char* name) {
    const char* dir = std::getenv("ORMIX_BIN_DIR");
    return std::string(dir ? dir : ".") + "/" + name;
}

TEST(CliFormat, HostileNetbiosNamesStayInTheirField) {
    const std::string why = testing::netnsUnavailableReason();
    if (!why.empty())
        ORMIX_SKIP_OR_FAIL(why);
    testing::NetNamespace ns("export");
    std::string error;
    ASSERT_TRUE(ns.create(error)) << error;
    ASSERT_TRUE(ns.enter(error)) << error;
    int readyFd = -1;
    const pid_t responder = testing::spawnCommand(
        {binary("nbt-responder"), "--host", "127.1.0.5", "--name", "X\tY\nZ\x1b[2J", "--workgroup", "=1+2",
         "--mac", "00-0C-29-3A-4B-5C", "--host", "127.1.0.6", "--name", "A,\"B\"", "--workgroup", "\\W"},
        &readyFd);
    ASSERT_GT(responder, 0);
    const bool ready = testing::waitForLine(readyFd, "ready", 5000);
    std::string tsv, csv, json, bad;
    int rc[4] = {-1, -1, -1, -1};
    if (ready) {
        // Both addresses answer, so a scan ends with the second answer.
        const auto scan = [](const char* format, std::string* out) {
            return testing::runCommand(
                {binary("ormix-cli"), "scan", "--timeout", "30", "--format", format, "127.1.0.5-6"}, out);
        };
        rc[0] = scan("tsv", &tsv);
        rc[1] = scan("csv", &csv);
        rc[2] = scan("json", &json);
        rc[3] = scan("xml", &bad);
    }
    testing::stopCommand(responder);
    close(readyFd);
    ASSERT_TRUE(ready);
    EXPECT_EQ(rc[0], 0);
    EXPECT_EQ(tsv, "127.1.0.5\tX\\tY\\nZ\\x1B[2J\t=1+2\t00-0C-29-3A-4B-5C\n"
                   "127.1.0.6\tA,\"B\"\t\\\\W\t00-00-00-00-00-00\n");
    EXPECT_EQ(rc[1], 0);
    EXPECT_EQ(csv, "ip,name,workgroup,mac\r\n"
                   "127.1.0.5,\"X\tY\nZ\x1b[2J\",'=1+2,00-0C-29-3A-4B-5C\r\n"
                   "127.1.0.6,\"A,\"\"B\"\"\",\\W,00-00-00-00-00-00\r\n");
    EXPECT_EQ(rc[2], 0);
    EXPECT_EQ(json, "{\"ip\":\"127.1.0.5\",\"name\":\"X\\tY\\nZ\\u001B[2J\",\"workgroup\":\"=1+2\","
                    "\"mac\":\"00-0C-29-3A-4B-5C\"}\n"
                    "{\"ip\":\"127.1.0.6\",\"name\":\"A,\\\"B\\\"\",\"workgroup\":\"\\\\W\","
                    "\"mac\":\"00-00-00-00-00-00\"}\n");
    EXPECT_EQ(rc[3], 2);
    EXPECT_EQ(bad, "");
}

} // namespace
} // namespace ormix
