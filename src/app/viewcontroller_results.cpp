// The result pane, ingestion of predictions and the metrics image.
#include "app/viewcontroller.h"
#include "app/labelpane.h"
#include "app/resultpane.h"
#include "data/imagesetdocument.h"
#include "data/tilegriddocument.h"

#include "dialogs/prompter.h"
#include "results/predictions.h"
#include "results/resultingestion.h"
#include "data/ui/multiimagecollectionview.h"
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

using resultingestion::Target;

void ViewController::openresultview()
{
    diag::print("working...");
    const TrainingStrategy strategy = strategysheetconfig ? strategysheetconfig->strategy() : TrainingStrategy();
    m_resultPane->startRun(strategy.trainingfolder.isEmpty(), textutil::leadingInt(strategy.trainingeporch), workAreaSize());
    m_resultPane->resultsource()->setText(QStringLiteral("Results of %1").arg(m_run.name));
    showInPane(ResultViewBtn, lastresultview, m_resultPane->blankview());
}

void ViewController::openMetricimage(const QString& path)
{
    QImageReader reader(path);
    const QImage image = reader.read();
    diag::print(textutil::sizeText(image.width(), image.height()));
    m_resultPane->showMetrics(image, workAreaSize());
    showInPane(ResultViewBtn, lastresultview, m_resultPane->metricview());
}

void ViewController::noteDataOpened()
{
    ++m_openings;
    if (ResultViewBtn->isEnabled())
        m_resultPane->resultsource()->setText(QStringLiteral("Results of an earlier input: %1").arg(m_run.name));
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
    m_resultPane->trainingstate()->setText(state.join(QLatin1Char('\n')));
    // The outcome, not an empty chart: the metrics image where the test drew one, else the
    // data with its predictions.
    const QString metrics = QDir(datadirectory).filePath(QStringLiteral("NNMetrics.png"));
    if (QFileInfo::exists(metrics))
        openMetricimage(metrics);
    else if (kind == 2)
        showInPane(LabelViewBtn, lastlabelview, m_labelPane->multiimagecollection());
    else
        showInPane(LabelViewBtn, lastlabelview, m_labelPane->imageview());
    m_prompter.alert(AlertRequest{QStringLiteral("Pure Test Computation finished!"), mismatch.value_or(QString()),
                                  mismatch ? AlertStyle::Warning : AlertStyle::Informational, {}, nullptr});
}
