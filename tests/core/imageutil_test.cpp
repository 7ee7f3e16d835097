#include "support/testenv.h"
#include "util/imageutil.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <gtest/gtest.h>

namespace {
QImage checker(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, ((x / 8 + y / 8) % 2) ? qRgb(255, 0, 0) : qRgb(0, 0, 255));
    return img;
}
}  // namespace

TEST(ImageHelpers, ResizedStretchesToTruncatedPixels)
{
    const auto squashed = imageutil::resized(checker(640, 640), QSizeF(320, 80));
    ASSERT_TRUE(squashed);
    EXPECT_EQ(squashed->bitmap.size(), QSize(320, 80));
    EXPECT_EQ(squashed->bitmap.format(), QImage::Format_RGBA8888);

    const auto fractional = imageutil::resized(checker(64, 64), QSizeF(100.7, 50.2));
    ASSERT_TRUE(fractional);
    EXPECT_EQ(fractional->bitmap.size(), QSize(100, 50));
    EXPECT_EQ(fractional->size, QSizeF(100.7, 50.2));

    EXPECT_FALSE(imageutil::resized(checker(8, 8), QSizeF(0.5, 10)));
    EXPECT_FALSE(imageutil::resized(QImage(), QSizeF(10, 10)));
}

TEST(ImageHelpers, ResizedCopiesTransparencyInsteadOfBlending)
{
    QImage clear(4, 4, QImage::Format_RGBA8888);
    clear.fill(QColor(10, 20, 30, 0));
    const auto out = imageutil::resized(clear, QSizeF(4, 4));
    ASSERT_TRUE(out);
    EXPECT_EQ(qAlpha(out->bitmap.pixel(1, 1)), 0);
}

TEST(ImageHelpers, PngRoundTripKeepsPixels)
{
    const QImage src = checker(33, 17);
    const auto png = imageutil::PNGRepresentation(src);
    ASSERT_TRUE(png);
    QImage back;
    ASSERT_TRUE(back.loadFromData(*png, "PNG"));
    EXPECT_EQ(back.size(), src.size());
    EXPECT_EQ(back.pixel(9, 0), src.pixel(9, 0));
    EXPECT_FALSE(imageutil::PNGRepresentation(QImage()));
}

TEST(ImageHelpers, SavePngReplacesAtomicallyAndLeavesNothingOnFailure)
{
    const QString dir = testenv::scratchFolder() + QStringLiteral("/png");
    QDir().mkpath(dir);
    const QString target = dir + QStringLiteral("/tile.png");
    {
        QFile old(target);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("not a png");
    }
    EXPECT_FALSE(imageutil::savePngTo(checker(16, 16), target));
    EXPECT_EQ(QImageReader(target).size(), QSize(16, 16));
    EXPECT_EQ(QDir(dir).entryList(QDir::Files), QStringList{"tile.png"});  // no temporary left

    const auto missingFolder = imageutil::savePngTo(checker(4, 4), dir + QStringLiteral("/nope/x.png"));
    ASSERT_TRUE(missingFolder);
    EXPECT_EQ(missingFolder->kind, imageutil::NSImageExtensionError::Kind::writeFailed);
    EXPECT_FALSE(QFile::exists(dir + QStringLiteral("/nope")));

    const auto empty = imageutil::savePngTo(QImage(), dir + QStringLiteral("/empty.png"));
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->kind, imageutil::NSImageExtensionError::Kind::unwrappingPNGRepresentationFailed);
    EXPECT_FALSE(QFile::exists(dir + QStringLiteral("/empty.png")));
}
