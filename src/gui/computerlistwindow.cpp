// ComputerListWindow; see computerlistwindow.h.
#include "gui/computerlistwindow.h"
#include "gui/application.h"

#include "gui/csvexport.h"
#include "gui/icons.h"
#include "gui/widgets.h"
#include "scan/ranges.h"

#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QScrollBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <filesystem>
#include <set>
#include <stdexcept>

namespace ormix {
namespace {

enum Column { ColIp = 0, ColName, ColMac, ColDate };

uint32_t ipKey(const QString& ip) {
    try {
        return ipToNumber(ip.toStdString() + ".");
    } catch (const std::invalid_argument&) {
        return 0; // only a hand-edited "range.lst" holds such an address
    }
}

// Addresses by their numeric value; every other column by its bytes, letter
// case significant (so the date column sorts by day of the month first).
class ComputerRow : public QTreeWidgetItem {
public:
    using QTreeWidgetItem::QTreeWidgetItem;

    bool operator<(const QTreeWidgetItem& other) const override {
        const int column = treeWidget() ? treeWidget()->sortColumn() : ColIp;
        if (column == ColIp)
            return ipKey(text(ColIp)) < ipKey(other.text(ColIp));
        return text(column).toUtf8() < other.text(column).toUtf8();
    }
};

// The first punctuation mark of a locale format ("dd.MM.yyyy" gives '.'); a
// format without one (the C locale's "d MMM yyyy") gives the fallback.
char separatorOf(const QString& format, char fallback) {
    for (QChar c : format)
        if (c.unicode() < 0x80 && c.isPunct() && c != u'\'')
            return static_cast<char>(c.unicode());
    return fallback;
}

} // namespace

ComputerListWindow::ComputerListWindow(ComputerList& computers, QWidget* parent)
    : QDialog(parent), computers_(computers) {
    ShowMessage = [this](const QString& text) { QMessageBox::critical(this, MessageBoxTitle(), text); };
    AskExportPath = [this] { return askExportPath(); };
    AskCsvPath = [this] { return AskCsvExportPath(this, QStringLiteral("complist.csv")); };
    buildLayout();
}

void ComputerListWindow::buildLayout() {
    setObjectName(QStringLiteral("AddrMgrForm"));
    setWindowTitle(QStringLiteral("Список компьютеров"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);

    AddrList = new QTreeWidget(this);
    AddrList->setObjectName(QStringLiteral("AddrList"));
    AddrList->setColumnCount(4);
    AddrList->setHeaderLabels({QStringLiteral("IP Адрес"), QStringLiteral("Название"),
                               QStringLiteral("MAC Адрес"), QStringLiteral("Дата время")});
    // The designed widths, widened where the desktop's font needs it for a
    // whole address, MAC address or date.
    const QFontMetrics fm = AddrList->fontMetrics();
    const int pad = 14;
    const int widths[] = {
        std::max(120, fm.horizontalAdvance(QStringLiteral("888.888.888.888")) + pad),
        150,
        std::max(120, fm.horizontalAdvance(QStringLiteral("DD-DD-DD-DD-DD-DD")) + pad),
        std::max(100, fm.horizontalAdvance(QStringLiteral("88/88/88 88:88:88")) + pad),
    };
    for (int c = 0; c < 4; ++c)
        AddrList->setColumnWidth(c, widths[c]);
    AddrList->setRootIsDecorated(false);
    AddrList->setItemsExpandable(false);
    AddrList->setUniformRowHeights(true);
    AddrList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    AddrList->setSelectionBehavior(QAbstractItemView::SelectRows);
    AddrList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    AddrList->setSortingEnabled(false);
    AddrList->header()->setSectionsClickable(true);
    AddrList->header()->setSortIndicatorShown(false);
    AddrList->installEventFilter(this);
    connect(AddrList->header(), &QHeaderView::sectionClicked, this, &ComputerListWindow::AddrListColumnClick);

    deleteButton_ = flatButton(this, "RxSpeedButton3", QStringLiteral("-"),
                               QStringLiteral("Удалить выделенные компьютеры"));
    QFont bold = deleteButton_->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.5);
    deleteButton_->setFont(bold);
    deleteButton_->setFixedSize(30, 28);
    exportButton_ = flatButton(this, "RxSpeedButton5", {}, QStringLiteral("Сохранить список компьютеров"));
    exportButton_->setIcon(ormixIcon(IconFloppy));
    exportButton_->setFixedSize(30, 28);

    const QString countHint =
        QStringLiteral("Показывает сколько компьютеров находится в очереди на открытие");
    countLabel_ = framedLabel(this, "StaticText2", QStringLiteral("Всего компьютеров: "), countHint);
    CntText = framedLabel(this, "CntText", {}, countHint);
    CntText->setMinimumWidth(70);

    CsvExportButt = flatButton(this, "CsvExportButt", QStringLiteral("Экспорт в CSV"),
                               QStringLiteral("Сохранить список компьютеров для электронной таблицы"));
    CsvExportButt->setMinimumHeight(28);

    closeButton_ = flatButton(this, "RxSpeedButton4", QStringLiteral("Закрыть"), {});
    closeButton_->setMinimumSize(92, 28);

    auto* bottom = new QHBoxLayout;
    bottom->setContentsMargins(6, 6, 6, 6);
    bottom->addWidget(deleteButton_);
    bottom->addWidget(exportButton_);
    bottom->addWidget(CsvExportButt);
    bottom->addStretch(1);
    bottom->addWidget(countLabel_);
    bottom->addWidget(CntText);
    bottom->addStretch(1);
    bottom->addWidget(closeButton_);
    auto* top = new QVBoxLayout(this);
    top->setContentsMargins(0, 0, 0, 0);
    top->setSpacing(0);
    top->addWidget(AddrList, 1);
    top->addLayout(bottom);

    // A fixed dialog: the designed 519 x 400 (the table 348 high), wider where
    // the columns need it.
    int tableWidth = 2 * AddrList->frameWidth() + AddrList->verticalScrollBar()->sizeHint().width();
    for (int c = 0; c < 4; ++c)
        tableWidth += widths[c];
    AddrList->setMinimumHeight(348);
    setFixedSize(sizeHint().expandedTo(QSize(std::max(519, tableWidth), 400)));

    connect(deleteButton_, &QToolButton::clicked, this, &ComputerListWindow::onDeleteClicked);
    connect(exportButton_, &QToolButton::clicked, this, &ComputerListWindow::onExportClicked);
    connect(closeButton_, &QToolButton::clicked, this, &ComputerListWindow::onCloseClicked);
    connect(CsvExportButt, &QToolButton::clicked, this, &ComputerListWindow::onCsvExportClicked);

    SaveList = new QFileDialog(this, QStringLiteral("Сохранение списка компьютеров"), QDir::homePath(),
                               QStringLiteral("Данные разделенные запятыми (*.cvs)"));
    SaveList->setObjectName(QStringLiteral("SaveList"));
    SaveList->setAcceptMode(QFileDialog::AcceptSave);
    SaveList->setFileMode(QFileDialog::AnyFile);
    SaveList->selectFile(QStringLiteral("complist.cvs"));
}

void ComputerListWindow::SaveComputerList() {
    if (!computers_.saveComputerList()) {
        ShowMessage(QString::fromUtf8(kComputerListWriteError));
        return;
    }
    close();
}

void ComputerListWindow::NoteFoundBy(const std::string& ip, const std::string& labels) {
    if (!labels.empty())
        foundBy_[QString::fromStdString(ip).toLower()] = QString::fromStdString(labels);
}

void ComputerListWindow::FillTable() {
    const QLocale locale = QLocale::system();
    const char dateSep = separatorOf(locale.dateFormat(QLocale::ShortFormat), '/');
    const char timeSep = separatorOf(locale.timeFormat(QLocale::ShortFormat), ':');

    const std::vector<ComputerRecord> list = computers_.snapshot();
    AddrList->setUpdatesEnabled(false);
    AddrList->clear();
    QList<QTreeWidgetItem*> rows;
    rows.reserve(static_cast<qsizetype>(list.size()));
    for (const ComputerRecord& c : list) {
        auto* row = new ComputerRow(QStringList{
            QString::fromStdString(c.Ip), QString::fromStdString(c.Name), QString::fromStdString(c.Mac),
            QString::fromStdString(formatDosDateTime(c.LastSeen, dateSep, timeSep))});
        if (const auto how = foundBy_.find(QString::fromStdString(c.Ip).toLower()); how != foundBy_.end())
            for (int column = 0; column < row->columnCount(); ++column)
                row->setToolTip(column, QStringLiteral("Найден: ") + how->second);
        rows.append(row);
    }
    AddrList->addTopLevelItems(rows);
    AddrList->setUpdatesEnabled(true);
    CntText->setText(QString::number(list.size()));
}

bool ComputerListWindow::ExportTo(const QString& target) {
    std::error_code ec;
    std::filesystem::copy_file(computers_.listPath(), target.toStdString(),
                               std::filesystem::copy_options::overwrite_existing, ec);
    return !ec;
}

void ComputerListWindow::onDeleteClicked() {
    const QList<QTreeWidgetItem*> selected = AddrList->selectedItems();
    if (selected.isEmpty())
        return;
    std::vector<std::string> ips;
    for (QTreeWidgetItem* row : selected)
        ips.push_back(row->text(ColIp).toStdString());
    computers_.removeComputers(ips);

    // Rows of the same address go with them: the list removed all of its records.
    std::set<QString> gone;
    for (const std::string& ip : ips)
        gone.insert(QString::fromStdString(ip).toLower());
    for (int i = AddrList->topLevelItemCount() - 1; i >= 0; --i)
        if (gone.count(AddrList->topLevelItem(i)->text(ColIp).toLower()))
            delete AddrList->takeTopLevelItem(i);
    CntText->setText(QString::number(computers_.count()));
}

void ComputerListWindow::onExportClicked() {
    const QString target = AskExportPath();
    if (target.isEmpty())
        return;
    if (!ExportTo(target))
        ShowMessage(QStringLiteral("Не удалось сохранить список компьютеров в файл %1").arg(target));
}

void ComputerListWindow::onCsvExportClicked() {
    const QString target = AskCsvPath();
    if (target.isEmpty())
        return;
    const QString error = WriteExportFile(target, computerListCsv(computers_.snapshot()));
    if (!error.isEmpty())
        ShowMessage(error);
}

void ComputerListWindow::onCloseClicked() {
    close();
}

void ComputerListWindow::AddrListColumnClick(int column) {
    AddrList->sortItems(column, Qt::AscendingOrder);
}

void ComputerListWindow::showEvent(QShowEvent* event) {
    FillTable();
    QDialog::showEvent(event);
}

bool ComputerListWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == AddrList && event->type() == QEvent::KeyRelease &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
        onDeleteClicked();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

QString ComputerListWindow::askExportPath() {
    if (SaveList->exec() != QDialog::Accepted || SaveList->selectedFiles().isEmpty())
        return {};
    return SaveList->selectedFiles().front();
}

} // namespace ormix
