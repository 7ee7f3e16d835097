// A thumbnail cell of the image browser: decoding, caching, the fitted picture, the loading window and its border.
#include "data/photoborder.h"
#include "data/photolayout.h"
#include "data/thumbnailcache.h"
#include "data/thumbnaildecoder.h"
#include "data/ui/thumbnailloader.h"
#include "support/testenv.h"

#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace {
QString writeImage(const char* name, QSize size, QColor left = Qt::darkCyan, QColor right = Qt::darkCyan)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(right);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width() / 2; ++x)
            image.setPixelColor(x, y, left);
    const QString path = testenv::scratchFolder() + QLatin1Char('/') + QString::fromUtf8(name);
    EXPECT_TRUE(image.save(path));
    return path;
}

QImage pixels(int w, int h)
{
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::red);
    return image;
}

bool near(QColor a, QColor b)
{
    return std::abs(a.red() - b.red()) <= 8 && std::abs(a.green() - b.green()) <= 8
           && std::abs(a.blue() - b.blue()) <= 8 && std::abs(a.alpha() - b.alpha()) <= 8;
}

TEST(ThumbnailDecoder, FitsTheBoxKeepingProportionsAndColours)
{
    const QColor red(200, 30, 40), blue(20, 40, 220), clear(0, 0, 0, 0);
    struct Case { const char* name; QSize size, expected; QColor left, right; } cases[] = {
        {"wide.jpg", {600, 200}, {150, 50}, red, blue},  // decoded small
        {"big.png", {640, 400}, {150, 93}, red, blue},   // halved twice, then filtered
        {"tall.png", {40, 400}, {15, 150}, Qt::darkCyan, Qt::darkCyan},
        {"tiny.png", {30, 20}, {150, 100}, QColor(250, 250, 0), QColor(0, 90, 0)},  // enlarged
        {"clear.png", {400, 300}, {150, 112}, clear, QColor(255, 0, 0, 128)},
    };
    for (const Case& c : cases) {
        const QImage thumb = thumbnaildecoder::decode(writeImage(c.name, c.size, c.left, c.right), QSize(150, 150));
        EXPECT_EQ(thumb.size(), c.expected) << c.name;
        EXPECT_EQ(thumb.format(), QImage::Format_ARGB32_Premultiplied) << c.name;
        // Each half keeps its colour out to the edges and corners.
        const int w = c.expected.width();
        for (const int y : {0, c.expected.height() / 2, c.expected.height() - 1})
            for (const auto& [x, colour] : {std::pair{0, c.left}, std::pair{w / 4, c.left},
                                            std::pair{w * 3 / 4, c.right}, std::pair{w - 1, c.right}}) {
                const QColor got = thumb.pixelColor(x, y);
                EXPECT_TRUE(near(got, colour)) << c.name << " at " << x << "," << y << ": "
                                               << qPrintable(got.name(QColor::HexArgb));
            }
    }
    EXPECT_TRUE(thumbnaildecoder::decode(testenv::scratchFolder(), QSize(150, 150)).isNull());  // a folder
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
    const QString path = writeImage("async.png", QSize(256, 128));
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
    const QString late = writeImage("late.png", QSize(64, 64));
    loader.thumbnail(2, late);
    QTest::qWait(0);  // started
    loader.reset();
    QTest::qWait(300);
    EXPECT_EQ(loader.state(path), ThumbnailLoader::State::Absent);
    EXPECT_EQ(loader.state(late), ThumbnailLoader::State::Absent);
}

TEST(PhotoLayout, ImagesFitTheAreaKeepingTheirProportions)
{
    using namespace photolayout;
    const std::pair<QSize, QRect> cases[] = {
        {{300, 100}, {0, 50, 150, 50}}, {{100, 300}, {50, 0, 50, 150}},
        {{32, 32}, {0, 0, 150, 150}},   // small pictures are enlarged
        {{3000, 2}, {0, 74, 150, 1}},   // never thinner than a pixel
        {{0, 10}, {}},
    };
    for (const auto& [image, expected] : cases)
        EXPECT_EQ(fittedRect(image, QRect(0, 0, 150, 150)), expected) << image.width() << "x" << image.height();
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
