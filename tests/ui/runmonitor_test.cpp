// The run monitor following real child processes: a fast stand-in worker, a playback of the
// real worker's captured output, and the real worker itself.
#include "training/ui/runmonitor.h"

#include "support/testenv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QTest>
#include <gtest/gtest.h>

namespace {
const QString kData = QStringLiteral(KOLVARA_TEST_DATA_DIR);
const QString kFake = kData + QStringLiteral("/fake_trainNN.py");

// Sets an environment variable for one test; the worker inherits it.
struct ScopedEnv {
    QByteArray name;
    ScopedEnv(const char* n, const QByteArray& value) : name(n) { qputenv(n, value); }
    ~ScopedEnv() { qunsetenv(name.constData()); }
};

QString freshWorkspace()
{
    const QString dir = testenv::scratchFolder() + QStringLiteral("/monitor_")
                        + QString::fromUtf8(::testing::UnitTest::GetInstance()->current_test_info()->name());
    QDir(dir).removeRecursively();
    QDir().mkpath(dir);
    QFile csv(dir + QStringLiteral("/field_outputlabel.csv"));
    csv.open(QIODevice::WriteOnly);
    csv.write("index,i,j,filename,label\n1,0,0,field_00.png,1\n2,0,1,field_01.png,0\n");
    return dir;
}

QStringList workerArguments(const QString& script, const QString& workspace, int epochs)
{
    return {script, "m.json", workspace, workspace, "custom", "", "4", QString::number(epochs), "Adam", "mean_squared_error", "",
            "field_outputlabel.csv", "0.60", "false", "false", "false", "false", ""};
}

QString fileText(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QStringLiteral("<absent>");
}

struct Followed {
    std::vector<ChartPoints> charts;
    QStringList states;
    QString early;
    QString finished;
    bool over = false;
    QString firstLine(qsizetype k) const { return states.value(k < 0 ? states.size() + k : k).section(QLatin1Char('\n'), 0, 0); }
};

// Runs `arguments` under a monitor until it reports the run over.
Followed follow(const QStringList& arguments, int epochs, const QString& workspace)
{
    Followed seen;
    auto* process = new QProcess;
    RunMonitor monitor(process, RunMonitor::Run{epochs, workspace, QStringLiteral("field")});
    QObject::connect(&monitor, &RunMonitor::chartUpdated, [&seen](const ChartPoints& p) { seen.charts.push_back(p); });
    QObject::connect(&monitor, &RunMonitor::stateChanged, [&seen](const QString& s) { seen.states << s; });
    QObject::connect(&monitor, &RunMonitor::endedEarly, [&seen](const QString& e) { seen.early = e; seen.over = true; });
    QObject::connect(&monitor, &RunMonitor::trainingFinished, [&seen](const QString& e) { seen.finished = e; seen.over = true; });
    process->start(QStringLiteral("/usr/bin/python3"), arguments);
    EXPECT_TRUE(QTest::qWaitFor([&seen] { return seen.over; }, 60000));
    EXPECT_FALSE(monitor.following());
    return seen;
}

struct Ending {
    const char* env;
    const char* early;  // what the early end says; empty: the run finishes
    std::vector<int> validX;  // the last chart's epochs; empty: no chart at all
};

TEST(RunMonitor, FinishedRunsEarlyEndsAndSilentWorkersAreTold)
{
    const Ending cases[] = {
        {"FAKE_TRAINNN_FAIL_AFTER", "simulated failure in epoch 2", {0, 1}},
        {"FAKE_TRAINNN_SILENT", "could not read the model document", {}},
        {"FAKE_TRAINNN_QUIET", "", {0, 1, 2, 3}},  // checkpoints without further output still count
        {"FAKE_TRAINNN_STEPS", "", {0, 1, 2, 3}},  // a plain run, one redraw an epoch
    };
    for (const Ending& k : cases) {
        const QString ws = freshWorkspace();
        ScopedEnv env(k.env, "1");
        const Followed seen = follow(workerArguments(kFake, ws, 3), 3, ws);
        EXPECT_TRUE(seen.early.contains(QString::fromUtf8(k.early))) << k.env;
        EXPECT_EQ(seen.early.isEmpty(), !*k.early) << k.env << seen.early.toStdString();
        EXPECT_EQ(seen.finished.isNull(), bool(*k.early)) << k.env;
        EXPECT_EQ(seen.charts.empty() ? std::vector<int>{} : seen.charts.back().valid_x, k.validX) << k.env;
        // All of standard error, in order, is told and kept in the log.
        const QString told = *k.early ? seen.early : seen.finished;
        EXPECT_TRUE(k.validX.empty() || told.startsWith(QStringLiteral("warning: a line on standard error"))) << k.env;
        EXPECT_EQ(fileText(ws + QStringLiteral("/field_error.log")), told) << k.env;
    }
}

TEST(RunMonitor, PlaybackOfTheRealWorkersCapturedRun)
{
    const QString capture = kData + QStringLiteral("/trainNN_run");
    if (!QFile::exists(capture + QStringLiteral("/stdout.txt")))
        GTEST_SKIP() << "tests/data/trainNN_run is absent";
    // The chart must end holding what the captured checkpoint names carry, as percentages.
    QStringList names = fileText(capture + QStringLiteral("/files.txt")).split(QLatin1Char('\n')).filter(QStringLiteral(".hdf5"));
    names.sort();
    const int epochs = int(names.size());
    ASSERT_GT(epochs, 0);
    std::vector<int> xs{0}, valid{0}, train{0};
    for (const QString& name : names) {
        xs.push_back(int(xs.size()));
        valid.push_back(int(name.section(QLatin1Char('-'), 1, 1).toFloat() * 100.0f));
        train.push_back(int(name.section(QLatin1Char('-'), 2, 2).toFloat() * 100.0f));
    }
    const QString ws = freshWorkspace();
    QStringList arguments = workerArguments(kData + QStringLiteral("/replay_trainNN.py"), ws, epochs);
    arguments.insert(1, capture);
    const Followed seen = follow(arguments, epochs, ws);
    EXPECT_TRUE(seen.early.isEmpty()) << seen.early.toStdString();
    ASSERT_EQ(seen.charts.size(), size_t(epochs));
    EXPECT_EQ(seen.charts.back().valid_x, xs);
    EXPECT_EQ(seen.charts.back().valid_y, valid);
    EXPECT_EQ(seen.charts.back().train_y, train);
    // Which redraws share a piece of output depends on timing; the contract test checks the lines.
    EXPECT_EQ(seen.firstLine(-1), QStringLiteral("Training state in epoch %1 ").arg(epochs));
}

TEST(RunMonitor, FollowsTheRealTrainingWorker)
{
    // The worker's own fixture lays out a small tile run and prints its 17 arguments.
    QProcess fixture;
    fixture.setWorkingDirectory(QStringLiteral(KOLVARA_SOURCE_DIR));
    fixture.start(QStringLiteral("/usr/bin/python3"),
                  {"-c", "import sys; sys.path.insert(0, 'tests/python'); import trainnn_fixture as f; "
                         "print('\\n'.join(f.tile_run(sys.argv[1])[0]))",
                   freshWorkspace()});
    const bool ran = fixture.waitForFinished(60000) && fixture.exitCode() == 0;
    QStringList arguments = QString::fromUtf8(fixture.readAllStandardOutput()).split(QLatin1Char('\n')).mid(0, 17);
    if (!ran || arguments.size() != 17)
        GTEST_SKIP() << "the worker's tile fixture could not be run";
    const QString ws = arguments[1];
    const int epochs = arguments[6].toInt();
    arguments.prepend(QStringLiteral(KOLVARA_SOURCE_DIR "/workers/trainNN.py"));
    const Followed seen = follow(arguments, epochs, ws);
    EXPECT_TRUE(seen.early.isEmpty()) << seen.early.toStdString();
    ASSERT_EQ(seen.charts.size(), size_t(epochs));
    EXPECT_EQ(seen.charts.back().valid_x.size(), size_t(epochs) + 1);
    EXPECT_TRUE(std::any_of(seen.states.begin(), seen.states.end(), [](const QString& s) { return s.contains(QStringLiteral("] - ETA: ")); }));
    EXPECT_TRUE(QFile::exists(ws + QStringLiteral("/my_model.h5")));
}

TEST(RunMonitor, EndsAWorkerStillRunningWhenDestroyed)
{
    const QString ws = freshWorkspace();
    ScopedEnv slow("FAKE_TRAINNN_STEP_SECONDS", "5");
    auto* process = new QProcess;
    QPointer<QProcess> watched(process);
    qint64 pid = 0;
    {
        RunMonitor monitor(process, RunMonitor::Run{3, ws, QStringLiteral("field")});
        process->start(QStringLiteral("/usr/bin/python3"), workerArguments(kFake, ws, 3));
        ASSERT_TRUE(process->waitForStarted());
        pid = process->processId();
    }
    EXPECT_TRUE(watched.isNull());
    EXPECT_FALSE(QFileInfo::exists(QStringLiteral("/proc/%1").arg(pid)));
}
}  // namespace
