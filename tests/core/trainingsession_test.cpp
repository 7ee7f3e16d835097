#include "model/jsonfile.h"
#include "support/badfiles.h"
#include "support/testenv.h"
#include "training/trainingsession.h"
#include "worker/runningworker.h"

#include <gtest/gtest.h>

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {

using Json = nlohmann::ordered_json;
using State = TrainingSession::State;

// A worker the test speaks for.
class FakeWorker : public RunningWorker {
public:
    bool refuseStart = false;
    bool alive = false;
    void start() override
    {
        if (refuseStart) {
            Q_EMIT failedToStart(QStringLiteral("No such file or directory"));
            return;
        }
        alive = true;
        Q_EMIT started();
    }
    bool running() const override { return alive; }
    void stop() override
    {
        if (alive)
            exit(9, true);
    }
    void say(const char* text) { Q_EMIT standardOutput(QByteArray(text)); }
    void complain(const char* text) { Q_EMIT standardError(QByteArray(text)); }
    void exit(int code, bool crashed = false)
    {
        alive = false;
        Q_EMIT finished(code, crashed);
    }
};

class FakeRunner : public MonitoredRunner {
public:
    FakeWorker* last = nullptr;
    QStringList arguments;
    bool refuseStart = false;
    std::unique_ptr<RunningWorker> worker(const QString& program, const QStringList& args) override
    {
        arguments = QStringList{program} + args;
        auto made = std::make_unique<FakeWorker>();
        made->refuseStart = refuseStart;
        last = made.get();
        return made;
    }
};

TrainingSession::Setup setup(const QString& workspace)
{
    TrainingSession::Setup s;
    s.inputKind = 1;
    s.firstInput = QStringLiteral("/photos/field.2020.png");
    s.editorDocument = Json::parse(R"({"config":{"layers":[{"name":"input_1"}]}})");
    s.workspace = workspace;
    s.strategy.imagefolder = workspace;
    s.strategy.trainingfolder = workspace;
    s.strategy.trainingeporch = QStringLiteral("2");
    s.python = QStringLiteral("python-here");
    s.modelFile = workspace + QStringLiteral("/../model.json");
    return s;
}

// What the session said, as text.
struct Listener {
    QStringList heard;
    std::optional<TrainingSession::Outcome> outcome;
    explicit Listener(TrainingSession& session)
    {
        QObject::connect(&session, &TrainingSession::progressChanged, [this](const QString& t) { heard << t.simplified(); });
        QObject::connect(&session, &TrainingSession::chartUpdated, [this](const ChartPoints& p) {
            QStringList ys;
            for (int y : p.valid_y)
                ys << QString::number(y);
            heard << QStringLiteral("chart ") + ys.join(QLatin1Char(' '));
        });
        QObject::connect(&session, &TrainingSession::runEnded, [this](const TrainingSession::Outcome& o) { outcome = o; });
    }
};

// A stop by the user and a run to the end, with the predictions and metrics it leaves, are
// followed through the window in the training run and worker robustness tests.
TEST(TrainingSession, FakeRunnerDrivesStartProgressAndAnEarlyEnd)
{
    const QString ws = testenv::freshFolder("session-ws");
    FakeRunner runner;
    TrainingSession session(runner);
    Listener listener(session);

    // Start: the edited model is written where the worker reads it, and the worker is made.
    ASSERT_FALSE(session.start(setup(ws)));
    EXPECT_EQ(session.state(), State::Training);
    EXPECT_EQ(jsonfile::read(setup(ws).modelFile, nullptr).value_or(Json()), setup(ws).editorDocument);
    ASSERT_GE(runner.arguments.size(), 3);
    EXPECT_TRUE(runner.arguments[0] == "python-here" && runner.arguments[1].endsWith("/trainNN.py"));
    EXPECT_EQ(runner.arguments[2], setup(ws).modelFile);
    EXPECT_EQ(session.start(setup(ws))->text, "A training run is in progress. Wait for it to finish before configuring another.");

    // Progress: each chunk gives the state line, each new checkpoint a chart.
    EXPECT_TRUE(badfiles::write(ws + QStringLiteral("/e0001-0.5000-0.7500-weights.hdf5"), {}));
    runner.last->say("1/9 [==>...] - ETA: 3s - loss: 0.6");
    runner.last->complain("a warning\n");
    EXPECT_EQ(listener.heard, (QStringList{"chart 0 50", "Training state in epoch 2 1/9 [==>___] - ETA: 3s"}));

    // An early end: the worker's own words come with it.
    runner.last->complain("simulated failure in epoch 2\n");
    runner.last->exit(1);
    ASSERT_TRUE(listener.outcome);
    EXPECT_EQ(listener.outcome->state, State::EndedEarly);
    EXPECT_EQ(listener.outcome->message, "Training ended before all epochs were finished.");
    EXPECT_EQ(listener.outcome->detail, "a warning\nsimulated failure in epoch 2");
}

struct RunEnd {
    const char* name;
    bool testOnly;       // no training folder: the run only tests the model
    bool refuseStart;
    int exitCode;        // -1: the worker never ends by itself
    const char* modelEntry;  // left in the workspace, or null
    State state;
    const char* message;
};

// A failed test run, a training worker that cannot start and a training without a model are
// followed through the window in the training run's tests.
TEST(TrainingSession, EachWayARunEndsIsToldOnce)
{
    const RunEnd cases[] = {
        {"test", true, false, 0, nullptr, State::Finished, "Pure Test Computation finished!"},
        {"test cannot start", true, true, -1, nullptr, State::Failed, "The test worker could not be started."},
        {"test stopped", true, false, -1, nullptr, State::Stopped, ""},
        {"trained", false, false, 0, "my_model.keras", State::Finished, "Computation finished!"},
    };
    for (const RunEnd& k : cases) {
        const QString ws = testenv::freshFolder("ends");
        for (const char* name : {"e0001-0.5-0.5-weights.hdf5", "e0002-0.5-0.5-weights.hdf5"})
            EXPECT_TRUE(badfiles::write(ws + QLatin1Char('/') + QLatin1String(name), {}));
        if (k.modelEntry)
            EXPECT_TRUE(badfiles::write(ws + QLatin1Char('/') + QLatin1String(k.modelEntry), {}));
        FakeRunner runner;
        runner.refuseStart = k.refuseStart;
        TrainingSession session(runner);
        int ends = 0;
        QString told;
        bool tested = false;  // the window shows a test's end, not a training's
        QObject::connect(&session, &TrainingSession::runEnded, [&](const TrainingSession::Outcome& o) {
            ++ends;
            told = o.message;
            tested = o.test;
        });
        TrainingSession::Setup s = setup(ws);
        if (k.testOnly)
            s.strategy.trainingfolder.clear();
        ASSERT_FALSE(session.start(s)) << k.name;
        if (k.exitCode >= 0)
            runner.last->exit(k.exitCode);
        session.stop();  // after the end: changes nothing
        EXPECT_EQ(session.state(), k.state) << k.name;
        EXPECT_EQ(ends, 1) << k.name;
        EXPECT_EQ(told, QString::fromUtf8(k.message)) << k.name;
        EXPECT_EQ(tested, k.testOnly) << k.name;
    }
}

TEST(TrainingSession, ChecksSayWhatKeepsARunFromStarting)
{
    const Json edited = Json::parse(R"({"config":{"layers":[]}})");
    const Json chosen = Json::parse(R"({"config":{"name":"vgg16"}})");
    using Change = std::function<void(TrainingSession::Setup&)>;
    const std::tuple<const char*, Change, QString> cases[] = {  // the findings; "!" marks a refusal
        {"ready", [](auto&) {}, ""},
        {"no validation data", [](auto& s) { s.strategy.imagefolder.clear(); }, "!No validation data!"},
        {"no model", [](auto& s) { s.editorDocument = Json::object(); }, "!No Neural Network Model Configured"},
        {"opened model without weights", [](auto& s) { s.modelname = "usermodel"; }, "!Need to load weights!"},
        {"test only, from a table",
         [](auto& s) {
             s.strategy.trainingfolder.clear();
             s.inputKind = 3;
         },
         "No training dataset, will only perform validation.|!No data label document"},
        {"epochs", [](auto& s) { s.strategy.trainingeporch = "0"; }, "!Training Eporch must be a positive whole number."},
    };
    for (const auto& [name, change, expected] : cases) {
        TrainingSession::Setup s = setup(QStringLiteral("/ws"));
        s.editorDocument = edited;
        change(s);
        QStringList said;
        for (const TrainingSession::Finding& f : TrainingSession::check(s))
            said << (f.refusal ? QStringLiteral("!") : QString()) + f.text;
        EXPECT_EQ(said.join(QLatin1Char('|')), expected) << name;
    }
    // A pre-trained choice is trained from its own architecture unless a graph is being edited.
    TrainingSession::Setup s = setup(QStringLiteral("/ws"));
    s.resourcename = QStringLiteral("vgg16");
    s.chosenDocument = chosen;
    EXPECT_EQ(*TrainingSession::modelToTrain(s), s.editorDocument);
    s.editorDocument = Json::object();
    EXPECT_EQ(*TrainingSession::modelToTrain(s), chosen);
    s.resourcename.clear();
    EXPECT_EQ(TrainingSession::modelToTrain(s), nullptr);
}

}  // namespace
