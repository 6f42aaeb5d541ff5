// The helper's share walk over an in-memory folder source: the record stream,
// the depth bound on a server that nests folders without end, and the
// listings it keeps open.
#include "shares/helper/treewalk.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>

using namespace ormix;
using namespace ormix::smbhelper;

namespace {

// Folders by URL; "deep/" URLs nest without end: each holds "x" and "d".
class FakeDirs {
public:
    struct Listing {
        std::vector<DirEntry> entries;
        size_t pos = 0;
    };
    using Handle = Listing*;

    std::map<std::string, std::vector<DirEntry>> folders;
    int open_ = 0, maxOpen = 0, opened = 0;
    size_t longestUrl = 0;

    Handle open(const std::string& url) {
        longestUrl = std::max(longestUrl, url.size());
        std::vector<DirEntry> entries;
        if (url.rfind("smb://h/deep/", 0) == 0) {
            entries = {{"x", false, 1}, {"d", true, 0}};
        } else {
            auto it = folders.find(url);
            if (it == folders.end())
                return nullptr;
            entries = it->second;
        }
        ++opened;
        maxOpen = std::max(maxOpen, ++open_);
        live_.push_back(std::make_unique<Listing>(Listing{std::move(entries), 0}));
        return live_.back().get();
    }
    bool next(Handle h, DirEntry& e) {
        if (h->pos >= h->entries.size())
            return false;
        e = h->entries[h->pos++];
        return true;
    }
    void close(Handle) { --open_; }

private:
    std::vector<std::unique_ptr<Listing>> live_;
};

// Collects the frames as "F name", "D name", "E".
struct RecordingIo {
    std::vector<std::string> records;
    bool stopAfter = false;
    size_t stopAt = 0;

    bool put(const std::string& frame) {
        smbproto::FrameSplitter split;
        split.feed(frame.data(), frame.size());
        std::string body;
        EXPECT_EQ(split.next(body), smbproto::FrameSplitter::Result::Frame);
        smbproto::FrameReader r(body);
        uint8_t what = 0;
        std::string name;
        uint64_t size = 0;
        uint64_t mtime = 0;
        EXPECT_TRUE(r.u8(what) && r.text(name) && r.u64(size) && r.u64(mtime) && r.done());
        records.push_back(what == EntryFile ? "F " + name : what == EntryFolder ? "D " + name : "E");
        return true;
    }
    bool flush() { return true; }
    bool stopRequested() { return stopAfter && records.size() >= stopAt; }
};

std::vector<std::string> walk(FakeDirs& dirs, RecordingIo& io, const std::string& url,
                              bool* complete = nullptr) {
    FakeDirs::Handle root = dirs.open(url);
    EXPECT_NE(root, nullptr);
    const bool done = walkTree(dirs, io, root, url);
    dirs.close(root);
    if (complete)
        *complete = done;
    return io.records;
}

} // namespace

TEST(HelperTreeWalk, StreamsDepthFirstWithEndMarks) {
    FakeDirs dirs;
    const std::string longName(smbproto::kMaxEntryNameBytes + 1, 'n');
    dirs.folders["smb://h/s/"] = {{".", true, 0},      {"a b", true, 0},     {"top", false, 7},
                                  {"locked", true, 0}, {longName, false, 1}, {"..", true, 0}};
    dirs.folders["smb://h/s/a%20b/"] = {{"inner", false, 3}, {"empty", true, 0}};
    dirs.folders["smb://h/s/a%20b/empty/"] = {};
    RecordingIo io;
    bool complete = false;
    const std::vector<std::string> expected = {"D a b", "F inner", "D empty",  "E",
                                               "E",     "F top",   "D locked", "E"};
    EXPECT_EQ(walk(dirs, io, "smb://h/s/", &complete), expected);
    EXPECT_TRUE(complete);
    EXPECT_EQ(dirs.maxOpen, 3);
}

TEST(HelperTreeWalk, EndlessNestingStopsAtTheDepthBound) {
    FakeDirs dirs;
    RecordingIo io;
    bool complete = false;
    const std::vector<std::string> records = walk(dirs, io, "smb://h/deep/", &complete);
    EXPECT_TRUE(complete);
    // Levels 0..256 are listed (an "x" and a "d" each); the "d" at depth 257
    // is reported but not opened and closes at once.
    const size_t levels = size_t(smbproto::kMaxWalkDepth) + 1;
    EXPECT_EQ(dirs.opened, int(levels));
    EXPECT_EQ(dirs.maxOpen, int(levels));
    EXPECT_EQ(dirs.open_, 0); // every listing closed again
    ASSERT_EQ(records.size(), levels * 2 + (levels - 1) + 1);
    EXPECT_EQ(records[records.size() - levels], "E");
    EXPECT_EQ(dirs.longestUrl, std::string("smb://h/deep/").size() + 2 * (levels - 1));
}

TEST(HelperTreeWalk, StopClosesEveryOpenListing) {
    FakeDirs dirs;
    RecordingIo io;
    io.stopAfter = true;
    io.stopAt = 100;
    bool complete = true;
    walk(dirs, io, "smb://h/deep/", &complete);
    EXPECT_FALSE(complete);
    EXPECT_EQ(dirs.open_, 0);
}
