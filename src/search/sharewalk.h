// The depth-first walk of one share as a stream of records, the way a search
// worker consumes it. The production source is the SMB helper's walk job;
// tests plug in an in-memory tree.
#pragma once

#include "shares/smbproto.h"

#include <cstdint>
#include <memory>
#include <string>

namespace ormix {

// Folders deeper than this below the share root are not walked (no real
// share nests so deep; a server that claims to must not cost unbounded
// memory or stack). The helper lists no deeper either.
inline constexpr int kMaxWalkDepth = smbproto::kMaxWalkDepth;

struct WalkRecord {
    enum Kind {
        File,      // a file of the current folder
        Folder,    // a subfolder; its records follow at once, closed by FolderEnd
        FolderEnd, // the current folder has no more entries
    };
    Kind kind = File;
    std::string name;  // UTF-8, as the listing gives it
    int64_t size = 0;  // bytes; 0 for folders
    int64_t mtime = 0; // modification time, seconds since the epoch; 0 unknown
};

// One running walk. The stream opens with the records of the share's root and
// ends with the root's FolderEnd. A folder that cannot be listed yields its
// Folder record followed directly by its FolderEnd. Destroying the walk before
// the end stops it.
class ShareWalk {
public:
    virtual ~ShareWalk() = default;
    // False when the stream is over: after the root's FolderEnd, or when the
    // source failed (a failure reads as the end of every open folder).
    virtual bool Next(WalkRecord& rec) = 0;
    // Asked when the stream ended before the root's FolderEnd: true when the
    // source said the share itself could not be listed (no record came), so
    // the share reads as empty; false when the source broke off mid-walk and
    // the results of this share are incomplete.
    virtual bool RootUnavailable() const { return false; }
};

// Opens walks; called from several worker threads at once.
class ShareWalker {
public:
    virtual ~ShareWalker() = default;
    // rootPath is the share path as the program keeps it ("\\IP\share\").
    virtual std::unique_ptr<ShareWalk> Open(const std::string& rootPath) = 0;
};

} // namespace ormix
