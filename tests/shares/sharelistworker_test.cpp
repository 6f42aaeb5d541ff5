// Share workers with a scripted share source: exclusion, the ShowResCount x
// EmptyRes rules, error lines, more than 100 shares, and the hand-over to a
// receiver on the main thread while the worker waits.
#include "shares/sharelistworker.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <atomic>

using namespace ormix;

namespace {

const char* kIp = "127.0.0.9";

ShareLister fixedLister(int32_t status, std::vector<std::string> names, std::atomic<int>* calls = nullptr) {
    return [=](const std::string&) {
        if (calls)
            ++*calls;
        ShareListing l;
        l.status = status;
        for (const auto& n : names)
            l.shares.push_back({n, "remark of " + n});
        return l;
    };
}

std::vector<std::string> pathsOf(const HostInfo& h) {
    std::vector<std::string> out;
    for (const auto& s : h.Shares)
        out.push_back(s.Path);
    return out;
}

struct RecordingReceiver : HostReceiver {
    std::vector<HostInfo> taken;
    void InsertHostNode(const HostInfo& host) override { taken.push_back(host); }
};

QCoreApplication& app() {
    static int argc = 1;
    static char name[] = "sharelistworker_test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication a(argc, argv);
    return a;
}

} // namespace

TEST(EnumerateShares, Exclusion) {
    const std::vector<std::string> admin = {"ADMIN$", "C$", "IPC$", "Docs"};
    const std::string p = std::string("\\\\") + kIp + "\\";
    const struct {
        std::vector<std::string> shares;
        std::vector<std::string> excluded;
        std::vector<std::string> kept;
    } cases[] = {
        {admin, {"ADMIN$", "C$", "IPC$"}, {"Docs"}},
        {admin, {}, {"ADMIN$", "C$", "IPC$", "Docs"}},
        {{"DOCS", "C$"}, {"docs"}, {"C$"}},
        {{"DOCS", "C$"}, {"C"}, {"DOCS", "C$"}},
        {{"Архив", "ЁЛКА", "Music"}, {"АРХИВ", "ёлка"}, {"Music"}},
        {{"Docs", "Docs "}, {"Docs"}, {"Docs "}},
    };
    for (const auto& c : cases) {
        HostInfo h;
        h.Ip = kIp;
        EXPECT_EQ(EnumerateShares(h, c.excluded, fixedLister(0, c.shares), nullptr), 0);
        std::vector<std::string> expected;
        for (const auto& k : c.kept)
            expected.push_back(p + k);
        EXPECT_EQ(pathsOf(h), expected);
        EXPECT_EQ(h.ShareCount, static_cast<int32_t>(expected.size()));
    }
}

TEST(EnumerateShares, ErrorLineAndSharesKeptSoFar) {
    HostInfo h;
    h.Ip = kIp;
    std::vector<std::string> log;
    const int32_t status =
        EnumerateShares(h, {}, fixedLister(59, {"A", "B"}), [&](const std::string& l) { log.push_back(l); });
    EXPECT_EQ(status, 59);
    EXPECT_EQ(h.ShareCount, 2);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0], "Share Enumerate Error #59 (host \\\\127.0.0.9)");
}

TEST(EnumerateShares, NamesThatAreNotSharePathsAreDroppedWithALogLine) {
    const struct {
        std::string name;
        bool kept;
    } cases[] = {
        {"Docs", true},      {"a..b", true}, // no separator: it cannot climb
        {"tab\there", true}, {"..", false},     {".", false},
        {"", false},         {"..\\C$", false}, {"a\\b", false},
        {"a/b", false},      {"../etc", false}, {std::string("nu\0l", 4), false},
    };
    for (const auto& c : cases) {
        HostInfo h;
        h.Ip = kIp;
        std::vector<std::string> log;
        EnumerateShares(h, {}, fixedLister(0, {c.name}), [&](const std::string& l) { log.push_back(l); });
        EXPECT_EQ(h.ShareCount, c.kept ? 1 : 0) << c.name;
        ASSERT_EQ(log.size(), c.kept ? 0u : 1u) << c.name;
        if (!c.kept) {
            EXPECT_EQ(log[0].rfind("Share name ignored, not a share path: \"", 0), 0u) << log[0];
        }
    }
    // The log line shows control characters visibly, never as a line break.
    std::vector<std::string> log;
    HostInfo h;
    h.Ip = kIp;
    EnumerateShares(h, {}, fixedLister(0, {"x\n/y"}), [&](const std::string& l) { log.push_back(l); });
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0], "Share name ignored, not a share path: \"x\u240A/y\" (host \\\\127.0.0.9)");
}

TEST(EnumerateShares, KeepsMoreThanAHundredShares) {
    std::vector<std::string> names;
    for (int i = 1; i <= 250; ++i)
        names.push_back("Share" + std::to_string(i));
    HostInfo h;
    h.Ip = kIp;
    EnumerateShares(h, {"Share7"}, fixedLister(0, names), nullptr);
    ASSERT_EQ(h.ShareCount, 249);
    ASSERT_EQ(h.Shares.size(), 249u);
    EXPECT_EQ(h.Shares[100].Path, "\\\\127.0.0.9\\Share102");
    EXPECT_EQ(h.Shares.back().Remark, "remark of Share250");
}

TEST(ShareListWorker, ShowResCountAndEmptyResMatrix) {
    const struct {
        bool show, empty;
        int32_t status;
        std::vector<std::string> shares;
        bool handed;
        int32_t count;
        int calls;
        const char* logLine; // nullptr: no line
    } cases[] = {
        {false, false, 0, {"Docs"}, true, 0, 0, nullptr},
        {false, true, 0, {"Docs"}, true, 0, 0, nullptr},
        {true, false, 0, {"Docs"}, true, 1, 1, nullptr},
        {true, true, 0, {"Docs"}, true, 1, 1, nullptr},
        {true, false, 0, {"IPC$"}, true, 0, 1, nullptr}, // all shares excluded
        {true, true, 0, {"IPC$"}, false, 0, 1, nullptr},
        {true, true, 5, {}, false, 0, 1, "Share Enumerate Error #5 (host \\\\127.0.0.9)"},
        {true, false, 53, {}, true, 0, 1, "Share Enumerate Error #53 (host \\\\127.0.0.9)"},
        {true, true, 53, {}, false, 0, 1, "Share Enumerate Error #53 (host \\\\127.0.0.9)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.show << c.empty << " status " << c.status);
        auto settings = std::make_shared<ShareSettings>();
        settings->showShareCount = c.show;
        settings->hideEmptyHosts = c.empty;
        settings->excludedShares = {"IPC$"};
        std::atomic<int> calls{0};
        std::vector<std::string> log;
        RecordingReceiver receiver;
        ShareListWorker w(fixedLister(c.status, c.shares, &calls), settings, &receiver,
                          [&](const std::string& l) { log.push_back(l); });
        w.Host.Name = "PC9";
        w.Host.Ip = kIp;
        w.Host.Workgroup = "WG";
        w.start();
        ASSERT_TRUE(w.wait(5000));
        EXPECT_EQ(calls.load(), c.calls);
        EXPECT_EQ(w.handedOver(), c.handed);
        ASSERT_EQ(receiver.taken.size(), c.handed ? 1u : 0u);
        if (c.handed) {
            EXPECT_EQ(receiver.taken[0].Name, "PC9");
            EXPECT_EQ(receiver.taken[0].ShareCount, c.count);
        }
        EXPECT_EQ(log.size(), c.logLine ? 1u : 0u);
        if (c.logLine && !log.empty()) {
            EXPECT_EQ(log[0], c.logLine);
        }
    }
}

TEST(ShareListWorker, PostsACopyToTheMainThreadWithoutWaiting) {
    QCoreApplication& a = app();
    auto settings = std::make_shared<ShareSettings>();
    settings->showShareCount = true;
    QObject context;
    std::vector<std::string> events;
    bool onMain = false;
    QThread* main = a.thread();
    QueuedHostReceiver receiver(&context, [&](const HostInfo& h) {
        onMain = QThread::currentThread() == main;
        events.push_back("host " + std::to_string(h.ShareCount));
    });
    auto w =
        std::make_unique<ShareListWorker>(fixedLister(0, {"Docs", "Music"}), settings, &receiver, nullptr);
    w->Host.Ip = kIp;
    QEventLoop loop;
    QObject::connect(w.get(), &QThread::finished, &loop, [&] {
        events.push_back("finished");
        loop.quit();
    });
    QTimer::singleShot(5000, &loop, &QEventLoop::quit);
    w->start();
    // The worker ends without the main thread running its event loop.
    ASSERT_TRUE(w->wait(5000));
    EXPECT_TRUE(events.empty());
    w.reset(); // the posted record is a copy: it outlives the worker
    loop.exec();
    EXPECT_TRUE(onMain);
    EXPECT_EQ(events, (std::vector<std::string>{"host 2", "finished"}));
}
