// Checks that an architecture document has the shape the editor and the workers read.
#include "model/archdocument.h"

#include <QHash>
#include <utility>
#include <vector>

namespace archdoc {
namespace {

QString fromStd(const std::string& s) { return QString::fromStdString(s); }

QString layerLabel(const Json& layer, size_t index)
{
    const auto name = layer.find("name");
    if (name != layer.end() && name->is_string())
        return QStringLiteral("layer '%1'").arg(fromStd(name->get<std::string>()));
    return QStringLiteral("layer %1").arg(index + 1);
}

// An inbound entry: [layer name, node index, tensor index, arguments]; only the name is needed.
bool isInboundEntry(const Json& entry) { return entry.is_array() && !entry.empty() && entry[0].is_string(); }

QString inboundProblem(const Json& nodes)
{
    if (!nodes.is_array())
        return QStringLiteral("its inbound_nodes is not a list of call nodes");
    for (size_t k = 0; k < nodes.size(); ++k) {
        if (!nodes[k].is_array())
            return QStringLiteral("call node %1 of its inbound_nodes is not a list of inbound entries").arg(k);
        for (const Json& entry : nodes[k]) {
            if (!isInboundEntry(entry))
                return QStringLiteral("call node %1 of its inbound_nodes holds %2, not [layer name, ...]")
                    .arg(k)
                    .arg(fromStd(entry.dump()).left(60));
        }
    }
    return QString();
}

QString layerProblem(const Json& layer, size_t index)
{
    const QString label = layerLabel(layer, index);
    if (!layer.is_object())
        return QStringLiteral("layer %1 is %2, not a layer record").arg(index + 1).arg(fromStd(layer.dump()).left(60));
    const auto name = layer.find("name");
    if (name == layer.end() || !name->is_string())
        return QStringLiteral("%1 has no name text").arg(label);
    const auto cls = layer.find("class_name");
    if (cls == layer.end() || !cls->is_string())
        return QStringLiteral("%1 has no class_name text").arg(label);
    const auto config = layer.find("config");
    if (config != layer.end() && !config->is_object())
        return QStringLiteral("%1: its config is not an object").arg(label);
    const auto nodes = layer.find("inbound_nodes");
    if (nodes != layer.end()) {
        if (const QString problem = inboundProblem(*nodes); !problem.isEmpty())
            return label + QStringLiteral(": ") + problem;
    }
    return QString();
}

int callIndexOf(const Json& entry)
{
    return entry.size() > 1 && entry[1].is_number_integer() ? entry[1].get<int>() : 0;
}

// The call graph: one vertex per (layer, call node), edges to the nodes it reads.
struct CallGraph {
    QHash<QString, size_t> firstLayer;          // name -> its first record
    std::vector<std::pair<size_t, int>> nodes;  // (record, call index)
    QHash<QString, size_t> vertex;              // "name#k" -> position in nodes

    static QString key(const QString& name, int k) { return name + QLatin1Char('#') + QString::number(k); }
};

CallGraph callGraph(const Json& layers)
{
    CallGraph g;
    for (size_t i = 0; layers.is_array() && i < layers.size(); ++i) {
        const Json& layer = layers[i];
        const auto nameIt = layer.is_object() ? layer.find("name") : layer.end();
        if (!layer.is_object() || nameIt == layer.end() || !nameIt->is_string())
            continue;
        const QString name = fromStd(nameIt->get<std::string>());
        if (g.firstLayer.contains(name))
            continue;
        g.firstLayer.insert(name, i);
        const auto nodes = layer.find("inbound_nodes");
        const int calls = nodes != layer.end() && nodes->is_array() ? int(nodes->size()) : 0;
        for (int k = 0; k < calls; ++k) {
            g.vertex.insert(CallGraph::key(name, k), g.nodes.size());
            g.nodes.emplace_back(i, k);
        }
    }
    return g;
}

// The vertices that call node v of the graph reads (inputs of an InputLayer are never read).
std::vector<size_t> inputsOf(const CallGraph& g, const Json& layers, size_t v)
{
    std::vector<size_t> out;
    const Json& layer = layers[g.nodes[v].first];
    const auto cls = layer.find("class_name");
    if (cls != layer.end() && *cls == "InputLayer")
        return out;
    const Json& node = layer.find("inbound_nodes")->at(size_t(g.nodes[v].second));
    if (!node.is_array())
        return out;
    for (const Json& entry : node) {
        if (!isInboundEntry(entry))
            continue;
        const auto found = g.vertex.constFind(CallGraph::key(fromStd(entry[0].get<std::string>()), callIndexOf(entry)));
        if (found != g.vertex.constEnd())
            out.push_back(*found);
    }
    return out;
}

}  // namespace

QStringList inboundCycle(const Json& layers)
{
    const CallGraph g = callGraph(layers);
    enum : char { White, Grey, Black };
    std::vector<char> colour(g.nodes.size(), White);
    for (size_t start = 0; start < g.nodes.size(); ++start) {
        if (colour[start] != White)
            continue;
        // Depth first without recursion: a long chain of layers is a deep walk.
        std::vector<std::pair<size_t, std::vector<size_t>>> stack;
        stack.emplace_back(start, inputsOf(g, layers, start));
        colour[start] = Grey;
        while (!stack.empty()) {
            auto& [v, pending] = stack.back();
            if (pending.empty()) {
                colour[v] = Black;
                stack.pop_back();
                continue;
            }
            const size_t next = pending.back();
            pending.pop_back();
            if (colour[next] == Grey) {
                QStringList names;
                size_t k = 0;
                while (stack[k].first != next)
                    ++k;
                for (; k < stack.size(); ++k)
                    names << fromStd(layers[g.nodes[stack[k].first].first].find("name")->get<std::string>());
                return names << names.front();
            }
            if (colour[next] == White) {
                colour[next] = Grey;
                stack.emplace_back(next, inputsOf(g, layers, next));
            }
        }
    }
    return {};
}

QString structureProblem(const Json& doc)
{
    if (const QString problem = shapeProblem(doc); !problem.isEmpty())
        return problem;
    const QStringList cycle = inboundCycle(doc["config"]["layers"]);
    if (!cycle.isEmpty())
        return QStringLiteral("the inbound layers run in a cycle: %1").arg(cycle.join(QStringLiteral(" -> ")));
    return QString();
}

QString shapeProblem(const Json& doc)
{
    if (!doc.is_object())
        return QStringLiteral("the document is not a JSON object");
    const auto config = doc.find("config");
    if (config == doc.end() || !config->is_object())
        return QStringLiteral("the document has no config object");
    const auto layers = config->find("layers");
    if (layers == config->end() || !layers->is_array())
        return QStringLiteral("config.layers is not a list of layers");
    for (size_t i = 0; i < layers->size(); ++i) {
        if (const QString problem = layerProblem((*layers)[i], i); !problem.isEmpty())
            return problem;
    }
    return QString();
}

}  // namespace archdoc
