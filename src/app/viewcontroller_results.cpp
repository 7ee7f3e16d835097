// The result pane, ingestion of predictions and the metrics image.
#include "app/viewcontroller.h"
#include "data/imagesetdocument.h"
#include "data/tilegriddocument.h"

#include "ui/framing.h"
#include "dialogs/prompter.h"
#include "results/chartgeometry.h"
#include "results/predictions.h"
#include "results/resultingestion.h"
#include "data/ui/multiimagecollectionview.h"
#include "results/ui/metricimageview.h"
#include "results/ui/realtimeimageview.h"
#include "results/ui/rotatedlabel.h"
#include "training/runchecks.h"
#include "training/ui/strategysheetview.h"
#include "util/diagnostics.h"
#include "util/textutil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
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
    const TrainingStrategy strategy = strategysheetconfig ? strategysheetconfig->strategy() : TrainingStrategy();
    // A test has no epochs: its pane shows the state line alone, not an empty accuracy chart.
    const bool test = strategy.trainingfolder.isEmpty();
    ChartState& chart = painres->state;
    chart.colnum = textutil::leadingInt(strategy.trainingeporch);
    chart.rownum = 100;
    chart.checkstate.insert(chart.checkstate.begin(), test ? 0 : 1);
    chart.train_x.clear();
    chart.train_y.clear();
    chart.valid_x.clear();
    chart.valid_y.clear();

    blankview->setFixedSize(workAreaSize());
    paintWhite(blankview);
    placeBL(painres, blankview, 100, 10, chartgeometry::kChartWidth, 450);
    painres->update();

    delete trainingstate;
    trainingstate = framing::label(test ? QStringLiteral("Testing the model ......") : QStringLiteral("Prepare to train ......"), nullptr);
    trainingstate->setObjectName(QStringLiteral("trainingstate"));
    trainingstate->setAccessibleName(QString());  // assistive tools read the state itself
    trainingstate->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Tall enough for a test summary of three lines.
    placeBL(trainingstate, blankview, 100, 470, 450, 60);

    // The scale is one label for the life of the window; later runs reuse it.
    auto* scale = blankview->findChild<RotatedLabel*>();
    if (!scale)
        scale = new RotatedLabel(chartgeometry::accuracyScaleText());
    placeBL(scale, blankview, 60, 0, 40, 450);
    scale->setVisible(!test);

    resultsource->setText(QStringLiteral("Results of %1").arg(m_run.name));
    showInPane(ResultViewBtn, lastresultview, blankview);
}

void ViewController::openMetricimage(const QString& path)
{
    QImageReader reader(path);
    const QImage image = reader.read();
    diag::print(textutil::sizeText(image.width(), image.height()));
    metricview->setFixedSize(workAreaSize());
    if (auto* shown = qobject_cast<MetricImageView*>(metricview))
        shown->setImage(image);
    showInPane(ResultViewBtn, lastresultview, metricview);
}

void ViewController::noteDataOpened()
{
    ++m_openings;
    if (ResultViewBtn->isEnabled())
        resultsource->setText(QStringLiteral("Results of an earlier input: %1").arg(m_run.name));
}

void ViewController::applyPredictions(Target target, const resultingestion::Reading& reading)
{
    if (target == Target::Tiles) {
        // One write for all tiles: a large grid predicts tens of thousands of them.
        if (const QString listing = predictions::tileListing(reading.tiles); !listing.isEmpty())
            diag::line(listing);
        m_grid->setPredictions(reading.tiles);
    } else if (target == Target::Images) {
        m_pictures->setPredictions(reading.images);
    }
}

void ViewController::completeRun(const QString& keptEpoch)
{
    diag::print("computation finished!");
    m_prompter.alert(AlertRequest{QStringLiteral("Computation finished!"), keptEpoch, AlertStyle::Informational, {}, nullptr});
    if (strategysheetconfig && !strategysheetconfig->strategy().trainingfolder.isEmpty())
        openMetricimage(QDir(datadirectory).filePath(QStringLiteral("NNMetrics.png")));
}

void ViewController::ingestValidationOnly(const QString& summary)
{
    diag::print("test task succeeded.");
    // A folder input's predictions are in its own file; every other input reads the tiles'.
    const int kind = m_run.kind == 2 ? 2 : 1;
    const Target target = kind == 2 ? Target::Images : Target::Tiles;
    const QString file = QDir(datadirectory).filePath(resultingestion::predictionFileName(target, m_run.root));
    QFile read(file);
    const std::optional<QString> mismatch =
        read.open(QIODevice::ReadOnly) ? runchecks::noMatchingClass(QString::fromUtf8(read.readAll())) : std::nullopt;
    const QString outcome = kind == 2 ? QStringLiteral("Test finished: %1 pictures predicted.").arg(m_pictures->pictures().size())
                                      : QStringLiteral("Test finished: %1 of %2 tiles predicted \"1\".")
                                            .arg(m_grid->state().predictpoints.size())
                                            .arg(gridnum);
    // What was predicted, the test's figures and whatever the worker had to assume.
    QStringList state{outcome};
    if (!summary.isEmpty())
        state << summary;
    if (mismatch)
        state << *mismatch;
    trainingstate->setText(state.join(QLatin1Char('\n')));
    // The outcome, not an empty chart: the metrics image where the test drew one, else the
    // data with its predictions.
    const QString metrics = QDir(datadirectory).filePath(QStringLiteral("NNMetrics.png"));
    if (QFileInfo::exists(metrics))
        openMetricimage(metrics);
    else if (kind == 2)
        showInPane(LabelViewBtn, lastlabelview, multiimagecollection);
    else
        showInPane(LabelViewBtn, lastlabelview, imageview);
    m_prompter.alert(AlertRequest{QStringLiteral("Pure Test Computation finished!"), mismatch.value_or(QString()),
                                  mismatch ? AlertStyle::Warning : AlertStyle::Informational, {}, nullptr});
}
