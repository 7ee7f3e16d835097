// Strategy Config to results through the controller, with a scripted prompter and a fast
// stand-in for the training worker.
#include "results/ui/metricimageview.h"
#include "results/ui/realtimeimageview.h"
#include "training/ui/runmonitor.h"
#include "training/ui/strategysheetview.h"

#include "worker/paths.h"

#include "support/fixture.h"
#include "support/testenv.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QTest>
#include <gtest/gtest.h>
#include <functional>

namespace {
const QString kFakeWorker = QStringLiteral(KOLVARA_TEST_DATA_DIR "/fake_trainNN.py");

struct ScopedEnv {
    QByteArray name;
    ScopedEnv(const char* n, const QByteArray& value) : name(n) { qputenv(n, value); }
    ~ScopedEnv() { qunsetenv(name.constData()); }
};

QString testFolder()
{
    const QString dir = testenv::scratchFolder() + QStringLiteral("/run_")
                        + QString::fromUtf8(::testing::UnitTest::GetInstance()->current_test_info()->name());
    QDir(dir).removeRecursively();
    QDir().mkpath(dir);
    return dir;
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QString readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

// A 2 x 3 grid on field.png with tiles (0,1) and (1,2) marked, and a pre-trained model chosen.
void openMarkedGrid(ViewController* c, const QString& folder)
{
    QImage image(60, 40, QImage::Format_RGB32);
    image.fill(Qt::darkGreen);
    image.save(folder + QStringLiteral("/field.png"));
    c->inputdatatype = 1;
    c->urlarray = {folder + QStringLiteral("/field.png")};
    c->singleimg = image;
    c->havesingleimg = true;
    c->havegridimg = true;
    c->gridmodel.imagesize = QSizeF(60, 40);
    c->gridmodel.viewsize = QSizeF(60, 40);
    c->gridmodel.rownum = 2;
    c->gridmodel.colnum = 3;
    c->gridmodel.gridstate = {1};
    c->gridmodel.clickpoints = {{0, 1}, {1, 2}};
    c->modelname = QStringLiteral("ResNet50");
    c->resourcename = QStringLiteral("resnet50");
    c->modeljson = nlohmann::ordered_json::parse(R"({"class_name":"Functional","config":{"layers":[]}})");
    c->trainNNScript = kFakeWorker;
}

// Two pictures opened as a folder input, labelled cat "1" and dog "0".
void openLabelledPictures(ViewController* c, const QString& folder)
{
    QImage picture(32, 32, QImage::Format_RGB32);
    picture.fill(Qt::gray);
    c->urlarray.clear();
    for (const char* name : {"cat", "dog"}) {
        const QString path = folder + QStringLiteral("/%1.png").arg(QString::fromUtf8(name));
        picture.save(path);
        c->urlarray << path;
    }
    c->browsermodel.urlarray = c->urlarray;
    c->browsermodel.data = {{QStringLiteral("cat"), QStringLiteral("1")}, {QStringLiteral("dog"), QStringLiteral("0")}};
    c->inputdatatype = 2;
}

using FormSetup = std::function<void(strategysheetview&)>;

// Continue past the checklist, fill the strategy form, then press Start!.
void scriptStrategy(ScriptedPrompter& prompter, FormSetup setup)
{
    prompter.answerAlert(1);
    prompter.answerAlert([setup](const AlertRequest& request) {
        auto* form = request.accessory ? request.accessory->findChild<strategysheetview*>() : nullptr;
        if (!form)
            return 1;
        setup(*form);
        return 0;
    });
}

FormSetup trainOn(ViewController* c, const char* epochs = "3")
{
    return [c, epochs](strategysheetview& form) {
        form.trainingfolder->setText(c->datadirectory);
        form.trainingeporch->setText(QString::fromUtf8(epochs));
    };
}

bool waitForMessage(ScriptedPrompter& prompter, const QString& message)
{
    return QTest::qWaitFor([&] { return prompter.messages().contains(message); }, 60000);
}

const AlertRequest* alertWith(const ScriptedPrompter& prompter, const QString& message)
{
    for (const AlertRequest& a : prompter.alerts())
        if (a.message == message)
            return &a;
    return nullptr;
}

TEST(TrainingRun, MonitoredRunEndsWithPredictionsOnTheGridAndTheMetricsImage)
{
    ControllerFixture f;
    ViewController* c = f.controller;
    const QString folder = testFolder();
    openMarkedGrid(c, folder);
    const QString argsFile = folder + QStringLiteral("/args.txt");
    ScopedEnv record("FAKE_TRAINNN_ARGS", argsFile.toUtf8());
    scriptStrategy(f.prompter, trainOn(c));
    c->strategyconfig();

    EXPECT_EQ(f.prompter.messages().value(1), QStringLiteral("Training Strategy Panel"));
    EXPECT_EQ(f.prompter.alerts().value(1).buttons, (QStringList{"Start!", "Cancel"}));
    ASSERT_TRUE(c->runmonitor);
    EXPECT_TRUE(c->ResultViewBtn->isEnabled());
    ASSERT_TRUE(waitForMessage(f.prompter, QStringLiteral("Computation finished!"))) << f.prompter.messages().join(" | ").toStdString();

    EXPECT_TRUE(c->gridmodel.hasprediction);
    EXPECT_EQ(c->gridmodel.predictpoints, (std::vector<TilePoint>{{0, 1}, {1, 2}}));
    EXPECT_EQ(c->trainingstate->text().section(QLatin1Char('\n'), 0, 0), QStringLiteral("Training state in epoch 3 "));
    EXPECT_EQ(c->painres->state.colnum, 3);
    EXPECT_EQ(c->painres->state.valid_x, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(c->painres->state.train_y, (std::vector<int>{0, 70, 80, 90}));
    EXPECT_EQ(c->documentView(), c->metricview);
    EXPECT_EQ(c->lastresultview, c->metricview);
    EXPECT_EQ(static_cast<MetricImageView*>(c->metricview)->image().size(), QSize(60, 40));
    EXPECT_TRUE(readFile(c->datadirectory + QStringLiteral("/field_error.log")).startsWith(QStringLiteral("warning:")));

    const QStringList args = readFile(argsFile).split(QLatin1Char('\n'));
    ASSERT_GE(args.size(), 17);
    EXPECT_TRUE(args[0].endsWith(QStringLiteral("/custommodel_temp.json")));
    EXPECT_EQ(args.mid(1, 16), (QStringList{c->datadirectory, c->datadirectory, "ResNet50", "", "4", "3", "Adam", "mean_squared_error",
                                            paths::resourcePath("resnet50", "json"), "field_outputlabel.csv", "0.60", "false", "false", "false", "false", ""}));
    // The pre-trained architecture, written compactly, is the model file.
    EXPECT_EQ(readFile(args[0]), QStringLiteral(R"({"class_name":"Functional","config":{"layers":[]}})"));
}

TEST(TrainingRun, ChartShowsEachEpochAsItsCheckpointAppears)
{
    ControllerFixture f;
    ViewController* c = f.controller;
    openMarkedGrid(c, testFolder());
    ScopedEnv slow("FAKE_TRAINNN_STEP_SECONDS", "0.05");
    scriptStrategy(f.prompter, trainOn(c, "4"));
    c->strategyconfig();
    ASSERT_TRUE(c->trainingstate);
    EXPECT_EQ(c->trainingstate->text(), QStringLiteral("Prepare to train ......"));
    ASSERT_TRUE(c->runmonitor);
    EXPECT_TRUE(c->painres->state.valid_x.empty());
    std::vector<size_t> sizes;
    QObject::connect(c->runmonitor, &RunMonitor::chartUpdated, c, [&] { sizes.push_back(c->painres->state.valid_x.size()); });
    ASSERT_TRUE(waitForMessage(f.prompter, QStringLiteral("Computation finished!")));
    EXPECT_EQ(sizes, (std::vector<size_t>{2, 3, 4, 5}));
}

TEST(TrainingRun, EarlyEndShowsTheWorkersErrorAndKeepsEarlierPredictions)
{
    ControllerFixture f;
    ViewController* c = f.controller;
    openMarkedGrid(c, testFolder());
    c->gridmodel.predictpoints = {{1, 1}};
    ScopedEnv fail("FAKE_TRAINNN_FAIL_AFTER", "1");
    scriptStrategy(f.prompter, trainOn(c));
    c->strategyconfig();
    const QString message = QStringLiteral("Training ended before all epochs were finished.");
    ASSERT_TRUE(waitForMessage(f.prompter, message));
    const AlertRequest* alert = alertWith(f.prompter, message);
    EXPECT_EQ(alert->style, AlertStyle::Critical);
    EXPECT_TRUE(alert->informative.contains(QStringLiteral("simulated failure in epoch 2: out of memory")));
    EXPECT_EQ(readFile(c->datadirectory + QStringLiteral("/field_error.log")), alert->informative);
    EXPECT_FALSE(f.prompter.messages().contains(QStringLiteral("Computation finished!")));
    EXPECT_EQ(c->gridmodel.predictpoints, (std::vector<TilePoint>{{1, 1}}));
    EXPECT_FALSE(c->runmonitor->following());
}

TEST(TrainingRun, WorkerExitingWithoutItsModelEndsTheWaitWithItsError)
{
    ControllerFixture f;
    ViewController* c = f.controller;
    openMarkedGrid(c, testFolder());
    ScopedEnv noModel("FAKE_TRAINNN_NO_MODEL", "1");
    scriptStrategy(f.prompter, trainOn(c, "2"));
    c->strategyconfig();
    const QString message = QStringLiteral("Training finished without a trained model.");
    ASSERT_TRUE(waitForMessage(f.prompter, message));
    EXPECT_TRUE(alertWith(f.prompter, message)->informative.contains(QStringLiteral("could not save my_model.h5")));
    EXPECT_FALSE(c->gridmodel.hasprediction);
}

TEST(TrainingRun, SecondStrategyConfigWhileFollowingIsRefused)
{
    ControllerFixture f;
    ViewController* c = f.controller;
    openMarkedGrid(c, testFolder());
    ScopedEnv slow("FAKE_TRAINNN_STEP_SECONDS", "0.05");
    scriptStrategy(f.prompter, trainOn(c, "2"));
    c->strategyconfig();
    RunMonitor* first = c->runmonitor;
    ASSERT_TRUE(first && first->following());
    f.prompter.clear();
    c->strategyconfig();
    EXPECT_EQ(f.prompter.messages(),
              QStringList{QStringLiteral("A training run is in progress. Wait for it to finish before configuring another.")});
    EXPECT_EQ(c->runmonitor, first);
    ASSERT_TRUE(waitForMessage(f.prompter, QStringLiteral("Computation finished!")));
    EXPECT_EQ(c->gridmodel.predictpoints.size(), 2u);
}

TEST(TrainingRun, ExportWhileFollowingLeavesTheWorkspaceToTheWorker)
{
    ControllerFixture f;
    ViewController* c = f.controller;
    openMarkedGrid(c, testFolder());
    ScopedEnv slow("FAKE_TRAINNN_STEP_SECONDS", "0.05");
    scriptStrategy(f.prompter, trainOn(c, "2"));
    c->strategyconfig();
    ASSERT_TRUE(c->runmonitor && c->runmonitor->following());
    f.prompter.answerPaths({testenv::scratchFolder()});
    c->outputresult();
    EXPECT_EQ(f.prompter.messages().last(), QStringLiteral("A training run is in progress. Export its results when it has finished."));
    EXPECT_TRUE(f.prompter.fileRequests().isEmpty());
    ASSERT_TRUE(waitForMessage(f.prompter, QStringLiteral("Computation finished!")));
    EXPECT_EQ(c->painres->state.valid_x.size(), 3u);  // both checkpoints were left in place
}

TEST(TrainingRun, PureTestMarksPredictedTilesWithoutMetrics)
{
    ControllerFixture f;
    ViewController* c = f.controller;
    openMarkedGrid(c, testFolder());
    scriptStrategy(f.prompter, [](strategysheetview&) {});
    c->strategyconfig();
    EXPECT_TRUE(f.prompter.messages().contains(QStringLiteral("No training dataset, will only perform validation.")));
    EXPECT_EQ(f.prompter.messages().last(), QStringLiteral("Pure Test Computation finished!"));
    EXPECT_TRUE(c->gridmodel.hasprediction);
    EXPECT_EQ(c->gridmodel.predictpoints, (std::vector<TilePoint>{{0, 1}, {1, 2}}));
    EXPECT_EQ(c->documentView(), c->blankview);
    EXPECT_FALSE(c->runmonitor);
}

TEST(TrainingRun, FailedPureTestIsReportedNotFinished)
{
    ControllerFixture f;
    ViewController* c = f.controller;
    openMarkedGrid(c, testFolder());
    ScopedEnv silent("FAKE_TRAINNN_SILENT", "1");
    scriptStrategy(f.prompter, [](strategysheetview&) {});
    c->strategyconfig();
    EXPECT_EQ(f.prompter.messages().last(), QStringLiteral("The test run failed."));
    EXPECT_TRUE(f.prompter.alerts().last().informative.contains(QStringLiteral("could not read the model document")));
    EXPECT_FALSE(c->gridmodel.hasprediction);
}

TEST(TrainingRun, FolderInputPredictionsGoToTheThumbnails)
{
    ControllerFixture f;
    ViewController* c = f.controller;
    const QString folder = testFolder();
    openMarkedGrid(c, folder);
    openLabelledPictures(c, folder);
    scriptStrategy(f.prompter, trainOn(c, "1"));
    c->strategyconfig();
    ASSERT_TRUE(waitForMessage(f.prompter, QStringLiteral("Computation finished!")));
    EXPECT_TRUE(c->browsermodel.haspredict);
    EXPECT_EQ(c->browsermodel.predictpoint.value(QStringLiteral("cat.png")), QStringLiteral("1"));
    EXPECT_EQ(c->browsermodel.predictpoint.value(QStringLiteral("dog.png")), QStringLiteral("0"));
}

TEST(TrainingRun, PureTestOnAFolderInputReadsItsOwnPredictionFile)
{
    ControllerFixture f;
    ViewController* c = f.controller;
    const QString folder = testFolder();
    openMarkedGrid(c, folder);
    openLabelledPictures(c, folder);
    scriptStrategy(f.prompter, [](strategysheetview&) {});
    c->strategyconfig();
    EXPECT_EQ(f.prompter.messages().last(), QStringLiteral("Pure Test Computation finished!"));
    EXPECT_EQ(c->browsermodel.predictpoint.value(QStringLiteral("cat.png")), QStringLiteral("1"));
    EXPECT_FALSE(c->gridmodel.hasprediction);
}

TEST(TrainingRun, WorkerThatCannotStartIsReported)
{
    ControllerFixture f;
    ViewController* c = f.controller;
    openMarkedGrid(c, testFolder());
    ScopedEnv python("KOLVARA_PYTHON", "/nonexistent/python3");
    scriptStrategy(f.prompter, trainOn(c));
    c->strategyconfig();
    EXPECT_EQ(f.prompter.messages().last(), QStringLiteral("The training worker could not be started."));
    EXPECT_EQ(f.prompter.alerts().last().style, AlertStyle::Critical);
    EXPECT_FALSE(c->runmonitor);
}

struct CheckCase {
    const char* name;
    std::function<void(ViewController*)> arrange;
    FormSetup form;  // nullptr: the dialog is cancelled
    const char* lastMessage;
    bool confirm = true;
};

class RunChecks : public ::testing::TestWithParam<CheckCase> {};

TEST_P(RunChecks, StopBeforeAnyWorkerStarts)
{
    const CheckCase& k = GetParam();
    ControllerFixture f;
    ViewController* c = f.controller;
    openMarkedGrid(c, testFolder());
    k.arrange(c);
    if (!k.confirm) {
        f.prompter.answerAlert(0);
    } else if (k.form) {
        scriptStrategy(f.prompter, k.form);
    } else {
        f.prompter.answerAlert(1);
        f.prompter.answerAlert(1);
    }
    c->strategyconfig();
    EXPECT_EQ(f.prompter.messages().last(), QString::fromUtf8(k.lastMessage)) << k.name;
    EXPECT_FALSE(c->runmonitor) << k.name;
    EXPECT_FALSE(c->gridmodel.hasprediction) << k.name;
}

const char* const kChecklistStart = "Before set up training strategy, make sure below aspects are checked: \n 1. Make sure neural network "
                                    "class# is same as your dataset\n 2. Earlier trained models and weights are saved;\n 3. Your "
                                    "settings for the neural network are saved.";

INSTANTIATE_TEST_SUITE_P(
    Conditions, RunChecks,
    ::testing::Values(
        CheckCase{"cancel at the checklist", [](ViewController*) {}, nullptr, kChecklistStart, false},
        CheckCase{"nothing prepared", [](ViewController* c) { c->datadirectory.clear(); c->inputdatatype = 3; }, nullptr, "NO DATA FOR VALIDATION!!!"},
        CheckCase{"dialog cancelled", [](ViewController*) {}, nullptr, "Training Strategy Panel"},
        CheckCase{"no test data", [](ViewController*) {}, [](strategysheetview& s) { s.imagefolder->clear(); }, "No validation data!"},
        CheckCase{"no model", [](ViewController* c) { c->resourcename.clear(); c->modelname.clear(); },
                  [](strategysheetview&) {}, "No Neural Network Model Configured"},
        // A table opened after images were prepared: the workspace is there, a label document is not.
        CheckCase{"table input", [](ViewController* c) { c->preparedata(); c->inputdatatype = 3; }, [](strategysheetview&) {},
                  "No data label document"},
        CheckCase{"epochs not a whole number", [](ViewController*) {},
                  [](strategysheetview& s) { s.trainingeporch->setText(QStringLiteral("3x")); },
                  "Training Eporch must be a positive whole number."},
        CheckCase{"zero epochs", [](ViewController*) {}, [](strategysheetview& s) { s.trainingeporch->setText(QStringLiteral("0")); },
                  "Training Eporch must be a positive whole number."}),
    [](const ::testing::TestParamInfo<CheckCase>& info) { return "case" + std::to_string(info.index); });

TEST(TrainingRun, UserModelNeedsWeights)
{
    ControllerFixture f;
    ViewController* c = f.controller;
    openMarkedGrid(c, testFolder());
    c->modelname = QStringLiteral("usermodel");
    scriptStrategy(f.prompter, trainOn(c));
    c->strategyconfig();
    EXPECT_EQ(f.prompter.messages().last(), QStringLiteral("Need to load weights!"));
}

TEST(TrainingRun, CancelledDialogLeavesTheNewDefaultForm)
{
    ControllerFixture f;
    ViewController* c = f.controller;
    openMarkedGrid(c, testFolder());
    f.prompter.answerAlert(1);
    f.prompter.answerAlert([](const AlertRequest& r) {
        EXPECT_EQ(r.accessory->size(), QSize(400, 600));
        return 1;
    });
    c->strategyconfig();
    ASSERT_TRUE(c->strategysheetconfig);
    EXPECT_EQ(c->strategysheetconfig->imagefolder->text(), c->urlarray.first());
    EXPECT_EQ(c->strategysheetconfig->strategy().trainingeporch, QStringLiteral("3"));
}
}  // namespace
