// The window's pictures, painted by code at start-up so they stay sharp at any
// screen scale: the Send button's lightning bolt, the Read button's floppy
// disk with a pencil, and the program's icon.
#pragma once

#include <QIcon>

namespace korvane {

// A yellow lightning bolt, 15 x 14 logical pixels.
QIcon LightningBoltIcon();
// A floppy disk with a pencil across it, 17 x 17 logical pixels.
QIcon FloppyPencilIcon();
// The program's icon: a chip with a lightning bolt, from 16 to 256 pixels.
QIcon ApplicationIcon();

}  // namespace korvane
