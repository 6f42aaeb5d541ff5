// SettingsWindow, the settings window: edits the scan ranges and the options of
// section "main" of cfg.ini in the program's shared settings (AppState) and
// asks it to save them; every showing reloads them from the file first.
// Tests: tests/gui/settingswindow_test.cpp.
#pragma once

#include <QDialog>

#include <functional>
#include <string>

class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QToolButton;

namespace ormix {

class AppState;
class DiscoveryMethodsBox;
class NumberField;

// What the window needs from the main window; may be left empty.
struct SetupHost {
    std::function<void(int topic)> OpenHelpTopic;
};

class SettingsWindow : public QDialog {
    Q_OBJECT
public:
    static constexpr int kResCountHelpTopic = 30;
    static constexpr int kExcludeHelpTopic = 12;

    // The controls start from the settings `state` holds; the file is not read.
    SettingsWindow(AppState& state, SetupHost host, QWidget* parent = nullptr);

    // Has the shared settings reloaded from cfg.ini and shows them.
    void LoadSettings();

    // Shows a message box with this text; tests replace it to catch the text.
    std::function<void(const QString&)> ShowMessage;

    QListWidget* AdressesList;
    // The range to add: its first and its last address, octet by octet.
    QFrame* rangePanel_;
    QLabel* rangeLabel_;
    NumberField* fromOctet1_;
    NumberField* fromOctet2_;
    NumberField* fromOctet3_;
    NumberField* fromOctet4_;
    QLabel* rangeDash_;
    NumberField* toOctet1_;
    NumberField* toOctet2_;
    NumberField* toOctet3_;
    NumberField* toOctet4_;
    QToolButton* addRangeButton_;
    QToolButton* deleteRangeButton_;
    QCheckBox* GroupCheck;
    QCheckBox* ResCntCheck;
    QToolButton* shareCountHelpButton_;
    QCheckBox* EmtyResCheck;
    QCheckBox* AutoScanCheck;
    DiscoveryMethodsBox* MethodsBox; // "Способы поиска компьютеров"
    QLabel* intervalLabel_;
    NumberField* Interval;
    QLabel* secondsLabel_;
    QLabel* excludeLabel_;
    QLineEdit* ExclRes;
    QToolButton* excludeHelpButton_;
    QCheckBox* IndexCheck;   // "Индексировать ресурсы" (main/IndexShares)
    NumberField* IndexWalks; // shares walked at once (main/IndexWalks)
    QLineEdit* IndexDb;      // index file or postgresql://... (main/IndexDb)
    QToolButton* saveButton_;
    QToolButton* cancelButton_;

public slots:
    void onAddRangeClicked();
    void onDeleteRangeClicked();
    void onSaveClicked();
    void onCancelClicked();
    void onExcludeHelpClicked();
    void onShareCountHelpClicked();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildLayout();
    void showSettings();
    void updateDependentControls();
    void openHelp(int topic);

    AppState& state_;

public:
    QToolButton* AccountsButton = nullptr; // "Учётные записи…"

private:
    SetupHost host_;
    bool centred_ = false;
};

} // namespace ormix
