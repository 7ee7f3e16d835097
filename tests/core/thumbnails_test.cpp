// A thumbnail cell of the image browser: caching, loading and its border (the decoded pictures are seen in the browser).
#include "data/photoborder.h"
#include "data/thumbnailcache.h"
#include "data/ui/thumbnailloader.h"
#include "support/testenv.h"

#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace {
QImage pixels(int w, int h)
{
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::red);
    return image;
}

TEST(ThumbnailCache, DropsTheLeastRecentlyUsedBeyondItsBudget)
{
    ThumbnailCache cache(3 * pixels(100, 100).sizeInBytes());
    for (const char* key : {"a", "b", "c"})
        cache.insert(key, pixels(100, 100));
    ASSERT_NE(cache.find("a"), nullptr);  // a is now the most recent
    cache.insert("d", pixels(100, 100));
    EXPECT_TRUE(cache.contains("a") && cache.contains("d"));
    EXPECT_FALSE(cache.contains("b"));
    EXPECT_LE(cache.usedBytes(), cache.budgetBytes());
    cache.insert("bad", QImage());  // an unreadable file is remembered as such
    ASSERT_NE(cache.find("bad"), nullptr);
    EXPECT_TRUE(cache.find("bad")->isNull());
    cache.insert("huge", pixels(400, 400));  // larger than the whole budget: not kept
    EXPECT_FALSE(cache.contains("huge"));
}

// Background decoding of a whole list and unreadable files are followed in the browser's tests.
TEST(ThumbnailLoader, QueuesEachPictureOnceReportsItsRowAndForgetsEverythingOnReset)
{
    ThumbnailLoader loader;
    QSignalSpy ready(&loader, &ThumbnailLoader::thumbnailReady);
    const QString path = testenv::savePicture(testenv::scratchFolder() + QStringLiteral("/async.png"), QSize(256, 128));
    EXPECT_EQ(loader.thumbnail(7, path), nullptr);  // never decoded while the caller waits
    EXPECT_EQ(loader.state(path), ThumbnailLoader::State::Queued);
    EXPECT_EQ(loader.thumbnail(7, path), nullptr);  // asking again queues nothing more
    ASSERT_TRUE(ready.wait(5000));
    EXPECT_EQ(ready.first().at(0).toInt(), 7);
    EXPECT_EQ(ready.first().at(1).toString(), path);
    const QImage* image = loader.thumbnail(7, path);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->size(), QSize(150, 75));
    EXPECT_EQ(loader.decodesStarted(), 1);

    // Results of decodes started before a reset are dropped.
    const QString late = testenv::savePicture(testenv::scratchFolder() + QStringLiteral("/late.png"), QSize(64, 64));
    loader.thumbnail(2, late);
    QTest::qWait(0);  // started
    loader.reset();
    QTest::qWait(300);
    EXPECT_EQ(loader.state(path), ThumbnailLoader::State::Absent);
    EXPECT_EQ(loader.state(late), ThumbnailLoader::State::Absent);
}

// Selecting and deselecting with and without predictions is followed in the browser's tests.
TEST(PhotoBorder, LoadHighlightAndAddBorderEventsFrameAsTabled)
{
    using namespace photoborder;
    using E = PhotoEvent;
    using H = Highlight;
    const PhotoBorder none{}, blue{BorderTint::Blue, 3}, red{BorderTint::Red, 5};
    const PhotoBorder old{BorderTint::Red, 1};  // a frame left by an earlier event
    const std::tuple<const char*, E, PhotoState, PhotoBorder> cases[] = {  // PhotoState: has prediction, label, prediction, selected
        {"load, wrong", E::ViewDidLoad, {true, "1", "0", false, H::None}, red},
        {"load, right", E::ViewDidLoad, {true, "1", "1", false, H::None}, old},
        {"highlight for selection", E::HighlightChanged, {true, "1", "1", false, H::ForSelection}, blue},
        {"highlight off, selected", E::HighlightChanged, {true, "1", "0", true, H::None}, old},
        {"highlight for deselection, selected", E::HighlightChanged, {false, "1", "0", true, H::ForDeselection}, old},
        {"highlight off, unselected, wrong", E::HighlightChanged, {true, "1", "0", false, H::None}, red},
        {"highlight off, unselected, right", E::HighlightChanged, {true, "0", "0", false, H::None}, none},
        {"add border, wrong", E::AddBorder, {true, "1", "0", false, H::None}, red},
        {"add border, right", E::AddBorder, {true, "1", "1", false, H::None}, old},
        {"add border, selected and wrong", E::AddBorder, {true, "1", "0", true, H::None}, red},
    };
    for (const auto& [what, event, state, expected] : cases) {
        const PhotoBorder got = borderAfter(event, state, old);
        EXPECT_EQ(std::make_pair(got.tint, got.width), std::make_pair(expected.tint, expected.width)) << what;
    }
}
}  // namespace
