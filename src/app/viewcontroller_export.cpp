// Export of the workspace.
#include "app/viewcontroller.h"
#include "app/labelpane.h"
#include "data/imagesetdocument.h"
#include "data/tilegriddocument.h"

#include "dialogs/prompter.h"
#include "training/workspacefiles.h"
#include "util/diagnostics.h"

namespace {

void reportIncomplete(Prompter& prompter, const workspacefiles::ExportOutcome& outcome)
{
    QStringList lines;
    for (const workspacefiles::CopyFailure& f : outcome.failures)
        lines << f.name + QStringLiteral(": ") + f.message;
    if (outcome.listingError)
        lines << *outcome.listingError;
    prompter.alert(AlertRequest{QStringLiteral("Some results could not be exported."), lines.join(QLatin1Char('\n')),
                                AlertStyle::Warning, {}, nullptr});
}

}  // namespace

void ViewController::outputresult()
{
    if (m_session->running()) {
        // Preparing samples would clear the workspace under the running worker, and a copy
        // taken now would be half written.
        m_prompter.alert(QStringLiteral("A training run is in progress. Export its results when it has finished."),
                         AlertStyle::Warning);
        return;
    }
    const bool gridReady = havesingleimg && havegridimg;
    // A folder run's results are worth exporting as much as a tile run's.
    if (!tileGrid().state().hasprediction && !gridReady && !pictures().set().haspredict) {
        m_prompter.alert(AlertRequest{QStringLiteral("Nothing to export yet."),
                                      QStringLiteral("Export copies the workspace of a run: draw a grid on an image, or "
                                                     "finish a training or test run, first."),
                                      AlertStyle::Informational, {}, nullptr});
        return;
    }
    const QStringList chosen = m_prompter.choosePaths(
        FileRequest{QStringLiteral("Choose folder to save"), false, true, false, true, QString()});
    if (chosen.isEmpty())
        return;
    const QString destination = chosen.first();
    // Prepare only when the grid's samples are not written yet: after a run, preparing again
    // would overwrite its predictions and clear its files.
    if (!tileGrid().state().hasprediction && gridReady && preparedata().isEmpty())
        return;
    if (workspacefiles::insideWorkspace(datadirectory, destination)) {
        m_prompter.alert(QStringLiteral("Choose a folder outside the workspace."), AlertStyle::Warning);
        return;
    }
    const workspacefiles::ExportOutcome outcome = workspacefiles::exportWorkspace(datadirectory, destination);
    if (outcome.listingError)
        diag::line(*outcome.listingError);
    for (const workspacefiles::CopyFailure& f : outcome.failures)
        diag::line(f.message);
    if (outcome.complete())
        m_prompter.alert(QStringLiteral("Finish export to ") + destination, AlertStyle::Informational);
    else
        reportIncomplete(m_prompter, outcome);
}
