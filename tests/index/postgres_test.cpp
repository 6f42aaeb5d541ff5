// The PostgreSQL index: a real server started here (initdb and the server in
// the foreground in a temporary folder, run as an unprivileged user, listening
// on a Unix socket only, killed with the test if the test dies) runs the same table of cases as SQLite, then
// is stopped. Without a server this test skips, and under CI=true it fails instead.
#include "fixtures/netns.h"
#include "index_cases.h"

#include <QCoreApplication>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace ormix::testing {
namespace {

namespace fs = std::filesystem;

std::string pgBin() {
    std::error_code ec;
    for (const auto& e : fs::directory_iterator("/usr/lib/postgresql", ec)) {
        if (::access((e.path() / "bin/pg_ctl").c_str(), X_OK) == 0)
            return (e.path() / "bin").string();
    }
    return {};
}

bool inCi() {
    const char* ci = std::getenv("CI");
    return ci && std::string(ci) == "true";
}

class PostgresServer {
public:
    ~PostgresServer() { stop(); }

    bool start(std::string& error) {
        bin_ = pgBin();
        if (bin_.empty()) {
            error = "needs PostgreSQL (package postgresql)";
            return false;
        }
        char tmpl[] = "/tmp/ormix-pg-XXXXXX";
        if (!::mkdtemp(tmpl)) {
            error = "mkdtemp failed";
            return false;
        }
        dir_ = tmpl;
        // The server refuses to run as root: it runs as nobody in a folder
        // only nobody may enter.
        if (::geteuid() == 0) {
            // The change of user clears the parent-death signal; setpriv sets it again.
            asUser_ = {"/usr/bin/setpriv",
                       "--reuid=nobody",
                       "--regid=nogroup",
                       "--clear-groups",
                       "--pdeathsig=KILL",
                       "--",
                       "/usr/bin/env",
                       "-C",
                       "/"};
            if (::chown(dir_.c_str(), 65534, 65534) != 0) {
                error = "chown failed";
                return false;
            }
        }
        ::chmod(dir_.c_str(), 0700);
        if (run({bin_ + "/initdb", "-D", dir_ + "/data", "-U", "ormix", "--auth=trust", "-E", "UTF8",
                 "--no-locale", "--no-sync"}) != 0) {
            error = "initdb failed";
            return false;
        }
        // In the foreground, a child of this process: it dies with the test
        // (its backends follow the server), never left running by a crash.
        std::vector<std::string> server = {bin_ + "/postgres",
                                           "-D",
                                           dir_ + "/data",
                                           "-k",
                                           dir_,
                                           "-c",
                                           "listen_addresses=",
                                           "-c",
                                           "fsync=off",
                                           "-c",
                                           "log_min_messages=warning"};
        server.insert(server.begin(), asUser_.begin(), asUser_.end());
        server_ = spawnCommand(server);
        if (server_ < 0) {
            error = "the server did not start";
            return false;
        }
        started_ = true;
        for (int i = 0; i < 600; ++i) {
            if (run({bin_ + "/pg_isready", "-q", "-h", dir_, "-t", "1"}) == 0)
                return true;
            int status = 0;
            if (::waitpid(server_, &status, WNOHANG) == server_) {
                server_ = -1;
                started_ = false;
                error = "the server ended at its start";
                return false;
            }
            ::usleep(100 * 1000);
        }
        error = "the server did not get ready within a minute";
        return false;
    }

    void stop() {
        if (started_) {
            run({bin_ + "/pg_ctl", "-D", dir_ + "/data", "-m", "immediate", "-w", "stop"});
            stopCommand(server_);
            server_ = -1;
        }
        started_ = false;
        if (dir_.rfind("/tmp/ormix-pg-", 0) == 0) {
            std::error_code ec;
            fs::remove_all(dir_, ec);
        }
        dir_.clear();
    }

    std::string location() const { return "postgresql://ormix@/postgres?host=" + dir_; }

private:
    int run(std::vector<std::string> argv) {
        argv.insert(argv.begin(), asUser_.begin(), asUser_.end());
        return runCommand(argv);
    }

    std::string bin_, dir_;
    std::vector<std::string> asUser_;
    pid_t server_ = -1;
    bool started_ = false;
};

TEST(PostgresIndex, SameCasesAsSqlite) {
    PostgresServer server;
    std::string error;
    if (!server.start(error)) {
        if (inCi())
            FAIL() << error;
        GTEST_SKIP() << error;
    }
    RunIndexCases(server.location());

    // A second open finds the schema in place and the rows intact.
    IndexStore again;
    ASSERT_TRUE(again.open(server.location(), error)) << error;
    EXPECT_TRUE(again.isPostgres());
    EXPECT_EQ(again.shares().size(), 2u);
}

TEST(PostgresIndex, UnreachableServerIsAClearError) {
    IndexStore store;
    std::string error;
    EXPECT_FALSE(store.open("postgresql://ormix@/postgres?host=/nonexistent-socket-dir", error));
    EXPECT_FALSE(error.empty());
}

} // namespace
} // namespace ormix::testing

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
