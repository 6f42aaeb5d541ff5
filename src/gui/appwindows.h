// The program's windows. Each one is created once at start-up, in a fixed
// order (see app.cpp), and lives until the process ends; windows reach each
// other through this table.
#pragma once

namespace ormix {

class TMainDlg;
class TAbout;
class TSetupForm;
class TAddrMgrForm;
class TIndexForm;
class TOpenWithForm;
class TConnectDriveForm;

struct AppWindows {
    TMainDlg* MainDlg = nullptr;
    TSetupForm* SetupForm = nullptr;
    TAbout* About = nullptr;
    TIndexForm* IndexForm = nullptr;
    TOpenWithForm* OpenWithForm = nullptr;
    TConnectDriveForm* ConnectDriveForm = nullptr;
    TAddrMgrForm* AddrMgrForm = nullptr;
};

AppWindows& appWindows();

} // namespace ormix
