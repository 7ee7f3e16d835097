#include "model/jsonfile.h"

#include "util/filewrite.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>

namespace jsonfile {

int nestingDepth(const QByteArray& text)
{
    int depth = 0;
    int deepest = 0;
    bool inString = false;
    bool escaped = false;
    for (const char ch : text) {
        if (inString) {
            if (escaped)
                escaped = false;
            else if (ch == '\\')
                escaped = true;
            else if (ch == '"')
                inString = false;
        } else if (ch == '"') {
            inString = true;
        } else if (ch == '[' || ch == '{') {
            deepest = std::max(deepest, ++depth);
        } else if (ch == ']' || ch == '}') {
            --depth;
        }
    }
    return deepest;
}

std::optional<nlohmann::ordered_json> read(const QString& path, QString* error)
{
    QFile file(path);
    // A pipe or device would block the reader or never end.
    if (QFileInfo(path).exists() && !QFileInfo(path).isFile()) {
        if (error)
            *error = QStringLiteral("%1 is not a regular file.").arg(path);
        return std::nullopt;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("Cannot read %1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    const QByteArray bytes = file.readAll();
    if (nestingDepth(bytes) > kMaxNesting) {
        if (error)
            *error = QStringLiteral("%1 is nested more than %2 levels deep; it is not a model architecture.").arg(path).arg(kMaxNesting);
        return std::nullopt;
    }
    nlohmann::ordered_json doc = nlohmann::ordered_json::parse(bytes.constBegin(), bytes.constEnd(), nullptr, false);
    if (doc.is_discarded()) {
        if (error)
            *error = QStringLiteral("%1 is not valid JSON.").arg(path);
        return std::nullopt;
    }
    if (!doc.is_object()) {
        if (error)
            *error = QStringLiteral("%1 does not hold a model architecture (a JSON object).").arg(path);
        return std::nullopt;
    }
    return doc;
}

QString writeCompact(const nlohmann::ordered_json& document, const QString& path)
{
    std::string text;
    try {
        text = document.dump();
    } catch (const nlohmann::json::exception& e) {
        return QStringLiteral("Cannot serialise the model: %1").arg(QString::fromUtf8(e.what()));
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QStringLiteral("Cannot write %1: %2").arg(path, file.errorString());
    if (file.write(text.data(), qint64(text.size())) != qint64(text.size())) {
        const QString why = filewrite::shortWriteReason(file);
        file.cancelWriting();
        return QStringLiteral("Cannot write %1: %2").arg(path, why);
    }
    if (!file.commit())
        return QStringLiteral("Cannot write %1: %2").arg(path, file.errorString());
    return QString();
}

}  // namespace jsonfile
