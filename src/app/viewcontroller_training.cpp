// The training strategy form and the preparation of training data.
#include "app/viewcontroller.h"
#include "app/labelpane.h"
#include "data/imagesetdocument.h"
#include "data/tilegriddocument.h"

#include "dialogs/prompter.h"
#include "worker/workerrunner.h"
#include "training/datapreparation.h"
#include "training/tilecutter.h"
#include "training/ui/strategysheetview.h"
#include "training/workspacefiles.h"
#include "util/diagnostics.h"
#include "worker/paths.h"

#include <QFileInfo>

namespace dp = datapreparation;

namespace {

// Writes the label CSV into the workspace, makes that folder the workspace directory and clears
// it of earlier samples. False (after telling the user) when the CSV could not be written.
bool writeCsvAndClean(ViewController& c, QString& workspace, const QString& name, const std::vector<dp::LabelRecord>& records)
{
    const workspacefiles::CsvExport csv = workspacefiles::writeLabelCsv(paths::workspaceFolder(), name, records);
    if (!csv.success)
        diag::line(QStringLiteral("Export Error: ") + csv.message);
    if (csv.path.isEmpty()) {
        c.prompter().alert(AlertRequest{QStringLiteral("Cannot write the label file."), csv.message,
                                        AlertStyle::Warning, {}, nullptr});
        return false;
    }
    diag::line(QStringLiteral("File Path: ") + csv.path);
    workspace = QFileInfo(csv.path).absolutePath();
    diag::line(QStringLiteral("datadirectory=") + workspace);
    if (const std::optional<QString> error = workspacefiles::cleanWorkspace(workspace))
        diag::line(*error);
    return true;
}

// The workspace directory, or an empty location (after telling the user) when samples failed.
QString reportSaveFailures(ViewController& c, const QString& workspace, const std::vector<tilecutter::SaveFailure>& failures, int total,
                           bool tiles)
{
    QStringList lines;
    for (const tilecutter::SaveFailure& f : failures) {
        const QString why = tilecutter::describe(f.error);
        diag::line(tiles ? QStringLiteral("cannot save png ") + why : why);
        if (lines.size() < 10)
            lines << QFileInfo(f.path).fileName() + QStringLiteral(": ") + why;
    }
    if (failures.empty())
        return workspace;
    if (int(failures.size()) > lines.size())
        lines << QStringLiteral("...");
    lines.prepend(QStringLiteral("In %1:").arg(workspace));
    c.prompter().alert(AlertRequest{QStringLiteral("Cannot save %1 of %2 images.").arg(failures.size()).arg(total),
                                    lines.join(QLatin1Char('\n')), AlertStyle::Warning, {}, nullptr});
    return QString();
}

QString prepareSingleImage(ViewController& c, QString& workspace)
{
    diag::line(QStringLiteral("single image type"));
    const TileGridState& grid = c.tileGrid().state();
    if (c.inputs().isEmpty() || c.singleImage().isNull()) {
        c.prompter().alert(QStringLiteral("Open an image first."), AlertStyle::Warning);
        return QString();
    }
    const std::optional<QSize> tile = dp::tileSize(grid.imagesize, grid.rownum, grid.colnum);
    if (!grid.hasGrid() || !tile) {
        c.prompter().alert(QStringLiteral("Draw a grid on the image first."), AlertStyle::Warning);
        return QString();
    }
    diag::line(QStringLiteral("cutimage w%1, h%2").arg(tile->width()).arg(tile->height()));
    const int rows = *grid.rownum;
    const int cols = *grid.colnum;
    const QString root = dp::rootName(c.inputs().first());
    const std::vector<dp::LabelRecord> records = dp::gridRecords(root, rows, cols, grid.clickpoints, grid.reversed());
    if (!writeCsvAndClean(c, workspace, root + dp::kCsvSuffix, records))
        return QString();

    std::vector<QRect> rects;
    QStringList targets;
    rects.reserve(records.size());
    for (const dp::LabelRecord& r : records) {
        rects.push_back(dp::tileRectBL(r.i, r.j, *tile));
        targets << workspace + QLatin1Char('/') + r.filename;
        diag::line(targets.last());
    }
    std::vector<tilecutter::SaveFailure> failures;
    c.workerRunner().runWork(QStringLiteral("Saving %1 tiles...").arg(targets.size()), int(targets.size()),
                       [&](std::atomic_int& done) { failures = tilecutter::saveTiles(c.singleImage(), rects, targets, &done); });
    return reportSaveFailures(c, workspace, failures, int(targets.size()), true);
}

QString prepareFolderImages(ViewController& c, QString& workspace)
{
    diag::line(QStringLiteral("folder image type"));
    // The images now open, in display order: labels of earlier opens stay in the label map,
    // but their files are not written, so they must not be listed.
    const QStringList& opened = c.pictures().pictures();
    if (opened.isEmpty()) {
        c.prompter().alert(QStringLiteral("No file in folder."), AlertStyle::Warning);
        return QString();
    }
    const std::vector<dp::FolderSample> samples = dp::folderSamples(opened);
    const std::vector<dp::LabelRecord> records = dp::folderRecords(samples, c.pictures().set().data);
    for (const dp::LabelRecord& r : records)
        diag::print(r.filename.chopped(4), r.label);
    if (!writeCsvAndClean(c, workspace, dp::kFolderCsvName, records))
        return QString();

    QStringList sources;
    QStringList targets;
    for (const dp::FolderSample& s : samples) {
        sources << s.source;
        targets << workspace + QLatin1Char('/') + s.storedName + QStringLiteral(".png");
        diag::print("savetrimedfolderimage", targets.last());
    }
    std::vector<tilecutter::SaveFailure> failures;
    c.workerRunner().runWork(QStringLiteral("Saving %1 images...").arg(targets.size()), int(targets.size()),
                       [&](std::atomic_int& done) { failures = tilecutter::saveImages(sources, targets, &done); });
    return reportSaveFailures(c, workspace, failures, int(targets.size()), false);
}

}  // namespace

void ViewController::buildTrainingViews()
{
    // The form in use until "Strategy Config" makes a fresh one; its pickers open in the
    // workspace, where the freshly labelled data lies.
    strategysheetconfig = new strategysheetview(m_prompter, paths::workspaceFolder(), m_parking);
    strategysheetconfig->hide();
    watchWeightsChoice(strategysheetconfig);
}

QString ViewController::preparedata()
{
    diag::line(QStringLiteral("get input...."));
    if (inputdatatype == 1)
        return prepareSingleImage(*this, datadirectory);
    if (inputdatatype == 2)
        return prepareFolderImages(*this, datadirectory);
    diag::line(QStringLiteral("table data type"));
    return datadirectory;
}

QImage ViewController::trimimage(const QImage& image, const QRect& bottomLeftRect) const
{
    return tilecutter::trimimage(image, bottomLeftRect);
}
