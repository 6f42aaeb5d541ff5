#include "smbd_share.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

namespace ormix::testing {

namespace fs = std::filesystem;

namespace {

bool portOpen(const char* address, int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    ::inet_pton(AF_INET, address, &a.sin_addr);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

} // namespace

SmbdShare::SmbdShare() : ns_("search") {
    root_ = "/tmp/ormix-search-" + std::to_string(::getpid()) + "-" +
            ns_.name().substr(ns_.name().rfind('-') + 1);
}

SmbdShare::~SmbdShare() {
    if (smbd_ > 0)
        stopCommand(smbd_, 3000);
    ns_.leave();
    std::error_code ec;
    if (root_.rfind("/tmp/ormix-search-", 0) == 0) {
        // Folders a test locked for the server would stop the removal.
        for (auto it = fs::recursive_directory_iterator(root_, ec);
             !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(root_, ec);
    }
}

std::string SmbdShare::unavailableReason() {
    std::string why = netnsUnavailableReason();
    if (why.empty() && ::access("/usr/sbin/smbd", X_OK) != 0)
        why = "needs samba (smbd)";
    return why;
}

std::string SmbdShare::folder(const std::string& name) {
    const std::string path = root_ + "/data/" + name;
    fs::create_directories(path);
    return path;
}

bool SmbdShare::start(const std::vector<std::pair<std::string, std::string>>& shares, std::string& error) {
    if (!ns_.create(error) || !ns_.addLoopbackAddress(std::string(kAddress) + "/8") || !ns_.enter(error)) {
        if (error.empty())
            error = "could not set up namespace " + ns_.name();
        return false;
    }
    const std::string d = root_ + "/smbd";
    for (const char* sub : {"run", "lock", "state", "cache", "private", "ncalrpc", "binddns", "log"})
        fs::create_directories(d + "/" + sub);
    // smbd serves the files as the guest account.
    ::chmod(root_.c_str(), 0755);
    ::chmod((root_ + "/data").c_str(), 0755);
    std::ofstream conf(d + "/smb.conf");
    conf << "[global]\n"
         << "  netbios name = SEARCHTEST\n  workgroup = TESTLAN\n"
         << "  server role = standalone server\n"
         << "  interfaces = " << kAddress << "\n  bind interfaces only = yes\n  smb ports = 445\n"
         << "  disable netbios = yes\n"
         << "  pid directory = " << d << "/run\n  lock directory = " << d << "/lock\n"
         << "  state directory = " << d << "/state\n  cache directory = " << d << "/cache\n"
         << "  private dir = " << d << "/private\n  ncalrpc dir = " << d << "/ncalrpc\n"
         << "  binddns dir = " << d << "/binddns\n"
         << "  passdb backend = tdbsam:" << d << "/private/passdb.tdb\n"
         << "  log file = " << d << "/log/log.%m\n  log level = 0\n"
         << "  load printers = no\n  printing = bsd\n  printcap name = /dev/null\n  disable spoolss = yes\n"
         << "  map to guest = Bad User\n  restrict anonymous = 0\n  guest account = nobody\n"
         << "  unix charset = UTF-8\n";
    for (const auto& [name, path] : shares)
        conf << "[" << name << "]\n  path = " << path << "\n  read only = yes\n  guest ok = yes\n";
    conf.close();

    smbd_ = spawnCommand({"/usr/sbin/smbd", "--foreground", "-s", d + "/smb.conf"});
    if (smbd_ <= 0) {
        error = "could not start smbd";
        return false;
    }
    for (int i = 0; i < 200; ++i) {
        if (portOpen(kAddress, 445))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    error = "smbd did not listen on " + std::string(kAddress) + ":445; see " + d + "/log";
    return false;
}

} // namespace ormix::testing
