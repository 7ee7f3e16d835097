// The run monitor: progress redraws, checkpoints, its accuracy chart and a captured real run of the worker.
#include "results/chartgeometry.h"
#include "support/badfiles.h"
#include "support/testenv.h"
#include "training/checkpoints.h"
#include "training/progresstext.h"
#include "training/runoutcome.h"
#include "training/trainnncommand.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <gtest/gtest.h>
#include <sys/time.h>

namespace {
TEST(ProgressText, ExtractsTheLastRedrawCutBeforeTheLoss)
{
    const std::pair<const char*, const char*> cases[] = {  // chunk, progress (nullptr: none)
        {"Epoch 1/3\n\r12/50 [====>.....] - ETA: 1:05 - loss: 0.4123", "12/50 [====>_____] - ETA: 1:05 "},
        {"\r1/900 [>...] - ETA: 1:02:03 - loss: 0.9", "1/900 [>___] - ETA: 1:02:03 "},
        {"\r1/4 [>...] - ETA: 3s - loss: 0.25\b\b\b\r2/4 [=>..] - ETA: 2s - loss: 0.20", "2/4 [=>__] - ETA: 2s "},
        // the epoch's closing line after an ETA redraw
        {"\r1/2 [>.] - ETA: 0s - loss: 1.0\b\r2/2 [==] - 0s 7ms/step - loss: 0.6 - val_loss: 1.3\n", "2/2 [==] - 0s "},
        {"\r2/2 [==] - 0s 7ms/step - loss: 0.6\n", nullptr},
        {"", nullptr},
        {"ETA: 5s - loss\r12/50 [=>..] - ETA: 1:0", nullptr},
        {"12/50 [=>..] - ETA: 5s - loss: 0.1\r", nullptr},
    };
    for (const auto& [chunk, progress] : cases) {
        const std::optional<QString> got = progresstext::chunkProgress(QString::fromUtf8(chunk));
        EXPECT_EQ(got, progress ? std::optional<QString>(QString::fromUtf8(progress)) : std::nullopt) << chunk;
    }
    // The state names the epoch in progress, never past the last.
    const std::optional<QString> bar = QStringLiteral("2/4 [=>__] - ETA: 2s ");
    EXPECT_EQ(progresstext::stateText(2, 3, bar), "Training state in epoch 2 \n2/4 [=>__] - ETA: 2s ");
    EXPECT_EQ(progresstext::stateText(4, 3, std::nullopt), "Training state in epoch 3 \n");
}

TEST(RunOutcome, ReadsTheEarlyStopAndTheKeptEpochFromWholeLines)
{
    const struct Case { QStringList chunks; std::optional<int> earlyStop; const char* kept; } cases[] = {
        {{"Epoch 3: saving model to /ws/e0003.hdf5\nEpoch 3: early st", "opping\nkept epoch 2 of 3: validation acc", "uracy 0.81\nModel saved\n"},
         3, "kept epoch 2 of 3: validation accuracy 0.81"},
        // after an epoch's last redraw, the line feed ending it
        {{"\b\b\r1/2 [>.] - ETA: 0s\b\b\b\r2/2 [==] - 0s - val_accuracy: 0.5\nEpoch 2: early stopping\n"}, 2, ""},
        // other lines that merely mention it, and a line still unfinished
        {{"Epoch 2: early stopping later\n", "see Epoch 4: early stopping\n", "kept epoch 1 of 2: no validation data"}, std::nullopt, ""},
    };
    for (const Case& c : cases) {
        RunOutcome outcome;
        for (const QString& chunk : c.chunks)
            outcome.feed(chunk);
        EXPECT_EQ(outcome.earlyStopEpoch(), c.earlyStop) << c.chunks.join('|').toStdString();
        EXPECT_EQ(outcome.keptEpoch(), QString::fromUtf8(c.kept)) << c.chunks.join('|').toStdString();
    }
}

TEST(CheckpointSeries, ReadsAccuraciesIntoChartPoints)
{
    const struct Case {
        QStringList names;
        std::vector<int> epochs, validPercent, trainPercent;  // epochs: positions that carried values, 0 first
    } cases[] = {
        {{}, {0}, {0}, {0}},
        {{"e0001-0.5000-0.6000-weights.hdf5", "e0002-0.7900-0.8125-weights.hdf5"}, {0, 1, 2}, {0, 50, 79}, {0, 60, 81}},
        {{"m-0.8125-0.9090-e03.hdf5"}, {0, 1}, {0, 81}, {0, 90}},  // percentages truncated, not rounded
        {{"e01--0.7000---0.3000-weights.hdf5"}, {0, 1}, {0, 70}, {0, 30}},
        {{"a.hdf5", "e2-0.5.hdf5", "e3-1.0000-0.2500-w.hdf5"}, {0, 3}, {0, 100}, {0, 25}},  // positions kept
        // A field that is no number drops that point only; the other list keeps its value.
        {{"e1-abc-0.5000-w.hdf5", "e2-0.6000-nan-w.hdf5"}, {0, 1, 2}, {0, 60}, {0, 50}},
    };
    for (const Case& c : cases) {
        const checkpoints::Series s = checkpoints::series(c.names);
        EXPECT_EQ(s.epochs, c.epochs) << c.names.join(' ').toStdString();
        std::vector<int> vx, vy, tx, ty;
        chartgeometry::pointsFromTexts(s.validation, s.epochs, vx, vy);
        chartgeometry::pointsFromTexts(s.training, s.epochs, tx, ty);
        EXPECT_EQ(vy, c.validPercent);
        EXPECT_EQ(ty, c.trainPercent);
        EXPECT_EQ(std::make_pair(vx.size(), tx.size()), std::make_pair(vy.size(), ty.size()));
        if (vy.size() == c.epochs.size())
            EXPECT_EQ(vx, c.epochs);
    }
}

TEST(CheckpointListing, KeepsOnlyCheckpointNamesInTextOrder)
{
    const QString dir = testenv::scratchFolder() + QStringLiteral("/listing");
    QDir().mkpath(dir + QStringLiteral("/sub.hdf5.d"));
    for (const char* name : {"e0002-0.5-0.5-weights.hdf5", "e0001-0.4-0.4-weights.hdf5", "my_model.h5", ".checkpoint-e0003.partial",
                             "field_outputlabel.csv", "e0010-0.9-0.9-weights.hdf5"})
        EXPECT_TRUE(badfiles::write(dir + QLatin1Char('/') + QString::fromUtf8(name), {}));
    const checkpoints::Listing listing = checkpoints::list(dir);
    EXPECT_TRUE(listing.error.isEmpty());
    EXPECT_EQ(listing.names, (QStringList{"e0001-0.4-0.4-weights.hdf5", "e0002-0.5-0.5-weights.hdf5", "e0010-0.9-0.9-weights.hdf5",
                                          "sub.hdf5.d"}));
    EXPECT_FALSE(checkpoints::list(dir + QStringLiteral("/absent")).error.isEmpty());
    EXPECT_FALSE(checkpoints::list(QString()).error.isEmpty());
}

// A new checkpoint is seen by the next poll whether the folder changed a moment ago, long
// before, or within the same clock tick as the previous change.
TEST(CheckpointWatch, SeesEveryNewCheckpoint)
{
    const QString dir = testenv::freshFolder("watch");
    checkpoints::Watch watch(dir);
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    EXPECT_TRUE(watch.poll(now).names.isEmpty());
    EXPECT_TRUE(badfiles::write(dir + QStringLiteral("/e0001-0.5-0.5-weights.hdf5"), {}));
    EXPECT_EQ(watch.poll(now).names.size(), 1);
    EXPECT_TRUE(badfiles::write(dir + QStringLiteral("/e0002-0.5-0.5-weights.hdf5"), {}));  // very likely the same tick
    EXPECT_EQ(watch.poll(now).names.size(), 2);
    const timeval past[2] = {{time_t(now / 1000 - 60), 0}, {time_t(now / 1000 - 60), 0}};  // settled a minute ago
    ASSERT_EQ(utimes(QFile::encodeName(dir).constData(), past), 0);
    EXPECT_EQ(watch.poll(now).names.size(), 2);
    EXPECT_TRUE(badfiles::write(dir + QStringLiteral("/e0003-0.5-0.5-weights.hdf5"), {}));
    EXPECT_EQ(watch.poll(now).names.size(), 3);
    QDir(dir).removeRecursively();
    EXPECT_FALSE(watch.poll(now).error.isEmpty());
}

ChartState configured(int epochs)
{
    ChartState s;
    s.rownum = 100;
    s.colnum = epochs;
    s.checkstate.insert(s.checkstate.begin(), 1);
    s.drawsize = QSizeF(chartgeometry::kDrawSide, chartgeometry::kDrawSide);
    return s;
}

// Where the grid, ticks and points go is drawn and checked through the result view.
TEST(ChartGrid, ManyEpochsShareALineAndNoRowsOrColumnsDrawOnlyTheBaseView)
{
    const std::optional<chartgeometry::Geometry> narrow = chartgeometry::layout(configured(500));
    ASSERT_TRUE(narrow);  // columns narrower than a point collapse onto one line
    EXPECT_EQ(std::make_pair(narrow->xstep, narrow->grid.size()), std::make_pair(0, size_t(200)));
    ChartState noRows = configured(5);
    noRows.rownum.reset();
    for (const ChartState& s : {ChartState{}, configured(0), configured(-3), noRows})
        EXPECT_FALSE(chartgeometry::layout(s));
}

// ---- A captured run of the real worker -------------------------------------------------------

QString captured(const char* name)
{
    return QString::fromUtf8(testenv::readAll(QStringLiteral(KOLVARA_TEST_DATA_DIR "/trainNN_run/") + QString::fromUtf8(name)));
}

// The pieces the worker flushes: a redraw starts with backspaces or a carriage return; a line ends with a line feed.
QStringList writes(const QString& out)
{
    static const QRegularExpression start(QStringLiteral("(?<!\b)(?=[\b\r])|(?<=\n)"));
    return out.split(start);
}

TEST(CapturedRun, EveryEtaRedrawYieldsABarTheKeptEpochIsReadAndOurCommandLineMatchesTheOneTheWorkerRan)
{
    const QString stdoutText = captured("stdout.txt");
    const QStringList args = captured("args.txt").split(QLatin1Char('\n'));
    ASSERT_FALSE(stdoutText.isEmpty() || args.size() < 21) << "tests/data/trainNN_run/stdout.txt or args.txt is missing";
    static const QRegularExpression shape(QStringLiteral("^ *\\d+/\\d+ \\[[=>_]*\\] - ETA: (\\d+s|\\d+:\\d\\d|\\d+:\\d\\d:\\d\\d) $"));
    int shown = 0;
    for (const QString& piece : writes(stdoutText)) {
        if (!piece.contains(QStringLiteral("ETA")))
            continue;
        const std::optional<QString> progress = progresstext::chunkProgress(piece);
        ASSERT_TRUE(progress) << piece.toStdString();
        EXPECT_TRUE(shape.match(*progress).hasMatch()) << progress->toStdString();
        ++shown;
    }
    EXPECT_GT(shown, 0);
    RunOutcome outcome;
    for (const QString& piece : writes(stdoutText))
        outcome.feed(piece);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^kept epoch 2 of 2: validation accuracy \\d\\.\\d\\d$")).match(outcome.keptEpoch()).hasMatch())
        << outcome.keptEpoch().toStdString();
    EXPECT_FALSE(outcome.earlyStopEpoch());

    trainnn::Request r;
    r.scriptPath = QStringLiteral("trainNN.py");
    std::tie(r.modelFile, r.workspace, r.modelname, r.resourceModelFile, r.labelDocument) =
        std::tie(args[0], args[1], args[3], args[9], args[10]);
    TrainingStrategy& s = r.strategy;
    std::tie(s.trainingfolder, s.weights, s.batchsize, s.trainingeporch, s.optimizesel, s.lossfuncsel, s.trainingdoc) =
        std::tie(args[2], args[4], args[5], args[6], args[7], args[8], args[16]);
    s.trainratio = args[11].toDouble();
    const auto flag = [&](int k) { return args[k] == QLatin1String("true"); };
    std::tie(s.img_transfer, s.img_random, s.img_rotate, s.img_distort) = std::make_tuple(flag(12), flag(13), flag(14), flag(15));
    s.keepbestepoch = flag(19);
    s.patience = args[20].toInt();
    s.stopearly = s.patience > 0;
    EXPECT_EQ(trainnn::arguments(r).mid(1, 21), args.mid(0, 21));
}
}  // namespace
