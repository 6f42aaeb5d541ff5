// The file search's jobs of the SMB helper: walking a share depth first and
// copying one file to a local path. Both stream records while they run and
// watch the input for Stop between records.
// Tests: tests/search/smbsearch_test.cpp.
#pragma once

#include "shares/smbproto.h"

#include <string>

namespace ormix::smbhelper {

class SmbSession;

// The helper's side of a running job: frames out (batched), Stop in.
class JobChannel {
public:
    using WriteFn = bool (*)(const std::string& bytes);
    JobChannel(WriteFn write, smbproto::FrameSplitter& input, int inputFd);
    ~JobChannel();

    // Queues a frame; false once the program is gone.
    bool put(const std::string& frame);
    bool flush();
    // Looks at the input without blocking; true once a Stop has arrived.
    bool stopRequested();

private:
    WriteFn write_;
    smbproto::FrameSplitter& input_;
    int inputFd_;
    std::string pending_;
    bool stop_ = false;
    bool gone_ = false;
};

// WalkShare{text url}: Entry records depth first in listing order, "." and
// ".." left out, a folder that cannot be listed closed at once; then End with
// the status of opening the root.
void serveWalkShare(SmbSession& session, smbproto::FrameReader& job, JobChannel& io);

// CopyFile{text url, text local_path}: Target{text path} once the local file
// exists (the next free "name (n).ext" when local_path is taken), Progress
// records, then End. A failed or stopped copy removes what it wrote.
void serveCopyFile(SmbSession& session, smbproto::FrameReader& job, JobChannel& io);

// "dir/name.ext" -> "dir/name (n).ext"; a name without extension (or one
// that starts with its only dot) gets " (n)" at the end.
std::string numberedName(const std::string& path, int n);

} // namespace ormix::smbhelper
