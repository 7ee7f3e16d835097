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

// The files' Keras structure is checked by the Python resource tests, and adding every offered class
// to the start network by the editor's tests; here the pretrained files go through our reader.
TEST(Resources, PretrainedArchitecturesReadIntoEveryLayersPanelAndAThousandClassOutput)
{
    for (const auto& [name, layers] : std::vector<std::pair<const char*, int>>{{"resnet50", 177}, {"vgg16", 23}, {"vgg19", 26},
                                                                               {"xception", 134}}) {
        SCOPED_TRACE(name);
        const std::optional<ArchDocument> loaded = resource(name);
        if (!loaded)
            GTEST_SKIP() << name << ".json is not among the resources";
        const ArchDocument& doc = *loaded;
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

}  // namespace
