#pragma once
// The program's icon: a drop of propofol with a concentration curve on a
// blue tile. Drawn in code so that every size is crisp and no image file
// has to ship with the sources; docs/org.sedalyn.Sedalyn.svg is the same
// picture for the desktop's icon theme.

#include <QIcon>
#include <QImage>

// The icon at 16, 24, 32, 48, 64, 128 and 256 pixels.
QIcon ApplicationIcon();

// One size of it, on a transparent background.
QImage ApplicationIconImage(int size);
