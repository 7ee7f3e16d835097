#include "model/nodegeometry.h"
#include "model/ui/nnnode.h"
#include "model/ui/nodecollection.h"
#include "model/ui/nodecollectionview.h"
#include "model/ui/popupview.h"
#include "support/scriptedprompter.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>
#include <map>

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {

// input_1, conv1_pad, conv1_conv, conv1_bn, conv1_relu, add_1 (two inputs), avg_pool, predictions
Json residual()
{
    return archdoc::readFile(QStringLiteral(KOLVARA_TEST_DATA_DIR "/model/residual.json")).json.value_or(Json());
}

struct Editor {
    ScriptedPrompter prompter;
    QWidget window;
    nodecollection* editor;

    explicit Editor(const Json& doc, bool customized = true) : editor(new nodecollection(prompter, &window))
    {
        window.resize(1000, 742);
        editor->setGeometry(0, 0, 1000, 742);
        window.show();
        (void)QTest::qWaitForWindowExposed(&window);
        editor->setDocument(doc, customized);
    }
    void click(int item)
    {
        const QPoint at = item >= 0 ? nodegeometry::nodeBox(item).center().toPoint() : QPoint(50, 50);
        QTest::mouseClick(editor->collectionView->canvas(), Qt::LeftButton, {}, at);
    }
    // The panel's tagged controls by tag.
    std::map<int, QWidget*> tagged() const
    {
        std::map<int, QWidget*> out;
        for (QWidget* w : editor->layerconfig->findChildren<QWidget*>()) {
            if (const int tag = w->property("tag").toInt())
                out[tag] = w;
        }
        return out;
    }
    void type(int tag, const QString& text)
    {
        auto* edit = qobject_cast<QLineEdit*>(tagged().at(tag));
        ASSERT_NE(edit, nullptr) << tag;
        edit->selectAll();
        QTest::keyClicks(edit, text);
    }
    void press(const QString& title)
    {
        for (QPushButton* b : editor->layerconfig->findChildren<QPushButton*>()) {
            if (b->text() == title)
                return QTest::mouseClick(b, Qt::LeftButton);
        }
        FAIL() << title.toStdString();
    }
    QString name(int i) const { return editor->nodedice.nodeLines(i)->name; }
};

// 'e' an editable field, 'r' a read-only label, 'c' a choice box.
QString kindOf(const QWidget* w)
{
    if (qobject_cast<const QComboBox*>(w))
        return QStringLiteral("c");
    if (auto* edit = qobject_cast<const QLineEdit*>(w))
        return edit->isReadOnly() ? QStringLiteral("r") : QStringLiteral("e");
    return qobject_cast<const QLabel*>(w) ? QStringLiteral("r") : QStringLiteral("?");
}

// The rows themselves are checked on the form; here, which widget each becomes and the panel's frame.
QString panelOf(const Editor& e)
{
    QStringList got;
    const auto tagged = e.tagged();
    for (const PanelField& f : e.editor->panelFields())
        got << QStringLiteral("%1:%2=%3").arg(f.tag).arg(kindOf(tagged.at(f.tag)), f.text);
    return got.join(QLatin1Char(' '));
}

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

    const Json& conv = e.editor->nodedice.json()["config"]["layers"][2];
    EXPECT_EQ(conv["config"]["name"], "c2");
    EXPECT_EQ(conv["config"]["filters"], 64);  // refused, kept
    EXPECT_EQ(conv["config"]["activation"], "relu");
    EXPECT_EQ(conv["config"]["trainable"], false);
    EXPECT_EQ(conv["inbound_nodes"][0].size(), 2u);
    ASSERT_EQ(e.prompter.alerts().size(), 1);
    EXPECT_TRUE(e.prompter.alerts()[0].informative.contains(QStringLiteral("filters")));
    EXPECT_FALSE(e.editor->panelIsOpen());
    EXPECT_EQ(e.editor->collectionView->item(2)->nodeview->layername->text(), "Name: c2");
    EXPECT_EQ(e.editor->collectionView->item(2)->nodeview->inboundname->text(), "Input: conv1_pad\ninput_1\n");

    // A value outside the choices survives an update.
    e.click(4);
    e.press(QStringLiteral("Update Layer"));
    EXPECT_EQ(e.editor->nodedice.json()["config"]["layers"][4], doc["config"]["layers"][4]);
}

TEST(Selection, OrangeBorderSinglePanelFloatingOverTheColumnAndDeselectCloses)
{
    Editor e(residual());
    e.click(2);
    EXPECT_EQ(e.editor->collectionView->item(2)->nodeview->borderWidth(), 3.0);
    e.click(3);
    EXPECT_EQ(e.editor->collectionView->item(2)->nodeview->borderWidth(), 0.0);
    EXPECT_EQ(e.editor->collectionView->item(3)->nodeview->borderWidth(), 3.0);
    EXPECT_EQ(e.editor->selecteditempaths, QList<int>{3});
    // Only the new layer's rows, as editable fields and choices.
    EXPECT_EQ(panelOf(e), "100:e=conv1_bn 1:c=true 7:e=0.99 8:e=1.001e-05 2:c=true 3:c=true 200:e=conv1_conv 201:e=");
    EXPECT_EQ(e.editor->layerconfig->geometry(), QRect(20, 371, 200, 270));

    const QPoint before = e.editor->layerconfig->pos();
    QScrollBar* bar = e.editor->collectionView->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    bar->setValue(bar->maximum());
    EXPECT_EQ(e.editor->layerconfig->pos(), before);
    EXPECT_NE(e.editor->collectionView->canvas()->pos().y(), 0);
    bar->setValue(0);

    e.click(-1);
    EXPECT_EQ(e.editor->collectionView->item(3)->nodeview->borderWidth(), 0.0);
    EXPECT_FALSE(e.editor->panelIsOpen());
    EXPECT_TRUE(e.editor->selecteditempaths.isEmpty());
}

// Drops `from` where the column shows `to`, as the canvas receives it.
void drop(Editor& e, int from, int to)
{
    e.editor->draggingSessionBegan({from});
    std::unique_ptr<QMimeData> data(nodecollectionview::dragData(from));
    const QPointF at = nodegeometry::nodeBox(to).center();
    QWidget* canvas = e.editor->collectionView->canvas();
    // Qt routes a drop to the widget that accepted the drag's entry.
    QDragEnterEvent enter(at.toPoint(), Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(canvas, &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent event(at, Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(canvas, &event);
    e.editor->draggingSessionEnded();
}

TEST(Editing, ExchangeAndRemoveMiddleLayersOfACustomModelOnly)
{
    const Json doc = residual();
    Editor pre(doc, false);
    pre.click(7);  // a pre-trained layer: read-only rows but its units
    EXPECT_EQ(panelOf(pre), "100:r=predictions 1:c=true 9:e=1000 200:r=avg_pool 201:r=");
    EXPECT_EQ(pre.editor->layerconfig->geometry(), QRect(20, 371, 200, 210));
    pre.click(3);
    pre.press(QStringLiteral("Remove Layer"));
    drop(pre, 2, 4);
    EXPECT_EQ(pre.editor->nodedice.json(), doc);

    Editor e(doc);
    e.click(4);
    drop(e, 2, 4);
    EXPECT_EQ(e.name(2), "conv1_relu");
    EXPECT_EQ(e.name(4), "conv1_conv");
    EXPECT_FALSE(e.editor->panelIsOpen());
    EXPECT_EQ(e.editor->collectionView->item(4)->nodeview->layername->text(), "Name: conv1_conv");
    // Names, not positions, carry the connections: conv1_bn now draws up to a node below it.
    bool downward = false;
    for (const nodegeometry::Connection& c : e.editor->collectionView->connections())
        downward = downward || (c.to == 3 && c.from == 4);
    EXPECT_TRUE(downward);

    e.click(3);
    e.press(QStringLiteral("Remove Layer"));
    EXPECT_EQ(e.editor->nodedice.layerCount(), 7);
    EXPECT_EQ(e.name(3), "conv1_conv");
    EXPECT_EQ(e.editor->nodedice.nodeLines(2)->inbound, QStringList{"conv1_bn"});  // left naming the removed layer
    EXPECT_FALSE(e.editor->panelIsOpen());
    EXPECT_EQ(e.editor->collectionView->numberOfItems(), 7);
}

TEST(Editing, DocumentsWithoutLayersShowNoNodesAndTakeNoAddition)
{
    for (const char* text : {"{}", R"({"config":{"layers":[]},"keras_version":"2.11.0"})"}) {
        Editor e(Json::parse(text));
        EXPECT_EQ(e.editor->collectionView->numberOfItems(), 0) << text;
        EXPECT_FALSE(e.editor->addlayer(residual()["config"]["layers"][2])) << text;
        EXPECT_EQ(e.prompter.alerts().size(), 1) << text;
    }
}

}  // namespace
