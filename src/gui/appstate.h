// AppState: what the program keeps for its whole run and every window works
// on: cfg.ini with the settings of its section "main", and the computer list.
// The program makes one at start; windows take it by reference, read the
// settings from it, edit and ask it to save. Nothing here is a widget.
// Tests: tests/gui/appstate_test.cpp.
#pragma once

#include "settings/appsettings.h"
#include "settings/computerlist.h"
#include "settings/configfile.h"

#include <QObject>

#include <string>

namespace ormix {

class AppState : public QObject {
    Q_OBJECT
public:
    // cfg.ini at `configPath`; "range.lst" in `programDir` (ending with '/').
    // Neither file is read yet: see reloadSettings and loadComputerList.
    AppState(std::string configPath, const std::string& programDir, QObject* parent = nullptr);

    ormix::ConfigFile& config() { return config_; }
    const ormix::ConfigFile& config() const { return config_; }

    // The settings in force. Read on the main thread; a worker is handed a copy.
    const AppSettings& settings() const { return settings_; }
    // Reads section "main" again (a hand edit of the file counts from here).
    void reloadSettings();
    // Writes `wanted` in one rewrite of cfg.ini and reloads what the file then
    // holds. Throws ConfigWriteError; the file and the settings in force are
    // then unchanged.
    void saveSettings(const AppSettings& wanted);
    // Puts `settings` in force without touching the file (tests, benchmarks).
    void setSettings(const AppSettings& settings);

    ComputerList& computers() { return computers_; }
    // Reads "range.lst"; a failure leaves the list empty and is returned.
    Result<void> loadComputerList() { return computers_.loadComputerList(); }

signals:
    // After every reload, save or setSettings, also when nothing changed.
    void settingsChanged();

private:
    ormix::ConfigFile config_;
    AppSettings settings_;
    ComputerList computers_;
};

} // namespace ormix
