#pragma once
// Where the main window goes on a screen, and where the area beside its
// original layout goes within it: plain geometry, so that every screen size
// can be tried without a window.

#include <QMargins>
#include <QPoint>
#include <QRect>
#include <QSize>

namespace screenfit {

enum class SideAt { Nowhere, Beside, Below };

struct Needs {
    QSize original;    // the original layout's client area
    QPoint preferred;  // where the frame's top-left would be
    QMargins frame;    // the window system's frame around the client area
    QSize sideWanted;  // the side area with all of it in view; empty: no side area
    QSize sideLeast;   // the side area's top part that must be in view without scrolling
};

struct Placement {
    QPoint framePos;   // the frame's top-left
    QSize client;      // the window's client area
    SideAt side = SideAt::Nowhere;
    bool sideWhole = true; // all of the side area in view, no scrolling
    QSize least;       // the smallest client area that keeps the side's top part in view
};

// The side area's place within a client area of `client` size.
QRect SideRect(SideAt side, QSize original, QSize client);

// The preferred position where the whole window fits on `available`;
// otherwise the side area beside or below, as much of it as fits, and the
// window moved as little as needed to lie inside `available`.
Placement Fit(const Needs& needs, const QRect& available);

} // namespace screenfit
