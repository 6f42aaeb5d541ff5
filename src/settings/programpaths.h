// The texts a user's program gets for a found file: the file and its folder
// as local paths under the share's GVfs mount (mounted on demand, with the
// account the host's shares were listed with), or the smb:// URLs where no
// mount can be made, with the reason. Mounting blocks, so the window runs it
// through ProgramPathsJob, off the GUI thread.
// Tests: tests/settings/programpaths_test.cpp, tests/gui/resultactions_gvfs_test.cpp.
#pragma once

#include "platform/launcher.h"

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <thread>

class QObject;

namespace ormix {

struct ShareMountResult {
    std::string folder; // the local folder that shows the share's files; "" when there is none
    std::string reason; // why there is none, in words for the status line
};

class ShareMounter {
public:
    virtual ~ShareMounter() = default;
    // Mounts the share "\\IP\share" and finds its local folder; blocks
    // until then, or until `cancel` is set from another thread.
    virtual ShareMountResult Mount(const std::string& shareUnc, const std::atomic<bool>& cancel) = 0;
};

// The desktop's SMB mount: "gio mount" signed in as the sign-in memory
// prefers for the host (the account that listed its shares; anonymous
// otherwise), then the share's folder under the GVfs FUSE folder. `cancel`
// kills gio.
class GvfsShareMounter : public ShareMounter {
public:
    ShareMountResult Mount(const std::string& shareUnc, const std::atomic<bool>& cancel) override;
};

// "\\IP\share\dir\file" -> "\\IP\share"; "" when the text is no path in a share.
std::string ShareOf(const std::string& uncPath);

// The local path of `uncPath` under `shareFolder`, the folder that shows its
// share: the components after the share joined with "/". Nothing when a
// component could not stand as one local name ("", ".", "..", or one with
// "/" or NUL: names come from the server and must not lead elsewhere).
std::optional<std::string> LocalPathUnder(const std::string& shareFolder, const std::string& uncPath);

struct ProgramPaths {
    PlaceholderTexts texts;
    bool local = false;         // prg and dir are local paths
    std::string fallbackReason; // a local path was wanted and the URLs stand in: why
};

// The decision. Without wantLocal: the URLs, nothing mounted. With it: the
// share is mounted, the file's path mapped under the mount folder and
// checked to be there; on any failure the URLs and the reason. url and unc
// are the file's own forms either way. `cancel` is handed to the mounter.
ProgramPaths ResolveProgramPaths(const std::string& uncPath, bool wantLocal, ShareMounter& mounter);
ProgramPaths ResolveProgramPaths(const std::string& uncPath, bool wantLocal, ShareMounter& mounter,
                                 const std::atomic<bool>& cancel);

// Runs ResolveProgramPaths on a thread of its own, one request at a time, and
// hands the result to `done` on the thread of `context` (not at all once the
// context is gone). CancelAndWait() gives up a running request: its mount is
// killed and `done` is not called. The destructor does the same, so a program
// that quits never waits for a share that does not answer.
class ProgramPathsJob {
public:
    explicit ProgramPathsJob(ShareMounter& mounter) : mounter_(&mounter) {}
    ~ProgramPathsJob();
    ProgramPathsJob(const ProgramPathsJob&) = delete;
    ProgramPathsJob& operator=(const ProgramPathsJob&) = delete;

    void SetMounter(ShareMounter& mounter) { mounter_ = &mounter; }
    bool Busy() const { return busy_; }
    // False, and nothing started, while a request runs.
    bool Start(const std::string& uncPath, bool wantLocal, QObject* context,
               std::function<void(const ProgramPaths&)> done);
    void Wait();
    // Gives up the running request and waits for its thread.
    void CancelAndWait();

private:
    ShareMounter* mounter_;
    std::atomic<bool> busy_{false};
    std::atomic<bool> cancel_{false};
    std::thread thread_;
};

} // namespace ormix
