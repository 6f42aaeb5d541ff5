// Network drives on a Linux desktop: a share is attached under a letter A-Z by
// mounting it through GVfs ("gio mount smb://IP/share"), linking
// ~/NetDrives/<letter> to the mount folder, and adding the bookmark
// "smb://IP/share <letter>:" so the desktop reconnects it at the next logon.
// Tests: tests/settings/netdrive_test.cpp.
#pragma once

#include "shares/smbproto.h"

#include <atomic>
#include <string>
#include <vector>

namespace ormix {

// Results of MapNetworkDrive. The numbers are those the network drive calls
// have always used for the same failures; callers only test for NetDriveOk.
enum NetDriveStatus : int {
    NetDriveOk = 0,
    NetDriveBadNetPath = 53,      // gio could not mount the share
    NetDriveBadNetName = 67,      // the remote path is not \\host\share[\...]
    NetDriveCannotMake = 82,      // ~/NetDrives/<letter> could not be created
    NetDriveAlreadyAssigned = 85, // the letter is in use
    NetDriveBadDevice = 1200,     // the local name is not a letter and ":"
    NetDriveBadProfile = 1206,    // the bookmarks file could not be written
    NetDriveNoNetwork = 1222,     // gio could not be run at all
    NetDriveCancelled = 1223,     // the caller gave up before the drive was attached
};

// "$HOME/NetDrives": the folder holding one link per attached letter.
std::string NetDrivesFolder();

// "$XDG_CONFIG_HOME/gtk-3.0/bookmarks" (XDG_CONFIG_HOME defaults to ~/.config).
std::string GtkBookmarksFile();

// The letters not in use, "A:" to "Z:" in order. A letter is in use while
// ~/NetDrives/<letter> exists as any directory entry, a dangling link included
// (a share attached earlier whose mount is not up yet still owns its letter).
std::vector<std::string> FreeDriveNames();

// Mounts the share of `url` ("smb://IP/share[/...]") through GVfs for the
// current user, signed in as `auth` says (an account's answers on gio's
// standard input, otherwise "gio mount -a": anonymous). A share mounted
// already counts. Returns NetDriveOk, NetDriveBadNetPath (refused or not
// reachable) or NetDriveNoNetwork (gio could not be run). Blocks until gio
// answers (at most about a minute and a half): never call it on the GUI thread.
int MountShare(const std::string& url, const smbproto::JobAuth& auth);
// The same; `cancel` set from another thread kills gio and gives
// NetDriveCancelled.
int MountShare(const std::string& url, const smbproto::JobAuth& auth, const std::atomic<bool>& cancel);

// The folder in which the GVfs FUSE daemon shows the files of the share of
// `uncPath` ("\\IP\share[\...]"; the share part counts): the entry of
// $XDG_RUNTIME_DIR/gvfs named after server and share. "" while there is none.
std::string MountedShareFolder(const std::string& uncPath);

// Attaches the share `uncPath` ("\\IP\share", a trailing sub-folder allowed)
// under `localName` ("e:" or "E:"), persistently, for the current user. Runs
// "gio mount <url>" and "gio info <url>" through launcher(); a share that is
// already mounted counts as attached. Signed in as the program's sign-in
// memory prefers for the host: with an account, gio's questions for user,
// domain and password are answered on its standard input (one attempt);
// otherwise "gio mount -a" answers a login question as an anonymous (guest)
// one. Returns NetDriveOk or another NetDriveStatus; on failure no link and
// no bookmark are left behind. Blocks until gio answers (at most about a
// minute and a half), so a window runs it off its own thread; setting
// `cancel` from another thread kills the gio call at once and gives
// NetDriveCancelled, with no link and no bookmark made.
int MapNetworkDrive(const std::string& localName, const std::string& uncPath);
int MapNetworkDrive(const std::string& localName, const std::string& uncPath,
                    const std::atomic<bool>& cancel);
int MapNetworkDrive(const std::string& localName, const std::string& uncPath, const smbproto::JobAuth& auth,
                    const std::atomic<bool>& cancel);
int MapNetworkDrive(const std::string& localName, const std::string& uncPath, const smbproto::JobAuth& auth);

} // namespace ormix
