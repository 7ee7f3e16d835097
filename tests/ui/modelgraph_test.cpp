#include "model/nodegeometry.h"
#include "model/ui/nnnode.h"
#include "model/ui/nodecollection.h"
#include "model/ui/nodecollectionview.h"
#include "model/ui/popupview.h"
#include "support/fixture.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
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

// The controller after building a custom model: the start network shown and editable, the
// residual architecture as the layer templates.
struct Graph : ControllerFixture {
    ViewController* c = controller;
    nodecollection* editor = c->nodecollectionView;

    void openCustom(const Json& start = startNetwork(), const Json& templates = residual())
    {
        c->modeljson = start;
        c->jsonprepare = templates;
        c->nodeclass->setEnabled(true);
        editor->customized = true;
        c->showModelGraph();
    }
    void chooseClass(const QString& name)
    {
        const int index = c->nodeclass->findText(name);
        ASSERT_GE(index, 0);
        // Step onto the class from a neighbour, as a user does: that emits activated.
        c->nodeclass->setCurrentIndex(index > 0 ? index - 1 : 1);
        c->nodeclass->setFocus();
        QTest::keyClick(c->nodeclass, index > 0 ? Qt::Key_Down : Qt::Key_Up);
    }
    void clickNode(int index)
    {
        editor->collectionView->scrollToItem(index);
        QTest::mouseClick(editor->collectionView->canvas(), Qt::LeftButton, {}, nodegeometry::nodeBox(index).center().toPoint());
    }
    void press(const QString& title)
    {
        for (QPushButton* b : editor->layerconfig->findChildren<QPushButton*>()) {
            if (b->text() == title)
                return QTest::mouseClick(b, Qt::LeftButton);
        }
        FAIL() << title.toStdString();
    }
    void type(int tag, const QString& text)
    {
        QLineEdit* edit = nullptr;
        for (QLineEdit* w : editor->layerconfig->findChildren<QLineEdit*>())
            edit = w->property("tag").toInt() == tag ? w : edit;
        ASSERT_NE(edit, nullptr) << tag;
        edit->selectAll();
        QTest::keyClicks(edit, text);
    }
    QStringList names() const
    {
        QStringList out;
        for (int i = 0; i < editor->nodedice.layerCount(); ++i)
            out << editor->nodedice.nodeLines(i)->name;
        return out;
    }
    const Json& layer(int i) const { return editor->nodedice.json()["config"]["layers"][size_t(i)]; }
    bool hasLine(int from, int to) const
    {
        for (const nodegeometry::Connection& line : editor->collectionView->connections()) {
            if (line.from == from && line.to == to)
                return true;
        }
        return false;
    }
};

TEST(DragAndDrop, PressAndMoveStartsADragOfThePressedNode)
{
    Graph g;
    g.openCustom(residual());
    nodecollectionview* column = g.editor->collectionView;
    QSignalSpy began(column, &nodecollectionview::dragBegan);
    QSignalSpy ended(column, &nodecollectionview::dragEnded);
    const QPoint at = nodegeometry::nodeBox(2).center().toPoint();
    QTest::mousePress(column->canvas(), Qt::LeftButton, {}, at);
    QTest::mouseMove(column->canvas(), at + QPoint(0, 40));
    QTest::mouseRelease(column->canvas(), Qt::LeftButton, {}, at + QPoint(0, 40));
    ASSERT_EQ(began.count(), 1);
    EXPECT_EQ(began.at(0).at(0).toInt(), 2);
    EXPECT_EQ(ended.count(), 1);
    EXPECT_FALSE(g.editor->itemsBeingDragged.has_value());
}

TEST(Workflow, BuildAddRenameConnectExchangeRemoveAndSave)
{
    Graph g;
    g.c->addnodeclass(QStringLiteral("Conv2D"));  // no custom model built yet: nothing happens
    EXPECT_TRUE(g.c->editorDocument().empty());
    g.openCustom();
    EXPECT_EQ(g.c->scrollview->widget(), g.editor);
    EXPECT_EQ(g.editor->size(), g.c->scrollview->viewport()->size());
    EXPECT_EQ(&g.c->editorDocument(), &g.editor->nodedice.json());

    g.clickNode(1);
    g.type(6, QStringLiteral("8"));
    g.press(QStringLiteral("Update Layer"));
    g.chooseClass(QStringLiteral("Conv2D"));
    ASSERT_EQ(g.names(), (QStringList{"input_1", "conv1_conv", "avg_pool", "conv1_conv", "predictions"}));
    EXPECT_EQ(g.layer(3), residual()["config"]["layers"][2]);  // the template, verbatim
    EXPECT_EQ(g.layer(1)["config"]["filters"], 8);            // the earlier update survived
    EXPECT_EQ(g.editor->collectionView->numberOfItems(), 5);
    EXPECT_FALSE(g.hasLine(2, 3));

    g.clickNode(3);
    ASSERT_TRUE(g.editor->panelIsOpen());
    g.type(100, QStringLiteral("conv2"));
    g.type(200, QStringLiteral("avg_pool"));
    g.type(10, QStringLiteral("3"));
    g.type(11, QStringLiteral("3"));
    g.press(QStringLiteral("Update Layer"));
    EXPECT_EQ(g.layer(3)["config"]["name"], "conv2");
    EXPECT_EQ(g.layer(3)["config"]["kernel_size"], Json::parse("[3,3]"));
    EXPECT_TRUE(g.hasLine(2, 3));  // the new node now draws to avg_pool

    g.editor->performInternalDrag({1}, 2);
    EXPECT_EQ(g.names(), (QStringList{"input_1", "avg_pool", "conv1_conv", "conv2", "predictions"}));
    g.clickNode(2);
    g.press(QStringLiteral("Remove Layer"));
    EXPECT_EQ(g.names(), (QStringList{"input_1", "avg_pool", "conv2", "predictions"}));
    EXPECT_EQ(g.editor->collectionView->numberOfItems(), 4);
    EXPECT_TRUE(g.prompter.alerts().isEmpty());

    const SaveOutcome saved = archdoc::saveEditorCopy(g.c->editorDocument());
    ASSERT_TRUE(saved.ok);
    EXPECT_EQ(archdoc::readFile(saved.path).json, g.c->editorDocument());

    g.c->nodeclass->setEnabled(false);  // a pre-trained choice disables adding
    g.c->addnodeclass(QStringLiteral("Conv2D"));
    EXPECT_EQ(g.editor->nodedice.layerCount(), 4);
}

}  // namespace
