// The run monitor following a fast stand-in worker as a child process. The real worker's output
// is read in the contract test and followed through the controller in the end-to-end test.
#include "training/ui/runmonitor.h"

#include "support/testenv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QTest>
#include <gtest/gtest.h>

namespace {
const QString kFake = QStringLiteral(KOLVARA_TEST_DATA_DIR "/fake_trainNN.py");

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

QStringList workerArguments(const QString& workspace)
{
    return {kFake, "m.json", workspace, workspace, "custom", "", "4", "3", "Adam", "mean_squared_error", "",
            "field_outputlabel.csv", "0.60", "false", "false", "false", "false", ""};
}

QString fileText(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QStringLiteral("<absent>");
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
        std::vector<int> validX;
        QString early, finished;
        bool over = false;
        auto* process = new QProcess;
        RunMonitor monitor(process, RunMonitor::Run{3, ws, QStringLiteral("field")});
        QObject::connect(&monitor, &RunMonitor::chartUpdated, [&](const ChartPoints& p) { validX = p.valid_x; });
        QObject::connect(&monitor, &RunMonitor::endedEarly, [&](const QString& e) { early = e; over = true; });
        QObject::connect(&monitor, &RunMonitor::trainingFinished, [&](const QString& e) { finished = e; over = true; });
        process->start(QStringLiteral("/usr/bin/python3"), workerArguments(ws));
        ASSERT_TRUE(QTest::qWaitFor([&] { return over; }, 60000)) << k.env;
        EXPECT_FALSE(monitor.following()) << k.env;
        EXPECT_TRUE(early.contains(QString::fromUtf8(k.early))) << k.env;
        EXPECT_EQ(early.isEmpty(), !*k.early) << k.env << early.toStdString();
        EXPECT_EQ(finished.isNull(), bool(*k.early)) << k.env;
        EXPECT_EQ(validX, k.validX) << k.env;
        // All of standard error, in order, is told and kept in the log.
        const QString told = *k.early ? early : finished;
        EXPECT_TRUE(k.validX.empty() || told.startsWith(QStringLiteral("warning: a line on standard error"))) << k.env;
        EXPECT_EQ(fileText(ws + QStringLiteral("/field_error.log")), told) << k.env;
    }
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
        process->start(QStringLiteral("/usr/bin/python3"), workerArguments(ws));
        ASSERT_TRUE(process->waitForStarted());
        pid = process->processId();
    }
    EXPECT_TRUE(watched.isNull());
    EXPECT_FALSE(QFileInfo::exists(QStringLiteral("/proc/%1").arg(pid)));
}
}  // namespace
