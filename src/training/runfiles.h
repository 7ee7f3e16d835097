#pragma once

#include <QString>
#include <nlohmann/json.hpp>

// Files a training run writes for and about its worker. Each returns an empty text on success,
// else the reason it failed; a failed write leaves any earlier file in place.
namespace runfiles {

// The architecture document, compact, replacing the file as a whole.
QString writeModelDocument(const QString& path, const nlohmann::ordered_json& document);

// The worker's standard-error text, UTF-8, replacing the file.
QString writeErrorLog(const QString& path, const QString& text);

}  // namespace runfiles
