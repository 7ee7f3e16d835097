#include "data/tilegriddocument.h"
#include "model/architecturedocument.h"
#include "model/ui/nodecollection.h"
#include "support/fixture.h"
#include "support/testenv.h"
#include "worker/paths.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QUndoGroup>
#include <gtest/gtest.h>

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
    EXPECT_EQ(QString::fromStdString(c->editorDocument()["config"]["layers"][added]["name"]), "dense");
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
        EXPECT_TRUE(c->trainPane().smalldatahint()->text().startsWith(QStringLiteral("48 labelled images: ")));
        EXPECT_EQ(c->trainPane().smalldatabutton()->text(), QStringLiteral("Use %1").arg(QString::fromUtf8(row.suggests)));
        c->trainPane().smalldatabutton()->click();
        EXPECT_EQ(c->modelName(), QString::fromUtf8(row.suggests));
        EXPECT_FALSE(c->trainPane().smalldatabutton()->isVisible() || c->trainPane().smalldatahint()->isVisible());
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
    EXPECT_EQ(c->editorDocument(), before);
    EXPECT_FALSE(QFile::exists(paths::cachesFile("usermodel.json")));

    // Each format's conversion is the Python loader tests'; here each kind of pick reaches the editor.
    for (const QString& name : {"savedmodel_sequential_cnn_mnist_tf2.11", "sequential_cnn_augmentation_layers_keras3.5.keras"}) {
        f.prompter.clear();
        f.prompter.answerPaths({testenv::sharedTestData("keras/" + name)});
        c->Openmodel();
        EXPECT_EQ(f.prompter.messages(), QStringList{"Load Keras model"}) << name.toStdString();
        EXPECT_EQ(c->modelName(), "usermodel");
        EXPECT_GT(editorLayers(c), 3) << name.toStdString();
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
