// Reading, writing and template look-up for architecture documents.
#include "model/archdocument.h"

#include "model/jsonfile.h"
#include "util/filewrite.h"
#include "worker/paths.h"

#include <QFile>
#include <QSaveFile>

namespace archdoc {

ParseOutcome parse(const QByteArray& bytes)
{
    ParseOutcome outcome;
    if (jsonfile::nestingDepth(bytes) > jsonfile::kMaxNesting) {
        outcome.error = QStringLiteral("the JSON is nested more than %1 levels deep").arg(jsonfile::kMaxNesting);
        return outcome;
    }
    try {
        outcome.json = Json::parse(bytes.constData(), bytes.constData() + bytes.size());
    } catch (const Json::exception& e) {
        outcome.error = QString::fromUtf8(e.what());
    }
    return outcome;
}

ParseOutcome readFile(const QString& path)
{
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly)) {
        ParseOutcome outcome;
        outcome.error = path.isEmpty() ? QStringLiteral("no file given") : file.errorString();
        return outcome;
    }
    return parse(file.readAll());
}

SaveOutcome saveCompact(const Json& json, const QString& path)
{
    SaveOutcome outcome;
    outcome.path = path;
    std::string text;
    try {
        text = json.dump();
    } catch (const Json::exception& e) {
        outcome.error = QString::fromUtf8(e.what());
        return outcome;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        outcome.error = file.errorString();
        return outcome;
    }
    if (file.write(text.data(), qint64(text.size())) != qint64(text.size())) {
        outcome.error = filewrite::shortWriteReason(file);
        file.cancelWriting();
        return outcome;
    }
    if (!file.commit()) {
        outcome.error = file.errorString();
        return outcome;
    }
    outcome.ok = true;
    return outcome;
}

SaveOutcome saveEditorCopy(const Json& json) { return saveCompact(json, paths::cachesFile(editorCopyName)); }

std::optional<Json> findTemplate(const Json& architecture, const QString& className)
{
    if (!architecture.is_object() || !architecture.contains("config") || !architecture["config"].is_object())
        return std::nullopt;
    const Json& config = architecture["config"];
    if (!config.contains("layers") || !config["layers"].is_array())
        return std::nullopt;
    const std::string wanted = className.toStdString();
    for (const Json& layer : config["layers"]) {
        if (!layer.is_object())
            continue;
        const auto cls = layer.find("class_name");
        if (cls != layer.end() && cls->is_string() && cls->get<std::string>() == wanted)
            return layer;
    }
    return std::nullopt;
}

std::optional<Json> findTemplate(const Json& primary, const Json& fallback, const QString& className)
{
    if (std::optional<Json> found = findTemplate(primary, className))
        return found;
    return findTemplate(fallback, className);
}

QString refusalText(const QList<RefusedField>& refused)
{
    QStringList lines;
    for (const RefusedField& f : refused) {
        lines << QStringLiteral("%1: \"%2\" is not %3; the previous value was kept.")
                     .arg(f.field, f.text, f.wholeNumber ? QStringLiteral("a whole number") : QStringLiteral("a number"));
    }
    return lines.join(QLatin1Char('\n'));
}

}  // namespace archdoc
