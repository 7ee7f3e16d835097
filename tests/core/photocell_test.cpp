// A thumbnail cell of the image browser: its frames, the fitted picture, the loading window and its border.
#include "data/photoborder.h"
#include "data/photolayout.h"

#include <gtest/gtest.h>

using namespace photolayout;

// Where the list places each cell is checked in the browser's tests.
TEST(PhotoLayout, ThumbnailFramesFromTheirBottomLeftPlaces)
{
    EXPECT_EQ(imageFrame(), QRect(0, 0, 150, 150));
    EXPECT_EQ(nameFrame(), QRect(0, 150, 100, 20));
    EXPECT_EQ(labelFrame(), QRect(100, 150, 50, 20));
    EXPECT_EQ(captionFrame(), QRect(0, 170, 100, 20));
    EXPECT_EQ(predictFrame(), QRect(100, 170, 50, 20));
}

TEST(PhotoLayout, ImagesFitTheAreaKeepingTheirProportions)
{
    const std::pair<QSize, QRect> cases[] = {
        {{256, 256}, {0, 0, 150, 150}}, {{300, 100}, {0, 50, 150, 50}}, {{100, 300}, {50, 0, 50, 150}},
        {{32, 32}, {0, 0, 150, 150}},   // small pictures are enlarged
        {{3000, 2}, {0, 74, 150, 1}},   // never thinner than a pixel
        {{0, 10}, {}},
    };
    for (const auto& [image, expected] : cases)
        EXPECT_EQ(fittedRect(image, QRect(0, 0, 150, 150)), expected) << image.width() << "x" << image.height();
}

TEST(PhotoLayout, WindowCoversTheScreenAndAPageAround)
{
    struct Case {
        int count, scrollY;
        int firstVisible, lastVisible, firstNearby, lastNearby;
    } cases[] = {
        {10000, 0, 0, 19, 0, 29}, {10000, 250, 5, 24, 0, 34}, {23, 440, 10, 22, 0, 22}, {3, 0, 0, 2, 0, 2}, {0, 0, 0, -1, 0, -1},
    };
    for (const Case& c : cases) {
        const Window w = window(c.count, 5, 220, c.scrollY, 742, 2);
        EXPECT_EQ((std::vector<int>{w.firstVisible, w.lastVisible, w.firstNearby, w.lastNearby}),
                  (std::vector<int>{c.firstVisible, c.lastVisible, c.firstNearby, c.lastNearby}))
            << c.count << " at " << c.scrollY;
    }
    EXPECT_TRUE(Window{}.isVisible(123456));  // not laid out yet: everything may be on screen
}

// Selecting and deselecting with and without predictions is followed in the browser's tests.
TEST(PhotoBorder, LoadHighlightAndAddBorderEventsFrameAsTabled)
{
    using namespace photoborder;
    using E = PhotoEvent;
    using H = Highlight;
    const PhotoBorder none{}, blue{BorderTint::Blue, 3}, red{BorderTint::Red, 5};
    const PhotoBorder old{BorderTint::Red, 1};  // a frame left by an earlier event
    const struct Case {
        const char* what;
        E event;
        bool hasprediction;
        const char* label;
        const char* prediction;
        bool selected;
        H highlight;
        PhotoBorder expected;
    } cases[] = {
        {"load, wrong", E::ViewDidLoad, true, "1", "0", false, H::None, red},
        {"load, right", E::ViewDidLoad, true, "1", "1", false, H::None, old},
        {"highlight for selection", E::HighlightChanged, true, "1", "1", false, H::ForSelection, blue},
        {"highlight off, selected", E::HighlightChanged, true, "1", "0", true, H::None, old},
        {"highlight for deselection, selected", E::HighlightChanged, false, "1", "0", true, H::ForDeselection, old},
        {"highlight off, unselected, wrong", E::HighlightChanged, true, "1", "0", false, H::None, red},
        {"highlight off, unselected, right", E::HighlightChanged, true, "0", "0", false, H::None, none},
        {"add border, wrong", E::AddBorder, true, "1", "0", false, H::None, red},
        {"add border, right", E::AddBorder, true, "1", "1", false, H::None, old},
        {"add border, selected and wrong", E::AddBorder, true, "1", "0", true, H::None, red},
    };
    for (const Case& c : cases) {
        PhotoState s;
        s.hasprediction = c.hasprediction;
        s.label = QString::fromUtf8(c.label);
        s.prediction = QString::fromUtf8(c.prediction);
        s.selected = c.selected;
        s.highlight = c.highlight;
        const PhotoBorder got = borderAfter(c.event, s, old);
        EXPECT_EQ(got.tint, c.expected.tint) << c.what;
        EXPECT_EQ(got.width, c.expected.width) << c.what;
    }
}
