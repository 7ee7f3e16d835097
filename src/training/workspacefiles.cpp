#include "training/workspacefiles.h"

#include "util/filewrite.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace workspacefiles {
namespace {

constexpr QDir::Filters kEveryEntry = QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System;

bool exists(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

bool removeEntry(const QString& path)
{
    const QFileInfo info(path);
    if (info.isDir() && !info.isSymLink())
        return QDir(path).removeRecursively();
    return QFile::remove(path);
}

QString copyFile(const QString& from, const QString& to)
{
    QFile source(from);
    if (!source.copy(to))
        return QStringLiteral("cannot copy %1 into %2: %3").arg(from, QFileInfo(to).absolutePath(), source.errorString());
    return QString();
}

// An empty text on success, else why it failed.
QString copyEntry(const QString& from, const QString& to)
{
    const QFileInfo info(from);
    if (!info.isDir() || info.isSymLink())
        return copyFile(from, to);
    if (!QDir().mkpath(to))
        return QStringLiteral("cannot create the folder %1").arg(to);
    const QDir source(from);
    for (const QString& name : source.entryList(kEveryEntry, QDir::Name)) {
        const QString error = copyEntry(source.filePath(name), to + QLatin1Char('/') + name);
        if (!error.isEmpty())
            return error;
    }
    return QString();
}

// Copies `from` to `target`, replacing what is there only once the copy is complete: a copy that
// fails (a full disk, say) leaves an earlier export of the same name as it was.
QString replaceWithCopy(const QString& from, const QString& target)
{
    const QFileInfo place(target);
    const QString staging = place.absolutePath() + QStringLiteral("/.kolvara-copy-") + place.fileName();
    if (exists(staging))
        removeEntry(staging);
    QString error = copyEntry(from, staging);
    if (error.isEmpty() && exists(target) && !removeEntry(target))
        error = QStringLiteral("cannot replace %1").arg(target);
    if (error.isEmpty() && !QDir().rename(staging, target))
        error = QStringLiteral("cannot move the copy into place as %1").arg(target);
    if (!error.isEmpty() && exists(staging))
        removeEntry(staging);
    return error;
}

}  // namespace

CsvExport writeLabelCsv(const QString& folder, const QString& name,
                        const std::vector<datapreparation::LabelRecord>& records)
{
    if (!QDir().mkpath(folder))
        return {false, QString(), QStringLiteral("cannot create the folder %1").arg(folder)};
    const QString path = QDir(folder).filePath(name + QStringLiteral(".csv"));
    QSaveFile file(path);
    const QByteArray text = datapreparation::labelCsvText(records);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size()) {
        const QString why = filewrite::shortWriteReason(file);
        file.cancelWriting();
        return {false, QString(), QStringLiteral("cannot write %1: %2").arg(path, why)};
    }
    if (!file.commit())
        return {false, QString(), QStringLiteral("cannot write %1: %2").arg(path, file.errorString())};
    return {true, path, QString()};
}

std::optional<QString> cleanWorkspace(const QString& folder)
{
    const QDir dir(folder);
    if (!dir.exists())
        return QStringLiteral("The folder %1 does not exist.").arg(folder);
    const QFileInfoList entries = dir.entryInfoList(kEveryEntry, QDir::Name);
    for (const QFileInfo& entry : entries) {
        if (datapreparation::keptByCleaning(entry.fileName(), entry.isDir() && !entry.isSymLink()))
            continue;
        if (!removeEntry(entry.filePath()))
            return QStringLiteral("cannot remove %1").arg(entry.filePath());
    }
    return std::nullopt;
}

ExportOutcome exportWorkspace(const QString& workspace, const QString& destination)
{
    ExportOutcome outcome;
    const QDir source(workspace);
    if (workspace.isEmpty() || !source.exists() || !source.isReadable()) {
        outcome.listingError = QStringLiteral("cannot read the folder %1").arg(workspace);
        return outcome;
    }
    const QStringList names = source.entryList(kEveryEntry, QDir::Name);
    outcome.listed = int(names.size());
    for (const QString& name : names) {
        const QString error = replaceWithCopy(source.filePath(name), QDir(destination).filePath(name));
        if (error.isEmpty())
            ++outcome.copied;
        else
            outcome.failures.push_back({name, error});
    }
    return outcome;
}

bool insideWorkspace(const QString& workspace, const QString& destination)
{
    const QString ws = QFileInfo(workspace).canonicalFilePath();
    const QString dest = QFileInfo(destination).canonicalFilePath();
    if (ws.isEmpty() || dest.isEmpty())
        return false;
    return dest == ws || dest.startsWith(ws + QLatin1Char('/'));
}

}  // namespace workspacefiles
