#pragma once

#include <QRect>
#include <QSize>

// Geometry of the thumbnail grid. A thumbnail is 150 x 200 points; thumbnails sit 20 points
// apart with a 5-point margin. Frames inside a thumbnail are given bottom-left and converted to
// top-left once here.
namespace photolayout {

constexpr int itemWidth = 150;
constexpr int itemHeight = 200;
constexpr int spacing = 20;
constexpr int margin = 5;

// One grid cell per thumbnail: the thumbnail plus the spacing.
QSize gridSize();
// The size the list asks for: the list view puts it at its cell's top-left corner; the
// thumbnail sits 5 points in from there, so the spacing is split evenly around it.
QSize cellHint();
// The thumbnail's 150 x 200 rectangle inside the rectangle the list gives an item.
QRect contentRect(const QRect& itemRect);

// Frames inside a thumbnail, top-left origin, relative to the thumbnail.
QRect imageFrame();    // 150 x 150 at the top
QRect nameFrame();     // base name, left under the image
QRect labelFrame();    // editable label, right of the name
QRect captionFrame();  // "Prediction"
QRect predictFrame();  // the prediction, right of the caption

// A bottom-left frame (x, y, w, h) in a parent `parentHeight` tall, as a top-left rectangle.
QRect fromBottomLeft(int x, int y, int w, int h, int parentHeight);

// `source` scaled to fit `box`, keeping its proportions; at least 1 x 1; invalid when
// `source` is empty.
QSize fittedSize(const QSize& source, const QSize& box);
// The rectangle an image of `imageSize` is drawn in: fitted into `area`, centred.
QRect fittedRect(const QSize& imageSize, const QRect& area);

// Rows of the list around what is on screen. Rows run left to right in lines of `columns`.
struct Window {
    bool known = false;  // false until the list has been laid out and painted once
    int firstVisible = 0, lastVisible = -1;  // inclusive; empty when last < first
    int firstNearby = 0, lastNearby = -1;    // the visible rows plus `pageLines` lines each side
    bool isVisible(int row) const { return !known || (row >= firstVisible && row <= lastVisible); }
    bool isNearby(int row) const { return !known || (row >= firstNearby && row <= lastNearby); }
};

// `scrollY` is how far the list is scrolled down, `lineHeight` the distance between lines.
Window window(int count, int columns, int lineHeight, int scrollY, int viewportHeight, int pageLines);

}  // namespace photolayout
