#include "app/imagenetfetch.h"

#include "dialogs/prompter.h"
#include "worker/workerrunner.h"
#include "util/diagnostics.h"

#include <QDir>

namespace imagenetfetch {
namespace {

// Downloads the file into the cache; empty on success (with `path` set), else why it failed.
QString download(WorkerRunner& runner, const imagenetweights::Architecture& a, const imagenetweights::WeightFile& file,
                 QString& path, bool& cancelled)
{
    const QString folder = imagenetweights::storeFolder();
    if (!QDir().mkpath(folder))
        return QStringLiteral("the folder %1 cannot be created").arg(folder);
    const QString partial = imagenetweights::partialPath(folder);
    const DownloadResult got = runner.download(QUrl(file.url), partial,
                                               QStringLiteral("Downloading ImageNet weights for %1 (%2)...").arg(a.modelname, file.fileName));
    cancelled = got.cancelled;
    if (!got.completed)
        return got.error;
    const imagenetweights::Installed installed = imagenetweights::install(partial, file, folder);
    path = installed.path;
    return installed.error;
}

}  // namespace

Result fetch(Prompter& prompter, WorkerRunner& runner, const imagenetweights::Architecture& architecture, bool notop)
{
    const imagenetweights::WeightFile& file = notop ? architecture.notop : architecture.full;
    const QString cached = imagenetweights::findCached(file, imagenetweights::cacheFolders());
    if (!cached.isEmpty()) {
        diag::print("ImageNet weights", cached);
        return {Outcome::Found, cached};
    }
    QString path;
    bool cancelled = false;
    const QString failure = download(runner, architecture, file, path, cancelled);
    if (cancelled)
        return {Outcome::Cancelled, QString()};
    if (failure.isEmpty()) {
        diag::print("ImageNet weights", path);
        return {Outcome::Found, path};
    }
    diag::print("ImageNet weights failed", failure);
    const int choice = prompter.alert(AlertRequest{
        imagenetweights::unavailableMessage(architecture.modelname, imagenetweights::storeFolder(), failure),
        QStringLiteral("You can train the whole network from random weights instead, or put %1 into that folder "
                       "(or choose it as Weights) and start again.")
            .arg(file.fileName),
        AlertStyle::Warning,
        {QStringLiteral("Continue from Random Weights"), QStringLiteral("Cancel")},
        nullptr});
    return {choice == 0 ? Outcome::RandomWeights : Outcome::Cancelled, QString()};
}

}  // namespace imagenetfetch
