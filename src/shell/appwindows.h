// The program's windows. Each one is created once at start-up, in a fixed
// order (see app.cpp), and lives until the process ends; windows reach each
// other through this table.
#pragma once

namespace ormix {

class TMainDlg;
class TAbout;

struct AppWindows {
    TMainDlg* MainDlg = nullptr;
    TAbout* About = nullptr;
};

AppWindows& appWindows();

} // namespace ormix
