// The result pane, ingestion of predictions and the metrics image.
#include "app/viewcontroller.h"

#include "app/framing.h"
#include "app/prompter.h"
#include "results/chartgeometry.h"
#include "results/resultingestion.h"
#include "results/ui/metricimageview.h"
#include "results/ui/realtimeimageview.h"
#include "results/ui/rotatedlabel.h"
#include "training/ui/strategysheetview.h"
#include "util/diagnostics.h"
#include "util/textutil.h"

#include <QDir>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using framing::placeBL;
using resultingestion::Target;

namespace {
// White with black text, whatever the black work area around it would pass down.
void paintWhite(QWidget* view)
{
    view->setBackgroundRole(QPalette::Window);
    view->setForegroundRole(QPalette::WindowText);
    view->setAutoFillBackground(true);
    QPalette white = view->palette();
    white.setColor(QPalette::Window, Qt::white);
    white.setColor(QPalette::WindowText, Qt::black);
    view->setPalette(white);
}
}  // namespace

void ViewController::buildResultViews()
{
    painres = new RealTimeImageView(blankview);
    painres->hide();
    // The metrics image is drawn scaled to fit and anchored at the bottom-left corner.
    auto* metrics = new MetricImageView(m_parking);
    metrics->setFixedSize(metricview->size());
    delete metricview;
    metricview = metrics;
}

void ViewController::openresultview()
{
    diag::print("working...");
    const QString epochs = strategysheetconfig ? strategysheetconfig->strategy().trainingeporch : QString();
    ChartState& chart = painres->state;
    chart.colnum = textutil::leadingInt(epochs);
    chart.rownum = 100;
    chart.checkstate.insert(chart.checkstate.begin(), 1);
    chart.train_x.clear();
    chart.train_y.clear();
    chart.valid_x.clear();
    chart.valid_y.clear();

    blankview->setFixedSize(workAreaSize());
    paintWhite(blankview);
    placeBL(painres, blankview, 100, 10, 500, 450);
    painres->update();

    delete trainingstate;
    trainingstate = framing::label(QStringLiteral("Prepare to train ......"), nullptr);
    trainingstate->setObjectName(QStringLiteral("trainingstate"));
    trainingstate->setAccessibleName(QStringLiteral("Training state"));
    trainingstate->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Tall enough for a test summary of three lines.
    placeBL(trainingstate, blankview, 100, 470, 450, 60);

    // The scale is one label for the life of the window; later runs reuse it.
    auto* scale = blankview->findChild<RotatedLabel*>();
    if (!scale)
        scale = new RotatedLabel(chartgeometry::accuracyScaleText());
    placeBL(scale, blankview, 80, 0, 40, 450);

    setDocumentView(blankview);
    ResultViewBtn->setEnabled(true);
    lastresultview = blankview;
}

void ViewController::openMetricimage(const QString& path)
{
    QImageReader reader(path);
    const QImage image = reader.read();
    diag::print(textutil::sizeText(image.width(), image.height()));
    metricview->setFixedSize(workAreaSize());
    if (auto* shown = qobject_cast<MetricImageView*>(metricview))
        shown->setImage(image);
    setDocumentView(metricview);
    ResultViewBtn->setEnabled(true);
    lastresultview = metricview;
}

bool ViewController::ingestRunResults(const QString& root)
{
    const resultingestion::Scan scan = resultingestion::scanForModel(datadirectory);
    if (!scan.error.isEmpty()) {
        diag::print(scan.error);
        return false;
    }
    diag::print(scan.modelEntries);
    if (scan.modelEntries.isEmpty())
        return false;
    diag::print("task succeeded.");
    applyPredictions(inputdatatype, root);
    return true;
}

void ViewController::applyPredictions(int inputKind, const QString& root)
{
    const Target target = resultingestion::targetFor(inputKind);
    if (target == Target::None) {
        diag::print("in table data output");
        return;
    }
    const resultingestion::Reading reading = resultingestion::readPredictions(datadirectory, target, root);
    if (target == Target::Tiles) {
        if (!reading.readable) {
            diag::print("load csv failed");
            return;
        }
        gridmodel.predictpoints = reading.tiles;
        gridmodel.hasprediction = true;
        for (const TilePoint& tile : reading.tiles)
            diag::print(tile.row, tile.col);
        refreshTileGrid();
        return;
    }
    if (!reading.readable) {
        diag::print("load folder csv failed");
        return;
    }
    browsermodel.predictpoint = reading.images;
    browsermodel.haspredict = true;
    reloadMultiImageBrowser();
}

void ViewController::completeRun(const QString& keptEpoch)
{
    diag::print("computation finished!");
    m_prompter.alert(AlertRequest{QStringLiteral("Computation finished!"), keptEpoch, AlertStyle::Informational, {}, nullptr});
    if (strategysheetconfig && !strategysheetconfig->strategy().trainingfolder.isEmpty())
        openMetricimage(QDir(datadirectory).filePath(QStringLiteral("NNMetrics.png")));
}

void ViewController::ingestValidationOnly(const QString& root, const QString& summary)
{
    diag::print("test task succeeded.");
    // The figures of the test, and whatever the worker had to assume, on the state line.
    if (trainingstate && !summary.isEmpty())
        trainingstate->setText(summary);
    // A folder input's predictions are in its own file; every other input reads the tiles'.
    applyPredictions(inputdatatype == 2 ? 2 : 1, root);
    m_prompter.alert(QStringLiteral("Pure Test Computation finished!"), AlertStyle::Informational);
}
