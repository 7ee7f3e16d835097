#include "model/archdocument.h"
#include "model/catalogue.h"
#include "model/layerform.h"
#include "support/testenv.h"
#include "worker/paths.h"

#include <QFile>
#include <gtest/gtest.h>

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {

// input_1, conv1_pad, conv1_conv, conv1_bn, conv1_relu, add_1 (two inputs), avg_pool, predictions
Json residual()
{
    const ParseOutcome read = archdoc::readFile(QStringLiteral(KOLVARA_TEST_DATA_DIR "/model/residual.json"));
    EXPECT_TRUE(read.json) << read.error.toStdString();
    return read.json.value_or(Json());
}

const QStringList kOrder{"input_1", "conv1_pad", "conv1_conv", "conv1_bn", "conv1_relu", "add_1", "avg_pool", "predictions"};

const Json& at(const ArchDocument& doc, const char* pointer) { return doc.json().at(Json::json_pointer(pointer)); }

QStringList names(const ArchDocument& doc)
{
    QStringList out;
    for (int i = 0; i < doc.layerCount(); ++i)
        out << doc.nodeLines(i)->name;
    return out;
}

std::vector<std::string> keys(const Json& object)
{
    std::vector<std::string> out;
    for (auto it = object.begin(); it != object.end(); ++it)
        out.push_back(it.key());
    return out;
}

// Names, activation, kernel rows and a second input are edited through the panel in the editor's tests.
TEST(UpdateLayer, EachTagStoresItsTypedValue)
{
    const std::tuple<int, QList<PanelField>, const char*, const char*> cases[] = {  // layer, fields, where, JSON
        {2, {{1, "yes"}}, "/config/layers/2/config/trainable", "false"},  {3, {{3, "true"}}, "/config/layers/3/config/scale", "true"},
        {2, {{5, "same"}}, "/config/layers/2/config/padding", "\"same\""}, {2, {{6, " 32 "}}, "/config/layers/2/config/filters", "32"},
        {3, {{8, "1e-3"}}, "/config/layers/3/config/epsilon", "0.001"},  {7, {{9, "2.5"}}, "/config/layers/7/config/units", "2.5"},
        {2, {{11, "1"}}, "/config/layers/2/config/kernel_size", "[7,1]"}, {3, {{2, "false"}}, "/config/layers/3/config/center", "false"},
        {4, {{200, "conv1_conv"}}, "/config/layers/4/inbound_nodes/0/0/0", "\"conv1_conv\""},
        {0, {{100, "image"}, {200, "x"}, {201, "y"}}, "/config/layers/0/inbound_nodes", "[]"},  // input: name only
    };
    for (const auto& [layer, fields, pointer, text] : cases) {
        ArchDocument doc(residual());
        const UpdateOutcome outcome = doc.updateLayer(layer, fields);
        EXPECT_TRUE(outcome.written && outcome.refused.isEmpty()) << pointer;
        EXPECT_EQ(at(doc, pointer).dump(), text) << pointer;  // 32 stays an integer, false a boolean
    }
}

TEST(UpdateLayer, DisplayOnlyFieldsKernelLessLayersAndMissingEntriesWriteNothing)
{
    Json json = residual();
    json["config"]["layers"][6] = "not a layer";
    ArchDocument doc(json);
    // strides, dilation rate, array padding, input size, untagged labels
    doc.updateLayer(2, {{20, "9"}, {21, "9"}, {30, "4"}, {31, "4"}, {0, "x"}, {12, "5"}});
    doc.updateLayer(1, {{40, "0"}, {41, "0"}, {42, "0"}, {43, "0"}});
    doc.updateLayer(0, {{50, "32"}, {51, "32"}, {52, "1"}});
    doc.updateLayer(4, {{10, "3"}, {11, "3"}});  // an activation layer has no kernel_size
    EXPECT_FALSE(doc.updateLayer(6, {{100, "x"}}).written);
    EXPECT_FALSE(doc.updateLayer(99, {{100, "x"}}).written);
    EXPECT_EQ(doc.json(), json);
}

TEST(UpdateLayer, SecondInboundAppendsRepeatsAndClears)
{
    ArchDocument doc(residual());
    const char* node = "/config/layers/4/inbound_nodes/0";
    doc.updateLayer(4, {{200, "conv1_bn"}, {201, "conv1_pad"}});
    doc.updateLayer(4, {{200, "conv1_bn"}, {201, "conv1_pad"}});
    EXPECT_EQ(at(doc, node), Json::parse(R"([["conv1_bn",0,0,{}],["conv1_pad",0,0,{}]])"));
    doc.updateLayer(4, {{200, "conv1_bn"}, {201, ""}});
    EXPECT_EQ(at(doc, node), Json::parse(R"([["conv1_bn",0,0,{}]])"));
    // A second input mirrors the first entry's indices and call arguments.
    doc.updateLayer(5, {{201, "avg_pool"}});
    EXPECT_EQ(at(doc, "/config/layers/5/inbound_nodes/0/1"), Json::parse(R"(["avg_pool",0,0,{"training":true}])"));
}

TEST(UpdateLayer, InvalidNumbersAreRefusedByFieldAndTheRestApplies)
{
    const std::tuple<int, const char*, const char*, bool> cases[] = {  // tag, text, field, whole number
        {6, "3.5", "filters", true}, {6, "", "filters", true},        {10, "7x", "kernel_size", true}, {11, "1e2", "kernel_size", true},
        {7, "fast", "momentum", false}, {8, "nan", "epsilon", false}, {8, "inf", "epsilon", false},  {9, "1,000", "units", false}};
    for (const auto& [tag, text, field, whole] : cases) {
        const int layer = tag == 9 ? 7 : (tag == 7 || tag == 8) ? 3 : 2;
        ArchDocument doc(residual());
        const Json before = doc.json()["config"]["layers"][layer]["config"][field];
        const UpdateOutcome outcome = doc.updateLayer(layer, {{100, "renamed"}, {tag, QString::fromUtf8(text)}});
        ASSERT_EQ(outcome.refused.size(), 1) << text;
        EXPECT_EQ(std::make_pair(outcome.refused[0].field, outcome.refused[0].wholeNumber),
                  std::make_pair(QString::fromUtf8(field), whole));
        const Json& entry = doc.json()["config"]["layers"][layer];
        EXPECT_EQ(entry["config"][field], before) << text;
        EXPECT_EQ(entry["name"], "renamed");  // the rest applies
        EXPECT_TRUE(archdoc::refusalText(outcome.refused).contains(QString::fromUtf8(field)));
    }
}

TEST(ArchitectureFile, CompactSaveKeepsUnknownMembersAndMemberOrder)
{
    Json json = residual();
    json["zz_extra"] = Json::parse(R"({"b":1,"a":[1,2.5,"x"]})");
    json["config"]["layers"][2]["shared_object_id"] = 7;
    ArchDocument doc(json);
    doc.updateLayer(2, {{6, "16"}, {100, "c"}, {4, "relu"}});
    const QString path = testenv::scratchFolder() + QStringLiteral("/kept.json");
    const SaveOutcome saved = archdoc::saveCompact(doc.json(), path);
    ASSERT_TRUE(saved.ok) << saved.error.toStdString();

    const QByteArray bytes = testenv::readAll(path);
    EXPECT_FALSE(bytes.contains('\n') || bytes.contains(", "));
    const Json back = *archdoc::parse(bytes).json;
    EXPECT_EQ(keys(back), (std::vector<std::string>{"class_name", "config", "keras_version", "backend", "zz_extra"}));
    EXPECT_EQ(back["zz_extra"], json["zz_extra"]);
    const Json& conv = back["config"]["layers"][2];
    EXPECT_EQ(conv["shared_object_id"], 7);
    EXPECT_EQ(keys(conv["config"]), keys(json["config"]["layers"][2]["config"]));  // updated members stay in place
    EXPECT_EQ(conv["config"]["filters"], 16);
}

// Where the editor copy goes, reading it back and refusing broken files are checked in the editor's and run's tests.
TEST(ArchitectureFile, WriteFailuresComeBackAsData)
{
    const QString blocker = testenv::scratchFolder() + QStringLiteral("/a-file");
    QFile(blocker).open(QIODevice::WriteOnly);
    const SaveOutcome failed = archdoc::saveCompact(residual(), blocker + QStringLiteral("/x.json"));
    EXPECT_TRUE(!failed.ok && !failed.error.isEmpty());
    EXPECT_FALSE(archdoc::readFile(testenv::scratchFolder() + QStringLiteral("/absent.json")).json);
}

TEST(LayerList, ReadsOddDocuments)
{
    Json json = residual();
    json["config"]["layers"][1].erase("inbound_nodes");
    json["config"]["layers"][2] = 5;
    ArchDocument odd(json);
    EXPECT_FALSE(odd.nodeLines(1)->inbound.has_value());
    EXPECT_FALSE(odd.nodeLines(2).has_value());
}

// Dragging and removing ordinary layers are checked through the editor's tests.
TEST(LayerList, EditsPastTheEndOrIntoTheOutputAreRefused)
{
    ArchDocument doc(residual());
    EXPECT_FALSE(doc.removeLayer(8));
    EXPECT_FALSE(doc.exchangeLayers({3}, 8));
    EXPECT_FALSE(doc.exchangeLayers({2, 3}, 6));  // the second dragged layer would land on the output
    EXPECT_TRUE(doc.exchangeLayers({3}, 3));       // onto itself: accepted, nothing moves
    EXPECT_EQ(names(doc), kOrder);
    ArchDocument odd(Json::parse(R"({"config":{"layers":3}})"));  // a document without layers is tried in the editor's tests
    EXPECT_FALSE(odd.insertBeforeOutput(residual()["config"]["layers"][2]));
    EXPECT_EQ(odd.json(), Json::parse(R"({"config":{"layers":3}})"));
}

// An inserted layer gets a name of its own and sits between the output and what fed it; a
// removed one-input layer hands its readers its input.
TEST(LayerList, InsertedLayersAreNamedAfreshAndLinkedRemovedOnesBypassed)
{
    const Json layers = residual()["config"]["layers"];
    const struct Case {
        int templateLayer;
        QStringList added;      // names of the new layers, in order
        QStringList addInputs;  // the last one's inputs
    } cases[] = {
        {5, {"add", "add_2"}, {"add"}},  // "add_1" is taken: the next free number; more names in the documents test
        {7, {"dense", "dense_1"}, {"dense"}},  // a copy of the output layer itself
    };
    for (const Case& c : cases) {
        ArchDocument doc(residual());
        ASSERT_TRUE(doc.insertBeforeOutput(layers[c.templateLayer]) && doc.insertBeforeOutput(layers[c.templateLayer]));
        EXPECT_EQ(names(doc).mid(7), c.added + QStringList{"predictions"}) << c.templateLayer;
        EXPECT_EQ(*doc.nodeLines(8)->inbound, c.addInputs + (c.templateLayer == 5 ? c.addInputs : QStringList())) << c.templateLayer;
        EXPECT_EQ(*doc.nodeLines(9)->inbound, QStringList{c.added.last()}) << c.templateLayer;
    }
    ArchDocument doc(residual());
    ASSERT_TRUE(doc.removeLayer(3));  // conv1_bn, read by conv1_relu
    EXPECT_EQ(*doc.nodeLines(3)->inbound, QStringList{"conv1_conv"});
    ASSERT_TRUE(doc.removeLayer(4));  // add_1 has two inputs: its reader keeps the name it had
    EXPECT_EQ(*doc.nodeLines(4)->inbound, QStringList{"add_1"});
}

// The input, batch normalization, two-input and pretrained panels are checked in the editor's tests.
TEST(PanelRows, FollowTheConfigMembersInOrder)
{
    const Json layers = residual()["config"]["layers"];
    const std::tuple<Json, bool, QStringList> cases[] = {
        {layers[1], true, {"Name:100:rw=conv1_pad", "trainable:1:rw=true", "padding:40:rw=3,3,3,3", "Input:200:rw=input_1"}},
        {Json::parse(R"({"name":"d","class_name":"Dense","config":{"units":"10","trainable":"yes","kernel_size":[3],
             "strides":5,"padding":[[1,1]],"momentum":null,"activation":3,"center":1},"inbound_nodes":[[["x",0,0,{}]]]})"),
         true, {"Name:100:rw=d", "Input:200:rw=x"}},  // members of the wrong type get no row
        {Json::parse(R"({"name":5,"config":{"filters":8.0},"inbound_nodes":{}})"), true, {"filters:6:rw=8"}},
    };
    for (const auto& [layer, customized, rows] : cases) {
        QStringList got;
        for (const layerform::Row& r : layerform::rows(layer, customized))
            got << QStringLiteral("%1:%2:%3=%4").arg(r.title).arg(r.tag).arg(r.editable ? "rw" : "ro", r.values.join(','));
        EXPECT_EQ(got, rows);
    }
}

TEST(PanelRows, NumbersShowAsStoredAndReadBackTheSame)
{
    EXPECT_EQ(layerform::integerText(Json(10.0)), "10");
    EXPECT_EQ(layerform::integerText(Json(10.5)), "10.5");  // never truncated
    EXPECT_EQ(layerform::integerText(Json(nullptr)), "");
    EXPECT_EQ(layerform::numberText(Json(1)), "1");
    for (double v : {0.99, 1.001e-05, 123456.789, 0.1 + 0.2})
        EXPECT_EQ(layerform::numberText(Json(v)).toDouble(), v);
}

// Their Keras structure, sizes and layer order are checked by the Python resource tests; here
// every offered architecture and the start network of a new model must reach our reader.
TEST(Resources, EveryOfferedArchitectureIsAReadableResource)
{
    for (const QString& model : catalogue::mlmodels() + QStringList{QStringLiteral("custommodel")}) {
        const ParseOutcome read = archdoc::readFile(paths::resourcePath(model.toLower(), QStringLiteral("json")));
        EXPECT_TRUE(read.json && ArchDocument(*read.json).layerCount() > 1) << model.toStdString() << read.error.toStdString();
    }
}

}  // namespace
