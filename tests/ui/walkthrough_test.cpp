// The README's walkthroughs on the real window: Qt's own message boxes and file dialogs, the real
// workers, every step taken the way a user takes it and checked by what the window shows and the
// files it writes.
#include "app/mainwindow.h"
#include "app/viewcontroller.h"
#include "session/sessionautosave.h"
#include "session/sessionfile.h"
#include "support/sampletiles.h"
#include "support/testenv.h"
#include "support/userdriver.h"
#include "worker/paths.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractScrollArea>
#include <QRegularExpression>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTest>
#include <gtest/gtest.h>

using user::Dialogs;

namespace {
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
    bool checked(const QString& pane) const { return user::button(w, pane) && user::button(w, pane)->isChecked(); }
    // The Edit menu's entry whose text starts with `verb`, shown and enabled.
    QAction* editEntry(const QString& verb)
    {
        for (QAction* menu : window.menuBar()->actions())
            if (menu->text().remove('&') == "Edit" && menu->menu())
                for (QAction* a : menu->menu()->actions())
                    if (a->text().startsWith(verb) && a->isEnabled() && a->isVisible())
                        return a;
        ADD_FAILURE() << "no enabled Edit menu entry " << verb.toStdString();
        return nullptr;
    }
    // Ctrl+Z, or Ctrl+Shift+Z with `redo`, as typed into the window.
    void undoKey(bool redo = false)
    {
        window.activateWindow();
        (void)QTest::qWaitForWindowActive(&window);
        QTest::keyClick(&window, Qt::Key_Z, redo ? Qt::ControlModifier | Qt::ShiftModifier : Qt::ControlModifier);
        QTest::qWait(50);
    }
    QString said(const QString& start) const { return user::shownTexts(w).filter(QRegularExpression("^" + start)).value(0); }
    // Presses `button` and waits until every window expected meanwhile was answered.
    void pressAndWait(const QString& button)
    {
        ASSERT_TRUE(user::press(w, button));
        EXPECT_TRUE(dialogs.waitAnswered(300000)) << dialogs.seen().join(" | ").toStdString();
        EXPECT_TRUE(dialogs.unexpected().isEmpty()) << dialogs.unexpected().join(" | ").toStdString();
    }
};

// The prediction column of a prediction file, by tile "i,j" or by file name.
QMap<QString, QString> predictionsOf(const QString& path, bool tiles)
{
    QFile f(path);
    QMap<QString, QString> out;
    const QStringList lines = f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts) : QStringList();
    for (const QString& line : lines.mid(1))
        if (const QStringList field = line.split(','); field.size() >= 7)
            out[tiles ? field[2] + ',' + field[3] : field[4]] = field[6];
    return out;
}

// The strategy box as a user fills it: the form must be there to be typed into.
Dialogs::Answer fillStrategy(Dialogs& dialogs, const QString& epochs, const QString& weights)
{
    return [&dialogs, epochs, weights](QWidget* box) {
        QWidget* panel = user::named(box, QStringLiteral("Training Strategy Panel"));
        ASSERT_TRUE(panel && user::canUse(panel)) << "the strategy form is not shown in its box";
        // 600 high, and the 400-pixel form fits beside the scroll bar: no button is hidden behind it.
        auto* scroll = qobject_cast<QAbstractScrollArea*>(panel);
        ASSERT_TRUE(scroll);
        EXPECT_EQ(panel->height(), 600);
        EXPECT_GE(scroll->viewport()->width(), 400);
        if (weights.isEmpty()) {
            // The folder picker opens in the workspace, where the labelled data just went.
            dialogs.expectPress("Choose training data folder", "Choose");
            user::press(box, "Choose training data folder");
            EXPECT_EQ(user::field(box, "Training data")->text(), paths::workspaceFolder());
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

QModelIndex thumbnail(QAbstractItemView* list, const QString& name)
{
    const QModelIndexList found = list->model()->match(list->model()->index(0, 0), Qt::DisplayRole, name, 1, Qt::MatchExactly);
    EXPECT_EQ(found.size(), 1) << name.toStdString();
    return found.value(0);
}

void clickThumbnail(QAbstractItemView* list, const QString& name, Qt::KeyboardModifiers keys = Qt::NoModifier)
{
    QTest::mouseClick(list->viewport(), Qt::LeftButton, keys, list->visualRect(thumbnail(list, name)).topLeft() + QPoint(75, 80));
}
}  // namespace

TEST(Walkthrough, SampleImageIsLabelledTrainedExportedAndTestedWithItsModel)
{
    Workbench b;
    const QString sample = paths::resourcePath("sample_fields", "png");
    b.dialogs.expect("Choose", [&](QWidget* d) { user::answerFileDialog(d, sample, "Open"); });
    b.pressAndWait("Open Data");
    EXPECT_TRUE(b.checked("Label"));
    EXPECT_EQ(b.said("Image size"), "Image size: {640, 480}");
    ASSERT_TRUE(user::type(b.w, "Col", "8") && user::type(b.w, "Row", "6") && user::press(b.w, "Draw Grid!"));
    EXPECT_EQ(b.said("Tile size"), "Tile size: {80, 80}");
    QWidget* grid = b.shown("Tile grid");
    for (const TilePoint& t : sampletiles::river())
        sampletiles::click(grid, t, 8, 6);
    QTest::qWait(50);
    EXPECT_EQ(grid->accessibleDescription(), "8 x 6 tiles, 10 marked");
    // A stray click is taken back with the key the Edit menu names it under.
    sampletiles::click(grid, {5, 0}, 8, 6);
    if (QAction* undo = b.editEntry("Undo"))
        EXPECT_EQ(undo->text(), "Undo Mark 1 Tile");
    b.undoKey();
    EXPECT_EQ(grid->accessibleDescription(), "8 x 6 tiles, 10 marked");

    b.dialogs.expectPress("Choose a Neural Network Model", "Cancel");
    b.pressAndWait("Open Model");
    ASSERT_TRUE(user::press(b.w, "New Model"));
    EXPECT_TRUE(b.checked("Train"));
    b.shown("Layer graph");
    b.dialogs.expect("Generate model succeed!", [](QWidget* box) {
        auto* summary = qobject_cast<QPlainTextEdit*>(user::named(box, "Model summary"));
        ASSERT_TRUE(summary && user::canUse(summary)) << "the summary is not shown in its box";
        EXPECT_TRUE(summary->toPlainText().contains("Total params"));
        user::press(box, "OK");
    });
    b.pressAndWait("Gnerate ML Model");

    // Escape on the checklist goes back; then the run, with a second Strategy Config during it
    // whose question goes when the run ends.
    b.dialogs.expect("Before set up training strategy", [](QWidget* box) { QTest::keyClick(box, Qt::Key_Escape); });
    b.pressAndWait("Strategy Config");
    const QString csv = paths::workspaceFolder() + "/sample_fields_outputlabel.csv";
    QFile::remove(csv);
    b.dialogs.expectPress("Before set up training strategy", "Continue");
    b.dialogs.expect("Training Strategy Panel", fillStrategy(b.dialogs, "3", QString()));
    b.pressAndWait("Strategy Config");
    EXPECT_TRUE(b.checked("Result"));
    b.shown("Training chart");
    EXPECT_FALSE(b.said("Prepare to train|Training state").isEmpty());
    QFile labels(csv);
    EXPECT_TRUE(labels.open(QIODevice::ReadOnly) && labels.readAll().count(",1\n") == 10) << "the marked tiles are labelled 1";
    ASSERT_TRUE(user::press(b.w, "Train"));
    b.dialogs.expectLeftOpen("A training run is in progress");
    b.dialogs.expectPress("Computation finished!", "OK");
    b.pressAndWait("Strategy Config");
    EXPECT_TRUE(b.checked("Result"));
    b.shown("Metrics image");

    const QMap<QString, QString> trained = predictionsOf(csv, true);
    ASSERT_EQ(trained.size(), 48);
    int differ = 0;
    for (int k = 0; k < 48; ++k) {
        const auto& river = sampletiles::river();
        const bool marked = std::find(river.begin(), river.end(), TilePoint{k / 8, k % 8}) != river.end();
        differ += (trained.value(QString("%1,%2").arg(k / 8).arg(k % 8)) == "1") != marked ? 1 : 0;
    }
    ASSERT_TRUE(user::press(b.w, "Label"));
    QTest::qWait(50);
    EXPECT_TRUE(grid->accessibleDescription().endsWith(QString("%1 circled where prediction and mark differ").arg(differ)))
        << grid->accessibleDescription().toStdString();

    const QString exported = testenv::scratchFolder() + "/exported";
    QDir().mkpath(exported);
    b.dialogs.expect("Choose folder to save", [&](QWidget* d) { user::answerFileDialog(d, exported, "Choose"); });
    b.dialogs.expectPress("Finish export to " + exported, "OK");
    b.pressAndWait("Export Results");
    for (const char* name : {"my_model.h5", "NNMetrics.png", "sample_fields_outputlabel.csv", "sample_fields_00.png"})
        EXPECT_TRUE(QFile::exists(exported + "/" + name)) << name;

    // The exported model predicts the same tiles without training.
    ASSERT_TRUE(user::press(b.w, "Train"));
    b.dialogs.expectPress("Before set up training strategy", "Continue");
    b.dialogs.expect("Training Strategy Panel", fillStrategy(b.dialogs, QString(), exported + "/my_model.h5"));
    b.dialogs.expectPress("No training dataset, will only perform validation.", "OK");
    b.dialogs.expectPress("Pure Test Computation finished!", "OK");
    b.pressAndWait("Strategy Config");
    EXPECT_EQ(predictionsOf(csv, true), trained);
    EXPECT_TRUE(b.checked("Result")) << "the test's outcome is its metrics image";
    b.shown("Metrics image");
    ASSERT_TRUE(user::press(b.w, "Label"));
    b.shown("Tile grid");
}

TEST(Walkthrough, FolderOfPicturesIsLabelledTogetherTrainedAndFramed)
{
    Workbench b;
    const QString folder = sampletiles::pictures(testenv::scratchFolder() + "/pictures");
    b.dialogs.expect("Choose", [&](QWidget* d) { user::answerFileDialog(d, folder, "Open"); });
    b.pressAndWait("Open Data");
    auto* list = qobject_cast<QAbstractItemView*>(b.shown("Images"));
    ASSERT_TRUE(list && list->model()->rowCount() == 12);

    // Label Images! reaches exactly the thumbnails shown as selected: six by click and Ctrl-click
    // with a wrong one among them, then that one clicked alone and set right. grass11 is given a
    // wrong label on purpose, for the frame it earns.
    const auto label = [&](const QString& text) { return user::type(b.w, "Selected image label", text) && user::press(b.w, "Label Images!"); };
    clickThumbnail(list, "water0");
    for (const char* name : {"water2", "water4", "water6", "water8", "water10", "grass1"})
        clickThumbnail(list, name, Qt::ControlModifier);
    ASSERT_TRUE(label("1"));
    clickThumbnail(list, "grass1");
    ASSERT_TRUE(label("0"));
    clickThumbnail(list, "grass11");
    ASSERT_TRUE(label("1"));
    const auto labelled = [](int k) { return k % 2 == 0 || k == 11 ? "1" : "0"; };
    const auto nameOf = [](int k) { return QString("%1%2").arg(k % 2 ? "grass" : "water").arg(k); };
    for (int k = 0; k < 12; ++k)
        EXPECT_EQ(thumbnail(list, nameOf(k)).data(Qt::EditRole).toString(), labelled(k)) << nameOf(k).toStdString();

    b.dialogs.expectPress("Choose a Neural Network Model", "Cancel");
    b.pressAndWait("Open Model");
    ASSERT_TRUE(user::press(b.w, "New Model"));
    b.dialogs.expectPress("Before set up training strategy", "Continue");
    b.dialogs.expect("Training Strategy Panel", fillStrategy(b.dialogs, "6", QString()));
    b.dialogs.expectPress("Computation finished!", "OK");
    b.pressAndWait("Strategy Config");

    // A thumbnail whose prediction differs from its label is framed in red, the others not.
    const QMap<QString, QString> predicted = predictionsOf(paths::workspaceFolder() + "/folderimage_outputlabel.csv", false);
    ASSERT_TRUE(user::press(b.w, "Label"));
    clickThumbnail(list, "grass11", Qt::ControlModifier);  // unselected: a selected one is framed in blue
    QTest::qWait(100);
    const QImage shot = list->viewport()->grab().toImage();
    int right = 0;
    for (int k = 0; k < 12; ++k) {
        const bool wrong = predicted.value(nameOf(k) + ".png") != labelled(k);
        right += wrong ? 0 : 1;
        const QRect cell = list->visualRect(thumbnail(list, nameOf(k)));
        bool red = false;  // the frame runs down the thumbnail's left edge, inside the cell's margin
        for (int x = cell.left(); x < cell.left() + 12; ++x)
            red = red || shot.pixelColor(x, cell.top() + 80) == QColor(Qt::red);
        EXPECT_EQ(red, wrong) << nameOf(k).toStdString();
    }
    EXPECT_TRUE(right > 0 && right < 12) << right << " of 12 predicted as labelled: both kinds of frame are checked";
}

// A folder given to the picker however a user gives it: typed, entered, or selected in its
// parent. Open opens the folder itself.
TEST(Walkthrough, PickersTakeAFolderTypedEnteredOrSelected)
{
    const QString parent = testenv::scratchFolder() + "/pickers";
    const QString folder = sampletiles::pictures(parent + "/pics2000");
    // Shows the folder's parent in the picker and clicks the folder there (twice: enters it).
    const auto pointAt = [&parent](QWidget* d, bool enter) {
        qobject_cast<QFileDialog*>(d)->setDirectory(parent);
        auto* view = qobject_cast<QAbstractItemView*>(d->findChild<QWidget*>("listView"));
        QModelIndex item;
        (void)QTest::qWaitFor([&] {
            item = view->model()->match(view->model()->index(0, 0, view->rootIndex()), Qt::DisplayRole, "pics2000").value(0);
            return item.isValid();
        }, 5000);
        const QPoint at = view->visualRect(item).center();
        enter ? QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, at) : QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
        (void)QTest::qWaitFor([&] { return !enter || qobject_cast<QFileDialog*>(d)->directory().dirName() == "pics2000"; }, 5000);
        user::press(d, "Open");
    };
    const std::pair<const char*, Dialogs::Answer> cases[] = {
        {"typed", [&](QWidget* d) { user::answerFileDialog(d, folder, "Open"); }},
        {"entered", [&](QWidget* d) { pointAt(d, true); }},
        {"selected", [&](QWidget* d) { pointAt(d, false); }},
    };
    for (const auto& [how, answer] : cases) {
        Workbench b;
        b.dialogs.expect("Choose", answer);
        b.pressAndWait("Open Data");
        auto* list = qobject_cast<QAbstractItemView*>(user::named(b.w, "Images"));
        EXPECT_TRUE(list && user::canUse(list) && list->model()->rowCount() == 12) << how;
    }
}

// Marks, undone marks, and a layer added are all there after the window went without closing
// (as a crash leaves it) and a new one restored them.
TEST(Walkthrough, AnotherStartRestoresTheMarksAndTheEditedModel)
{
    const QString sample = paths::resourcePath("sample_fields", "png");
    int layers = 0;
    {
        Workbench b;
        b.dialogs.expect("Choose", [&](QWidget* d) { user::answerFileDialog(d, sample, "Open"); });
        b.pressAndWait("Open Data");
        ASSERT_TRUE(user::type(b.w, "Col", "8") && user::type(b.w, "Row", "6") && user::press(b.w, "Draw Grid!"));
        QWidget* grid = b.shown("Tile grid");
        for (const TilePoint& t : sampletiles::river())
            sampletiles::click(grid, t, 8, 6);
        for (int k = 0; k < 3; ++k)
            b.undoKey();
        b.undoKey(true);
        EXPECT_EQ(grid->accessibleDescription(), "8 x 6 tiles, 8 marked");
        b.dialogs.expectPress("Choose a Neural Network Model", "Cancel");
        b.pressAndWait("Open Model");
        ASSERT_TRUE(user::press(b.w, "New Model") && user::choose(b.w, "Add node class:", "Dense"));
        layers = int(b.window.controller()->editorDocument()["config"]["layers"].size());
        ASSERT_TRUE(b.editEntry("Undo Add Layer"));
        QTRY_VERIFY_WITH_TIMEOUT(!b.window.controller()->autosave().pending(), 5000);
    }
    const session::Reading kept = session::read(session::defaultPath());
    ASSERT_TRUE(kept.session) << kept.error.toStdString();
    const QString question =
        "Restore the labels of sample_fields.png from " + kept.session->savedAt.toLocalTime().toString("HH:mm") + "?";

    Workbench b;
    b.dialogs.expectPress(question, "Restore");
    b.window.controller()->offerRestore();
    EXPECT_TRUE(b.dialogs.allAnswered()) << b.dialogs.seen().join(" | ").toStdString();
    EXPECT_TRUE(b.checked("Label"));
    EXPECT_EQ(b.said("Tile size"), "Tile size: {80, 80}");
    QTest::qWait(50);
    EXPECT_EQ(b.shown("Tile grid")->accessibleDescription(), "8 x 6 tiles, 8 marked");
    ASSERT_TRUE(user::press(b.w, "Train"));
    b.shown("Layer graph");
    EXPECT_EQ(int(b.window.controller()->editorDocument()["config"]["layers"].size()), layers);
}
