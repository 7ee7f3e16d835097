#include "data/imagesetdocument.h"
#include "data/ui/multiimagecollectionview.h"
#include "data/ui/photolistview.h"
#include "data/ui/photomodel.h"
#include "data/ui/photoview.h"
#include "data/ui/thumbnailloader.h"
#include "support/fixture.h"
#include "support/testenv.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QTest>
#include <QUndoGroup>
#include <gtest/gtest.h>

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
    void click(int row, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, mods, imagePoint(row));
    }
    void select(int first, int last)
    {
        list()->selectionModel()->select(QItemSelection(index(first), index(last)), QItemSelectionModel::Select);
    }
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
    ASSERT_EQ(b.model().rowCount(), 4);
    EXPECT_EQ(b.c->pictures().set().data.size(), 3);
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
    EXPECT_EQ(set.data.value("k"), "dog");
    EXPECT_EQ(b.selected(), (QList<int>{0}));
    // Bulk labelling still reaches the selection only, and the typed label survives the pane switch.
    b.labelSelection(QStringLiteral("cat"));
    b.reenterLabelPane();
    EXPECT_EQ(QStringList({b.label(0), b.label(1)}), QStringList({"cat", "dog"}));
    // Each is one undo step: the bulk label, then the whole typed word.
    b.c->undoGroup()->undo();
    EXPECT_EQ(QStringList({b.label(0), b.label(1)}), QStringList({"0", "dog"}));
    b.c->undoGroup()->undo();
    EXPECT_EQ(b.label(1), "0");

    // Which frame each event gives is the core border test's; here the browser shows them.
    b.list()->selectionModel()->clearSelection();
    b.c->pictures().setPredictions({{"w.png", "dog"}, {"k.png", "dog"}});  // w wrong, k right
    EXPECT_EQ(b.prediction(0), "dog");
    EXPECT_TRUE(b.border(0) == red() && b.border(1) == none());
    b.click(1);
    EXPECT_TRUE(b.border(0) == red() && b.border(1) == blue());
    // A new open forgets the predictions; an empty one shows an empty browser.
    b.open(set.urlarray);
    EXPECT_TRUE(b.border(0) == none() && b.prediction(0).isEmpty());
    b.select(0, 0);
    b.open({});
    EXPECT_EQ(b.model().rowCount(), 0);
    b.labelSelection(QStringLiteral("1"));  // nothing selected any more: nothing is labelled, and the user is told
    EXPECT_EQ(set.data.value("w"), "0");  // reopened names start at zero, and stay so
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
    EXPECT_EQ(b.c->pictures().set().data.size(), 6000);
    EXPECT_EQ(b.c->pictures().set().data.value(QStringLiteral("img5999")), QStringLiteral("0"));
    QTRY_VERIFY_WITH_TIMEOUT(b.view()->visibleThumbnailsReady(), 10000);
    QTest::qWait(200);  // let the look-ahead settle
    EXPECT_LT(b.view()->loader().decodesStarted(), 200);
    b.list()->scrollToBottom();
    QTRY_VERIFY_WITH_TIMEOUT(b.view()->visibleThumbnailsReady(), 10000);
    EXPECT_EQ(b.view()->loader().state(paths.last()), ThumbnailLoader::State::Ready);
}
