#include "data/photolayout.h"

#include <gtest/gtest.h>

using namespace photolayout;

TEST(PhotoLayout, ThumbnailFramesFromTheirBottomLeftPlaces)
{
    EXPECT_EQ(imageFrame(), QRect(0, 0, 150, 150));
    EXPECT_EQ(nameFrame(), QRect(0, 150, 100, 20));
    EXPECT_EQ(labelFrame(), QRect(100, 150, 50, 20));
    EXPECT_EQ(captionFrame(), QRect(0, 170, 100, 20));
    EXPECT_EQ(predictFrame(), QRect(100, 170, 50, 20));
    // The list centres the hint in a 170 x 220 cell and tops it: 5 in from the left and top.
    EXPECT_EQ(gridSize(), QSize(170, 220));
    EXPECT_EQ((gridSize().width() - cellHint().width()) / 2, margin);
    EXPECT_EQ(contentRect(QRect(175, 220, 160, 210)), QRect(175, 225, 150, 200));
}

TEST(PhotoLayout, ImagesFitTheAreaKeepingTheirProportions)
{
    struct Case {
        QSize image;
        QRect expected;
    } cases[] = {
        {{256, 256}, {0, 0, 150, 150}},
        {{300, 100}, {0, 50, 150, 50}},
        {{100, 300}, {50, 0, 50, 150}},
        {{32, 32}, {0, 0, 150, 150}},   // small pictures are enlarged
        {{3000, 2}, {0, 74, 150, 1}},   // never thinner than a pixel
        {{0, 10}, {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(fittedRect(c.image, QRect(0, 0, 150, 150)), c.expected) << c.image.width() << "x" << c.image.height();
}

TEST(PhotoLayout, WindowCoversTheScreenAndAPageAround)
{
    struct Case {
        const char* what;
        int count, columns, scrollY, viewport, pageLines;
        int firstVisible, lastVisible, firstNearby, lastNearby;
    } cases[] = {
        {"top", 10000, 5, 0, 742, 2, 0, 19, 0, 29},
        {"scrolled a line and a bit", 10000, 5, 250, 742, 2, 5, 24, 0, 34},
        {"near the end", 23, 5, 440, 742, 2, 10, 22, 0, 22},
        {"fewer than a line", 3, 5, 0, 742, 2, 0, 2, 0, 2},
        {"empty", 0, 5, 0, 742, 2, 0, -1, 0, -1},
    };
    for (const Case& c : cases) {
        const Window w = window(c.count, c.columns, 220, c.scrollY, c.viewport, c.pageLines);
        EXPECT_EQ(w.firstVisible, c.firstVisible) << c.what;
        EXPECT_EQ(w.lastVisible, c.lastVisible) << c.what;
        EXPECT_EQ(w.firstNearby, c.firstNearby) << c.what;
        EXPECT_EQ(w.lastNearby, c.lastNearby) << c.what;
    }
    EXPECT_TRUE(Window{}.isVisible(123456));  // not laid out yet: everything may be on screen
}
