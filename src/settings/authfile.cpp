// Credentials file reader (see authfile.h).
#include "settings/authfile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ormix {

namespace {

constexpr size_t kMaxAuthFile = 64 * 1024;

std::string trim(const std::string& s) {
    const size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos)
        return {};
    const size_t e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

} // namespace

bool parseAuthText(const std::string& text, Account& account, std::string& error) {
    Account a;
    std::string domainLine;
    bool haveDomainLine = false;
    size_t pos = 0;
    int lineNo = 0;
    while (pos <= text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        ++lineNo;
        const std::string t = trim(line);
        smbproto::wipe(line);
        if (t.empty() || t[0] == '#')
            continue;
        const size_t eq = t.find('=');
        if (eq == std::string::npos) {
            error = "line " + std::to_string(lineNo) + " is not \"name = value\"";
            return false;
        }
        const std::string name = trim(t.substr(0, eq));
        std::string value = trim(t.substr(eq + 1));
        if (name == "username") {
            splitAccountName(value, a.domain, a.user);
        } else if (name == "password") {
            a.password = value;
        } else if (name == "domain") {
            domainLine = value;
            haveDomainLine = true;
        } else {
            error = "line " + std::to_string(lineNo) + ": unknown name \"" + name + "\"";
            return false;
        }
        smbproto::wipe(value);
    }
    if (haveDomainLine)
        a.domain = domainLine;
    if (a.user.empty()) {
        error = "no \"username\" line";
        return false;
    }
    account = a;
    return true;
}

bool readAuthFile(const std::string& path, Account& account, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    struct stat st;
    std::string text;
    bool ok = false;
    if (::fstat(fd, &st) != 0) {
        error = path + ": " + std::strerror(errno);
    } else if (!S_ISREG(st.st_mode)) {
        error = path + ": not a regular file";
    } else if (st.st_mode & (S_IRWXG | S_IRWXO)) {
        error = path + ": other users may read or change it; allow only its owner (chmod 600 " + path + ")";
    } else if (st.st_size > static_cast<off_t>(kMaxAuthFile)) {
        error = path + ": too large for a credentials file";
    } else {
        text.resize(static_cast<size_t>(st.st_size));
        size_t got = 0;
        while (got < text.size()) {
            const ssize_t n = ::read(fd, text.data() + got, text.size() - got);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            got += static_cast<size_t>(n);
        }
        text.resize(got);
        std::string why;
        ok = parseAuthText(text, account, why);
        if (!ok)
            error = path + ": " + why;
    }
    smbproto::wipe(text);
    ::close(fd);
    return ok;
}

} // namespace ormix
