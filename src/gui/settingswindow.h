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
