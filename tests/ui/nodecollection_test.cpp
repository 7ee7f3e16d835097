#include "model/architecturedocument.h"
#include "model/nodegeometry.h"
#include "model/ui/nnnode.h"
#include "model/ui/nodecollection.h"
#include "model/ui/nodecollectionview.h"
#include "model/ui/popupview.h"
#include "support/fixture.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QUndoGroup>
#include <gtest/gtest.h>
#include <algorithm>
#include <map>

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {

// input_1, conv1_pad, conv1_conv, conv1_bn, conv1_relu, add_1 (two inputs), avg_pool, predictions
Json residual()
{
    return archdoc::readFile(QStringLiteral(KOLVARA_TEST_DATA_DIR "/model/residual.json")).json.value_or(Json());
}

// What a user does to the node column and its layer panel.
struct Column {
    nodecollection* editor = nullptr;

    void click(int item) const
    {
        if (item >= 0)
            editor->collectionView->scrollToItem(item);
        const QPoint at = item >= 0 ? nodegeometry::nodeBox(item).center().toPoint() : QPoint(50, 50);
        QTest::mouseClick(editor->collectionView->canvas(), Qt::LeftButton, {}, at);
    }
    // The panel's tagged controls by tag.
    std::map<int, QWidget*> tagged() const
    {
        std::map<int, QWidget*> out;
        for (QWidget* w : editor->layerconfig->findChildren<QWidget*>())
            if (const int tag = w->property("tag").toInt())
                out[tag] = w;
        return out;
    }
    void type(int tag, const QString& text) const
    {
        auto* edit = qobject_cast<QLineEdit*>(tagged()[tag]);
        ASSERT_NE(edit, nullptr) << tag;
        edit->selectAll();
        QTest::keyClicks(edit, text);
    }
    void press(const QString& title) const
    {
        for (QPushButton* b : editor->layerconfig->findChildren<QPushButton*>())
            if (b->text() == title)
                return QTest::mouseClick(b, Qt::LeftButton);
        FAIL() << title.toStdString();
    }
    // Drops `from` where the column shows `to`, as the canvas receives it.
    void drop(int from, int to) const
    {
        editor->draggingSessionBegan({from});
        std::unique_ptr<QMimeData> data(nodecollectionview::dragData(from));
        const QPointF at = nodegeometry::nodeBox(to).center();
        QWidget* canvas = editor->collectionView->canvas();
        // Qt routes a drop to the widget that accepted the drag's entry.
        QDragEnterEvent enter(at.toPoint(), Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(canvas, &enter);
        ASSERT_TRUE(enter.isAccepted());
        QDropEvent event(at, Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(canvas, &event);
        editor->draggingSessionEnded();
    }
    QString name(int i) const { return editor->layers().nodeLines(i)->name; }
    QStringList names() const
    {
        QStringList out;
        for (int i = 0; i < editor->layers().layerCount(); ++i)
            out << name(i);
        return out;
    }
    const Json& layer(int i) const { return editor->layers().json()["config"]["layers"][size_t(i)]; }
    bool hasLine(int from, int to) const
    {
        const auto lines = editor->collectionView->connections();
        return std::any_of(lines.begin(), lines.end(), [&](const nodegeometry::Connection& l) { return l.from == from && l.to == to; });
    }
    // "tag:kind=text" per panel row, kind 'e' an editable field, 'r' read-only, 'c' a choice box.
    QString panel() const
    {
        QStringList got;
        auto widgets = tagged();
        for (const PanelField& f : editor->panelFields()) {
            const QWidget* w = widgets[f.tag];
            const auto* edit = qobject_cast<const QLineEdit*>(w);
            const char* kind = qobject_cast<const QComboBox*>(w) ? "c"
                               : edit                             ? (edit->isReadOnly() ? "r" : "e")
                               : qobject_cast<const QLabel*>(w)   ? "r"
                                                                  : "?";
            got << QStringLiteral("%1:%2=%3").arg(f.tag).arg(QLatin1String(kind), f.text);
        }
        return got.join(QLatin1Char(' '));
    }
};

// The editor on its own in a window of the work area's size.
struct Editor : Column {
    ScriptedPrompter prompter;
    ArchitectureDocument document;
    QWidget window;

    explicit Editor(const Json& doc, bool customized = true)
    {
        editor = new nodecollection(document, prompter, &window);
        window.resize(1000, 742);
        editor->setGeometry(0, 0, 1000, 742);
        window.show();
        (void)QTest::qWaitForWindowExposed(&window);
        editor->setDocument(doc, customized);
    }
};
}  // namespace

TEST(Panel, UpdateWritesBackClosesAndRefusesBadNumbersByName)
{
    Json doc = residual();
    doc["config"]["layers"][4]["config"]["activation"] = "swish";
    Editor e(doc);
    e.click(2);
    e.type(100, QStringLiteral("c2"));
    e.type(6, QStringLiteral("many"));
    qobject_cast<QComboBox*>(e.tagged().at(4))->setCurrentText(QStringLiteral("relu"));
    qobject_cast<QComboBox*>(e.tagged().at(1))->setCurrentText(QStringLiteral("false"));
    e.type(201, QStringLiteral("input_1"));
    e.press(QStringLiteral("Update Layer"));

    const Json& conv = e.layer(2);  // the filters refused, kept
    const Json& config = conv["config"];
    EXPECT_TRUE(config["name"] == "c2" && config["filters"] == 64 && config["activation"] == "relu" && config["trainable"] == false) << config.dump();
    EXPECT_EQ(conv["inbound_nodes"][0].size(), 2u);
    ASSERT_EQ(e.prompter.alerts().size(), 1);
    EXPECT_TRUE(e.prompter.alerts()[0].informative.contains(QStringLiteral("filters")) && !e.editor->panelIsOpen());
    EXPECT_EQ(e.editor->collectionView->item(2)->nodeview->layername->text(), "Name: c2");
    EXPECT_EQ(e.editor->collectionView->item(2)->nodeview->inboundname->text(), "Input: conv1_pad\ninput_1\n");

    // A value outside the choices survives an update.
    e.click(4);
    e.press(QStringLiteral("Update Layer"));
    EXPECT_EQ(e.layer(4), doc["config"]["layers"][4]);
}

TEST(Selection, OneSelectedNodeItsPanelDeselectKeyboardAndDragging)
{
    Editor e(residual());
    nodecollectionview* column = e.editor->collectionView;
    e.click(2);
    e.click(3);
    EXPECT_EQ(column->item(2)->nodeview->borderWidth(), 0.0);
    EXPECT_GT(column->item(3)->nodeview->borderWidth(), 0.0);
    // Only the new layer's rows, as editable fields and choices (the rows themselves are the form's).
    EXPECT_EQ(e.panel(), "100:e=conv1_bn 1:c=true 7:e=0.99 8:e=1.001e-05 2:c=true 3:c=true 200:e=conv1_conv 201:e=");
    e.click(-1);
    EXPECT_EQ(column->item(3)->nodeview->borderWidth(), 0.0);
    EXPECT_FALSE(e.editor->panelIsOpen());
    EXPECT_TRUE(e.editor->selecteditempaths.isEmpty());

    // The keyboard reaches every node, those without a widget on screen too, and says which.
    QApplication::setActiveWindow(&e.window);
    column->setFocus();
    for (const auto& [key, selected] : {std::pair{Qt::Key_End, 7}, std::pair{Qt::Key_Up, 6}, std::pair{Qt::Key_Home, 0}}) {
        QTest::keyClick(column, key);
        EXPECT_EQ(column->selectedItem(), selected);
        EXPECT_TRUE(e.editor->panelIsOpen());
    }
    EXPECT_EQ(column->accessibleDescription(), "Layer 1 of 8: input_1, InputLayer");
    e.click(-1);

    // Press and move starts a drag of the pressed node.
    QSignalSpy began(column, &nodecollectionview::dragBegan);
    QSignalSpy ended(column, &nodecollectionview::dragEnded);
    const QPoint at = nodegeometry::nodeBox(2).center().toPoint();
    QTest::mousePress(column->canvas(), Qt::LeftButton, {}, at);
    QTest::mouseMove(column->canvas(), at + QPoint(0, 40));
    QTest::mouseRelease(column->canvas(), Qt::LeftButton, {}, at + QPoint(0, 40));
    ASSERT_EQ(began.count(), 1);
    EXPECT_EQ(began.at(0).at(0).toInt(), 2);
    EXPECT_EQ(ended.count(), 1);
}

TEST(Editing, ExchangeAndRemoveMiddleLayersOfACustomModelOnly)
{
    const Json doc = residual();
    Editor pre(doc, false);
    pre.click(7);  // a pre-trained layer: read-only rows but its units
    EXPECT_EQ(pre.panel(), "100:r=predictions 1:c=true 9:e=1000 200:r=avg_pool 201:r=");
    pre.click(3);
    pre.press(QStringLiteral("Remove Layer"));
    pre.drop(2, 4);
    EXPECT_EQ(pre.editor->layers().json(), doc);

    Editor e(doc);
    e.click(4);
    e.drop(2, 4);
    EXPECT_EQ(QStringList({e.name(2), e.name(4)}), QStringList({"conv1_relu", "conv1_conv"}));
    EXPECT_EQ(e.editor->collectionView->item(4)->nodeview->layername->text(), "Name: conv1_conv");
    EXPECT_TRUE(e.hasLine(4, 3));  // names, not positions, carry the lines: conv1_bn now draws to a node below it

    e.click(3);
    e.press(QStringLiteral("Remove Layer"));
    EXPECT_EQ(e.name(3), "conv1_conv");
    EXPECT_EQ(e.editor->collectionView->numberOfItems(), 7);

    // The input and output layers stay, and the user is told why.
    for (const int end : {0, 6}) {
        e.prompter.clear();
        e.click(end);
        e.press(QStringLiteral("Remove Layer"));
        EXPECT_EQ(e.editor->layers().layerCount(), 7);
        EXPECT_EQ(e.prompter.messages().size(), 1) << end;
    }
}

TEST(Editing, DocumentsWithoutLayersShowNoNodesAndTakeNoAddition)
{
    for (const char* text : {"{}", R"({"config":{"layers":[]},"keras_version":"2.11.0"})"}) {
        Editor e(Json::parse(text));
        EXPECT_TRUE(e.editor->collectionView->numberOfItems() == 0 && !e.editor->addlayer(residual()["config"]["layers"][2])) << text;
        EXPECT_EQ(e.prompter.alerts().size(), 1) << text;
    }
}

// Input, one convolution, pooling and output as a built custom model, the residual layers as templates.
struct Graph : ControllerFixture, Column {
    Graph() { editor = c->trainPane().nodecollectionView(); }
    void openCustom()
    {
        Json doc = residual();
        Json& layers = doc["config"]["layers"];
        Json conv = layers[2];
        conv["inbound_nodes"] = Json::parse(R"([[["input_1",0,0,{}]]])");
        Json pool = layers[6];
        pool["inbound_nodes"] = Json::parse(R"([[["conv1_conv",0,0,{}]]])");
        layers = Json::array({layers[0], conv, pool, layers[7]});
        c->setLayerTemplates(residual());
        c->trainPane().nodeclass()->setEnabled(true);
        c->showModelGraph(doc, true);
    }
    void chooseClass(const QString& name)
    {
        const int index = c->trainPane().nodeclass()->findText(name);
        ASSERT_GE(index, 0);
        // Step onto the class from a neighbour, as a user does: that emits activated.
        c->trainPane().nodeclass()->setCurrentIndex(index > 0 ? index - 1 : 1);
        c->trainPane().nodeclass()->setFocus();
        QTest::keyClick(c->trainPane().nodeclass(), index > 0 ? Qt::Key_Down : Qt::Key_Up);
    }
};

TEST(Workflow, BuildAddRenameConnectAndUndo)
{
    Graph g;
    g.c->addnodeclass(QStringLiteral("Conv2D"));  // no custom model built yet: nothing happens
    EXPECT_TRUE(g.c->editorDocument().empty());
    g.openCustom();
    EXPECT_EQ(g.c->workArea()->widget(), g.editor);
    const Json start = g.c->editorDocument();

    g.click(1);
    g.type(6, QStringLiteral("8"));
    g.press(QStringLiteral("Update Layer"));
    g.chooseClass(QStringLiteral("Conv2D"));
    // A name of its own, between the output and what fed it.
    ASSERT_EQ(g.names(), (QStringList{"input_1", "conv1_conv", "avg_pool", "conv2d", "predictions"}));
    EXPECT_EQ(g.layer(1)["config"]["filters"], 8);            // the earlier update survived
    EXPECT_TRUE(g.hasLine(2, 3) && g.hasLine(3, 4));
    g.click(3);
    g.type(100, QStringLiteral("conv2"));
    g.type(200, QStringLiteral("avg_pool"));
    g.type(10, QStringLiteral("3"));
    g.type(11, QStringLiteral("3"));
    g.press(QStringLiteral("Update Layer"));
    EXPECT_TRUE(g.layer(3)["config"]["name"] == "conv2" && g.layer(3)["config"]["kernel_size"] == Json::parse("[3,3]")) << g.layer(3).dump();
    EXPECT_TRUE(g.hasLine(2, 3) && g.prompter.alerts().isEmpty());

    // Undone step by step the graph is the one opened, redone it is the one saved, and the
    // column shows each state.
    const Json end = g.c->editorDocument();
    QUndoGroup* undo = g.c->undoGroup();
    while (undo->canUndo())
        undo->undo();
    EXPECT_EQ(g.c->editorDocument(), start);
    EXPECT_EQ(g.editor->collectionView->numberOfItems(), 4);
    while (undo->canRedo())
        undo->redo();
    EXPECT_EQ(g.c->editorDocument(), end);
    EXPECT_EQ(g.editor->collectionView->item(3)->nodeview->layername->text(), "Name: conv2");

    g.c->trainPane().nodeclass()->setEnabled(false);  // a pre-trained choice disables adding
    g.c->addnodeclass(QStringLiteral("Conv2D"));
    EXPECT_EQ(g.editor->layers().layerCount(), 5);
}
