#include "data/ui/tablemodel.h"
#include "support/fixture.h"
#include "support/testenv.h"

#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QLineEdit>
#include <QScrollArea>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {
const QString kWrongFile = QStringLiteral("Please select document in formate of jpg, jpeg, png, and csv");
const QString kNoImages = QStringLiteral("Need to select image folder");
const QString kNumbers = QStringLiteral("Need to input numbers");

QString writeImage(const QString& path, QSize size = QSize(40, 20))
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::darkGreen);
    EXPECT_TRUE(image.save(path, "PNG")) << path.toStdString();
    return path;
}

QString writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    return path;
}

struct Opened : ControllerFixture {
    QTemporaryDir dir;
    QString file(const char* name) const { return dir.filePath(QString::fromUtf8(name)); }
    // Picks `paths` in the open panel.
    void open(const QStringList& paths)
    {
        prompter.answerPaths(paths);
        controller->Opendata();
    }
    QTableView* table() const { return controller->tableView; }
    QString cell(int row, int col) const { return table()->model()->index(row, col).data().toString(); }
    bool edit(int row, int col, const QString& text) const
    {
        return table()->model()->setData(table()->model()->index(row, col), text);
    }
};
}  // namespace

// ---- The open panel and the kinds of picked items --------------------------------------------

TEST(OpenData, AsksForFilesAndFoldersAndCancelLeavesTheWorkAreaEmpty)
{
    Opened f;
    f.open({writeImage(f.file("a.png"))});
    ASSERT_EQ(f.prompter.fileRequests().size(), 1);
    const FileRequest& asked = f.prompter.fileRequests().front();
    EXPECT_EQ(asked.title, "Choose a jpg or png file");
    EXPECT_TRUE(asked.chooseFiles);
    EXPECT_TRUE(asked.chooseDirectories);
    EXPECT_TRUE(asked.multiple);

    f.controller->Opendata();  // cancelled
    EXPECT_EQ(f.controller->urlarray, QStringList{f.file("a.png")});
    EXPECT_EQ(f.controller->inputdatatype, 1);
    EXPECT_FALSE(f.controller->havesingleimg);
    EXPECT_FALSE(f.controller->scrollview->isVisible());
    EXPECT_TRUE(f.prompter.messages().isEmpty());
}

TEST(OpenData, ImageThenTableKeepsBothAndShowsTheTable)
{
    Opened f;
    f.open({writeImage(f.file("a.png")), writeFile(f.file("b.csv"), "a,b\n1,2\n")});
    ViewController* c = f.controller;
    EXPECT_EQ(c->urlarray, (QStringList{f.file("a.png"), f.file("b.csv")}));
    EXPECT_TRUE(c->havesingleimg);  // the image was opened first
    EXPECT_EQ(c->inputdatatype, 3);
    EXPECT_EQ(c->scrollview->widget(), c->tableView);
    EXPECT_EQ(c->lastlabelview, c->tableView);
    EXPECT_TRUE(c->LabelViewBtn->isEnabled());
    EXPECT_TRUE(c->LabelViewBtn->isChecked());
    EXPECT_TRUE(c->labelView->isVisible());
}

TEST(OpenData, OpeningDataBringsTheLabelPaneBackFromAnotherPane)
{
    Opened f;
    ViewController* c = f.controller;
    c->TrainViewBtn->setEnabled(true);
    c->TrainViewBtn->click();
    f.open({writeFile(f.file("b.csv"), "a,b\n1,2\n")});
    EXPECT_TRUE(c->LabelViewBtn->isChecked());
    EXPECT_FALSE(c->TrainViewBtn->isChecked());
    EXPECT_TRUE(c->labelView->isVisible());
    EXPECT_FALSE(c->trainView->isVisible());
    EXPECT_EQ(c->scrollview->widget(), c->tableView);
}

TEST(OpenData, RejectedItemsAlertAndTheRestStillOpen)
{
    Opened f;
    f.open({writeFile(f.file("report.pdf"), "%PDF"), writeImage(f.file("later.JPEG.png"))});
    EXPECT_EQ(f.prompter.messages(), QStringList{kWrongFile});
    EXPECT_EQ(f.controller->urlarray, QStringList{f.file("later.JPEG.png")});
    EXPECT_EQ(f.controller->inputdatatype, 1);
}

TEST(OpenData, AFileWithoutExtensionCannotBeListed)
{
    Opened f;
    const QString data = writeFile(f.file("data"), "plain");
    f.open({data, writeFile(f.file("t.csv"), "x\n1\n")});
    EXPECT_EQ(f.prompter.messages().value(0), "Cannot enumerate folder at" + data);
    EXPECT_EQ(f.controller->urlarray, QStringList{f.file("t.csv")});
    EXPECT_EQ(f.controller->inputdatatype, 3);
}

TEST(OpenData, FoldersAreScannedWhateverTheirName)
{
    Opened f;
    QDir(f.dir.path()).mkdir("photos.v2");
    const QString folder = f.file("photos.v2");
    for (const char* name : {"x.JPG", "y.jpeg"})
        writeImage(folder + "/" + name);
    writeFile(folder + "/notes.txt", "n");
    writeFile(folder + "/z.jpg.bak", "b");
    f.open({folder});
    EXPECT_EQ(f.controller->urlarray, (QStringList{folder + "/x.JPG", folder + "/y.jpeg"}));
    EXPECT_FALSE(f.prompter.messages().contains(kWrongFile));
    EXPECT_FALSE(f.prompter.messages().contains(kNoImages));
}

TEST(OpenData, FolderListsAddToTheImagesPickedBeforeIt)
{
    Opened f;
    QDir(f.dir.path()).mkdir("one");
    QDir(f.dir.path()).mkdir("none");
    writeImage(f.file("one/only.png"));
    writeFile(f.file("none/readme.txt"), "r");
    f.open({writeImage(f.file("first.png")), f.file("one"), f.file("none")});
    // A folder with a single image is a multi-image input of one image, not a single image.
    EXPECT_EQ(f.controller->urlarray, (QStringList{f.file("first.png"), f.file("one/only.png")}));
    EXPECT_TRUE(f.prompter.messages().contains(kNoImages));
}

TEST(OpenData, RealTestImagesAndFolders)
{
    KOLVARA_REQUIRE_TESTDATA();
    Opened f;
    const QString cats = testenv::sharedTestData("images/cats_dogs/cats");
    f.open({cats});
    EXPECT_EQ(f.controller->urlarray.size(), 20);
    EXPECT_TRUE(f.controller->urlarray.contains(cats + "/cat.7.jpg"));

    const QString lake = testenv::sharedTestData("images/satellite_lake_ontario.jpg");
    f.open({lake});
    EXPECT_EQ(f.controller->urlarray, QStringList{lake});
    EXPECT_EQ(f.controller->labelviewtitle->text(), "Image size: {1983, 1637}");
    EXPECT_EQ(f.controller->inputdatatype, 1);
    EXPECT_EQ(f.controller->scrollview->widget(), f.controller->imageview);
}

// ---- The CSV table ---------------------------------------------------------------------------

TEST(Table, ShowsHeaderAsColumnsAndAcceptsNumericEditsOnly)
{
    Opened f;
    f.open({writeFile(f.file("t.csv"), "a,b\n1,2\n3,4\n")});
    QTableView* t = f.table();
    ASSERT_EQ(t->model()->columnCount(), 2);
    ASSERT_EQ(t->model()->rowCount(), 2);
    EXPECT_EQ(t->model()->headerData(0, Qt::Horizontal).toString(), "a");
    EXPECT_EQ(t->model()->headerData(1, Qt::Horizontal).toString(), "b");
    EXPECT_GE(t->horizontalHeader()->sectionSize(1), 100);
    EXPECT_EQ(f.cell(1, 1), "4");

    EXPECT_TRUE(f.edit(0, 1, "1e3"));
    EXPECT_EQ(f.controller->tabledata[1][1], "1e3");  // stored as typed
    for (const char* refused : {"12 ", "abc"}) {
        f.prompter.clear();
        EXPECT_FALSE(f.edit(0, 1, refused));
        EXPECT_EQ(f.prompter.messages(), QStringList{kNumbers});
        EXPECT_EQ(f.cell(0, 1), "1e3");
    }
}

TEST(Table, TypingIntoACellGoesThroughTheSameCheck)
{
    Opened f;
    f.open({writeFile(f.file("t.csv"), "a,b\n1,2\n")});
    QTableView* t = f.table();
    const QModelIndex index = t->model()->index(0, 0);
    t->setCurrentIndex(index);
    t->edit(index);
    auto* editor = t->viewport()->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(editor, "2.5");
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents();  // the view commits the editor's text on a queued call
    EXPECT_EQ(f.controller->tabledata[1][0], "2.5");
    EXPECT_TRUE(f.prompter.messages().isEmpty());
}

TEST(Table, DuplicateTitlesShowAndEditTheFirstField)
{
    Opened f;
    f.open({writeFile(f.file("dup.csv"), "a,a\n1,2\n")});
    EXPECT_EQ(f.cell(0, 0), "1");
    EXPECT_EQ(f.cell(0, 1), "1");
    EXPECT_TRUE(f.edit(0, 1, "7"));
    EXPECT_EQ(f.controller->tabledata[1], (QStringList{"7", "2"}));
    EXPECT_EQ(f.cell(0, 0), "7");
}

TEST(Table, ShapesOfFiles)
{
    Opened f;
    f.open({writeFile(f.file("single.csv"), "x\n1\n2\n")});
    EXPECT_EQ(f.table()->model()->rowCount(), 3);  // the trailing empty row stays
    EXPECT_EQ(f.cell(2, 0), "");

    f.open({writeFile(f.file("empty.csv"), "")});
    EXPECT_EQ(f.table()->model()->columnCount(), 1);
    EXPECT_EQ(f.table()->model()->rowCount(), 0);
    EXPECT_EQ(f.table()->model()->headerData(0, Qt::Horizontal).toString(), "");

    f.open({writeFile(f.file("ragged.csv"), "a,b,c\n1\n2,3,4\n")});
    EXPECT_EQ(f.table()->model()->columnCount(), 3);  // the second file replaced the first
    EXPECT_EQ(f.cell(0, 2), "");
    EXPECT_TRUE(f.edit(0, 2, "5"));
    EXPECT_EQ(f.controller->tabledata[1], (QStringList{"1", "", "5"}));
}

TEST(Table, FilesThatAreNotTextAreRefusedAndTheTableStays)
{
    Opened f;
    f.open({writeFile(f.file("good.csv"), "a,b\n1,2\n")});
    f.prompter.clear();
    f.open({writeFile(f.file("binary.csv"), QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16))});
    ASSERT_EQ(f.prompter.messages().size(), 1);
    EXPECT_TRUE(f.prompter.messages().front().startsWith("Cannot read the table at"));
    EXPECT_EQ(f.controller->tabledata.value(0), (QStringList{"a", "b"}));
    EXPECT_EQ(f.controller->urlarray, QStringList{f.file("good.csv")});  // nothing opened: it stays
    EXPECT_EQ(f.controller->scrollview->widget(), f.controller->tableView);

    QString huge(3'000'000, QLatin1Char('9'));
    f.open({writeFile(f.file("huge.csv"), ("h\r\n\"q,\"" + huge + ",x\r\n").toUtf8())});
    EXPECT_EQ(f.table()->model()->rowCount(), 2);  // the empty last line matches the one-field header
    f.table()->resize(600, 300);
    f.table()->grab();  // paints the long cell without stalling
    EXPECT_EQ(f.controller->tabledata[1][1].size(), huge.size() + 1);
}
