#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <nlohmann/json.hpp>
#include <optional>
#include <utility>
#include <vector>

// A Keras model-architecture document (a top-level object whose config.layers array holds the
// layer records). Only config.layers is read and edited; every other member, at any depth, is
// carried through untouched and in its original order.

using Json = nlohmann::ordered_json;

// One value field of the layer configuration panel: its panel tag and its current text.
struct PanelField {
    int tag = 0;
    QString text;
};

// A panel field whose text could not be stored; the layer keeps its previous value there.
struct RefusedField {
    int tag = 0;
    QString field;      // the parameter's name, e.g. "filters" or "kernel_size"
    QString text;       // what was typed
    bool wholeNumber = false;  // a whole number was expected (else any finite number)
};

struct UpdateOutcome {
    bool written = false;  // false when the layer entry is missing or not an object
    QList<RefusedField> refused;
};

// The three text lines of a layer node.
struct NodeLines {
    QString name;
    QString className;
    // The inbound layer names of call node 0; absent when the record has no inbound_nodes array.
    std::optional<QStringList> inbound;
};

// A change to config.layers held as the state it puts in place: applying it swaps that state with
// the document's, so applying it a second time takes the change back.
struct LayerEdit {
    enum class Kind { Insert, Remove, Exchange, Update };
    Kind kind = Kind::Update;
    // Insert and Remove: the record that comes or goes at `index`. While it is out of the document
    // it waits in `layer`; `layerIn` says where it is now.
    int index = -1;
    Json layer;
    bool layerIn = false;
    // Records swapped with the document's, by their index in the list that holds the moving layer.
    std::vector<std::pair<int, Json>> records;
};

class ArchDocument {
public:
    ArchDocument();  // an empty object: nothing loaded
    explicit ArchDocument(Json json);

    const Json& json() const { return m_json; }
    // Null or an empty object.
    bool isEmpty() const;

    // Length of config.layers; 0 when it is missing or not an array.
    int layerCount() const;
    // Layer record i when it exists and is an object.
    const Json* layer(int i) const;
    std::optional<NodeLines> nodeLines(int i) const;

    // Inserts a copy of `layer` just before the last (output) layer, named afresh as Keras names
    // layers ("dense", "dense_1", ...) and linked in: it reads from what fed the output layer
    // (every input of a multi-input layer does), and the output layer reads from it. Refused
    // (false) when the layer list is missing or empty: there is no output layer to insert before.
    bool insertBeforeOutput(const Json& layer);
    // Removes a middle layer; the first (input) and last (output) layers are never removed.
    // When the removed layer had one input, the layers that read from it read from that input.
    bool removeLayer(int i);
    // `className` in Keras's snake case, numbered past the names the model already uses.
    QString freshName(const QString& className) const;
    // Exchanges each dragged layer (ascending) with target, target + 1, ...; all or nothing:
    // refused when any of them is the first or last layer, or a target lies past the last.
    bool exchangeLayers(std::vector<int> dragged, int target);

    // Writes the panel's fields into layer i by their tags. Fields with other tags are ignored;
    // a field whose text is not a valid number is refused and the rest still applied.
    UpdateOutcome updateLayer(int i, const QList<PanelField>& fields);

    // A name no layer has, made the way Keras names layers: the class name in snake case
    // ("Dense" gives "dense", "GlobalAveragePooling2D" "global_average_pooling2d"), followed by
    // "_1", "_2", ... while that is taken.
    QString freshLayerName(const QString& className) const;

    // Edits planned against the document as it is; absent when refused, as the methods above
    // refuse them. apply() carries one out (or, applied again, takes it back).
    // A copy of `layerTemplate` before the output layer, under a fresh name, linked where it
    // stands: it reads what the output layer read (its first inbound entry), and the output
    // layer reads it instead.
    std::optional<LayerEdit> planInsert(const Json& layerTemplate) const;
    // A middle layer goes; when it has exactly one input, the layers that read it read that input.
    std::optional<LayerEdit> planRemove(int i) const;
    std::optional<LayerEdit> planExchange(std::vector<int> dragged, int target) const;
    // `outcome` receives what updateLayer() would report.
    std::optional<LayerEdit> planUpdate(int i, const QList<PanelField>& fields, UpdateOutcome& outcome) const;
    void apply(LayerEdit& edit);

private:
    Json* mutableLayers();
    Json m_json;
};

struct ParseOutcome {
    std::optional<Json> json;
    QString error;
};

struct SaveOutcome {
    bool ok = false;
    QString path;
    QString error;
};

namespace archdoc {

// The editor's document as handed to the worker scripts, in the caches folder.
inline const QString editorCopyName = QStringLiteral("custommodel_temp.json");

ParseOutcome parse(const QByteArray& bytes);
ParseOutcome readFile(const QString& path);

// Compact JSON (no whitespace), written atomically: an earlier file is replaced only once the
// new one is complete.
SaveOutcome saveCompact(const Json& json, const QString& path);
SaveOutcome saveEditorCopy(const Json& json);

// The first layer record of `architecture` whose class_name is `className`.
std::optional<Json> findTemplate(const Json& architecture, const QString& className);
// From `primary` first, then from `fallback`.
std::optional<Json> findTemplate(const Json& primary, const Json& fallback, const QString& className);

// A class name as Keras names its layers: "MaxPooling2D" gives "max_pooling2d".
QString snakeCase(const QString& className);

// The names of the inbound layers of call node 0, from a record's "inbound_nodes" value.
QStringList inboundNames(const Json& inboundNodes);

// What keeps `doc` from being shown and edited as an architecture, as one sentence naming the
// layer: not an object, no config.layers list, a layer that is not an object with a text
// "name" and "class_name", a "config" that is not an object, "inbound_nodes" not shaped as
// call nodes of [layer name, ...] entries, or layers whose inbound names run in a cycle.
// Empty when the document is sound. Inbound names that name no layer are allowed (the editor
// keeps them until the user fixes them).
QString structureProblem(const Json& doc);
// The same without the cycle check: what the editor needs to show a document, which the user
// may have linked in a cycle by typing inbound names.
QString shapeProblem(const Json& doc);

// The first cycle among the call nodes' inbound references, as the layer names along it with
// the first repeated at the end (a, b, a); empty when there is none. Nodes are told apart by
// their index, so a layer called twice on either side of another layer is no cycle.
QStringList inboundCycle(const Json& layers);

// One line per refused field, naming it and what it needed.
QString refusalText(const QList<RefusedField>& refused);

}  // namespace archdoc
