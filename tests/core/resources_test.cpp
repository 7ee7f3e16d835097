#include "model/archdocument.h"
#include "model/catalogue.h"
#include "model/layerform.h"
#include "worker/paths.h"

#include <QSet>
#include <gtest/gtest.h>

namespace {

// A shipped architecture, or nothing when it is not among the resources.
std::optional<ArchDocument> resource(const char* name)
{
    const QString path = paths::resourcePath(QString::fromUtf8(name), QStringLiteral("json"));
    if (path.isEmpty())
        return std::nullopt;
    const ParseOutcome read = archdoc::readFile(path);
    EXPECT_TRUE(read.json) << name << ": " << read.error.toStdString();
    return ArchDocument(read.json.value_or(Json()));
}

#define LOAD_RESOURCE(var, name)                                    \
    const std::optional<ArchDocument> var##Loaded = resource(name);  \
    if (!var##Loaded)                                               \
        GTEST_SKIP() << (name) << ".json is not among the resources"; \
    const ArchDocument& var = *var##Loaded

// The files' Keras structure is checked by the Python resource tests; here they go through our reader.
TEST(Resources, PretrainedArchitecturesReadIntoEveryLayersPanelAndAThousandClassOutput)
{
    for (const auto& [name, layers] : std::vector<std::pair<const char*, int>>{{"resnet50", 177}, {"vgg16", 23}, {"vgg19", 26},
                                                                               {"xception", 134}}) {
        SCOPED_TRACE(name);
        LOAD_RESOURCE(doc, name);
        ASSERT_EQ(doc.layerCount(), layers);
        QSet<QString> seen;
        for (int i = 0; i < doc.layerCount(); ++i) {
            const std::optional<NodeLines> lines = doc.nodeLines(i);
            ASSERT_TRUE(lines && lines->inbound) << i;
            for (const QString& inbound : *lines->inbound)  // Keras order: every input comes earlier
                EXPECT_TRUE(seen.contains(inbound)) << lines->name.toStdString() << " <- " << inbound.toStdString();
            seen.insert(lines->name);
            EXPECT_FALSE(layerform::rows(*doc.layer(i), false).isEmpty());
        }
        EXPECT_TRUE((*doc.layer(layers - 1))["config"]["units"].is_number_integer());
    }
}

TEST(Resources, EveryOfferedModelHasItsFile)
{
    if (paths::resourcePath(QStringLiteral("resnet50"), QStringLiteral("json")).isEmpty())
        GTEST_SKIP() << "the architecture resources are absent";
    for (const QString& model : catalogue::mlmodels())
        EXPECT_FALSE(paths::resourcePath(model.toLower(), QStringLiteral("json")).isEmpty()) << model.toStdString();
}

TEST(Resources, StartNetworkRunsFromInputToPredictions)
{
    LOAD_RESOURCE(doc, "custommodel");
    ASSERT_GE(doc.layerCount(), 2);
    EXPECT_EQ(doc.nodeLines(0)->name, "input_1");
    EXPECT_EQ(doc.nodeLines(doc.layerCount() - 1)->name, "predictions");
    EXPECT_EQ(doc.nodeLines(doc.layerCount() - 1)->className, "Dense");
    for (int i = 1; i < doc.layerCount(); ++i)
        EXPECT_EQ(doc.nodeLines(i)->inbound, QStringList{doc.nodeLines(i - 1)->name}) << i;
}

TEST(Resources, EveryOfferedClassHasATemplate)
{
    LOAD_RESOURCE(resnet, "resnet50");
    LOAD_RESOURCE(extra, "layertemplates");
    for (const QString& cls : catalogue::nodeclasses()) {
        const std::optional<Json> found = archdoc::findTemplate(resnet.json(), extra.json(), cls);
        ASSERT_TRUE(found) << cls.toStdString();
        EXPECT_EQ((*found)["class_name"], cls.toStdString());
        EXPECT_TRUE((*found)["inbound_nodes"].is_array());
    }
    EXPECT_FALSE(archdoc::findTemplate(resnet.json(), QStringLiteral("Flatten")));  // the reason for the extra file
}

}  // namespace
