// MainTree, the tree of what a scan found: groups, computers and their shares;
// insertion on behalf of the share workers, sorting by header clicks, and the
// tree's commands (open in the file manager, collapse, expand, network drive).
#include "gui/maintree.h"

#include "gui/accountswindow.h"
#include "gui/appstate.h"
#include "gui/icons.h"
#include "gui/logindialog.h"
#include "gui/mainwindow.h"
#include "gui/scancontrol.h"
#include "gui/scansession.h"
#include "gui/signinmark.h"
#include "platform/displaytext.h"
#include "platform/launcher.h"
#include "platform/smbpath.h"
#include "scan/ranges.h"

#include <QAction>
#include <QEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QTreeWidget>

#include <algorithm>
#include <exception>
#include <functional>

namespace ormix {

namespace {

const QColor kTreeBack(0xEB, 0xEB, 0xEB);
const QColor kSelectedBack(0xD2, 0xD2, 0xD2);
constexpr int kRowHeight = 17;
constexpr int kHeaderHeight = 19;

struct ColumnSpec {
    const char* caption;
    int width;
    const char* hint;
};

const ColumnSpec kColumns[] = {
    {"Название", 250, "Название компьютера или ресурса"},
    {"IP / Описание", 130, "IP адрес компьютера или описание ресурса"},
    {"#", 40, "Количество открытых ресурсов на компьютере"},
    {"MAC адрес", 120, "MAC адрес"},
};

uint32_t addressValue(const QString& ip) {
    try {
        return ipToNumber(ip.toStdString() + ".");
    } catch (const std::exception&) {
        // Only the scanner fills this column, always with a dotted address;
        // anything else sorts as 0 rather than break the sort.
        return 0;
    }
}

// Hosts by address; any other pair has no order of its own.
int compareNodes(const QTreeWidgetItem* a, const QTreeWidgetItem* b) {
    if (nodeKind(a) != TreeNodeKind::Host || nodeKind(b) != TreeNodeKind::Host)
        return 0;
    const uint32_t x = addressValue(a->text(ColIpOrRemark));
    const uint32_t y = addressValue(b->text(ColIpOrRemark));
    return x < y ? -1 : x > y ? 1 : 0;
}

// Double click anywhere in the tree and Enter released open the focused node.
// A child of the tree; it keeps plain pointers only to compare, so events that
// reach it while the window is taken down touch nothing.
class TreeInput : public QObject {
public:
    TreeInput(QTreeWidget* tree, std::function<void()> open)
        : QObject(tree), tree_(tree), viewport_(tree->viewport()), open_(std::move(open)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == viewport_ && event->type() == QEvent::MouseButtonDblClick) {
            // The press before it has already made the node under the mouse the focused one.
            open_();
        } else if (watched == tree_) {
            keyEvent(event);
        }
        return false;
    }

private:
    // Enter acts on release, and only on a release whose press the tree saw:
    // the release of an Enter that closed a message box or another window
    // lands in the tree once it has the focus again.
    void keyEvent(QEvent* event) {
        if (event->type() == QEvent::FocusOut) {
            enterPressed_ = false;
            return;
        }
        if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease)
            return;
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter)
            return;
        if (event->type() == QEvent::KeyPress) {
            enterPressed_ = true;
        } else if (!key->isAutoRepeat() && enterPressed_) {
            enterPressed_ = false;
            open_();
        }
    }

    const QObject* tree_;
    const QObject* viewport_;
    std::function<void()> open_;
    bool enterPressed_ = false;
};

TreeNode* addNode(TreeNodeKind kind, const QStringList& texts, int picture) {
    auto* node = new TreeNode(kind, texts);
    node->setIcon(ColName, ormixIcon(picture));
    return node;
}

// Names, remarks and paths from the network as one visible line.
QString visibleText(const std::string& utf8) {
    return QString::fromStdString(displayText(utf8));
}

// The real share path of a share node (the row shows it visibly).
QString sharePathOf(const QTreeWidgetItem* node) {
    const QVariant path = node->data(ColName, Qt::UserRole);
    return path.isValid() ? path.toString() : node->text(ColName);
}

} // namespace

TreeNode::TreeNode(TreeNodeKind kind, const QStringList& texts)
    : QTreeWidgetItem(texts, UserType + static_cast<int>(kind)) {
    setSizeHint(ColName, QSize(0, kRowHeight));
    if (kind == TreeNodeKind::Group) {
        QFont bold = font(ColName);
        bold.setBold(true);
        setFont(ColName, bold);
    }
}

bool TreeNode::operator<(const QTreeWidgetItem& other) const {
    const QTreeWidget* tree = treeWidget();
    const int column = tree ? tree->sortColumn() : ColName;
    switch (column) {
    case ColIpOrRemark:
        return compareNodes(this, &other) < 0;
    case ColShareCount:
        // Whole numbers; groups and shares have no count and sort as 0.
        return text(column).toLongLong() < other.text(column).toLongLong();
    default:
        return QString::localeAwareCompare(text(column), other.text(column)) < 0;
    }
}

TreeNodeKind nodeKind(const QTreeWidgetItem* item) {
    if (item->type() >= QTreeWidgetItem::UserType && item->type() <= QTreeWidgetItem::UserType + 2)
        return static_cast<TreeNodeKind>(item->type() - QTreeWidgetItem::UserType);
    int depth = 0;
    for (const QTreeWidgetItem* p = item->parent(); p; p = p->parent())
        ++depth;
    return static_cast<TreeNodeKind>(std::min(depth, 2));
}

OpenCompThr::OpenCompThr(QString path, int generation) : Path(std::move(path)), Generation(generation) {}

void OpenCompThr::run() {
    launcher().startDetached(QStringLiteral("xdg-open"), {uncToSmbUrl(Path)});
}

// --- the tree in the main window ---

void MainWindow::SetupMainTree() {
    QTreeWidget* tree = MainTree;
    // Sorted only when the user clicks a header section.
    tree->setSortingEnabled(false);
    tree->setColumnCount(4);
    auto* header = new QTreeWidgetItem;
    for (int c = 0; c < 4; ++c) {
        header->setText(c, QString::fromUtf8(kColumns[c].caption));
        header->setToolTip(c, QString::fromUtf8(kColumns[c].hint));
    }
    tree->setHeaderItem(header);

    QHeaderView* sections = tree->header();
    sections->setStretchLastSection(false);
    sections->setSectionResizeMode(QHeaderView::Interactive);
    sections->setMinimumSectionSize(0);
    sections->setMaximumSectionSize(10000);
    for (int c = 0; c < 4; ++c)
        tree->setColumnWidth(c, kColumns[c].width);
    sections->setSectionsClickable(true);
    sections->setSortIndicatorShown(true);
    sections->setSortIndicator(ColName, Qt::AscendingOrder);
    sections->setFixedHeight(kHeaderHeight);
    connect(sections, &QHeaderView::sectionClicked, this, &MainWindow::MainTreeColumnClick);

    tree->setSelectionMode(QAbstractItemView::SingleSelection);
    tree->setRootIsDecorated(true);
    tree->setUniformRowHeights(true);
    tree->setIconSize(QSize(16, 16));
    tree->setFrameShape(QFrame::NoFrame);
    tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    QPalette colours = tree->palette();
    colours.setColor(QPalette::Base, kTreeBack);
    colours.setColor(QPalette::AlternateBase, kTreeBack);
    colours.setColor(QPalette::Highlight, kSelectedBack);
    colours.setColor(QPalette::HighlightedText, QColor(Qt::black));
    tree->setPalette(colours);

    treeMenu_ = new QMenu(this);
    treeMenu_->setObjectName(QStringLiteral("TreeMenu"));
    const auto item = [this](const char* name, int picture, const QString& text, void (MainWindow::*slot)()) {
        return addMenuItem(treeMenu_, name, ormixIcon(picture), text, slot);
    };
    openAction_ = item("N32", IconOpenFolder, QStringLiteral("Открыть"), &MainWindow::onOpenClicked);
    collapseAllAction_ =
        item("N53", IconMinusBox, QStringLiteral("Свернуть все"), &MainWindow::onCollapseAllClicked);
    expandAllAction_ =
        item("N43", IconPlusBox, QStringLiteral("Развернуть все"), &MainWindow::onExpandAllClicked);
    mapDriveAction_ = item("N331", IconNetworkDrive, QStringLiteral("Подключить сетевой диск"),
                           &MainWindow::onMapDriveClicked);
    signInAsAction_ =
        item("SignInAsItem", IconComputer, QStringLiteral("Войти как…"), &MainWindow::onSignInAsClicked);
    connect(treeMenu_, &QMenu::aboutToShow, this, [this] {
        const QTreeWidgetItem* node = MainTree->currentItem();
        signInAsAction_->setVisible(node && nodeKind(node) == TreeNodeKind::Host && IsRefusedHost(node));
    });
    tree->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(tree, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { treeMenu_->popup(MainTree->viewport()->mapToGlobal(at)); });

    auto* input = new TreeInput(tree, [this] { OpenFocusedNode(); });
    tree->installEventFilter(input);
    tree->viewport()->installEventFilter(input);
}

void MainWindow::ClearTree() {
    hostRows_.clear();
    MainTree->clear();
}

// Takes the computer with this address out of the tree, with its counts and
// its search entries.
void MainWindow::RemoveHostNode(const QString& ip) {
    QTreeWidgetItem* old = hostRows_.take(ip);
    if (!old)
        return;
    if (old->childCount() > 0)
        --HostsWithShares;
    --HostsTotal;
    std::vector<ScannedShare> forgotten;
    const std::string name = old->data(ColName, Qt::UserRole).toString().toStdString();
    for (int i = 0; i < old->childCount(); ++i)
        forgotten.push_back({sharePathOf(old->child(i)).toStdString(), name});
    delete old;
    if (!forgotten.empty())
        emit SharesForgotten(forgotten);
}

void MainWindow::InsertHostNode(const HostInfo& host) {
    RemoveHostNode(QString::fromStdString(host.Ip));
    QTreeWidgetItem* group = nullptr;
    if (state_.settings().groupByWorkgroup) {
        // The last top-level node of that name, whatever its letter case (an
        // empty workgroup has a group node with empty text).
        const QString workgroup = visibleText(host.Workgroup);
        for (int i = 0; i < MainTree->topLevelItemCount(); ++i) {
            QTreeWidgetItem* candidate = MainTree->topLevelItem(i);
            if (candidate->text(ColName).compare(workgroup, Qt::CaseInsensitive) == 0)
                group = candidate;
        }
        if (!group) {
            group = addNode(TreeNodeKind::Group, {workgroup}, IconNetwork);
            MainTree->addTopLevelItem(group);
            group->setExpanded(true);
        }
    } else if (MainTree->topLevelItemCount() > 0) {
        group = MainTree->topLevelItem(0);
    } else {
        group = addNode(TreeNodeKind::Group, {QStringLiteral("Вся сеть")}, IconNetwork);
        MainTree->addTopLevelItem(group);
        group->setExpanded(true);
    }

    const int shareCount = std::max(0, std::min<int>(host.ShareCount, static_cast<int>(host.Shares.size())));
    TreeNode* hostNode = addNode(TreeNodeKind::Host,
                                 {visibleText(host.Name), QString::fromStdString(host.Ip),
                                  QString::number(shareCount), visibleText(host.Mac)},
                                 IconComputer);
    hostNode->setData(ColName, Qt::UserRole,
                      QString::fromStdString(host.Name)); // the name its search entries carry
    hostRows_.insert(QString::fromStdString(host.Ip), hostNode);
    if (!host.FoundBy.empty())
        hostNode->setToolTip(ColName, QStringLiteral("Найден: ") + QString::fromStdString(host.FoundBy));
    QList<QTreeWidgetItem*> shares;
    shares.reserve(shareCount);
    std::vector<ScannedShare> searchEntries;
    searchEntries.reserve(static_cast<size_t>(shareCount));
    for (int i = 0; i < shareCount; ++i) {
        const SHAREINF& share = host.Shares[static_cast<size_t>(i)];
        const QString path = QString::fromStdString(share.Path);
        TreeNode* shareNode = addNode(TreeNodeKind::Share,
                                      {visibleText(share.Path), visibleText(share.Remark)}, IconSharedFolder);
        // The row shows the path visibly; its commands act on the real one.
        shareNode->setData(ColName, Qt::UserRole, path);
        shares.append(shareNode);
        searchEntries.push_back({share.Path, host.Name});
    }
    hostNode->addChildren(shares);
    group->addChild(hostNode);
    MarkRefusedHost(hostNode, shareCount == 0 && ListingWasRefused(host));

    if (shareCount > 0)
        ++HostsWithShares;
    ++HostsTotal;
    if (!searchEntries.empty())
        emit SharesListed(searchEntries);
}

int MainWindow::MainTreeCompareItems(const QTreeWidgetItem* a, const QTreeWidgetItem* b) const {
    return compareNodes(a, b);
}

void MainWindow::MainTreeColumnClick(int column) {
    // The same column again turns the direction; another one keeps it. The
    // tree starts sorted ascending by name, so the first click on "Название"
    // sorts descending.
    if (column == sortColumn_)
        sortDescending_ = !sortDescending_;
    sortColumn_ = column;
    MainTree->sortItems(column, sortDescending_ ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void MainWindow::OpenFocusedNode() {
    const QTreeWidgetItem* node = MainTree->currentItem();
    if (!node)
        return;
    QString path;
    switch (nodeKind(node)) {
    case TreeNodeKind::Group:
        return;
    case TreeNodeKind::Host:
        // By address, not by name.
        path = QStringLiteral("\\\\") + node->text(ColIpOrRemark) + QStringLiteral("\\");
        break;
    case TreeNodeKind::Share:
        path = sharePathOf(node) + QStringLiteral("\\");
        break;
    }
    AddLogLine(QStringLiteral("Trying to open ") + visibleText(path.toStdString()));
    ++PendingOpens;
    ShowPendingOpens();
    auto* opener = new OpenCompThr(path, session_->Generation);
    openers_.removeAll(nullptr);
    openers_.append(opener);
    connect(opener, &QThread::finished, this, [this, opener] {
        OpenerDone(opener->Generation);
        opener->deleteLater();
    });
    opener->start();
}

void MainWindow::OpenerDone(int generation) {
    // A scan start sets the count to 0; an opener from before it is no longer
    // counted, so the count never goes below 0.
    if (generation == session_->Generation && PendingOpens > 0)
        --PendingOpens;
    ShowPendingOpens();
}

void MainWindow::ShowPendingOpens() {
    SetStatusText(TotHostTxt,
                  QStringLiteral(" В очереди на открытие хостов: ") + QString::number(PendingOpens));
}

void MainWindow::onOpenClicked() {
    OpenFocusedNode();
}

void MainWindow::onCollapseAllClicked() {
    MainTree->collapseAll();
}

void MainWindow::onExpandAllClicked() {
    MainTree->expandAll();
}

void MainWindow::onSignInAsClicked() {
    const QTreeWidgetItem* node = MainTree->currentItem();
    if (!node || nodeKind(node) != TreeNodeKind::Host)
        return;
    const QString name = node->text(ColName), ip = node->text(ColIpOrRemark), mac = node->text(ColMac);
    const QString workgroup =
        state_.settings().groupByWorkgroup && node->parent() ? node->parent()->text(ColName) : QString();
    auto onSuccess = [this, name, ip, mac, workgroup](const ShareListing& listing, const Account& account,
                                                      bool remember) {
        processSignIn().setHostAccount(ip.toStdString(), account);
        if (remember)
            StoreAccounts(ConfigFile, processSignIn().book(), true, this);
        // The computer's node gets its shares (the insertion replaces it).
        const std::vector<std::string> excluded = session_->CurrentShareSettings().excludedShares;
        InsertHostNode(HostWithListing(name, ip, mac, workgroup, listing, excluded));
        SetStatusText(OnHostCntTxt, QStringLiteral(" Компьютеров всего: %1, из них с ресурсами: %2")
                                        .arg(HostsTotal)
                                        .arg(HostsWithShares));
    };
    auto* dialog = new LoginDialog(
        name, ip,
        [](const std::string& host, const smbproto::JobAuth& auth) {
            return processSmbPool().listShares(host, auth);
        },
        std::move(onSuccess), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}

void MainWindow::onMapDriveClicked() {
    const QTreeWidgetItem* node = MainTree->currentItem();
    if (!node)
        return;
    switch (nodeKind(node)) {
    case TreeNodeKind::Group:
        return;
    case TreeNodeKind::Host:
        ShowMessage(QStringLiteral("Выберите каталог который нужно подключить!"));
        return;
    case TreeNodeKind::Share:
        emit DriveWindowWanted(sharePathOf(node));
        return;
    }
}

} // namespace ormix
