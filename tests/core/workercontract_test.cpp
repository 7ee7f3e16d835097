// The training worker's captured output (kept with the worker's tests) read the way the
// monitor reads it: progress redraws, checkpoint names, the files left and the arguments.
#include "results/chartgeometry.h"
#include "training/checkpoints.h"
#include "training/progresstext.h"
#include "training/trainnncommand.h"

#include <QFile>
#include <QRegularExpression>
#include <algorithm>
#include <gtest/gtest.h>
#include <numeric>

namespace {
QString captured(const char* name)
{
    QFile f(QStringLiteral(KOLVARA_TEST_DATA_DIR "/trainNN_run/") + QString::fromUtf8(name));
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

// The pieces the worker flushes: every redraw starts with backspaces or a carriage return, and
// every line it prints ends with a line feed.
QStringList writes(const QString& out)
{
    QStringList pieces;
    QString current;
    for (qsizetype k = 0; k < out.size(); ++k) {
        const QChar c = out.at(k);
        const bool startsRedraw = (c == QLatin1Char('\b') || c == QLatin1Char('\r'))
                                  && (k == 0 || (out.at(k - 1) != QLatin1Char('\b')));
        if (startsRedraw && !current.isEmpty()) {
            pieces << current;
            current.clear();
        }
        current += c;
        if (c == QLatin1Char('\n')) {
            pieces << current;
            current.clear();
        }
    }
    if (!current.isEmpty())
        pieces << current;
    return pieces;
}

class CapturedRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        stdoutText = captured("stdout.txt");
        files = captured("files.txt").split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        args = captured("args.txt").split(QLatin1Char('\n'));
        if (stdoutText.isEmpty() || args.size() < 17)
            GTEST_SKIP() << "tests/data/trainNN_run is absent";
    }
    QString stdoutText;
    QStringList files;
    QStringList args;
};

TEST_F(CapturedRun, EveryEtaRedrawYieldsABarAndItsEta)
{
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
}

TEST_F(CapturedRun, LeavesOneReadableCheckpointPerEpochAndTheResults)
{
    const int epochs = trainnn::epochCount(args.at(6)).value_or(0);
    QStringList names;
    for (const QString& f : files) {
        if (checkpoints::isCheckpointName(f))
            names << f;
    }
    std::sort(names.begin(), names.end());
    ASSERT_EQ(names.size(), epochs);
    const checkpoints::Series s = checkpoints::series(names);
    std::vector<int> vx, vy, tx, ty;
    chartgeometry::pointsFromTexts(s.validation, s.epochs, vx, vy);
    chartgeometry::pointsFromTexts(s.training, s.epochs, tx, ty);
    std::vector<int> expectedX(size_t(epochs) + 1);
    std::iota(expectedX.begin(), expectedX.end(), 0);
    EXPECT_EQ(vx, expectedX);
    EXPECT_EQ(tx, expectedX);
    for (int v : vy)
        EXPECT_TRUE(v >= 0 && v <= 100) << v;
    EXPECT_TRUE(std::any_of(files.begin(), files.end(), [](const QString& f) { return f.contains(QStringLiteral("my_model")); }));
    EXPECT_TRUE(files.contains(QStringLiteral("NNMetrics.png")));
}

TEST_F(CapturedRun, OurCommandLineMatchesTheOneTheWorkerRan)
{
    trainnn::Request r;
    r.scriptPath = QStringLiteral("trainNN.py");
    r.modelFile = args[0];
    r.workspace = args[1];
    r.modelname = args[3];
    r.resourceModelFile = args[9];
    r.labelDocument = args[10];
    r.strategy.trainingfolder = args[2];
    r.strategy.weights = args[4];
    r.strategy.batchsize = args[5];
    r.strategy.trainingeporch = args[6];
    r.strategy.optimizesel = args[7];
    r.strategy.lossfuncsel = args[8];
    r.strategy.trainratio = args[11].toDouble();
    r.strategy.img_transfer = args[12] == QLatin1String("true");
    r.strategy.img_random = args[13] == QLatin1String("true");
    r.strategy.img_rotate = args[14] == QLatin1String("true");
    r.strategy.img_distort = args[15] == QLatin1String("true");
    r.strategy.trainingdoc = args[16];
    EXPECT_EQ(trainnn::arguments(r).mid(1), args.mid(0, 17));
}
}  // namespace
