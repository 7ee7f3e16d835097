#include "support/badfiles.h"
#include "support/testenv.h"
#include "util/imageutil.h"

#include <QDir>
#include <QImage>
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

TEST(ImageHelpers, ResizedStretchesToTruncatedPixelsAndCopiesTransparency)
{
    const auto squashed = imageutil::resized(checker(640, 640), QSizeF(100.7, 50.2));
    ASSERT_TRUE(squashed);
    EXPECT_EQ(squashed->bitmap.size(), QSize(100, 50));
    EXPECT_EQ(squashed->bitmap.format(), QImage::Format_RGBA8888);
    EXPECT_FALSE(imageutil::resized(checker(8, 8), QSizeF(0.5, 10)));
    EXPECT_FALSE(imageutil::resized(QImage(), QSizeF(10, 10)));

    QImage clear(4, 4, QImage::Format_RGBA8888);
    clear.fill(QColor(10, 20, 30, 0));
    const auto out = imageutil::resized(clear, QSizeF(4, 4));
    ASSERT_TRUE(out);
    EXPECT_EQ(qAlpha(out->bitmap.pixel(1, 1)), 0);  // copied, not blended
}

TEST(ImageHelpers, SavePngRoundTripsAndReplacesAtomically)
{
    const QString dir = testenv::freshFolder("png");
    const QString target = dir + QStringLiteral("/tile.png");
    ASSERT_TRUE(badfiles::write(target, "not a png"));
    const QImage src = checker(33, 17);
    EXPECT_FALSE(imageutil::savePngTo(src, target));
    EXPECT_EQ(QImage(target).convertToFormat(QImage::Format_RGB32), src);
    EXPECT_EQ(QDir(dir).entryList(QDir::Files), QStringList{"tile.png"});  // no temporary left

    EXPECT_FALSE(imageutil::PNGRepresentation(QImage()));  // failures are checked where tiles are saved
}
}  // namespace
