// Bad architecture documents through loadmodeljson and the layer graph editor: a clear message,
// no crash, and the model that was there stays; a model of 10,000 layers stays workable.
#include "model/ui/nnnode.h"
#include "model/ui/nodecollection.h"
#include "model/ui/nodecollectionview.h"
#include "model/ui/popupview.h"
#include "support/badfiles.h"
#include "support/fixture.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

Json layer(const std::string& name, const char* cls, const std::string& inbound = std::string())
{
    Json rec = {{"class_name", cls}, {"name", name}, {"config", {{"name", name}, {"units", 4}}}};
    rec["inbound_nodes"] = inbound.empty() ? Json::array() : Json::array({Json::array({Json::array({inbound, 0, 0, Json::object()})})});
    return rec;
}

// input_1 -> dense_0 -> ... -> dense_<n-1> -> predictions, as changed by `change`.
Json chain(int n, const std::function<void(Json& layers)>& change = [](Json&) {})
{
    Json layers = Json::array({layer("input_1", "InputLayer")});
    layers[0]["config"] = {{"batch_input_shape", {nullptr, 8, 8, 3}}, {"name", "input_1"}};
    for (int i = 0; i < n; ++i)
        layers.push_back(layer("dense_" + std::to_string(i), "Dense", layers.back()["name"].get<std::string>()));
    layers.push_back(layer("predictions", "Dense", layers.back()["name"].get<std::string>()));
    change(layers);
    return Json{{"class_name", "Functional"}, {"config", {{"name", "chain"}, {"layers", layers}}}, {"keras_version", "2.11.0"}};
}

QByteArray text(const Json& doc) { return QByteArray::fromStdString(doc.dump()); }

struct Models : ControllerFixture {

    QString file(const QByteArray& bytes)
    {
        const QString path = dir.filePath(QStringLiteral("model.json"));
        EXPECT_TRUE(badfiles::write(path, bytes));
        return path;
    }
    nodecollection* editor() const { return c->trainPane().nodecollectionView(); }
    QWidget* tagged(int tag) const
    {
        for (QWidget* w : editor()->layerconfig->findChildren<QWidget*>())
            if (w->property("tag").toInt() == tag)
                return w;
        return nullptr;
    }
    void press(const QString& title) const
    {
        for (QPushButton* b : editor()->layerconfig->findChildren<QPushButton*>())
            if (b->text() == title)
                b->click();
    }
};

// Each way a file is refused is the core robustness test's; here a refusal, from the parser and
// from the shape check, reaches the user and leaves the edited model alone.
TEST(ArchitectureFile, BadFilesAreRefusedAndTheEditedModelStays)
{
    const QByteArray good = text(chain(2));
    const std::pair<QByteArray, const char*> cases[] = {
        {good.left(40), "is not valid JSON"},
        {text(chain(2, [](Json& l) { l[1]["inbound_nodes"][0][0][0] = "dense_1"; })),
         "the inbound layers run in a cycle: dense_0 -> dense_1 -> dense_0"},
    };
    Models m;
    m.c->buildcustommodel();
    const Json edited = m.c->editorDocument();
    for (const auto& [bytes, reason] : cases) {
        m.prompter.clear();
        const QString path = m.file(bytes);
        m.c->loadmodeljson(path);
        ASSERT_EQ(m.prompter.messages(), QStringList{QStringLiteral("Cannot load the model architecture.")}) << reason;
        const QString why = m.prompter.alerts()[0].informative;
        EXPECT_TRUE(why.startsWith(path) && why.contains(QString::fromUtf8(reason))) << why.toStdString();
        EXPECT_EQ(m.c->editorDocument(), edited);
        EXPECT_TRUE(m.c->modelName().isEmpty() && m.c->trainPane().nodeclass()->isEnabled()) << "still the custom model";
    }
    // Numbers written as text are no reason to refuse a file; they get no row (core test) and stay.
    m.prompter.clear();
    m.c->loadmodeljson(m.file(text(chain(1, [](Json& l) { l[1]["config"]["units"] = "10"; }))));
    EXPECT_TRUE(m.prompter.messages().isEmpty());
    EXPECT_EQ(m.c->editorDocument()["config"]["layers"][1]["config"]["units"], "10");
}

TEST(Editor, OddDocumentsCanBeBrowsedAndEditedWithoutHarm)
{
    const std::function<void(Json&)> changes[] = {
        [](Json& l) { l[1] = "dense_0"; },
        [](Json& l) { l[1]["config"] = nullptr; },
        [](Json& l) { l[2]["inbound_nodes"] = {{"dense_0", "x"}}; },
        [](Json& l) { l[1]["config"]["units"] = "4"; l[1]["config"]["kernel_size"] = {"3", "3"}; },
        [](Json& l) { l[1]["inbound_nodes"][0][0][0] = "dense_1"; },
    };
    for (size_t k = 0; k < std::size(changes); ++k) {
        const Json doc = chain(2, changes[k]);
        Models m;
        m.c->buildcustommodel();
        nodecollection* e = m.editor();
        e->setDocument(doc, true);
        ASSERT_EQ(e->collectionView->numberOfItems(), 4) << k;
        for (int i = 0; i < 4; ++i) {
            e->collectionView->clickItem(i);
            m.press(QStringLiteral("Update Layer"));  // writes nothing it cannot
        }
        e->collectionView->clickItem(1);
        m.press(QStringLiteral("Remove Layer"));
        e->performInternalDrag({1}, 2);
        (void)m.window->grab();
        EXPECT_EQ(e->layers().layerCount(), 3) << k;
        EXPECT_EQ(e->layers().json()["config"]["layers"].back(), doc["config"]["layers"].back()) << k;
    }
}

TEST(Editor, TenThousandLayersLoadScrollAndEdit)
{
    Models m;
    m.c->loadmodeljson(m.file(text(chain(10000))));
    ASSERT_TRUE(m.prompter.messages().isEmpty());
    nodecollectionview* view = m.editor()->collectionView;
    ASSERT_EQ(view->numberOfItems(), 10002);
    EXPECT_EQ(view->connections().size(), 10001u);
    EXPECT_LT(view->nodeWidgetCount(), 60) << "only the rows on screen and a page around them have widgets";

    view->verticalScrollBar()->setValue(view->verticalScrollBar()->maximum());
    (void)m.window->grab();
    EXPECT_LT(view->nodeWidgetCount(), 90);
    NNnode* last = view->item(10001);
    ASSERT_TRUE(last && last->isVisible());
    EXPECT_EQ(last->nodeview->inboundname->text(), "Input: dense_9999\n");

    QTest::mouseClick(view->canvas(), Qt::LeftButton, {}, last->geometry().center());
    ASSERT_TRUE(m.editor()->panelIsOpen());
    auto* name = qobject_cast<QLabel*>(m.tagged(100));  // a loaded model: read-only rows
    EXPECT_TRUE(name && name->text() == "predictions");

    view->verticalScrollBar()->setValue(0);  // the widgets go back to the first rows
    EXPECT_EQ(view->item(1)->nodeview->layername->text(), "Name: dense_0");
    EXPECT_LT(view->nodeWidgetCount(), 120);
}

}  // namespace
