// The tree's mark on a computer that refused anonymous access, and the list
// of shares that "Войти как…" puts in its place. Kept out of the main window
// so that window only calls in.
// Tests: tests/gui/accountswindows_test.cpp.
#pragma once

#include "shares/sharelist.h"

#include <QString>

class QTreeWidgetItem;

namespace ormix {

inline constexpr int kRefusedRole = 0x0100 + 41; // Qt::UserRole + 41 on the name column

// Marks (or unmarks) a host node: a padlock drawn over its icon, a tooltip.
void MarkRefusedHost(QTreeWidgetItem* hostNode, bool refused);
bool IsRefusedHost(const QTreeWidgetItem* hostNode);

// Whether the host's listing was refused to every way of signing in the
// program has: the sign-in memory saw anonymous refused and no share came.
bool ListingWasRefused(const HostInfo& host);

// The host again with the shares of a successful listing, minus the excluded ones.
HostInfo HostWithListing(const QString& name, const QString& ip, const QString& mac, const QString& workgroup,
                         const ShareListing& listing, const std::vector<std::string>& excluded);

} // namespace ormix
