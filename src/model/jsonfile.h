#pragma once

#include <QString>
#include <nlohmann/json.hpp>
#include <optional>

namespace jsonfile {

// The parsed document, or nullopt with a message naming the file and what is wrong.
std::optional<nlohmann::ordered_json> read(const QString& path, QString* error);

// Compact JSON written atomically; an empty text on success, else the reason.
QString writeCompact(const nlohmann::ordered_json& document, const QString& path);

}  // namespace jsonfile
