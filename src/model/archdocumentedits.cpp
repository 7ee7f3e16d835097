// Layer edits planned as the state they put in place, and the naming and linking rules of new
// and removed layers.
#include "model/archdocument.h"

#include <QRegularExpression>
#include <QSet>
#include <algorithm>
#include <map>

namespace {

const Json* layerList(const Json& doc)
{
    if (!doc.is_object())
        return nullptr;
    const auto config = doc.find("config");
    if (config == doc.end() || !config->is_object())
        return nullptr;
    const auto layers = config->find("layers");
    return layers != config->end() && layers->is_array() ? &*layers : nullptr;
}

QString textMember(const Json& record, const char* key)
{
    if (!record.is_object())
        return QString();
    const auto it = record.find(key);
    return it != record.end() && it->is_string() ? QString::fromStdString(it->get<std::string>()) : QString();
}

bool isEntry(const Json& entry) { return entry.is_array() && !entry.empty() && entry[0].is_string(); }

// Entry 0 of call node 0: [layer name, node index, tensor index, arguments].
const Json* firstEntry(const Json& record)
{
    if (!record.is_object())
        return nullptr;
    const auto nodes = record.find("inbound_nodes");
    if (nodes == record.end() || !nodes->is_array() || nodes->empty() || !(*nodes)[0].is_array() || (*nodes)[0].empty())
        return nullptr;
    const Json& entry = (*nodes)[0][0];
    return isEntry(entry) ? &entry : nullptr;
}

// The one inbound entry of a layer called once on one input; null for anything else.
const Json* soleInput(const Json& record)
{
    const Json* entry = firstEntry(record);
    if (!entry)
        return nullptr;
    const Json& nodes = record["inbound_nodes"];
    return nodes.size() == 1 && nodes[0].size() == 1 ? entry : nullptr;
}

// Points `entry` at `source`: its layer name, node index and tensor index; its arguments stay.
void redirect(Json& entry, const Json& source)
{
    for (size_t k = 0; k < 3 && k < source.size() && k < entry.size(); ++k)
        entry[k] = source[k];
}

// Keras's own rule: "GlobalAveragePooling2D" -> "global_average_pooling2d", "ReLU" -> "re_lu".
QString snakeCase(const QString& className)
{
    static const QRegularExpression words(QStringLiteral("(.)([A-Z][a-z0-9]+)"));
    static const QRegularExpression humps(QStringLiteral("([a-z])([A-Z])"));
    QString name = className;
    name.replace(words, QStringLiteral("\\1_\\2"));
    name.replace(humps, QStringLiteral("\\1_\\2"));
    name = name.toLower();
    return name.isEmpty() ? QStringLiteral("layer") : name;
}

}  // namespace

QString ArchDocument::freshLayerName(const QString& className) const
{
    // A name some layer still reads from (one renamed since) is taken too: a new layer under it
    // would be linked where the user never put it.
    QSet<QString> taken;
    if (const Json* layers = layerList(m_json)) {
        for (const Json& record : *layers) {
            taken.insert(textMember(record, "name"));
            if (record.is_object() && record.contains("config"))
                taken.insert(textMember(record["config"], "name"));
            if (record.is_object() && record.contains("inbound_nodes"))
                for (const QString& input : archdoc::inboundNames(record["inbound_nodes"]))
                    taken.insert(input);
        }
    }
    const QString base = snakeCase(className);
    QString name = base;
    for (int k = 1; taken.contains(name); ++k)
        name = base + QStringLiteral("_%1").arg(k);
    return name;
}

std::optional<LayerEdit> ArchDocument::planInsert(const Json& layerTemplate) const
{
    const Json* layers = layerList(m_json);
    if (!layers || layers->empty() || !layerTemplate.is_object())
        return std::nullopt;
    const int out = int(layers->size()) - 1;
    const Json& output = (*layers)[size_t(out)];
    Json record = layerTemplate;
    const std::string name = freshLayerName(textMember(record, "class_name")).toStdString();
    record["name"] = name;
    if (record.contains("config") && record["config"].is_object())
        record["config"]["name"] = name;

    LayerEdit edit;
    edit.kind = LayerEdit::Kind::Insert;
    edit.index = out;
    // The template's inputs name layers of the architecture it came from; the new layer takes
    // the place of the output layer's input instead.
    if (output.is_object() && output.contains("inbound_nodes"))
        record["inbound_nodes"] = output["inbound_nodes"];
    else
        record.erase("inbound_nodes");
    if (const Json* feeder = firstEntry(output)) {
        record["inbound_nodes"] = Json::array({Json::array({*feeder})});
        Json relinked = output;
        Json& entry = relinked["inbound_nodes"][0][0];
        entry[0] = name;
        for (size_t k = 1; k < 3 && k < entry.size(); ++k)
            entry[k] = 0;  // the new layer is called once and has one output
        edit.records.emplace_back(out + 1, std::move(relinked));
    }
    edit.layer = std::move(record);
    return edit;
}

std::optional<LayerEdit> ArchDocument::planRemove(int i) const
{
    const Json* layers = layerList(m_json);
    const int n = layerCount();
    if (!layers || i <= 0 || i >= n - 1)
        return std::nullopt;
    LayerEdit edit;
    edit.kind = LayerEdit::Kind::Remove;
    edit.index = i;
    edit.layerIn = true;
    const Json& removed = (*layers)[size_t(i)];
    const QString name = textMember(removed, "name");
    const Json* input = soleInput(removed);
    if (!input || name.isEmpty())
        return edit;  // several inputs or none: which one a reader should take is not known
    const std::string removedName = name.toStdString();
    for (int k = 0; k < n; ++k) {
        const Json& reader = (*layers)[size_t(k)];
        if (k == i || !reader.is_object() || !reader.contains("inbound_nodes") || !reader["inbound_nodes"].is_array())
            continue;
        Json relinked = reader;
        bool changed = false;
        for (Json& node : relinked["inbound_nodes"]) {
            if (!node.is_array())
                continue;
            for (Json& entry : node) {
                if (isEntry(entry) && entry[0].get<std::string>() == removedName) {
                    redirect(entry, *input);
                    changed = true;
                }
            }
        }
        if (changed)
            edit.records.emplace_back(k, std::move(relinked));
    }
    return edit;
}

std::optional<LayerEdit> ArchDocument::planExchange(std::vector<int> dragged, int target) const
{
    const Json* layers = layerList(m_json);
    const int n = layerCount();
    if (!layers || n == 0 || dragged.empty())
        return std::nullopt;
    std::sort(dragged.begin(), dragged.end());
    int t = target;
    for (int f : dragged) {
        if (t <= 0 || t >= n - 1 || f <= 0 || f >= n - 1)
            return std::nullopt;
        ++t;
    }
    // Each dragged layer trades places with target, target + 1, ... in turn.
    std::map<int, Json> placed;
    auto at = [&](int k) -> Json& { return placed.try_emplace(k, (*layers)[size_t(k)]).first->second; };
    t = target;
    for (int f : dragged) {
        Json& a = at(f);
        Json& b = at(t++);
        std::swap(a, b);
    }
    LayerEdit edit;
    edit.kind = LayerEdit::Kind::Exchange;
    for (auto& [k, record] : placed) {
        if (record != (*layers)[size_t(k)])
            edit.records.emplace_back(k, std::move(record));
    }
    return edit;
}

std::optional<LayerEdit> ArchDocument::planUpdate(int i, const QList<PanelField>& fields, UpdateOutcome& outcome) const
{
    const Json* record = layer(i);
    if (!record) {
        outcome = UpdateOutcome{};
        return std::nullopt;
    }
    Json holder = Json::object();
    holder["config"]["layers"] = Json::array({*record});
    ArchDocument single(std::move(holder));
    outcome = single.updateLayer(0, fields);
    LayerEdit edit;
    edit.kind = LayerEdit::Kind::Update;
    edit.index = i;
    if (*single.layer(0) != *record)
        edit.records.emplace_back(i, *single.layer(0));
    return edit;
}

void ArchDocument::apply(LayerEdit& edit)
{
    Json* layers = mutableLayers();
    if (!layers)
        return;
    auto swapRecords = [&] {
        for (auto& [k, record] : edit.records) {
            if (k >= 0 && k < int(layers->size()))
                std::swap((*layers)[size_t(k)], record);
        }
    };
    const bool moves = edit.kind == LayerEdit::Kind::Insert || edit.kind == LayerEdit::Kind::Remove;
    if (!moves) {
        swapRecords();
        return;
    }
    if (!edit.layerIn) {
        layers->insert(layers->begin() + edit.index, std::move(edit.layer));
        edit.layer = Json();
        swapRecords();
    } else {
        swapRecords();
        edit.layer = std::move((*layers)[size_t(edit.index)]);
        layers->erase(size_t(edit.index));
    }
    edit.layerIn = !edit.layerIn;
}
