#include "support/testenv.h"
#include "training/datapreparation.h"
#include "training/samplepng.h"
#include "training/tilecutter.h"

#include <QDir>
#include <QImage>
#include <gtest/gtest.h>

namespace dp = datapreparation;

namespace {

// Red encodes x, green encodes the row counted from the bottom; blue marks the bottom half.
QImage bottomCoded(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        const int fromBottom = h - 1 - y;
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgb(x * 4, fromBottom * 4, fromBottom < h / 2 ? 255 : 0));
    }
    return image;
}

TEST(DataPreparation, NamesStayUniqueBeyondTenRowsOrColumns)
{
    EXPECT_EQ(dp::rootName("/data/field.2020.jpg"), "field");
    EXPECT_EQ(dp::rootName("/a.b/plain"), "plain");
    const std::tuple<int, int, int, int, const char*> cases[] = {  // rows, cols, i, j
        {2, 3, 1, 2, "field_12.png"}, {10, 10, 9, 9, "field_99.png"}, {2, 11, 1, 10, "field_1_10.png"},
        {12, 13, 11, 2, "field_11_2.png"}};
    for (const auto& [rows, cols, i, j, name] : cases)
        EXPECT_EQ(dp::tileFileName("field", i, j, rows, cols), name) << rows << "x" << cols;
    QSet<QString> names;
    for (const dp::LabelRecord& r : dp::gridRecords("field", 12, 13, {}, false))
        names.insert(r.filename);
    EXPECT_EQ(names.size(), 12 * 13);
}

TEST(DataPreparation, TileSizeTruncatesAndRefusesMissingGrids)
{
    using Grid = std::optional<int>;
    const std::tuple<QSizeF, Grid, Grid, std::optional<QSize>> cases[] = {
        {QSizeF(640, 480), 10, 10, QSize(64, 48)},         {QSizeF(1000, 500), 5, 10, QSize(100, 100)},
        {QSizeF(100, 100), 0, 3, std::nullopt},            {QSizeF(100, 100), 3, -1, std::nullopt},
        {QSizeF(100, 100), std::nullopt, 3, std::nullopt}, {QSizeF(2, 2), 3, 3, std::nullopt},  // smaller than a pixel
    };
    for (const auto& [image, rows, cols, tile] : cases)
        EXPECT_EQ(dp::tileSize(image, rows, cols), tile) << image.width() << " " << rows.value_or(-99);
    EXPECT_EQ(dp::tileSize(std::nullopt, 2, 2), std::nullopt);
}

// Tiles counted from the bottom are checked pixel by pixel in the prepare-data tests.
TEST(DataPreparation, TilesAreTruncatedAndTransparentOutsideTheImage)
{
    // Thirds of a 1000-point image leave the last column out.
    const std::optional<QSize> tile = dp::tileSize(QSizeF(1000, 60), 1, 3);
    ASSERT_EQ(tile, QSize(333, 60));
    EXPECT_EQ(dp::tileRectBL(0, 2, *tile), QRect(666, 0, 333, 60));
    const QImage last = tilecutter::trimimage(bottomCoded(1000, 60), dp::tileRectBL(0, 2, *tile));
    EXPECT_EQ(qRed(last.pixel(332, 0)), (998 * 4) & 0xff) << "the tile ends at x 998";
    EXPECT_EQ(dp::toTopLeft(QRect(0, 0, 10, 5), 60), QRect(0, 55, 10, 5));

    const QImage partly = tilecutter::trimimage(bottomCoded(10, 10), QRect(5, 0, 10, 10));
    ASSERT_EQ(partly.size(), QSize(10, 10));
    EXPECT_EQ(qAlpha(partly.pixel(2, 5)), 255);
    EXPECT_EQ(qAlpha(partly.pixel(7, 5)), 0);  // outside the image: transparent
    EXPECT_TRUE(tilecutter::trimimage(QImage(), QRect(0, 0, 3, 3)).isNull());
}

TEST(DataPreparation, FolderRecordsKeepOneImagePerStoredNameAndCleanLabels)
{
    const auto samples = dp::folderSamples({"/in/b.jpg", "/in/a,1.png", "/in/b.png", "/in/c\nd.png"});
    ASSERT_EQ(samples.size(), 3u) << "b.jpg and b.png share a stored name";
    EXPECT_EQ(samples[0].source, "/in/b.jpg");
    const QHash<QString, QString> labels{{"b", "cat"}, {"a_1", "1"}, {"gone", "1"}, {"c_d", "x,y"}};
    EXPECT_EQ(dp::labelCsvText(dp::folderRecords(samples, labels)),
              "index,i,j,filename,label\n1,1,1,b.png,cat\n2,2,2,a_1.png,1\n3,3,3,c_d.png,x_y\n");
    EXPECT_EQ(dp::folderRecords(dp::folderSamples({"/in/new.png"}), {}).front().label, "0");
    EXPECT_EQ(dp::labelCsvText({}), "index,i,j,filename,label\n");
}

TEST(DataPreparation, CleaningKeepsOnlyFilesEndingInCsv)
{
    for (const auto& [name, kept] : std::vector<std::pair<const char*, bool>>{
             {"field_outputlabel.csv", true}, {"a.csv.bak", true}, {"x.2020.csv", false}, {"my_model.h5", false},
             {"e0001-0.5000-0.6000-weights.hdf5", false}})
        EXPECT_EQ(dp::keptByCleaning(name, false), kept) << name;
    EXPECT_FALSE(dp::keptByCleaning("folder.csv", true)) << "folders never stay";
}

TEST(WorkspaceFiles, SavingGoesOnPastFailuresAndLeavesNoPartialFiles)
{
    const QString ws = testenv::freshFolder("save");
    const QImage image = bottomCoded(40, 20);
    const auto failures = tilecutter::saveTiles(image, {QRect(0, 0, 20, 20), QRect(20, 0, 20, 20), QRect(0, 0, 0, 0)},
                                                {ws + "/a.png", ws + "/nofolder/b.png", ws + "/c.png"});
    using Kind = imageutil::NSImageExtensionError::Kind;
    ASSERT_EQ(failures.size(), 2u);
    EXPECT_EQ(std::make_tuple(failures[0].index, failures[0].error.kind, failures[1].error.kind),
              std::make_tuple(1, Kind::writeFailed, Kind::unwrappingPNGRepresentationFailed));
    EXPECT_EQ(QDir(ws).entryList(QDir::Files), QStringList{"a.png"});
    EXPECT_EQ(QImage(ws + "/a.png").pixel(3, 3), image.pixel(3, 3));
}

TEST(WorkspaceFiles, SamplePngKeepsEveryPixelAndAlpha)
{
    QImage translucent = bottomCoded(37, 23).convertToFormat(QImage::Format_ARGB32);
    translucent.setPixel(3, 4, qRgba(10, 20, 30, 40));
    const QImage opaque = bottomCoded(37, 23);
    for (const auto& [source, alpha] : std::vector<std::pair<QImage, bool>>{
             {translucent, true}, {opaque, false}, {opaque.convertToFormat(QImage::Format_Grayscale8), false}}) {
        const std::optional<QByteArray> png = samplepng::encode(source);
        ASSERT_TRUE(png);
        QImage back;
        ASSERT_TRUE(back.loadFromData(*png, "PNG"));
        EXPECT_EQ(back.hasAlphaChannel(), alpha);
        EXPECT_EQ(back.convertToFormat(QImage::Format_RGBA8888), source.convertToFormat(QImage::Format_RGBA8888));
    }
    EXPECT_FALSE(samplepng::encode(QImage()));
}

}  // namespace
