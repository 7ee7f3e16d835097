#pragma once

#include "results/chartstate.h"
#include "results/resultingestion.h"
#include "training/trainingstrategy.h"

#include <QObject>
#include <QString>
#include <nlohmann/json.hpp>
#include <memory>
#include <optional>
#include <vector>

class MonitoredRunner;
class RunMonitor;
class RunningWorker;

// Training and test runs: which model a run trains, what must hold before it starts, and where
// the run stands. The worker is made by the injected runner and followed as its output arrives;
// a run without a training folder only tests the model.
class TrainingSession : public QObject {
    Q_OBJECT
public:
    enum class State { Idle, Training, Testing, Finished, EndedEarly, Stopped, Failed };

    // What a run is made of, as the window holds it when "Start!" is pressed.
    struct Setup {
        int inputKind = 0;                     // 1 one image, 2 several images, 3 a table
        QString firstInput;                    // the first opened file; it names the run's files
        nlohmann::ordered_json editorDocument; // the layer graph being edited; null or {} when none
        nlohmann::ordered_json chosenDocument; // the pre-trained architecture chosen last
        QString resourcename;                  // its name in lower case; empty when none was chosen
        QString modelname;                     // "usermodel" for a model opened from a file
        QString workspace;                     // the folder the run's files are exchanged in
        TrainingStrategy strategy;
        QString python;      // empty: the configured interpreter
        QString scriptPath;  // empty: the installed trainNN.py
        QString modelFile;   // where the trained architecture is written; empty: the caches folder's
        QString inputScaling;  // overrides the form's input scaling when not empty
        QString networkMode = QStringLiteral("full");
    };

    // Something the user is told before a run; a refusal ends the list.
    struct Finding {
        QString text;
        QString detail;
        bool refusal = true;
    };

    // How a run ended, and what the window shows for it.
    struct Outcome {
        State state = State::Idle;
        bool test = false;  // the run only tested the model
        QString message;  // the words for the user; empty when there is nothing to tell
        QString detail;   // the worker's last error lines, or why it failed
        resultingestion::Target target = resultingestion::Target::None;
        std::optional<resultingestion::Reading> predictions;  // read once a run finished
        QString metricsImage;  // the finished training run's metrics image
        QString keptEpoch;     // the worker's line naming the epoch kept as the model
        QString summary;       // a finished test's figures, as the worker printed them
    };

    // What a second run is told while one is under way.
    static QString busyMessage()
    {
        return QStringLiteral("A training run is in progress. Wait for it to finish before configuring another.");
    }

    explicit TrainingSession(MonitoredRunner& runner, QObject* parent = nullptr);
    ~TrainingSession() override;

    // The document a run trains: the edited graph when there is one or nothing pre-trained was
    // chosen, else the chosen architecture. Null when that holds no model.
    static const nlohmann::ordered_json* modelToTrain(const Setup& setup);
    // In the order the user is told.
    static std::vector<Finding> check(const Setup& setup);

    State state() const { return m_state; }
    bool running() const { return m_state == State::Training || m_state == State::Testing; }

    // Writes the model and starts the worker, unless a finding refuses the run or a run is under
    // way (the refusal comes back). A worker that then fails to start ends the run as Failed.
    std::optional<Finding> start(const Setup& setup);
    // Ends the run under way at the user's request.
    void stop();
    // The training run followed last, until the next run starts; null for a test and for a
    // worker that could not be started.
    const RunMonitor* monitor() const { return m_monitor; }

Q_SIGNALS:
    void stateChanged(TrainingSession::State state);
    // The run's state line: progress and time left, or how it stopped.
    void progressChanged(const QString& text);
    void chartUpdated(const ChartPoints& points);
    void runEnded(const TrainingSession::Outcome& outcome);

private:
    void startTraining(const QStringList& arguments, int epochs);
    void startTest(const QStringList& arguments);
    void testFinished(int exitCode, bool crashed);
    void trainingFinished(const QString& standardError);
    void end(Outcome outcome);
    void setState(State state);
    void release();

    MonitoredRunner& m_runner;
    State m_state = State::Idle;
    Setup m_setup;
    QString m_root;
    RunMonitor* m_monitor = nullptr;  // the training run's, owned
    RunningWorker* m_test = nullptr;  // the test run's worker, owned
    QByteArray m_testError;
    QByteArray m_testOutput;
};
