// The label pane: the tile grid over a single image and the thumbnail browser over a folder.
#include "data/imagesetdocument.h"
#include "data/tilegriddocument.h"
#include "data/ui/multiimagecollectionview.h"
#include "data/ui/paintableimageview.h"
#include "data/ui/photolistview.h"
#include "data/ui/photomodel.h"
#include "data/ui/photoview.h"
#include "data/ui/thumbnailloader.h"
#include "support/fixture.h"
#include "support/testenv.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
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
    EXPECT_TRUE(g.prompter.messages().size() == 1 && !c->hasGridImage());
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
    EXPECT_TRUE(g.prompter.messages().size() == 1 && g.prompter.messages()[0].contains("1000 pixels wide")) << g.prompter.messages().join("|").toStdString();
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
    EXPECT_TRUE(c->labelPane().tilesize()->text() == "Tile size: {250, 71}" && g.marks().empty());

    // Clicks follow the view when zoomed: 1500 points wide, tiles of 150 x 150.
    g.draw("10", "5");
    EXPECT_EQ(g.prompter.messages().size(), 2) << "no marks: nothing to ask";
    c->magnify(0.5);
    QApplication::processEvents();
    ASSERT_EQ(c->labelPane().testview()->width(), 1500);
    g.clickAt(3 * 150 + 75, 2 * 150 + 75);
    EXPECT_TRUE((g.marks() == Marks{{2, 3}}) && colourNear(g.shot(), g.at(450, 400), kRed));
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
    EXPECT_TRUE(g.pixel(101, 106) == kRed.rgb() && g.pixel(201, 206) == kWhite.rgb());

    g.open({g.image("tall.png", QSize(300, 600))});
    EXPECT_TRUE(g.marks().empty() && g.state().predictpoints.empty() && !g.state().hasprediction && !g.state().hasGrid() && g.state().reversed());
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
    EXPECT_TRUE(g.marks() == Marks({{0, 0}, {0, 1}, {1, 2}, {1, 3}}) && undo->undoText() == "Mark 4 Tiles") << undo->undoText().toStdString();
    g.drag({{150, 50}, {250, 150}, {450, 450}});  // starts on a mark: unmarks, leaves the rest
    EXPECT_TRUE(g.marks() == Marks({{0, 0}, {1, 3}}) && !colourNear(g.shot(), g.at(200, 150), kRed));

    undo->undo();
    EXPECT_TRUE(g.marks() == Marks({{0, 0}, {0, 1}, {1, 2}, {1, 3}}) && colourNear(g.shot(), g.at(200, 150), kRed)) << "the undone unmark is painted again";
    undo->undo();
    EXPECT_TRUE(g.marks().empty() && !colourNear(g.shot(), g.at(100, 50), kRed));
    undo->redo();
    EXPECT_TRUE(g.marks().size() == 4u && colourNear(g.shot(), g.at(100, 50), kRed));
}

namespace {
// Writes one small picture per name (the extension picks the format) into a fresh folder.
QStringList makeImages(const QString& folder, const QStringList& names)
{
    const QString dir = testenv::freshFolder(folder);
    QStringList paths;
    for (int k = 0; k < names.size(); ++k)
        paths << testenv::savePicture(dir + QLatin1Char('/') + names[k], QSize(256, 256), QColor::fromHsv(47 * (k + 1) % 360, 200, 220));
    return paths;
}

struct Browser {
    ControllerFixture f;
    ViewController* c = f.controller;

    void open(const QStringList& paths)
    {
        c->openPictures(paths);
        QTest::qWait(0);
    }
    multiimagecollectionview* view() const { return c->labelPane().multiimagecollection(); }
    PhotoListView* list() const { return view()->collectionView(); }
    PhotoModel& model() const { return view()->model(); }
    QModelIndex index(int row) const { return model().index(row); }
    QString label(int row) const { return model().labelAt(row); }
    QString prediction(int row) const { return index(row).data(PhotoModel::PredictionRole).toString(); }
    PhotoBorder border(int row) const { return model().borderAt(row); }
    QList<int> selected() const { return view()->selsectedimage; }
    QPoint imagePoint(int row) const { return list()->visualRect(index(row)).topLeft() + QPoint(75, 80); }
    void click(int row, Qt::KeyboardModifiers mods = Qt::NoModifier) { QTest::mouseClick(list()->viewport(), Qt::LeftButton, mods, imagePoint(row)); }
    void select(int first, int last) { list()->selectionModel()->select(QItemSelection(index(first), index(last)), QItemSelectionModel::Select); }
    void labelSelection(const QString& text)
    {
        c->labelPane().imagelabelval()->setText(text);
        c->labelPane().imagelabelbutton()->click();
    }
    // Leaves the label pane and comes back, as a user switching panes does.
    void reenterLabelPane()
    {
        c->trainButton()->setEnabled(true);
        c->trainButton()->click();
        c->labelButton()->click();
    }
};

PhotoBorder none() { return {}; }
PhotoBorder blue() { return {BorderTint::Blue, 3}; }
PhotoBorder red() { return {BorderTint::Red, 5}; }
}  // namespace

TEST(Browser, OpensWithLabelZeroKeyedByBaseNameAndReopenedNamesStartAtZero)
{
    Browser b;
    b.open(makeImages(QStringLiteral("first"), {"a.jpg", "a.png", "dog, big.png", "x.png"}));
    ASSERT_TRUE(b.model().rowCount() == 4 && b.c->pictures().set().data.size() == 3);
    // Names show as they are; labels are keyed so that the label file stays well-formed.
    EXPECT_EQ(b.index(2).data(PhotoModel::NameRole).toString(), "dog, big");
    EXPECT_EQ(QStringList({b.label(0), b.label(1), b.label(2), b.label(3)}), QStringList({"0", "0", "0", "0"}));
    b.select(0, 2);
    b.labelSelection(QStringLiteral("cat"));
    EXPECT_EQ(QStringList({b.label(0), b.label(1), b.label(2), b.label(3)}), QStringList({"cat", "cat", "cat", "0"}));
    EXPECT_EQ(b.c->pictures().set().data.value("dog_ big"), "cat");

    b.open(makeImages(QStringLiteral("second"), {"dog, big.jpg", "z.png"}));
    const auto& data = b.c->pictures().set().data;
    EXPECT_EQ(QStringList({data.value("a"), data.value("dog_ big"), data.value("z")}), QStringList({"cat", "0", "0"}));
    EXPECT_TRUE(b.selected().isEmpty()) << "the first set's selection does not carry over";
}

// Clicks, Ctrl-clicks and an earlier selection's thumbnail clicked alone are the walkthrough's.
TEST(Browser, LabelImagesReachesEveryThumbnailShownSelected)
{
    const auto rubberBand = [](Browser& b) {
        // From the empty space below the first line across A and B.
        QWidget* vp = b.list()->viewport();
        QTest::mousePress(vp, Qt::LeftButton, Qt::NoModifier, QPoint(2, 214));
        for (const QPoint& p : {b.imagePoint(0), b.imagePoint(1)}) {
            QMouseEvent move(QEvent::MouseMove, p, vp->mapToGlobal(p), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(vp, &move);
        }
        QTest::mouseRelease(vp, Qt::LeftButton, Qt::NoModifier, b.imagePoint(1));
    };
    const struct Way {
        const char* how;
        std::function<void(Browser&)> select;
        QStringList labels;
    } ways[] = {
        {"Shift-click from A to C", [](Browser& b) { b.click(0); b.click(2, Qt::ShiftModifier); }, {"7", "7", "7", "0"}},
        {"rubber band over A and B", rubberBand, {"7", "7", "0", "0"}},
    };
    for (const Way& way : ways) {
        Browser b;
        b.open(makeImages(QStringLiteral("select"), {"A.png", "B.png", "C.png", "D.png"}));
        way.select(b);
        b.labelSelection(QStringLiteral("7"));
        EXPECT_EQ(QStringList({b.label(0), b.label(1), b.label(2), b.label(3)}), way.labels) << way.how;
    }
}

TEST(Browser, TypedLabelsFramesAndPredictionsUntilTheNextOpen)
{
    Browser b;
    b.open(makeImages(QStringLiteral("typing"), {"w.png", "k.png"}));
    const ImageSet& set = b.c->pictures().set();
    b.select(0, 0);
    const QRect field = PhotoView::labelFieldRect(b.list()->visualRect(b.index(1)));
    QTest::mouseClick(b.list()->viewport(), Qt::LeftButton, Qt::NoModifier, field.center());
    auto* editor = b.list()->viewport()->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    editor->selectAll();
    QTest::keyClicks(editor, QStringLiteral("do"));
    EXPECT_EQ(set.data.value("k"), "do");  // stored while typing
    QTest::keyClicks(editor, QStringLiteral("g"));
    QTest::keyClick(editor, Qt::Key_Return);
    EXPECT_TRUE(set.data.value("k") == "dog" && b.selected() == QList<int>{0});
    // Bulk labelling still reaches the selection only, and the typed label survives the pane switch.
    b.labelSelection(QStringLiteral("cat"));
    b.reenterLabelPane();
    EXPECT_EQ(QStringList({b.label(0), b.label(1)}), QStringList({"cat", "dog"}));
    // Each is one undo step: the bulk label, then the whole typed word.
    b.c->undoGroup()->undo();
    EXPECT_EQ(QStringList({b.label(0), b.label(1)}), QStringList({"0", "dog"}));
    b.c->undoGroup()->undo();
    EXPECT_EQ(b.label(1), "0");
    b.c->undoGroup()->redo();
    b.c->undoGroup()->redo();

    // Which frame each event gives is the core border test's; here the browser shows them.
    b.list()->selectionModel()->clearSelection();
    b.c->pictures().setPredictions({{"w.png", "dog"}, {"k.png", "dog"}});  // w wrong, k right
    EXPECT_TRUE(b.prediction(0) == "dog" && b.border(0) == red() && b.border(1) == none());
    b.click(1);
    EXPECT_TRUE(b.border(0) == red() && b.border(1) == blue());
    // A new open forgets the predictions; an empty one shows an empty browser.
    b.open(set.urlarray);
    EXPECT_TRUE(b.border(0) == none() && b.prediction(0).isEmpty());
    b.select(0, 0);
    b.open({});
    b.labelSelection(QStringLiteral("1"));  // nothing selected any more: nothing is labelled, and the user is told
    EXPECT_TRUE(b.model().rowCount() == 0 && set.data.value("w") == "0");  // reopened names start at zero, and stay so
    b.reenterLabelPane();
    EXPECT_EQ(b.f.prompter.messages(), QStringList{"Select the thumbnails to label first."});
}

TEST(Browser, ThousandsOfImagesDecodeOnlyAroundTheScreen)
{
    Browser b;
    const QStringList one = makeImages(QStringLiteral("many"), {"only.png"});
    // Distinct names, enough that the first screen is shown before the rest is labelled; only
    // those at both ends exist, as links to one picture.
    QStringList paths;
    for (int i = 0; i < 6000; ++i) {
        const QString link = QFileInfo(one.first()).absolutePath() + QStringLiteral("/img%1.png").arg(i);
        if (i < 60 || i >= 5940)
            QFile::link(one.first(), link);
        paths << link;
    }
    b.open(paths);
    EXPECT_TRUE(b.c->pictures().set().data.size() == 6000 && b.c->pictures().set().data.value("img5999") == "0");
    QTRY_VERIFY_WITH_TIMEOUT(b.view()->visibleThumbnailsReady(), 10000);
    QTest::qWait(200);  // let the look-ahead settle
    EXPECT_LT(b.view()->loader().decodesStarted(), 200);
    b.list()->scrollToBottom();
    QTRY_VERIFY_WITH_TIMEOUT(b.view()->visibleThumbnailsReady(), 10000);
    EXPECT_EQ(b.view()->loader().state(paths.last()), ThumbnailLoader::State::Ready);
}
