// The helper's depth-first walk of a share as a stream of Entry records,
// written over any directory source so it can be tested without a server.
// It keeps one open listing per level in a vector (no recursion) and lists
// at most smbproto::kMaxWalkDepth levels below the root.
// Tests: tests/shares/treewalk_test.cpp.
#pragma once

#include "shares/smbproto.h"

#include <cstdint>
#include <string>
#include <vector>

namespace ormix::smbhelper {

enum EntryWhat : uint8_t { EntryFile = 0, EntryFolder = 1, EntryFolderEnd = 2 };

struct DirEntry {
    std::string name;
    bool folder = false;
    uint64_t size = 0;
    uint64_t mtime = 0; // seconds since the epoch, 0 when unknown
};

// "a b" -> "a%20b": one path component of an smb:// URL.
inline std::string encodeUrlComponent(const std::string& name) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(name.size());
    for (unsigned char c : name) {
        const bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                                c == '-' || c == '.' || c == '_' || c == '~';
        if (unreserved) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

inline std::string folderEndFrame() {
    return smbproto::FrameWriter(smbproto::Kind::Entry).u8(EntryFolderEnd).text("").u64(0).u64(0).finish();
}

// Streams the entries below the open root listing (url ends with "/") and
// closes every listing it opened, but not the root. Lister provides
// Handle open(url) (null when the folder cannot be listed), bool next(Handle,
// DirEntry&) and void close(Handle); Io provides put(frame), flush() and
// stopRequested(). False once the walk must end early (Stop, or the program
// is gone); the root's own end mark is the caller's.
template <class Lister, class Io>
bool walkTree(Lister& dirs, Io& io, typename Lister::Handle root, std::string url) {
    using Handle = typename Lister::Handle;
    struct Level {
        Handle dir;
        size_t urlSize;
    };
    std::vector<Level> levels{{root, url.size()}};
    // Ends the walk early: every listing but the root's is closed.
    auto abort = [&] {
        for (size_t i = levels.size(); i-- > 1;)
            dirs.close(levels[i].dir);
        return false;
    };
    DirEntry e;
    unsigned entries = 0;
    while (true) {
        if (!dirs.next(levels.back().dir, e)) {
            if (levels.size() == 1)
                return true;
            dirs.close(levels.back().dir);
            levels.pop_back();
            url.resize(levels.back().urlSize);
            if (!io.put(folderEndFrame()))
                return abort();
            continue;
        }
        if ((++entries & 31) == 0 && io.stopRequested())
            return abort();
        // No real name is this long; such an entry (and what is below it) is left out.
        if (e.name.empty() || e.name == "." || e.name == ".." || e.name.size() > smbproto::kMaxEntryNameBytes)
            continue;
        const std::string frame = smbproto::FrameWriter(smbproto::Kind::Entry)
                                      .u8(e.folder ? EntryFolder : EntryFile)
                                      .text(e.name)
                                      .u64(e.folder ? 0 : e.size)
                                      .u64(e.mtime)
                                      .finish();
        if (!io.put(frame))
            return abort();
        if (!e.folder)
            continue;
        // Let the program work on what it has while the server lists.
        if (!io.flush())
            return abort();
        Handle sub{};
        // levels.size() is the new folder's depth below the root.
        if (levels.size() <= size_t(smbproto::kMaxWalkDepth)) {
            url += encodeUrlComponent(e.name);
            url += '/';
            sub = dirs.open(url);
        }
        if (sub) {
            levels.push_back({sub, url.size()});
        } else {
            url.resize(levels.back().urlSize);
            if (!io.put(folderEndFrame()))
                return abort();
        }
    }
}

} // namespace ormix::smbhelper
