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
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QTest>
#include <gtest/gtest.h>

namespace {
using Tint = BorderTint;

// Writes one small picture per name (the extension picks the format) into a fresh folder.
QStringList makeImages(const QString& folder, const QStringList& names, QSize size = QSize(256, 256))
{
    const QString dir = testenv::scratchFolder() + QLatin1Char('/') + folder;
    QDir(dir).removeRecursively();
    QDir().mkpath(dir);
    QStringList paths;
    int hue = 0;
    for (const QString& name : names) {
        QImage image(size, QImage::Format_RGB32);
        image.fill(QColor::fromHsv((hue += 47) % 360, 200, 220));
        QPainter(&image).drawText(image.rect(), Qt::AlignCenter, name);
        const QString path = dir + QLatin1Char('/') + name;
        EXPECT_TRUE(image.save(path)) << path.toStdString();
        paths << path;
    }
    return paths;
}

struct Browser {
    ControllerFixture f;
    ViewController* c = f.controller;

    void open(const QStringList& paths)
    {
        c->urlarray = paths;
        c->openMultiImageurl();
        QTest::qWait(0);
    }
    multiimagecollectionview* view() const { return c->multiimagecollection; }
    PhotoListView* list() const { return view()->collectionView(); }
    PhotoModel& model() const { return view()->model(); }
    QModelIndex index(int row) const { return model().index(row); }
    QString label(int row) const { return model().labelAt(row); }
    PhotoBorder border(int row) const { return model().borderAt(row); }
    QPoint imagePoint(int row) const { return list()->visualRect(index(row)).topLeft() + QPoint(75, 80); }
    void click(int row, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, mods, imagePoint(row));
    }
    void labelSelection(const QString& text)
    {
        c->imagelabelval->setText(text);
        c->imagelabelbutton->click();
    }
    // Leaves the label pane and comes back, as a user switching panes does.
    void reenterLabelPane()
    {
        c->TrainViewBtn->setEnabled(true);
        c->TrainViewBtn->click();
        c->LabelViewBtn->click();
    }
};

PhotoBorder none() { return {}; }
PhotoBorder blue() { return {Tint::Blue, 3}; }
PhotoBorder red() { return {Tint::Red, 5}; }
}  // namespace

void PrintTo(const PhotoBorder& b, std::ostream* os) { *os << "tint " << int(b.tint) << " width " << b.width; }

TEST(Browser, OpeningShowsEveryImageWithLabelZeroInTheLabelPane)
{
    Browser b;
    const QStringList paths = makeImages(QStringLiteral("open"), {"cat01.jpeg", "dog, big.png", "c.png"});
    b.open(paths);
    ViewController* c = b.c;
    EXPECT_EQ(c->inputdatatype, 2);
    EXPECT_TRUE(c->LabelViewBtn->isEnabled());
    EXPECT_TRUE(c->LabelViewBtn->isChecked());
    EXPECT_TRUE(c->labelView->isVisible());
    EXPECT_EQ(c->lastlabelview, c->multiimagecollection);
    EXPECT_EQ(c->scrollview->widget(), c->multiimagecollection);
    EXPECT_TRUE(b.list()->isVisible());
    EXPECT_EQ(c->browsermodel.urlarray, paths);
    EXPECT_FALSE(c->browsermodel.haspredict);
    ASSERT_EQ(b.model().rowCount(), 3);
    // Names show as they are; labels are keyed so that the label file stays well-formed.
    EXPECT_EQ(b.index(0).data(PhotoModel::NameRole).toString(), "cat01");
    EXPECT_EQ(b.index(1).data(PhotoModel::NameRole).toString(), "dog, big");
    EXPECT_EQ(c->browsermodel.data.value("cat01"), "0");
    EXPECT_EQ(c->browsermodel.data.value("dog_ big"), "0");
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(b.label(row), "0");
        EXPECT_EQ(b.index(row).data(PhotoModel::PredictionRole).toString(), "");
        EXPECT_EQ(b.border(row), none());
    }
    // The thumbnails are laid out 150 x 200, 20 apart, 5 in from the edges.
    const QRect first = photolayout::contentRect(b.list()->visualRect(b.index(0)));
    const QRect second = photolayout::contentRect(b.list()->visualRect(b.index(1)));
    EXPECT_EQ(first, QRect(5, 5, 150, 200));
    EXPECT_EQ(second.topLeft(), QPoint(175, 5));
    EXPECT_TRUE(b.f.prompter.messages().isEmpty());
}

TEST(Browser, ImagesDifferingOnlyInExtensionShareOneLabel)
{
    Browser b;
    b.open(makeImages(QStringLiteral("shared"), {"a.jpg", "a.png", "b.png"}));
    EXPECT_EQ(b.c->browsermodel.data.size(), 2);
    b.list()->selectionModel()->select(b.index(0), QItemSelectionModel::Select);
    b.labelSelection(QStringLiteral("5"));
    EXPECT_EQ(b.label(0), "5");
    EXPECT_EQ(b.label(1), "5");
    EXPECT_EQ(b.label(2), "0");
}

TEST(Browser, LabelsOfEarlierSetsAreKeptAndReopenedNamesStartAtZero)
{
    Browser b;
    b.open(makeImages(QStringLiteral("first"), {"x.png", "y.png"}));
    b.list()->selectionModel()->select(QItemSelection(b.index(0), b.index(1)), QItemSelectionModel::Select);
    b.labelSelection(QStringLiteral("cat"));
    b.open(makeImages(QStringLiteral("second"), {"y.jpg", "z.png"}));
    const auto& data = b.c->browsermodel.data;
    EXPECT_EQ(data.value("x"), "cat");
    EXPECT_EQ(data.value("y"), "0");
    EXPECT_EQ(data.value("z"), "0");
    // The selection of the first set does not carry over to the rows of the second.
    EXPECT_TRUE(b.view()->selsectedimage.isEmpty());
    b.labelSelection(QStringLiteral("dog"));
    EXPECT_EQ(data.value("y"), "0");
    EXPECT_EQ(data.value("z"), "0");
}

TEST(Browser, TheMostRecentSelectionAloneIsLabelled)
{
    Browser b;
    b.open(makeImages(QStringLiteral("select"), {"A.png", "B.png", "C.png", "D.png"}));
    // A and B in one selection, then C added with a modifier click.
    b.list()->selectionModel()->select(QItemSelection(b.index(0), b.index(1)), QItemSelectionModel::Select);
    EXPECT_EQ(b.view()->selsectedimage, (QList<int>{0, 1}));
    b.click(2, Qt::ControlModifier);
    EXPECT_EQ(b.list()->selectionModel()->selectedIndexes().size(), 3);
    EXPECT_EQ(b.view()->selsectedimage, (QList<int>{2}));
    b.labelSelection(QStringLiteral("7"));
    EXPECT_EQ(b.label(0), "0");
    EXPECT_EQ(b.label(1), "0");
    EXPECT_EQ(b.label(2), "7");
    // Deselecting does not change what the next bulk label reaches.
    b.click(2, Qt::ControlModifier);
    EXPECT_EQ(b.view()->selsectedimage, (QList<int>{2}));
    // A plain click replaces everything with the clicked thumbnail.
    b.click(3);
    EXPECT_EQ(b.view()->selsectedimage, (QList<int>{3}));
    b.labelSelection(QStringLiteral("8"));
    EXPECT_EQ(b.label(3), "8");
    EXPECT_EQ(b.label(2), "7");
}

TEST(Browser, RubberBandSelectionIsReportedOnceWhenTheMouseIsReleased)
{
    Browser b;
    b.open(makeImages(QStringLiteral("band"), {"p.png", "q.png", "r.png"}));
    QWidget* vp = b.list()->viewport();
    // From the empty space below the first line across the first two thumbnails.
    const QPoint start(2, 214);
    const QPoint mid = b.imagePoint(0);
    const QPoint end = b.imagePoint(1);
    QTest::mousePress(vp, Qt::LeftButton, Qt::NoModifier, start);
    for (const QPoint& p : {mid, end}) {
        QMouseEvent move(QEvent::MouseMove, p, vp->mapToGlobal(p), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(vp, &move);
    }
    QTest::mouseRelease(vp, Qt::LeftButton, Qt::NoModifier, end);
    EXPECT_EQ(b.view()->selsectedimage, (QList<int>{0, 1}));
}

TEST(Browser, LabelImagesWithoutSelectionChangesNothing)
{
    Browser b;
    b.open(makeImages(QStringLiteral("noselect"), {"m.png", "n.png"}));
    b.labelSelection(QStringLiteral("3"));
    EXPECT_EQ(b.label(0), "0");
    EXPECT_EQ(b.label(1), "0");
    EXPECT_TRUE(b.f.prompter.messages().isEmpty());
}

TEST(Browser, FramesFollowSelectionAndPredictions)
{
    Browser b;
    b.open(makeImages(QStringLiteral("frames"), {"w.png", "k.png", "u.png"}));
    auto* selection = b.list()->selectionModel();
    // Before any run: a frame only while selected.
    b.click(0);
    EXPECT_EQ(b.border(0), blue());
    b.click(1);
    EXPECT_EQ(b.border(0), none());
    EXPECT_EQ(b.border(1), blue());
    selection->clearSelection();

    ImageSet& set = b.c->browsermodel;
    set.data["w"] = "1";
    set.data["k"] = "1";
    set.data["u"] = "cat";
    set.predictpoint["w.png"] = "0";  // wrong
    set.predictpoint["k.png"] = "1";  // right
    set.predictpoint["u.png"] = "Cat";  // wrong: case counts
    set.haspredict = true;
    // Predictions show only once the browser is shown again.
    EXPECT_EQ(b.index(0).data(PhotoModel::PredictionRole).toString(), "");
    b.reenterLabelPane();
    EXPECT_EQ(b.index(0).data(PhotoModel::PredictionRole).toString(), "0");
    EXPECT_EQ(b.index(1).data(PhotoModel::PredictionRole).toString(), "1");

    struct Step {
        const char* what;
        std::function<void()> act;
        PhotoBorder w, k, u;
    };
    const Step steps[] = {
        {"after the reload", [] {}, red(), none(), red()},
        {"wrong one selected", [&] { b.click(0); }, blue(), none(), red()},
        {"right one selected", [&] { b.click(1); }, red(), blue(), red()},
        {"both added", [&] { b.click(0, Qt::ControlModifier); }, blue(), blue(), red()},
        {"all deselected", [&] { selection->clearSelection(); }, red(), none(), red()},
    };
    for (const Step& s : steps) {
        s.act();
        EXPECT_EQ(b.border(0), s.w) << s.what;
        EXPECT_EQ(b.border(1), s.k) << s.what;
        EXPECT_EQ(b.border(2), s.u) << s.what;
    }
    // A new open forgets the predictions.
    b.open(set.urlarray);
    EXPECT_EQ(b.border(0), none());
    EXPECT_EQ(b.index(0).data(PhotoModel::PredictionRole).toString(), "");
}

TEST(Browser, TypingIntoALabelFieldStoresItWithoutChangingTheSelection)
{
    Browser b;
    b.open(makeImages(QStringLiteral("typing"), {"s.png", "t.png"}));
    b.list()->selectionModel()->select(b.index(0), QItemSelectionModel::Select);
    const QRect field = PhotoView::labelFieldRect(b.list()->visualRect(b.index(1)));
    QTest::mouseClick(b.list()->viewport(), Qt::LeftButton, Qt::NoModifier, field.center());
    auto* editor = b.list()->viewport()->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->text(), "0");
    editor->selectAll();
    QTest::keyClicks(editor, QStringLiteral("do"));
    EXPECT_EQ(b.c->browsermodel.data.value("t"), "do");  // stored while typing
    QTest::keyClicks(editor, QStringLiteral("g"));
    QTest::keyClick(editor, Qt::Key_Return);
    EXPECT_EQ(b.c->browsermodel.data.value("t"), "dog");
    EXPECT_EQ(b.label(1), "dog");
    EXPECT_EQ(b.view()->selsectedimage, (QList<int>{0}));
    // Bulk labelling still reaches the selection only, and the typed label survives the pane switch.
    b.labelSelection(QStringLiteral("cat"));
    b.reenterLabelPane();
    EXPECT_EQ(b.label(0), "cat");
    EXPECT_EQ(b.label(1), "dog");
}

TEST(Browser, OpeningNoImagesShowsAnEmptyBrowser)
{
    Browser b;
    b.open(makeImages(QStringLiteral("before"), {"e.png"}));
    b.list()->selectionModel()->select(b.index(0), QItemSelectionModel::Select);
    b.open({});
    EXPECT_EQ(b.model().rowCount(), 0);
    EXPECT_EQ(b.c->scrollview->widget(), b.c->multiimagecollection);
    EXPECT_EQ(b.c->inputdatatype, 2);
    b.labelSelection(QStringLiteral("1"));  // nothing selected any more: nothing happens
    EXPECT_EQ(b.c->browsermodel.data.value("e"), "0");
    b.reenterLabelPane();
    EXPECT_TRUE(b.f.prompter.messages().isEmpty());
}

TEST(Browser, ThumbnailsAreDecodedInTheBackgroundAndUnreadableFilesStayEmpty)
{
    Browser b;
    QStringList paths = makeImages(QStringLiteral("decode"), {"g.png", "h.jpg"});
    const QString broken = QFileInfo(paths.first()).absolutePath() + QStringLiteral("/broken.png");
    QFile file(broken);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not a picture");
    file.close();
    paths << broken << QFileInfo(broken).absolutePath() + QStringLiteral("/missing.png");
    b.open(paths);
    QTRY_VERIFY_WITH_TIMEOUT(b.view()->visibleThumbnailsReady(), 10000);
    const ThumbnailLoader& loader = b.view()->loader();
    EXPECT_EQ(loader.state(paths[0]), ThumbnailLoader::State::Ready);
    EXPECT_EQ(loader.state(paths[1]), ThumbnailLoader::State::Ready);
    EXPECT_EQ(loader.state(paths[2]), ThumbnailLoader::State::Unreadable);
    EXPECT_EQ(loader.state(paths[3]), ThumbnailLoader::State::Unreadable);
    EXPECT_EQ(b.model().rowCount(), 4);
    EXPECT_EQ(b.label(2), "0");
    EXPECT_TRUE(b.f.prompter.messages().isEmpty());
}

TEST(Browser, ThousandsOfImagesDecodeOnlyAroundTheScreen)
{
    Browser b;
    const QStringList one = makeImages(QStringLiteral("many"), {"only.png"});
    QStringList paths;
    // Distinct names (their own labels); those at both ends point at one small picture, the
    // ones between exist only as names, which is all a list that is never scrolled there needs.
    for (int i = 0; i < 5000; ++i) {
        const QString link = QFileInfo(one.first()).absolutePath() + QStringLiteral("/img%1.png").arg(i);
        if (i < 60 || i >= 4940)
            QFile::link(one.first(), link);
        paths << link;
    }
    b.open(paths);
    QTRY_VERIFY_WITH_TIMEOUT(b.view()->visibleThumbnailsReady(), 10000);
    QTest::qWait(200);  // let the look-ahead settle
    EXPECT_EQ(b.c->browsermodel.data.size(), 5000);
    EXPECT_LT(b.view()->loader().decodesStarted(), 200);
    // Scrolled to the end, the last thumbnails come in too.
    b.list()->scrollToBottom();
    QTRY_VERIFY_WITH_TIMEOUT(b.view()->visibleThumbnailsReady(), 10000);
    EXPECT_EQ(b.view()->loader().state(paths.last()), ThumbnailLoader::State::Ready);
}

TEST(Browser, RealPhotosOfCatsAndDogs)
{
    KOLVARA_REQUIRE_TESTDATA();
    Browser b;
    QStringList paths;
    for (const char* sub : {"cats", "dogs"}) {
        const QDir dir(testenv::sharedTestData(QStringLiteral("images/cats_dogs/") + QLatin1String(sub)));
        for (const QString& name : dir.entryList({"*.jpg", "*.jpeg", "*.png"}, QDir::Files, QDir::Name))
            paths << dir.filePath(name);
    }
    ASSERT_GE(paths.size(), 2);
    b.open(paths);
    QTRY_VERIFY_WITH_TIMEOUT(b.view()->visibleThumbnailsReady(), 20000);
    EXPECT_EQ(b.view()->loader().state(paths.first()), ThumbnailLoader::State::Ready);
    EXPECT_EQ(b.index(0).data(PhotoModel::NameRole).toString(), QFileInfo(paths.first()).completeBaseName());
    b.click(0);
    b.click(1, Qt::ShiftModifier);
    b.labelSelection(QStringLiteral("1"));
    b.reenterLabelPane();
    EXPECT_EQ(b.label(1), "1");
    EXPECT_EQ(b.label(2), "0");
    // A run predicted "0" everywhere: only the thumbnail labelled "1" is framed red.
    ImageSet& set = b.c->browsermodel;
    for (const QString& path : paths)
        set.predictpoint.insert(imageset::storedName(path) + QStringLiteral(".png"), QStringLiteral("0"));
    set.haspredict = true;
    b.list()->selectionModel()->clearSelection();
    b.reenterLabelPane();
    b.click(3);
    EXPECT_EQ(b.border(0), none());
    EXPECT_EQ(b.border(1), red());
    EXPECT_EQ(b.border(3), blue());
    QTest::qWait(50);
    const QString shot = qEnvironmentVariable("KOLVARA_SCREENSHOT");
    if (!shot.isEmpty())
        b.f.window->grab().save(shot);
}
