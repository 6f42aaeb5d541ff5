// The order in which a host is signed in to, what is remembered, and the
// one-attempt-per-account-per-host-per-scan rule, against a scripted host that
// counts every login; then the credentials' way through the real ormix-smb.
#include "shares/accounts.h"
#include "shares/sharelist.h"
#include "shares/smbpool.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>

using namespace ormix;
using smbproto::AuthMethod;
using smbproto::JobAuth;

namespace {

std::string wayName(const JobAuth& a) {
    switch (a.method) {
    case AuthMethod::Anonymous:
        return "anon";
    case AuthMethod::Kerberos:
        return "krb";
    case AuthMethod::Account:
        break;
    }
    return a.user + ":" + a.password;
}

// A host that accepts some ways of signing in and refuses the rest with 5
// (or answers every attempt with `down` when set); records every attempt.
struct ScriptedHost {
    std::set<std::string> accepts;
    int32_t down = 0;
    std::vector<std::string> attempts;

    int32_t operator()(const JobAuth& a) {
        attempts.push_back(wayName(a));
        if (down)
            return down;
        return accepts.count(wayName(a)) ? smbproto::kStatusOk : smbproto::kStatusAccessDenied;
    }
};

using Attempts = std::vector<std::string>;

AccountBook book(bool withOwn, bool withDefault) {
    AccountBook b;
    if (withDefault)
        b.defaultAccount = Account("DOM", "def", "dpw");
    if (withOwn)
        b.hosts.push_back({"10.0.0.1", Account("", "own", "opw")});
    return b;
}

} // namespace

TEST(SignIn, OrderOfAttemptsAndWhatIsRemembered) {
    struct Case {
        const char* what;
        bool own, dflt;
        std::set<std::string> accepts;
        int32_t down;
        int32_t status;
        Attempts first, second; // attempts of a first and a second job on the host
    };
    const Case cases[] = {
        {"own account works", true, true, {"own:opw"}, 0, 0, {"own:opw"}, {"own:opw"}},
        {"default after a refused own", true, true, {"def:dpw"}, 0, 0, {"own:opw", "def:dpw"}, {"def:dpw"}},
        {"anonymous after both refused",
         true,
         true,
         {"anon"},
         0,
         0,
         {"own:opw", "def:dpw", "anon"},
         {"anon"}},
        {"Kerberos last", false, true, {"krb"}, 0, 0, {"def:dpw", "anon", "krb"}, {"krb"}},
        {"no accounts: anonymous first", false, false, {"anon"}, 0, 0, {"anon"}, {"anon"}},
        // Refused everywhere: the accounts are not tried again in the same scan.
        {"all refused", true, true, {}, 0, 5, {"own:opw", "def:dpw", "anon", "krb"}, {"anon", "krb"}},
        // An unreachable host is not tried with every account.
        {"host down", true, true, {}, 53, 53, {"own:opw"}, {"own:opw"}},
        {"helper failure", false, true, {}, 59, 59, {"def:dpw"}, {"def:dpw"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SignIn signIn(book(c.own, c.dflt));
        ScriptedHost host{c.accepts, c.down, {}};
        EXPECT_EQ(signIn.run("10.0.0.1", std::ref(host)), c.status);
        EXPECT_EQ(host.attempts, c.first);
        host.attempts.clear();
        EXPECT_EQ(signIn.run("10.0.0.1", std::ref(host)), c.status);
        EXPECT_EQ(host.attempts, c.second);
    }
}

TEST(SignIn, WrongPasswordIsTriedOncePerHostPerScan) {
    SignIn signIn(book(false, true));
    std::map<std::string, ScriptedHost> hosts;
    for (int round = 0; round < 3; ++round) {
        for (const char* ip : {"10.0.0.1", "10.0.0.2"})
            signIn.run(ip, std::ref(hosts[ip]));
    }
    for (auto& [ip, h] : hosts)
        EXPECT_EQ(std::count(h.attempts.begin(), h.attempts.end(), "def:dpw"), 1) << ip;

    // A new scan allows one more attempt, no more.
    signIn.newScan();
    signIn.run("10.0.0.1", std::ref(hosts["10.0.0.1"]));
    signIn.run("10.0.0.1", std::ref(hosts["10.0.0.1"]));
    EXPECT_EQ(std::count(hosts["10.0.0.1"].attempts.begin(), hosts["10.0.0.1"].attempts.end(), "def:dpw"), 2);
    EXPECT_TRUE(signIn.anonymousRefused("10.0.0.1"));
}

TEST(SignIn, ShareRefusedToAnAccountThatSignedInIsNoLockout) {
    // Anonymous may list the host but not walk one share; the account may.
    SignIn signIn(book(false, true));
    ScriptedHost lists{{"anon"}, 0, {}};
    EXPECT_EQ(signIn.run("10.0.0.1", std::ref(lists)), 0);
    EXPECT_EQ(lists.attempts, (Attempts{"def:dpw", "anon"}));
    // The default account was refused the listing, so a walk skips it.
    ScriptedHost walk{{"def:dpw"}, 0, {}};
    EXPECT_EQ(signIn.run("10.0.0.1", std::ref(walk)), 5);
    EXPECT_EQ(walk.attempts, (Attempts{"anon", "krb"}));

    // An account that signed in and is later refused one share stays usable.
    SignIn other(book(false, true));
    ScriptedHost ok{{"def:dpw"}, 0, {}};
    other.run("10.0.0.1", std::ref(ok));
    ScriptedHost privateShare{{}, 0, {}};
    other.run("10.0.0.1", std::ref(privateShare));
    ok.attempts.clear();
    EXPECT_EQ(other.run("10.0.0.1", std::ref(ok)), 0);
    EXPECT_EQ(ok.attempts, (Attempts{"def:dpw"}));
}

TEST(SignIn, HostAccountsByAddressThenNameAndSignInAs) {
    AccountBook b;
    b.hosts.push_back({"charlie", Account("", "byname", "n")});
    b.hosts.push_back({"10.0.0.3", Account("", "byip", "i")});
    SignIn signIn(b);
    signIn.noteName("10.0.0.2", "CHARLIE");
    signIn.noteName("10.0.0.3", "CHARLIE");
    ScriptedHost h2, h3;
    signIn.run("10.0.0.2", std::ref(h2));
    signIn.run("10.0.0.3", std::ref(h3));
    EXPECT_EQ(h2.attempts.front(), "byname:n");
    EXPECT_EQ(h3.attempts.front(), "byip:i");

    // A refused host gets a new account ("sign in as"): it is tried at once,
    // and becomes what a drive attach uses.
    signIn.noteName("10.0.0.4", "Charlie");
    EXPECT_EQ(signIn.preferred("10.0.0.4").user, "byname");                // not refused there yet
    EXPECT_EQ(signIn.preferred("10.0.0.3").method, AuthMethod::Anonymous); // byip was refused
    signIn.setHostAccount("10.0.0.3", Account("", "right", "r"));
    ScriptedHost again{{"right:r"}, 0, {}};
    EXPECT_EQ(signIn.run("10.0.0.3", std::ref(again)), 0);
    EXPECT_EQ(again.attempts, (Attempts{"right:r"}));
    const JobAuth p = signIn.preferred("10.0.0.3");
    EXPECT_EQ(p.method, AuthMethod::Account);
    EXPECT_EQ(p.password, "r");
    EXPECT_EQ(signIn.preferred("10.0.0.9").method, AuthMethod::Anonymous);
}

// An account whose password the keyring could not give is never tried with
// an empty one (that would count as a failed login on the server).
TEST(SignIn, AccountWithoutItsPasswordIsNotTried) {
    AccountBook b = book(true, true);
    b.defaultAccount.password.clear();
    b.defaultAccount.passwordMissing = true;
    SignIn signIn(b);
    ScriptedHost host;
    signIn.run("10.0.0.1", std::ref(host));
    EXPECT_EQ(host.attempts, (Attempts{"own:opw", "anon", "krb"}));
    EXPECT_EQ(signIn.preferred("10.0.0.2").user, "");
}

TEST(SignIn, AccountNames) {
    const std::pair<const char*, std::pair<const char*, const char*>> cases[] = {
        {"user", {"", "user"}},
        {"DOM\\user", {"DOM", "user"}},
        {"DOM/user", {"DOM", "user"}},
        {"\\u", {"", "u"}}};
    for (const auto& [text, want] : cases) {
        std::string d, u;
        splitAccountName(text, d, u);
        EXPECT_EQ(d, want.first) << text;
        EXPECT_EQ(u, want.second) << text;
    }
}

// The credentials travel in the job frame to the real helper, whose scripted
// host "test-login" opens only for TEST\ormix with the right password.
TEST(SignIn, CredentialsReachTheHelper) {
    SmbPoolOptions o;
    const char* bin = std::getenv("ORMIX_BIN_DIR");
    o.helperPath = std::string(bin ? bin : ".") + "/ormix-smb";
    o.extraEnv = {"ORMIX_SMB_TEST_HOSTS=1"};
    SmbHelperPool pool(o);
    EXPECT_EQ(pool.listShares("test-login").status, 5);
    EXPECT_EQ(pool.listShares("test-login", JobAuth(AuthMethod::Account, "TEST", "ormix", "wrong")).status,
              5);

    AccountBook b;
    b.defaultAccount = Account("TEST", "ormix", "secret");
    SignIn signIn(b);
    const ShareListing l = poolLister(pool, signIn)("test-login");
    EXPECT_EQ(l.status, 0);
    ASSERT_EQ(l.shares.size(), 1u);
    EXPECT_EQ(l.shares[0].name, "PRIVATE");
    EXPECT_EQ(pool.helpersReplaced(), 0);
}
