#include "gui/programswindow.h"

#include "gui/application.h"
#include "gui/help.h"
#include "gui/widgets.h"
#include "settings/configfile.h"

#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace ormix {

namespace {
constexpr const char* kSection = "ProgList";
}

ProgramsWindow::ProgramsWindow(ConfigFile& cfg, QWidget* parent) : QDialog(parent), cfg_(cfg) {
    setObjectName("OpenWithForm");
    setWindowTitle("Открыть в...");

    auto* programsLabel = namedLabel(this, "StaticText1", "Список программ:");
    ProgListList = new QListWidget(this);
    ProgListList->setObjectName("ProgListList");
    ProgListList->setSelectionMode(QAbstractItemView::SingleSelection);
    ProgListList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ProgListList->setFixedWidth(150);

    auto* nameLabel = namedLabel(this, "StaticText3", "Название программы");
    ProgNameEdit = textField(this, "ProgNameEdit");
    auto* commandLabel = namedLabel(this, "StaticText2", "Командная строка:");
    ComStrEdit = textField(this, "ComStrEdit");
    // The placeholders the search window fills in when it runs the program.
    HintText = namedLabel(this, "HintText", kPlaceholderHint);
    HintText->setWordWrap(true);
    HintText->setTextFormat(Qt::PlainText);
    QFont small = HintText->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    HintText->setFont(small);
    ComStrEdit->setToolTip(kPlaceholderHint);

    AddButt = pushButton(this, "AddButt", "Сохранить");
    DelButt = pushButton(this, "DelButt", " Удалить");
    closeButton_ = pushButton(this, "RxSpeedButton1", "Закрыть", "Закрыть");
    TimeoutHlpBtn = pushButton(this, "TimeoutHlpBtn", "?", "Справка");
    TimeoutHlpBtn->setFixedWidth(28);

    auto* left = new QVBoxLayout;
    left->addWidget(programsLabel);
    left->addWidget(ProgListList, 1);

    auto* right = new QVBoxLayout;
    right->addWidget(nameLabel);
    right->addWidget(ProgNameEdit);
    right->addWidget(commandLabel);
    right->addWidget(ComStrEdit);
    right->addWidget(HintText, 1, Qt::AlignTop);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(AddButt);
    buttons->addWidget(DelButt);
    buttons->addStretch(1);
    buttons->addWidget(closeButton_);
    buttons->addWidget(TimeoutHlpBtn);
    right->addLayout(buttons);

    auto* top = new QHBoxLayout(this);
    top->addLayout(left);
    top->addLayout(right, 1);

    setFixedSize(451, 193);

    ShowMessage = [this](const QString& text) { QMessageBox::information(this, MessageBoxTitle(), text); };

    connect(AddButt, &QPushButton::clicked, this, &ProgramsWindow::onAddClicked);
    connect(DelButt, &QPushButton::clicked, this, &ProgramsWindow::onDeleteClicked);
    connect(closeButton_, &QPushButton::clicked, this, &QDialog::close);
    connect(TimeoutHlpBtn, &QPushButton::clicked, this, [] { OpenHelpTopic(20); });
    connect(ProgListList, &QListWidget::itemSelectionChanged, this, &ProgramsWindow::ProgListListChange);

    ReloadPrograms();
}

void ProgramsWindow::ReloadPrograms() {
    ProgListList->clear();
    ProgNames.clear();
    cfg_.ListKeys(kSection, ProgNames);
    for (const std::string& name : ProgNames)
        ProgListList->addItem(QString::fromStdString(name));
    ComStrEdit->clear();
    ProgNameEdit->clear();
}

void ProgramsWindow::ProgListListChange() {
    const QList<QListWidgetItem*> sel = ProgListList->selectedItems();
    if (sel.isEmpty())
        return;
    const QString name = sel.first()->text();
    ProgNameEdit->setText(name);
    ComStrEdit->setText(QString::fromStdString(cfg_.ReadText(kSection, name.toStdString(), "???")));
}

void ProgramsWindow::onAddClicked() {
    const std::string name = ProgNameEdit->text().toStdString();
    const std::string tmpl = ComStrEdit->text().toStdString();
    if (name.empty()) {
        ShowMessage("Не заполнено название программы!");
    } else if (tmpl.empty()) {
        ShowMessage("Не указана командная строка запуска программы!");
    } else if (!ConfigFile::IsStorableKey(name)) {
        // The file could not give such a name back as the same key.
        ShowMessage("Название программы не может быть пустым, начинаться с \";\" или содержать \"=\"!");
    } else {
        try {
            cfg_.WriteText(kSection, name, tmpl);
        } catch (const ConfigWriteError& e) {
            ReportError(QString::fromStdString(e.what()));
        }
    }
    ReloadPrograms();
}

void ProgramsWindow::onDeleteClicked() {
    const QList<QListWidgetItem*> sel = ProgListList->selectedItems();
    if (sel.isEmpty())
        return;
    cfg_.RemoveKey(kSection, sel.first()->text().toStdString());
    ReloadPrograms();
}

} // namespace ormix
