// The four ways a model enters the workbench, and the check of the worker interpreter.
#include "app/viewcontroller.h"
#include "app/trainpane.h"
#include "model/architecturedocument.h"
#include "data/imagesetdocument.h"
#include "data/tilegriddocument.h"

#include "dialogs/prompter.h"
#include "worker/workerrunner.h"
#include "model/archdocument.h"
#include "model/imagenetweights.h"
#include "model/jsonfile.h"
#include "training/datapreparation.h"
#include "util/diagnostics.h"
#include "worker/paths.h"
#include "worker/workercommands.h"
#include "worker/workerfailure.h"

#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>

namespace {

WorkerResult runCommand(WorkerRunner& runner, const workercommands::Command& command, const QString& waiting)
{
    return runner.run(command.program, command.arguments, waiting);
}

QString failureText(const WorkerResult& result) { return workerfailure::describe(result); }

}  // namespace

void ViewController::updatesmalldatahint()
{
    qint64 samples = 0;
    if (inputdatatype == 1 && m_grid->state().hasGrid() && m_grid->state().rownum && m_grid->state().colnum)
        samples = qint64(*m_grid->state().rownum) * *m_grid->state().colnum;
    else if (inputdatatype == 2)
        samples = qint64(datapreparation::folderSamples(m_pictures->pictures()).size());
    const std::optional<QString> suggested =
        resourcename.isEmpty() ? imagenetweights::smallDataSuggestion(int(std::min<qint64>(samples, 1 << 30)), imagenetweights::cacheFolders())
                               : std::nullopt;
    m_trainPane->smalldatahint()->setVisible(suggested.has_value());
    m_trainPane->smalldatabutton()->setVisible(suggested.has_value());
    if (!suggested)
        return;
    m_trainPane->smalldatahint()->setText(QStringLiteral("%1 labelled images: %2 with ImageNet weights learns more from them.").arg(samples).arg(*suggested));
    m_trainPane->smalldatabutton()->setText(QStringLiteral("Use %1").arg(*suggested));
    m_trainPane->smalldatabutton()->setProperty("model", *suggested);
}

void ViewController::comboBoxSelectionDidChange(QComboBox* box)
{
    if (box != m_trainPane->modellist() || m_trainPane->modellist()->currentIndex() < 0)
        return;
    const QString chosen = m_trainPane->modellist()->currentText();
    diag::print(chosen);
    QString error;
    const QString path = paths::resourcePath(chosen.toLower(), QStringLiteral("json"));
    const std::optional<nlohmann::ordered_json> doc =
        path.isEmpty() ? std::nullopt : jsonfile::read(path, &error);
    if (!doc) {
        diag::print("Fail");
        m_prompter.alert(AlertRequest{QStringLiteral("Cannot load the %1 architecture.").arg(chosen),
                                      path.isEmpty() ? QStringLiteral("Its resource file is missing.") : error,
                                      AlertStyle::Warning, {}, nullptr});
        return;
    }
    modelname = chosen;
    resourcename = chosen.toLower();
    loadedmodelinfo = {};
    m_trainPane->nodeclass()->setEnabled(false);
    m_trainPane->modelgeneratebtn()->setEnabled(false);
    updatesmalldatahint();
}

void ViewController::buildcustommodel(const nlohmann::ordered_json* restored)
{
    QString error;
    const QString startPath = paths::resourcePath(QStringLiteral("custommodel"), QStringLiteral("json"));
    const QString templatePath = paths::resourcePath(QStringLiteral("resnet50"), QStringLiteral("json"));
    const std::optional<nlohmann::ordered_json> start =
        restored ? std::optional<nlohmann::ordered_json>(*restored)
                 : startPath.isEmpty() ? std::nullopt : jsonfile::read(startPath, &error);
    const std::optional<nlohmann::ordered_json> templates =
        !start || templatePath.isEmpty() ? std::nullopt : jsonfile::read(templatePath, &error);
    if (!start || !templates) {
        diag::print("Fail");
        m_prompter.alert(AlertRequest{QStringLiteral("Cannot start a new model."),
                                      error.isEmpty() ? QStringLiteral("A model resource file is missing.") : error,
                                      AlertStyle::Warning, {}, nullptr});
        return;
    }
    m_trainPane->nodeclass()->setEnabled(true);
    m_trainPane->modelgeneratebtn()->setEnabled(true);
    jsonprepare = *templates;
    loadedmodelinfo = {};
    // The model that is trained is the one chosen last.
    modelname.clear();
    resourcename.clear();
    updatesmalldatahint();
    diag::print("load custom model architecture");
    showModelGraph(*start, true);
}

void ViewController::loadmodeljson(const QString& path, const ModelInfo& info)
{
    QString error;
    const std::optional<nlohmann::ordered_json> doc = jsonfile::read(path, &error);
    if (doc)
        error = archdoc::structureProblem(*doc);
    if (!doc || !error.isEmpty()) {
        // The model shown and kept so far stays.
        if (doc)
            error = QStringLiteral("%1: %2.").arg(path, error);
        m_prompter.alert(AlertRequest{QStringLiteral("Cannot load the model architecture."), error, AlertStyle::Warning, {}, nullptr});
        return;
    }
    modelname = QStringLiteral("usermodel");
    resourcename.clear();
    loadedmodelinfo = info;
    updatesmalldatahint();
    m_trainPane->nodeclass()->setEnabled(false);
    m_trainPane->modelgeneratebtn()->setEnabled(false);
    diag::print("load model architecture");
    // A saved model keeps the editing rights of the model it replaces.
    showModelGraph(*doc, m_architecture->customized());
}

void ViewController::showTrainPanels()
{
    m_trainPane->showPanels();
    TrainViewBtn->setEnabled(true);
    TrainViewBtn->setChecked(true);
    changeleftview();
}

void ViewController::Openmodel()
{
    FileRequest request;
    request.title = QStringLiteral("Choose a Neural Network Model");
    request.chooseFiles = true;
    request.chooseDirectories = true;  // a TensorFlow SavedModel is a folder
    const QStringList chosen = m_prompter.choosePaths(request);
    if (chosen.isEmpty()) {
        showTrainPanels();
        return;
    }
    const QString path = chosen.first();
    const std::optional<QString> mode = workercommands::modelMode(path, QFileInfo(path).isDir());
    if (!mode) {
        m_prompter.alert(QStringLiteral("Please select model with extention of keras,h5,or tensorflow model folder"));
        return;
    }
    removesubviews(m_trainPane->trainView());
    const QString output = paths::cachesFile(QStringLiteral("usermodel.json"));
    QFile::remove(output);  // never load an earlier conversion by mistake
    const WorkerResult result = runCommand(m_runner, workercommands::loadModel(path, output, *mode),
                                           QStringLiteral("Converting %1 ...").arg(QFileInfo(path).fileName()));
    if (!result.started)
        diag::print(result.errorText);
    if (!result.succeeded() || !QFileInfo(output).isFile()) {
        const QString why = result.succeeded() ? QStringLiteral("The converter finished without writing %1.").arg(output)
                                               : failureText(result);
        m_prompter.alert(AlertRequest{QStringLiteral("Cannot load the Keras model."), why, AlertStyle::Critical, {}, nullptr});
        showTrainPanels();
        return;
    }
    m_prompter.alert(QStringLiteral("Load Keras model"), AlertStyle::Informational);
    showTrainPanels();
    loadmodeljson(output, modelinfo::parse(result.standardOutput).value_or(ModelInfo{}));
}

void ViewController::generateMLModel()
{
    exampython();
    diag::print("going to generate ML model");
    const QString modelFile = paths::cachesFile(QStringLiteral("custommodel_temp.json"));
    const QString writeError = jsonfile::writeCompact(editorDocument(), modelFile);
    if (!writeError.isEmpty()) {
        diag::print(writeError);
        m_prompter.alert(AlertRequest{QStringLiteral("Cannot write the model for generation."), writeError, AlertStyle::Critical, {}, nullptr});
        return;
    }
    const WorkerResult result =
        runCommand(m_runner, workercommands::generateModel(modelFile), QStringLiteral("Generating the model ..."));
    if (!result.started) {
        diag::print(result.errorText);
        m_prompter.alert(AlertRequest{QStringLiteral("Generate model failed!"), result.errorText, AlertStyle::Critical, {}, nullptr});
        return;
    }
    if (!result.succeeded()) {
        diag::print("task failed.");
        m_prompter.alert(AlertRequest{QStringLiteral("Generate model failed!"), failureText(result), AlertStyle::Critical, {}, nullptr});
        return;
    }
    diag::print("task succeeded.");
    showGenerationSummary(QString::fromUtf8(result.standardOutput));
}

void ViewController::showGenerationSummary(const QString& summary)
{
    const auto& layers = editorDocument().contains("config") && editorDocument()["config"].is_object()
                                 && editorDocument()["config"].contains("layers") && editorDocument()["config"]["layers"].is_array()
                             ? editorDocument()["config"]["layers"].size()
                             : size_t(0);
    QScrollArea scroll;
    scroll.setFixedSize(800, 400);
    auto* text = new QPlainTextEdit(summary);
    text->setReadOnly(true);
    text->setLineWrapMode(QPlainTextEdit::NoWrap);
    text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    text->setAccessibleName(QStringLiteral("Model summary"));
    text->setFixedSize(800, int(std::max<size_t>(30 * layers, 400)));
    scroll.setWidget(text);
    m_prompter.alert(AlertRequest{QStringLiteral("Generate model succeed!"), QString(), AlertStyle::Informational, {}, &scroll});
}

void ViewController::exampython()
{
    const WorkerResult version = runCommand(m_runner, workercommands::pythonVersion(), QStringLiteral("Checking Python ..."));
    if (!version.started) {
        diag::print(version.errorText);
        exampackage();
        return;
    }
    if (!version.standardError.isEmpty()) {
        diag::print(QString::fromUtf8(version.standardError));
        m_prompter.alert(QStringLiteral("Please install Python 3.8.5 to your machine to run the Neural Network Calculation."));
        return;
    }
    exampackage();
}

void ViewController::exampackage()
{
    const WorkerResult list = runCommand(m_runner, workercommands::pipList(), QStringLiteral("Checking Python packages ..."));
    if (!list.started) {
        diag::print(list.errorText);
        return;
    }
    if (list.standardOutput.isEmpty())
        return;
    const QString text = QString::fromUtf8(list.standardOutput);
    const QStringList missing = envcheck::missingPackages(text);
    for (const QString& name : envcheck::requiredPackages())
        diag::print(name, !missing.contains(name));
    if (!missing.isEmpty())
        m_prompter.alert(envcheck::missingPackagesMessage(), AlertStyle::Critical);
}
