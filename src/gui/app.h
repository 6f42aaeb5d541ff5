// The program entry: one running copy per user, the windows in their fixed
// order, the event loop, and the stop and join of every thread at the end.
#pragma once

namespace ormix {

class SmbHelperPool;
class TConnectDriveForm;
class TIndexForm;
class TMainDlg;

// The end of the program's threads, run when the event loop has returned: a
// drive attachment in progress is given up, the pool's helpers are killed so
// that no worker stays blocked reading from one, then the search and the scan
// are stopped and every worker is joined. The windows may be null.
void StopAndJoinEverything(SmbHelperPool& pool, TMainDlg* main, TIndexForm* search,
                           TConnectDriveForm* drive = nullptr);

// Runs ORMIX; returns the exit code once every thread it started has been
// stopped and joined.
int RunOrmix(int argc, char** argv);

} // namespace ormix
