// Refused-computer mark and the re-listed host (see signinmark.h).
#include "gui/signinmark.h"

#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <QTreeWidgetItem>

namespace ormix {

namespace {

// A small padlock in the lower right corner of the computer icon.
QIcon withPadlock(const QIcon& base) {
    QPixmap pm = base.pixmap(16, 16);
    if (pm.isNull()) {
        pm = QPixmap(16, 16);
        pm.fill(Qt::transparent);
    }
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(120, 0, 0), 1.2));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(9.5, 6.5, 5, 6), 0, 180 * 16); // shackle
    p.setPen(QPen(QColor(120, 0, 0), 1));
    p.setBrush(QColor(230, 170, 0));
    p.drawRect(QRectF(8.5, 9.5, 7, 6)); // body
    return QIcon(pm);
}

} // namespace

void MarkRefusedHost(QTreeWidgetItem* hostNode, bool refused) {
    if (!hostNode || IsRefusedHost(hostNode) == refused)
        return;
    hostNode->setData(0, kRefusedRole, refused);
    if (refused) {
        hostNode->setIcon(0, withPadlock(hostNode->icon(0)));
        const QString hint =
            QStringLiteral("Компьютер не пускает без учётной записи. Войти: правая кнопка мыши, "
                           "«Войти как…»");
        for (int c = 0; c < hostNode->columnCount(); ++c)
            hostNode->setToolTip(c, hint);
    }
}

bool IsRefusedHost(const QTreeWidgetItem* hostNode) {
    return hostNode && hostNode->data(0, kRefusedRole).toBool();
}

bool ListingWasRefused(const HostInfo& host) {
    return host.Shares.empty() && processSignIn().anonymousRefused(host.Ip);
}

HostInfo HostWithListing(const QString& name, const QString& ip, const QString& mac, const QString& workgroup,
                         const ShareListing& listing, const std::vector<std::string>& excluded) {
    HostInfo host;
    host.Name = name.toStdString();
    host.Ip = ip.toStdString();
    host.Mac = mac.toStdString();
    host.Workgroup = workgroup.toStdString();
    const std::string server = "\\\\" + host.Ip;
    for (const auto& share : listing.shares) {
        if (!isExcludedShare(share.name, excluded))
            host.addShare(server + "\\" + share.name, share.comment);
    }
    return host;
}

} // namespace ormix
