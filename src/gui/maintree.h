// The nodes of the main window's network tree and the thread that opens one
// in the file manager. The tree itself is MainWindow::MainTree (maintree.cpp).
// Tests: tests/shell/maintree_test.cpp.
#pragma once

#include <QString>
#include <QThread>
#include <QTreeWidgetItem>

namespace ormix {

class MainWindow;

enum class TreeNodeKind { Group = 0, Host = 1, Share = 2 };

// Column positions of MainTree.
enum TreeColumn : int { ColName = 0, ColIpOrRemark = 1, ColShareCount = 2, ColMac = 3 };

// One node; the item's type is QTreeWidgetItem::UserType + its kind.
class TreeNode : public QTreeWidgetItem {
public:
    TreeNode(TreeNodeKind kind, const QStringList& texts);
    TreeNodeKind kind() const { return static_cast<TreeNodeKind>(type() - UserType); }

    // The order of the column the tree is being sorted by.
    bool operator<(const QTreeWidgetItem& other) const override;

    // The window whose compare handler orders column "IP / Описание".
    const MainWindow* window = nullptr;
};

// Kind of any item of MainTree (a plain item counts by its depth).
TreeNodeKind nodeKind(const QTreeWidgetItem* item);

// Opens one path ("\\IP\" or "\\IP\share\") in the file manager: xdg-open of
// its smb:// URL through the program launcher. The result is not looked at.
class OpenCompThr : public QThread {
    Q_OBJECT
public:
    OpenCompThr(QString path, int generation);

    const QString Path;
    // The scan during which the open was requested (see MainWindow::OpenerDone).
    const int Generation;

protected:
    void run() override;
};

} // namespace ormix
