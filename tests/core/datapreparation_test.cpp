#include "support/testenv.h"
#include "training/datapreparation.h"
#include "training/samplepng.h"
#include "training/tilecutter.h"
#include "training/workspacefiles.h"

#include <QDir>
#include <QFile>
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

QString freshFolder(const QString& name)
{
    const QString dir = testenv::scratchFolder() + QLatin1Char('/') + name;
    QDir(dir).removeRecursively();
    QDir().mkpath(dir);
    return dir;
}

void touch(const QString& path)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("x");
}

}  // namespace

TEST(DataPreparation, RootNameCutsAtTheFirstDot)
{
    EXPECT_EQ(dp::rootName("/data/field.2020.jpg"), "field");
    EXPECT_EQ(dp::rootName("field.jpg"), "field");
    EXPECT_EQ(dp::rootName("/a.b/plain"), "plain");
}

struct TileNameCase {
    int rows, cols, i, j;
    const char* name;
};

TEST(DataPreparation, TileNamesStayUniqueBeyondTenRowsOrColumns)
{
    const TileNameCase cases[] = {
        {2, 3, 1, 2, "field_12.png"},   {10, 10, 9, 9, "field_99.png"}, {11, 2, 1, 1, "field_1_1.png"},
        {2, 11, 1, 10, "field_1_10.png"}, {12, 13, 11, 2, "field_11_2.png"}, {12, 13, 1, 12, "field_1_12.png"},
    };
    for (const TileNameCase& c : cases)
        EXPECT_EQ(dp::tileFileName("field", c.i, c.j, c.rows, c.cols), c.name) << c.rows << "x" << c.cols;

    QSet<QString> names;
    for (const dp::LabelRecord& r : dp::gridRecords("field", 12, 13, {}, false))
        names.insert(r.filename);
    EXPECT_EQ(names.size(), 12 * 13);
}

struct TileSizeCase {
    QSizeF image;
    std::optional<int> rows, cols;
    std::optional<QSize> tile;
};

TEST(DataPreparation, TileSizeTruncatesAndRefusesMissingGrids)
{
    const TileSizeCase cases[] = {
        {QSizeF(640, 480), 10, 10, QSize(64, 48)},
        {QSizeF(1000, 1000), 3, 3, QSize(333, 333)},
        {QSizeF(1000, 500), 5, 10, QSize(100, 100)},
        {QSizeF(100, 100), 0, 3, std::nullopt},
        {QSizeF(100, 100), 3, -1, std::nullopt},
        {QSizeF(100, 100), std::nullopt, 3, std::nullopt},
        {QSizeF(2, 2), 3, 3, std::nullopt},  // tiles smaller than a pixel
    };
    for (const TileSizeCase& c : cases)
        EXPECT_EQ(dp::tileSize(c.image, c.rows, c.cols), c.tile) << c.image.width() << " " << c.rows.value_or(-99);
    EXPECT_EQ(dp::tileSize(std::nullopt, 2, 2), std::nullopt);
}

TEST(DataPreparation, TilesAreTakenFromTheBottom)
{
    const QImage image = bottomCoded(60, 40);  // 2 rows x 3 columns of 20 x 20
    const QSize tile(20, 20);
    for (int i = 0; i < 2; ++i) {
        for (int j = 0; j < 3; ++j) {
            const QImage t = tilecutter::trimimage(image, dp::tileRectBL(i, j, tile));
            ASSERT_EQ(t.size(), tile);
            // Qt's row 19 of the tile is its bottom row: bottom-up row i * 20.
            EXPECT_EQ(qRed(t.pixel(0, 19)), j * 20 * 4);
            EXPECT_EQ(qGreen(t.pixel(0, 19)), i * 20 * 4);
            EXPECT_EQ(qGreen(t.pixel(5, 0)), (i * 20 + 19) * 4);
            EXPECT_EQ(qBlue(t.pixel(7, 7)), i == 0 ? 255 : 0) << "row 0 is the bottom half";
        }
    }
}

TEST(DataPreparation, ThirdsOfAThousandPointImageLeaveTheLastColumnOut)
{
    const QImage image = bottomCoded(1000, 60);
    const std::optional<QSize> tile = dp::tileSize(QSizeF(1000, 60), 1, 3);
    ASSERT_EQ(tile, QSize(333, 60));
    EXPECT_EQ(dp::tileRectBL(0, 2, *tile), QRect(666, 0, 333, 60));
    const QImage last = tilecutter::trimimage(image, dp::tileRectBL(0, 2, *tile));
    EXPECT_EQ(last.width(), 333);
    EXPECT_EQ(qRed(last.pixel(332, 0)), (998 * 4) & 0xff) << "the tile ends at x 998";
    EXPECT_EQ(dp::toTopLeft(QRect(0, 0, 10, 5), 60), QRect(0, 55, 10, 5));
}

TEST(DataPreparation, TrimPartlyOutsideLeavesTransparency)
{
    const QImage image = bottomCoded(10, 10);
    const QImage t = tilecutter::trimimage(image, QRect(5, 0, 10, 10));
    ASSERT_EQ(t.size(), QSize(10, 10));
    EXPECT_EQ(qAlpha(t.pixel(2, 5)), 255);
    EXPECT_EQ(qAlpha(t.pixel(7, 5)), 0);
    EXPECT_TRUE(tilecutter::trimimage(QImage(), QRect(0, 0, 3, 3)).isNull());
}

struct LabelCase {
    bool reversed;
    const char* labels;  // for (0,0) (0,1) (0,2) (1,0) (1,1) (1,2)
};

TEST(DataPreparation, MarksAndReverseDecideTheLabels)
{
    const std::vector<TilePoint> clicks{{0, 1}, {1, 2}, {7, 7}};
    for (const LabelCase& c : {LabelCase{false, "010001"}, LabelCase{true, "101110"}}) {
        const auto records = dp::gridRecords("field", 2, 3, clicks, c.reversed);
        ASSERT_EQ(records.size(), 6u);
        QString labels;
        for (size_t k = 0; k < records.size(); ++k) {
            EXPECT_EQ(records[k].index, int(k) + 1);
            EXPECT_EQ(records[k].i, int(k) / 3);
            EXPECT_EQ(records[k].j, int(k) % 3);
            labels += records[k].label;
        }
        EXPECT_EQ(labels, c.labels);
    }
}

TEST(DataPreparation, FolderRecordsFollowTheOpenImages)
{
    const QStringList opened{"/in/b.jpg", "/in/a,1.png", "/in/b.png", "/in/c\nd.png"};
    const auto samples = dp::folderSamples(opened);
    ASSERT_EQ(samples.size(), 3u) << "b.jpg and b.png share a stored name";
    EXPECT_EQ(samples[0].source, "/in/b.jpg");
    const QHash<QString, QString> labels{{"b", "cat"}, {"a_1", "1"}, {"gone", "1"}, {"c_d", "x,y"}};
    const auto records = dp::folderRecords(samples, labels);
    const QByteArray text = dp::labelCsvText(records);
    EXPECT_EQ(text, "index,i,j,filename,label\n1,1,1,b.png,cat\n2,2,2,a_1.png,1\n3,3,3,c_d.png,x_y\n");
    EXPECT_EQ(dp::folderRecords(dp::folderSamples({"/in/new.png"}), {}).front().label, "0");
    EXPECT_EQ(dp::labelCsvText({}), "index,i,j,filename,label\n");
}

TEST(DataPreparation, CleaningRuleKeepsOnlyCsvFiles)
{
    const std::pair<const char*, bool> cases[] = {
        {"field_outputlabel.csv", true}, {"a.csv.bak", true},  {"notes.txt", false}, {"old_00.png", false},
        {"my_model.h5", false},          {"noextension", false}, {"e0001-0.5000-0.6000-weights.hdf5", false},
        {"x.2020.csv", false},
    };
    for (const auto& [name, kept] : cases)
        EXPECT_EQ(dp::keptByCleaning(name, false), kept) << name;
    EXPECT_FALSE(dp::keptByCleaning("folder.csv", true)) << "folders never stay";
}

TEST(WorkspaceFiles, AnUnwritableCsvReportsWhy)
{
    const QString ws = freshFolder("csv");
    touch(ws + "/blocker");
    const auto failed = workspacefiles::writeLabelCsv(ws + "/blocker/inner", "x", {});
    EXPECT_FALSE(failed.success);
    EXPECT_TRUE(failed.path.isEmpty());
    EXPECT_FALSE(failed.message.isEmpty());
}

TEST(WorkspaceFiles, SavingGoesOnPastFailures)
{
    const QString ws = freshFolder("save");
    const QImage image = bottomCoded(40, 20);
    const std::vector<QRect> rects{QRect(0, 0, 20, 20), QRect(20, 0, 20, 20), QRect(0, 0, 0, 0)};
    const QStringList targets{ws + "/a.png", ws + "/nofolder/b.png", ws + "/c.png"};
    const auto failures = tilecutter::saveTiles(image, rects, targets);
    ASSERT_EQ(failures.size(), 2u);
    EXPECT_EQ(failures[0].index, 1);
    EXPECT_EQ(failures[0].error.kind, imageutil::NSImageExtensionError::Kind::writeFailed);
    EXPECT_EQ(failures[1].error.kind, imageutil::NSImageExtensionError::Kind::unwrappingPNGRepresentationFailed);
    EXPECT_EQ(QDir(ws).entryList(QDir::Files), QStringList{"a.png"}) << "no partial files are left";
    EXPECT_EQ(QImage(ws + "/a.png").pixel(3, 3), image.pixel(3, 3));
}

TEST(WorkspaceFiles, SamplePngKeepsEveryPixelAndAlpha)
{
    QImage translucent = bottomCoded(37, 23).convertToFormat(QImage::Format_ARGB32);
    translucent.setPixel(3, 4, qRgba(10, 20, 30, 40));
    const QImage opaque = bottomCoded(37, 23);
    const std::pair<QImage, bool> cases[] = {
        {translucent, true}, {translucent.copy(3, 4, 1, 1), true}, {opaque, false},
        {opaque.convertToFormat(QImage::Format_Grayscale8), false},
    };
    for (const auto& [source, alpha] : cases) {
        const std::optional<QByteArray> png = samplepng::encode(source);
        ASSERT_TRUE(png);
        QImage back;
        ASSERT_TRUE(back.loadFromData(*png, "PNG"));
        EXPECT_EQ(back.hasAlphaChannel(), alpha);
        EXPECT_EQ(back.convertToFormat(QImage::Format_RGBA8888), source.convertToFormat(QImage::Format_RGBA8888));
    }
    EXPECT_FALSE(samplepng::encode(QImage()));
}
