#include "results/predictions.h"
#include "results/resultingestion.h"
#include "support/badfiles.h"
#include "support/testenv.h"

#include <gtest/gtest.h>

namespace {
TEST(TilePredictions, MarkTilesPredictedExactlyOneInFileOrder)
{
    const std::pair<const char*, std::vector<TilePoint>> cases[] = {
        {",index,i,j,filename,label,prediction\n0,1,0,0,f_00.png,0,0\n1,2,2,3,f_23.png,1,1\n", {{2, 3}}},
        {"0,1,2,3,a.png,0,1", {{2, 3}}},                                        // the worker's line, no header
        {"0,1,0,0,a.png,1,1\r\n1,2,0,1,b.png,1,1\r\n", {}},                     // the carriage return stays
        {"0,1,0,0,a.png,1,1 \n1,2,0,1,b.png,1,1.0\n", {}},                      // a trailing blank or decimal point
        {"0,1,0\n0,1,0,0,a.png,1\n0,1,x,0,a.png,1,1\n0,1,4,5,a.png,1,1", {{4, 5}}},  // short lines, bad indices
        {"0,1,5,5,a,1,1\n1,2,0,1,b,1,1\n", {{5, 5}, {0, 1}}},
        {"0,1,6,7,a.png,0,1,0\n1,2,8,9,b.png,0,0,1\n", {{6, 7}}},            // field 6 decides, not the last
        {"0,1,-2,+3,a.png,0,1\n\n1,2,3,4,b.png,0,\n1,2,5,6,c.png,0", {{-2, 3}}},  // empty prediction, six fields
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(predictions::tilePredictions(QString::fromUtf8(text)), expected) << text;
    EXPECT_EQ(predictions::tileListing({{2, 3}, {-1, 10}}), QStringLiteral("2 3\n-1 10"));
    EXPECT_EQ(predictions::tileListing({}), QString());
}

TEST(ImagePredictions, KeyedByFileNameLaterLineWins)
{
    const QHash<QString, QString> got = predictions::imagePredictions(QStringLiteral(
        ",index,i,j,filename,label,prediction\n0,1,1,1,cat.png,0,1\n1,2,2,2,dog.png,1,0\n2,3,3,3,cat.png,0,0\n3,4\n"
        "4,5,5,5,owl.png,0,2,x\n5,6,6,6,bat.png,0,\n6,7,7,7,yak.png,0\n"));
    EXPECT_EQ(got.value(QStringLiteral("cat.png")), QStringLiteral("0"));
    EXPECT_EQ(got.value(QStringLiteral("dog.png")), QStringLiteral("0"));
    EXPECT_EQ(got.value(QStringLiteral("owl.png")), QStringLiteral("2"));  // fields after the seventh do not matter
    EXPECT_TRUE(got.contains(QStringLiteral("bat.png")) && got.value(QStringLiteral("bat.png")).isEmpty());
    EXPECT_FALSE(got.contains(QStringLiteral("filename")));  // the header is not a picture
    EXPECT_EQ(got.size(), 4);
}

// Reading both kinds of prediction file after a run is checked in the training run's tests.
TEST(ResultIngestion, FindsOnlyTheFinishedModelAndReadsNothingMissing)
{
    using resultingestion::Target;
    const QString dir = testenv::freshFolder("ingest");
    EXPECT_TRUE(resultingestion::scanForModel(dir).modelEntries.isEmpty());
    EXPECT_FALSE(resultingestion::readPredictions(dir, Target::Tiles, QStringLiteral("field")).readable);
    for (const char* name : {"my_model.h5", "e0001-0.5-0.5-weights.hdf5", "field_outputlabel.csv"})
        ASSERT_TRUE(badfiles::write(dir + QLatin1Char('/') + QString::fromUtf8(name), "0,1,0,1,field_01.png,1,1\n"));
    EXPECT_EQ(resultingestion::scanForModel(dir).modelEntries, QStringList{QStringLiteral("my_model.h5")});
    EXPECT_FALSE(resultingestion::scanForModel(dir + QStringLiteral("/gone")).error.isEmpty());
    EXPECT_EQ(resultingestion::targetFor(3), Target::None);  // a table: no predictions to show
    EXPECT_FALSE(resultingestion::readPredictions(dir, Target::None, QStringLiteral("field")).readable);
}
}  // namespace
