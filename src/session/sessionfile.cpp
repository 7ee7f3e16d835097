#include "session/sessionfile.h"

#include "model/archdocument.h"
#include "model/jsonfile.h"
#include "util/filewrite.h"
#include "worker/paths.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>
#include <iterator>

namespace session {
namespace {

using Json = nlohmann::ordered_json;
constexpr int kVersion = 1;

std::string text(const QString& s) { return s.toStdString(); }
QString qtext(const Json& j) { return QString::fromStdString(j.get<std::string>()); }

QString timeText(const QDateTime& time) { return time.isValid() ? time.toString(Qt::ISODateWithMs) : QString(); }

Json inputJson(const Input& input)
{
    Json j = Json::object();
    j["path"] = text(input.path);
    j["modified"] = input.modified.isValid() ? Json(text(timeText(input.modified.toUTC()))) : Json();
    return j;
}

Json tileGridJson(const TileGridPart& part)
{
    Json marks = Json::array();
    for (const TilePoint& t : part.marks)
        marks.push_back(Json::array({t.row, t.col}));
    Json j = Json::object();
    j["image"] = text(part.image);
    j["columns"] = part.columns;
    j["rows"] = part.rows;
    j["grid_drawn"] = part.drawn;
    j["reversed"] = part.reversed;
    j["marks"] = std::move(marks);
    return j;
}

Json imageSetJson(const ImageSetPart& part)
{
    Json pictures = Json::array();
    for (const QString& p : part.pictures)
        pictures.push_back(text(p));
    // Sorted, so that the same labels always read the same.
    QStringList names = part.labels.keys();
    names.sort();
    Json labels = Json::object();
    for (const QString& name : names)
        labels[text(name)] = text(part.labels.value(name));
    Json j = Json::object();
    j["pictures"] = std::move(pictures);
    j["labels"] = std::move(labels);
    return j;
}

// Reading: each helper throws the reason a file is refused.
struct Refusal {
    QString why;
};

const Json& member(const Json& object, const char* key, const char* where)
{
    const auto it = object.find(key);
    if (it == object.end())
        throw Refusal{QStringLiteral("%1 has no \"%2\"").arg(QString::fromUtf8(where), QString::fromUtf8(key))};
    return *it;
}

QString textOf(const Json& j, const char* what)
{
    if (!j.is_string() || j.get<std::string>().empty())
        throw Refusal{QStringLiteral("%1 is not a text").arg(QString::fromUtf8(what))};
    return qtext(j);
}

bool flagOf(const Json& j, const char* what)
{
    if (!j.is_boolean())
        throw Refusal{QStringLiteral("%1 is not true or false").arg(QString::fromUtf8(what))};
    return j.get<bool>();
}

int countOf(const Json& j, const char* what, int least)
{
    if (!j.is_number_integer() || j.get<long long>() < least || j.get<long long>() > 1000000000)
        throw Refusal{QStringLiteral("%1 is not a whole number of at least %2").arg(QString::fromUtf8(what)).arg(least)};
    return int(j.get<long long>());
}

QDateTime timeOf(const Json& j, const char* what)
{
    const QDateTime time = QDateTime::fromString(textOf(j, what), Qt::ISODateWithMs);
    if (!time.isValid())
        throw Refusal{QStringLiteral("%1 is not a date and time").arg(QString::fromUtf8(what))};
    return time;
}

Input inputOf(const Json& j)
{
    if (!j.is_object())
        throw Refusal{QStringLiteral("an input is not an object")};
    Input input;
    input.path = textOf(member(j, "path", "an input"), "an input's path");
    const Json& modified = member(j, "modified", "an input");
    if (!modified.is_null())
        input.modified = timeOf(modified, "an input's modification time");
    return input;
}

TileGridPart tileGridOf(const Json& j)
{
    if (!j.is_object())
        throw Refusal{QStringLiteral("tile_grid is not an object")};
    TileGridPart part;
    part.image = textOf(member(j, "image", "tile_grid"), "tile_grid.image");
    part.drawn = flagOf(member(j, "grid_drawn", "tile_grid"), "tile_grid.grid_drawn");
    part.reversed = flagOf(member(j, "reversed", "tile_grid"), "tile_grid.reversed");
    const int least = part.drawn ? 1 : 0;
    part.columns = countOf(member(j, "columns", "tile_grid"), "tile_grid.columns", least);
    part.rows = countOf(member(j, "rows", "tile_grid"), "tile_grid.rows", least);
    const Json& marks = member(j, "marks", "tile_grid");
    if (!marks.is_array())
        throw Refusal{QStringLiteral("tile_grid.marks is not a list")};
    QSet<QPair<int, int>> seen;
    for (const Json& mark : marks) {
        const bool pair = mark.is_array() && mark.size() == 2 && mark[0].is_number_integer() && mark[1].is_number_integer();
        const long long row = pair ? mark[0].get<long long>() : -1;
        const long long col = pair ? mark[1].get<long long>() : -1;
        const bool inside = part.drawn && row >= 0 && col >= 0 && row < part.rows && col < part.columns;
        const TilePoint tile{int(row), int(col)};
        if (!inside || seen.contains({tile.row, tile.col}))
            throw Refusal{QStringLiteral("tile_grid.marks holds %1, not a tile of the grid marked once")
                              .arg(QString::fromStdString(mark.dump()).left(40))};
        seen.insert({tile.row, tile.col});
        part.marks.push_back(tile);
    }
    return part;
}

ImageSetPart imageSetOf(const Json& j)
{
    if (!j.is_object())
        throw Refusal{QStringLiteral("image_set is not an object")};
    ImageSetPart part;
    const Json& pictures = member(j, "pictures", "image_set");
    if (!pictures.is_array())
        throw Refusal{QStringLiteral("image_set.pictures is not a list")};
    for (const Json& p : pictures)
        part.pictures << textOf(p, "a picture");
    const Json& labels = member(j, "labels", "image_set");
    if (!labels.is_object())
        throw Refusal{QStringLiteral("image_set.labels is not an object")};
    for (auto it = labels.begin(); it != labels.end(); ++it) {
        if (!it.value().is_string())
            throw Refusal{QStringLiteral("the label of %1 is not a text").arg(QString::fromStdString(it.key()))};
        part.labels.insert(QString::fromStdString(it.key()), qtext(it.value()));
    }
    return part;
}

ArchitecturePart architectureOf(const Json& j)
{
    if (!j.is_object())
        throw Refusal{QStringLiteral("architecture is not an object")};
    ArchitecturePart part;
    part.customized = flagOf(member(j, "customized", "architecture"), "architecture.customized");
    part.document = member(j, "document", "architecture");
    const QString problem = archdoc::shapeProblem(part.document);
    if (!problem.isEmpty())
        throw Refusal{QStringLiteral("its architecture: ") + problem};
    return part;
}

Session sessionOf(const Json& j)
{
    if (!j.is_object() || !j.contains("kolvara_session"))
        throw Refusal{QStringLiteral("it is not a Kolvara session file")};
    if (j["kolvara_session"] != kVersion)
        throw Refusal{QStringLiteral("its version %1 is not known").arg(QString::fromStdString(j["kolvara_session"].dump()))};
    Session s;
    s.savedAt = timeOf(member(j, "saved_at", "the session"), "saved_at");
    const Json& inputs = member(j, "inputs", "the session");
    if (!inputs.is_array())
        throw Refusal{QStringLiteral("inputs is not a list")};
    QSet<QString> known;
    for (const Json& input : inputs) {
        s.inputs.push_back(inputOf(input));
        known.insert(s.inputs.back().path);
    }
    auto part = [&j](const char* key) { return j.contains(key) && !j[key].is_null() ? &j[key] : nullptr; };
    if (const Json* grid = part("tile_grid"))
        s.tileGrid = tileGridOf(*grid);
    if (const Json* set = part("image_set"))
        s.imageSet = imageSetOf(*set);
    if (const Json* architecture = part("architecture"))
        s.architecture = architectureOf(*architecture);
    QStringList named = s.imageSet ? s.imageSet->pictures : QStringList();
    if (s.tileGrid)
        named << s.tileGrid->image;
    for (const QString& path : named) {
        if (!known.contains(path))
            throw Refusal{QStringLiteral("%1 is not among its inputs").arg(path)};
    }
    return s;
}

}  // namespace

bool TileGridPart::operator==(const TileGridPart& o) const
{
    return image == o.image && columns == o.columns && rows == o.rows && drawn == o.drawn && reversed == o.reversed
           && marks == o.marks;
}

QString defaultPath() { return QFileInfo(paths::workspaceFolder()).absolutePath() + QStringLiteral("/session.json"); }

QByteArray toJson(const Session& session)
{
    Json inputs = Json::array();
    for (const Input& input : session.inputs)
        inputs.push_back(inputJson(input));
    Json architecture = Json();
    if (session.architecture) {
        architecture = Json::object();
        architecture["customized"] = session.architecture->customized;
        architecture["document"] = session.architecture->document;
    }
    const QDateTime saved = session.savedAt.toOffsetFromUtc(session.savedAt.offsetFromUtc());
    const std::pair<const char*, Json> members[] = {
        {"kolvara_session", kVersion},
        {"saved_at", text(timeText(saved))},
        {"inputs", std::move(inputs)},
        {"tile_grid", session.tileGrid ? tileGridJson(*session.tileGrid) : Json()},
        {"image_set", session.imageSet ? imageSetJson(*session.imageSet) : Json()},
        {"architecture", std::move(architecture)},
    };
    // One member a line, each value compact: readable at a glance, and small.
    std::string out = "{\n";
    for (size_t k = 0; k < std::size(members); ++k) {
        out += "  \"" + std::string(members[k].first) + "\": " + members[k].second.dump();
        out += k + 1 < std::size(members) ? ",\n" : "\n";
    }
    out += "}\n";
    return QByteArray::fromStdString(out);
}

Reading fromJson(const QByteArray& bytes)
{
    if (jsonfile::nestingDepth(bytes) > jsonfile::kMaxNesting)
        return {std::nullopt, QStringLiteral("The session file is nested too deeply.")};
    const Json j = Json::parse(bytes.constData(), bytes.constData() + bytes.size(), nullptr, false);
    if (j.is_discarded())
        return {std::nullopt, QStringLiteral("The session file is not JSON.")};
    try {
        return {sessionOf(j), QString()};
    } catch (const Refusal& refusal) {
        return {std::nullopt, QStringLiteral("The session file cannot be used: %1.").arg(refusal.why)};
    }
}

Reading read(const QString& path)
{
    QFile file(path);
    if (!file.exists())
        return {};
    if (!file.open(QIODevice::ReadOnly))
        return {std::nullopt, QStringLiteral("Cannot read the session file %1: %2").arg(path, file.errorString())};
    return fromJson(file.readAll());
}

QString write(const QString& path, const Session& session)
{
    const QByteArray bytes = toJson(session);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QStringLiteral("Cannot write the session file %1: %2").arg(path, file.errorString());
    if (file.write(bytes) != bytes.size()) {
        const QString why = filewrite::shortWriteReason(file);
        file.cancelWriting();
        return QStringLiteral("Cannot write the session file %1: %2").arg(path, why);
    }
    if (!file.commit())
        return QStringLiteral("Cannot write the session file %1: %2").arg(path, file.errorString());
    return QString();
}

InputCheck checkInputs(const Session& session)
{
    InputCheck check;
    for (const Input& input : session.inputs) {
        const QFileInfo info(input.path);
        if (!info.exists())
            check.missing << input.path;
        else if (input.modified.isValid() && info.lastModified().toMSecsSinceEpoch() != input.modified.toMSecsSinceEpoch())
            check.changed << input.path;
    }
    return check;
}

}  // namespace session
