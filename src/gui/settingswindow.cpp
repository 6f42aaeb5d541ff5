// SettingsWindow; see settingswindow.h.
#include "gui/settingswindow.h"
#include "gui/application.h"

#include "gui/accountswindow.h"
#include "gui/appstate.h"
#include "gui/discoverymethodsbox.h"
#include "gui/icons.h"
#include "gui/numberfield.h"
#include "gui/widgets.h"
#include "platform/programdir.h"
#include "settings/appsettings.h"
#include "settings/configfile.h"
#include "settings/rangefile.h"

#include <QCheckBox>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QToolButton>
#include <QVBoxLayout>

#include <initializer_list>
#include <utility>

namespace ormix {
namespace {

constexpr char kRangeFile[] = "range.txt";

// range.txt lies in the current folder; an installed copy keeps it beside its cfg.ini.
std::string rangeFilePath() {
    if (!runsInstalled())
        return kRangeFile;
    const std::string config = configFilePath();
    return config.substr(0, config.rfind('/') + 1) + kRangeFile;
}

// Code points, not bytes: the configuration file cuts texts by characters.
size_t characterCount(const std::string& utf8) {
    size_t n = 0;
    for (char c : utf8)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80)
            ++n;
    return n;
}

} // namespace

SettingsWindow::SettingsWindow(AppState& state, SetupHost host, QWidget* parent)
    : QDialog(parent), state_(state), host_(std::move(host)) {
    ShowMessage = [this](const QString& text) { QMessageBox::critical(this, MessageBoxTitle(), text); };
    buildLayout();
    showSettings();
}

void SettingsWindow::buildLayout() {
    setObjectName(QStringLiteral("SetupForm"));
    setWindowTitle(QStringLiteral("Setup"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);

    AdressesList = new QListWidget(this);
    AdressesList->setObjectName(QStringLiteral("AdressesList"));
    AdressesList->setMinimumHeight(137);

    rangePanel_ = new QFrame(this);
    rangePanel_->setObjectName(QStringLiteral("Panel1"));
    rangePanel_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    rangeLabel_ = namedLabel(rangePanel_, "Label4", QStringLiteral("Диапазон адресов для сканирования"));
    fromOctet1_ = numberField(rangePanel_, "d11", 0, 255);
    fromOctet2_ = numberField(rangePanel_, "d12", 0, 255);
    fromOctet3_ = numberField(rangePanel_, "d13", 0, 255);
    fromOctet4_ = numberField(rangePanel_, "d14", 0, 255);
    rangeDash_ = namedLabel(rangePanel_, "Label3", QStringLiteral("-"));
    QFont bold = rangeDash_->font();
    bold.setBold(true);
    rangeDash_->setFont(bold);
    rangeDash_->setAlignment(Qt::AlignCenter);
    toOctet1_ = numberField(rangePanel_, "d21", 0, 255);
    toOctet2_ = numberField(rangePanel_, "d22", 0, 255);
    toOctet3_ = numberField(rangePanel_, "d23", 0, 255);
    toOctet4_ = numberField(rangePanel_, "d24", 0, 255);

    // The last address shares the first two octets: shown, never typed.
    for (NumberField* mirror : {toOctet1_, toOctet2_}) {
        mirror->setReadOnly(true);
        mirror->setFocusPolicy(Qt::NoFocus);
        QPalette grey = mirror->palette();
        grey.setColor(QPalette::Base, grey.color(QPalette::Window));
        mirror->setPalette(grey);
    }
    connect(fromOctet1_, &QSpinBox::valueChanged, toOctet1_, &QSpinBox::setValue);
    connect(fromOctet2_, &QSpinBox::valueChanged, toOctet2_, &QSpinBox::setValue);
    connect(fromOctet3_, &QSpinBox::valueChanged, toOctet3_, &QSpinBox::setValue);

    auto* octets = new QHBoxLayout;
    octets->setSpacing(2);
    for (QWidget* w : std::initializer_list<QWidget*>{fromOctet1_, fromOctet2_, fromOctet3_, fromOctet4_,
                                                      rangeDash_, toOctet1_, toOctet2_, toOctet3_, toOctet4_})
        octets->addWidget(w);
    auto* panelLayout = new QVBoxLayout(rangePanel_);
    panelLayout->setContentsMargins(5, 3, 5, 5);
    panelLayout->setSpacing(3);
    panelLayout->addWidget(rangeLabel_);
    panelLayout->addLayout(octets);

    addRangeButton_ = flatButton(this, "RxSpeedButton1", QStringLiteral(" Добавить"),
                                 QStringLiteral("Добавить диапазон адресов в список"));
    addRangeButton_->setIcon(ormixIcon(IconPlusBox));
    deleteRangeButton_ = flatButton(this, "RxSpeedButton2", QStringLiteral(" Удалить"),
                                    QStringLiteral("Удалить текущую строку из спсиска"));
    deleteRangeButton_->setIcon(ormixIcon(IconMinusBox));
    for (QToolButton* b : {addRangeButton_, deleteRangeButton_})
        b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);

    const QString speedHint = QStringLiteral("Если отключить то скорость сканирования будет выше!");
    GroupCheck = checkBox(this, "GroupCheck", QStringLiteral("Группировать компьютеры по рабочим группам"),
                          QStringLiteral("Группировка найденных компьютеров по рабочим группам в которых они "
                                         "находятся"));
    ResCntCheck = checkBox(this, "ResCntCheck", QStringLiteral("Показывать кол-во ресурсов"), speedHint);
    shareCountHelpButton_ = helpButton(this, "RxSpeedButton6");
    EmtyResCheck =
        checkBox(this, "EmtyResCheck", QStringLiteral("Не отображать компьютеры без ресурсов"), speedHint);
    AutoScanCheck = checkBox(this, "AutoScanCheck", QStringLiteral("Автоматическое сканирование: "));
    intervalLabel_ = namedLabel(this, "Label2", QStringLiteral("интервал"));
    Interval = numberField(this, "Interval", 5, 6000);
    secondsLabel_ = namedLabel(this, "Label5", QStringLiteral("сек."));
    excludeLabel_ =
        namedLabel(this, "Label1", QStringLiteral("Не отображать следующие ресурсы (через запятую)"));
    ExclRes = textField(this, "ExclRes");
    ExclRes->setMaxLength(256);
    ExclRes->installEventFilter(this);
    excludeHelpButton_ = helpButton(this, "RxSpeedButton5");
    IndexCheck =
        checkBox(this, "IndexCheck", QStringLiteral("Индексировать ресурсы"),
                 QStringLiteral("После каждого сканирования обходить все ресурсы и запоминать их файлы "
                                "для мгновенного поиска"));
    IndexWalks = numberField(this, "IndexWalks", 1, 64);
    IndexDb = textField(this, "IndexDb");
    IndexDb->setPlaceholderText(QStringLiteral("файл индекса или postgresql://..."));
    IndexDb->setMaxLength(256);
    saveButton_ = flatButton(this, "RxSpeedButton3", QStringLiteral("Сохранить"), {});
    cancelButton_ = flatButton(this, "RxSpeedButton4", QStringLiteral("Отмена"), {});
    for (QToolButton* b : {saveButton_, cancelButton_})
        b->setMinimumWidth(90);

    // Number fields wide enough for their largest value, whatever the font.
    const int digitWidth = fromOctet1_->fontMetrics().horizontalAdvance(QStringLiteral("0"));
    for (NumberField* f :
         {fromOctet1_, fromOctet2_, fromOctet3_, fromOctet4_, toOctet1_, toOctet2_, toOctet3_, toOctet4_})
        f->setFixedWidth(digitWidth * 3 + 12);
    Interval->setFixedWidth(digitWidth * 4 + 14);
    IndexWalks->setFixedWidth(digitWidth * 3 + 12);

    auto* options = new QVBoxLayout;
    options->setContentsMargins(6, 0, 6, 6);
    options->setSpacing(3);
    auto* rangeButtons = new QHBoxLayout;
    rangeButtons->addWidget(addRangeButton_);
    rangeButtons->addWidget(deleteRangeButton_);
    options->addLayout(rangeButtons);
    options->addWidget(GroupCheck);
    auto* resCount = new QHBoxLayout;
    resCount->addWidget(ResCntCheck, 1);
    resCount->addWidget(shareCountHelpButton_);
    options->addLayout(resCount);
    options->addWidget(EmtyResCheck);
    MethodsBox = new DiscoveryMethodsBox(this);
    options->addWidget(MethodsBox);
    options->addWidget(AutoScanCheck);
    auto* interval = new QHBoxLayout;
    interval->setContentsMargins(20, 0, 0, 0);
    interval->addWidget(intervalLabel_);
    interval->addWidget(Interval);
    interval->addWidget(secondsLabel_);
    interval->addStretch(1);
    options->addLayout(interval);
    options->addWidget(excludeLabel_);
    auto* exclude = new QHBoxLayout;
    exclude->addWidget(ExclRes, 1);
    exclude->addWidget(excludeHelpButton_);
    options->addLayout(exclude);
    // Accounts for computers that refuse anonymous users (a window of its own).
    AccountsButton =
        flatButton(this, "AccountsButton", QStringLiteral("Учётные записи…"),
                   QStringLiteral("Учётные записи для компьютеров, которые не пускают без пароля"));
    connect(AccountsButton, &QToolButton::clicked, this, [this] {
        AccountsWindow window(state_.config(), this);
        window.exec();
    });
    options->addWidget(AccountsButton, 0, Qt::AlignLeft);
    options->addWidget(IndexCheck);
    auto* indexWalks = new QHBoxLayout;
    indexWalks->setContentsMargins(20, 0, 0, 0);
    indexWalks->addWidget(namedLabel(this, "IndexWalksLabel", QStringLiteral("ресурсов одновременно:")));
    indexWalks->addWidget(IndexWalks);
    indexWalks->addStretch(1);
    options->addLayout(indexWalks);
    options->addWidget(IndexDb);
    auto* closeButtons = new QHBoxLayout;
    closeButtons->addStretch(1);
    closeButtons->addWidget(saveButton_);
    closeButtons->addSpacing(10);
    closeButtons->addWidget(cancelButton_);
    closeButtons->addStretch(1);
    options->addLayout(closeButtons);

    auto* top = new QVBoxLayout(this);
    top->setContentsMargins(0, 0, 0, 0);
    top->setSpacing(3);
    top->addWidget(AdressesList, 1);
    top->addWidget(rangePanel_);
    top->addLayout(options);
    // A fixed dialog: the designed 286 x 396, or more where the desktop's
    // font needs it (the list takes the extra height).
    setFixedSize(sizeHint().expandedTo(QSize(286, 396)));

    // The window's buttons set a picture beside their text.
    for (QToolButton* b : {addRangeButton_, deleteRangeButton_, saveButton_, cancelButton_, AccountsButton})
        b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);

    connect(addRangeButton_, &QToolButton::clicked, this, &SettingsWindow::onAddRangeClicked);
    connect(deleteRangeButton_, &QToolButton::clicked, this, &SettingsWindow::onDeleteRangeClicked);
    connect(saveButton_, &QToolButton::clicked, this, &SettingsWindow::onSaveClicked);
    connect(cancelButton_, &QToolButton::clicked, this, &SettingsWindow::onCancelClicked);
    connect(excludeHelpButton_, &QToolButton::clicked, this, &SettingsWindow::onExcludeHelpClicked);
    connect(shareCountHelpButton_, &QToolButton::clicked, this, &SettingsWindow::onShareCountHelpClicked);
    // Keyboard toggles follow the dependent controls as mouse clicks do.
    connect(ResCntCheck, &QCheckBox::toggled, this, &SettingsWindow::updateDependentControls);
    connect(AutoScanCheck, &QCheckBox::toggled, this, &SettingsWindow::updateDependentControls);
    connect(IndexCheck, &QCheckBox::toggled, this, &SettingsWindow::updateDependentControls);
}

void SettingsWindow::LoadSettings() {
    state_.reloadSettings();
    showSettings();
}

void SettingsWindow::showSettings() {
    const AppSettings& settings = state_.settings();
    AdressesList->clear();
    for (const std::string& range : settings.ranges)
        AdressesList->addItem(QString::fromStdString(range));
    ResCntCheck->setChecked(settings.showShareCount);
    EmtyResCheck->setChecked(settings.hideEmptyHosts);
    AutoScanCheck->setChecked(settings.autoScan);
    GroupCheck->setChecked(settings.groupByWorkgroup);
    ExclRes->setText(QString::fromStdString(settings.excludeText));
    Interval->setValue(settings.autoScanInterval); // the field keeps it within its bounds
    MethodsBox->load(settings);
    IndexCheck->setChecked(settings.indexShares);
    IndexWalks->setValue(settings.indexWalks);
    IndexDb->setText(QString::fromStdString(settings.indexDb));
    updateDependentControls();
}

void SettingsWindow::onAddRangeClicked() {
    // Values, not the typed texts: "010" would otherwise reach the scanner as
    // octal.
    const int a = fromOctet1_->CommittedValue(), b = fromOctet2_->CommittedValue();
    const int from = fromOctet3_->CommittedValue(), to = toOctet3_->CommittedValue();
    const int d = fromOctet4_->CommittedValue(), e = toOctet4_->CommittedValue();
    for (int n = from; n <= to; ++n)
        AdressesList->addItem(QStringLiteral("%1.%2.%3.%4-%5").arg(a).arg(b).arg(n).arg(d).arg(e));
}

void SettingsWindow::onDeleteRangeClicked() {
    const QList<QListWidgetItem*> selected = AdressesList->selectedItems();
    if (!selected.isEmpty())
        delete selected.front();
}

void SettingsWindow::onSaveClicked() {
    std::vector<std::string> ranges;
    for (int i = 0; i < AdressesList->count(); ++i)
        ranges.push_back(AdressesList->item(i)->text().toStdString());
    const std::string rangeText = EncodeCommaList(ranges);
    // The file gives back at most kTextLimit characters of a text; a longer
    // list would come back cut, its last range possibly in mid-text.
    if (characterCount(rangeText) > ConfigFile::kTextLimit) {
        ShowMessage(QStringLiteral("Список диапазонов слишком длинный: в файле настроек для него есть место "
                                   "не более чем на %1 символов. Удалите часть строк.")
                        .arg(ConfigFile::kTextLimit));
        return;
    }
    AppSettings wanted = state_.settings();
    wanted.ranges = ranges;
    wanted.showShareCount = ResCntCheck->isChecked();
    wanted.excludeText = ExclRes->text().toStdString();
    wanted.hideEmptyHosts = EmtyResCheck->isChecked();
    wanted.autoScan = AutoScanCheck->isChecked();
    wanted.autoScanInterval = Interval->CommittedValue();
    wanted.groupByWorkgroup = GroupCheck->isChecked();
    MethodsBox->save(wanted);
    wanted.indexShares = IndexCheck->isChecked();
    wanted.indexWalks = IndexWalks->CommittedValue();
    wanted.indexDb = IndexDb->text().trimmed().toStdString();
    try {
        // One rewrite of cfg.ini; the settings in force are then what the file holds.
        state_.saveSettings(wanted);
    } catch (const ConfigWriteError& e) {
        ShowMessage(QString::fromUtf8(e.what()));
        return;
    }
    if (!WriteRangeFile(rangeFilePath(), ranges))
        ShowMessage(QStringLiteral("SetupUnit: fopen() ERROR!"));
    showSettings();
    accept();
}

void SettingsWindow::onCancelClicked() {
    reject();
}

void SettingsWindow::onExcludeHelpClicked() {
    openHelp(kExcludeHelpTopic);
}

void SettingsWindow::onShareCountHelpClicked() {
    openHelp(kResCountHelpTopic);
}

void SettingsWindow::showEvent(QShowEvent* event) {
    LoadSettings();
    QDialog::showEvent(event);
}

bool SettingsWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ExclRes && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_F1) {
        openHelp(kExcludeHelpTopic);
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void SettingsWindow::updateDependentControls() {
    EmtyResCheck->setEnabled(ResCntCheck->isChecked());
    const bool autoScan = AutoScanCheck->isChecked();
    Interval->setEnabled(autoScan);
    IndexWalks->setEnabled(IndexCheck->isChecked());
    intervalLabel_->setEnabled(autoScan);
    secondsLabel_->setEnabled(autoScan);
}

void SettingsWindow::openHelp(int topic) {
    if (host_.OpenHelpTopic)
        host_.OpenHelpTopic(topic);
}

} // namespace ormix
