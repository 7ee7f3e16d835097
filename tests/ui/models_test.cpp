// The layer graph editor, bad architecture documents in it, and where a model comes from: files,
// pre-trained choices, and ImageNet weights found in the Keras cache or downloaded through a local
// HTTP server serving a file our own HDF5 writer made in the layout of Keras's weight files.
#include "app/imagenetfetch.h"
#include "app/qtworkerrunner.h"
#include "data/tilegriddocument.h"
#include "model/architecturedocument.h"
#include "model/nodegeometry.h"
#include "model/ui/nnnode.h"
#include "model/ui/nodecollection.h"
#include "model/ui/nodecollectionview.h"
#include "model/ui/popupview.h"
#include "worker/paths.h"
#include "support/badfiles.h"
#include "support/fixture.h"
#include "support/httpserver.h"
#include "support/scriptedprompter.h"
#include "support/testenv.h"

#include <QApplication>
#include <QComboBox>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUndoGroup>
#include <gtest/gtest.h>
#include <algorithm>
#include <functional>
#include <map>

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {

// input_1, conv1_pad, conv1_conv, conv1_bn, conv1_relu, add_1 (two inputs), avg_pool, predictions
Json residual()
{
    return archdoc::readFile(QStringLiteral(KOLVARA_TEST_DATA_DIR "/model/residual.json")).json.value_or(Json());
}

// Bad documents: a clear message, no crash, and the model that was there stays.
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
    EXPECT_TRUE(e.prompter.alerts().size() == 1 && e.prompter.alerts().value(0).informative.contains("filters") && !e.editor->panelIsOpen());
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
    EXPECT_TRUE(column->item(2)->nodeview->borderWidth() == 0.0 && column->item(3)->nodeview->borderWidth() > 0.0);
    // Only the new layer's rows, as editable fields and choices (the rows themselves are the form's).
    EXPECT_EQ(e.panel(), "100:e=conv1_bn 1:c=true 7:e=0.99 8:e=1.001e-05 2:c=true 3:c=true 200:e=conv1_conv 201:e=");
    e.click(-1);
    EXPECT_TRUE(column->item(3)->nodeview->borderWidth() == 0.0 && !e.editor->panelIsOpen() && e.editor->selecteditempaths.isEmpty());

    // The keyboard reaches every node, those without a widget on screen too, and says which.
    QApplication::setActiveWindow(&e.window);
    column->setFocus();
    for (const auto& [key, selected] : {std::pair{Qt::Key_End, 7}, std::pair{Qt::Key_Up, 6}, std::pair{Qt::Key_Home, 0}}) {
        QTest::keyClick(column, key);
        EXPECT_TRUE(column->selectedItem() == selected && e.editor->panelIsOpen()) << selected;
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
    EXPECT_TRUE(began.at(0).at(0).toInt() == 2 && ended.count() == 1);
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
    EXPECT_TRUE(e.name(3) == "conv1_conv" && e.editor->collectionView->numberOfItems() == 7);

    // The input and output layers stay, and the user is told why.
    for (const int end : {0, 6}) {
        e.prompter.clear();
        e.click(end);
        e.press(QStringLiteral("Remove Layer"));
        EXPECT_EQ(e.editor->layers().layerCount(), 7);
        EXPECT_EQ(e.prompter.messages().size(), 1) << end;
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
    EXPECT_TRUE(g.c->editorDocument() == start && g.editor->collectionView->numberOfItems() == 4);
    while (undo->canRedo())
        undo->redo();
    EXPECT_TRUE(g.c->editorDocument() == end && g.editor->collectionView->item(3)->nodeview->layername->text() == "Name: conv2");

    g.c->trainPane().nodeclass()->setEnabled(false);  // a pre-trained choice disables adding
    g.c->addnodeclass(QStringLiteral("Conv2D"));
    EXPECT_EQ(g.editor->layers().layerCount(), 5);
}

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
    Graph m;
    m.c->buildcustommodel();
    const Json edited = m.c->editorDocument();
    for (const auto& [bytes, reason] : cases) {
        m.prompter.clear();
        const QString path = m.file("model.json", bytes);
        m.c->loadmodeljson(path);
        ASSERT_EQ(m.prompter.messages(), QStringList{QStringLiteral("Cannot load the model architecture.")}) << reason;
        const QString why = m.prompter.alerts()[0].informative;
        EXPECT_TRUE(why.startsWith(path) && why.contains(QString::fromUtf8(reason))) << why.toStdString();
        EXPECT_EQ(m.c->editorDocument(), edited);
        EXPECT_TRUE(m.c->modelName().isEmpty() && m.c->trainPane().nodeclass()->isEnabled()) << "still the custom model";
    }
    // Numbers written as text are no reason to refuse a file; they get no row (core test) and stay.
    m.prompter.clear();
    m.c->loadmodeljson(m.file("model.json", text(chain(1, [](Json& l) { l[1]["config"]["units"] = "10"; }))));
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
        Graph m;
        m.c->buildcustommodel();
        nodecollection* e = m.editor;
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
    Graph m;
    m.c->loadmodeljson(m.file("model.json", text(chain(10000))));
    ASSERT_TRUE(m.prompter.messages().isEmpty());
    nodecollectionview* view = m.editor->collectionView;
    ASSERT_TRUE(view->numberOfItems() == 10002 && view->connections().size() == 10001u);
    EXPECT_LT(view->nodeWidgetCount(), 60) << "only the rows on screen and a page around them have widgets";

    view->verticalScrollBar()->setValue(view->verticalScrollBar()->maximum());
    (void)m.window->grab();
    EXPECT_LT(view->nodeWidgetCount(), 90);
    NNnode* last = view->item(10001);
    ASSERT_TRUE(last && last->isVisible());
    EXPECT_EQ(last->nodeview->inboundname->text(), "Input: dense_9999\n");

    QTest::mouseClick(view->canvas(), Qt::LeftButton, {}, last->geometry().center());
    ASSERT_TRUE(m.editor->panelIsOpen());
    auto* name = qobject_cast<QLabel*>(m.tagged()[100]);  // a loaded model: read-only rows
    EXPECT_TRUE(name && name->text() == "predictions");

    view->verticalScrollBar()->setValue(0);  // the widgets go back to the first rows
    EXPECT_TRUE(view->item(1)->nodeview->layername->text() == "Name: dense_0" && view->nodeWidgetCount() < 120);
}

namespace {
void choosePretrained(ViewController* c, const QString& name)
{
    c->trainPane().modellist()->setCurrentIndex(c->trainPane().modellist()->findText(name));
    c->comboBoxSelectionDidChange(c->trainPane().modellist());
}

int editorLayers(ViewController* c) { return c->architecture().document().layerCount(); }
}  // namespace

TEST(ModelSources, PretrainedChoiceLocksTheEditorAndANewModelUnlocksItAndGenerates)
{
    ControllerFixture f;
    ViewController* c = f.controller;
    c->buildcustommodel();
    ASSERT_TRUE(c->trainPane().nodeclass()->isEnabled());
    choosePretrained(c, "VGG19");
    EXPECT_EQ(c->chosenArchitecture(), "vgg19");
    EXPECT_FALSE(c->trainPane().nodeclass()->isEnabled() || c->trainPane().modelgeneratebtn()->isEnabled() || !f.prompter.messages().isEmpty());

    choosePretrained(c, "ResNet50");
    c->buildcustommodel();
    EXPECT_TRUE(c->trainPane().nodeclass()->isEnabled() && c->trainPane().modelgeneratebtn()->isEnabled() && c->architecture().customized());
    EXPECT_TRUE(c->modelName().isEmpty() && c->chosenArchitecture().isEmpty());

    // Layers added and removed keep the graph whole: two Dense layers in, the first out again.
    c->addnodeclass(QStringLiteral("Dense"));
    c->addnodeclass(QStringLiteral("Dense"));
    const int added = editorLayers(c) - 3;
    c->trainPane().nodecollectionView()->popupconfig(added);
    c->trainPane().nodecollectionView()->removelayer();
    c->generateMLModel();
    ASSERT_FALSE(f.prompter.messages().isEmpty());
    EXPECT_EQ(f.prompter.messages().last(), "Generate model succeed!") << f.prompter.alerts().last().informative.toStdString();
    EXPECT_TRUE(QFile::exists(paths::cachesFile("custommodel_temp.json")));
}

// Few labelled samples and ImageNet weights in the Keras cache: the Train pane suggests a
// pre-trained network, one click takes it, and the suggestion goes.
TEST(ModelSources, FewLabelledImagesBringASuggestionOfAPretrainedNetwork)
{
    struct Row {
        int rows, cols;
        const char* cached;    // a weight file in the cache, or none
        const char* suggests;  // nullptr: no suggestion
    };
    const QString cache = qEnvironmentVariable("KERAS_HOME") + QStringLiteral("/models");
    for (const Row& row : {Row{6, 8, "xception_weights_tf_dim_ordering_tf_kernels_notop.h5", "Xception"},
                           Row{10, 20, "resnet50_weights_tf_dim_ordering_tf_kernels_notop.h5", nullptr}}) {
        SCOPED_TRACE(row.rows * row.cols);
        QDir(cache).removeRecursively();
        QDir().mkpath(cache);
        if (row.cached)
            QFile(cache + QLatin1Char('/') + QString::fromUtf8(row.cached)).open(QIODevice::WriteOnly);
        ControllerFixture f;
        ViewController* c = f.controller;
        openGrid(*c, QStringLiteral("/x/field.png"), QImage(row.cols, row.rows, QImage::Format_RGB32), row.cols, row.rows);
        c->Openmodel();  // cancelled: the train pane appears
        ASSERT_EQ(c->trainPane().smalldatabutton()->isVisible(), row.suggests != nullptr);
        if (!row.suggests)
            continue;
        c->trainPane().smalldatabutton()->click();
        EXPECT_TRUE(c->modelName() == row.suggests && !c->trainPane().smalldatabutton()->isVisible() && !c->trainPane().smalldatahint()->isVisible());
    }
    QDir(cache).removeRecursively();
}

TEST(ModelSources, SavedModelsConvertAndShowTheirGraphButAWeightsOnlyFileIsRefused)
{
    KOLVARA_REQUIRE_TESTDATA();
    ControllerFixture f;
    ViewController* c = f.controller;
    c->buildcustommodel();
    const auto before = c->editorDocument();
    f.prompter.answerPaths({testenv::sharedTestData("keras/weights_only_cnn_mnist_tf2.13.h5")});
    c->Openmodel();
    ASSERT_EQ(f.prompter.alerts().size(), 1);
    EXPECT_TRUE(f.prompter.alerts().first().informative.contains("weights-only")) << f.prompter.alerts().first().informative.toStdString();
    EXPECT_TRUE(c->editorDocument() == before && !QFile::exists(paths::cachesFile("usermodel.json")));

    // Each format's conversion is the Python loader tests'; here each kind of pick reaches the editor.
    for (const QString& name : {"savedmodel_sequential_cnn_mnist_tf2.11", "sequential_cnn_augmentation_layers_keras3.5.keras"}) {
        f.prompter.clear();
        f.prompter.answerPaths({testenv::sharedTestData("keras/" + name)});
        c->Openmodel();
        EXPECT_EQ(f.prompter.messages(), QStringList{"Load Keras model"}) << name.toStdString();
        EXPECT_TRUE(c->modelName() == "usermodel" && editorLayers(c) > 3) << name.toStdString();
        EXPECT_TRUE(c->workArea()->widget() == c->trainPane().nodecollectionView() && !c->trainPane().nodeclass()->isEnabled());
        // only the network that rescales its own input asks to be fed raw pixels
        EXPECT_EQ(c->loadedModelInfo().inputScaling, name.contains("augmentation") ? "raw" : "") << name.toStdString();
    }
}

TEST(ModelSources, OpeningAModelKeepsTheEditedOneUntilAFileConverts)
{
    ControllerFixture f;
    ViewController* c = f.controller;
    c->architecture().setDocument({{"keep", true}}, false);
    choosePretrained(c, "VGG16");
    c->Openmodel();  // the picker is cancelled: the train pane shows
    EXPECT_TRUE(c->trainPane().trainstrategy()->isVisible());

    f.prompter.answerPaths({f.file("weights.pdf", "x")});
    c->Openmodel();
    f.prompter.answerPaths({f.file("corrupt.h5", "this is not an HDF5 file")});
    c->Openmodel();
    ASSERT_EQ(f.prompter.messages(), (QStringList{"Please select model with extention of keras,h5,or tensorflow model folder", "Cannot load the Keras model."}));
    EXPECT_FALSE(f.prompter.alerts().last().informative.isEmpty());
    EXPECT_TRUE(c->editorDocument().value("keep", false));
    EXPECT_EQ(c->modelName(), "VGG16");
}

namespace {

const QByteArray& weightsFile()
{
    static const QByteArray bytes = [] {
        QTemporaryDir dir;
        QProcess::execute(paths::pythonInterpreter(), {QStringLiteral(KOLVARA_TEST_DATA_DIR "/make_weights_file.py"), dir.filePath("w.h5")});
        QFile f(dir.filePath("w.h5"));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    return bytes;
}

// A fresh home and Keras home, and ResNet50's entry pointed at the local server. `watch` runs on
// every progress dialog shown meanwhile.
struct Fetcher {
    QTemporaryDir home, kerasHome;
    testenv::ScopedEnv homeEnv{"HOME", home.path().toUtf8()}, kerasEnv{"KERAS_HOME", kerasHome.path().toUtf8()};
    HttpServer server{weightsFile()};
    ScriptedPrompter prompter;
    QtWorkerRunner runner;
    imagenetweights::Architecture arch = *imagenetweights::forModel(QStringLiteral("ResNet50"));
    QString cache = kerasHome.path() + QStringLiteral("/models");
    std::function<void(QProgressDialog&)> watch = [](QProgressDialog&) {};

    Fetcher()
    {
        arch.notop.url = server.url(arch.notop.fileName).toString();
        arch.notop.md5 = QCryptographicHash::hash(weightsFile(), QCryptographicHash::Md5).toHex();
        server.setPace(2048, 10);  // Qt reports progress at most every 100 ms: let it
    }
    imagenetfetch::Result fetch()
    {
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [this] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* dialog = qobject_cast<QProgressDialog*>(w))
                    watch(*dialog);
        });
        timer.start(5);
        return imagenetfetch::fetch(prompter, runner, arch, true);
    }
    QStringList left() const { return QDir(cache).entryList(QDir::Files | QDir::Hidden); }
};

// An interrupted copy in the cache is fetched again; the download shows its bytes, is kept
// only once its hash is checked, and is found in either cache folder from then on.
TEST(Fetch, DownloadShowsProgressReplacesAStaleCopyAndIsThenReused)
{
    ASSERT_FALSE(weightsFile().isEmpty()) << "make_weights_file.py wrote nothing";
    Fetcher f;
    QDir().mkpath(f.cache);
    const QString stored = f.cache + QLatin1Char('/') + f.arch.notop.fileName;
    ASSERT_TRUE(badfiles::write(stored, weightsFile().left(1000)));
    QStringList shown;
    f.watch = [&shown](QProgressDialog& d) { shown << d.labelText(); };
    const imagenetfetch::Result got = f.fetch();
    ASSERT_EQ(got.outcome, imagenetfetch::Outcome::Found) << f.prompter.messages().join(" | ").toStdString();
    EXPECT_TRUE(got.path == stored && testenv::readAll(stored) == weightsFile() && f.prompter.messages().isEmpty());
    EXPECT_EQ(f.left(), QStringList{f.arch.notop.fileName});  // no partial file beside it
    const QString total = QStringLiteral(" of %1 MB").arg(double(weightsFile().size()) / 1e6, 0, 'f', 1);
    EXPECT_TRUE(shown.filter(f.arch.notop.fileName).filter(total).size() > 0) << shown.join(" | ").toStdString();

    const QString inHome = f.home.path() + QStringLiteral("/.keras/models/") + f.arch.notop.fileName;
    QDir().mkpath(QFileInfo(inHome).path());
    QFile::rename(stored, inHome);
    EXPECT_TRUE(f.fetch().path == inHome && f.server.requests() == 1);
}

// Every failure leaves the cache as it was, names the reason, and lets the user go on from
// random weights or not start; a cancelled download just stops.
TEST(Fetch, FailuresAndCancelLeaveNothing)
{
    struct Row {
        const char* what;
        std::function<void(Fetcher&)> arrange;
        const char* reason;  // nullptr: cancelled, nothing to explain
        imagenetfetch::Outcome outcome;
    };
    const Row rows[] = {
        {"hash mismatch", [](Fetcher& f) { f.arch.notop.md5 = "0123456789abcdef0123456789abcdef"; },
         "does not match the published MD5 hash", imagenetfetch::Outcome::RandomWeights},
        // A server that cannot be reached fails the same way; the offline training run meets one.
        {"cancelled", [](Fetcher& f) {
             f.server.setPace(1024, 20);
             f.watch = [](QProgressDialog& d) {
                 if (d.labelText().contains(QStringLiteral(" of ")))
                     d.findChild<QPushButton*>()->click();
             };
         }, nullptr, imagenetfetch::Outcome::Cancelled},
    };
    ASSERT_FALSE(weightsFile().isEmpty()) << "make_weights_file.py wrote nothing";
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Fetcher f;
        row.arrange(f);
        f.prompter.answerAlert(0);  // Continue from Random Weights
        const imagenetfetch::Result got = f.fetch();
        EXPECT_TRUE(got.outcome == row.outcome && got.path.isEmpty());
        EXPECT_TRUE(f.left().isEmpty()) << f.left().join(",").toStdString();
        ASSERT_EQ(f.prompter.alerts().size(), row.reason ? 1 : 0);
        if (!row.reason)
            continue;
        const AlertRequest& alert = f.prompter.alerts().first();
        EXPECT_TRUE(alert.message.startsWith(QStringLiteral("ImageNet weights for ResNet50 are not in %1 and cannot be downloaded: ").arg(f.cache))
                    && alert.message.contains(QLatin1String(row.reason), Qt::CaseInsensitive)) << alert.message.toStdString();
    }
}

}  // namespace
