#include "gui/searchwindow.h"

#include "settings/appsettings.h"

#include "export/rowformat.h"
#include "gui/application.h"
#include "gui/csvexport.h"
#include "gui/help.h"
#include "gui/icons.h"
#include "gui/programswindow.h"
#include "gui/widgets.h"
#include "index/indexsearch.h"
#include "index/indexservice.h"
#include "index/recording.h"
#include "platform/codepage.h"
#include "platform/displaytext.h"
#include "platform/launcher.h"
#include "platform/smbpath.h"
#include "search/pattern.h"
#include "search/resultcompare.h"
#include "search/sizetext.h"
#include "search/smbjobs.h"
#include "settings/configfile.h"
#include "shares/smbproto.h"

#include <QApplication>
#include <QButtonGroup>
#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <climits>
#include <thread>

namespace ormix {

namespace {

// How long an opener is watched for a failure it reports by its exit code.
constexpr int kOpenerWatchMs = 10000;

std::u16string_view view(const QString& s) {
    return {reinterpret_cast<const char16_t*>(s.utf16()), static_cast<size_t>(s.size())};
}

// The folder of a path as the program keeps it: everything before the last backslash.
QString folderOf(const QString& path) {
    return path.left(path.lastIndexOf('\\'));
}

QString urlOf(const QString& uncPath) {
    return QString::fromStdString(uncToSmbUrl(uncPath.toStdString()));
}

// The engine counts code page 1251 characters, one per Unicode code point;
// QLineEdit counts UTF-16 units.
int qtIndexOfCodePoint(const QString& s, int codePoint) {
    int i = 0;
    for (int cp = 0; cp < codePoint && i < s.size(); ++cp)
        i += (s.at(i).isHighSurrogate() && i + 1 < s.size()) ? 2 : 1;
    return i;
}

} // namespace

namespace {

QString visible(const std::string& utf8) {
    return QString::fromStdString(displayText(utf8));
}

} // namespace

ResultItem::ResultItem(const QString& host, const QString& path, const QString& sizeText, int64_t size)
    : QTreeWidgetItem(QStringList{visible(host.toStdString()), visible(path.toStdString()), sizeText}),
      Size(size), Path(path), Host(host) {
    // The column elides in the middle; the whole path stays one hover away.
    setToolTip(1, text(1));
}

bool ResultItem::operator<(const QTreeWidgetItem& other) const {
    const auto* form = treeWidget() ? qobject_cast<const SearchWindow*>(treeWidget()->window()) : nullptr;
    if (!form)
        return QTreeWidgetItem::operator<(other);
    return form->ResultListCompare(*this, static_cast<const ResultItem&>(other)) < 0;
}

SearchWindow::SearchWindow(ConfigFile& cfg, QWidget* parent) : QDialog(parent), cfg_(cfg) {
    setObjectName("IndexForm");
    setWindowTitle(":: Search v1.1 ::");
    buildControls();

    ownWalker_ = MakeHelperShareWalker();
    ownCopier_ = MakeHelperFileCopier();
    walker_ = ownWalker_.get();
    copier_ = ownCopier_.get();

    runner_ = std::make_unique<SearchRunner>(*this, *walker_, StopRequested);
    runner_->OnShareStarted = [this](const ScannedShare& entry) {
        historyLog_->appendPlainText(QString::fromStdString(ScannedShareText(entry)));
    };
    runner_->OnSearchFinished = [this] { searchFinished(); };

    ShowMessage = [this](const QString& text) { QMessageBox::information(this, MessageBoxTitle(), text); };
    AskSaveFileName = [this](const QString& suggested) {
        return QFileDialog::getSaveFileName(this, QString(), QDir::home().filePath(suggested), QString(),
                                            nullptr, QFileDialog::DontConfirmOverwrite);
    };
    AskCsvPath = [this] { return AskCsvExportPath(this, QStringLiteral("found.csv")); };

    // FormCreate
    StopBtn->setEnabled(false);
    RegexMode = false;
}

// The window lives as long as the process; a search still running here would
// call into a dead object, so leave the workers nothing more to report.
SearchWindow::~SearchWindow() {
    StopRequested = true; // the runner, destroyed first, waits for its workers
}

void SearchWindow::StopSearchAndWait() {
    StopRequested = true;
    // A share mounted for a program may not answer: its gio is killed rather
    // than waited for.
    pathsJob_.CancelAndWait();
    runner_->WaitForWorkers();
    // The index search polls the same stop flag; its thread and the index's
    // refresh and writer threads are joined by their owners' destructors.
    indexRunner_.reset();
    index_.reset();
}

bool SearchWindow::Searching() const {
    return runner_->Running() || (indexRunner_ && indexRunner_->running());
}

void SearchWindow::EnableIndex() {
    if (index_)
        return;
    // Records what the current walker lists (the SMB helpers, or a test's).
    index_ = std::make_unique<IndexService>(*walker_);
    index_->configure(LoadIndexSettings(cfg_));
    indexRunner_ = std::make_unique<IndexSearchRunner>(*this, StopRequested);
    indexRunner_->onSearchFinished = [this](const IndexSearchSummary& s, const std::string& error) {
        labelIndexAge->setText(error.empty() ? QString::fromStdString(IndexAgeText(s, IndexNow()))
                                             : " Индекс недоступен: " + QString::fromStdString(error));
        searchFinished();
    };
    IndexRB->setEnabled(true);
    NetworkRB->setEnabled(true);
}

void SearchWindow::RefreshIndexAfterScan() {
    if (!index_)
        return;
    index_->configure(LoadIndexSettings(cfg_));
    if (!index_->settings().refreshAfterScan)
        return;
    index_->startRefresh(SearchShares);
}

void SearchWindow::SetShareWalker(ShareWalker* walker) {
    walker_ = walker ? walker : ownWalker_.get();
    runner_->SetWalker(*walker_);
}

void SearchWindow::SetFileCopier(FileCopier* copier) {
    copier_ = copier ? copier : ownCopier_.get();
}

void SearchWindow::SetShareMounter(ShareMounter* mounter) {
    pathsJob_.Wait();
    pathsJob_.SetMounter(mounter ? *mounter : ownMounter_);
}

void SearchWindow::setActionStatus(const QString& text) {
    labelAction->setText(text);
    labelAction->setVisible(!text.isEmpty());
}

void SearchWindow::buildControls() {
    SearchDescrText = namedLabel(this, "SearchDescrText", "Имя файла для поиска :");
    SrchStr = textField(this, "SrchStr");
    SrchHlpBtn = pushButton(this, "SrchHlpBtn", "?", "Справка");
    SrchHlpBtn->setFixedWidth(24);
    ExtSearchBtn = iconButton(this, "ExtSearchBtn", IconPlusBox, "Расширенный поиск (показать/убрать)");
    StartBtn = pushButton(this, "StartBtn", "Искать!", "Искать");
    StartBtn->setIcon(ormixIcon(14));
    StopBtn = pushButton(this, "StopBtn", "Стоп!", "Остановить поиск");
    closeButton_ = pushButton(this, "RxSpeedButton1", "Закрыть", "Закрыть");
    closeButton_->setIcon(ormixIcon(13));
    busyIndicator_ = new QProgressBar(this);
    busyIndicator_->setObjectName("RxGIFAnimator1");
    busyIndicator_->setRange(0, 0);
    busyIndicator_->setTextVisible(false);
    busyIndicator_->setFixedSize(48, 12);
    busyIndicator_->hide();

    auto* top = new QGridLayout;
    top->addWidget(SearchDescrText, 0, 0, 1, 3);
    top->addWidget(SrchStr, 1, 0);
    top->addWidget(SrchHlpBtn, 1, 1);
    top->addWidget(ExtSearchBtn, 1, 2);
    top->addWidget(StartBtn, 1, 3);
    top->addWidget(StopBtn, 1, 4);
    top->addWidget(closeButton_, 1, 5);
    top->addWidget(busyIndicator_, 0, 5, Qt::AlignRight);
    top->setColumnStretch(0, 1);

    // Extended search: mode, expression test, size band.
    ExtSrchPanel = new QWidget(this);
    ExtSrchPanel->setObjectName("ExtSrchPanel");
    TextRB = new QRadioButton("Обычный текст", ExtSrchPanel);
    TextRB->setObjectName("TextRB");
    TextRB->setChecked(true);
    RegexpRB = new QRadioButton("Регулярное выражение", ExtSrchPanel);
    RegexpRB->setObjectName("RegexpRB");
    auto* modeGroup = new QButtonGroup(ExtSrchPanel);
    modeGroup->addButton(TextRB);
    modeGroup->addButton(RegexpRB);
    regexHelpButton_ = pushButton(ExtSrchPanel, "RxSpeedButton5", "?");
    regexHelpButton_->setFixedWidth(24);
    auto* regexTestLabel = namedLabel(ExtSrchPanel, "StaticText2", "Проверка регулярного выражения:");
    RegExprTestEdit =
        new QLineEdit("введите текст на котором будет применено регулярное выражение", ExtSrchPanel);
    RegExprTestEdit->setObjectName("RegExprTestEdit");
    RegExprTestEdit->setEnabled(false);
    testRegexButton_ = pushButton(ExtSrchPanel, "RxSpeedButton6", "Проверить");
    testRegexButton_->setEnabled(false);

    SzLimitPanel = new QWidget(ExtSrchPanel);
    SzLimitPanel->setObjectName("SzLimitPanel");
    SpinFrom = new QSpinBox(SzLimitPanel);
    SpinFrom->setObjectName("SpinFrom");
    SpinTo = new QSpinBox(SzLimitPanel);
    SpinTo->setObjectName("SpinTo");
    for (QSpinBox* s : {SpinFrom, SpinTo}) {
        s->setRange(0, INT_MAX);
        s->setFixedWidth(66);
    }
    SLimClr = pushButton(SzLimitPanel, "SLimClr", "x", "Отменить ограничение по размеру");
    SLimClr->setFixedWidth(24);
    auto* band = new QGridLayout(SzLimitPanel);
    band->setContentsMargins(0, 0, 0, 0);
    band->setVerticalSpacing(2);
    band->setHorizontalSpacing(3);
    band->addWidget(namedLabel(SzLimitPanel, nullptr, "Найденные файлы должны быть...."), 0, 0, 1, 6);
    band->addWidget(namedLabel(SzLimitPanel, nullptr, "От : "), 1, 0);
    band->addWidget(SpinFrom, 1, 1);
    band->addWidget(namedLabel(SzLimitPanel, nullptr, "До: "), 1, 2);
    band->addWidget(SpinTo, 1, 3);
    band->addWidget(namedLabel(SzLimitPanel, nullptr, "Кб."), 1, 4);
    band->addWidget(SLimClr, 1, 5);

    auto* ext = new QGridLayout(ExtSrchPanel);
    ext->setContentsMargins(0, 2, 0, 2);
    ext->setVerticalSpacing(2);
    auto* modes = new QHBoxLayout;
    modes->addWidget(TextRB);
    modes->addWidget(RegexpRB);
    modes->addWidget(regexHelpButton_);
    modes->addStretch(1);
    ext->addLayout(modes, 0, 0);
    ext->addWidget(regexTestLabel, 1, 0);
    // The test line takes the whole width: its default text is a long one.
    auto* test = new QHBoxLayout;
    test->addWidget(RegExprTestEdit, 1);
    test->addWidget(testRegexButton_);
    ext->addLayout(test, 2, 0, 1, 2);
    ext->addWidget(SzLimitPanel, 0, 1, 2, 1);
    ext->setColumnStretch(0, 1);
    ExtSrchPanel->setFixedHeight(1);

    copyFileButton_ = iconButton(this, "RxSpeedButton2", 10, "Копировать выбранный файл");
    openFolderButton_ = iconButton(this, "RxSpeedButton3", 5, "Открыть директорию с выбранным файлом");
    copyPathButton_ = iconButton(this, "RxSpeedButton4", 12, "Копировать полный путь файла в буфер");

    ResultList = new QTreeWidget(this);
    ResultList->setObjectName("ResultList");
    ResultList->setColumnCount(3);
    ResultList->setHeaderLabels({"Название компьютера", "Путь к файлу", "Размер файла"});
    ResultList->setColumnWidth(0, 150);
    ResultList->setColumnWidth(1, 280);
    ResultList->setColumnWidth(2, 120);
    ResultList->setRootIsDecorated(false);
    // A long path keeps its start and the file name.
    ResultList->setTextElideMode(Qt::ElideMiddle);
    ResultList->setUniformRowHeights(true);
    ResultList->setSelectionBehavior(QAbstractItemView::SelectRows);
    ResultList->setSelectionMode(QAbstractItemView::SingleSelection);
    ResultList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ResultList->setSortingEnabled(false);
    ResultList->header()->setSectionsClickable(true);
    ResultList->setContextMenuPolicy(Qt::CustomContextMenu);

    historyLog_ = new QPlainTextEdit(this);
    historyLog_->setObjectName("Memo2");
    historyLog_->setReadOnly(true);
    historyLog_->setPlainText("Список ресурсов по которым осуществляется поиск");

    resultTabs_ = new QTabWidget(this);
    resultTabs_->setObjectName("PageControl1");
    auto* resultsPage = new QWidget;
    auto* resultsLayout = new QVBoxLayout(resultsPage);
    resultsLayout->setContentsMargins(2, 2, 2, 2);
    resultsLayout->setSpacing(2);
    auto* actions = new QHBoxLayout;
    actions->addWidget(copyFileButton_);
    actions->addWidget(openFolderButton_);
    actions->addWidget(copyPathButton_);
    actions->addStretch(1);
    CsvExportBtn = pushButton(this, "CsvExportBtn", "Экспорт в CSV",
                              "Сохранить найденные файлы для электронной таблицы");
    actions->addWidget(CsvExportBtn);
    resultsLayout->addLayout(actions);
    resultsLayout->addWidget(ResultList, 1);
    resultTabs_->addTab(resultsPage, "Результаты поиска");
    resultTabs_->addTab(historyLog_, "История поиска");

    auto* status = new QStatusBar(this);
    status->setSizeGripEnabled(false);
    labelThrCnt = namedLabel(this, "labelThrCnt", "0");
    labelFileCnt = namedLabel(this, "labelFileCnt", "0");
    labelFoundedFileCnt = namedLabel(this, "labelFoundedFileCnt", "0");
    for (auto [caption, value] :
         {std::pair{"Активных потоков: ", labelThrCnt}, std::pair{"Всего файлов и папок: ", labelFileCnt},
          std::pair{"Найдено: ", labelFoundedFileCnt}}) {
        auto* cell = new QWidget(status);
        auto* l = new QHBoxLayout(cell);
        l->setContentsMargins(4, 0, 12, 0);
        l->setSpacing(0);
        l->addWidget(namedLabel(cell, nullptr, caption));
        l->addWidget(value);
        value->setMinimumWidth(48);
        status->addWidget(cell);
    }
    // Its own line above the counters, shown only while it has something to say.
    labelAction = namedLabel(this, "labelAction", "");
    labelAction->setWordWrap(true);
    labelAction->setTextFormat(Qt::PlainText);
    labelAction->hide();

    // Where to search: the index (when there is one) or the network.
    auto* source = new QHBoxLayout;
    source->addWidget(namedLabel(this, nullptr, "Искать: "));
    IndexRB = new QRadioButton("в индексе", this);
    IndexRB->setObjectName("IndexRB");
    NetworkRB = new QRadioButton("по сети", this);
    NetworkRB->setObjectName("NetworkRB");
    NetworkRB->setChecked(true);
    // A group of their own: radio buttons that only share a parent are
    // grouped with every radio button below it, the search modes included.
    auto* sourceGroup = new QButtonGroup(this);
    sourceGroup->addButton(IndexRB);
    sourceGroup->addButton(NetworkRB);
    IndexRB->setEnabled(false);
    NetworkRB->setEnabled(false);
    source->addWidget(IndexRB);
    source->addWidget(NetworkRB);
    source->addStretch(1);
    labelIndexAge = namedLabel(this, "labelIndexAge", "");
    source->addWidget(labelIndexAge);
    connect(NetworkRB, &QRadioButton::toggled, this, [this] {
        if (!applyingDefault_)
            sourceChosen_ = true;
    });

    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(6, 6, 6, 0);
    root->setSpacing(4);
    root->addLayout(top);
    root->addLayout(source);
    root->addWidget(ExtSrchPanel);
    root->addWidget(resultTabs_, 1);
    root->addWidget(labelAction);
    root->addWidget(status);

    statusTimer_ = new QTimer(this);
    statusTimer_->setInterval(500);
    resultMenu_ = new QMenu(this);
    resultMenu_->setObjectName("PopupMenu1");

    setFixedSize(683, 398);

    connect(StartBtn, &QPushButton::clicked, this, &SearchWindow::StartSearch);
    connect(SrchStr, &QLineEdit::returnPressed, this, &SearchWindow::StartSearch);
    connect(RegExprTestEdit, &QLineEdit::returnPressed, this, &SearchWindow::StartSearch);
    connect(StopBtn, &QPushButton::clicked, this, &SearchWindow::onStopClicked);
    connect(closeButton_, &QPushButton::clicked, this, &QDialog::close);
    connect(SrchHlpBtn, &QPushButton::clicked, this, [] { OpenHelpTopic(15); });
    connect(regexHelpButton_, &QPushButton::clicked, this, [] { OpenHelpTopic(19); });
    connect(ExtSearchBtn, &QToolButton::clicked, this, &SearchWindow::onExtendedSearchClicked);
    connect(TextRB, &QRadioButton::clicked, this, &SearchWindow::onSearchModeClicked);
    connect(RegexpRB, &QRadioButton::clicked, this, &SearchWindow::onSearchModeClicked);
    connect(testRegexButton_, &QPushButton::clicked, this, &SearchWindow::onTestRegexClicked);
    connect(SLimClr, &QPushButton::clicked, this, &SearchWindow::onClearSizeLimitClicked);
    connect(statusTimer_, &QTimer::timeout, this, &SearchWindow::onStatusTimer);
    connect(copyFileButton_, &QToolButton::clicked, this, &SearchWindow::onCopyFileClicked);
    connect(CsvExportBtn, &QPushButton::clicked, this, &SearchWindow::onCsvExportClicked);
    connect(openFolderButton_, &QToolButton::clicked, this, &SearchWindow::onOpenFolderClicked);
    connect(copyPathButton_, &QToolButton::clicked, this, &SearchWindow::onCopyPathClicked);
    connect(ResultList, &QTreeWidget::itemDoubleClicked, this, [this] { onOpenFolderClicked(); });
    connect(ResultList->header(), &QHeaderView::sectionClicked, this, &SearchWindow::ResultListColumnClick);
    connect(ResultList, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { resultMenu_->popup(ResultList->viewport()->mapToGlobal(pos)); });
}

void SearchWindow::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    BuildResultMenu();
    statusTimer_->start();
    ExtSrchPanel->setFixedHeight(1);
    ExtSearchBtn->setIcon(ormixIcon(IconPlusBox));
    // The index is the default once it holds anything. A local file answers
    // at once; a shared server is not asked on the GUI thread.
    if (index_ && !sourceChosen_ && !Searching() && !IndexStore::isPostgresLocation(index_->settings().db)) {
        applyingDefault_ = true;
        (index_->holdsAnything() ? IndexRB : NetworkRB)->setChecked(true);
        applyingDefault_ = false;
    }
}

void SearchWindow::hideEvent(QHideEvent* e) {
    statusTimer_->stop();
    QDialog::hideEvent(e);
}

bool SearchWindow::PreparePattern(const QString& text) {
    const std::optional<std::string> expr = ormix::PreparePattern(text.toStdString(), RegexMode);
    if (!expr) {
        ShowMessage(QString::fromUtf8(kEmptyPatternMessage));
        return false;
    }
    // Compiled here, before any worker starts: the workers and the index
    // search take a faulty expression as one that matches nothing.
    try {
        SearchExpr.SetExpression(*expr);
        SearchExpr.Compile();
    } catch (const ERegExpr& e) {
        // The position counts the characters of what the user typed, not of the prepared expression.
        ShowMessage(QStringLiteral("Ошибка в выражении: %1")
                        .arg(QString::fromStdString(PatternErrorText(text.toStdString(), RegexMode, e))));
        return false;
    }
    return true;
}

void SearchWindow::StartSearch() {
    // Enter in one of the edits while a search runs would start a second,
    // overlapping one; the disabled start button already says no.
    if (Searching())
        return;
    if (!PreparePattern(SrchStr->text()))
        return;
    StopRequested = false;
    StartBtn->setEnabled(false);
    StopBtn->setEnabled(true);
    busyIndicator_->show();
    ExtSrchPanel->setEnabled(false);

    ExaminedFiles = 0;
    FoundFiles = 0;
    labelFileCnt->setText("0");
    labelFoundedFileCnt->setText("0");

    const int maxWorkers = loadAppSettings(cfg_).maxSearchWorkers;
    MinSizeBytes = int64_t(SpinFrom->value()) * 1024;
    MaxSizeBytes = int64_t(SpinTo->value()) * 1024;

    historyLog_->appendPlainText("Очистка результатов предыдущего поиска...");
    ResultList->hide();
    ResultList->clear();
    ResultList->show();
    std::vector<ScannedShare> shares = SearchShares;
    historyLog_->clear();

    SearchQuery query;
    query.expression = SearchExpr.GetExpression();
    query.modifiers = SearchExpr.GetModifierStr();
    query.regexMode = RegexMode;
    query.minSizeBytes = MinSizeBytes;
    query.maxSizeBytes = MaxSizeBytes;
    if (index_) {
        index_->configure(LoadIndexSettings(cfg_));
        runner_->SetWalker(index_->searchWalker(shares));
        if (IndexRB->isChecked()) {
            IndexQuery iq;
            iq.query = query;
            iq.shares = std::move(shares);
            iq.excludedShares = index_->settings().excludedShares;
            historyLog_->appendPlainText("Поиск в индексе");
            indexRunner_->start(index_->settings().db, iq, SrchStr->text().toStdString());
            return;
        }
    }
    labelIndexAge->clear();
    runner_->Start(query, std::move(shares), maxWorkers);
}

void SearchWindow::searchFinished() {
    StartBtn->setEnabled(true);
    StopBtn->setEnabled(false);
    busyIndicator_->hide();
    ExtSrchPanel->setEnabled(true);
    historyLog_->appendPlainText("--------------------------------");
    historyLog_->appendPlainText("поиск закончен!");
}

void SearchWindow::onStopClicked() {
    StopRequested = true;
}

void SearchWindow::AddFoundFile(const std::string& hostName, const std::string& folder, int64_t size,
                                const std::string& name) {
    const QString sizeText = QString::fromStdString(SizeText(size, QLocale().groupSeparator().toStdString()));
    ++FoundFiles;
    labelFoundedFileCnt->setText(QString::number(FoundFiles));
    ResultList->addTopLevelItem(new ResultItem(QString::fromStdString(hostName),
                                               QString::fromStdString(folder + name), sizeText, size));
}

void SearchWindow::AddSearchNote(SearchNote note, const std::string& hostName, const std::string& path) {
    const QString where = visible(path) + " (" + visible(hostName) + ")";
    switch (note) {
    case SearchNote::Incomplete:
        historyLog_->appendPlainText("ресурс просмотрен не полностью, обход прерван: " + where);
        break;
    case SearchNote::TooDeep:
        historyLog_->appendPlainText(QString("папки глубже %1 уровней пропущены: ").arg(kMaxWalkDepth) +
                                     where);
        break;
    case SearchNote::StepLimit:
        historyLog_->appendPlainText("имя слишком долго сравнивается с выражением, файл пропущен: " + where);
        break;
    }
}

void SearchWindow::onCsvExportClicked() {
    const QString target = AskCsvPath();
    if (target.isEmpty())
        return;
    std::vector<std::vector<std::string>> rows;
    rows.reserve(static_cast<size_t>(ResultList->topLevelItemCount()));
    for (int i = 0; i < ResultList->topLevelItemCount(); ++i) {
        const auto* row = static_cast<const ResultItem*>(ResultList->topLevelItem(i));
        // The real texts, not their visible one-line form: the CSV writer quotes them safely.
        rows.push_back({row->Host.toStdString(), row->Path.toStdString(), std::to_string(row->Size)});
    }
    const std::string csv =
        csvDocument({{"Название компьютера"}, {"Путь к файлу"}, {"Размер файла", CellKind::Number}}, rows);
    const QString error = WriteExportFile(target, csv);
    if (!error.isEmpty())
        ShowMessage(error);
}

void SearchWindow::AddExaminedCount(int64_t count) {
    ExaminedFiles += count;
    labelFileCnt->setText(QString::number(ExaminedFiles));
}

void SearchWindow::onStatusTimer() {
    const bool fromIndex = indexRunner_ && indexRunner_->running();
    labelThrCnt->setText(QString::number(fromIndex ? 1 : runner_->ActiveSearchWorkers));
}

void SearchWindow::onSearchModeClicked() {
    RegexMode = RegexpRB->isChecked();
    SearchDescrText->setText(RegexMode ? "Регулярное выражение для поиска файла: "
                                       : "Имя файла для поиска: ");
    RegExprTestEdit->setEnabled(RegexMode);
    testRegexButton_->setEnabled(RegexMode);
}

void SearchWindow::onTestRegexClicked() {
    if (!PreparePattern(SrchStr->text()))
        return;
    const QString text = RegExprTestEdit->text();
    try {
        if (!SearchExpr.Exec(utf8ToCp1251(text.toStdString()))) {
            ShowMessage("Строка соответствующая выражению не найдена!");
            return;
        }
    } catch (const ERegExpr& e) {
        ReportError(QString::fromStdString(e.what()));
        return;
    }
    const int start = SearchExpr.GetMatchPos(0) - 1;
    const int len = SearchExpr.GetMatchLen(0);
    const int from = qtIndexOfCodePoint(text, start);
    RegExprTestEdit->setFocus();
    RegExprTestEdit->setSelection(from, qtIndexOfCodePoint(text, start + len) - from);
}

void SearchWindow::onExtendedSearchClicked() {
    const bool opening = ExtSrchPanel->maximumHeight() < 2;
    ExtSrchPanel->setFixedHeight(opening ? ExtSrchPanel->sizeHint().height() : 1);
    ExtSearchBtn->setIcon(ormixIcon(opening ? IconMinusBox : IconPlusBox));
}

void SearchWindow::onClearSizeLimitClicked() {
    SpinFrom->setValue(0);
    SpinTo->setValue(0);
}

void SearchWindow::ResultListColumnClick(int column) {
    SortColumn = column;
    ResultList->sortItems(column, Qt::AscendingOrder);
}

int SearchWindow::ResultListCompare(const ResultItem& a, const ResultItem& b) const {
    if (SortColumn == 2)
        return CompareSizes(a.Size, b.Size);
    // The caption, or the path (sub-item SortColumn - 1).
    return CompareTextNoCase(view(a.text(SortColumn)), view(b.text(SortColumn)));
}

ResultItem* SearchWindow::selectedRow() const {
    const QList<QTreeWidgetItem*> sel = ResultList->selectedItems();
    return sel.isEmpty() ? nullptr : static_cast<ResultItem*>(sel.first());
}

void SearchWindow::onCopyFileClicked() {
    ResultItem* row = selectedRow();
    if (!row)
        return;
    const QString path = row->Path;
    const QString target = AskSaveFileName(path.section('\\', -1));
    if (target.isEmpty())
        return;
    const QString shown = visible(path.toStdString());
    // The helper's status could not tell a missing local folder from a missing file.
    const QFileInfo targetFolder(QFileInfo(target).absolutePath());
    if (!targetFolder.isDir() || !targetFolder.isWritable()) {
        ShowMessage(
            QString("Не удалось скопировать файл %1 в %2: папка %3 не существует или недоступна для записи.")
                .arg(shown, target, targetFolder.filePath()));
        return;
    }

    QProgressDialog progress(QString("Копирование файла %1").arg(path), "Отмена", 0, 1000, this);
    progress.setWindowTitle(windowTitle());
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(300);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    std::atomic<bool> cancel{false};
    const QMetaObject::Connection onCancel =
        connect(&progress, &QProgressDialog::canceled, this, [&cancel] { cancel = true; });

    QEventLoop loop;
    CopyResult result;
    FileCopier* copier = copier_;
    std::thread copyThread([&, copier] {
        result = copier->Copy(path.toStdString(), target.toStdString(), [&](uint64_t done, uint64_t total) {
            const int permille = total ? int(done * 1000 / total) : 0;
            QMetaObject::invokeMethod(
                &progress, [&progress, permille] { progress.setValue(permille); }, Qt::QueuedConnection);
            return !cancel.load();
        });
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    copyThread.join();
    disconnect(onCancel); // closing the dialog reports a cancel too
    progress.close();

    if (result.cancelled || cancel)
        return;
    if (result.status != 0) {
        QString why;
        switch (result.status) {
        case smbproto::kStatusAccessDenied:
            why = "доступ запрещён (к файлу на компьютере или к папке, куда он копируется)";
            break;
        case smbproto::kStatusPathNotFound:
            why = "файл не найден или компьютер недоступен";
            break;
        default:
            why = QString("ошибка копирования %1").arg(result.status);
        }
        ShowMessage(QString("Не удалось скопировать файл %1 в %2: %3.").arg(shown, target, why));
        return;
    }
    // An existing file is never overwritten: the copy takes the next free name.
    const QString finalPath = QString::fromStdString(result.finalPath);
    if (!finalPath.isEmpty() && finalPath != target)
        ShowMessage(QString("Файл %1 уже существует. Файл %2 сохранён под именем %3.")
                        .arg(target, shown, QFileInfo(finalPath).fileName()));
}

void SearchWindow::onOpenFolderClicked() {
    ResultItem* row = selectedRow();
    if (!row)
        return;
    const QString folder = folderOf(row->Path);
    const QString shown = visible(folder.toStdString());
    // xdg-open tells by its exit code when the desktop has no program for
    // smb:// addresses; one that opened something keeps running or ends with 0.
    launcher().startWatched(
        "xdg-open", {urlOf(folder)}, kOpenerWatchMs, this, [this, shown](const RunResult& r) {
            if (r.status == RunResult::Status::FailedToStart)
                ShowMessage(
                    QString("Не удалось открыть папку %1: программа xdg-open не найдена.").arg(shown));
            else if (!r.succeeded())
                ShowMessage(QString("Не удалось открыть папку %1: на рабочем столе нет программы для адресов "
                                    "smb:// или она не смогла открыть папку (xdg-open, код %2).")
                                .arg(shown, QString::number(r.exitCode)));
        });
}

void SearchWindow::onCopyPathClicked() {
    ResultItem* row = selectedRow();
    if (!row)
        return;
    const QString path = row->Path;
    auto* data = new QMimeData;
    data->setText(path);
    data->setUrls({QUrl(urlOf(path))});
    QApplication::clipboard()->setMimeData(data);
}

void SearchWindow::BuildResultMenu() {
    resultMenu_->clear();
    auto add = [this](const QString& caption, int tag) {
        QAction* a = resultMenu_->addAction(QString(caption).replace('&', "&&"));
        a->setData(tag);
        connect(a, &QAction::triggered, this, [this, tag] { onResultMenuClicked(tag); });
    };
    add("Копировать файл", 0);
    add("Открыть директорию", 1);
    add("Копировать полный путь файла в буфер", 2);
    resultMenu_->addSeparator()->setData(3);
    add("<Добавить/удалить/изменить программу>", 4);
    try {
        cfg_.ClearSection("ProgIndex");
        std::vector<std::string> names;
        cfg_.ListKeys("ProgList", names);
        for (size_t i = 0; i < names.size(); ++i) {
            const int tag = 5 + int(i);
            add(QString::fromStdString(names[i]), tag);
            cfg_.WriteText("ProgIndex", std::to_string(tag), names[i]);
        }
    } catch (const std::exception& e) {
        ReportError(QString::fromStdString(e.what()));
    }
}

void SearchWindow::onResultMenuClicked(int tag) {
    const std::string name = cfg_.ReadText("ProgIndex", std::to_string(tag), "??");
    switch (tag) {
    case 0:
        onCopyFileClicked();
        return;
    case 1:
        onOpenFolderClicked();
        return;
    case 2:
        onCopyPathClicked();
        return;
    case 4:
        if (!openWith_)
            openWith_ = new ProgramsWindow(cfg_, this);
        openWith_->exec();
        BuildResultMenu();
        return;
    default:
        if (ResultItem* row = selectedRow())
            runProgram(row->Path, name);
    }
}

// The template is split into words first and the placeholders are filled in
// afterwards, each as part of one argument: no shell ever sees a file name.
// A template that wants local paths mounts the share first, off the GUI thread.
void SearchWindow::runProgram(const QString& path, const std::string& programName) {
    const QString name = QString::fromStdString(programName);
    const QString tmpl = QString::fromStdString(cfg_.ReadText("ProgList", programName, "??"));
    const bool wantLocal = templateWantsLocalPath(tmpl);
    if (!wantLocal) {
        startProgram(name, tmpl, path, false, ResolveProgramPaths(path.toStdString(), false, ownMounter_));
        return;
    }
    const bool started =
        pathsJob_.Start(path.toStdString(), true, this, [this, name, tmpl, path](const ProgramPaths& paths) {
            startProgram(name, tmpl, path, true, paths);
        });
    if (!started) {
        setActionStatus(" Ресурс для предыдущей программы ещё подключается, повторите позже");
        return;
    }
    setActionStatus(" Подключение ресурса " + visible(ShareOf(path.toStdString())) + "...");
}

void SearchWindow::startProgram(const QString& name, const QString& templateText, const QString& path,
                                bool wantLocal, const ProgramPaths& paths) {
    if (wantLocal) {
        setActionStatus(paths.local
                            ? QString()
                            : " Программе «" + name + "» передан адрес smb://, а не локальный путь: " +
                                  visible(paths.fallbackReason));
    }
    const QString shown = visible(path.toStdString());
    const ProgramCommand cmd = expandProgramTemplate(templateText, paths.texts);
    if (cmd.program.isEmpty()) {
        ShowMessage(QString("Не удалось запустить программу «%1» для файла %2: командная строка пуста.")
                        .arg(name, shown));
        return;
    }
    if (launcher().startDetached(cmd.program, cmd.arguments))
        return;
    const QString program = visible(cmd.program.toStdString());
    const bool found = cmd.program.contains('/') ? QFileInfo::exists(cmd.program)
                                                 : !QStandardPaths::findExecutable(cmd.program).isEmpty();
    ShowMessage(found ? QString("Не удалось запустить программу «%1» для файла %2: %3 не запускается "
                                "(нет права на выполнение или это не программа).")
                            .arg(name, shown, program)
                      : QString("Не удалось запустить программу «%1» для файла %2: программа %3 не найдена.")
                            .arg(name, shown, program));
}

} // namespace ormix
