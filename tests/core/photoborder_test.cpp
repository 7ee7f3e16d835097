#include "data/photoborder.h"

#include <gtest/gtest.h>

using namespace photoborder;

namespace {
const PhotoBorder kNone{};
const PhotoBorder kBlue{BorderTint::Blue, 3};
const PhotoBorder kRed{BorderTint::Red, 5};
const PhotoBorder kOld{BorderTint::Red, 1};  // a frame left by an earlier event

struct Case {
    const char* what;
    PhotoEvent event;
    bool hasprediction;
    const char* label;
    const char* prediction;
    bool selected;
    Highlight highlight;
    PhotoBorder expected;
};

PhotoState stateOf(const Case& c)
{
    PhotoState s;
    s.hasprediction = c.hasprediction;
    s.label = QString::fromUtf8(c.label);
    s.prediction = QString::fromUtf8(c.prediction);
    s.selected = c.selected;
    s.highlight = c.highlight;
    return s;
}

using E = PhotoEvent;
using H = Highlight;
const Case kCases[] = {
    {"load, wrong", E::ViewDidLoad, true, "1", "0", false, H::None, kRed},
    {"load, right", E::ViewDidLoad, true, "1", "1", false, H::None, kOld},
    {"load, no prediction", E::ViewDidLoad, false, "1", "0", false, H::None, kOld},
    {"selected, wrong", E::SelectionChanged, true, "1", "0", true, H::None, kBlue},
    {"selected, no prediction", E::SelectionChanged, false, "0", "", true, H::None, kBlue},
    {"deselected, no prediction", E::SelectionChanged, false, "1", "0", false, H::None, kNone},
    {"deselected, wrong", E::SelectionChanged, true, "1", "0", false, H::None, kRed},
    {"deselected, right", E::SelectionChanged, true, "1", "1", false, H::None, kNone},
    {"deselected, case differs", E::SelectionChanged, true, "cat", "Cat", false, H::None, kRed},
    {"highlight for selection", E::HighlightChanged, true, "1", "1", false, H::ForSelection, kBlue},
    {"highlight off, selected", E::HighlightChanged, true, "1", "0", true, H::None, kOld},
    {"highlight for deselection, selected", E::HighlightChanged, false, "1", "0", true, H::ForDeselection, kOld},
    {"highlight off, unselected, wrong", E::HighlightChanged, true, "1", "0", false, H::None, kRed},
    {"highlight off, unselected, right", E::HighlightChanged, true, "0", "0", false, H::None, kNone},
    {"highlight off, unselected, no prediction", E::HighlightChanged, false, "0", "1", false, H::None, kNone},
    {"add border, wrong", E::AddBorder, true, "1", "0", false, H::None, kRed},
    {"add border, right", E::AddBorder, true, "1", "1", false, H::None, kOld},
    {"add border, selected and wrong", E::AddBorder, true, "1", "0", true, H::None, kRed},
};
}  // namespace

TEST(PhotoBorder, EveryEventFramesAsTabled)
{
    for (const Case& c : kCases) {
        const PhotoBorder got = borderAfter(c.event, stateOf(c), kOld);
        EXPECT_EQ(got.tint, c.expected.tint) << c.what;
        EXPECT_EQ(got.width, c.expected.width) << c.what;
    }
}

TEST(PhotoBorder, WrongNeedsAPredictionAndADifferentText)
{
    PhotoState s;
    s.label = QStringLiteral("1");
    s.prediction = QStringLiteral("0");
    EXPECT_FALSE(isWrong(s));
    s.hasprediction = true;
    EXPECT_TRUE(isWrong(s));
    s.prediction = QStringLiteral("1");
    EXPECT_FALSE(isWrong(s));
}
