// Sign-in order and memory (see accounts.h).
#include "shares/accounts.h"

#include <algorithm>
#include <cctype>

namespace ormix {

using smbproto::AuthMethod;
using smbproto::JobAuth;

Account& Account::operator=(const Account& other) {
    if (this != &other) {
        smbproto::wipe(password);
        domain = other.domain;
        user = other.user;
        password = other.password;
        passwordMissing = other.passwordMissing;
    }
    return *this;
}

Account::~Account() {
    smbproto::wipe(password);
}

std::string Account::displayName() const {
    return domain.empty() ? user : domain + "\\" + user;
}

void splitAccountName(const std::string& text, std::string& domain, std::string& user) {
    const size_t sep = text.find_first_of("\\/");
    if (sep == std::string::npos) {
        domain.clear();
        user = text;
    } else {
        domain = text.substr(0, sep);
        user = text.substr(sep + 1);
    }
}

namespace {

bool sameAscii(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// Identifies a way of signing in without its password.
std::string keyOf(const JobAuth& a) {
    std::string k(1, static_cast<char>('0' + static_cast<int>(a.method)));
    if (a.method == AuthMethod::Account)
        k += a.domain + '\\' + a.user;
    return k;
}

JobAuth accountAuth(const Account& a) {
    return JobAuth(AuthMethod::Account, a.domain, a.user, a.password);
}

} // namespace

const Account* AccountBook::ownAccount(const std::string& ip, const std::string& name) const {
    for (const auto& h : hosts) {
        if (h.host == ip && h.account.isSet())
            return &h.account;
    }
    if (name.empty())
        return nullptr;
    for (const auto& h : hosts) {
        if (sameAscii(h.host, name) && h.account.isSet())
            return &h.account;
    }
    return nullptr;
}

void SignIn::setBook(AccountBook book) {
    std::lock_guard lock(mutex_);
    book_ = std::move(book);
    for (auto& [ip, st] : hosts_) {
        st.refused.clear();
        st.worked.reset();
    }
}

AccountBook SignIn::book() const {
    std::lock_guard lock(mutex_);
    return book_;
}

void SignIn::setHostAccount(const std::string& host, const Account& account) {
    std::lock_guard lock(mutex_);
    auto it = std::find_if(book_.hosts.begin(), book_.hosts.end(),
                           [&](const HostAccount& h) { return h.host == host; });
    if (it == book_.hosts.end())
        book_.hosts.push_back({host, account});
    else
        it->account = account;
    for (auto& [ip, st] : hosts_) {
        if (ip == host || sameAscii(st.name, host)) {
            st.refused.erase(keyOf(accountAuth(account)));
            st.worked.reset();
        }
    }
}

void SignIn::noteName(const std::string& ip, const std::string& name) {
    std::lock_guard lock(mutex_);
    hosts_[ip].name = name;
}

void SignIn::newScan() {
    std::lock_guard lock(mutex_);
    for (auto& [ip, st] : hosts_) {
        st.refused.clear();
        st.anonymousRefused = false;
    }
}

std::vector<JobAuth> SignIn::order(const std::string& ip, const HostState& st) const {
    std::vector<JobAuth> out;
    if (const Account* own = book_.ownAccount(ip, st.name); own && !own->passwordMissing)
        out.push_back(accountAuth(*own));
    if (book_.defaultAccount.isSet() && !book_.defaultAccount.passwordMissing) {
        JobAuth d = accountAuth(book_.defaultAccount);
        if (out.empty() || keyOf(out.front()) != keyOf(d))
            out.push_back(std::move(d));
    }
    out.emplace_back();
    out.emplace_back(AuthMethod::Kerberos, "", "", "");
    // What worked before goes first; refused accounts are left out.
    std::stable_partition(out.begin(), out.end(), [&](const JobAuth& a) { return st.worked == keyOf(a); });
    std::erase_if(out, [&](const JobAuth& a) { return st.refused.count(keyOf(a)) != 0; });
    return out;
}

int32_t SignIn::run(const std::string& ip, const std::function<int32_t(const JobAuth&)>& attempt) {
    std::vector<JobAuth> ways;
    {
        std::lock_guard lock(mutex_);
        ways = order(ip, hosts_[ip]);
    }
    int32_t status = smbproto::kStatusAccessDenied;
    for (const JobAuth& way : ways) {
        const std::string key = keyOf(way);
        if (way.method == AuthMethod::Account) {
            // Another job on the same host may have been refused meanwhile.
            std::lock_guard lock(mutex_);
            if (hosts_[ip].refused.count(key))
                continue;
        }
        status = attempt(way);
        std::lock_guard lock(mutex_);
        HostState& st = hosts_[ip];
        if (status == smbproto::kStatusOk) {
            st.worked = key;
            st.everWorked.insert(key);
            return status;
        }
        if (status != smbproto::kStatusAccessDenied)
            return status;
        if (way.method == AuthMethod::Anonymous)
            st.anonymousRefused = true;
        // An account that signed in here before and is refused now was
        // refused a share, not a login: it may still open the others.
        if (way.method == AuthMethod::Account && !st.everWorked.count(key))
            st.refused.insert(key);
    }
    return status;
}

JobAuth SignIn::preferred(const std::string& ip) const {
    std::lock_guard lock(mutex_);
    auto it = hosts_.find(ip);
    static const HostState none;
    const HostState& st = it == hosts_.end() ? none : it->second;
    for (JobAuth& a : order(ip, st)) {
        if (a.method == AuthMethod::Account || st.worked == keyOf(a))
            return a;
    }
    return JobAuth();
}

bool SignIn::anonymousRefused(const std::string& ip) const {
    std::lock_guard lock(mutex_);
    auto it = hosts_.find(ip);
    return it != hosts_.end() && it->second.anonymousRefused;
}

SignIn& processSignIn() {
    static SignIn* signIn = new SignIn();
    return *signIn;
}

} // namespace ormix
