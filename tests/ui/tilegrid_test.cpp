#include "data/ui/paintableimageview.h"
#include "support/fixture.h"
#include "support/testenv.h"

#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {
const QColor kImage(0, 0, 128);
const QColor kWhite(255, 255, 255);
const QColor kRed(255, 0, 0);

// A 3 x 3 neighbourhood, so that tests do not depend on how a 1-point line is rasterised.
bool colourNear(const QImage& image, QPoint p, const QColor& colour)
{
    for (int dx = -1; dx <= 1; ++dx)
        for (int dy = -1; dy <= 1; ++dy)
            if (image.valid(p + QPoint(dx, dy)) && image.pixelColor(p + QPoint(dx, dy)).rgb() == colour.rgb())
                return true;
    return false;
}

struct Grid : ControllerFixture {
    QTemporaryDir dir;
    ViewController* c = controller;

    QString image(const char* name, QSize size)
    {
        QImage img(size, QImage::Format_RGB32);
        img.fill(kImage);
        const QString path = dir.filePath(QString::fromUtf8(name));
        EXPECT_TRUE(img.save(path));
        return path;
    }
    void open(const QString& path)
    {
        prompter.answerPaths({path});
        c->Opendata();
    }
    void draw(const QString& cols, const QString& rows)
    {
        c->gridcol->setText(cols);
        c->gridrow->setText(rows);
        c->drawgridbutton->click();
    }
    // The widget position of the point (x, y) counted from the view's bottom-left corner.
    QPoint at(double x, double y) const { return QPoint(int(x), int(c->testview->height() - y)); }
    void clickAt(double x, double y) { QTest::mouseClick(c->testview, Qt::LeftButton, {}, at(x, y)); }
    QImage shot() const { return c->testview->grab().toImage(); }
    std::vector<TilePoint> marks() const { return c->gridmodel.clickpoints; }
};
}  // namespace

TEST(TileGrid, OpeningShowsTheImageFittedAtTheBottomLeft)
{
    Grid g;
    g.open(g.image("wide.png", QSize(1000, 500)));
    ViewController* c = g.c;
    EXPECT_EQ(c->labelviewtitle->text(), "Image size: {1000, 500}");
    EXPECT_EQ(c->imageview->size(), c->workAreaSize());
    EXPECT_EQ(c->testview->size(), c->imageview->size());
    EXPECT_TRUE(c->testview->isVisible());
    EXPECT_EQ(c->scrollview->widget(), c->imageview);
    EXPECT_EQ(c->lastlabelview, c->imageview);
    EXPECT_EQ(c->inputdatatype, 1);
    EXPECT_TRUE(c->havesingleimg);
    EXPECT_FALSE(c->havegridimg);
    EXPECT_TRUE(c->LabelViewBtn->isChecked());
    EXPECT_FALSE(c->gridmodel.hasGrid());
    const QImage shot = g.shot();
    EXPECT_EQ(shot.pixelColor(g.at(10, 10)).rgb(), kImage.rgb());
    EXPECT_EQ(shot.pixelColor(g.at(990, 490)).rgb(), kImage.rgb());
    EXPECT_EQ(shot.pixelColor(g.at(10, 520)).rgb(), QColor(Qt::black).rgb());  // above the fitted image
    g.clickAt(50, 50);
    EXPECT_TRUE(g.marks().empty());  // no grid yet
    QApplication::processEvents();
    EXPECT_FALSE(c->scrollview->horizontalScrollBar()->isVisible());
    EXPECT_FALSE(c->scrollview->verticalScrollBar()->isVisible());
}

TEST(TileGrid, NearSquareImagesFitWholeSoEveryTileCanBeClicked)
{
    Grid g;
    g.open(g.image("squarish.png", QSize(1000, 900)));
    g.draw("10", "10");
    const double h = g.c->testview->height();  // the height limits: tiles of 82 x 74 at 742 points
    const double tw = int(1000 * h / 900 / 10);
    const double th = int(h / 10);
    g.clickAt(9 * tw + tw / 2, 9 * th + th / 2);
    EXPECT_EQ(g.marks(), (std::vector<TilePoint>{{9, 9}}));
    EXPECT_LE(g.c->gridmodel.drawsize.height(), h);
}

TEST(TileGrid, DrawingSetsCountsTileSizeAndKeepsMarks)
{
    Grid g;
    g.open(g.image("wide.png", QSize(1000, 500)));
    g.draw("10", "5");
    ViewController* c = g.c;
    EXPECT_EQ(c->tilesize->text(), "Tile size: {100, 100}");
    EXPECT_EQ(c->gridnum, 50);
    EXPECT_TRUE(c->havegridimg);
    EXPECT_EQ(c->gridmodel.colnum, 10);
    EXPECT_EQ(c->gridmodel.rownum, 5);
    EXPECT_EQ(c->gridmodel.viewsize, QSizeF(c->imageview->size()));
    g.clickAt(150, 50);
    g.draw("4abc", " 7");
    EXPECT_EQ(c->gridmodel.colnum, 4);
    EXPECT_EQ(c->gridmodel.rownum, 7);
    EXPECT_EQ(c->tilesize->text(), "Tile size: {250, 71}");
    EXPECT_EQ(g.marks(), (std::vector<TilePoint>{{0, 1}}));
}

TEST(TileGrid, ClicksToggleTheTileUnderThePointer)
{
    Grid g;
    g.open(g.image("wide.png", QSize(1000, 500)));
    g.draw("10", "5");  // 1000 x 500 fitted 1:1 into 1000 points: 100 x 100 tiles
    g.clickAt(50, 50);    // A: bottom-left tile
    g.clickAt(950, 450);  // B: top-right tile
    EXPECT_EQ(g.marks(), (std::vector<TilePoint>{{0, 0}, {4, 9}}));
    g.clickAt(0, 99);     // A again, on its left edge and top row of pixels
    EXPECT_EQ(g.marks(), (std::vector<TilePoint>{{4, 9}}));
    g.clickAt(500, 600);  // above the image: no tile
    EXPECT_EQ(g.marks(), (std::vector<TilePoint>{{4, 9}}));

    const QImage shot = g.shot();
    EXPECT_TRUE(colourNear(shot, g.at(900, 450), kRed));    // the mark's left edge
    EXPECT_TRUE(colourNear(shot, g.at(950, 500), kRed));    // and its top edge
    EXPECT_TRUE(colourNear(shot, g.at(500, 250), kWhite));  // an unmarked grid line
    EXPECT_FALSE(colourNear(shot, g.at(0, 50), kRed));      // A is no longer marked
    EXPECT_EQ(shot.pixelColor(g.at(50, 50)).rgb(), kImage.rgb());
}

TEST(TileGrid, ClicksFollowTheViewWhenZoomed)
{
    Grid g;
    g.open(g.image("wide.png", QSize(1000, 500)));
    g.draw("10", "5");
    g.c->magnify(0.5);  // 1500 points wide: tiles of 150 x 150
    QApplication::processEvents();
    ASSERT_EQ(g.c->testview->width(), 1500);
    g.clickAt(3 * 150 + 75, 2 * 150 + 75);
    EXPECT_EQ(g.marks(), (std::vector<TilePoint>{{2, 3}}));
    EXPECT_TRUE(colourNear(g.shot(), g.at(450, 400), kRed));
}

TEST(TileGrid, BadCountsAreRefusedAndThePreviousGridStays)
{
    Grid g;
    g.open(g.image("wide.png", QSize(1000, 500)));
    g.draw("10", "5");
    g.clickAt(50, 50);
    struct Bad {
        const char* cols;
        const char* rows;
        const char* says;
    };
    for (const Bad& bad : {Bad{"0", "5", "column count"}, Bad{"abc", "5", "column count"}, Bad{"10", "-2", "row count"},
                           Bad{"70000", "70000", "too many tiles"}, Bad{"1001", "5", "1000 pixels wide"}}) {
        g.prompter.clear();
        g.draw(bad.cols, bad.rows);
        ASSERT_EQ(g.prompter.messages().size(), 1) << bad.cols << " x " << bad.rows;
        EXPECT_TRUE(g.prompter.messages().front().contains(bad.says)) << g.prompter.messages().front().toStdString();
        EXPECT_EQ(g.c->gridmodel.colnum, 10);
        EXPECT_EQ(g.c->gridmodel.rownum, 5);
        EXPECT_EQ(g.c->gridnum, 50);
        EXPECT_EQ(g.c->tilesize->text(), "Tile size: {100, 100}");
    }
    g.clickAt(150, 50);
    EXPECT_EQ(g.marks(), (std::vector<TilePoint>{{0, 0}, {0, 1}}));
}

TEST(TileGrid, ReverseSwapsLineAndMarkColours)
{
    Grid g;
    g.open(g.image("wide.png", QSize(1000, 500)));
    g.draw("10", "5");
    g.clickAt(350, 250);  // tile (2, 3)
    g.c->reversebutton->click();
    EXPECT_TRUE(g.c->gridmodel.reversed());
    const QImage shot = g.shot();
    EXPECT_TRUE(colourNear(shot, g.at(300, 250), kWhite));  // the mark
    EXPECT_FALSE(colourNear(shot, g.at(300, 250), kRed));
    EXPECT_TRUE(colourNear(shot, g.at(700, 150), kRed));    // an unmarked line
    EXPECT_FALSE(colourNear(shot, g.at(700, 150), kWhite));
    g.c->reversebutton->click();
    EXPECT_FALSE(g.c->gridmodel.reversed());
    EXPECT_TRUE(colourNear(g.shot(), g.at(700, 150), kWhite));
}

TEST(TileGrid, PredictionCirclesShowWhereMarksAndPredictionsDisagree)
{
    Grid g;
    g.open(g.image("wide.png", QSize(1000, 500)));
    g.draw("10", "5");
    g.clickAt(150, 50);   // (0, 1) marked, not predicted
    g.clickAt(550, 50);   // (0, 5) marked and predicted
    g.c->gridmodel.predictpoints = {{1, 2}, {0, 5}};
    g.c->gridmodel.hasprediction = true;
    g.c->refreshTileGrid();
    // Circle centres sit 5 points above each tile's top-left corner; look a point beside the
    // centre, off the grid lines.
    QImage shot = g.shot();
    EXPECT_EQ(shot.pixelColor(g.at(101, 106)).rgb(), kWhite.rgb());  // marked only
    EXPECT_EQ(shot.pixelColor(g.at(201, 206)).rgb(), kRed.rgb());    // predicted only
    EXPECT_EQ(shot.pixelColor(g.at(502, 107)).rgb(), kImage.rgb());  // both: no circle
    g.c->reversegrid();
    shot = g.shot();
    EXPECT_EQ(shot.pixelColor(g.at(101, 106)).rgb(), kRed.rgb());
    EXPECT_EQ(shot.pixelColor(g.at(201, 206)).rgb(), kWhite.rgb());
}

TEST(TileGrid, OpeningAnotherImageClearsMarksAndPredictionsButKeepsReverse)
{
    Grid g;
    g.open(g.image("wide.png", QSize(1000, 500)));
    g.draw("10", "5");
    g.clickAt(50, 50);
    g.c->gridmodel.predictpoints = {{1, 1}};
    g.c->gridmodel.hasprediction = true;
    g.c->reversegrid();
    g.open(g.image("tall.png", QSize(300, 600)));
    EXPECT_TRUE(g.marks().empty());
    EXPECT_TRUE(g.c->gridmodel.predictpoints.empty());
    EXPECT_FALSE(g.c->gridmodel.hasprediction);
    EXPECT_FALSE(g.c->gridmodel.hasGrid());
    EXPECT_TRUE(g.c->gridmodel.reversed());
    EXPECT_EQ(g.c->gridmodel.imagesize, QSizeF(300, 600));
    EXPECT_EQ(g.c->labelviewtitle->text(), "Image size: {300, 600}");
}

TEST(TileGrid, UnreadableImagesAreRefusedAndThePreviousOneStays)
{
    Grid g;
    g.open(g.image("wide.png", QSize(1000, 500)));
    g.draw("10", "5");
    g.clickAt(50, 50);
    QFile text(g.dir.filePath("fake.png"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("this is not a picture");
    text.close();
    QFile(g.dir.filePath("empty.jpg")).open(QIODevice::WriteOnly);
    for (const char* name : {"fake.png", "empty.jpg", "missing.png"}) {
        g.prompter.clear();
        g.open(g.dir.filePath(QString::fromUtf8(name)));
        ASSERT_EQ(g.prompter.messages().size(), 1) << name;
        EXPECT_EQ(g.prompter.messages().front(), "Cannot open the image at " + g.dir.filePath(QString::fromUtf8(name)));
        EXPECT_EQ(g.c->singleimg.size(), QSize(1000, 500));
        EXPECT_EQ(g.c->labelviewtitle->text(), "Image size: {1000, 500}");
        EXPECT_EQ(g.marks(), (std::vector<TilePoint>{{0, 0}}));
        EXPECT_TRUE(g.c->gridmodel.hasGrid());
        // Nothing of the selection opened, so the open image stays the input.
        EXPECT_EQ(g.c->urlarray, QStringList{g.dir.filePath("wide.png")});
        EXPECT_TRUE(g.c->havesingleimg && g.c->havegridimg);
    }
}

TEST(TileGrid, DrawingWithoutAnImageSaysSo)
{
    Grid g;
    g.c->drawgrid();
    EXPECT_EQ(g.prompter.messages().size(), 1);
    EXPECT_FALSE(g.c->havegridimg);
    EXPECT_FALSE(g.c->gridmodel.hasGrid());
}

TEST(TileGrid, RealPortraitPhoto)
{
    KOLVARA_REQUIRE_TESTDATA();
    Grid g;
    g.open(testenv::sharedTestData("images/aerial_campus_orthophoto.jpg"));
    EXPECT_EQ(g.c->labelviewtitle->text(), "Image size: {3283, 4904}");
    g.draw("10", "10");
    EXPECT_EQ(g.c->tilesize->text(), "Tile size: {328, 490}");
    // A portrait image fills the view's height: 742 / 4904 gives tiles of 49 x 74 points.
    const double h = g.c->testview->height();
    const double tw = int(3283 * h / 4904 / 10);
    const double th = int(h / 10);
    g.clickAt(9 * tw + tw / 2, 9 * th + th / 2);
    g.clickAt(tw / 2, th / 2);
    EXPECT_EQ(g.marks(), (std::vector<TilePoint>{{9, 9}, {0, 0}}));
    EXPECT_TRUE(colourNear(g.shot(), g.at(9 * tw, 9 * th + th / 2), kRed));
}
