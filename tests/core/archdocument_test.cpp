#include "model/archdocument.h"
#include "support/testenv.h"
#include "worker/paths.h"

#include <QDir>
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

const Json& at(const ArchDocument& doc, const char* pointer) { return doc.json().at(Json::json_pointer(pointer)); }

QStringList names(const ArchDocument& doc)
{
    QStringList out;
    for (int i = 0; i < doc.layerCount(); ++i)
        out << doc.nodeLines(i)->name;
    return out;
}

struct TagCase {
    const char* label;
    int layer;
    QList<PanelField> fields;
    const char* pointer;  // where the value lands
    Json expected;
};

class UpdateByTag : public ::testing::TestWithParam<TagCase> {};

TEST_P(UpdateByTag, StoresTheTypedValue)
{
    const TagCase& c = GetParam();
    ArchDocument doc(residual());
    const UpdateOutcome outcome = doc.updateLayer(c.layer, c.fields);
    EXPECT_TRUE(outcome.written);
    EXPECT_TRUE(outcome.refused.isEmpty());
    const Json& got = at(doc, c.pointer);
    EXPECT_EQ(got, c.expected) << got.dump();
    EXPECT_EQ(got.type(), c.expected.type()) << got.dump();  // 10 stays an integer, false a boolean
}

INSTANTIATE_TEST_SUITE_P(
    Tags, UpdateByTag,
    ::testing::Values(
        TagCase{"trainable_false", 2, {{1, "false"}}, "/config/layers/2/config/trainable", Json(false)},
        TagCase{"trainable_other_text", 2, {{1, "yes"}}, "/config/layers/2/config/trainable", Json(false)},
        TagCase{"center", 3, {{2, "false"}}, "/config/layers/3/config/center", Json(false)},
        TagCase{"scale", 3, {{3, "true"}}, "/config/layers/3/config/scale", Json(true)},
        TagCase{"activation", 2, {{4, "tanh"}}, "/config/layers/2/config/activation", Json("tanh")},
        TagCase{"padding", 2, {{5, "same"}}, "/config/layers/2/config/padding", Json("same")},
        TagCase{"filters", 2, {{6, " 32 "}}, "/config/layers/2/config/filters", Json(32)},
        TagCase{"momentum", 3, {{7, "0.9"}}, "/config/layers/3/config/momentum", Json(0.9)},
        TagCase{"epsilon", 3, {{8, "1e-3"}}, "/config/layers/3/config/epsilon", Json(0.001)},
        TagCase{"units_whole", 7, {{9, "10"}}, "/config/layers/7/config/units", Json(10)},
        TagCase{"units_fraction", 7, {{9, "2.5"}}, "/config/layers/7/config/units", Json(2.5)},
        TagCase{"kernel_first", 2, {{10, "3"}}, "/config/layers/2/config/kernel_size", Json::parse("[3,7]")},
        TagCase{"kernel_second", 2, {{11, "1"}}, "/config/layers/2/config/kernel_size", Json::parse("[7,1]")},
        TagCase{"name_outer", 4, {{100, "relu_a"}}, "/config/layers/4/name", Json("relu_a")},
        TagCase{"name_in_config", 4, {{100, "relu_a"}}, "/config/layers/4/config/name", Json("relu_a")},
        TagCase{"first_inbound", 4, {{200, "conv1_conv"}}, "/config/layers/4/inbound_nodes/0/0/0", Json("conv1_conv")},
        TagCase{"input_name_only", 0, {{100, "image"}, {200, "x"}, {201, "y"}}, "/config/layers/0/inbound_nodes",
                Json::array()}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(UpdateLayer, DisplayOnlyFieldsNeverChangeTheDocument)
{
    ArchDocument doc(residual());
    const Json before = doc.json();
    // strides, dilation rate, array padding, input size, untagged labels
    const QList<PanelField> fields{{20, "9"}, {21, "9"}, {30, "4"}, {31, "4"}, {0, "x"}, {12, "5"}};
    doc.updateLayer(2, fields);
    doc.updateLayer(1, {{40, "0"}, {41, "0"}, {42, "0"}, {43, "0"}});
    doc.updateLayer(0, {{50, "32"}, {51, "32"}, {52, "1"}});
    EXPECT_EQ(doc.json(), before);
}

TEST(UpdateLayer, SecondInboundAppendsRepeatsAndClears)
{
    ArchDocument doc(residual());
    const char* node = "/config/layers/4/inbound_nodes/0";
    doc.updateLayer(4, {{200, "conv1_bn"}, {201, "conv1_pad"}});
    EXPECT_EQ(at(doc, node), Json::parse(R"([["conv1_bn",0,0,{}],["conv1_pad",0,0,{}]])"));
    doc.updateLayer(4, {{200, "conv1_bn"}, {201, "conv1_pad"}});
    EXPECT_EQ(at(doc, node).size(), 2u);
    doc.updateLayer(4, {{200, "conv1_bn"}, {201, ""}});
    EXPECT_EQ(at(doc, node), Json::parse(R"([["conv1_bn",0,0,{}]])"));

    // A second input mirrors the first entry's indices and call arguments.
    doc.updateLayer(5, {{201, "avg_pool"}});
    EXPECT_EQ(at(doc, "/config/layers/5/inbound_nodes/0/1"), Json::parse(R"(["avg_pool",0,0,{"training":true}])"));
}

struct RefusalCase {
    int tag;
    const char* text;
    const char* field;
    bool whole;
};

class InvalidNumbers : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(InvalidNumbers, AreRefusedByFieldAndTheRestApplies)
{
    const RefusalCase& c = GetParam();
    const int layer = c.tag == 9 ? 7 : (c.tag == 7 || c.tag == 8) ? 3 : 2;
    ArchDocument doc(residual());
    const Json before = doc.json()["config"]["layers"][layer]["config"][c.field];
    const UpdateOutcome outcome = doc.updateLayer(layer, {{100, "renamed"}, {c.tag, QString::fromUtf8(c.text)}, {1, "false"}});
    ASSERT_EQ(outcome.refused.size(), 1);
    EXPECT_EQ(outcome.refused[0].field, QString::fromUtf8(c.field));
    EXPECT_EQ(outcome.refused[0].wholeNumber, c.whole);
    EXPECT_EQ(doc.json()["config"]["layers"][layer]["config"][c.field], before);
    EXPECT_EQ(doc.json()["config"]["layers"][layer]["name"], "renamed");
    EXPECT_EQ(doc.json()["config"]["layers"][layer]["config"]["trainable"], false);
    EXPECT_TRUE(archdoc::refusalText(outcome.refused).contains(QString::fromUtf8(c.field)));
}

INSTANTIATE_TEST_SUITE_P(Texts, InvalidNumbers,
                         ::testing::Values(RefusalCase{6, "abc", "filters", true}, RefusalCase{6, "3.5", "filters", true},
                                           RefusalCase{6, "", "filters", true}, RefusalCase{10, "7x", "kernel_size", true},
                                           RefusalCase{11, "1e2", "kernel_size", true},
                                           RefusalCase{7, "fast", "momentum", false},
                                           RefusalCase{8, "nan", "epsilon", false}, RefusalCase{8, "inf", "epsilon", false},
                                           RefusalCase{9, "1,000", "units", false}, RefusalCase{9, " ", "units", false}));

TEST(UpdateLayer, KernelFieldsNeedAKernelToWriteInto)
{
    ArchDocument doc(residual());
    const Json before = doc.json();
    doc.updateLayer(4, {{10, "3"}, {11, "3"}});  // an activation layer has no kernel_size
    EXPECT_EQ(doc.json(), before);
}

TEST(UpdateLayer, MissingEntryWritesNothing)
{
    Json json = residual();
    json["config"]["layers"][3] = "not a layer";
    ArchDocument doc(json);
    EXPECT_FALSE(doc.updateLayer(3, {{100, "x"}}).written);
    EXPECT_FALSE(doc.updateLayer(99, {{100, "x"}}).written);
    EXPECT_EQ(doc.json(), json);
}

TEST(ArchitectureFile, KeepsUnknownMembersAndMemberOrder)
{
    Json json = residual();
    json["zz_extra"] = Json::parse(R"({"b":1,"a":[1,2.5,"x"]})");
    json["config"]["layers"][2]["shared_object_id"] = 7;
    ArchDocument doc(json);
    doc.updateLayer(2, {{6, "16"}, {100, "c"}, {4, "relu"}});
    const QString path = testenv::scratchFolder() + QStringLiteral("/kept.json");
    const SaveOutcome saved = archdoc::saveCompact(doc.json(), path);
    ASSERT_TRUE(saved.ok) << saved.error.toStdString();

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    EXPECT_FALSE(bytes.contains('\n'));
    EXPECT_FALSE(bytes.contains(", "));
    const Json back = *archdoc::parse(bytes).json;
    std::vector<std::string> top;
    for (auto it = back.begin(); it != back.end(); ++it)
        top.push_back(it.key());
    EXPECT_EQ(top, (std::vector<std::string>{"class_name", "config", "keras_version", "backend", "zz_extra"}));
    EXPECT_EQ(back["zz_extra"], json["zz_extra"]);
    EXPECT_EQ(back["config"]["output_layers"], json["config"]["output_layers"]);
    const Json& conv = back["config"]["layers"][2];
    EXPECT_EQ(conv["shared_object_id"], 7);
    std::vector<std::string> configKeys;
    for (auto it = conv["config"].begin(); it != conv["config"].end(); ++it)
        configKeys.push_back(it.key());
    std::vector<std::string> original;
    for (auto it = json["config"]["layers"][2]["config"].begin(); it != json["config"]["layers"][2]["config"].end(); ++it)
        original.push_back(it.key());
    EXPECT_EQ(configKeys, original);  // updated members stay where they were
    EXPECT_EQ(conv["config"]["filters"], 16);
}

TEST(ArchitectureFile, EditorCopyGoesToTheCachesFolderAndFailuresComeBackAsData)
{
    ArchDocument doc(residual());
    const SaveOutcome saved = archdoc::saveEditorCopy(doc.json());
    ASSERT_TRUE(saved.ok) << saved.error.toStdString();
    EXPECT_EQ(saved.path, paths::cachesFile(QStringLiteral("custommodel_temp.json")));
    EXPECT_EQ(archdoc::readFile(saved.path).json, doc.json());

    const QString blocker = testenv::scratchFolder() + QStringLiteral("/a-file");
    QFile(blocker).open(QIODevice::WriteOnly);
    const SaveOutcome failed = archdoc::saveCompact(doc.json(), blocker + QStringLiteral("/x.json"));
    EXPECT_FALSE(failed.ok);
    EXPECT_FALSE(failed.error.isEmpty());

    EXPECT_FALSE(archdoc::parse("{\"config\": ").json);
    EXPECT_FALSE(archdoc::parse("{\"config\": ").error.isEmpty());
    EXPECT_FALSE(archdoc::readFile(testenv::scratchFolder() + QStringLiteral("/absent.json")).json);
}

TEST(LayerList, ReadsNamesClassesAndInbounds)
{
    ArchDocument doc(residual());
    EXPECT_EQ(doc.layerCount(), 8);
    EXPECT_EQ(names(doc), (QStringList{"input_1", "conv1_pad", "conv1_conv", "conv1_bn", "conv1_relu", "add_1", "avg_pool",
                                       "predictions"}));
    EXPECT_EQ(doc.nodeLines(0)->inbound, QStringList());
    EXPECT_EQ(doc.nodeLines(5)->inbound, (QStringList{"conv1_relu", "conv1_pad"}));
    EXPECT_EQ(doc.nodeLines(5)->className, "Add");

    Json json = residual();
    json["config"]["layers"][1].erase("inbound_nodes");
    json["config"]["layers"][2] = 5;
    ArchDocument odd(json);
    EXPECT_FALSE(odd.nodeLines(1)->inbound.has_value());
    EXPECT_FALSE(odd.nodeLines(2).has_value());

    for (const char* text : {"{}", "{\"config\":{}}", "{\"config\":{\"layers\":{}}}", "[]", "null"})
        EXPECT_EQ(ArchDocument(Json::parse(text)).layerCount(), 0) << text;
    EXPECT_TRUE(ArchDocument().isEmpty());
}

struct EditCase {
    const char* label;
    bool remove;  // else exchange
    std::vector<int> from;
    int to;
    bool accepted;
    QStringList order;
};

class ColumnEdits : public ::testing::TestWithParam<EditCase> {};

TEST_P(ColumnEdits, KeepTheInputAndOutputInPlace)
{
    const EditCase& c = GetParam();
    ArchDocument doc(residual());
    const bool accepted = c.remove ? doc.removeLayer(c.from[0]) : doc.exchangeLayers(c.from, c.to);
    EXPECT_EQ(accepted, c.accepted);
    EXPECT_EQ(names(doc), c.order);
}

const QStringList kOrder{"input_1", "conv1_pad", "conv1_conv", "conv1_bn", "conv1_relu", "add_1", "avg_pool", "predictions"};

INSTANTIATE_TEST_SUITE_P(
    Cases, ColumnEdits,
    ::testing::Values(
        EditCase{"remove_input", true, {0}, 0, false, kOrder}, EditCase{"remove_output", true, {7}, 0, false, kOrder},
        EditCase{"remove_past_end", true, {8}, 0, false, kOrder},
        EditCase{"remove_middle", true, {3}, 0, true,
                 {"input_1", "conv1_pad", "conv1_conv", "conv1_relu", "add_1", "avg_pool", "predictions"}},
        EditCase{"exchange_middle", false, {2}, 4, true,
                 {"input_1", "conv1_pad", "conv1_relu", "conv1_bn", "conv1_conv", "add_1", "avg_pool", "predictions"}},
        EditCase{"exchange_onto_self", false, {3}, 3, true, kOrder},
        EditCase{"drag_input", false, {0}, 3, false, kOrder}, EditCase{"drag_output", false, {7}, 3, false, kOrder},
        EditCase{"drop_on_input", false, {3}, 0, false, kOrder}, EditCase{"drop_on_output", false, {3}, 7, false, kOrder},
        EditCase{"drop_past_end", false, {3}, 8, false, kOrder},
        EditCase{"two_dragged_run_into_output", false, {2, 3}, 6, false, kOrder}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(LayerList, InsertsACopyBeforeTheOutputOnly)
{
    ArchDocument doc(residual());
    const Json conv = residual()["config"]["layers"][2];
    ASSERT_TRUE(doc.insertBeforeOutput(conv));
    ASSERT_EQ(doc.layerCount(), 9);
    EXPECT_EQ(doc.json()["config"]["layers"][7], conv);
    EXPECT_EQ(doc.nodeLines(8)->name, "predictions");
    ASSERT_TRUE(doc.insertBeforeOutput(conv));  // the same class twice: two entries of one name
    EXPECT_EQ(doc.nodeLines(7)->name, doc.nodeLines(8)->name);

    for (const char* text : {R"({"config":{"layers":[]}})", "{}", R"({"config":{"layers":3}})"}) {
        ArchDocument empty(Json::parse(text));
        EXPECT_FALSE(empty.insertBeforeOutput(conv)) << text;
        EXPECT_EQ(empty.json(), Json::parse(text));
    }
}

TEST(LayerTemplates, ComeFromThePrimaryArchitectureThenTheFallback)
{
    const Json primary = residual();
    const Json fallback = Json::parse(R"({"config":{"layers":[
        {"class_name":"Flatten","config":{"name":"flatten"},"name":"flatten","inbound_nodes":[[["x",0,0,{}]]]},
        {"class_name":"Conv2D","config":{"name":"other"},"name":"other","inbound_nodes":[]}]}})");
    EXPECT_EQ(archdoc::findTemplate(primary, fallback, QStringLiteral("Conv2D")), primary["config"]["layers"][2]);
    EXPECT_EQ(archdoc::findTemplate(primary, fallback, QStringLiteral("Flatten")), fallback["config"]["layers"][0]);
    EXPECT_FALSE(archdoc::findTemplate(primary, fallback, QStringLiteral("Dropout")));
    EXPECT_FALSE(archdoc::findTemplate(Json(), Json(), QStringLiteral("Conv2D")));
}

}  // namespace
