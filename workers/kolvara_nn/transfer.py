"""Transfer learning: a network's backbone under a new top, and the backbone's weights loaded
from a Keras weights file (an ImageNet file with or without its own top, or a model of ours).

The new top is global average pooling, dropout 0.2 and a softmax Dense layer with one unit
per class. A frozen backbone has "trainable": false on every layer, as Keras writes it, so
its weights never change and its BatchNormalization runs in inference mode.
"""
import copy

import numpy as np

from . import h5io, keras_json
from .errors import ModelError
from .graph import Graph

TOP_POOL = "top_avg_pool"
TOP_DROPOUT = "top_dropout"
TOP_PREDICTIONS = "top_predictions"
TOP_DROPOUT_RATE = 0.2

# Layers of an old top: what a classifier puts after its last feature map.
_TOP_CLASSES = frozenset(("Dense", "Dropout", "Flatten", "GlobalAveragePooling2D",
                          "GlobalMaxPooling2D", "Softmax"))
_GLOROT = {"class_name": "GlorotUniform", "config": {"seed": None}}
_ZEROS = {"class_name": "Zeros", "config": {}}


def _single_input(rec):
    nodes = rec["inbound_nodes"]
    if len(nodes) != 1 or len(nodes[0]) != 1:
        return None
    return nodes[0][0][0]


def _in_old_top(rec, by_name):
    if rec["class_name"] in _TOP_CLASSES:
        return True
    source = _single_input(rec) if rec["class_name"] == "Activation" else None
    return source is not None and by_name[source]["class_name"] == "Dense"


def backbone_output(doc):
    """The layer whose output the old top reads: walking back from the model output over
    Dense, Dropout, Flatten, global pooling and the activation of a Dense layer."""
    graph = Graph(doc)
    if len(graph.outputs) != 1:
        raise ModelError("a new top needs a model with one output")
    rec = graph.by_name[graph.outputs[0][0]]
    while _in_old_top(rec, graph.by_name):
        source = _single_input(rec)
        if source is None:
            raise ModelError(f"layer '{rec['name']}': the old top has more than one input")
        rec = graph.by_name[source]
    if rec["class_name"] == "InputLayer":
        raise ModelError("the model has no backbone to put a new top on")
    return rec["name"]


def _ancestors(graph, name):
    seen, stack = {name}, [name]
    while stack:
        for node in graph.by_name[stack.pop()]["inbound_nodes"]:
            for ref in node:
                if ref[0] not in seen:
                    seen.add(ref[0])
                    stack.append(ref[0])
    return seen


def _unique(name, taken):
    candidate, k = name, 1
    while candidate in taken:
        candidate, k = f"{name}_{k}", k + 1
    taken.add(candidate)
    return candidate


def _record(class_name, name, params, source):
    config = {"name": name, "trainable": True, "dtype": "float32", **params}
    return {"class_name": class_name, "config": config, "name": name,
            "inbound_nodes": [[[source, 0, 0, {}]]]}


def top_names(doc):
    """(pooling, dropout, predictions) layer names of a network made by transfer_document:
    the output layer and the two before it."""
    graph = Graph(doc)
    dense = graph.outputs[0][0]
    dropout = _single_input(graph.by_name[dense])
    pool = _single_input(graph.by_name[dropout]) if dropout else None
    if pool is None or graph.by_name[pool]["class_name"] != "GlobalAveragePooling2D":
        raise ModelError("the model does not end in a new top")
    return pool, dropout, dense


def transfer_document(doc, n_classes, frozen):
    """The backbone of `doc` with a new top of `n_classes` softmax units (a new document).

    frozen: every backbone layer gets "trainable": false. Returns the document; its last
    three layers are the new top (see top_names)."""
    doc = keras_json.normalize(doc)
    if int(n_classes) < 1:
        raise ModelError(f"cannot make a top with {n_classes} classes")
    graph = Graph(doc)
    end = backbone_output(doc)
    keep = _ancestors(graph, end)
    layers = [copy.deepcopy(rec) for rec in doc["config"]["layers"] if rec["name"] in keep]
    for rec in layers:
        if rec["class_name"] != "InputLayer":
            rec["config"]["trainable"] = not frozen
    taken = {rec["name"] for rec in layers}
    pool, dropout, dense = (_unique(n, taken) for n in (TOP_POOL, TOP_DROPOUT, TOP_PREDICTIONS))
    layers += [
        _record("GlobalAveragePooling2D", pool, {"data_format": "channels_last", "keepdims": False}, end),
        _record("Dropout", dropout, {"rate": TOP_DROPOUT_RATE, "noise_shape": None, "seed": None}, pool),
        _record("Dense", dense, {"units": int(n_classes), "activation": "softmax", "use_bias": True,
                                 "kernel_initializer": _GLOROT, "bias_initializer": _ZEROS,
                                 "kernel_regularizer": None, "bias_regularizer": None,
                                 "activity_regularizer": None, "kernel_constraint": None,
                                 "bias_constraint": None}, dropout),
    ]
    new = {**doc, "config": {**doc["config"], "layers": layers,
                             "output_layers": [[dense, 0, 0]]}}
    return keras_json.checked(new)


def trainable_parameters(net):
    """The parameters an optimizer may change: a frozen backbone's are left out."""
    return [p for p in net.parameters() if p.requires_grad]


# ---- weights ------------------------------------------------------------------------------

def _weighted(net, names):
    order = [n for n in keras_json.keras_layer_order(net.document) if n in names]
    return [n for n in order if net.keras_weights(n)]


def _fits(net, name, arrays):
    expected = net.keras_weights(name)
    return len(expected) == len(arrays) and all(
        tuple(np.shape(a)) == tuple(np.shape(e)) for (_, e), (_, a) in zip(expected, arrays))


def _assign(net, name, arrays, source):
    expected = net.keras_weights(name)
    if len(arrays) != len(expected):
        raise ModelError(f"{source}: layer '{name}' has {len(arrays)} weights in the file, "
                         f"the model expects {len(expected)}")
    for (weight, current), (_, array) in zip(expected, arrays):
        if tuple(array.shape) != tuple(np.shape(current)):
            raise ModelError(f"{source}: layer '{name}': weight '{weight}' has shape "
                             f"{tuple(array.shape)} in the file, the model expects "
                             f"{tuple(np.shape(current))}")
    return [np.asarray(a, dtype=np.float32) for _, a in arrays]


def load_backbone_weights(net, path, say=print):
    """Load a weights file onto a network made by transfer_document.

    The backbone is matched by layer name; a file whose names differ (Keras's Xception file
    carries Keras 1 names) is matched by position over the layers with weights, the way
    Keras's load_weights does, and its own top, coming last, is left out. The new top is
    loaded only from a file that holds it under its own name with the same shapes (a model
    trained here before); otherwise it starts fresh. Every shape is checked before anything
    is assigned. Returns the names of the layers loaded."""
    pool, dropout, dense = top_names(net.document)
    backbone = _weighted(net, set(net.layer_names) - {pool, dropout, dense})
    table = h5io.read_weight_table(str(path), h5io.layer_records(net.document))
    by_name = dict(table)
    if all(name in by_name for name in backbone):
        pairs = [(name, by_name[name]) for name in backbone]
    elif len(table) >= len(backbone):
        pairs = list(zip(backbone, (arrays for _, arrays in table)))
    else:
        raise ModelError(f"{path}: the file has {len(table)} layers with weights, the "
                         f"backbone needs {len(backbone)}")
    checked = [(name, _assign(net, name, arrays, path)) for name, arrays in pairs]
    if dense in by_name and _fits(net, dense, by_name[dense]):
        checked.append((dense, _assign(net, dense, by_name[dense], path)))
    for name, arrays in checked:
        net.set_keras_weights(name, arrays)
    if checked and checked[-1][0] == dense:
        say(f"Weights loaded from {path}, the top included")
    else:
        say(f"Backbone weights loaded from {path}; the new top starts fresh")
    return [name for name, _ in checked]
