// ProgramsWindow: the user's list of programs for opening found files, kept in
// cfg.ini section "ProgList" (key = name, value = command-line template).
// Tests: tests/gui/programswindow_test.cpp.
#pragma once

#include <QDialog>

#include <functional>
#include <string>
#include <vector>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace ormix {

class ConfigFile;

inline constexpr const char* kPlaceholderHint = "%%prg%% — файл, %%dir%% — его папка\n"
                                                "(локальные пути); %%url%% — адрес smb://…\n"
                                                "%%unc%% — путь \\\\компьютер\\ресурс\\…";

class ProgramsWindow : public QDialog {
    Q_OBJECT
public:
    explicit ProgramsWindow(ConfigFile& cfg, QWidget* parent = nullptr);

    // Message boxes go through here so tests can watch them.
    std::function<void(const QString&)> ShowMessage;

    QListWidget* ProgListList;
    QLineEdit* ComStrEdit;
    QLabel* HintText; // the placeholders a template may use
    QLineEdit* ProgNameEdit;
    QPushButton* AddButt;
    QPushButton* DelButt;
    QPushButton* closeButton_;
    QPushButton* TimeoutHlpBtn;

    void ReloadPrograms();
    void onAddClicked();
    void onDeleteClicked();
    void ProgListListChange();

private:
    ConfigFile& cfg_;
    std::vector<std::string> ProgNames;
};

} // namespace ormix
