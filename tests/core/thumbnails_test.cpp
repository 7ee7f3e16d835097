#include "data/thumbnailcache.h"
#include "data/thumbnaildecoder.h"
#include "data/ui/thumbnailloader.h"
#include "support/testenv.h"

#include <QDir>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace {
QString thumbsFolder()
{
    const QString dir = testenv::scratchFolder() + QStringLiteral("/thumbs");
    QDir().mkpath(dir);
    return dir;
}

QString writeImage(const char* name, QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    const QString path = thumbsFolder() + QLatin1Char('/') + QString::fromUtf8(name);
    EXPECT_TRUE(image.save(path));
    return path;
}

QImage pixels(int w, int h)
{
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::red);
    return image;
}

TEST(ThumbnailDecoder, DecodesAtMostTheBoxKeepingProportions)
{
    for (const auto& [name, size, expected] : std::vector<std::tuple<const char*, QSize, QSize>>{
             {"square.png", {256, 256}, {150, 150}}, {"wide.jpg", {600, 200}, {150, 50}},
             {"tall.png", {40, 400}, {15, 150}},     {"tiny.png", {30, 20}, {150, 100}}}) {
        const QImage thumb = thumbnaildecoder::decode(writeImage(name, size), QSize(150, 150));
        EXPECT_EQ(thumb.size(), expected) << name;
        EXPECT_EQ(thumb.format(), QImage::Format_ARGB32_Premultiplied) << name;
    }
    EXPECT_TRUE(thumbnaildecoder::decode(thumbsFolder(), QSize(150, 150)).isNull());  // a folder
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
}  // namespace
