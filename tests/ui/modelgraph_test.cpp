#include "model/catalogue.h"
#include "model/nodegeometry.h"
#include "model/ui/nnnode.h"
#include "model/ui/nodecollection.h"
#include "model/ui/nodecollectionview.h"
#include "model/ui/popupview.h"
#include "support/fixture.h"
#include "worker/paths.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {

Json residual()
{
    return archdoc::readFile(QStringLiteral(KOLVARA_TEST_DATA_DIR "/model/residual.json")).json.value_or(Json());
}

// A small start network: input, one convolution, pooling and the output.
Json startNetwork()
{
    Json doc = residual();
    Json& layers = doc["config"]["layers"];
    Json conv = layers[2];
    conv["inbound_nodes"] = Json::parse(R"([[["input_1",0,0,{}]]])");
    Json pool = layers[6];
    pool["inbound_nodes"] = Json::parse(R"([[["conv1_conv",0,0,{}]]])");
    layers = Json::array({layers[0], conv, pool, layers[7]});
    return doc;
}

// What building a custom model leaves behind: the start network shown and editable, the
// residual architecture as the layer templates.
void openCustom(ViewController* c, const Json& start = startNetwork())
{
    c->modeljson = start;
    c->jsonprepare = residual();
    c->nodeclass->setEnabled(true);
    c->nodecollectionView->customized = true;
    c->showModelGraph();
}

void chooseClass(ViewController* c, const QString& name)
{
    const int index = c->nodeclass->findText(name);
    ASSERT_GE(index, 0);
    // Step onto the class from a neighbour, as a user does: that emits activated.
    c->nodeclass->setCurrentIndex(index > 0 ? index - 1 : 1);
    c->nodeclass->setFocus();
    QTest::keyClick(c->nodeclass, index > 0 ? Qt::Key_Down : Qt::Key_Up);
}

QWidget* taggedField(nodecollection* editor, int tag)
{
    for (QWidget* w : editor->layerconfig->findChildren<QWidget*>()) {
        if (w->property("tag").toInt() == tag)
            return w;
    }
    return nullptr;
}

void clickNode(nodecollection* editor, int index)
{
    editor->collectionView->scrollToItem(index);
    QTest::mouseClick(editor->collectionView->canvas(), Qt::LeftButton, {}, nodegeometry::nodeBox(index).center().toPoint());
}

void pressButton(nodecollection* editor, const QString& title)
{
    for (QPushButton* b : editor->layerconfig->findChildren<QPushButton*>()) {
        if (b->text() == title)
            return QTest::mouseClick(b, Qt::LeftButton);
    }
    FAIL() << title.toStdString();
}

void typeInto(nodecollection* editor, int tag, const QString& text)
{
    auto* edit = qobject_cast<QLineEdit*>(taggedField(editor, tag));
    ASSERT_NE(edit, nullptr) << tag;
    edit->selectAll();
    QTest::keyClicks(edit, text);
}

QStringList names(const ViewController* c)
{
    const ArchDocument doc(c->editorDocument());
    QStringList out;
    for (int i = 0; i < doc.layerCount(); ++i)
        out << doc.nodeLines(i)->name;
    return out;
}

// Saves the window to $KOLVARA_SHOT_DIR/<name>.png when that is set, for looking at.
void snapshot(ControllerFixture& f, const QString& name)
{
    const QString shots = qEnvironmentVariable("KOLVARA_SHOT_DIR");
    if (shots.isEmpty())
        return;
    QDir().mkpath(shots);
    f.window->grab().save(shots + QLatin1Char('/') + name + QStringLiteral(".png"));
}

bool hasLine(nodecollection* editor, int from, int to)
{
    for (const nodegeometry::Connection& line : editor->collectionView->connections()) {
        if (line.from == from && line.to == to)
            return true;
    }
    return false;
}

TEST(ModelCatalogue, FillsBothBoxesInOrderWithoutTheInputClass)
{
    ControllerFixture f;
    QStringList models, classes;
    for (int i = 0; i < f.controller->modellist->count(); ++i)
        models << f.controller->modellist->itemText(i);
    for (int i = 0; i < f.controller->nodeclass->count(); ++i)
        classes << f.controller->nodeclass->itemText(i);
    EXPECT_EQ(models, (QStringList{"ResNet50", "VGG16", "VGG19", "Xception"}));
    EXPECT_EQ(classes, (QStringList{"ZeroPadding2D", "Conv2D", "BatchNormalization", "Activation", "MaxPooling2D", "Add",
                                    "GlobalAveragePooling2D", "Dense", "Flatten"}));
    EXPECT_FALSE(classes.contains(QStringLiteral("InputLayer")));
    EXPECT_FALSE(f.controller->nodeclass->isEnabled());
    EXPECT_EQ(catalogue::activationChoices().size(), 10);
}

TEST(ModelGraph, ShowsTheEditorFillingTheWorkArea)
{
    ControllerFixture f;
    ViewController* c = f.controller;
    EXPECT_TRUE(c->editorDocument().empty());
    openCustom(c);
    EXPECT_EQ(c->scrollview->widget(), c->nodecollectionView);
    EXPECT_EQ(c->lasttrainview, c->nodecollectionView);
    EXPECT_EQ(c->nodecollectionView->size(), c->scrollview->viewport()->size());
    EXPECT_EQ(c->nodecollectionView->collectionView->numberOfItems(), 4);
    EXPECT_EQ(&c->editorDocument(), &c->nodecollectionView->nodedice.json());
}

TEST(AddLayer, InsertsAVerbatimTemplateBeforeTheOutputAndKeepsEarlierUpdates)
{
    ControllerFixture f;
    ViewController* c = f.controller;
    openCustom(c);
    nodecollection* editor = c->nodecollectionView;
    clickNode(editor, 1);
    typeInto(editor, 6, QStringLiteral("8"));
    pressButton(editor, QStringLiteral("Update Layer"));

    chooseClass(c, QStringLiteral("Add"));
    ASSERT_EQ(editor->nodedice.layerCount(), 5);
    EXPECT_EQ(editor->nodedice.json()["config"]["layers"][3], residual()["config"]["layers"][5]);
    EXPECT_EQ(names(c).last(), "predictions");
    EXPECT_EQ(editor->nodedice.json()["config"]["layers"][1]["config"]["filters"], 8);  // the update survived
    EXPECT_EQ(editor->collectionView->numberOfItems(), 5);
    EXPECT_TRUE(f.prompter.alerts().isEmpty());

    c->nodeclass->setEnabled(false);  // a pre-trained choice disables adding
    c->addnodeclass(QStringLiteral("Conv2D"));
    EXPECT_EQ(editor->nodedice.layerCount(), 5);
}

TEST(AddLayer, EveryOfferedClassAddsANodeToTheShippedStartNetwork)
{
    const QString start = paths::resourcePath(QStringLiteral("custommodel"), QStringLiteral("json"));
    const QString templates = paths::resourcePath(QStringLiteral("resnet50"), QStringLiteral("json"));
    if (start.isEmpty() || templates.isEmpty())
        GTEST_SKIP() << "the architecture resources are absent";
    ControllerFixture f;
    ViewController* c = f.controller;
    openCustom(c, *archdoc::readFile(start).json);
    c->jsonprepare = *archdoc::readFile(templates).json;
    nodecollection* editor = c->nodecollectionView;
    const int before = editor->nodedice.layerCount();
    for (const QString& cls : catalogue::nodeclasses()) {
        chooseClass(c, cls);
        const int count = editor->nodedice.layerCount();
        EXPECT_EQ(editor->nodedice.nodeLines(count - 2)->className, cls);
        EXPECT_EQ(editor->nodedice.nodeLines(count - 1)->name, "predictions");
    }
    EXPECT_EQ(editor->nodedice.layerCount(), before + 9);
    EXPECT_TRUE(f.prompter.alerts().isEmpty());
}

TEST(AddLayer, NothingWhenNoCustomModelWasBuilt)
{
    ControllerFixture f;
    ViewController* c = f.controller;
    c->addnodeclass(QStringLiteral("Conv2D"));
    EXPECT_TRUE(c->editorDocument().empty());
    EXPECT_TRUE(f.prompter.alerts().isEmpty());
}

TEST(Lines, ResidualColumnWithAnOpenPanel)
{
    ControllerFixture f;
    openCustom(f.controller, residual());
    nodecollection* editor = f.controller->nodecollectionView;
    clickNode(editor, 5);
    EXPECT_TRUE(hasLine(editor, 4, 5));
    EXPECT_TRUE(hasLine(editor, 1, 5));
    snapshot(f, QStringLiteral("residual-add-panel"));
}

TEST(DragAndDrop, PressAndMoveStartsADragOfThePressedNode)
{
    ControllerFixture f;
    openCustom(f.controller, residual());
    nodecollectionview* column = f.controller->nodecollectionView->collectionView;
    QSignalSpy began(column, &nodecollectionview::dragBegan);
    QSignalSpy ended(column, &nodecollectionview::dragEnded);
    const QPoint at = nodegeometry::nodeBox(2).center().toPoint();
    QTest::mousePress(column->canvas(), Qt::LeftButton, {}, at);
    QTest::mouseMove(column->canvas(), at + QPoint(0, 40));
    QTest::mouseRelease(column->canvas(), Qt::LeftButton, {}, at + QPoint(0, 40));
    ASSERT_EQ(began.count(), 1);
    EXPECT_EQ(began.at(0).at(0).toInt(), 2);
    EXPECT_EQ(ended.count(), 1);
    EXPECT_FALSE(f.controller->nodecollectionView->itemsBeingDragged.has_value());
}

// A drop of `from` onto the node at `to`, as Qt delivers it to the column during a drag.
void dropOnto(nodecollection* editor, int from, int to)
{
    QWidget* canvas = editor->collectionView->canvas();
    Q_EMIT editor->collectionView->dragBegan(from);
    std::unique_ptr<QMimeData> data(nodecollectionview::dragData(from));
    const QPoint at = nodegeometry::nodeBox(to).center().toPoint();
    QDragEnterEvent enter(at, Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(canvas, &enter);
    QDropEvent drop(at, Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(canvas, &drop);
    Q_EMIT editor->collectionView->dragEnded();
}

TEST(Workflow, BuildAddRenameConnectExchangeAndRemove)
{
    ControllerFixture f;
    ViewController* c = f.controller;
    openCustom(c);
    nodecollection* editor = c->nodecollectionView;

    chooseClass(c, QStringLiteral("Conv2D"));
    ASSERT_EQ(names(c), (QStringList{"input_1", "conv1_conv", "avg_pool", "conv1_conv", "predictions"}));
    EXPECT_FALSE(hasLine(editor, 2, 3));

    clickNode(editor, 3);
    ASSERT_TRUE(editor->panelIsOpen());
    typeInto(editor, 100, QStringLiteral("conv2"));
    typeInto(editor, 200, QStringLiteral("avg_pool"));
    typeInto(editor, 10, QStringLiteral("3"));
    typeInto(editor, 11, QStringLiteral("3"));
    snapshot(f, QStringLiteral("new-conv-panel"));
    pressButton(editor, QStringLiteral("Update Layer"));
    EXPECT_EQ(names(c)[3], "conv2");
    EXPECT_EQ(editor->nodedice.json()["config"]["layers"][3]["config"]["name"], "conv2");
    EXPECT_EQ(editor->nodedice.json()["config"]["layers"][3]["config"]["kernel_size"], Json::parse("[3,3]"));
    EXPECT_TRUE(hasLine(editor, 2, 3));  // the new node now draws to avg_pool

    dropOnto(editor, 1, 2);
    EXPECT_EQ(names(c), (QStringList{"input_1", "avg_pool", "conv1_conv", "conv2", "predictions"}));

    clickNode(editor, 2);
    pressButton(editor, QStringLiteral("Remove Layer"));
    EXPECT_EQ(names(c), (QStringList{"input_1", "avg_pool", "conv2", "predictions"}));
    EXPECT_EQ(editor->collectionView->numberOfItems(), 4);
    EXPECT_TRUE(f.prompter.alerts().isEmpty());
    snapshot(f, QStringLiteral("after-exchange-and-remove"));

    const SaveOutcome saved = archdoc::saveEditorCopy(c->editorDocument());
    ASSERT_TRUE(saved.ok);
    EXPECT_EQ(archdoc::readFile(saved.path).json, c->editorDocument());
}

}  // namespace
