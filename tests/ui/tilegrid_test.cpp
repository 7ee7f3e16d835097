#include "data/tilegriddocument.h"
#include "data/ui/paintableimageview.h"
#include "support/fixture.h"
#include "support/testenv.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QTemporaryDir>
#include <QTest>
#include <QUndoGroup>
#include <gtest/gtest.h>

namespace {
const QColor kImage(0, 0, 128);
const QColor kWhite(255, 255, 255);
const QColor kRed(255, 0, 0);
using Marks = std::vector<TilePoint>;

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

    QString image(const char* name, QSize size) { return testenv::savePicture(dir.filePath(QString::fromUtf8(name)), size, kImage); }
    // Opens a 1000 x 500 image fitted 1:1 and draws 10 x 5 tiles of 100 x 100 on it.
    void openWide()
    {
        open({image("wide.png", QSize(1000, 500))});
        draw("10", "5");
    }
    void draw(const QString& cols, const QString& rows) { drawGrid(*c, cols, rows); }
    // The widget position of the point (x, y) counted from the view's bottom-left corner.
    QPoint at(double x, double y) const { return QPoint(int(x), int(c->labelPane().testview()->height() - y)); }
    void clickAt(double x, double y) { QTest::mouseClick(c->labelPane().testview(), Qt::LeftButton, {}, at(x, y)); }
    QImage shot() const { return c->labelPane().testview()->grab().toImage(); }
    QRgb pixel(double x, double y) const { return shot().pixelColor(at(x, y)).rgb(); }
    Marks marks() const { return c->tileGrid().state().clickpoints; }
    const TileGridState& state() const { return c->tileGrid().state(); }
    // A press at the first point, the pointer moved through the others, released at the last.
    void drag(const std::vector<QPointF>& points)
    {
        QTest::mousePress(c->labelPane().testview(), Qt::LeftButton, {}, at(points.front().x(), points.front().y()));
        for (const QPointF& p : points) {
            QMouseEvent move(QEvent::MouseMove, at(p.x(), p.y()), c->labelPane().testview()->mapToGlobal(at(p.x(), p.y())), Qt::NoButton,
                             Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(c->labelPane().testview(), &move);
        }
        QTest::mouseRelease(c->labelPane().testview(), Qt::LeftButton, {}, at(points.back().x(), points.back().y()));
    }
};
}  // namespace

// The image's fit and where clicks land are the walkthrough's and the tile geometry test's.
TEST(TileGrid, DrawingClicksBadCountsAndZoom)
{
    Grid g;
    ViewController* c = g.c;
    c->drawgrid();  // no image yet
    EXPECT_EQ(g.prompter.messages().size(), 1);
    EXPECT_FALSE(c->hasGridImage());
    g.open({g.image("wide.png", QSize(1000, 500))});
    g.clickAt(50, 50);
    EXPECT_TRUE(g.marks().empty());  // no grid yet
    g.draw("10", "5");

    g.clickAt(50, 50);    // A: bottom-left tile
    g.clickAt(950, 450);  // B: top-right tile
    EXPECT_EQ(g.marks(), (Marks{{0, 0}, {4, 9}}));
    g.clickAt(0, 99);     // A again, on its left edge and top row of pixels
    g.clickAt(500, 600);  // above the image: no tile
    EXPECT_EQ(g.marks(), (Marks{{4, 9}}));  // how marks are painted: the drag test

    // Each bad count's reason is the tile geometry test's; here one reaches the user and changes nothing.
    g.prompter.clear();
    g.draw("1001", "5");
    ASSERT_EQ(g.prompter.messages().size(), 1);
    EXPECT_TRUE(g.prompter.messages().front().contains("1000 pixels wide")) << g.prompter.messages().front().toStdString();
    EXPECT_EQ(c->labelPane().tilesize()->text(), "Tile size: {100, 100}");
    g.clickAt(150, 50);
    g.c->Opendata();  // no answer: the panel was cancelled, the marks stay
    EXPECT_EQ(g.marks(), (Marks{{4, 9}, {0, 1}}));
    EXPECT_FALSE(c->preparedata().isEmpty()) << "the marked grid can still be prepared";

    // Other counts would lay the marks over other pixels: asked first; Cancel keeps grid and marks,
    // Redraw clears them. The same counts again ask nothing and keep them.
    g.prompter.clear();
    g.draw("4abc", " 7");  // unanswered: Cancel, the first button
    EXPECT_EQ(g.prompter.messages(), QStringList{"Redrawing the grid clears 2 marked tiles."});
    EXPECT_EQ(c->labelPane().tilesize()->text(), "Tile size: {100, 100}");
    g.draw("10", "5");
    EXPECT_EQ(g.marks(), (Marks{{4, 9}, {0, 1}}));
    g.prompter.answerAlert(1);
    g.draw("4abc", " 7");  // the leading digits count
    EXPECT_EQ(c->labelPane().tilesize()->text(), "Tile size: {250, 71}");
    EXPECT_TRUE(g.marks().empty());

    // Clicks follow the view when zoomed: 1500 points wide, tiles of 150 x 150.
    g.draw("10", "5");
    EXPECT_EQ(g.prompter.messages().size(), 2) << "no marks: nothing to ask";
    c->magnify(0.5);
    QApplication::processEvents();
    ASSERT_EQ(c->labelPane().testview()->width(), 1500);
    g.clickAt(3 * 150 + 75, 2 * 150 + 75);
    EXPECT_EQ(g.marks(), (Marks{{2, 3}}));
    EXPECT_TRUE(colourNear(g.shot(), g.at(450, 400), kRed));
}

TEST(TileGrid, CirclesOnTheViewEdgeAreDrawnWhole)
{
    Grid g;
    g.open({g.image("full.png", QSize(1000, 742))});  // fills the view: its top row touches the edge
    g.draw("10", "2");
    g.c->tileGrid().setPredictions({{1, 0}});
    // The circle of the top-left tile lies within the first 10 points of the view, both ways.
    const QImage shot = g.shot();
    int red = 0;
    for (int k = 0; k < 100; ++k)
        red += shot.pixelColor(k % 10, k / 10) == kRed ? 1 : 0;
    EXPECT_GT(red, 15) << "a quarter of it when cut at both edges";
}

// An image that fails to open keeps the marks: the damaged images test.
TEST(TileGrid, CirclesAndReverseUntilAnotherImageClearsAllButTheReverse)
{
    Grid g;
    g.openWide();
    g.clickAt(150, 50);   // (0, 1) marked, not predicted
    g.clickAt(550, 50);   // (0, 5) marked and predicted
    g.clickAt(350, 250);  // (2, 3) marked, not predicted
    g.c->tileGrid().setPredictions({{1, 2}, {0, 5}});
    // Circle centres sit 5 points above each tile's top-left corner; look a point beside the
    // centre, off the grid lines.
    EXPECT_EQ(g.pixel(101, 106), kWhite.rgb());  // marked only
    EXPECT_EQ(g.pixel(201, 206), kRed.rgb());    // predicted only
    EXPECT_EQ(g.pixel(502, 107), kImage.rgb());  // both: no circle

    g.c->labelPane().reversebutton()->click();
    const QImage shot = g.shot();
    EXPECT_TRUE(colourNear(shot, g.at(300, 250), kWhite) && !colourNear(shot, g.at(300, 250), kRed));  // the mark's left edge
    EXPECT_TRUE(colourNear(shot, g.at(700, 150), kRed) && !colourNear(shot, g.at(700, 150), kWhite));  // an unmarked line
    EXPECT_EQ(g.pixel(101, 106), kRed.rgb());
    EXPECT_EQ(g.pixel(201, 206), kWhite.rgb());

    g.open({g.image("tall.png", QSize(300, 600))});
    EXPECT_TRUE(g.marks().empty() && g.state().predictpoints.empty() && !g.state().hasprediction && !g.state().hasGrid());
    EXPECT_TRUE(g.state().reversed());
    // The pane shows the new image's state, not the last grid's counts and tile size.
    EXPECT_EQ(QStringList({g.c->labelPane().gridcol()->text(), g.c->labelPane().tilesize()->text()}), QStringList({"10", "Tile size: "}));
}

// A drag marks every tile it crosses as one undo step, or unmarks them when it starts on a mark;
// the view repaints what undo and redo change without being told.
TEST(TileGrid, DragsAreOneUndoStepAndTheViewFollowsUndo)
{
    Grid g;
    g.openWide();
    QUndoGroup* undo = g.c->undoGroup();
    ASSERT_EQ(undo->activeStack(), g.c->tileGrid().undoStack());
    g.drag({{50, 50}, {150, 50}, {160, 60}, {250, 150}, {350, 150}});
    EXPECT_EQ(g.marks(), (Marks{{0, 0}, {0, 1}, {1, 2}, {1, 3}}));
    EXPECT_EQ(undo->undoText(), "Mark 4 Tiles");
    g.drag({{150, 50}, {250, 150}, {450, 450}});  // starts on a mark: unmarks, leaves the rest
    EXPECT_EQ(g.marks(), (Marks{{0, 0}, {1, 3}}));
    EXPECT_FALSE(colourNear(g.shot(), g.at(200, 150), kRed));

    undo->undo();
    EXPECT_EQ(g.marks(), (Marks{{0, 0}, {0, 1}, {1, 2}, {1, 3}}));
    EXPECT_TRUE(colourNear(g.shot(), g.at(200, 150), kRed)) << "the undone unmark is painted again";
    undo->undo();
    EXPECT_TRUE(g.marks().empty());
    EXPECT_FALSE(colourNear(g.shot(), g.at(100, 50), kRed));
    undo->redo();
    EXPECT_EQ(g.marks().size(), 4u);
    EXPECT_TRUE(colourNear(g.shot(), g.at(100, 50), kRed));
}
