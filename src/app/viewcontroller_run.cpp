// Starting a training or test run.
#include "app/viewcontroller.h"
#include "data/imagesetdocument.h"
#include "data/tilegriddocument.h"

#include "app/imagenetfetch.h"
#include "dialogs/prompter.h"
#include "worker/workerrunner.h"
#include "model/imagenetweights.h"
#include "model/jsonfile.h"
#include "results/testsummary.h"
#include "results/ui/realtimeimageview.h"
#include "training/runchecks.h"
#include "training/trainnncommand.h"
#include "training/ui/runmonitor.h"
#include "training/ui/strategysheetview.h"
#include "util/diagnostics.h"
#include "worker/paths.h"
#include "worker/runningworker.h"
#include "worker/workercommands.h"
#include "worker/workerfailure.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QStyle>

namespace {
const char* const kChecklist =
    "Before set up training strategy, make sure below aspects are checked: \n 1. Make sure neural network class# is "
    "same as your dataset\n 2. Earlier trained models and weights are saved;\n 3. Your settings for the neural network "
    "are saved.";
const char* const kInProgress = "A training run is in progress. Wait for it to finish before configuring another.";

bool holdsDocument(const nlohmann::ordered_json& document)
{
    return !document.is_null() && !(document.is_object() && document.empty());
}

// A pre-trained choice is trained from its own architecture file; the editor's document, when
// there is one, is the model otherwise. Empty on success, else why the file could not be
// written: a run would otherwise train whatever model an earlier run left there.
QString writeModelFile(const nlohmann::ordered_json& edited, const QString& resourceFile, const QString& path)
{
    std::optional<nlohmann::ordered_json> chosen;
    if (!holdsDocument(edited) && !resourceFile.isEmpty()) {
        QString error;
        chosen = jsonfile::read(resourceFile, &error);
        if (!chosen)
            return error;
    }
    const nlohmann::ordered_json& document = chosen ? *chosen : edited;
    if (!holdsDocument(document))
        return QString();
    const QString failure = jsonfile::writeCompact(document, path);
    diag::print(failure.isEmpty() ? path : failure);
    return failure;
}

// The chosen pre-trained architecture's file, or empty.
QString resourceModelFile(const QString& resourcename)
{
    if (resourcename.isEmpty())
        return QString();
    const QString path = paths::resourcePath(resourcename, QStringLiteral("json"));
    diag::print(path.isEmpty() ? "Fail" : "success");
    return path;
}

// A training run needs something to train on and two classes to tell apart.
bool checkTrainingData(ViewController& c, const TrainingStrategy& strategy, const QString& labelDocument)
{
    Prompter& prompter = c.prompter();
    const QString share = QString::asprintf("%.2f", strategy.trainratio);
    if (share == QLatin1String("0.00")) {
        prompter.alert(AlertRequest{QStringLiteral("A training share of 0.00 leaves nothing to train on."),
                                    QStringLiteral("Move the Training & Validation Ratio slider to the right."),
                                    AlertStyle::Warning, {}, nullptr});
        return false;
    }
    const QString document = runchecks::trainingLabelDocument(strategy.trainingfolder, strategy.trainingdoc, labelDocument);
    if (const auto problem = runchecks::singleClassProblem(runchecks::labelsOf(document))) {
        prompter.alert(AlertRequest{QStringLiteral("Training needs samples of two classes or more."), *problem,
                                    AlertStyle::Warning, {}, nullptr});
        return false;
    }
    if (share == QLatin1String("1.00")) {
        prompter.alert(AlertRequest{QStringLiteral("A training share of 1.00 leaves no data for validation."),
                                    QStringLiteral("Validation accuracy then says little about the model; the last "
                                                   "epoch's model is the one kept."),
                                    AlertStyle::Informational, {}, nullptr});
    }
    return true;
}

// Tells the user why a run cannot start; true when it can (a run without training data only
// predicts, after saying so).
bool checkRun(ViewController& c, const TrainingStrategy& strategy, const QString& labelDocument, bool epochsValid)
{
    Prompter& prompter = c.prompter();
    const bool training = !strategy.trainingfolder.isEmpty();
    if (!holdsDocument(c.editorDocument()) && c.resourcename.isEmpty()) {
        prompter.alert(QStringLiteral("No Neural Network Model Configured"), AlertStyle::Warning);
        return false;
    }
    if (c.modelname == QLatin1String("usermodel") && strategy.weights.isEmpty()) {
        prompter.alert(QStringLiteral("Need to load weights!"), AlertStyle::Warning);
        return false;
    }
    if (!training)
        prompter.alert(QStringLiteral("No training dataset, will only perform validation."), AlertStyle::Informational);
    if (labelDocument.isEmpty()) {
        prompter.alert(QStringLiteral("No data label document"), AlertStyle::Warning);
        return false;
    }
    if (!epochsValid) {
        prompter.alert(QStringLiteral("Training Eporch must be a positive whole number."), AlertStyle::Warning);
        return false;
    }
    // The worker refuses these too, but only after the run was shown as started.
    if (!trainnn::batchSize(strategy.batchsize)) {
        prompter.alert(QStringLiteral("Batch size must be a positive whole number."), AlertStyle::Warning);
        return false;
    }
    return !training || checkTrainingData(c, strategy, labelDocument);
}

// A pre-trained architecture learns from its ImageNet weights with their own preprocessing,
// unless the user gave weights of their own; a training run without any fetches them first.
// False when the user chose not to start.
bool chooseStartWeights(ViewController& c, trainnn::Request& request)
{
    const std::optional<imagenetweights::Architecture> imagenet =
        c.resourcename.isEmpty() ? std::nullopt : imagenetweights::forModel(c.modelname);
    TrainingStrategy& s = request.strategy;
    if (imagenet && !s.trainingfolder.isEmpty() && s.weights.isEmpty()) {
        const imagenetfetch::Result got = imagenetfetch::fetch(c.prompter(), c.workerRunner(), *imagenet, true);
        if (got.outcome == imagenetfetch::Outcome::Cancelled)
            return false;
        s.weights = got.path;
    }
    const bool random = s.weights.isEmpty();
    request.inputScaling = imagenet && !random ? imagenet->inputScaling : QString();
    request.networkMode = trainnn::networkMode(imagenet.has_value(), s.trainonlytop, random);
    return true;
}

// The end of the worker's own words, or what little is known when it said nothing.
QString failureText(const QString& standardError, const QString& fallback)
{
    const QString shown = workerfailure::lastLines(standardError.toUtf8());
    return shown.isEmpty() ? fallback : shown;
}
}  // namespace

void ViewController::strategyconfig()
{
    if (runmonitor && runmonitor->following()) {
        // Preparing data now would clear the workspace under the running worker; a worker that
        // no longer makes progress can be ended from here. The question closes when the run ends.
        const int choice = m_prompter.alert(AlertRequest{QString::fromUtf8(kInProgress), QString(), AlertStyle::Warning,
                                                         {QStringLiteral("Wait"), QStringLiteral("Stop Training")}, nullptr});
        if (choice == 1 && runmonitor && runmonitor->following())
            runmonitor->stop();
        return;
    }
    diag::print("going to config training strategy");
    const int confirmed = m_prompter.alert(AlertRequest{QString::fromUtf8(kChecklist), QString(), AlertStyle::Warning,
                                                        {QStringLiteral("Cancel"), QStringLiteral("Continue")}, nullptr});
    if (confirmed != 1)
        return;
    if (preparedata().isEmpty()) {
        diag::print("No data prepared!");
        m_prompter.alert(QStringLiteral("NO DATA FOR VALIDATION!!!"), AlertStyle::Warning);
        return;
    }
    QScrollArea* panel = newStrategyPanel();
    const int choice = m_prompter.alert(AlertRequest{QStringLiteral("Training Strategy Panel"), QString(), AlertStyle::Informational,
                                                     {QStringLiteral("Start!"), QStringLiteral("Cancel")}, panel});
    if (choice != 0)
        return;
    if (strategysheetconfig->imagefolder->text().isEmpty()) {
        m_prompter.alert(QStringLiteral("No validation data!"), AlertStyle::Warning);
        return;
    }
    trainNN();
}

QScrollArea* ViewController::newStrategyPanel()
{
    // The previous form goes with the panel that held it.
    if (strategysheetconfig) {
        QWidget* holder = strategysheetconfig;
        while (holder->parentWidget() && holder->objectName() != QLatin1String("strategypanel"))
            holder = holder->parentWidget();
        if (holder->objectName() != QLatin1String("strategypanel"))
            holder = strategysheetconfig;
        holder->deleteLater();
        strategysheetconfig = nullptr;
    }
    auto* panel = new QScrollArea(m_parking);
    panel->setObjectName(QStringLiteral("strategypanel"));
    panel->setAccessibleName(QStringLiteral("Training Strategy Panel"));
    panel->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    panel->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // The form's 400 pixels fit beside the vertical scroll bar: no button hides behind it.
    const int scrollBar = panel->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, panel);
    panel->setFixedSize(400 + scrollBar + 2 * panel->frameWidth(), 600);
    strategysheetconfig = new strategysheetview(m_prompter, datadirectory, nullptr);
    if (!urlarray.isEmpty())
        strategysheetconfig->imagefolder->setText(urlarray.first());
    // A pre-trained architecture is trained from its ImageNet weights, with their scaling.
    const std::optional<imagenetweights::Architecture> imagenet =
        resourcename.isEmpty() ? std::nullopt : imagenetweights::forModel(modelname);
    strategysheetconfig->setPretrainedModel(imagenet.has_value());
    if (imagenet)
        strategysheetconfig->preselect(ModelInfo{imagenet->inputScaling, false, {}});
    strategysheetconfig->preselect(loadedmodelinfo);
    watchWeightsChoice(strategysheetconfig);
    panel->setWidget(strategysheetconfig);
    return panel;
}

void ViewController::watchWeightsChoice(strategysheetview* form)
{
    connect(form, &strategysheetview::weightsChosen, this, [this, form](const QString& path) { inspectweights(*form, path); });
}

void ViewController::inspectweights(strategysheetview& form, const QString& path)
{
    const workercommands::Command command = workercommands::inspectWeights(path);
    const WorkerResult result = m_runner.run(command.program, command.arguments, QStringLiteral("Reading the weights ..."));
    const std::optional<ModelInfo> info = result.succeeded() ? modelinfo::parse(result.standardOutput) : std::nullopt;
    // The run itself reports a file it cannot use; here only a finding matters.
    if (!info) {
        diag::print(QStringLiteral("no model info in"), path);
        return;
    }
    form.preselect(*info);
}

void ViewController::trainNN()
{
    exampython();
    diag::print("going to train NN...");
    const QString root = trainnn::rootName(urlarray.value(0));
    const TrainingStrategy strategy = strategysheetconfig->strategy();
    const QString modelFile = paths::cachesFile(QStringLiteral("custommodel_temp.json"));
    const QString resourceModel = resourceModelFile(resourcename);
    const QString labelDocument = trainnn::labelDocumentName(inputdatatype, root);
    const std::optional<int> epochs = trainnn::epochCount(strategy.trainingeporch);
    if (!checkRun(*this, strategy, labelDocument, epochs.has_value()))
        return;
    trainnn::Request request;
    request.strategy = strategy;
    if (!chooseStartWeights(*this, request))
        return;
    const QString unwritten = writeModelFile(editorDocument(), resourceModel, modelFile);
    if (!unwritten.isEmpty()) {
        m_prompter.alert(AlertRequest{QStringLiteral("Cannot write the model for training."), unwritten, AlertStyle::Critical, {}, nullptr});
        return;
    }
    request.scriptPath = trainNNScript.isEmpty() ? paths::scriptPath(QStringLiteral("trainNN.py")) : trainNNScript;
    request.modelFile = modelFile;
    request.workspace = datadirectory;
    request.modelname = modelname;
    request.resourceModelFile = resourceModel;
    request.labelDocument = labelDocument;
    const QStringList arguments = trainnn::arguments(request);
    const QFileInfo first(urlarray.value(0));
    const QString input = inputdatatype == 2 ? QStringLiteral("%1 pictures in %2").arg(m_pictures->pictures().size()).arg(first.dir().dirName())
                                             : first.fileName();
    m_run = RunInput{inputdatatype, m_openings, root, input};
    // The result pane appears once the run is certain to start, not for a run refused above.
    openresultview();
    if (strategy.trainingfolder.isEmpty())
        runPureTest(arguments, root);
    else
        startMonitoredRun(arguments, *epochs, root);
}

void ViewController::startMonitoredRun(const QStringList& arguments, int epochCount, const QString& root)
{
    if (runmonitor) {
        delete runmonitor;  // the earlier run is over; its process goes with it
        runmonitor = nullptr;
    }
    // The worker is made by the injected runner and followed without waiting for it to start.
    RunningWorker* worker = m_monitored->worker(paths::pythonInterpreter(), arguments).release();
    RunMonitor* monitor = new RunMonitor(worker, RunMonitor::Run{epochCount, datadirectory, root}, this);
    runmonitor = monitor;
    connect(monitor, &RunMonitor::chartUpdated, painres, &RealTimeImageView::setPoints);
    connect(monitor, &RunMonitor::stateChanged, this, [this](const QString& text) {
        if (trainingstate)
            trainingstate->setText(text);
    });
    connect(monitor, &RunMonitor::endedEarly, this, [this](const QString& standardError) {
        m_prompter.closeAlert(QString::fromUtf8(kInProgress));
        m_prompter.alert(AlertRequest{QStringLiteral("Training ended before all epochs were finished."),
                                      failureText(standardError, QStringLiteral("The worker left no error output.")),
                                      AlertStyle::Critical, {}, nullptr});
    });
    connect(monitor, &RunMonitor::trainingFinished, this,
            [this, root](const QString& standardError) { onTrainingFinished(root, standardError); });
    connect(worker, &RunningWorker::failedToStart, this, [this, monitor](const QString& why) {
        diag::print(why);
        if (runmonitor == monitor)
            runmonitor = nullptr;
        monitor->deleteLater();  // its worker is the sender
        m_prompter.alert(AlertRequest{QStringLiteral("The training worker could not be started."), why, AlertStyle::Critical, {}, nullptr});
    });
    worker->start();
}

bool ViewController::mayQuit()
{
    if (!runmonitor || !runmonitor->following())
        return true;
    const int choice = m_prompter.alert(AlertRequest{QStringLiteral("A training run is in progress. Stop it and quit?"), QString(),
                                                     AlertStyle::Warning,
                                                     {QStringLiteral("Cancel"), QStringLiteral("Stop and Quit")}, nullptr});
    if (choice != 1)
        return false;
    if (runmonitor && runmonitor->following())
        runmonitor->stop();
    return true;
}

void ViewController::onTrainingFinished(const QString& root, const QString& standardError)
{
    m_prompter.closeAlert(QString::fromUtf8(kInProgress));
    if (ingestRunResults(root)) {
        completeRun(runmonitor ? runmonitor->keptEpoch() : QString());
        return;
    }
    // The worker has exited without its trained model: waiting longer would never end.
    m_prompter.alert(AlertRequest{QStringLiteral("Training finished without a trained model."),
                                  failureText(standardError, QStringLiteral("No \"my_model\" file was written to the workspace.")),
                                  AlertStyle::Critical, {}, nullptr});
}

void ViewController::runPureTest(const QStringList& arguments, const QString& root)
{
    const WorkerResult result = m_runner.run(paths::pythonInterpreter(), arguments, QStringLiteral("Testing the model..."));
    if (!result.started) {
        diag::print(result.errorText);
        m_prompter.alert(AlertRequest{QStringLiteral("The test worker could not be started."), result.errorText,
                                      AlertStyle::Critical, {}, nullptr});
        return;
    }
    if (result.cancelled) {
        trainingstate->setText(QStringLiteral("Test cancelled."));
        return;
    }
    const QString standardError = QString::fromUtf8(result.standardError);
    if (!result.succeeded()) {
        trainingstate->setText(QStringLiteral("The test run failed."));
        // Its prediction file would still be the unpredicted label file.
        m_prompter.alert(AlertRequest{QStringLiteral("The test run failed."),
                                      failureText(standardError, QStringLiteral("The worker left no error output.")),
                                      AlertStyle::Critical, {}, nullptr});
        return;
    }
    ingestValidationOnly(root, testsummary::fromOutput(result.standardOutput));
}
