// AppState; see appstate.h.
#include "gui/appstate.h"

#include <utility>

namespace ormix {

AppState::AppState(std::string configPath, const std::string& programDir, QObject* parent)
    : QObject(parent), config_(std::move(configPath)), computers_(programDir + "range.lst") {}

void AppState::reloadSettings() {
    setSettings(loadAppSettings(config_));
}

void AppState::saveSettings(const AppSettings& wanted) {
    saveAppSettings(config_, wanted);
    reloadSettings();
}

void AppState::setSettings(const AppSettings& settings) {
    settings_ = settings;
    emit settingsChanged();
}

} // namespace ormix
