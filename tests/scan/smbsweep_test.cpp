// The TCP 445 sweep against scripted servers in a namespace of its own
// (replies recorded from smbd, silence, lies) and against the test LAN's real
// smbd hosts.
#include "fixtures/files.h"
#include "fixtures/netns.h"
#include "fixtures/required.h"
#include "fixtures/testlan.h"
#include "scan/smbsweep.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <map>
#include <memory>
#include <thread>

namespace ormix {
namespace {

std::vector<uint8_t> recorded(const std::string& name) {
    const std::string bytes = testing::readFile(testing::sourceDir() + "/tests/scan/smb/" + name);
    return {bytes.begin(), bytes.end()};
}

std::vector<uint8_t> framed(const std::vector<uint8_t>& m) {
    std::vector<uint8_t> out(4 + m.size());
    out[2] = static_cast<uint8_t>(m.size() >> 8);
    out[3] = static_cast<uint8_t>(m.size());
    std::copy(m.begin(), m.end(), out.begin() + 4);
    return out;
}

// One listener on ADDR:445 that answers each request of a connection with the
// next scripted reply (an empty reply: say nothing; a missing one: close).
class ScriptedServer {
public:
    ScriptedServer(const char* address, std::vector<std::vector<uint8_t>> replies)
        : replies_(std::move(replies)) {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(445);
        sa.sin_addr.s_addr = inet_addr(address);
        const int one = 1;
        setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        ok_ = bind(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0 && listen(fd_, 16) == 0;
        thread_ = std::thread([this] { serve(); });
    }
    ~ScriptedServer() {
        stop_ = true;
        thread_.join();
        close(fd_);
    }
    bool ok() const { return ok_; }

private:
    void serve() {
        while (!stop_) {
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0)
                continue;
            const int c = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (c < 0)
                continue;
            uint8_t buf[4096];
            for (const auto& reply : replies_) {
                pollfd q{c, POLLIN, 0};
                if (poll(&q, 1, 2000) <= 0 || recv(c, buf, sizeof buf, 0) <= 0)
                    break;
                if (reply.empty()) { // hold the line until the client gives up
                    while (!stop_ && poll(&q, 1, 50) == 0) {
                    }
                    break;
                }
                send(c, reply.data(), reply.size(), MSG_NOSIGNAL);
            }
            close(c);
        }
    }

    int fd_ = -1;
    bool ok_ = false;
    std::atomic<bool> stop_{false};
    std::vector<std::vector<uint8_t>> replies_;
    std::thread thread_;
};

using Replies = std::vector<std::vector<uint8_t>>;

std::string describe(const SmbSweepHost& h) {
    char ip[INET_ADDRSTRLEN];
    in_addr a{};
    a.s_addr = h.address;
    inet_ntop(AF_INET, &a, ip, sizeof ip);
    return std::string(ip) + "|" +
           (h.identified ? h.identity.netbiosComputer + "|" + h.identity.netbiosDomain : "-");
}

TEST(SmbSweep, ScriptedServersAndTheInFlightCap) {
    const std::string why = testing::netnsUnavailableReason();
    if (!why.empty())
        ORMIX_SKIP_OR_FAIL(why);
    testing::NetNamespace ns("smbsweep");
    std::string error;
    ASSERT_TRUE(ns.create(error)) << error;
    ASSERT_TRUE(ns.enter(error)) << error;
    const auto negotiate = framed(recorded("golf.negotiate"));
    const auto session = framed(recorded("golf.session"));
    std::vector<std::unique_ptr<ScriptedServer>> servers;
    servers.push_back(std::make_unique<ScriptedServer>("127.5.0.1", Replies{negotiate, session}));
    servers.push_back(std::make_unique<ScriptedServer>("127.5.0.2", Replies{{}}));
    servers.push_back(std::make_unique<ScriptedServer>(
        "127.5.0.3", Replies{{0x00, 0xFF, 0xFF, 0xFF, 0xFE, 'S', 'M', 'B'}}));
    servers.push_back(std::make_unique<ScriptedServer>("127.5.0.4", Replies{negotiate}));
    servers.push_back(std::make_unique<ScriptedServer>("127.5.3.200", Replies{negotiate, session}));
    for (const auto& s : servers)
        ASSERT_TRUE(s->ok());

    SmbSweepOptions o;
    o.maxInFlight = 32;
    o.connectTimeout = std::chrono::milliseconds(300);
    o.exchangeTimeout = std::chrono::milliseconds(300);
    std::vector<std::string> found;
    AddressRange range{ntohl(inet_addr("127.5.0.0")), ntohl(inet_addr("127.5.3.255"))};
    const SmbSweepStats stats =
        smbSweep(range, o, [&](const SmbSweepHost& h) { found.push_back(describe(h)); });
    servers.clear();
    ns.leave();
    std::sort(found.begin(), found.end());
    // Silent (.2) and lying (.3) listeners are no servers; .4 spoke SMB2 but
    // closed before naming itself.
    EXPECT_EQ(found,
              (std::vector<std::string>{"127.5.0.1|GOLF|GOLF", "127.5.0.4|-", "127.5.3.200|GOLF|GOLF"}));
    EXPECT_EQ(stats.attempted, 1024);
    EXPECT_EQ(stats.accepted, 5);
    EXPECT_LE(stats.peakInFlight, 32);
    EXPECT_GT(stats.peakInFlight, 1);
}

// The real smbd hosts of the test LAN, NetBIOS or not, name themselves; the
// host without an SMB server (ECHO, 127.0.0.15) is not found.
TEST(SmbSweep, FindsTheTestLansSambaHosts) {
    testing::TestLan lan("smbsweep-" + std::to_string(::getpid()));
    const std::string why = lan.upAndEnter();
    if (!why.empty())
        ORMIX_SKIP_OR_FAIL(why);
    std::vector<std::string> found;
    smbSweep(AddressRange{ntohl(inet_addr("127.0.0.10")), ntohl(inet_addr("127.0.0.20"))}, SmbSweepOptions{},
             [&](const SmbSweepHost& h) { found.push_back(describe(h)); });
    lan.down();
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (std::vector<std::string>{"127.0.0.11|ALPHA|ALPHA", "127.0.0.12|BRAVO|BRAVO",
                                               "127.0.0.13|CHARLIE|CHARLIE", "127.0.0.14|DELTA|DELTA",
                                               "127.0.0.16|GOLF|GOLF", "127.0.0.17|HOTEL|HOTEL",
                                               "127.0.0.18|INDIA|INDIA"}));
}

} // namespace
} // namespace ormix
