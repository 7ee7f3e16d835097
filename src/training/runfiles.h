#pragma once

#include <QString>
#include <QStringList>

// The file a training run writes about its worker. Returns an empty text on success,
// else the reason it failed; a failed write leaves any earlier file in place.
namespace runfiles {

// The worker's standard-error text, UTF-8, replacing the file.
QString writeErrorLog(const QString& path, const QString& text);

// The log of a run the user stopped: what the worker wrote to standard error, then the last
// `lines` lines it showed on standard output (each progress bar as last redrawn).
QString stoppedRunLog(const QString& standardError, const QStringList& outputChunks, int lines = 20);

// Removes the files a stopped worker was still writing (hidden names holding "partial"), so no
// half-written file stays in the workspace. Returns the names it could not remove.
QStringList removePartialFiles(const QString& workspace);

}  // namespace runfiles
