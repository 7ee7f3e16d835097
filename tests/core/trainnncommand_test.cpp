#include "training/trainnncommand.h"

#include <gtest/gtest.h>

namespace {
trainnn::Request request(const TrainingStrategy& strategy)
{
    trainnn::Request r;
    r.scriptPath = QStringLiteral("/res/trainNN.py");
    r.modelFile = QStringLiteral("/cache/custommodel_temp.json");
    r.workspace = QStringLiteral("/ws");
    r.modelname = QStringLiteral("ResNet50");
    r.resourceModelFile = QStringLiteral("/res/resnet50.json");
    r.labelDocument = QStringLiteral("field_outputlabel.csv");
    r.strategy = strategy;
    return r;
}

TEST(TrainNNCommand, DefaultsInTheWorkersOrder)
{
    TrainingStrategy s;
    s.imagefolder = QStringLiteral("/data/field.jpg");
    s.trainingfolder = QStringLiteral("/ws");
    EXPECT_EQ(trainnn::arguments(request(s)),
              (QStringList{"/res/trainNN.py", "/cache/custommodel_temp.json", "/ws", "/ws", "ResNet50", "", "4", "3", "Adam",
                           "mean_squared_error", "/res/resnet50.json", "field_outputlabel.csv", "0.60", "false", "false", "false",
                           "false", ""}));
}

TEST(TrainNNCommand, PassesTheFormsTextsAndFlagsUnchanged)
{
    TrainingStrategy s;
    s.trainingdoc = QStringLiteral("/t/doc.csv");
    s.weights = QStringLiteral("/w/my_model.h5");
    s.batchsize = QStringLiteral(" 8");
    s.trainingeporch = QStringLiteral("12");
    s.optimizesel = QStringLiteral("Nadam");
    s.lossfuncsel = QStringLiteral("categorical_crossentropy");
    s.trainratio = 0.6666;
    s.img_transfer = true;
    s.img_rotate = true;
    const QStringList a = trainnn::arguments(request(s));
    ASSERT_EQ(a.size(), 18);
    EXPECT_EQ(a.mid(5, 5), (QStringList{"/w/my_model.h5", " 8", "12", "Nadam", "categorical_crossentropy"}));
    EXPECT_EQ(a.mid(12), (QStringList{"0.67", "true", "false", "true", "false", "/t/doc.csv"}));
    EXPECT_EQ(a[3], QString());  // no training folder: a pure test
}

TEST(TrainNNCommand, ShareAlwaysHasTwoDecimals)
{
    for (auto [ratio, text] : std::vector<std::pair<double, const char*>>{{0.0, "0.00"}, {1.0, "1.00"}, {0.005, "0.01"}, {0.994, "0.99"}}) {
        TrainingStrategy s;
        s.trainratio = ratio;
        EXPECT_EQ(trainnn::arguments(request(s)).at(12), QString::fromUtf8(text)) << ratio;
    }
}

TEST(TrainNNRunValues, RootAndLabelDocument)
{
    EXPECT_EQ(trainnn::rootName(QStringLiteral("/data/field.2020.jpg")), QStringLiteral("field"));
    EXPECT_EQ(trainnn::rootName(QStringLiteral("/data/images/")), QStringLiteral("images"));
    EXPECT_EQ(trainnn::rootName(QStringLiteral("noext")), QStringLiteral("noext"));
    EXPECT_EQ(trainnn::rootName(QString()), QString());
    EXPECT_EQ(trainnn::labelDocumentName(1, QStringLiteral("field")), QStringLiteral("field_outputlabel.csv"));
    EXPECT_EQ(trainnn::labelDocumentName(2, QStringLiteral("cat01")), QStringLiteral("folderimage_outputlabel.csv"));
    EXPECT_EQ(trainnn::labelDocumentName(3, QStringLiteral("table")), QString());
    EXPECT_EQ(trainnn::labelDocumentName(0, QStringLiteral("x")), QString());
}

struct EpochCase {
    const char* text;
    std::optional<int> count;
};

class EpochCount : public ::testing::TestWithParam<EpochCase> {};

TEST_P(EpochCount, OnlyPositiveWholeNumbers)
{
    EXPECT_EQ(trainnn::epochCount(QString::fromUtf8(GetParam().text)), GetParam().count) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Texts, EpochCount,
                         ::testing::Values(EpochCase{"3", 3}, EpochCase{" 10 ", 10}, EpochCase{"+2", 2}, EpochCase{"0", std::nullopt},
                                           EpochCase{"-1", std::nullopt}, EpochCase{"12abc", std::nullopt},
                                           EpochCase{"2.5", std::nullopt}, EpochCase{"", std::nullopt},
                                           EpochCase{"abc", std::nullopt}, EpochCase{"99999999999", std::nullopt}));
}  // namespace
