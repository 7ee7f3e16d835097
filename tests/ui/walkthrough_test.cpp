// The README's walkthroughs on the real window: Qt's own message boxes and file dialogs, the real
// workers, every step taken the way a user takes it and checked by what the window shows and the
// files it writes.
#include "app/mainwindow.h"
#include "support/sampletiles.h"
#include "support/testenv.h"
#include "support/userdriver.h"
#include "worker/paths.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <gtest/gtest.h>

using user::Dialogs;

namespace {
constexpr int kRunMs = 300000;  // a generous bound for a small run on a busy machine

struct Workbench {
    mainwindow window;
    QWidget* w = &window;
    Dialogs dialogs;

    Workbench()
    {
        window.show();
        (void)QTest::qWaitForWindowExposed(&window);
    }
    QWidget* shown(const QString& name) const
    {
        QWidget* found = user::named(w, name);
        EXPECT_TRUE(found && user::canUse(found)) << name.toStdString() << " is not shown";
        return found;
    }
    bool checked(const QString& pane) const
    {
        QAbstractButton* b = user::button(w, pane);
        return b && b->isChecked();
    }
    QString said(const QString& startingWith) const
    {
        for (const QString& text : user::shownTexts(w))
            if (text.startsWith(startingWith))
                return text;
        return QString();
    }
    // Waits for the run's last window to be answered; says what was seen when it was not.
    void waitForRun()
    {
        EXPECT_TRUE(dialogs.waitAnswered(kRunMs)) << dialogs.seen().join(" | ").toStdString();
        EXPECT_TRUE(dialogs.unexpected().isEmpty()) << dialogs.unexpected().join(" | ").toStdString();
    }
};

QString readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

// The predictions column of a prediction file, by tile "i,j" or by file name.
QMap<QString, QString> predictionsOf(const QString& path, bool tiles)
{
    QMap<QString, QString> out;
    const QStringList lines = readAll(path).split('\n', Qt::SkipEmptyParts);
    for (const QString& line : lines.mid(1)) {
        const QStringList f = line.split(',');
        if (f.size() >= 7)
            out[tiles ? f[2] + ',' + f[3] : f[4]] = f[6];
    }
    return out;
}

// Where the image lies in the tile grid view, found as a user sees it: the part that is not the
// black background, from the bottom-left corner.
QRect imageExtent(QWidget* grid)
{
    const QImage shot = grid->grab().toImage();
    int width = 0, height = 0;
    while (width < shot.width() && shot.pixelColor(width, shot.height() - 1) != Qt::black)
        ++width;
    while (height < shot.height() && shot.pixelColor(0, shot.height() - 1 - height) != Qt::black)
        ++height;
    return QRect(0, shot.height() - height, width, height);
}

void clickTile(QWidget* grid, const QRect& image, int cols, int rows, TilePoint t)
{
    const QPoint centre(image.left() + int((t.col + 0.5) * image.width() / cols),
                        image.bottom() - int((t.row + 0.5) * image.height() / rows));
    QTest::mouseClick(grid, Qt::LeftButton, Qt::NoModifier, centre);
}

// The strategy box as a user fills it: the form must be there to be typed into.
Dialogs::Answer fillStrategy(Dialogs& dialogs, const QString& epochs, const QString& weights)
{
    return [&dialogs, epochs, weights](QWidget* box) {
        QWidget* panel = user::named(box, QStringLiteral("Training Strategy Panel"));
        ASSERT_TRUE(panel && user::canUse(panel)) << "the strategy form is not shown in its box";
        EXPECT_EQ(panel->size(), QSize(400, 600));
        if (weights.isEmpty()) {
            // The folder picker opens in the workspace, where the labelled tiles just went.
            dialogs.expect("Choose training data folder", [](QWidget* d) { user::press(d, "Choose"); });
            user::press(box, "Choose training data folder");
            EXPECT_TRUE(user::field(box, "Training data") && !user::field(box, "Training data")->text().isEmpty());
            user::type(box, "Training Eporch", epochs);
            user::choose(box, "Loss Function", "categorical_crossentropy");
        } else {
            dialogs.expect("Choose training data folder", [weights](QWidget* d) { user::answerFileDialog(d, weights, "Open"); });
            user::press(box, "Choose weights");
            EXPECT_EQ(user::field(box, "Weights")->text(), weights);
        }
        user::press(box, "Start!");
    };
}
}  // namespace

TEST(Walkthrough, SampleImageIsLabelledTrainedExportedAndTestedWithItsModel)
{
    Workbench b;
    const QString sample = paths::resourcePath("sample_fields", "png");
    b.dialogs.expect("Choose", [&](QWidget* d) { user::answerFileDialog(d, sample, "Open"); });
    ASSERT_TRUE(user::press(b.w, "Open Data"));
    EXPECT_TRUE(b.checked("Label"));
    EXPECT_EQ(b.said("Image size"), "Image size: {640, 480}");

    QWidget* grid = b.shown("Tile grid");
    const QRect image = imageExtent(grid);
    ASSERT_TRUE(user::type(b.w, "Col", "8") && user::type(b.w, "Row", "6") && user::press(b.w, "Draw Grid!"));
    EXPECT_EQ(b.said("Tile size"), "Tile size: {80, 80}");
    for (const TilePoint& t : sampletiles::river())
        clickTile(grid, image, 8, 6, t);
    QTest::qWait(0);
    EXPECT_EQ(grid->accessibleDescription(), "8 x 6 tiles, 10 marked");

    b.dialogs.expectPress("Choose a Neural Network Model", "Cancel");
    ASSERT_TRUE(user::press(b.w, "Open Model"));
    ASSERT_TRUE(user::press(b.w, "New Model"));
    EXPECT_TRUE(b.checked("Train"));
    b.shown("Layer graph");
    b.dialogs.expect("Generate model succeed!", [](QWidget* box) {
        auto* summary = qobject_cast<QPlainTextEdit*>(user::named(box, "Model summary"));
        ASSERT_TRUE(summary && user::canUse(summary)) << "the summary is not shown in its box";
        EXPECT_TRUE(summary->toPlainText().contains("Total params"));
        user::press(box, "OK");
    });
    ASSERT_TRUE(user::press(b.w, "Gnerate ML Model"));

    // Escape on the checklist goes back; nothing is prepared.
    b.dialogs.expect("Before set up training strategy", [](QWidget* box) { QTest::keyClick(box, Qt::Key_Escape); });
    ASSERT_TRUE(user::press(b.w, "Strategy Config"));
    const QString csv = paths::workspaceFolder() + "/sample_fields_outputlabel.csv";
    QFile::remove(csv);
    b.dialogs.expectPress("Before set up training strategy", "Continue");
    b.dialogs.expect("Training Strategy Panel", fillStrategy(b.dialogs, "3", QString()));
    ASSERT_TRUE(user::press(b.w, "Strategy Config"));
    EXPECT_TRUE(b.dialogs.allAnswered()) << b.dialogs.unexpected().join(" | ").toStdString();
    EXPECT_TRUE(b.checked("Result"));
    b.shown("Training chart");
    EXPECT_TRUE(b.said("Prepare to train").size() || b.said("Training state").size());
    const QString labels = readAll(csv);
    EXPECT_EQ(labels.count(",1\n"), 10) << "the marked tiles are labelled 1";

    // A second Strategy Config during the run asks; the question goes when the run ends.
    ASSERT_TRUE(user::press(b.w, "Train"));
    b.dialogs.expectLeftOpen("A training run is in progress");
    b.dialogs.expectPress("Computation finished!", "OK");
    ASSERT_TRUE(user::press(b.w, "Strategy Config"));
    b.waitForRun();
    EXPECT_TRUE(b.checked("Result"));
    b.shown("Metrics image");

    const QMap<QString, QString> trained = predictionsOf(csv, true);
    ASSERT_EQ(trained.size(), 48);
    int differ = 0;
    for (int k = 0; k < 48; ++k) {
        const TilePoint t{k / 8, k % 8};
        const bool marked = std::find(sampletiles::river().begin(), sampletiles::river().end(), t) != sampletiles::river().end();
        differ += (trained.value(QString("%1,%2").arg(t.row).arg(t.col)) == "1") != marked ? 1 : 0;
    }
    ASSERT_TRUE(user::press(b.w, "Label"));
    QTest::qWait(50);
    EXPECT_TRUE(grid->accessibleDescription().endsWith(QString("%1 circled where prediction and mark differ").arg(differ)))
        << grid->accessibleDescription().toStdString();

    const QString exported = testenv::scratchFolder() + "/exported";
    QDir(exported).removeRecursively();
    QDir().mkpath(exported);
    b.dialogs.expect("Choose folder to save", [&](QWidget* d) { user::answerFileDialog(d, exported, "Choose"); });
    b.dialogs.expectPress("Finish export to " + exported, "OK");
    ASSERT_TRUE(user::press(b.w, "Export Results"));
    EXPECT_TRUE(b.dialogs.allAnswered()) << b.dialogs.unexpected().join(" | ").toStdString();
    for (const char* name : {"my_model.h5", "NNMetrics.png", "sample_fields_outputlabel.csv", "sample_fields_00.png"})
        EXPECT_TRUE(QFile::exists(exported + "/" + name)) << name;

    // The exported model predicts the same tiles without training.
    ASSERT_TRUE(user::press(b.w, "Train"));
    b.dialogs.expectPress("Before set up training strategy", "Continue");
    b.dialogs.expect("Training Strategy Panel", fillStrategy(b.dialogs, QString(), exported + "/my_model.h5"));
    b.dialogs.expectPress("No training dataset, will only perform validation.", "OK");
    b.dialogs.expectPress("Pure Test Computation finished!", "OK");
    ASSERT_TRUE(user::press(b.w, "Strategy Config"));
    b.waitForRun();
    EXPECT_EQ(predictionsOf(csv, true), trained);
    EXPECT_TRUE(b.checked("Label")) << "the test's outcome is the data with its predictions";
    b.shown("Tile grid");
    ASSERT_TRUE(user::press(b.w, "Result"));
    EXPECT_TRUE(b.said("Test finished").startsWith("Test finished: ")) << user::shownTexts(b.w).join(" | ").toStdString();
}

namespace {
// Twelve 64-point pictures: water-like stripes and grass-like speckle, named water<k> and grass<k>.
QString pictureFolder(const QString& name)
{
    const QString dir = testenv::scratchFolder() + "/" + name;
    QDir(dir).removeRecursively();
    QDir().mkpath(dir);
    for (int k = 0; k < 12; ++k) {
        QImage image(64, 64, QImage::Format_RGB32);
        const bool water = k % 2 == 0;
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x) {
                const int n = (x * 7 + y * 13 + k * 5) % 23;
                image.setPixelColor(x, y, water ? QColor(30 + n, 80 + 40 * ((y / 4) % 2), 200) : QColor(40 + n, 140 + 2 * n, 30));
            }
        image.save(dir + QString("/%1%2.png").arg(water ? "water" : "grass").arg(k));
    }
    return dir;
}

QModelIndex thumbnail(QAbstractItemView* list, const QString& name)
{
    for (int row = 0; row < list->model()->rowCount(); ++row)
        if (list->model()->index(row, 0).data().toString() == name)
            return list->model()->index(row, 0);
    ADD_FAILURE() << "no thumbnail " << name.toStdString();
    return QModelIndex();
}

void clickThumbnail(QAbstractItemView* list, const QString& name, Qt::KeyboardModifiers keys)
{
    const QRect cell = list->visualRect(thumbnail(list, name));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, keys, cell.topLeft() + QPoint(75, 80));
}
}  // namespace

TEST(Walkthrough, FolderOfPicturesIsLabelledTogetherTrainedAndFramed)
{
    Workbench b;
    const QString folder = pictureFolder("pictures");
    b.dialogs.expect("Choose", [&](QWidget* d) { user::answerFileDialog(d, folder, "Open"); });
    ASSERT_TRUE(user::press(b.w, "Open Data"));
    auto* list = qobject_cast<QAbstractItemView*>(b.shown("Images"));
    ASSERT_TRUE(list);
    ASSERT_EQ(list->model()->rowCount(), 12);

    // Label Images! reaches exactly the thumbnails shown as selected: six by click and Ctrl-click
    // with a wrong one among them, then that one clicked alone and set right. grass11 is given a
    // wrong label on purpose, for the frame it earns.
    const auto label = [&](const QString& text) {
        return user::type(b.w, "Selected image label", text) && user::press(b.w, "Label Images!");
    };
    clickThumbnail(list, "water0", Qt::NoModifier);
    for (const char* name : {"water2", "water4", "water6", "water8", "water10", "grass1"})
        clickThumbnail(list, name, Qt::ControlModifier);
    ASSERT_TRUE(label("1"));
    clickThumbnail(list, "grass1", Qt::NoModifier);
    ASSERT_TRUE(label("0"));
    clickThumbnail(list, "grass11", Qt::NoModifier);
    ASSERT_TRUE(label("1"));
    const auto labelled = [](int k) { return k % 2 == 0 || k == 11 ? "1" : "0"; };
    const auto nameOf = [](int k) { return QString("%1%2").arg(k % 2 ? "grass" : "water").arg(k); };
    for (int k = 0; k < 12; ++k)
        EXPECT_EQ(thumbnail(list, nameOf(k)).data(Qt::EditRole).toString(), labelled(k)) << nameOf(k).toStdString();

    b.dialogs.expectPress("Choose a Neural Network Model", "Cancel");
    ASSERT_TRUE(user::press(b.w, "Open Model") && user::press(b.w, "New Model"));
    b.dialogs.expectPress("Before set up training strategy", "Continue");
    b.dialogs.expect("Training Strategy Panel", fillStrategy(b.dialogs, "6", QString()));
    b.dialogs.expectPress("Computation finished!", "OK");
    ASSERT_TRUE(user::press(b.w, "Strategy Config"));
    b.waitForRun();

    const QMap<QString, QString> predicted = predictionsOf(paths::workspaceFolder() + "/folderimage_outputlabel.csv", false);
    ASSERT_TRUE(user::press(b.w, "Label"));
    QTest::qWait(100);
    const QImage shot = list->viewport()->grab().toImage();
    int right = 0;
    for (int k = 0; k < 12; ++k) {
        const bool wrong = predicted.value(nameOf(k) + ".png") != labelled(k);
        right += wrong ? 0 : 1;
        // A thumbnail whose prediction differs from its label is framed in red, the others not.
        const QRect cell = list->visualRect(thumbnail(list, nameOf(k)));
        EXPECT_EQ(shot.pixelColor(cell.left() + 2, cell.top() + 80) == QColor(Qt::red), wrong) << nameOf(k).toStdString();
    }
    EXPECT_TRUE(right > 0 && right < 12) << right << " of 12 predicted as labelled: both kinds of frame are checked";
}

// A folder given to a file picker however a user gives it: typed, entered, or selected in its
// parent. Open opens the folder itself.
TEST(Walkthrough, PickersTakeAFolderTypedEnteredOrSelected)
{
    const QString parent = testenv::scratchFolder() + "/pickers";
    QDir().mkpath(parent);
    const QString folder = pictureFolder("pickers/pics2000");
    const auto item = [&parent](QWidget* d, const QString& name) -> QModelIndex {
        qobject_cast<QFileDialog*>(d)->setDirectory(parent);  // the picker shows the folder's parent
        auto* view = qobject_cast<QAbstractItemView*>(d->findChild<QWidget*>("listView"));
        QModelIndex found;
        (void)QTest::qWaitFor([&] {
            const QModelIndex first = view->model()->index(0, 0, view->rootIndex());
            const QModelIndexList hits = view->model()->match(first, Qt::DisplayRole, name, 1, Qt::MatchExactly);
            found = hits.value(0);
            return found.isValid();
        }, 5000);
        return found;
    };
    const auto at = [](QWidget* d, const QModelIndex& index) {
        auto* view = qobject_cast<QAbstractItemView*>(d->findChild<QWidget*>("listView"));
        return std::make_pair(view->viewport(), view->visualRect(index).center());
    };
    const struct Case {
        const char* how;
        std::function<void(QWidget*)> answer;
    } cases[] = {
        {"typed", [&](QWidget* d) { user::answerFileDialog(d, folder, "Open"); }},
        {"entered", [&](QWidget* d) {
             const auto [viewport, point] = at(d, item(d, "pics2000"));
             QTest::mouseDClick(viewport, Qt::LeftButton, Qt::NoModifier, point);
             (void)QTest::qWaitFor([&] { return qobject_cast<QFileDialog*>(d)->directory().dirName() == "pics2000"; }, 5000);
             user::press(d, "Open");
         }},
        {"selected", [&](QWidget* d) {
             const auto [viewport, point] = at(d, item(d, "pics2000"));
             QTest::mouseClick(viewport, Qt::LeftButton, Qt::NoModifier, point);
             user::press(d, "Open");
         }},
    };
    for (const Case& k : cases) {
        Workbench b;
        b.dialogs.expect("Choose", k.answer);
        ASSERT_TRUE(user::press(b.w, "Open Data")) << k.how;
        EXPECT_TRUE(b.dialogs.unexpected().isEmpty()) << k.how << ": " << b.dialogs.unexpected().join(" | ").toStdString();
        auto* list = qobject_cast<QAbstractItemView*>(user::named(b.w, "Images"));
        EXPECT_TRUE(list && user::canUse(list) && list->model()->rowCount() == 12) << k.how;
    }
}

