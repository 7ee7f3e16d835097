#pragma once

#include <QByteArray>
#include <QString>
#include <nlohmann/json.hpp>
#include <optional>

namespace jsonfile {

// Architecture documents nest about ten levels deep; a document nested past this is refused
// before parsing, since copying or writing it would recurse once per level.
constexpr int kMaxNesting = 256;

// The deepest nesting of arrays and objects in JSON text (brackets inside strings not counted).
int nestingDepth(const QByteArray& text);

// The parsed document, or nullopt with a message naming the file and what is wrong.
std::optional<nlohmann::ordered_json> read(const QString& path, QString* error);

// Compact JSON written atomically; an empty text on success, else the reason.
QString writeCompact(const nlohmann::ordered_json& document, const QString& path);

}  // namespace jsonfile
