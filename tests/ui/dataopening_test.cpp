// Opening images, folders and tables, and bad ones among them: the user is told which file failed
// and why, and what was open before stays open.
// The window's start: its controls, the environment check and the offer to restore a session.
#include "data/tilegriddocument.h"
#include "data/ui/multiimagecollectionview.h"
#include "data/ui/photomodel.h"
#include "data/ui/thumbnailloader.h"
#include "session/sessionfile.h"
#include "worker/paths.h"
#include "support/badfiles.h"
#include "support/fixture.h"
#include "support/testenv.h"

#include <QComboBox>
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
const QString kCannotOpen = QStringLiteral("Cannot open the image at ");

struct Opened : ControllerFixture {
    void open(const QStringList& paths)
    {
        prompter.clear();
        ControllerFixture::open(paths);
    }
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
    EXPECT_TRUE(c->inputs() == QStringList({f.path("a.png"), f.path("b.csv")}) && c->inputKind() == 3);
    EXPECT_TRUE(c->hasSingleImage()) << "export and preparation still see the opened image";
    EXPECT_TRUE(c->workArea()->widget() == c->labelPane().tableView() && c->workArea()->isVisible() && f.prompter.messages().isEmpty());
}

TEST(OpenData, EachKindOfPickedItem)
{
    Opened f;
    for (const char* image : {"photos.v2/x.JPG", "photos.v2/y.jpeg", "one/only.png", "first.png", "later.JPEG.png"})
        f.image(image);
    for (const char* other : {"photos.v2/notes.txt", "photos.v2/z.jpg.bak", "none/readme.txt", "report.pdf", "data", "t.csv"})
        f.file(other, "x\n1\n");
    const struct Case {
        QStringList picked, opened, messages;
        int type;
    } cases[] = {
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
        QStringList picked, opened;
        for (const QString& p : k.picked)
            picked << f.path(p);
        for (const QString& p : k.opened)
            opened << f.path(p);
        f.open(picked);
        EXPECT_TRUE(f.controller->inputs() == opened && f.prompter.messages() == k.messages && f.controller->inputKind() == k.type)
            << k.picked.join(' ').toStdString() << ": " << f.controller->inputs().join(' ').toStdString() << " | " << f.prompter.messages().join('|').toStdString();
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
    EXPECT_TRUE(f.prompter.messages() == QStringList{kNumbers} && f.cell(0, 2) == "3");

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
    EXPECT_TRUE(f.controller->labelPane().table()[2][2] == "2.5" && f.prompter.messages().isEmpty());

    // Each accepted edit is a step of the table's undo, shown again as it is taken back.
    QUndoGroup* undo = f.controller->undoGroup();
    ASSERT_TRUE(undo->canUndo()) << "the table's stack is not the active one";
    undo->undo();
    EXPECT_EQ(f.cell(1, 2), "6");
    undo->undo();
    EXPECT_EQ(f.controller->labelPane().table()[1], (QStringList{"1", "2", "3"}));
}

TEST(DamagedImages, EachIsNamedInAnAlertAndTheLabelledImageStays)
{
    Opened w;
    const QString good = w.file(QStringLiteral("field.png"), badfiles::encoded(badfiles::picture(QSize(400, 200)), "PNG"));
    w.open({good});
    drawGrid(*w.c, "4", "2");
    w.c->tileGrid().toggleMark({0, 1});
    w.c->tileGrid().toggleMark({1, 3});
    QList<std::pair<QString, QString>> bad;  // path, a piece of the reason
    for (const badfiles::BadImage& b : badfiles::images())
        bad.append({w.file(QString::fromUtf8(b.fileName), b.bytes), QString::fromUtf8(b.reason)});

    for (const auto& [path, reason] : bad) {
        w.open({path});
        ASSERT_EQ(w.prompter.messages(), QStringList{kCannotOpen + path});
        EXPECT_TRUE(w.prompter.alerts()[0].informative.contains(reason)) << w.prompter.alerts()[0].informative.toStdString();
        EXPECT_TRUE(w.c->singleImage().size() == QSize(400, 200) && w.c->inputs() == QStringList{good});
        EXPECT_EQ(w.c->tileGrid().state().clickpoints, (std::vector<TilePoint>{{0, 1}, {1, 3}}));
        EXPECT_EQ(w.c->workArea()->widget(), w.c->labelPane().imageview());  // still on screen, marks and all
    }

    // In a selection only the bad ones are left out.
    const QString first = w.file(QStringLiteral("first.png"), badfiles::encoded(badfiles::picture(QSize(60, 40)), "PNG"));
    w.open({first, bad[1].first});
    EXPECT_EQ(w.prompter.messages(), QStringList{kCannotOpen + bad[1].first});
    EXPECT_TRUE(w.c->inputs() == QStringList{first} && w.c->singleImage().size() == QSize(60, 40));
}

TEST(DamagedImages, BrowserShowsEmptyThumbnailsAndPreparationNamesEveryBadFile)
{
    Opened w;
    const QString folder = w.dir.filePath(QStringLiteral("photos"));
    const QString good = w.file(QStringLiteral("photos/good.jpg"), badfiles::encoded(badfiles::picture(QSize(300, 200)), "JPEG"));
    QStringList bad;  // one file per case under its own base name, since base names key the labels
    for (const badfiles::BadImage& b : badfiles::images())
        bad << w.file(QStringLiteral("photos/%1.%2").arg(QLatin1String(b.name), QFileInfo(QString::fromUtf8(b.fileName)).suffix()), b.bytes);

    w.open({folder});
    multiimagecollectionview* browser = w.c->labelPane().multiimagecollection();
    ASSERT_EQ(browser->model().rowCount(), bad.size() + 1);
    QTRY_VERIFY_WITH_TIMEOUT(browser->visibleThumbnailsReady(), 10000);
    (void)w.window->grab();  // painting the empty thumbnails is fine too
    EXPECT_TRUE(w.prompter.messages().isEmpty()) << "the browser shows, it does not complain";
    EXPECT_EQ(browser->loader().state(good), ThumbnailLoader::State::Ready);
    for (const QString& path : bad)
        EXPECT_EQ(browser->loader().state(path), ThumbnailLoader::State::Unreadable) << path.toStdString();

    // Writing the samples: the good one is written, every bad one is named with its reason.
    EXPECT_TRUE(w.c->preparedata().isEmpty() && QFile::exists(paths::workspaceFolder() + "/good.png"));
    ASSERT_EQ(w.prompter.messages(), QStringList{QStringLiteral("Cannot save %1 of %2 images.").arg(bad.size()).arg(bad.size() + 1)});
    const QString details = w.prompter.alerts()[0].informative;
    EXPECT_TRUE(details.contains("TruncatedJpeg.png: unwrappingPNGRepresentationFailed(" + folder + "/TruncatedJpeg.jpg is cut short")) << details.toStdString();
}

TEST(TableInput, OddTablesOpenAndShowSensibly)
{
    QByteArray manyFields = "h";
    for (int i = 1; i < 400000; ++i)
        manyFields += ",h" + QByteArray::number(i);  // several megabytes on one line
    const std::tuple<QByteArray, QStringList, int, QString> cases[] = {  // bytes, shown titles, rows, cell (0, 0)
        {"a,b\r\n1,2\r\n3,4\r\n", {"a", "b"}, 2, "1"},  // a carriage return stays in the data, not shown
        {"h,t\n1," + QByteArray(4'000'000, 'x') + "\n", {"h", "t"}, 1, "1"},
        {manyFields + "\n", {}, 0, {}},  // titles not compared
        {"a,b\n\x01\x02\x7f,\xff\xfe\n", {"a", "b"}, 1, QStringLiteral("\x01\x02\x7f")},  // control bytes, no NUL
        {"", {""}, 0, {}},
    };
    Opened w;
    int n = 0;
    for (const auto& [bytes, titles, rows, cell] : cases) {
        w.open({w.file(QStringLiteral("t%1.csv").arg(++n), bytes)});
        EXPECT_TRUE(w.prompter.messages().isEmpty() && w.c->inputKind() == 3) << n << w.prompter.messages().join("|").toStdString();
        QAbstractItemModel* model = w.c->labelPane().tableView()->model();
        QStringList shown;
        for (int col = 0; col < model->columnCount(); ++col)
            shown << model->headerData(col, Qt::Horizontal).toString();
        EXPECT_TRUE(titles.isEmpty() || (shown == titles && model->rowCount() == rows)) << n << shown.join('|').toStdString();
        EXPECT_TRUE(rows == 0 || model->index(0, 0).data().toString() == cell) << n;
        (void)w.window->grab();
    }
}

TEST(TableInput, AnUnreadableFileIsNamedAndTheOpenTableStays)
{
    Opened w;
    const QString good = w.file(QStringLiteral("good.csv"), "a,b\n1,2\n");
    w.open({good});
    // Pipes and missing files are refused by the same reader (core test).
    const QString binary = w.file(QStringLiteral("binary.csv"), QByteArray("a,b\n1,\0\0\0\x01", 10));
    w.open({binary});
    ASSERT_EQ(w.prompter.messages(), QStringList{QStringLiteral("Cannot read the table at ") + binary});
    EXPECT_FALSE(w.prompter.alerts()[0].informative.isEmpty());
    EXPECT_TRUE(w.c->labelPane().table().value(0) == QStringList({"a", "b"}) && w.c->inputs() == QStringList{good});
    EXPECT_EQ(w.c->workArea()->widget(), w.c->labelPane().tableView());
}

TEST(Shell, TheInputClassIsNeverOfferedAndEveryButtonIsNamed)
{
    ControllerFixture f;
    EXPECT_EQ(f.c->trainPane().nodeclass()->findText(QStringLiteral("InputLayer")), -1);
    // Assistive tools find every button under its title.
    for (const QPushButton* b : f.c->window()->findChildren<QPushButton*>())
        EXPECT_EQ(b->accessibleName(), b->text());
}

// The walkthrough restores a session; here, when none is offered and what declining keeps.
TEST(Shell, RestoreIsOfferedOnlyWhileEveryInputIsThereAndDecliningOpensNothing)
{
    const QString image = testenv::savePicture(testenv::scratchFolder() + "/kept.png", QSize(40, 20));
    for (const auto& [input, offered] : {std::pair{image + ".gone", false}, std::pair{image, true}}) {
        session::Session saved;
        saved.savedAt = QDateTime(QDate(2026, 3, 14), QTime(14, 32));
        saved.inputs = {{input, QDateTime()}};
        saved.tileGrid = session::TileGridPart{input, 4, 2, true, false, {{0, 1}}};
        ASSERT_TRUE(session::write(session::defaultPath(), saved).isEmpty());
        ControllerFixture f;
        f.prompter.answerAlert(1);  // Start Afresh
        f.controller->offerRestore();
        EXPECT_EQ(f.prompter.messages(), offered ? QStringList{"Restore the labels of kept.png from 14:32?"} : QStringList());
        EXPECT_TRUE(f.controller->inputKind() == 0 && f.controller->tileGrid().state().clickpoints.empty()) << offered;
    }
}

TEST(EnvironmentCheck, OnlyABrokenInterpreterOrAMissingPackageRaisesAnAlert)
{
    const QString fakes = QStringLiteral(KOLVARA_TEST_DATA_DIR "/fakepython/");
    const std::tuple<QString, const char*, AlertStyle> cases[] = {
        {QString(), nullptr, {}},                         // the healthy interpreter
        {"/nonexistent/python3", nullptr, {}},            // only warned about on the console
        {fakes + "broken_version.sh", "Please install Python 3.8.5 to your machine to run the Neural Network Calculation.", AlertStyle::Warning},
        {fakes + "missing_h5py.sh", "Need to install python packages", AlertStyle::Critical},
    };
    for (const auto& [interpreter, alert, style] : cases) {
        if (!interpreter.isEmpty())
            qputenv("KOLVARA_PYTHON", interpreter.toUtf8());
        ControllerFixture f;
        f.controller->exampython();
        qunsetenv("KOLVARA_PYTHON");
        ASSERT_EQ(f.prompter.alerts().size(), alert ? 1 : 0) << interpreter.toStdString();
        if (alert)
            EXPECT_TRUE(f.prompter.messages().first().startsWith(alert) && f.prompter.alerts().first().style == style) << interpreter.toStdString();
    }
}
