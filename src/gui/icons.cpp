// The image list: loads the pictures from the resources compiled into ormix_gui.
#include "gui/icons.h"

#include <QString>

// The resources live in a static library, so nothing pulls their initialiser in
// unless it is called by name (outside any namespace, as Qt requires).
static void initOrmixIcons() {
    Q_INIT_RESOURCE(icons);
}

namespace ormix {

QIcon ormixIcon(int index) {
    static const bool loaded = (initOrmixIcons(), true);
    (void)loaded;
    if (index < 0 || index >= kIconCount)
        return {};
    return QIcon(QStringLiteral(":/ormix/icons/%1.png").arg(index, 2, 10, QLatin1Char('0')));
}

} // namespace ormix
