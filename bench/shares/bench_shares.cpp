// bench_shares: share enumeration of many hosts through ORMIX's helper pool
// with N workers, side by side with `smbclient -L //IP -N` run one host after
// another. Prints hosts per second and peak resident memory of each side.
// Run it inside the test LAN's namespace (bench/shares/run.sh does).
//
// usage: bench_shares [--workers N] [--rounds R] IP...
#include "shares/sharelist.h"

#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

using namespace ormix;
using Clock = std::chrono::steady_clock;

namespace {

long rssKb(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    }
    return 0;
}

// Resident memory of this process plus its direct children (the helpers).
long familyRssKb() {
    long total = rssKb(::getpid());
    const std::string self = std::to_string(::getpid());
    if (DIR* d = ::opendir("/proc")) {
        while (const dirent* e = ::readdir(d)) {
            if (e->d_name[0] < '1' || e->d_name[0] > '9')
                continue;
            std::ifstream st(std::string("/proc/") + e->d_name + "/stat");
            std::string line;
            std::getline(st, line);
            const size_t close = line.rfind(')');
            if (close == std::string::npos)
                continue;
            char state;
            long ppid;
            if (std::sscanf(line.c_str() + close + 1, " %c %ld", &state, &ppid) == 2 &&
                std::to_string(ppid) == self)
                total += rssKb(std::atoi(e->d_name));
        }
        ::closedir(d);
    }
    return total;
}

struct Result {
    double seconds = 0;
    long peakKb = 0;
    int failures = 0;
    long shares = 0;
};

Result runOrmix(SmbHelperPool& pool, const std::vector<std::string>& ips, int workers) {
    Result r;
    std::atomic<bool> done{false};
    std::atomic<long> peak{familyRssKb()};
    std::thread sampler([&] {
        while (!done) {
            peak = std::max(peak.load(), familyRssKb());
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    std::atomic<size_t> next{0};
    std::atomic<int> failures{0};
    std::atomic<long> shares{0};
    const ShareLister lister = poolLister(pool);
    const auto t0 = Clock::now();
    std::vector<std::thread> threads;
    for (int w = 0; w < workers; ++w) {
        threads.emplace_back([&] {
            for (size_t i; (i = next++) < ips.size();) {
                HostInfo h;
                h.Ip = ips[i];
                if (EnumerateShares(h, {}, lister, nullptr) != 0)
                    ++failures;
                shares += h.ShareCount;
            }
        });
    }
    for (auto& t : threads)
        t.join();
    r.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    done = true;
    sampler.join();
    r.peakKb = std::max(peak.load(), familyRssKb());
    r.failures = failures;
    r.shares = shares;
    return r;
}

Result runSmbclient(const std::vector<std::string>& ips) {
    Result r;
    const auto t0 = Clock::now();
    for (const auto& ip : ips) {
        std::string target = "//" + ip;
        const char* argv[] = {"smbclient", "-L", target.c_str(), "-N", nullptr};
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
        pid_t pid;
        const int rc = ::posix_spawnp(&pid, "smbclient", &fa, nullptr, const_cast<char**>(argv), environ);
        posix_spawn_file_actions_destroy(&fa);
        if (rc != 0) {
            ++r.failures;
            continue;
        }
        int status = 0;
        rusage ru{};
        ::wait4(pid, &status, 0, &ru);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
            ++r.failures;
        r.peakKb = std::max(r.peakKb, ru.ru_maxrss);
    }
    r.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    return r;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    int workers = 6, rounds = 5;
    std::vector<std::string> ips;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--workers" && i + 1 < argc)
            workers = std::atoi(argv[++i]);
        else if (a == "--rounds" && i + 1 < argc)
            rounds = std::atoi(argv[++i]);
        else
            ips.push_back(a);
    }
    if (ips.empty() || workers < 1 || rounds < 1) {
        std::fputs("usage: bench_shares [--workers N] [--rounds R] IP...\n", stderr);
        return 2;
    }
    std::vector<double> cold, warm, seq;
    long ormixPeak = 0, smbclientPeak = 0, shares = 0;
    int failures = 0;
    // Samba starts its RPC service on the first share listing a server gets
    // (over a second); one untimed pass keeps that out of every measurement.
    runSmbclient(ips);
    for (int round = 0; round < rounds; ++round) {
        Result s = runSmbclient(ips);
        SmbHelperPool pool; // a fresh pool: the first pass starts its helpers
        Result c = runOrmix(pool, ips, workers);
        Result w = runOrmix(pool, ips, workers);
        cold.push_back(ips.size() / c.seconds);
        warm.push_back(ips.size() / w.seconds);
        seq.push_back(ips.size() / s.seconds);
        ormixPeak = std::max({ormixPeak, c.peakKb, w.peakKb});
        smbclientPeak = std::max(smbclientPeak, s.peakKb);
        failures += c.failures + w.failures + s.failures;
        shares = w.shares;
    }
    std::printf("hosts %zu, workers %d, rounds %d, shares per pass %ld, failures %d\n", ips.size(), workers,
                rounds, shares, failures);
    std::printf("ormix pool, new helpers    %8.1f hosts/s\n", median(cold));
    std::printf("ormix pool, idle helpers   %8.1f hosts/s\n", median(warm));
    std::printf("smbclient -L, sequential   %8.1f hosts/s\n", median(seq));
    std::printf("speed-up (new helpers)     %8.1f x\n", median(cold) / median(seq));
    std::printf("speed-up (idle helpers)    %8.1f x\n", median(warm) / median(seq));
    std::printf("peak RSS ormix + helpers   %8ld KiB\n", ormixPeak);
    std::printf("peak RSS one smbclient     %8ld KiB\n", smbclientPeak);
    return failures ? 1 : 0;
}
