#include "model/archdocument.h"

#include "util/diagnostics.h"

#include <QRegularExpression>
#include <algorithm>
#include <cmath>

namespace {

QString fromStd(const std::string& s) { return QString::fromStdString(s); }

// A member's text for display: strings as they are, anything else as its JSON.
QString memberText(const Json& object, const char* key)
{
    const auto it = object.find(key);
    if (it == object.end() || it->is_null())
        return QString();
    return it->is_string() ? fromStd(it->get<std::string>()) : fromStd(it->dump());
}

// Call node 0 of a layer record: its inbound entries, or null when there is none.
Json* firstCallNode(Json& layer)
{
    auto it = layer.find("inbound_nodes");
    if (it == layer.end() || !it->is_array() || it->empty() || !(*it)[0].is_array())
        return nullptr;
    return &(*it)[0];
}

bool isBooleanTag(int tag) { return tag >= 1 && tag <= 3; }

const char* configKey(int tag)
{
    switch (tag) {
    case 1: return "trainable";
    case 2: return "center";
    case 3: return "scale";
    case 4: return "activation";
    case 5: return "padding";
    case 6: return "filters";
    case 7: return "momentum";
    case 8: return "epsilon";
    case 9: return "units";
    case 10:
    case 11: return "kernel_size";
    default: return nullptr;
    }
}

std::optional<long long> wholeNumber(const QString& text)
{
    bool ok = false;
    const long long v = text.trimmed().toLongLong(&ok, 10);
    return ok ? std::optional<long long>(v) : std::nullopt;
}

std::optional<double> finiteNumber(const QString& text)
{
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    return ok && std::isfinite(v) ? std::optional<double>(v) : std::nullopt;
}

// Unit counts are whole in every Keras document, so whole values stay JSON integers.
Json unitsValue(double v)
{
    if (std::floor(v) == v && std::fabs(v) < 9007199254740992.0)
        return Json(static_cast<long long>(v));
    return Json(v);
}

// Sets entry 1 of call node 0 to `name`, mirroring entry 0 when the layer has one input;
// an empty name takes the layer back to one input.
void writeSecondInbound(Json& node, const QString& name)
{
    diag::print("second inbound node name", int(name.size()));
    if (!name.isEmpty()) {
        if (node.size() == 1)
            node.push_back(node[0]);
        if (node.size() >= 2 && node[1].is_array() && !node[1].empty())
            node[1][0] = name.toStdString();
    } else if (node.size() >= 2) {
        node.erase(node.size() - 1);
    }
}

// Stores one numeric field; false when its text is refused.
bool writeNumber(Json& config, int tag, const QString& text)
{
    const char* key = configKey(tag);
    if (tag == 6 || tag == 10 || tag == 11) {
        const std::optional<long long> v = wholeNumber(text);
        if (!v)
            return false;
        if (tag == 6) {
            config[key] = *v;
        } else {
            const auto pair = config.find(key);
            const size_t k = size_t(tag - 10);
            if (pair != config.end() && pair->is_array() && pair->size() > k)
                (*pair)[k] = *v;
        }
        return true;
    }
    const std::optional<double> v = finiteNumber(text);
    if (!v)
        return false;
    config[key] = tag == 9 ? unitsValue(*v) : Json(*v);
    return true;
}

}  // namespace

ArchDocument::ArchDocument() : m_json(Json::object()) {}

ArchDocument::ArchDocument(Json json) : m_json(std::move(json)) {}

bool ArchDocument::isEmpty() const { return m_json.is_null() || (m_json.is_object() && m_json.empty()); }

namespace {
// config.layers when it is an array.
template <typename J>
J* layersOf(J& doc)
{
    if (!doc.is_object())
        return nullptr;
    const auto config = doc.find("config");
    if (config == doc.end() || !config->is_object())
        return nullptr;
    const auto layers = config->find("layers");
    return layers != config->end() && layers->is_array() ? &*layers : nullptr;
}
}  // namespace

int ArchDocument::layerCount() const
{
    const Json* layers = layersOf(m_json);
    return layers ? int(layers->size()) : 0;
}

const Json* ArchDocument::layer(int i) const
{
    const Json* layers = layersOf(m_json);
    if (!layers || i < 0 || i >= int(layers->size()))
        return nullptr;
    const Json& entry = (*layers)[size_t(i)];
    return entry.is_object() ? &entry : nullptr;
}

Json* ArchDocument::mutableLayers() { return layersOf(m_json); }

std::optional<NodeLines> ArchDocument::nodeLines(int i) const
{
    const Json* entry = layer(i);
    if (!entry)
        return std::nullopt;
    NodeLines lines;
    lines.name = memberText(*entry, "name");
    lines.className = memberText(*entry, "class_name");
    const auto inbound = entry->find("inbound_nodes");
    if (inbound != entry->end() && inbound->is_array()) {
        lines.inbound = archdoc::inboundNames(*inbound);
    }
    return lines;
}

QString ArchDocument::freshName(const QString& className) const
{
    QString base = archdoc::snakeCase(className);
    if (base.isEmpty())
        base = QStringLiteral("layer");
    QStringList used;
    for (int i = 0; i < layerCount(); ++i)
        if (const Json* entry = layer(i))
            used << memberText(*entry, "name");
    QString name = base;
    for (int k = 1; used.contains(name); ++k)
        name = base + QLatin1Char('_') + QString::number(k);
    return name;
}

bool ArchDocument::insertBeforeOutput(const Json& layer)
{
    Json* layers = mutableLayers();
    if (!layers || layers->empty())
        return false;
    Json added = layer;
    if (!added.is_object())
        return false;
    // A copy keeps its template's name and inputs, which would clash with a layer of that name
    // and read from a layer this model may not have: it gets a name of its own and is put
    // between the output layer and what fed it.
    const std::string name = freshName(memberText(added, "class_name")).toStdString();
    added["name"] = name;
    if (added.contains("config") && added["config"].is_object())
        added["config"]["name"] = name;
    Json& output = layers->back();
    Json* outputNode = output.is_object() ? firstCallNode(output) : nullptr;
    if (outputNode && !outputNode->empty() && (*outputNode)[0].is_array() && !(*outputNode)[0].empty()) {
        const Json feeder = (*outputNode)[0];
        Json* node = firstCallNode(added);
        if (node && !node->empty()) {
            for (Json& ref : *node)
                ref = feeder;
        } else {
            added["inbound_nodes"] = Json::array({Json::array({feeder})});
        }
        for (Json& ref : *outputNode)
            if (ref.is_array() && !ref.empty() && ref[0] == feeder[0])
                ref[0] = name;
    }
    layers->insert(layers->end() - 1, added);
    return true;
}

bool ArchDocument::removeLayer(int i)
{
    Json* layers = mutableLayers();
    const int n = layerCount();
    if (!layers || i <= 0 || i >= n - 1)
        return false;
    // The layers reading from the removed one read from its input instead, when it had one.
    const Json* removed = layer(i);
    const QStringList inputs = removed ? archdoc::inboundNames(removed->value("inbound_nodes", Json())) : QStringList();
    const Json removedName = removed ? removed->value("name", Json()) : Json();
    if (inputs.size() == 1 && removedName.is_string()) {
        for (Json& entry : *layers) {
            Json* node = entry.is_object() ? firstCallNode(entry) : nullptr;
            if (!node)
                continue;
            for (Json& ref : *node)
                if (ref.is_array() && !ref.empty() && ref[0] == removedName)
                    ref[0] = inputs.front().toStdString();
        }
    }
    layers->erase(size_t(i));
    return true;
}

bool ArchDocument::exchangeLayers(std::vector<int> dragged, int target)
{
    std::optional<LayerEdit> edit = planExchange(std::move(dragged), target);
    if (!edit)
        return false;
    apply(*edit);
    return true;
}

UpdateOutcome ArchDocument::updateLayer(int i, const QList<PanelField>& fields)
{
    UpdateOutcome outcome;
    if (!layer(i))
        return outcome;
    Json& entry = (*mutableLayers())[size_t(i)];
    const auto configIt = entry.find("config");
    Json* config = configIt != entry.end() && configIt->is_object() ? &*configIt : nullptr;
    for (const PanelField& field : fields) {
        diag::print("tag", field.tag);
        const int tag = field.tag;
        if (tag == 100) {
            entry["name"] = field.text.toStdString();
            if (config)
                (*config)["name"] = field.text.toStdString();
        } else if (tag == 200 || tag == 201) {
            Json* node = firstCallNode(entry);
            if (!node || node->empty())
                continue;
            if (tag == 201)
                writeSecondInbound(*node, field.text);
            else if ((*node)[0].is_array() && !(*node)[0].empty())
                (*node)[0][0] = field.text.toStdString();
        } else if (!config || !configKey(tag)) {
            continue;
        } else if (isBooleanTag(tag)) {
            (*config)[configKey(tag)] = field.text == QLatin1String("true");
        } else if (tag == 4 || tag == 5) {
            (*config)[configKey(tag)] = field.text.toStdString();
        } else if (!writeNumber(*config, tag, field.text)) {
            const bool whole = tag == 6 || tag == 10 || tag == 11;
            outcome.refused << RefusedField{tag, QString::fromLatin1(configKey(tag)), field.text, whole};
        }
    }
    outcome.written = true;
    return outcome;
}

QString archdoc::snakeCase(const QString& className)
{
    // Keras's own rule: "Conv2D" gives "conv2d", "BatchNormalization" "batch_normalization".
    static const QRegularExpression words(QStringLiteral("(.)([A-Z][a-z]+)"));
    static const QRegularExpression humps(QStringLiteral("([a-z])([A-Z])"));
    QString name = className;
    name.replace(words, QStringLiteral("\\1_\\2"));
    name.replace(humps, QStringLiteral("\\1_\\2"));
    return name.toLower();
}

QStringList archdoc::inboundNames(const Json& inboundNodes)
{
    QStringList names;
    if (!inboundNodes.is_array() || inboundNodes.empty() || !inboundNodes[0].is_array())
        return names;
    for (const Json& ref : inboundNodes[0]) {
        if (ref.is_array() && !ref.empty() && ref[0].is_string())
            names << fromStd(ref[0].get<std::string>());
    }
    return names;
}
