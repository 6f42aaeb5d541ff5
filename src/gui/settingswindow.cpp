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

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Label4 = namedLabel(Panel1, "Label4", QStringLiteral("Диапазон адресов для сканирования"));
    d11 = numberField(Panel1, "d11", 0, 255);
    d12 = numberField(Panel1, "d12", 0, 255);
    d13 = numberField(Panel1, "d13", 0, 255);
    d14 = numberField(Panel1, "d14", 0, 255);
    Label3 = namedLabel(Panel1, "Label3", QStringLiteral("-"));
    QFont bold = Label3->font();
    bold.setBold(true);
    Label3->setFont(bold);
    Label3->setAlignment(Qt::AlignCenter);
    d21 = numberField(Panel1, "d21", 0, 255);
    d22 = numberField(Panel1, "d22", 0, 255);
    d23 = numberField(Panel1, "d23", 0, 255);
    d24 = numberField(Panel1, "d24", 0, 255);

    // The last address shares the first two octets: shown, never typed.
    for (NumberField* mirror : {d21, d22}) {
        mirror->setReadOnly(true);
        mirror->setFocusPolicy(Qt::NoFocus);
        QPalette grey = mirror->palette();
        grey.setColor(QPalette::Base, grey.color(QPalette::Window));
        mirror->setPalette(grey);
    }
    connect(d11, &QSpinBox::valueChanged, d21, &QSpinBox::setValue);
    connect(d12, &QSpinBox::valueChanged, d22, &QSpinBox::setValue);
    connect(d13, &QSpinBox::valueChanged, d23, &QSpinBox::setValue);

    auto* octets = new QHBoxLayout;
    octets->setSpacing(2);
    for (QWidget* w : std::initializer_list<QWidget*>{d11, d12, d13, d14, Label3, d21, d22, d23, d24})
        octets->addWidget(w);
    auto* panelLayout = new QVBoxLayout(Panel1);
    panelLayout->setContentsMargins(5, 3, 5, 5);
    panelLayout->setSpacing(3);
    panelLayout->addWidget(Label4);
    panelLayout->addLayout(octets);

    RxSpeedButton1 = flatButton(this, "RxSpeedButton1", QStringLiteral(" Добавить"),
                                QStringLiteral("Добавить диапазон адресов в список"));
    RxSpeedButton1->setIcon(ormixIcon(IconPlusBox));
    RxSpeedButton2 = flatButton(this, "RxSpeedButton2", QStringLiteral(" Удалить"),
                                QStringLiteral("Удалить текущую строку из спсиска"));
    RxSpeedButton2->setIcon(ormixIcon(IconMinusBox));
    for (QToolButton* b : {RxSpeedButton1, RxSpeedButton2})
        b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);

    const QString speedHint = QStringLiteral("Если отключить то скорость сканирования будет выше!");
    GroupCheck = checkBox(this, "GroupCheck", QStringLiteral("Группировать компьютеры по рабочим группам"),
                          QStringLiteral("Группировка найденных компьютеров по рабочим группам в которых они "
                                         "находятся"));
    ResCntCheck = checkBox(this, "ResCntCheck", QStringLiteral("Показывать кол-во ресурсов"), speedHint);
    RxSpeedButton6 = helpButton(this, "RxSpeedButton6");
    EmtyResCheck =
        checkBox(this, "EmtyResCheck", QStringLiteral("Не отображать компьютеры без ресурсов"), speedHint);
    AutoScanCheck = checkBox(this, "AutoScanCheck", QStringLiteral("Автоматическое сканирование: "));
    Label2 = namedLabel(this, "Label2", QStringLiteral("интервал"));
    Interval = numberField(this, "Interval", 5, 6000);
    Label5 = namedLabel(this, "Label5", QStringLiteral("сек."));
    Label1 = namedLabel(this, "Label1", QStringLiteral("Не отображать следующие ресурсы (через запятую)"));
    ExclRes = new QLineEdit(this);
    ExclRes->setObjectName(QStringLiteral("ExclRes"));
    ExclRes->setMaxLength(256);
    ExclRes->installEventFilter(this);
    RxSpeedButton5 = helpButton(this, "RxSpeedButton5");
    IndexCheck =
        checkBox(this, "IndexCheck", QStringLiteral("Индексировать ресурсы"),
                 QStringLiteral("После каждого сканирования обходить все ресурсы и запоминать их файлы "
                                "для мгновенного поиска"));
    IndexWalks = numberField(this, "IndexWalks", 1, 64);
    IndexDb = new QLineEdit(this);
    IndexDb->setObjectName(QStringLiteral("IndexDb"));
    IndexDb->setPlaceholderText(QStringLiteral("файл индекса или postgresql://..."));
    IndexDb->setMaxLength(256);
    RxSpeedButton3 = flatButton(this, "RxSpeedButton3", QStringLiteral("Сохранить"), {});
    RxSpeedButton4 = flatButton(this, "RxSpeedButton4", QStringLiteral("Отмена"), {});
    for (QToolButton* b : {RxSpeedButton3, RxSpeedButton4})
        b->setMinimumWidth(90);

    // Number fields wide enough for their largest value, whatever the font.
    const int digitWidth = d11->fontMetrics().horizontalAdvance(QStringLiteral("0"));
    for (NumberField* f : {d11, d12, d13, d14, d21, d22, d23, d24})
        f->setFixedWidth(digitWidth * 3 + 12);
    Interval->setFixedWidth(digitWidth * 4 + 14);
    IndexWalks->setFixedWidth(digitWidth * 3 + 12);

    auto* options = new QVBoxLayout;
    options->setContentsMargins(6, 0, 6, 6);
    options->setSpacing(3);
    auto* rangeButtons = new QHBoxLayout;
    rangeButtons->addWidget(RxSpeedButton1);
    rangeButtons->addWidget(RxSpeedButton2);
    options->addLayout(rangeButtons);
    options->addWidget(GroupCheck);
    auto* resCount = new QHBoxLayout;
    resCount->addWidget(ResCntCheck, 1);
    resCount->addWidget(RxSpeedButton6);
    options->addLayout(resCount);
    options->addWidget(EmtyResCheck);
    MethodsBox = new DiscoveryMethodsBox(this);
    options->addWidget(MethodsBox);
    options->addWidget(AutoScanCheck);
    auto* interval = new QHBoxLayout;
    interval->setContentsMargins(20, 0, 0, 0);
    interval->addWidget(Label2);
    interval->addWidget(Interval);
    interval->addWidget(Label5);
    interval->addStretch(1);
    options->addLayout(interval);
    options->addWidget(Label1);
    auto* exclude = new QHBoxLayout;
    exclude->addWidget(ExclRes, 1);
    exclude->addWidget(RxSpeedButton5);
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
    closeButtons->addWidget(RxSpeedButton3);
    closeButtons->addSpacing(10);
    closeButtons->addWidget(RxSpeedButton4);
    closeButtons->addStretch(1);
    options->addLayout(closeButtons);

    auto* top = new QVBoxLayout(this);
    top->setContentsMargins(0, 0, 0, 0);
    top->setSpacing(3);
    top->addWidget(AdressesList, 1);
    top->addWidget(Panel1);
    top->addLayout(options);
    // A fixed dialog: the designed 286 x 396, or more where the desktop's
    // font needs it (the list takes the extra height).
    setFixedSize(sizeHint().expandedTo(QSize(286, 396)));

    // The window's buttons set a picture beside their text.
    for (QToolButton* b : {RxSpeedButton1, RxSpeedButton2, RxSpeedButton3, RxSpeedButton4, AccountsButton})
        b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);

    connect(RxSpeedButton1, &QToolButton::clicked, this, &SettingsWindow::SetRangeButtClick);
    connect(RxSpeedButton2, &QToolButton::clicked, this, &SettingsWindow::DelRangeButtClick);
    connect(RxSpeedButton3, &QToolButton::clicked, this, &SettingsWindow::SaveSettButtClick);
    connect(RxSpeedButton4, &QToolButton::clicked, this, &SettingsWindow::CancSettButtClick);
    connect(RxSpeedButton5, &QToolButton::clicked, this, &SettingsWindow::TimeoutHlpBtnClick);
    connect(RxSpeedButton6, &QToolButton::clicked, this, &SettingsWindow::RxSpeedButton6Click);
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

void SettingsWindow::SetRangeButtClick() {
    // Values, not the typed texts: "010" would otherwise reach the scanner as
    // octal.
    const int a = d11->CommittedValue(), b = d12->CommittedValue();
    const int from = d13->CommittedValue(), to = d23->CommittedValue();
    const int d = d14->CommittedValue(), e = d24->CommittedValue();
    for (int n = from; n <= to; ++n)
        AdressesList->addItem(QStringLiteral("%1.%2.%3.%4-%5").arg(a).arg(b).arg(n).arg(d).arg(e));
}

void SettingsWindow::DelRangeButtClick() {
    const QList<QListWidgetItem*> selected = AdressesList->selectedItems();
    if (!selected.isEmpty())
        delete selected.front();
}

void SettingsWindow::SaveSettButtClick() {
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

void SettingsWindow::CancSettButtClick() {
    reject();
}

void SettingsWindow::TimeoutHlpBtnClick() {
    openHelp(kExcludeHelpTopic);
}

void SettingsWindow::RxSpeedButton6Click() {
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
    Label2->setEnabled(autoScan);
    Label5->setEnabled(autoScan);
}

void SettingsWindow::openHelp(int topic) {
    if (host_.OpenHelpTopic)
        host_.OpenHelpTopic(topic);
}

} // namespace ormix
