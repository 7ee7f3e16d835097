#pragma once

#include <QSizeF>

namespace workarea {

// Scale of the work area's content when the window is resized: window width over pane width
// for a pane wider than tall, else window height over pane height.
double scaleFactor(double windowWidth, double windowHeight, double paneWidth, double paneHeight);

// A bottom-left-origin rectangle (x, y, w, h) inside a parent of height `parentHeight`,
// as a top-left-origin y coordinate.
inline double flippedY(double parentHeight, double y, double height) { return parentHeight - y - height; }

}  // namespace workarea
