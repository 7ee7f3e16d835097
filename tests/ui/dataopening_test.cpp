#include "support/fixture.h"
#include "support/testenv.h"

#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QTableView>
#include <QTest>
#include <QUndoGroup>
#include <gtest/gtest.h>

namespace {
const QString kWrongFile = QStringLiteral("Please select document in formate of jpg, jpeg, png, and csv");
const QString kNoImages = QStringLiteral("Need to select image folder");
const QString kNumbers = QStringLiteral("Need to input numbers");

struct Opened : ControllerFixture {
    QString path(const QString& name) const { return dir.filePath(name); }
    // A small PNG at `name`, its folders made.
    QString image(const QString& name) const { return testenv::savePicture(file(name, {}), QSize(40, 20)); }
    QAbstractItemModel* table() const { return controller->labelPane().tableView()->model(); }
    QString cell(int row, int col) const { return table()->index(row, col).data().toString(); }
    bool edit(int row, int col, const QString& text) const { return table()->setData(table()->index(row, col), text); }
};
}  // namespace

TEST(OpenData, ImageThenTableKeepsBothShowsTheTableAndCancelKeepsEverything)
{
    Opened f;
    ViewController* c = f.controller;
    c->trainButton()->setEnabled(true);
    c->trainButton()->click();
    f.open({f.image("a.png"), f.file("b.csv", "a,b\n1,2\n")});
    EXPECT_TRUE(c->labelButton()->isChecked() && c->labelPane().labelView()->isVisible() && !c->trainPane().trainView()->isVisible());
    c->Opendata();  // cancelled: what was opened stays
    EXPECT_EQ(c->inputs(), (QStringList{f.path("a.png"), f.path("b.csv")}));
    EXPECT_EQ(c->inputKind(), 3);
    EXPECT_TRUE(c->hasSingleImage()) << "export and preparation still see the opened image";
    EXPECT_TRUE(c->workArea()->widget() == c->labelPane().tableView() && c->workArea()->isVisible());
    EXPECT_TRUE(f.prompter.messages().isEmpty());
}

TEST(OpenData, EachKindOfPickedItem)
{
    Opened f;
    for (const char* image : {"photos.v2/x.JPG", "photos.v2/y.jpeg", "one/only.png", "first.png", "later.JPEG.png"})
        f.image(image);
    for (const char* other : {"photos.v2/notes.txt", "photos.v2/z.jpg.bak", "none/readme.txt", "report.pdf", "data", "t.csv"})
        f.file(other, "x\n1\n");
    struct Case {
        QStringList picked;
        QStringList opened;
        QStringList messages;
        int type;
    };
    const Case cases[] = {
        // Rejected items alert and the rest still open.
        {{"report.pdf", "later.JPEG.png"}, {"later.JPEG.png"}, {kWrongFile}, 1},
        // A file without extension is taken for a folder that cannot be listed.
        {{"data", "t.csv"}, {"t.csv"}, {"Cannot enumerate folder at " + f.path("data")}, 3},
        // Folders are scanned for images whatever their name.
        {{"photos.v2"}, {"photos.v2/x.JPG", "photos.v2/y.jpeg"}, {}, 2},
        // A folder with a single image adds to the images picked before it; one without images says so.
        {{"first.png", "one", "none"}, {"first.png", "one/only.png"}, {kNoImages}, 2},
    };
    for (const Case& k : cases) {
        f.prompter.clear();
        QStringList picked, opened;
        for (const QString& p : k.picked)
            picked << f.path(p);
        for (const QString& p : k.opened)
            opened << f.path(p);
        f.open(picked);
        const std::string what = k.picked.join(' ').toStdString();
        EXPECT_EQ(f.controller->inputs(), opened) << what;
        EXPECT_EQ(f.prompter.messages(), k.messages) << what;
        EXPECT_EQ(f.controller->inputKind(), k.type) << what;
    }
}

TEST(Table, ShowsHeaderAsColumnsAndAcceptsNumericEditsOnly)
{
    Opened f;
    f.open({f.file("t.csv", "a,a,b\n1,2,3\n4,5,6\n")});
    ASSERT_EQ(f.table()->columnCount(), 3);
    EXPECT_EQ(f.cell(0, 1), "1");  // a repeated title shows and edits the first field of that title

    EXPECT_TRUE(f.edit(0, 1, "1e3"));
    EXPECT_EQ(f.controller->labelPane().table()[1], (QStringList{"1e3", "2", "3"}));  // stored as typed
    EXPECT_FALSE(f.edit(0, 2, "abc"));
    EXPECT_EQ(f.prompter.messages(), QStringList{kNumbers});
    EXPECT_EQ(f.cell(0, 2), "3");

    f.prompter.clear();  // typing into a cell goes through the same check
    QTableView* t = f.controller->labelPane().tableView();
    t->setCurrentIndex(f.table()->index(1, 2));
    t->edit(f.table()->index(1, 2));
    auto* editor = t->viewport()->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(editor, "2.5");
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents();  // the view commits the editor's text on a queued call
    EXPECT_EQ(f.controller->labelPane().table()[2][2], "2.5");
    EXPECT_TRUE(f.prompter.messages().isEmpty());

    // Each accepted edit is a step of the table's undo, shown again as it is taken back.
    QUndoGroup* undo = f.controller->undoGroup();
    ASSERT_TRUE(undo->canUndo()) << "the table's stack is not the active one";
    undo->undo();
    EXPECT_EQ(f.cell(1, 2), "6");
    undo->undo();
    EXPECT_EQ(f.controller->labelPane().table()[1], (QStringList{"1", "2", "3"}));
    undo->redo();
    EXPECT_EQ(f.cell(0, 1), "1e3");
}
