#include "training/trainnncommand.h"
#include "worker/modelinfo.h"
#include "worker/workercommands.h"

#include <gtest/gtest.h>

namespace {
TEST(ModelMode, ByLowerCasedExtensionOrFolder)
{
    using workercommands::modelMode;
    EXPECT_EQ(modelMode("/m/Model.KERAS", false), "0");
    EXPECT_EQ(modelMode("/m/net.h5", false), "1");
    EXPECT_EQ(modelMode("/m/saved", false), "2");
    EXPECT_EQ(modelMode("/m/saved.v2", true), "2");  // a folder is a folder whatever its name
    EXPECT_EQ(modelMode("/m/weights.hdf5", false), std::nullopt);
}

// The worker's side of these argument lists is checked by the Python worker tests.
TEST(ModelWorkers, CommandLinesStartWithTheScript)
{
    qputenv("KOLVARA_PYTHON", "/opt/py/bin/python3");
    const auto load = workercommands::loadModel("/in/m.h5", "/cache/usermodel.json", "1");
    qunsetenv("KOLVARA_PYTHON");
    EXPECT_EQ(load.program, "/opt/py/bin/python3");
    EXPECT_TRUE(load.arguments.value(0).endsWith("/loadmodel.py"));
    EXPECT_EQ(load.arguments.mid(1), (QStringList{"/in/m.h5", "/cache/usermodel.json", "1"}));
    EXPECT_EQ(workercommands::inspectWeights("/ws/e0003.hdf5").arguments.mid(1), (QStringList{"--info", "/ws/e0003.hdf5"}));
}

TEST(PackageCheck, SubstringAndCaseSensitive)
{
    EXPECT_TRUE(envcheck::missingPackages("torch 1\nnumpy 1\nPillow 9\nmatplotlib 3\nh5py.-debian-h5py-serial 3.7\n").isEmpty());
    EXPECT_EQ(envcheck::missingPackages("torch\nnumpy\npillow\nmatplotlib\nh5py\n"), QStringList{"Pillow"});
    EXPECT_EQ(envcheck::missingPackages(""), envcheck::requiredPackages());
}

// The default command line is checked whole in the training run's tests.
TEST(TrainNNCommand, PassesTheFormsTextsAndFlagsUnchanged)
{
    trainnn::Request r;
    TrainingStrategy& s = r.strategy;
    s.batchsize = QStringLiteral(" 8");
    s.trainratio = 0.6666;
    s.img_transfer = s.img_rotate = true;
    r.inputScaling = QStringLiteral("caffe");
    r.networkMode = QStringLiteral("top");
    s.classnames = QStringLiteral(" T-shirt,Trouser ");
    const QStringList a = trainnn::arguments(r);
    ASSERT_EQ(a.size(), 23);
    EXPECT_EQ(a[6], " 8");
    EXPECT_EQ(a.mid(12, 5), (QStringList{"0.67", "true", "false", "true", "false"}));
    EXPECT_EQ(a[3], QString());  // no training folder: a pure test
    EXPECT_EQ(a[19], "T-shirt,Trouser");  // scaling and mode: the pre-trained run's test
    s.trainratio = 0.005;
    s.keepbestepoch = false;
    s.patience = 4;  // counts only when stopping early
    EXPECT_EQ(trainnn::arguments(r).at(12), "0.01");
    EXPECT_EQ(trainnn::arguments(r).mid(20, 2), (QStringList{"false", "0"}));
    s.stopearly = true;
    EXPECT_EQ(trainnn::arguments(r).mid(20, 2), (QStringList{"false", "4"}));
}

// The label document of each kind of input is followed through the training run's tests.
TEST(TrainNNRunValues, RootNameAndEpochCount)
{
    EXPECT_EQ(trainnn::rootName(QStringLiteral("/data/field.2020.jpg")), QStringLiteral("field"));
    EXPECT_EQ(trainnn::rootName(QStringLiteral("/data/images/")), QStringLiteral("images"));
    // only positive whole numbers
    for (auto [text, count] : std::vector<std::pair<const char*, std::optional<int>>>{
             {"3", 3}, {" 10 ", 10}, {"+2", 2}, {"0", {}}, {"-1", {}}, {"12abc", {}}, {"2.5", {}}, {"", {}}, {"99999999999", {}}})
        EXPECT_EQ(trainnn::epochCount(QString::fromUtf8(text)), count) << text;
}
struct InfoCase { const char* output; bool found; const char* scaling; bool fromNetwork; QStringList names; };

// The loader's report is the one way the app learns how a saved model is applied.
TEST(ModelInfo, TheLastReportOfTheLoaderIsRead)
{
    const InfoCase cases[] = {
        {"Model info: {\"input_scaling\": \"tf\", \"input_scaling_from\": \"recorded\", \"class_names\": [\"b\", \"a\"]}\n", true,
         "tf", false, {"b", "a"}},
        {"noise\nModel info: {\"input_scaling\": \"raw\", \"input_scaling_from\": \"network\", \"class_names\": null}\n", true, "raw",
         true, {}},
        {"Model info: {\"input_scaling\": \"raw\"}\nModel info: {\"input_scaling\": null}", true, "", false, {}},  // the last one
        {"Model info: {\"input_scaling\": \"imagenet\", \"class_names\": [1, \"x\"]}", true, "", false, {"x"}},
        {"Model info: {\"input_scaling\": ", false, "", false, {}},
    };
    for (const InfoCase& c : cases) {
        const std::optional<ModelInfo> info = modelinfo::parse(QByteArray(c.output));
        ASSERT_EQ(info.has_value(), c.found) << c.output;
        if (!info)
            continue;
        EXPECT_EQ(std::make_tuple(info->inputScaling, info->scalingFromNetwork, info->classNames),
                  std::make_tuple(QString::fromUtf8(c.scaling), c.fromNetwork, c.names)) << c.output;
    }
}
}  // namespace
