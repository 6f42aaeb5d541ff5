// TSetupForm, the settings window: edits the scan ranges and the options of
// section "main" of cfg.ini, owns the scan-range list the scanner walks, and
// runs the settings loader that fills the main window's mirrors.
// Tests: tests/settings/setupform_test.cpp.
#pragma once

#include "settings/scanranges.h"
#include "settings/settingsmirrors.h"

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

class ConfigFile;
class DiscoveryMethodsBox;
class NumberField;

// What the window needs from the main window. Both may be left empty.
struct SetupHost {
    // Receives the settings after every load, as one value.
    std::function<void(const SettingsMirrors&)> ApplySettings;
    std::function<void(int topic)> OpenHelpTopic;
};

class TSetupForm : public QDialog {
    Q_OBJECT
public:
    static constexpr int kResCountHelpTopic = 30;
    static constexpr int kExcludeHelpTopic = 12;

    // Runs LoadSettings, so `config` must be usable and `host` set up.
    TSetupForm(ConfigFile& config, SetupHost host, QWidget* parent = nullptr);

    // Reads section "main" into ScanRanges, the host's mirrors and the controls.
    void LoadSettings();

    // Scan ranges in force; replaced as a whole by each LoadSettings.
    ScanRangeList ScanRanges;
    // The text of key ExcludeRes as last loaded.
    std::string ExcludeText;

    // Shows a message box with this text; tests replace it to catch the text.
    std::function<void(const QString&)> ShowMessage;

    QListWidget* AdressesList;
    QFrame* Panel1;
    QLabel* Label4;
    NumberField* d11;
    NumberField* d12;
    NumberField* d13;
    NumberField* d14;
    QLabel* Label3;
    NumberField* d21;
    NumberField* d22;
    NumberField* d23;
    NumberField* d24;
    QToolButton* RxSpeedButton1; // " Добавить"
    QToolButton* RxSpeedButton2; // " Удалить"
    QCheckBox* GroupCheck;
    QCheckBox* ResCntCheck;
    QToolButton* RxSpeedButton6; // help beside ResCntCheck
    QCheckBox* EmtyResCheck;
    QCheckBox* AutoScanCheck;
    DiscoveryMethodsBox* MethodsBox; // "Способы поиска компьютеров"
    QLabel* Label2;
    NumberField* Interval;
    QLabel* Label5;
    QLabel* Label1;
    QLineEdit* ExclRes;
    QToolButton* RxSpeedButton5; // help beside ExclRes
    QCheckBox* IndexCheck;       // "Индексировать ресурсы" (main/IndexShares)
    NumberField* IndexWalks;     // shares walked at once (main/IndexWalks)
    QLineEdit* IndexDb;          // index file or postgresql://... (main/IndexDb)
    QToolButton* RxSpeedButton3; // "Сохранить"
    QToolButton* RxSpeedButton4; // "Отмена"

public slots:
    void SetRangeButtClick();
    void DelRangeButtClick();
    void SaveSettButtClick();
    void CancSettButtClick();
    void TimeoutHlpBtnClick();
    void RxSpeedButton6Click();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildLayout();
    void updateDependentControls();
    void openHelp(int topic);

    ConfigFile& config_;

public:
    QToolButton* AccountsButton = nullptr; // "Учётные записи…"

private:
    SetupHost host_;
    bool centred_ = false;
};

} // namespace ormix
