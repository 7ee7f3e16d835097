// Starting a training or test run.
#include "app/viewcontroller.h"
#include "app/resultpane.h"
#include "data/imagesetdocument.h"
#include "data/tilegriddocument.h"

#include "app/imagenetfetch.h"
#include "dialogs/prompter.h"
#include "worker/workerrunner.h"
#include "model/imagenetweights.h"
#include "model/jsonfile.h"
#include "results/ui/realtimeimageview.h"
#include "training/trainnncommand.h"
#include "training/ui/strategysheetview.h"
#include "util/diagnostics.h"
#include "worker/workercommands.h"
#include "worker/paths.h"

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

// A pre-trained architecture learns from its ImageNet weights with their own preprocessing,
// unless the user gave weights of their own; a training run without any fetches them first.
// False when the user chose not to start.
bool chooseStartWeights(ViewController& c, TrainingSession::Setup& setup)
{
    const std::optional<imagenetweights::Architecture> imagenet =
        c.chosenArchitecture().isEmpty() ? std::nullopt : imagenetweights::forModel(c.modelName());
    TrainingStrategy& s = setup.strategy;
    if (imagenet && !s.trainingfolder.isEmpty() && s.weights.isEmpty()) {
        const imagenetfetch::Result got = imagenetfetch::fetch(c.prompter(), c.workerRunner(), *imagenet, true);
        if (got.outcome == imagenetfetch::Outcome::Cancelled)
            return false;
        s.weights = got.path;
    }
    const bool random = s.weights.isEmpty();
    setup.inputScaling = imagenet && !random ? imagenet->inputScaling : QString();
    setup.networkMode = trainnn::networkMode(imagenet.has_value(), s.trainonlytop, random);
    return true;
}

}  // namespace

void ViewController::strategyconfig()
{
    if (m_session->running()) {
        // Preparing data now would clear the workspace under the running worker; a worker that
        // no longer makes progress can be ended from here. The question closes when the run ends.
        const int choice = m_prompter.alert(AlertRequest{TrainingSession::busyMessage(), QString(), AlertStyle::Warning,
                                                         {QStringLiteral("Wait"), QStringLiteral("Stop Training")}, nullptr});
        if (choice == 1)
            m_session->stop();
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
    TrainingSession::Setup setup;
    setup.inputKind = inputdatatype;
    setup.firstInput = urlarray.value(0);
    setup.editorDocument = editorDocument();
    setup.resourcename = resourcename;
    setup.modelname = modelname;
    setup.workspace = datadirectory;
    setup.strategy = strategysheetconfig->strategy();
    setup.scriptPath = trainNNScript;
    if (!setup.strategy.imagefolder.isEmpty())
        exampython();
    diag::print("going to train NN...");
    for (const TrainingSession::Finding& finding : TrainingSession::check(setup)) {
        m_prompter.alert(AlertRequest{finding.text, finding.detail, finding.refusal ? AlertStyle::Warning : AlertStyle::Informational,
                                      {}, nullptr});
        if (finding.refusal)
            return;
    }
    if (!chooseStartWeights(*this, setup))
        return;
    // A pre-trained choice is trained from its own architecture file when nothing is edited.
    if (!resourcename.isEmpty()) {
        QString error;
        const QString path = paths::resourcePath(resourcename, QStringLiteral("json"));
        diag::print(path.isEmpty() ? "Fail" : "success");
        if (const std::optional<nlohmann::ordered_json> chosen = jsonfile::read(path, &error))
            setup.chosenDocument = *chosen;
        else if (!TrainingSession::modelToTrain(setup)) {
            m_prompter.alert(AlertRequest{QStringLiteral("Cannot write the model for training."), error, AlertStyle::Critical, {}, nullptr});
            return;
        }
    }
    const QFileInfo first(setup.firstInput);
    const QString input = inputdatatype == 2 ? QStringLiteral("%1 pictures in %2").arg(m_pictures->pictures().size()).arg(first.dir().dirName())
                                             : first.fileName();
    const RunInput previous = m_run;
    m_run = RunInput{inputdatatype, m_openings, trainnn::rootName(setup.firstInput), input};
    // The result pane appears once the run is certain to start, not for a run refused above.
    openresultview();
    if (const std::optional<TrainingSession::Finding> refused = m_session->start(setup)) {
        m_run = previous;
        m_prompter.alert(AlertRequest{refused->text, refused->detail, AlertStyle::Critical, {}, nullptr});
    }
}

void ViewController::buildTrainingSession()
{
    m_session = new TrainingSession(*m_monitored, this);
    connect(m_session, &TrainingSession::chartUpdated, m_resultPane->painres(), &RealTimeImageView::setPoints);
    connect(m_session, &TrainingSession::progressChanged, this, [this](const QString& text) {
        if (m_resultPane->trainingstate())
            m_resultPane->trainingstate()->setText(text);
    });
    connect(m_session, &TrainingSession::runEnded, this, &ViewController::onRunEnded);
}

void ViewController::onRunEnded(const TrainingSession::Outcome& outcome)
{
    m_prompter.closeAlert(TrainingSession::busyMessage());
    const bool test = outcome.test;
    switch (outcome.state) {
    case TrainingSession::State::Finished:
        // Data opened during the run is not what the run predicted: its tiles or pictures must
        // not get the earlier input's predictions.
        if (m_openings == m_run.opening && outcome.predictions)
            applyPredictions(outcome.target, *outcome.predictions);
        else if (m_openings != m_run.opening)
            diag::print("predictions of an earlier input not applied");
        if (test)
            ingestValidationOnly(outcome.summary);
        else
            completeRun(outcome.keptEpoch);
        return;
    case TrainingSession::State::Stopped:
        if (test && m_resultPane->trainingstate())
            m_resultPane->trainingstate()->setText(QStringLiteral("Test cancelled."));
        return;
    default:
        if (test && m_resultPane->trainingstate())
            m_resultPane->trainingstate()->setText(QStringLiteral("The test run failed."));
        m_prompter.alert(AlertRequest{outcome.message, outcome.detail, AlertStyle::Critical, {}, nullptr});
        return;
    }
}

bool ViewController::mayQuit()
{
    if (!m_session->running())
        return true;
    const int choice = m_prompter.alert(AlertRequest{QStringLiteral("A training run is in progress. Stop it and quit?"), QString(),
                                                     AlertStyle::Warning,
                                                     {QStringLiteral("Cancel"), QStringLiteral("Stop and Quit")}, nullptr});
    if (choice != 1)
        return false;
    m_session->stop();
    return true;
}
