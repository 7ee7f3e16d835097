#pragma once

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

// The one controller of the main window: owns the workspace state and every view, builds the
// three tool panes and switches the work area. Operations of each area live in their own
// viewcontroller_<area>.cpp file; the computing is done by core code they call.
class ViewController : public QWidget {
    Q_OBJECT
public:
    ViewController(Prompter& prompter, WorkerRunner& runner, QWidget* parent = nullptr);
    ~ViewController() override;

    // ---- Workspace state ------------------------------------------------------------------
    int inputdatatype = 0;           // 0 nothing, 1 single image, 2 several images, 3 table
    QList<QStringList> tabledata;    // the open CSV table, header row first
    QStringList singlecol;           // working column of the table reader
    QStringList urlarray;            // the accepted input files (absolute paths)
    int gridnum = 0;
    bool havesingleimg = false;
    bool havegridimg = false;
    QString resourcename;            // lower-cased pre-trained choice
    QString modelname;
    nlohmann::ordered_json jsonprepare;  // layer templates for "Add node class:"
    strategysheetview* strategysheetconfig = nullptr;
    QLabel* trainingstate = nullptr;
    QLabel* resultsource = nullptr;  // result pane: which input the results belong to
    QString datadirectory;           // the workspace folder once data was prepared; empty before
    QString trainNNScript;           // the training worker; empty: the installed trainNN.py
    ModelInfo loadedmodelinfo;       // what the loaded saved model records about applying it

    // What the tile grid (testview), the thumbnail browser (multiimagecollection) and the layer
    // graph editor show and edit.
    TileGridDocument& tileGrid() { return *m_grid; }
    ImageSetDocument& pictures() { return *m_pictures; }
    ArchitectureDocument& architecture() { return *m_architecture; }
    // The image cut into tiles.
    const QImage& singleImage() const;

    // ---- Window structure -----------------------------------------------------------------
    QWidget* LeftView = nullptr;
    QWidget* RightView = nullptr;
    QPushButton* LabelViewBtn = nullptr;
    QPushButton* TrainViewBtn = nullptr;
    QPushButton* ResultViewBtn = nullptr;
    QPushButton* opendatabutton = nullptr;
    QPushButton* openmodelbutton = nullptr;
    QPushButton* exportbutton = nullptr;

    QWidget* labelView = nullptr;
    QWidget* trainView = nullptr;
    QWidget* resultView = nullptr;
    QWidget* lastlabelview = nullptr;
    QWidget* lasttrainview = nullptr;
    QWidget* lastresultview = nullptr;

    QScrollArea* scrollview = nullptr;
    QWidget* imageview = nullptr;     // black background; holds testview
    QLabel* metricview = nullptr;
    QWidget* blankview = nullptr;
    QTableView* tableView = nullptr;
    TableModel* tablemodel = nullptr;
    multiimagecollectionview* multiimagecollection = nullptr;
    nodecollection* nodecollectionView = nullptr;
    PaintableImageView* testview = nullptr;
    RealTimeImageView* painres = nullptr;

    // Label pane
    QWidget* singleimageview = nullptr;
    QWidget* multiimageview = nullptr;
    QLineEdit* gridcol = nullptr;
    QLineEdit* gridrow = nullptr;
    QLabel* labelviewtitle = nullptr;
    QLabel* tilesize = nullptr;
    QLineEdit* imagelabelval = nullptr;
    QPushButton* drawgridbutton = nullptr;
    QPushButton* reversebutton = nullptr;
    QPushButton* imagelabelbutton = nullptr;

    // Train pane
    QWidget* pretrainmode = nullptr;
    QWidget* custommode = nullptr;
    QWidget* trainstrategy = nullptr;
    QComboBox* modellist = nullptr;
    QComboBox* nodeclass = nullptr;
    QPushButton* newmodelbutton = nullptr;
    QPushButton* modelgeneratebtn = nullptr;
    QPushButton* modeltrainbtn = nullptr;
    // A quiet suggestion of a pre-trained architecture when few images are labelled.
    QLabel* smalldatahint = nullptr;
    QPushButton* smalldatabutton = nullptr;

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
    void buildLabelPane();
    void buildTrainPane();
    void buildResultPane();
    void resizeContentViews(const QSizeF& size);
    // Shows the thumbnails' current labels and predictions again (label pane re-entered).
    void reloadMultiImageBrowser();
    // Each area builds its own views after the panes exist.
    void buildDataViews();
    void buildBrowserViews();
    void buildSourceViews();
    void showTrainPanels();
    void showGenerationSummary(const QString& summary);
    void buildModelViews();
    void buildTrainingViews();
    void buildResultViews();
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
