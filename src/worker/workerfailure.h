#pragma once

#include "worker/workerresult.h"

#include <QByteArray>
#include <QString>

namespace workerfailure {

// At most this many characters, in this many lines, of a worker's error output reach an alert.
constexpr qsizetype kShownChars = 2000;
constexpr qsizetype kShownLines = 15;

// Why a worker did not succeed, for an alert: that it could not start, was cancelled or
// crashed, else the end of what it wrote to standard error (or its exit status when it wrote
// nothing).
QString describe(const WorkerResult& result);

// The last lines of a worker's output as readable text: undecodable bytes and control
// characters replaced, cut to whole lines within `limit` characters and kShownLines lines from
// the end (a worker's own message is its last line), with "..." where it was cut.
QString lastLines(const QByteArray& output, qsizetype limit = kShownChars);

}  // namespace workerfailure
