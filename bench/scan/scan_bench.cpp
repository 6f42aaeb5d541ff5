// scan-bench: wall time, CPU time, peak memory and hosts found of
// `ormix-cli scan` and of nbtscan over the same loopback ranges, inside a
// network namespace made for the run, with nbt-responder answering for 1,000
// addresses of 127.1.0.0/16. Prints a Markdown table of medians.
// With --loss the responder ignores 5 % of the queries at random (seeded),
// and the table compares ormix-cli with and without its retry pass against
// nbtscan with and without its own retransmission.
//
// usage: scan-bench [--runs N] [--loss]     (root; nbtscan installed)
#include "fixtures/netns.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct Measure {
    double wall = 0, cpu = 0;
    long peakKb = 0;
    int hosts = 0;
};

std::string binDir(const char* argv0) {
    std::string p = argv0;
    const auto slash = p.rfind('/');
    return slash == std::string::npos ? "." : p.substr(0, slash);
}

// Runs argv, counts the standard output lines that start with "127.", and
// takes the child's resource use from wait4.
Measure runOnce(const std::vector<std::string>& argv) {
    int outFd = -1;
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ormix::testing::spawnCommand(argv, &outFd);
    if (pid < 0) {
        std::fprintf(stderr, "cannot start %s\n", argv[0].c_str());
        return {};
    }
    std::string out;
    char buf[65536];
    ssize_t n;
    while ((n = read(outFd, buf, sizeof buf)) > 0)
        out.append(buf, static_cast<size_t>(n));
    close(outFd);
    int status = 0;
    rusage ru{};
    wait4(pid, &status, 0, &ru);
    Measure m;
    m.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    m.cpu = ru.ru_utime.tv_sec + ru.ru_utime.tv_usec / 1e6 + ru.ru_stime.tv_sec + ru.ru_stime.tv_usec / 1e6;
    m.peakKb = ru.ru_maxrss;
    for (size_t pos = 0; pos < out.size();) {
        if (out.compare(pos, 4, "127.") == 0)
            ++m.hosts;
        const auto eol = out.find('\n', pos);
        if (eol == std::string::npos)
            break;
        pos = eol + 1;
    }
    return m;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

Measure medianOf(const std::vector<Measure>& runs) {
    std::vector<double> wall, cpu, peak, hosts;
    for (const auto& r : runs) {
        wall.push_back(r.wall);
        cpu.push_back(r.cpu);
        peak.push_back(static_cast<double>(r.peakKb));
        hosts.push_back(r.hosts);
    }
    return {median(wall), median(cpu), static_cast<long>(median(peak)), static_cast<int>(median(hosts))};
}

bool writeResponderConfig(const std::string& path, bool loss) {
    std::ofstream f(path);
    for (int i = 0; i < 1000; ++i) {
        const int a = 1 + i * 65; // every 65th address of 127.1.0.0/16
        char block[160];
        std::snprintf(block, sizeof block,
                      "host 127.1.%d.%d\nname HOST-%04d\nworkgroup BENCH\nmac 02-00-00-00-%02X-%02X\n",
                      a / 256, a % 256, i, a / 256, a % 256);
        f << block;
        if (loss)
            f << "drop 5\nseed " << i << "\n";
    }
    return static_cast<bool>(f);
}

} // namespace

int main(int argc, char** argv) {
    int runs = 3;
    bool loss = false;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--runs" && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else if (std::string(argv[i]) == "--loss")
            loss = true;
    }
    const std::string why = ormix::testing::netnsUnavailableReason();
    if (!why.empty()) {
        std::fprintf(stderr, "scan-bench %s\n", why.c_str());
        return 1;
    }
    const std::string bin = binDir(argv[0]);
    const char* nbtscan = "/usr/bin/nbtscan";
    const bool haveNbtscan = access(nbtscan, X_OK) == 0;

    ormix::testing::NetNamespace ns("scanbench");
    std::string error;
    if (!ns.create(error) || !ns.enter(error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    const std::string conf = "/tmp/ormix-scanbench-" + std::to_string(getpid()) + ".conf";
    if (!writeResponderConfig(conf, loss))
        return 1;
    int readyFd = -1;
    const pid_t responder =
        ormix::testing::spawnCommand({bin + "/nbt-responder", "--config", conf}, &readyFd);
    if (responder < 0 || !ormix::testing::waitForLine(readyFd, "ready", 10000)) {
        std::fprintf(stderr, "nbt-responder did not start\n");
        ormix::testing::stopCommand(responder);
        std::remove(conf.c_str());
        return 1;
    }

    std::vector<const char*> ranges = {"127.1.0.0/16", "127.2.0.0/16", "127.0.0.0/12"};
    if (loss)
        ranges = {"127.1.0.0/16"};
    std::printf("| range | program | wall s | CPU s | peak RSS KiB | hosts |\n|---|---|---|---|---|---|\n");
    for (const char* range : ranges) {
        std::vector<std::pair<const char*, std::vector<std::string>>> programs = {
            {"ormix-cli scan --timeout 1", {bin + "/ormix-cli", "scan", "--timeout", "1", range}}};
        if (loss)
            programs.push_back({"ormix-cli scan --timeout 1 --retries 1",
                                {bin + "/ormix-cli", "scan", "--timeout", "1", "--retries", "1", range}});
        if (haveNbtscan)
            programs.push_back({"nbtscan -t 1000", {nbtscan, "-t", "1000", range}});
        if (haveNbtscan && loss)
            programs.push_back({"nbtscan -t 1000 -m 2", {nbtscan, "-t", "1000", "-m", "2", range}});
        // The programs take turns, so a change in the machine's load hits both alike.
        std::vector<std::vector<Measure>> measures(programs.size());
        for (int r = 0; r < runs; ++r)
            for (size_t p = 0; p < programs.size(); ++p)
                measures[p].push_back(runOnce(programs[p].second));
        for (size_t p = 0; p < programs.size(); ++p) {
            const Measure m = medianOf(measures[p]);
            std::printf("| %s | %s | %.2f | %.2f | %ld | %d |\n", range, programs[p].first, m.wall, m.cpu,
                        m.peakKb, m.hosts);
        }
        std::fflush(stdout);
    }
    ormix::testing::stopCommand(responder);
    close(readyFd);
    std::remove(conf.c_str());
    return 0;
}
