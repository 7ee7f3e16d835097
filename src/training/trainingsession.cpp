#include "training/trainingsession.h"

#include "model/jsonfile.h"
#include "results/testsummary.h"
#include "training/runchecks.h"
#include "training/runmonitor.h"
#include "training/trainnncommand.h"
#include "util/diagnostics.h"
#include "worker/paths.h"
#include "worker/runningworker.h"
#include "worker/workerfailure.h"

#include <QDir>

using Json = nlohmann::ordered_json;
using resultingestion::Target;

namespace {

const QString kNoErrorOutput = QStringLiteral("The worker left no error output.");

bool holdsDocument(const Json& document) { return !document.is_null() && !(document.is_object() && document.empty()); }

// The end of the worker's own words, or what little is known when it said nothing.
QString failureText(const QString& standardError, const QString& fallback)
{
    const QString shown = workerfailure::lastLines(standardError.toUtf8());
    return shown.isEmpty() ? fallback : shown;
}

}  // namespace

TrainingSession::TrainingSession(MonitoredRunner& runner, QObject* parent) : QObject(parent), m_runner(runner) {}

TrainingSession::~TrainingSession() = default;

const Json* TrainingSession::modelToTrain(const Setup& setup)
{
    const Json& document =
        holdsDocument(setup.editorDocument) || setup.resourcename.isEmpty() ? setup.editorDocument : setup.chosenDocument;
    return holdsDocument(document) ? &document : nullptr;
}

std::vector<TrainingSession::Finding> TrainingSession::check(const Setup& setup)
{
    std::vector<Finding> findings;
    auto refuse = [&findings](const char* text) {
        findings.push_back({QString::fromUtf8(text), QString(), true});
        return findings;
    };
    const TrainingStrategy& strategy = setup.strategy;
    if (strategy.imagefolder.isEmpty())
        return refuse("No validation data!");
    if (!holdsDocument(setup.editorDocument) && setup.resourcename.isEmpty())
        return refuse("No Neural Network Model Configured");
    if (setup.modelname == QLatin1String("usermodel") && strategy.weights.isEmpty())
        return refuse("Need to load weights!");
    if (strategy.trainingfolder.isEmpty())
        findings.push_back({QStringLiteral("No training dataset, will only perform validation."), QString(), false});
    if (trainnn::labelDocumentName(setup.inputKind, trainnn::rootName(setup.firstInput)).isEmpty())
        return refuse("No data label document");
    if (!trainnn::epochCount(strategy.trainingeporch))
        return refuse("Training Eporch must be a positive whole number.");
    // The worker refuses this too, but only after the run was shown as started.
    if (!trainnn::batchSize(strategy.batchsize))
        return refuse("Batch size must be a positive whole number.");
    if (strategy.trainingfolder.isEmpty())
        return findings;
    // A training run needs something to train on and two classes to tell apart.
    const QString share = QString::asprintf("%.2f", strategy.trainratio);
    if (share == QLatin1String("0.00")) {
        findings.push_back({QStringLiteral("A training share of 0.00 leaves nothing to train on."),
                            QStringLiteral("Move the Training & Validation Ratio slider to the right."), true});
        return findings;
    }
    const QString document = runchecks::trainingLabelDocument(
        strategy.trainingfolder, strategy.trainingdoc, trainnn::labelDocumentName(setup.inputKind, trainnn::rootName(setup.firstInput)));
    if (const std::optional<QString> problem = runchecks::singleClassProblem(runchecks::labelsOf(document))) {
        findings.push_back({QStringLiteral("Training needs samples of two classes or more."), *problem, true});
        return findings;
    }
    if (share == QLatin1String("1.00")) {
        findings.push_back({QStringLiteral("A training share of 1.00 leaves no data for validation."),
                            QStringLiteral("Validation accuracy then says little about the model; the last "
                                           "epoch's model is the one kept."),
                            false});
    }
    return findings;
}

std::optional<TrainingSession::Finding> TrainingSession::start(const Setup& setup)
{
    if (running())
        return Finding{busyMessage(), QString(), true};
    for (const Finding& finding : check(setup)) {
        if (finding.refusal)
            return finding;
    }
    m_setup = setup;
    if (m_setup.python.isEmpty())
        m_setup.python = paths::pythonInterpreter();
    if (m_setup.scriptPath.isEmpty())
        m_setup.scriptPath = paths::scriptPath(QStringLiteral("trainNN.py"));
    if (m_setup.modelFile.isEmpty())
        m_setup.modelFile = paths::cachesFile(QStringLiteral("custommodel_temp.json"));
    m_root = trainnn::rootName(setup.firstInput);

    // A run must never train whatever model an earlier run left in the file.
    if (const Json* model = modelToTrain(m_setup)) {
        const QString failure = jsonfile::writeCompact(*model, m_setup.modelFile);
        diag::print(failure.isEmpty() ? m_setup.modelFile : failure);
        if (!failure.isEmpty())
            return Finding{QStringLiteral("Cannot write the model for training."), failure, true};
    }
    trainnn::Request request;
    request.scriptPath = m_setup.scriptPath;
    request.modelFile = m_setup.modelFile;
    request.workspace = m_setup.workspace;
    request.modelname = m_setup.modelname;
    request.resourceModelFile =
        m_setup.resourcename.isEmpty() ? QString() : paths::resourcePath(m_setup.resourcename, QStringLiteral("json"));
    request.labelDocument = trainnn::labelDocumentName(m_setup.inputKind, m_root);
    request.strategy = m_setup.strategy;
    request.inputScaling = m_setup.inputScaling;
    request.networkMode = m_setup.networkMode;
    const QStringList arguments = trainnn::arguments(request);
    if (m_setup.strategy.trainingfolder.isEmpty())
        startTest(arguments);
    else
        startTraining(arguments, *trainnn::epochCount(m_setup.strategy.trainingeporch));
    return std::nullopt;
}

void TrainingSession::stop()
{
    if (!running())
        return;
    // Stopped first, so that the worker's end is not taken for a result.
    setState(State::Stopped);
    if (m_monitor)
        m_monitor->stop();
    if (m_test)
        m_test->stop();
    end(Outcome{State::Stopped, m_test != nullptr, QString(), QString(), Target::None, std::nullopt, QString()});
}

void TrainingSession::release()
{
    // Called only between runs, possibly from a handler of the last run's end.
    for (QObject* object : {static_cast<QObject*>(m_monitor), static_cast<QObject*>(m_test)}) {
        if (object) {
            object->disconnect(this);
            object->deleteLater();
        }
    }
    m_monitor = nullptr;
    m_test = nullptr;
}

void TrainingSession::startTraining(const QStringList& arguments, int epochs)
{
    release();
    std::unique_ptr<RunningWorker> owned = m_runner.worker(m_setup.python, arguments);
    RunningWorker* worker = owned.get();
    m_monitor = new RunMonitor(owned.release(), RunMonitor::Run{epochs, m_setup.workspace, m_root}, this);
    connect(m_monitor, &RunMonitor::chartUpdated, this, &TrainingSession::chartUpdated);
    connect(m_monitor, &RunMonitor::stateChanged, this, &TrainingSession::progressChanged);
    connect(m_monitor, &RunMonitor::endedEarly, this, [this](const QString& standardError) {
        end(Outcome{State::EndedEarly, false, QStringLiteral("Training ended before all epochs were finished."),
                    failureText(standardError, kNoErrorOutput), Target::None, std::nullopt, QString()});
    });
    connect(m_monitor, &RunMonitor::trainingFinished, this, &TrainingSession::trainingFinished);
    connect(worker, &RunningWorker::failedToStart, this, [this](const QString& why) {
        diag::print(why);
        m_monitor->deleteLater();  // its worker is the sender
        m_monitor = nullptr;
        end(Outcome{State::Failed, false, QStringLiteral("The training worker could not be started."), why, Target::None,
                    std::nullopt, QString()});
    });
    setState(State::Training);
    worker->start();
}

void TrainingSession::trainingFinished(const QString& standardError)
{
    const resultingestion::Scan scan = resultingestion::scanForModel(m_setup.workspace);
    if (!scan.error.isEmpty())
        diag::print(scan.error);
    if (!scan.error.isEmpty() || scan.modelEntries.isEmpty()) {
        // The worker has exited without its trained model: waiting longer would never end.
        end(Outcome{State::Failed, false, QStringLiteral("Training finished without a trained model."),
                    failureText(standardError, QStringLiteral("No \"my_model\" file was written to the workspace.")),
                    Target::None, std::nullopt, QString()});
        return;
    }
    diag::print(scan.modelEntries);
    Outcome outcome{State::Finished, false, QStringLiteral("Computation finished!"), QString(),
                    resultingestion::targetFor(m_setup.inputKind), std::nullopt,
                    QDir(m_setup.workspace).filePath(QStringLiteral("NNMetrics.png"))};
    outcome.keptEpoch = m_monitor ? m_monitor->keptEpoch() : QString();
    if (outcome.target != Target::None) {
        resultingestion::Reading reading = resultingestion::readPredictions(m_setup.workspace, outcome.target, m_root);
        if (reading.readable)
            outcome.predictions = std::move(reading);
    }
    end(std::move(outcome));
}

void TrainingSession::startTest(const QStringList& arguments)
{
    release();
    m_test = m_runner.worker(m_setup.python, arguments).release();
    m_test->setParent(this);
    m_testError.clear();
    m_testOutput.clear();
    connect(m_test, &RunningWorker::standardError, this, [this](const QByteArray& bytes) { m_testError += bytes; });
    connect(m_test, &RunningWorker::standardOutput, this, [this](const QByteArray& bytes) { m_testOutput += bytes; });
    connect(m_test, &RunningWorker::failedToStart, this, [this](const QString& why) {
        diag::print(why);
        end(Outcome{State::Failed, true, QStringLiteral("The test worker could not be started."), why, Target::None, std::nullopt,
                    QString()});
    });
    connect(m_test, &RunningWorker::finished, this, &TrainingSession::testFinished);
    setState(State::Testing);
    m_test->start();
}

void TrainingSession::testFinished(int exitCode, bool crashed)
{
    if (m_state != State::Testing)
        return;
    if (crashed || exitCode != 0) {
        // Its prediction file would still be the unpredicted label file.
        end(Outcome{State::Failed, true, QStringLiteral("The test run failed."),
                    failureText(QString::fromUtf8(m_testError), kNoErrorOutput), Target::None, std::nullopt, QString()});
        return;
    }
    // A folder input's predictions are in its own file; every other input reads the tiles'.
    Outcome outcome{State::Finished, true, QStringLiteral("Pure Test Computation finished!"), QString(),
                    m_setup.inputKind == 2 ? Target::Images : Target::Tiles, std::nullopt, QString()};
    outcome.summary = testsummary::fromOutput(m_testOutput);
    resultingestion::Reading reading = resultingestion::readPredictions(m_setup.workspace, outcome.target, m_root);
    if (reading.readable)
        outcome.predictions = std::move(reading);
    end(std::move(outcome));
}

void TrainingSession::setState(State state)
{
    if (m_state == state)
        return;
    m_state = state;
    Q_EMIT stateChanged(state);
}

void TrainingSession::end(Outcome outcome)
{
    setState(outcome.state);
    Q_EMIT runEnded(outcome);
}
