#pragma once

#include <QString>

// The file a training run writes about its worker. Returns an empty text on success,
// else the reason it failed; a failed write leaves any earlier file in place.
namespace runfiles {

// The worker's standard-error text, UTF-8, replacing the file.
QString writeErrorLog(const QString& path, const QString& text);

}  // namespace runfiles
