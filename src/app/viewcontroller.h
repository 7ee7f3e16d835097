#pragma once

#include "app/labelpane.h"
#include "app/resultpane.h"
#include "app/trainpane.h"
#include "data/imageset.h"
#include "data/tilegridstate.h"
#include "training/trainingsession.h"
#include "worker/modelinfo.h"

#include <QImage>
#include <QList>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <nlohmann/json.hpp>
#include <memory>
#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;
class QTableView;
class MonitoredRunner;
class Prompter;
class WorkerRunner;

class PaintableImageView;
class multiimagecollectionview;
class nodecollection;
class RealTimeImageView;
class strategysheetview;
class TableModel;
class QUndoGroup;
class SessionAutosave;
class TileGridDocument;
class ImageSetDocument;
class ArchitectureDocument;

// The one controller of the main window: composes the Label, Train and Result panes (each with
// its tools, work area views and documents), keeps the workspace state and switches the work
// area. Operations of each area live in their own viewcontroller_<area>.cpp file; the computing
// is done by core code they call, runs by the training session.
class ViewController : public QWidget {
    Q_OBJECT
public:
    ViewController(Prompter& prompter, WorkerRunner& runner, QWidget* parent = nullptr);
    ~ViewController() override;

    // The three panes, each with its tools, its work area views and the documents they show.
    LabelPane& labelPane() const { return *m_labelPane; }
    TrainPane& trainPane() const { return *m_trainPane; }
    ResultPane& resultPane() const { return *m_resultPane; }
    // What the tile grid (testview), the thumbnail browser (multiimagecollection) and the layer
    // graph editor show and edit.
    TileGridDocument& tileGrid() { return *m_grid; }
    ImageSetDocument& pictures() { return *m_pictures; }
    ArchitectureDocument& architecture() { return *m_architecture; }
    // The image cut into tiles.
    const QImage& singleImage() const;

    // ---- What is open ---------------------------------------------------------------------
    // 0 nothing, 1 single image, 2 several images, 3 table.
    int inputKind() const { return inputdatatype; }
    // The accepted input files (absolute paths).
    const QStringList& inputs() const { return urlarray; }
    int gridCount() const { return gridnum; }
    bool hasSingleImage() const { return havesingleimg; }
    bool hasGridImage() const { return havegridimg; }
    // The workspace folder once data was prepared; empty before.
    const QString& workspaceFolder() const { return datadirectory; }
    // The network chosen: its name ("usermodel" for a model opened from a file) and, for a
    // pre-trained architecture, its resource name in lower case.
    const QString& modelName() const { return modelname; }
    const QString& chosenArchitecture() const { return resourcename; }
    // What the loaded saved model records about applying it.
    const ModelInfo& loadedModelInfo() const { return loadedmodelinfo; }
    // The strategy form of the last Strategy Config.
    strategysheetview* strategyForm() const { return strategysheetconfig; }

    // ---- Window structure -----------------------------------------------------------------
    QPushButton* labelButton() const { return LabelViewBtn; }
    QPushButton* trainButton() const { return TrainViewBtn; }
    QPushButton* resultButton() const { return ResultViewBtn; }
    QScrollArea* workArea() const { return scrollview; }
    QWidget* rightView() const { return RightView; }

    // The training worker; empty: the installed trainNN.py.
    void setTrainingScript(const QString& path) { trainNNScript = path; }
    // The layer templates "Add node class:" inserts from.
    void setLayerTemplates(const nlohmann::ordered_json& templates) { jsonprepare = templates; }

    Prompter& prompter() { return m_prompter; }
    WorkerRunner& workerRunner() { return m_runner; }
    // What makes the workers of training and test runs; processes unless another is given.
    void setMonitoredRunner(MonitoredRunner& runner);
    // Training and test runs: what they need, where the last one stands.
    const TrainingSession& trainingSession() const { return *m_session; }

    // ---- Shell ----------------------------------------------------------------------------
    void changeleftview();
    void removesubviews(QWidget* view);
    void windowDidResize();
    void magnify(double magnification);
    // Shows `view` as the work area's document; the previous document is kept, not deleted.
    void setDocumentView(QWidget* view);
    // Makes `view` the label pane's document and shows the label pane.
    void showInLabelPane(QWidget* view);
    // Makes `view` the pane's document (`last`) and shows that pane, its button checked.
    void showInPane(QPushButton* button, QWidget*& last, QWidget* view);
    QWidget* documentView() const;
    // The window's frame size (W, H); the work area is W - 200 by H - 58.
    QSize windowSize() const;
    QSize workAreaSize() const;

    // ---- Data opening and labelling -------------------------------------------------------
    void Opendata();
    void opentable(const QString& path);
    void openSingleImageurl(const QString& path);
    void drawgrid();
    void reversegrid();
    void openMultiImageurl();
    // Opens `paths` as the pictures to label, as Open Data does for a selection of images.
    void openPictures(const QStringList& paths);
    // Makes the image the tile grid document holds the input, with the grid it has (after the
    // document was filled directly, as a restore fills it).
    void adoptTileGridImage();
    void labelmultiimage();
    // Shows the tile grid document's image in the label pane, with the counts of its grid.
    void showTileGridImage();
    // The label pane's image panel as newly opened data finds it: `title`, no grid counts.
    void resetImagePanel(const QString& title);

    // ---- Model sources --------------------------------------------------------------------
    void comboBoxSelectionDidChange(QComboBox* box);
    // A new model from the start architecture, or the custom model a session kept.
    void buildcustommodel(const nlohmann::ordered_json* restored = nullptr);
    // Shows the architecture document at `path`; `info` is what its model file records.
    void loadmodeljson(const QString& path, const ModelInfo& info = {});
    void Openmodel();
    void generateMLModel();
    void exampython();
    void exampackage();
    // The architecture document the layer graph editor holds (an empty object when none).
    const nlohmann::ordered_json& editorDocument() const;
    // Makes `document` the architecture and shows it as the layer graph in the work area.
    void showModelGraph(const nlohmann::ordered_json& document, bool customized);
    // "Add node class:": inserts the class's template layer before the output layer.
    void addnodeclass(const QString& classname);
    // Shows the small-data suggestion when it applies, hides it otherwise.
    void updatesmalldatahint();

    // ---- Training -------------------------------------------------------------------------
    void strategyconfig();
    void trainNN();
    QString preparedata();
    QImage trimimage(const QImage& image, const QRect& bottomLeftRect) const;

    // ---- Results --------------------------------------------------------------------------
    void openresultview();
    void openMetricimage(const QString& path);
    void outputresult();

    // Whether the window may close now; asks first while a run is followed, and ends it.
    bool mayQuit();

    // ---- Undo and the session file ----------------------------------------------------------
    // The undo stacks of the documents; the active one is that of the pane shown.
    QUndoGroup* undoGroup() const { return m_undoGroup; }
    SessionAutosave& autosave() const { return *m_autosave; }
    // Offers to restore the session file when every input it names is still there.
    void offerRestore();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void viewDidLoad();
    void buildWindowFrame();
    void resizeContentViews(const QSizeF& size);
    void connectPanes();
    // Opening steps.
    struct OpenData {  // what a selection of which nothing opens gives back
        QStringList urlarray;
        bool havesingleimg = false;
        bool havegridimg = false;
    };
    void restoreOpenData(const OpenData& before);
    // False when the folder could not be listed (after telling the user).
    bool openFolder(const QString& folder);
    // The table and the single image open fully or not at all: on failure the user is told why
    // and the workspace is left as it was.
    bool showTable(const QString& path);
    // Shows the thumbnails' current labels and predictions again (label pane re-entered).
    void reloadMultiImageBrowser();
    // Each area builds its own views after the panes exist.
    void buildDataViews();
    void showTrainPanels();
    void showGenerationSummary(const QString& summary);
    void buildTrainingViews();
    // Run and result steps.
    QScrollArea* newStrategyPanel();
    // Lets `form` preselect what the weights chosen in it record.
    void watchWeightsChoice(strategysheetview* form);
    void inspectweights(strategysheetview& form, const QString& path);
    void buildTrainingSession();
    void onRunEnded(const TrainingSession::Outcome& outcome);
    void applyPredictions(resultingestion::Target target, const resultingestion::Reading& reading);
    // `keptEpoch`: the worker's line naming the epoch that became the model, shown with the alert.
    void completeRun(const QString& keptEpoch);
    void ingestValidationOnly(const QString& summary);

    void buildSessionKeeping();
    // Makes the undo stack of the document the work area shows the active one.
    void followShownPane();
    // Says which input the result pane's results belong to, once other data was opened.
    void noteDataOpened();

    // What a run was started on, so that its results reach that input only.
    struct RunInput {
        int kind = 0;          // inputdatatype then
        int opening = 0;       // m_openings then
        QString root;
        QString name;          // the input's file or folder name, as the result pane names it
    };

    // ---- Workspace state ------------------------------------------------------------------
    int inputdatatype = 0;
    QStringList singlecol;           // working column of the table reader
    QStringList urlarray;
    int gridnum = 0;
    bool havesingleimg = false;
    bool havegridimg = false;
    QString resourcename;
    QString modelname;
    nlohmann::ordered_json jsonprepare;  // layer templates for "Add node class:"
    strategysheetview* strategysheetconfig = nullptr;
    QString datadirectory;
    QString trainNNScript;
    ModelInfo loadedmodelinfo;

    // ---- Window structure -----------------------------------------------------------------
    QWidget* LeftView = nullptr;
    QWidget* RightView = nullptr;
    QPushButton* LabelViewBtn = nullptr;
    QPushButton* TrainViewBtn = nullptr;
    QPushButton* ResultViewBtn = nullptr;
    QPushButton* opendatabutton = nullptr;
    QPushButton* openmodelbutton = nullptr;
    QPushButton* exportbutton = nullptr;
    QScrollArea* scrollview = nullptr;
    // What each pane shows in the work area when it is chosen again.
    QWidget* lastlabelview = nullptr;
    QWidget* lasttrainview = nullptr;
    QWidget* lastresultview = nullptr;
    LabelPane* m_labelPane = nullptr;
    TrainPane* m_trainPane = nullptr;
    ResultPane* m_resultPane = nullptr;

    Prompter& m_prompter;
    WorkerRunner& m_runner;
    std::unique_ptr<MonitoredRunner> m_processRunner;
    MonitoredRunner* m_monitored = nullptr;
    TrainingSession* m_session = nullptr;
    TileGridDocument* m_grid = nullptr;
    ImageSetDocument* m_pictures = nullptr;
    ArchitectureDocument* m_architecture = nullptr;
    QUndoGroup* m_undoGroup = nullptr;
    SessionAutosave* m_autosave = nullptr;
    int m_openings = 0;        // data openings so far
    RunInput m_run;
    QWidget* m_parking = nullptr;  // hidden owner of documents not shown right now
};
