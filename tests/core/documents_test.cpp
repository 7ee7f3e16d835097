#include "support/randomedits.h"
#include "support/testenv.h"

#include <functional>
#include <gtest/gtest.h>

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
inline void PrintTo(const QStringList& l, std::ostream* os) { *os << '[' << l.join(QStringLiteral(" | ")).toStdString() << ']'; }

namespace {

QString tiles(const QList<TilePoint>& list)
{
    QStringList out;
    for (const TilePoint& t : list)
        out << QStringLiteral("%1,%2").arg(t.row).arg(t.col);
    return out.join(QLatin1Char(' '));
}

QString numbers(const QList<int>& list)
{
    QStringList out;
    for (int k : list)
        out << QString::number(k);
    return out.join(QLatin1Char(' '));
}

// Every change signal of a document, as text, in the order emitted.
struct Recorder {
    QStringList seen;
    void listen(TileGridDocument& d)
    {
        QObject::connect(&d, &TileGridDocument::marksChanged, [this](const QList<TilePoint>& t) { seen << "marks " + tiles(t); });
        QObject::connect(&d, &TileGridDocument::gridChanged, [this] { seen << "grid"; });
        QObject::connect(&d, &TileGridDocument::reversedChanged, [this](bool r) { seen << QStringLiteral("reversed %1").arg(r); });
    }
    void listen(ImageSetDocument& d)
    {
        QObject::connect(&d, &ImageSetDocument::labelsChanged, [this](const QList<int>& rows) { seen << "labels " + numbers(rows); });
    }
    void listen(ArchitectureDocument& d)
    {
        QObject::connect(&d, &ArchitectureDocument::layerInserted, [this](int i) { seen << QStringLiteral("inserted %1").arg(i); });
        QObject::connect(&d, &ArchitectureDocument::layerRemoved, [this](int i) { seen << QStringLiteral("removed %1").arg(i); });
        QObject::connect(&d, &ArchitectureDocument::layerUpdated, [this](int i) { seen << QStringLiteral("updated %1").arg(i); });
        QObject::connect(&d, &ArchitectureDocument::layersExchanged, [this](const QList<int>& k) { seen << "exchanged " + numbers(k); });
    }
    QStringList take() { return std::exchange(seen, {}); }
};

QString gridText(const TileGridDocument& d)
{
    const TileGridState& s = d.state();
    return QStringLiteral("%1x%2 marks[%3] rev %4 pred[%5]")
        .arg(s.colnum.value_or(0))
        .arg(s.rownum.value_or(0))
        .arg(tiles(QList<TilePoint>(s.clickpoints.begin(), s.clickpoints.end())))
        .arg(s.reversed())
        .arg(s.hasprediction ? tiles(QList<TilePoint>(s.predictpoints.begin(), s.predictpoints.end())) : QStringLiteral("-"));
}

QString labelText(const ImageSetDocument& d)
{
    QStringList out;
    for (int row = 0; row < d.pictures().size(); ++row)
        out << d.labelAt(row);
    return out.join(QLatin1Char(','));
}

// The layers at `rows` as "name<inputs", after the layer count.
QString layerText(const ArchitectureDocument& d, const std::vector<int>& rows)
{
    QStringList out{QString::number(d.document().layerCount())};
    for (int i : rows) {
        const std::optional<NodeLines> lines = d.document().nodeLines(i);
        out << (lines ? lines->name + QLatin1Char('<') + lines->inbound.value_or(QStringList()).join(QLatin1Char('+')) : QString("-"));
    }
    return out.join(QStringLiteral(" | "));
}

struct Row {
    const char* name;
    std::function<void(EditedDocuments&)> edit;
    int document;      // 0 grid, 1 pictures, 2 architecture
    QString command;   // the undo step's text; empty: the edit leaves no step
    QString after;     // the document's text after the edit
    QStringList signalsOfEdit;
    QStringList signalsOfUndo;
};

QString documentText(const EditedDocuments& d, int document)
{
    if (document == 0)
        return gridText(d.grid);
    if (document == 1)
        return labelText(d.pictures);
    return layerText(d.architecture, {1, 2, 9, 10, 11});
}

// The fixture: an 8 x 6 grid with (0,0) and (1,2) marked and (0,0) predicted, pictures a/cat, b/dog, b/cat, "x,y" (b/cat shares
// a's label), and the start network: input_1, block1_conv1, block1_conv2, ..., flatten, fc1, dropout, predictions.
const QString kLayers = QStringLiteral("11 | block1_conv1<input_1 | block1_conv2<block1_conv1 | dropout<fc1 | predictions<dropout | -");

TEST(Documents, EachEditIsOneUndoStepThatSwapsBackAndForth)
{
    const Row rows[] = {
        {"unclick", [](EditedDocuments& d) { d.grid.toggleMark({0, 0}); }, 0, "Unmark 1 Tile", "8x6 marks[1,2] rev 0 pred[0,0]",
         {"marks 0,0"}, {"marks 0,0"}},
        {"drag",
         [](EditedDocuments& d) {
             d.grid.beginStroke({3, 0});
             for (TilePoint t : {TilePoint{3, 1}, TilePoint{3, 1}, TilePoint{1, 2}, TilePoint{6, 0}, TilePoint{3, 2}})
                 d.grid.extendStroke(t);  // once each; a marked tile and one outside the grid stay as they are
             d.grid.endStroke();
         },
         0, "Mark 3 Tiles", "8x6 marks[0,0 1,2 3,0 3,1 3,2] rev 0 pred[0,0]", {"marks 3,0", "marks 3,1", "marks 3,2"},
         {"marks 3,0 3,1 3,2"}},
        {"outside", [](EditedDocuments& d) { d.grid.toggleMark({6, 0}); }, 0, "", "8x6 marks[0,0 1,2] rev 0 pred[0,0]", {}, {}},
        {"reverse", [](EditedDocuments& d) { d.grid.reverse(); }, 0, "Reverse", "8x6 marks[0,0 1,2] rev 1 pred[0,0]",
         {"reversed 1"}, {"reversed 0"}},
        // Marks and predictions belong to the grid they were made on.
        {"other grid", [](EditedDocuments& d) { d.grid.drawGrid(4, 3); }, 0, "Draw Grid", "4x3 marks[] rev 0 pred[-]", {"grid"}, {"grid"}},
        {"same grid", [](EditedDocuments& d) { d.grid.drawGrid(8, 6); }, 0, "", "8x6 marks[0,0 1,2] rev 0 pred[0,0]", {}, {}},
        {"too fine", [](EditedDocuments& d) { d.grid.drawGrid(81, 6); }, 0, "", "8x6 marks[0,0 1,2] rev 0 pred[0,0]", {}, {}},

        {"label", [](EditedDocuments& d) { d.pictures.labelRows({1, 2}, "1"); }, 1, "Label 2 Images", "1,1,1,0",
         {"labels 0 1 2"}, {"labels 0 1 2"}},
        {"label odd rows", [](EditedDocuments& d) { d.pictures.labelRows({3, 3, 9, -1}, "2"); }, 1, "Label 1 Image", "0,0,0,2",
         {"labels 3"}, {"labels 3"}},
        {"same label", [](EditedDocuments& d) { d.pictures.labelRows({1}, "0"); }, 1, "", "0,0,0,0", {}, {}},

        {"add", [](EditedDocuments& d) { d.architecture.insertLayer(*archdoc::findTemplate(d.architecture.json(), "Dense")); }, 2,
         "Add Layer dense", "12 | block1_conv1<input_1 | block1_conv2<block1_conv1 | dropout<fc1 | dense<dropout | predictions<dense",
         {"inserted 10", "updated 11"}, {"removed 10", "updated 10"}},
        {"remove", [](EditedDocuments& d) { d.architecture.removeLayer(1); }, 2, "Remove Layer block1_conv1",
         "10 | block1_conv2<input_1 | block1_pool<block1_conv2 | predictions<dropout | - | -", {"removed 1", "updated 1"},
         {"inserted 1", "updated 2"}},
        {"remove output", [](EditedDocuments& d) { d.architecture.removeLayer(10); }, 2, "", kLayers, {}, {}},
        {"move", [](EditedDocuments& d) { d.architecture.exchangeLayers({2, 1}, 8); }, 2, "Move 2 Layers",
         "11 | fc1<flatten | dropout<fc1 | block1_conv2<block1_conv1 | predictions<dropout | -",
         {"exchanged 1 2 8 9"}, {"exchanged 1 2 8 9"}},
        {"move onto the output", [](EditedDocuments& d) { d.architecture.exchangeLayers({2, 1}, 9); }, 2, "", kLayers, {}, {}},
        {"update", [](EditedDocuments& d) { d.architecture.updateLayer(1, {{100, "first"}, {6, "x"}}); }, 2,
         "Update Layer block1_conv1", "11 | first<input_1 | block1_conv2<block1_conv1 | dropout<fc1 | predictions<dropout | -",
         {"updated 1"}, {"updated 1"}},
    };
    for (const Row& row : rows) {
        EditedDocuments d(testenv::scratchFolder() + QStringLiteral("/edits"));
        d.grid.toggleMark({0, 0});
        d.grid.toggleMark({1, 2});
        d.grid.setPredictions({{0, 0}});
        QUndoStack* stack = d.stacks[row.document];
        const int steps = stack->count();
        const QString before = documentText(d, row.document);
        const QString all = d.state();
        Recorder recorder;
        recorder.listen(d.grid);
        recorder.listen(d.pictures);
        recorder.listen(d.architecture);

        row.edit(d);
        EXPECT_EQ(documentText(d, row.document), row.after) << row.name;
        EXPECT_EQ(recorder.take(), row.signalsOfEdit) << row.name;
        EXPECT_EQ(stack->count(), steps + (row.command.isEmpty() ? 0 : 1)) << row.name;
        if (stack->count() == steps)
            continue;
        EXPECT_EQ(stack->undoText(), row.command) << row.name;
        const QString edited = d.state();
        stack->undo();
        EXPECT_EQ(documentText(d, row.document), before) << row.name;
        EXPECT_EQ(d.state(), all) << row.name;
        EXPECT_EQ(recorder.take(), row.signalsOfUndo) << row.name;
        stack->redo();
        EXPECT_EQ(d.state(), edited) << row.name;
    }
}

TEST(Documents, RandomEditsUndoneFullyGiveTheStartAndRedoneTheEnd)
{
    for (unsigned seed : {1u, 2u, 3u, 4u}) {
        EditedDocuments d(testenv::scratchFolder() + QStringLiteral("/random"));
        d.grid.setPredictions({{0, 0}, {2, 2}});
        const QString start = d.state();
        std::mt19937 random(seed);
        for (int k = 0; k < 80; ++k)
            d.randomStep(random, false);
        const QString end = d.state();
        for (QUndoStack* stack : d.stacks)
            stack->setIndex(0);
        EXPECT_EQ(d.state(), start) << seed;
        for (QUndoStack* stack : d.stacks)
            stack->setIndex(stack->count());
        EXPECT_EQ(d.state(), end) << seed;
    }
}

TEST(Documents, NewLayersAreNamedTheWayKerasNamesThem)
{
    ArchitectureDocument d;
    d.setDocument(Json::parse(R"({"config":{"layers":[{"name":"dense","class_name":"InputLayer","config":{"name":"dense_1"}},
        {"name":"out","class_name":"Dense","config":{},"inbound_nodes":[[["re_lu",0,0,{}]]]}]}})"), true);
    const std::pair<const char*, const char*> cases[] = {
        {"Dense", "dense_2"}, {"GlobalAveragePooling2D", "global_average_pooling2d"}, {"ReLU", "re_lu_1"},  // still read by the output
        {"Conv2D", "conv2d"}, {"BatchNormalization", "batch_normalization"}, {"", "layer"},
    };
    for (const auto& [cls, name] : cases)
        EXPECT_EQ(d.document().freshLayerName(cls), name) << cls;  // how a layer is inserted is checked with the layer list
}

}  // namespace
