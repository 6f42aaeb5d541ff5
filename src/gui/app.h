// The program entry: one running copy per user, the shared settings and
// computer list, the windows and their connections, the event loop, and the
// stop and join of every thread at the end.
#pragma once

namespace ormix {

class SmbHelperPool;
class AboutBox;
class ComputerListWindow;
class DriveWindow;
class SearchWindow;
class MainWindow;
class SettingsWindow;

// The windows the main window works with. Any of them but the main window may
// be null (tests make only some).
struct ProgramWindows {
    MainWindow* main = nullptr;
    SettingsWindow* settings = nullptr;
    AboutBox* about = nullptr;
    SearchWindow* search = nullptr;
    DriveWindow* drive = nullptr;
    ComputerListWindow* computers = nullptr;
};

// Connects what the main window asks of the others: its commands open the
// settings, computer list, search, About and drive windows; a scan start stops
// the search and empties its share list, the tree's shares fill it; the
// computer list window saves the list at the end of every scan and at quit;
// the search refreshes its index after a scan. Run once all of them exist,
// whatever the order they were made in.
void ConnectWindows(const ProgramWindows& windows);

// The end of the program's threads, run when the event loop has returned: a
// drive attachment in progress is given up, the pool's helpers are killed so
// that no worker stays blocked reading from one, then the search and the scan
// are stopped and every worker is joined. The windows may be null.
void StopAndJoinEverything(SmbHelperPool& pool, MainWindow* main, SearchWindow* search,
                           DriveWindow* drive = nullptr);

// Runs ORMIX; returns the exit code once every thread it started has been
// stopped and joined.
int RunOrmix(int argc, char** argv);

} // namespace ormix
