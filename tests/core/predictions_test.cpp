#include "results/predictions.h"
#include "results/resultingestion.h"

#include "support/testenv.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

namespace {
std::vector<TilePoint> tiles(const char* text)
{
    return predictions::tilePredictions(predictions::records(QString::fromUtf8(text)));
}

struct TileCase {
    const char* name;
    const char* text;
    std::vector<TilePoint> expected;
};

class TilePredictions : public ::testing::TestWithParam<TileCase> {};

TEST_P(TilePredictions, MarkTilesPredictedExactlyOne)
{
    EXPECT_EQ(tiles(GetParam().text), GetParam().expected) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Files, TilePredictions,
    ::testing::Values(
        TileCase{"header and trailing line feed",
                 ",index,i,j,filename,label,prediction\n0,1,0,0,f_00.png,0,0\n1,2,2,3,f_23.png,1,1\n", {{2, 3}}},
        TileCase{"worker line of the examples", "0,1,2,3,a.png,0,1", {{2, 3}}},
        TileCase{"all zero", "0,1,0,0,a.png,1,0\n1,2,0,1,b.png,1,0\n", {}},
        TileCase{"windows line ends keep a carriage return", "0,1,0,0,a.png,1,1\r\n1,2,0,1,b.png,1,1\r\n", {}},
        TileCase{"one with a trailing blank or a decimal point", "0,1,0,0,a.png,1,1 \n1,2,0,1,b.png,1,1.0\n", {}},
        TileCase{"short lines and bad indices", "0,1,0\n0,1,0,0,a.png,1\n0,1,x,0,a.png,1,1\n0,1,4,5,a.png,1,1", {{4, 5}}},
        TileCase{"file order kept", "0,1,5,5,a,1,1\n1,2,0,1,b,1,1\n", {{5, 5}, {0, 1}}}),
    [](const ::testing::TestParamInfo<TileCase>& info) { return "case" + std::to_string(info.index); });

TEST(ImagePredictions, KeyedByFileNameLaterLineWins)
{
    const QHash<QString, QString> got = predictions::imagePredictions(predictions::records(QStringLiteral(
        ",index,i,j,filename,label,prediction\n0,1,1,1,cat.png,0,1\n1,2,2,2,dog.png,1,0\n2,3,3,3,cat.png,0,0\n3,4\n")));
    EXPECT_EQ(got.value(QStringLiteral("cat.png")), QStringLiteral("0"));
    EXPECT_EQ(got.value(QStringLiteral("dog.png")), QStringLiteral("0"));
    EXPECT_EQ(got.value(QStringLiteral("filename")), QStringLiteral("prediction"));  // the header's harmless entry
    EXPECT_EQ(got.size(), 3);
}

class Workspace : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = testenv::scratchFolder() + QStringLiteral("/ingest_") + QString::fromUtf8(::testing::UnitTest::GetInstance()->current_test_info()->name());
        QDir(dir).removeRecursively();
        QDir().mkpath(dir);
    }
    void write(const QString& name, const QByteArray& bytes)
    {
        QFile f(dir + QLatin1Char('/') + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QString dir;
};

TEST_F(Workspace, FindsTheFinishedModelEntries)
{
    EXPECT_TRUE(resultingestion::scanForModel(dir).modelEntries.isEmpty());
    write(QStringLiteral("my_model.h5"), "m");
    write(QStringLiteral("e0001-0.5-0.5-weights.hdf5"), "c");
    EXPECT_EQ(resultingestion::scanForModel(dir).modelEntries, QStringList{QStringLiteral("my_model.h5")});
    EXPECT_FALSE(resultingestion::scanForModel(dir + QStringLiteral("/gone")).error.isEmpty());
}

TEST_F(Workspace, ReadsThePredictionFileOfTheInputKind)
{
    using resultingestion::Target;
    EXPECT_EQ(resultingestion::targetFor(1), Target::Tiles);
    EXPECT_EQ(resultingestion::targetFor(2), Target::Images);
    EXPECT_EQ(resultingestion::targetFor(3), Target::None);
    EXPECT_FALSE(resultingestion::readPredictions(dir, Target::Tiles, QStringLiteral("field")).readable);
    write(QStringLiteral("field_outputlabel.csv"), ",index,i,j,filename,label,prediction\n0,1,0,1,field_01.png,1,1\n");
    write(QStringLiteral("folderimage_outputlabel.csv"), ",index,i,j,filename,label,prediction\n0,1,1,1,cat.png,0,1\n");
    const resultingestion::Reading t = resultingestion::readPredictions(dir, Target::Tiles, QStringLiteral("field"));
    EXPECT_TRUE(t.readable);
    EXPECT_EQ(t.tiles, (std::vector<TilePoint>{{0, 1}}));
    const resultingestion::Reading i = resultingestion::readPredictions(dir, Target::Images, QStringLiteral("field"));
    EXPECT_TRUE(i.readable);
    EXPECT_EQ(i.images.value(QStringLiteral("cat.png")), QStringLiteral("1"));
    EXPECT_FALSE(resultingestion::readPredictions(dir, Target::None, QStringLiteral("field")).readable);
}
}  // namespace
