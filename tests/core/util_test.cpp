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
