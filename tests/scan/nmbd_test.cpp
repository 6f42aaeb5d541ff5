// The scanner against a real NetBIOS name server: Samba's nmbd, started in a
// network namespace of the test's own with a generated configuration, and
// compared with what nmblookup -A reads from the same server. Skipped without
// root or without Samba.
#include "fixtures/netns.h"
#include "scan/scanner.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

namespace ormix {
namespace {

namespace fs = std::filesystem;

constexpr const char* kNmbd = "/usr/sbin/nmbd";
constexpr const char* kNmblookup = "/usr/bin/nmblookup";
constexpr const char* kPeer = "127.5.0.1";

class Collector : public ScanObserver {
public:
    void logLine(const std::string&) override {}
    void foundHost(const HostTexts& h) override { hosts.push_back(h); }
    void progressTotal(int64_t) override {}
    void progress(int64_t) override {}
    void fatalMessage(const std::string&) override {}
    void finished() override {}
    std::vector<HostTexts> hosts;
};

// What nmblookup -A shows: the first unique <00> name, the last group <00>
// name, and the MAC address line.
struct Lookup {
    std::string name, workgroup, mac;
};

Lookup parseLookup(const std::string& out) {
    Lookup l;
    std::istringstream in(out);
    std::string line;
    const std::regex entry(R"(^\s+(.*?)\s+<([0-9a-f]{2})> - (<GROUP> )?)");
    const std::regex macLine(R"(MAC Address = ([0-9A-F-]{17}))");
    std::smatch m;
    while (std::getline(in, line)) {
        if (std::regex_search(line, m, entry) && m[2] == "00") {
            if (m[3].matched)
                l.workgroup = m[1];
            else if (l.name.empty())
                l.name = m[1];
        } else if (std::regex_search(line, m, macLine)) {
            l.mac = m[1];
        }
    }
    return l;
}

class NmbdPeer {
public:
    ~NmbdPeer() {
        testing::stopCommand(pid_);
        if (!dir_.empty())
            fs::remove_all(dir_);
    }

    bool start(const std::string& netbiosName, const std::string& workgroup, std::string& error) {
        char tmpl[] = "/tmp/ormix-scan-nmbd-XXXXXX";
        if (!mkdtemp(tmpl)) {
            error = "mkdtemp failed";
            return false;
        }
        dir_ = tmpl;
        for (const char* sub : {"lock", "state", "cache", "private", "pid", "ncalrpc", "log"})
            fs::create_directory(dir_ / sub);
        conf_ = (dir_ / "smb.conf").string();
        std::ofstream conf(conf_);
        conf << "[global]\n"
             << "netbios name = " << netbiosName << "\n"
             << "workgroup = " << workgroup << "\n"
             << "dos charset = CP866\nunix charset = UTF-8\n"
             << "interfaces = " << kPeer << "/8\nbind interfaces only = yes\n";
        for (const char* key : {"lock", "state", "cache", "pid", "ncalrpc"})
            conf << key << " directory = " << (dir_ / key).string() << "\n";
        conf << "private dir = " << (dir_ / "private").string() << "\n"
             << "log file = " << (dir_ / "log" / "nmbd.log").string() << "\n";
        conf.close();
        pid_ = testing::spawnCommand({kNmbd, "-F", "--no-process-group", "-s", conf_, "-d", "0"});
        if (pid_ < 0) {
            error = "cannot start nmbd";
            return false;
        }
        // nmbd registers its names a moment after it starts.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (std::chrono::steady_clock::now() < deadline) {
            lookupOutput_.clear();
            testing::runCommand({kNmblookup, "-s", conf_, "-A", kPeer}, &lookupOutput_);
            if (lookupOutput_.find("<00>") != std::string::npos)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
        }
        error = "nmbd did not answer nmblookup: " + lookupOutput_;
        return false;
    }

    const std::string& lookupOutput() const { return lookupOutput_; }

private:
    fs::path dir_;
    std::string conf_;
    pid_t pid_ = -1;
    std::string lookupOutput_;
};

TEST(NmbdPeerTest, ScannerReadsWhatNmblookupReads) {
    const std::string why = testing::netnsUnavailableReason();
    if (!why.empty())
        GTEST_SKIP() << why;
    if (access(kNmbd, X_OK) != 0 || access(kNmblookup, X_OK) != 0)
        GTEST_SKIP() << "needs Samba's nmbd and nmblookup (Debian packages samba, smbclient)";

    struct Case {
        const char* name;
        const char* workgroup;
    } cases[] = {{"ORMIXPEER", "TESTGRP"}, {"ORMIX-PC2", "ОТДЕЛ"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.workgroup);
        testing::NetNamespace ns("scan");
        std::string error;
        ASSERT_TRUE(ns.create(error)) << error;
        ASSERT_TRUE(ns.enter(error)) << error;
        ASSERT_TRUE(ns.addLoopbackAddress(std::string(kPeer) + "/8"));
        NmbdPeer peer;
        ASSERT_TRUE(peer.start(c.name, c.workgroup, error)) << error;

        auto collector = std::make_shared<Collector>();
        ScanOptions o;
        o.ranges = std::make_shared<const std::vector<std::string>>(std::vector<std::string>{kPeer});
        // Ends with nmbd's answer; the time-out only bounds a broken peer.
        o.selectTimeout = [] { return SelectTimeout{30, 0}; };
        o.rangeComplete = [](size_t, size_t answered) { return answered == 1; };
        Scanner(o, collector).run();

        ASSERT_EQ(collector->hosts.size(), 1u);
        const HostTexts& h = collector->hosts[0];
        const Lookup l = parseLookup(peer.lookupOutput());
        EXPECT_EQ(h.ip, kPeer);
        EXPECT_EQ(h.name, c.name);
        EXPECT_EQ(h.name, l.name);
        EXPECT_EQ(h.mac, l.mac);
        // nmblookup writes non-ASCII as dots; the scanner decodes the OEM page.
        EXPECT_EQ(h.workgroup, c.workgroup);
        if (std::string(c.workgroup) == "TESTGRP") {
            EXPECT_EQ(h.workgroup, l.workgroup);
        }
        ns.leave();
    }
}

} // namespace
} // namespace ormix
