// Strategy Config to results with a fast stand-in for the training worker; the run monitor and the
// chart on their own.
#include "data/imagesetdocument.h"
#include "data/tilegriddocument.h"
#include "model/jsonfile.h"
#include "results/ui/realtimeimageview.h"
#include "training/ui/runmonitor.h"
#include "training/ui/strategysheetview.h"
#include "worker/paths.h"
#include "worker/workerfailure.h"
#include "support/badfiles.h"
#include "support/fixture.h"
#include "support/scriptedprompter.h"
#include "support/testenv.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTest>
#include <gtest/gtest.h>
#include <algorithm>
#include <functional>

namespace {
const QString kFinished = QStringLiteral("Computation finished!");
const QString kPureFinished = QStringLiteral("Pure Test Computation finished!");

using testenv::ScopedEnv;
QString readFile(const QString& path) { return QString::fromUtf8(testenv::readAll(path)); }

using FormSetup = std::function<void(strategysheetview&)>;

// A 2 x 3 grid on field.png with tiles (0,1) and (1,2) marked, ResNet50 chosen, the stand-in worker.
struct GridRun {
    ControllerFixture f;
    ViewController* c = f.controller;
    QString folder = testenv::freshFolder("run_" + QString::fromUtf8(::testing::UnitTest::GetInstance()->current_test_info()->name()));

    GridRun()
    {
        const QString field = testenv::savePicture(folder + "/field.png", QSize(60, 40));
        openGrid(*c, field, QImage(field), 3, 2, {{0, 1}, {1, 2}});
        c->trainPane().modellist()->setCurrentIndex(c->trainPane().modellist()->findText(QStringLiteral("ResNet50")));
        c->comboBoxSelectionDidChange(c->trainPane().modellist());
        c->setTrainingScript(QStringLiteral(KOLVARA_TEST_DATA_DIR "/fake_trainNN.py"));
    }

    // Continue past the checklist, fill the strategy form, then press Start!; `then` answers the
    // alerts that follow.
    void start(FormSetup setup, const std::vector<int>& then = {})
    {
        f.prompter.answerAlert(1);
        f.prompter.answerAlert([setup](const AlertRequest& request) {
            auto* form = request.accessory ? request.accessory->findChild<strategysheetview*>() : nullptr;
            if (!form || !setup)
                return 1;  // Cancel
            setup(*form);
            return 0;
        });
        for (int answer : then)
            f.prompter.answerAlert(answer);
        c->strategyconfig();
    }
    // Trains for `epochs` on the workspace, after `more` fills the rest of the form.
    void train(const char* epochs, const FormSetup& more = {}, const std::vector<int>& then = {})
    {
        start([this, epochs, more](strategysheetview& form) {
            form.trainingfolder->setText(c->workspaceFolder());
            form.trainingeporch->setText(QString::fromUtf8(epochs));
            if (more)
                more(form);
        }, then);
    }
    void pureTest() { start([](strategysheetview&) {}); }

    bool waitFor(const QString& message)
    {
        const bool told = QTest::qWaitFor([&] { return f.prompter.messages().contains(message); }, 60000);
        EXPECT_TRUE(told) << f.prompter.messages().join(" | ").toStdString();
        return told;
    }
};

TEST(TrainingRun, AnEarlyStopIsANormalEndAtTheEpochReached)
{
    GridRun r;
    ViewController* c = r.c;
    ScopedEnv stop("FAKE_TRAINNN_STOP_AFTER", "2");
    r.train("5", [](strategysheetview& form) { QTest::mouseClick(form.stopearlycheck, Qt::LeftButton, {}, QPoint(8, form.stopearlycheck->height() / 2)); });
    ASSERT_TRUE(r.waitFor(kFinished));
    EXPECT_EQ(r.f.prompter.alerts().last().informative, QStringLiteral("kept epoch 2 of 2: validation accuracy 0.70"));
    EXPECT_EQ(c->resultPane().trainingstate()->text(), QStringLiteral("Training state in epoch 2 \nStopped early at epoch 2 of 5"));
    EXPECT_TRUE(c->tileGrid().state().predictpoints == std::vector<TilePoint>({{0, 1}, {1, 2}}) && c->documentView() == c->resultPane().metricview());
}

struct Failure {
    const char* env;
    const char* value;
    bool pure;
    bool monitored;  // a monitor followed the run and keeps the worker's standard error
    const char* message;
    const char* details;
};

TEST(TrainingRun, FailuresAreReportedAndKeepEarlierPredictions)
{
    const Failure cases[] = {
        {"FAKE_TRAINNN_FAIL_AFTER", "1", false, true, "Training ended before all epochs were finished.", "simulated failure in epoch 2: out of memory"},
        {"FAKE_TRAINNN_SILENT", "1", true, false, "The test run failed.", "could not read the model document"},
        {"KOLVARA_PYTHON", "/nonexistent/python3", false, false, "The training worker could not be started.", ""},
    };
    for (const Failure& k : cases) {
        GridRun r;
        ScopedEnv env(k.env, k.value);
        r.c->tileGrid().setPredictions({{1, 1}});
        k.pure ? r.pureTest() : r.train("2");
        ASSERT_TRUE(r.waitFor(QString::fromUtf8(k.message))) << k.env;
        const AlertRequest* alert = &*std::find_if(r.f.prompter.alerts().begin(), r.f.prompter.alerts().end(),
                                                   [&](const AlertRequest& a) { return a.message == k.message; });
        EXPECT_TRUE(alert->style == AlertStyle::Critical && alert->informative.contains(QString::fromUtf8(k.details))) << k.env;
        EXPECT_FALSE(r.f.prompter.messages().contains(kFinished) || r.f.prompter.messages().contains(kPureFinished)) << k.env;
        EXPECT_EQ(r.c->tileGrid().state().predictpoints, (std::vector<TilePoint>{{1, 1}})) << k.env;
        EXPECT_TRUE((r.c->trainingSession().monitor() != nullptr) == k.monitored && !r.c->trainingSession().running()) << k.env;
        if (k.monitored)  // the alert shows the end of what the log keeps
            EXPECT_EQ(workerfailure::lastLines(testenv::readAll(r.c->workspaceFolder() + "/field_error.log")), alert->informative);
    }
}

// The walkthrough follows a run through the real dialogs; here what it cannot see: the command
// line, the chart growing, and what the run may not touch while it goes on.
TEST(TrainingRun, DataOpenedDuringARunGetsNoneOfItsResultsWhichSayWhoseTheyAre)
{
    GridRun r;
    ViewController* c = r.c;
    const QString argsFile = r.folder + QStringLiteral("/args.txt");
    ScopedEnv record("FAKE_TRAINNN_ARGS", argsFile.toUtf8());
    ScopedEnv slow("FAKE_TRAINNN_STEP_SECONDS", "0.2");
    r.train("3");
    ASSERT_TRUE(c->trainingSession().running());
    std::vector<size_t> sizes;  // the chart grows as each checkpoint appears
    QObject::connect(&c->trainingSession(), &TrainingSession::chartUpdated, c, [&] { sizes.push_back(c->resultPane().painres()->state.valid_x.size()); });
    EXPECT_EQ(c->resultPane().resultsource()->text(), QStringLiteral("Results of field.png"));
    r.f.prompter.answerPaths({testenv::scratchFolder()});
    c->outputresult();  // a copy taken now would be half written
    EXPECT_EQ(r.f.prompter.messages().last(), QStringLiteral("A training run is in progress. Export its results when it has finished."));
    // Quitting asks while the run goes on; Cancel keeps both.
    EXPECT_FALSE(c->mayQuit());
    EXPECT_TRUE(r.f.prompter.messages().last() == "A training run is in progress. Stop it and quit?" && c->trainingSession().running());

    r.f.open({testenv::savePicture(r.folder + "/other.png", QSize(90, 30), Qt::blue)});
    ASSERT_TRUE(r.waitFor(kFinished));
    EXPECT_TRUE(c->tileGrid().state().predictpoints.empty() && !c->tileGrid().state().hasprediction) << "the new image got the old one's predictions";
    EXPECT_TRUE(c->resultButton()->isChecked() && c->documentView() == c->resultPane().metricview());
    EXPECT_TRUE(c->resultPane().resultsource()->text() == "Results of an earlier input: field.png" && c->mayQuit());
    EXPECT_EQ(sizes, (std::vector<size_t>{2, 3, 4}));
    EXPECT_EQ(r.f.prompter.alerts().last().informative, QStringLiteral("kept epoch 3 of 3: validation accuracy 0.80"));

    const QStringList args = readFile(argsFile).split(QLatin1Char('\n'));
    EXPECT_EQ(args.mid(3, 7), (QStringList{"ResNet50", "", "4", "3", "Adam", "mean_squared_error", paths::resourcePath("resnet50", "json")}));
    // The pre-trained architecture, written compactly.
    EXPECT_EQ(nlohmann::ordered_json::parse(readFile(args.value(0)).toStdString()), jsonfile::read(paths::resourcePath("resnet50", "json"), nullptr).value());
}

TEST(TrainingRun, PureTestMarksPredictedTilesAndStatesItsFigures)
{
    GridRun r;
    r.pureTest();
    ASSERT_TRUE(r.waitFor(kPureFinished));
    EXPECT_EQ(r.c->resultPane().trainingstate()->text(), QStringLiteral("Test finished: 2 of 6 tiles predicted \"1\".\n"
                                                         "accuracy 100.00% (6 of 6 images)\nclass order assumed: sorted labels"));
    EXPECT_TRUE(r.c->tileGrid().state().hasprediction && r.c->tileGrid().state().predictpoints == std::vector<TilePoint>({{0, 1}, {1, 2}}));
    EXPECT_EQ(r.c->documentView(), r.c->labelPane().imageview());  // no metrics image: the data with its predictions
}

// Training's predictions reach the thumbnails in the folder walkthrough; a pure test's do too.
TEST(TrainingRun, FolderInputPredictionsOfAPureTestGoToTheThumbnails)
{
    GridRun r;  // two pictures opened as a folder input, labelled cat "1" and dog "0"
    r.c->openPictures({testenv::savePicture(r.folder + "/cat.png", QSize(32, 32)), testenv::savePicture(r.folder + "/dog.png", QSize(32, 32))});
    r.c->pictures().labelRows({0}, QStringLiteral("1"));
    r.pureTest();
    ASSERT_TRUE(r.waitFor(kPureFinished));
    EXPECT_TRUE(r.c->pictures().set().haspredict && !r.c->tileGrid().state().hasprediction);
    EXPECT_EQ(r.c->pictures().set().predictpoint.value("cat.png"), "1");
    EXPECT_EQ(r.c->pictures().set().predictpoint.value("dog.png"), "0");
}

struct CheckCase {
    const char* name;
    std::function<void(ViewController*)> arrange;
    FormSetup form;  // empty: the dialog is cancelled
    const char* lastMessage;
};

TEST(TrainingRun, StopsBeforeAnyWorkerStarts)
{
    const auto none = [](ViewController*) {};
    const CheckCase cases[] = {
        {"nothing prepared", [](ViewController* c) {
             badfiles::write(testenv::scratchFolder() + "/t.csv", "a,b\n1,2\n");
             c->opentable(testenv::scratchFolder() + "/t.csv");
         },
         nullptr, "NO DATA FOR VALIDATION!!!"},
        {"dialog cancelled", none, nullptr, "Training Strategy Panel"},
        {"batch size 0", none, [](strategysheetview& s) { s.batchsize->setText("0"); }, "Batch size must be a positive whole number."},
        {"nothing to train on", none, [](strategysheetview& s) { s.trainingfolder->setText(paths::workspaceFolder()); s.trainvalidbar->setValue(0); },
         "A training share of 0.00 leaves nothing to train on."},
        {"one class only", [](ViewController* c) { c->tileGrid().restoreGrid(3, 2, true, {}, false); },
         [](strategysheetview& s) { s.trainingfolder->setText(paths::workspaceFolder()); }, "Training needs samples of two classes or more."},
    };
    for (const CheckCase& k : cases) {
        GridRun r;
        k.arrange(r.c);
        r.start(k.form);
        EXPECT_TRUE(r.f.prompter.messages().last().startsWith(QString::fromUtf8(k.lastMessage))) << k.name;
        EXPECT_TRUE(r.c->trainingSession().state() == TrainingSession::State::Idle && !r.c->tileGrid().state().hasprediction) << k.name;
    }
}

// A pre-trained architecture starts from ImageNet weights with their own preprocessing: a file
// the user chose, else one from the Keras cache or a download. None to be had (this machine is
// offline) lets the user go on from random weights, which are then all trained, or not start.
TEST(TrainingRun, PretrainedRunStartsFromImageNetWeightsOrWhatTheUserChose)
{
    struct Row {
        const char* name;
        bool chooseWeights;
        std::vector<int> answers;  // to the alerts after Start!
        QStringList scalingToMode;  // arguments 18 to 22; empty: no run
    };
    const Row rows[] = {
        {"weights chosen, top only", true, {}, {"caffe", "", "true", "0", "top"}},
        {"none to be had, go on", false, {0}, {"caffe", "", "true", "0", "finetune"}},
        {"none to be had, stop", false, {1}, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        GridRun r;
        const QString argsFile = r.folder + QStringLiteral("/args.txt");
        ScopedEnv record("FAKE_TRAINNN_ARGS", argsFile.toUtf8());
        const QString weights = r.folder + QStringLiteral("/resnet50_notop.h5");
        QFile(weights).open(QIODevice::WriteOnly);
        r.train("1", [&](strategysheetview& form) {
            EXPECT_TRUE(form.trainonlytopcheck->isChecked() && form.trainonlytopcheck->isEnabled());
            if (row.chooseWeights)
                form.weights->setText(weights);
        }, row.answers);
        if (!row.chooseWeights) {
            // The alert's wording is the fetch test's; here, that the download went through the proxy.
            const AlertRequest& offline = r.f.prompter.alerts().value(2);
            EXPECT_TRUE(offline.message.contains(QStringLiteral("Proxy"))) << offline.message.toStdString();
        }
        if (row.scalingToMode.isEmpty()) {
            EXPECT_TRUE(r.f.prompter.alerts().size() == 3 && r.c->trainingSession().state() == TrainingSession::State::Idle);
            continue;
        }
        ASSERT_TRUE(r.waitFor(kFinished));
        const QStringList args = readFile(argsFile).split(QLatin1Char('\n'));
        EXPECT_EQ(args.value(4), row.chooseWeights ? weights : QString());
        EXPECT_EQ(args.mid(17, 5), row.scalingToMode);
    }
}

// The monitor on its own, following a worker over a workspace with two labelled tiles and
// recording what it tells.
struct Followed {
    QString ws = testenv::freshFolder("monitor");
    QProcess* process = new QProcess;  // the monitor's
    QStringList states;
    std::vector<int> validX;
    QString early, finished;
    RunMonitor monitor;  // last: gone before what it tells is

    explicit Followed(int epochs) : monitor(process, RunMonitor::Run{epochs, ws, QStringLiteral("field")})
    {
        EXPECT_TRUE(badfiles::write(ws + "/field_outputlabel.csv", "index,i,j,filename,label\n1,0,0,field_00.png,1\n2,0,1,field_01.png,0\n"));
        QObject::connect(&monitor, &RunMonitor::stateChanged, [this](const QString& s) { states << s; });
        QObject::connect(&monitor, &RunMonitor::chartUpdated, [this](const ChartPoints& p) { validX = p.valid_x; });
        QObject::connect(&monitor, &RunMonitor::endedEarly, [this](const QString& e) { early = e; });
        QObject::connect(&monitor, &RunMonitor::trainingFinished, [this](const QString& e) { finished = e; });
    }
    // The stand-in training worker.
    void startWorker()
    {
        process->start(QStringLiteral("/usr/bin/python3"),
                       {QStringLiteral(KOLVARA_TEST_DATA_DIR "/fake_trainNN.py"), "m.json", ws, ws, "custom", "", "4", "3", "Adam",
                        "mean_squared_error", "", "field_outputlabel.csv", "0.60", "false", "false", "false", "false", ""});
    }
};

// A worker slow to be read hands over its last redraws and its stop in one chunk.
TEST(RunMonitor, AStopToldWithTheLastRedrawIsWhatTheStateShows)
{
    Followed m(5);
    m.process->setWorkingDirectory(m.ws);
    m.process->start(QStringLiteral("/bin/sh"),
                     {QStringLiteral("-c"), QStringLiteral("touch e0001-0.5-0.6-weights.hdf5; printf 'Epoch 2/5\\n'; sleep 1; "
                                                           "touch e0002-0.7-0.8-weights.hdf5; "
                                                           "printf '\\r3/4 [==>.] - ETA: 0s - loss: 0.3\\b\\r4/4 [====] - 0s 5ms/step - loss: 0.2\\n"
                                                           "Epoch 2: early stopping\\n'")});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !m.monitor.following(); }, 30000));
    EXPECT_TRUE(m.early.isNull()) << m.early.toStdString();
    EXPECT_EQ(m.states.value(m.states.size() - 1), QStringLiteral("Training state in epoch 2 \nStopped early at epoch 2 of 5"));
}

TEST(RunMonitor, StoppedByTheUserLeavesNoPartialFileAndALogThatSaysSo)
{
    ScopedEnv slow("FAKE_TRAINNN_STEP_SECONDS", "5");
    Followed m(3);
    m.startWorker();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !m.monitor.outputChunks().isEmpty(); }, 30000));
    const QString partial = m.ws + "/.partial-abc123.tmp";  // what a worker cut short leaves
    ASSERT_TRUE(badfiles::write(partial, {}));
    m.monitor.stop();
    EXPECT_TRUE(!m.monitor.following() && m.states.last() == "Training stopped.");
    EXPECT_FALSE(QFile::exists(partial));
    const QString log = readFile(m.ws + "/field_error.log");
    EXPECT_TRUE(log.contains("Training stopped by the user.") && log.contains(m.monitor.outputChunks().first().trimmed())) << log.toStdString();
}

TEST(RunMonitor, EndsAWorkerStillRunningWhenDestroyed)
{
    ScopedEnv slow("FAKE_TRAINNN_STEP_SECONDS", "5");
    qint64 pid = 0;
    QPointer<QProcess> watched;
    {
        Followed m(3);
        watched = m.process;
        m.startWorker();
        ASSERT_TRUE(m.process->waitForStarted());
        pid = m.process->processId();
    }
    EXPECT_TRUE(watched.isNull() && !QFileInfo::exists(QStringLiteral("/proc/%1").arg(pid)));
}

// Where the points go is the chart geometry test's; here, that they are painted there.
TEST(RealTimeImageView, PaintsThePointsWhereTheChartPutsThem)
{
    RealTimeImageView view;
    view.state.rownum = 100;
    view.state.colnum = 10;
    view.state.checkstate.insert(view.state.checkstate.begin(), 1);
    view.setPoints(ChartPoints{{0, 1}, {0, 50}, {0, 3}, {0, 87}});
    view.resize(500, 450);
    const QImage image = view.grab().toImage();
    // Training (3, 87): bottom-left (140, 372) 4 by 4 is the top-left (140, 74) in a 450-high view;
    // validation (1, 50): bottom-left (60, 224).
    EXPECT_TRUE(image.pixelColor(142, 76) == QColor(0, 0, 255) && image.pixelColor(62, 224) == QColor(255, 128, 0));
}

struct Sheet {
    ScriptedPrompter prompter;
    strategysheetview view{prompter, QStringLiteral("/work/space")};
    Sheet() { view.show(); }
    QPushButton* button(const char* name) { return view.findChild<QPushButton*>(QString::fromUtf8(name)); }
};

}  // namespace

// The defaults reach the worker's arguments in the training-run test.
TEST(StrategySheet, EachControlChangesOnlyItsOwnField)
{
    Sheet s;
    strategysheetview& v = s.view;
    // Only a pre-trained architecture has a top to train alone (its form is the training run's).
    EXPECT_FALSE(v.trainonlytopcheck->isEnabled() || v.strategy().trainonlytop);
    const auto click = [](QCheckBox* box) { QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2)); };
    const std::pair<QCheckBox*, bool*> boxes[] = {
        {v.transfercheck, &v.img_transfer}, {v.randomcheck, &v.img_random}, {v.rotatecheck, &v.img_rotate}, {v.distortcheck, &v.img_distort}};
    for (const auto& [box, flag] : boxes) {
        click(box);
        for (const auto& [other, otherFlag] : boxes)
            EXPECT_EQ(*otherFlag, other == box) << other->text().toStdString();
        click(box);
        EXPECT_FALSE(*flag);
    }
    // The patience counts only once early stopping is clicked.
    EXPECT_FALSE(v.strategy().stopearly || v.patience->isEnabled());
    click(v.keepbestcheck);
    click(v.stopearlycheck);
    v.patience->setValue(3);
    const TrainingStrategy epochs = v.strategy();
    EXPECT_EQ(std::make_tuple(epochs.keepbestepoch, epochs.stopearly, epochs.patience, v.patience->isEnabled()),
              std::make_tuple(false, true, 3, true));
    // The slider keeps its full value while the labels show two decimals.
    v.trainvalidbar->setValue(6789);
    EXPECT_DOUBLE_EQ(v.strategy().trainratio, 0.6789);
    EXPECT_EQ(v.validprop->text(), "Valid Ratio\n 0.32");
}

TEST(StrategySheet, PanelsFillTheirFieldAndCancellingLeavesIt)
{
    const struct PanelCase {
        const char* button;
        bool files, directories;
        QLineEdit* strategysheetview::*field;
    } cases[] = {
        {"opentrainingfolder", false, true, &strategysheetview::trainingfolder},
        {"opentraininglabelcsv", true, false, &strategysheetview::trainingdoc},
        {"openweightsfolder", true, true, &strategysheetview::weights},
    };
    for (const PanelCase& c : cases) {
        Sheet s;
        QLineEdit* field = s.view.*(c.field);
        s.prompter.answerPaths({"/data/chosen", "/data/second"});
        QTest::mouseClick(s.button(c.button), Qt::LeftButton);
        QTest::mouseClick(s.button(c.button), Qt::LeftButton);  // cancelled
        EXPECT_EQ(field->text(), "/data/chosen") << c.button;
        const FileRequest& r = s.prompter.fileRequests().front();
        EXPECT_TRUE(r.chooseFiles == c.files && r.chooseDirectories == c.directories && !r.multiple && r.startDirectory == "/work/space") << c.button;
    }
}

TEST(StrategySheet, InputScalingAndClassNamesReachTheStrategyAndAModelPreselectsItsScaling)
{
    Sheet s;
    strategysheetview& v = s.view;
    v.inputscaling->setCurrentIndex(v.inputscaling->findData(QStringLiteral("caffe")));
    EXPECT_EQ(v.strategy().inputscaling, "caffe");
    QTest::keyClicks(v.classnames, QStringLiteral("T-shirt,Trouser"));
    EXPECT_EQ(v.strategy().classnames, "T-shirt,Trouser");

    v.preselect(ModelInfo{QStringLiteral("tf"), false, {"b", "a"}});
    EXPECT_EQ(v.strategy().inputscaling, "tf");
    EXPECT_EQ(v.classnames->placeholderText(), "recorded: b, a");
    EXPECT_EQ(v.strategy().classnames, "T-shirt,Trouser");  // what was typed stays
    v.preselect(ModelInfo{});  // a model that records nothing changes nothing
    EXPECT_EQ(v.strategy().inputscaling, "tf");
}

TEST(StrategySheet, ChosenWeightsAreInspectedForTheScalingTheyAskFor)
{
    KOLVARA_REQUIRE_TESTDATA();
    ControllerFixture f;
    strategysheetview* form = f.controller->strategyForm();
    // What each file asks for is the Python loader tests'; here the answer reaches the form.
    f.prompter.answerPaths({testenv::sharedTestData(QStringLiteral("keras/sequential_cnn_augmentation_layers_keras3.5.keras"))});
    QTest::mouseClick(form->findChild<QPushButton*>("openweightsfolder"), Qt::LeftButton);
    EXPECT_TRUE(form->strategy().inputscaling == "raw" && f.prompter.messages().isEmpty()) << form->strategy().inputscaling.toStdString();
}
