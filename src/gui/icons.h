// The image list shared by the menus, the buttons and the trees: sixteen 16 x 16
// pictures, drawn by tools/draw-icons.py and shipped as Qt resources.
// Tests: tests/shell/mainwindow_test.cpp.
#pragma once

#include <QIcon>

namespace ormix {

// Indexes into the image list.
enum IconIndex : int {
    IconComputer = 0,
    IconSharedFolder = 1,
    IconNetwork = 2,
    IconTickedBox = 3,
    IconDocument = 4,
    IconOpenFolder = 5,
    IconMinusBox = 6,
    IconPlusBox = 7,
    IconComputerStar = 8,
    IconNetworkDrive = 9,
    IconFloppy = 10,
    IconPicture = 11,
    IconList = 12,
    IconClose = 13,
    IconMagnifier = 14,
    IconCalendar = 15,
};

constexpr int kIconCount = 16;

// Picture `index` of the image list; a null icon for an index outside 0..15.
QIcon ormixIcon(int index);

} // namespace ormix
