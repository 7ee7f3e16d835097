#include "results/chartgeometry.h"
#include "training/checkpoints.h"

#include "support/testenv.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <gtest/gtest.h>
#include <sys/time.h>

namespace {
struct SeriesCase {
    std::vector<const char*> names;
    std::vector<int> epochs;  // positions that carried values, 0 first
    std::vector<int> validPercent;
    std::vector<int> trainPercent;
};

class CheckpointSeries : public ::testing::TestWithParam<SeriesCase> {};

TEST_P(CheckpointSeries, ReadsAccuraciesIntoChartPoints)
{
    const SeriesCase& c = GetParam();
    QStringList names;
    for (const char* n : c.names)
        names << QString::fromUtf8(n);
    const checkpoints::Series s = checkpoints::series(names);
    EXPECT_EQ(s.epochs, c.epochs);
    ASSERT_EQ(s.validation.size(), s.training.size());
    std::vector<int> vx, vy, tx, ty;
    chartgeometry::pointsFromTexts(s.validation, s.epochs, vx, vy);
    chartgeometry::pointsFromTexts(s.training, s.epochs, tx, ty);
    EXPECT_EQ(vy, c.validPercent);
    EXPECT_EQ(ty, c.trainPercent);
    EXPECT_EQ(vx.size(), vy.size());
    EXPECT_EQ(tx.size(), ty.size());
}

INSTANTIATE_TEST_SUITE_P(
    Names, CheckpointSeries,
    ::testing::Values(
        SeriesCase{{}, {0}, {0}, {0}},
        SeriesCase{{"e0001-0.5000-0.6000-weights.hdf5", "e0002-0.7900-0.8125-weights.hdf5"}, {0, 1, 2}, {0, 50, 79}, {0, 60, 81}},
        SeriesCase{{"m-0.8125-0.9001-e03.hdf5"}, {0, 1}, {0, 81}, {0, 90}},
        SeriesCase{{"e01--0.7000---0.3000-weights.hdf5"}, {0, 1}, {0, 70}, {0, 30}},
        SeriesCase{{"a.hdf5", "e2-0.5.hdf5", "e3-1.0000-0.2500-w.hdf5"}, {0, 3}, {0, 100}, {0, 25}},
        // A field that is no number drops that point only; the other list keeps its value.
        SeriesCase{{"e1-abc-0.5000-w.hdf5", "e2-0.6000-nan-w.hdf5"}, {0, 1, 2}, {0, 60}, {0, 50}}));

TEST(CheckpointSeries, KeepsEpochPositionsWhenANameCarriesNothing)
{
    std::vector<int> x, y;
    const checkpoints::Series s = checkpoints::series({"a.hdf5", "e2-0.5000-0.6000-w.hdf5"});
    chartgeometry::pointsFromTexts(s.validation, s.epochs, x, y);
    EXPECT_EQ(x, (std::vector<int>{0, 2}));
}

TEST(CheckpointListing, KeepsOnlyCheckpointNamesInTextOrder)
{
    const QString dir = testenv::scratchFolder() + QStringLiteral("/listing");
    QDir().mkpath(dir + QStringLiteral("/sub.hdf5.d"));
    for (const char* name : {"e0002-0.5-0.5-weights.hdf5", "e0001-0.4-0.4-weights.hdf5", "my_model.h5", ".checkpoint-e0003.partial",
                             "field_outputlabel.csv", "e0010-0.9-0.9-weights.hdf5"}) {
        QFile f(dir + QLatin1Char('/') + QString::fromUtf8(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    const checkpoints::Listing listing = checkpoints::list(dir);
    EXPECT_TRUE(listing.error.isEmpty());
    EXPECT_EQ(listing.names, (QStringList{"e0001-0.4-0.4-weights.hdf5", "e0002-0.5-0.5-weights.hdf5", "e0010-0.9-0.9-weights.hdf5",
                                          "sub.hdf5.d"}));
    EXPECT_FALSE(checkpoints::list(dir + QStringLiteral("/absent")).error.isEmpty());
    EXPECT_FALSE(checkpoints::list(QString()).error.isEmpty());
}
}  // namespace

namespace {
void touch(const QString& path)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
}

// A checkpoint that appears is seen by the next poll, whether the folder changed a moment ago
// or long before, and also when it appears within the same clock tick as the previous change.
TEST(CheckpointWatch, SeesEveryNewCheckpoint)
{
    const QString dir = testenv::scratchFolder() + QStringLiteral("/watch");
    QDir(dir).removeRecursively();
    QDir().mkpath(dir);
    checkpoints::Watch watch(dir);
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    EXPECT_TRUE(watch.poll(now).names.isEmpty());
    touch(dir + QStringLiteral("/e0001-0.5-0.5-weights.hdf5"));
    EXPECT_EQ(watch.poll(now).names.size(), 1);
    touch(dir + QStringLiteral("/e0002-0.5-0.5-weights.hdf5"));  // very likely the same tick
    EXPECT_EQ(watch.poll(now).names.size(), 2);
    // The folder last changed a minute ago: settled.
    const timeval past[2] = {{time_t(now / 1000 - 60), 0}, {time_t(now / 1000 - 60), 0}};
    ASSERT_EQ(utimes(QFile::encodeName(dir).constData(), past), 0);
    EXPECT_EQ(watch.poll(now).names.size(), 2);
    EXPECT_EQ(watch.poll(now).names.size(), 2);
    touch(dir + QStringLiteral("/e0003-0.5-0.5-weights.hdf5"));
    EXPECT_EQ(watch.poll(now).names.size(), 3);
    QDir(dir).removeRecursively();
    EXPECT_FALSE(watch.poll(now).error.isEmpty());
}
}  // namespace
