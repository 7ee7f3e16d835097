"""Keras architecture documents: reading every producer's shape into the Keras 2.11 one.

The normalized document is what `model.to_json()` of tf.keras 2.11 writes for a functional
model: {"class_name": "Functional", "config": {"name", "layers", "input_layers",
"output_layers"}, "keras_version", "backend"}, each layer record {"class_name", "config",
"name", "inbound_nodes"} with inbound references [layer, node_index, tensor_index, kwargs].
"""
import json
import re

from .errors import ModelError
from .graph import Graph, output_dense
from .graph import problems as _graph_problems


# Config keys holding whole numbers; the editor may store them as JSON floats (10.0).
_INT_KEYS = frozenset((
    "units", "filters", "kernel_size", "strides", "pool_size", "dilation_rate", "padding",
    "depth_multiplier", "groups", "axis", "size", "cropping", "target_shape",
    "batch_input_shape",
))
# Keras 3 config keys that tf.keras 2.11 rejects as unknown keyword arguments, dropped
# when they hold their default value.
_K3_DEFAULTS = {"lora_rank": None, "lora_alpha": None, "synchronized": False,
                "optional": False, "quantization_config": None}
_INPUT_KEYS = ("batch_input_shape", "dtype", "sparse", "ragged", "name")


def load_document(path):
    """Read a JSON architecture file and return it normalized (raises ModelError)."""
    try:
        with open(path, encoding="utf-8-sig") as f:
            doc = json.load(f)
    except OSError as e:
        raise ModelError(f"{path}: cannot read the model document ({e.strerror or e})") from e
    except (ValueError, RecursionError) as e:  # RecursionError: nested past Python's limit
        raise ModelError(f"{path}: not a valid JSON document ({e})") from e
    try:
        return normalize(doc)
    except ModelError as e:
        raise ModelError(f"{path}: {e}") from e


def normalize(doc):
    """Return a new Keras-2.11-shaped functional document for any supported input shape.

    Accepts Keras 2.0-2.12 "Model"/"Functional" documents, Keras 2.13+/Keras 3 documents
    (module, registered_name, build_config, __keras_tensor__ nodes, batch_shape),
    Sequential documents of any version (also with a bare layer list as config), SavedModel
    metadata (with "__tuple__" encodings, or a "model_config" wrapper) and a bare network
    config. Raises ModelError when the document is not a model architecture at all.
    """
    try:
        return _normalize(doc)
    except RecursionError:  # the walks below recurse once per level of nesting
        raise ModelError("the model document is nested too deeply to be a model architecture") from None


def _normalize(doc):
    if not isinstance(doc, dict):
        raise ModelError("the model document is not a JSON object")
    doc = _detuple(doc)  # rebuilds every dict and list, so the caller's document is untouched
    if "model_config" in doc and "config" not in doc:
        inner = doc["model_config"]
        if isinstance(inner, str):
            try:
                inner = _detuple(json.loads(inner))
            except (ValueError, RecursionError) as e:
                raise ModelError(f"the model_config member is not valid JSON ({e})") from e
        if not isinstance(inner, dict):
            raise ModelError("the model_config member is not a JSON object")
        doc = dict(inner, keras_version=doc.get("keras_version"), backend=doc.get("backend"))
    cls = doc.get("class_name")
    cfg = doc.get("config")
    if cls is None and "layers" in doc:
        cls, cfg = ("Functional" if "input_layers" in doc else "Sequential"), doc
    if cls == "Sequential" or (isinstance(cfg, list) and cls in (None, "Model")):
        config = _sequential_config(cfg, doc.get("build_config"))
    elif cls in ("Functional", "Model"):
        config = _functional_config(cfg)
    else:
        raise ModelError(f"the document is not a Keras model (class_name {cls!r})")
    version = doc.get("keras_version")
    if not (isinstance(version, str) and version.startswith("2.")):
        version = "2.11.0"
    return {"class_name": "Functional", "config": config,
            "keras_version": version, "backend": "tensorflow"}


def _detuple(obj):
    """Turn SavedModel tuple and TensorShape objects ({"class_name", "items"}) into lists."""
    if isinstance(obj, dict):
        if obj.get("class_name") in ("__tuple__", "TensorShape") and "items" in obj:
            return [_detuple(v) for v in obj["items"]]
        return {k: _detuple(v) for k, v in obj.items()}
    if isinstance(obj, list):
        return [_detuple(v) for v in obj]
    return obj


def _layer_list(cfg):
    layers = cfg.get("layers") if isinstance(cfg, dict) else cfg
    if not isinstance(layers, list):
        raise ModelError("the model document has no layer list (config.layers)")
    for i, rec in enumerate(layers):
        if not isinstance(rec, dict) or not isinstance(rec.get("class_name"), str):
            raise ModelError(f"layer {i + 1} of the model document is not a layer record")
    return layers


def _functional_config(cfg):
    if not isinstance(cfg, dict):
        raise ModelError("the model document has no network config (config)")
    raw = _layer_list(cfg)
    names = _Namer(raw)
    layers = [_layer(rec, names) for rec in raw]
    ins = _endpoints(cfg.get("input_layers"))
    outs = _endpoints(cfg.get("output_layers"))
    if not ins:
        ins = [[r["name"], 0, 0] for r in layers if r["class_name"] == "InputLayer"]
    if not outs and layers:
        outs = [[layers[-1]["name"], 0, 0]]
    name = cfg.get("name") if isinstance(cfg.get("name"), str) else "model"
    config = {"name": name, "layers": layers, "input_layers": ins, "output_layers": outs}
    if cfg.get("trainable") is False:
        config["trainable"] = False
    return config


def _sequential_config(cfg, build_config):
    raw = _layer_list(cfg)
    if not raw:
        raise ModelError("the sequential model has no layers")
    names = _Namer(raw)
    layers = [_layer(rec, names) for rec in raw]
    if layers[0]["class_name"] == "InputLayer":
        first = layers.pop(0)
    else:
        shape = _declared_input_shape(raw[0], cfg, build_config)
        if shape is None:
            raise ModelError(f"layer '{layers[0]['name']}': the first layer of the sequential "
                             "model declares no input shape")
        first = _input_record(names.unique(layers[0]["name"] + "_input"), shape)
    prev = first["name"]
    for rec in layers:
        rec["inbound_nodes"] = [[[prev, 0, 0, {}]]]
        prev = rec["name"]
    name = cfg.get("name") if isinstance(cfg, dict) and isinstance(cfg.get("name"), str) else "sequential"
    return {"name": name, "layers": [first] + layers,
            "input_layers": [[first["name"], 0, 0]], "output_layers": [[prev, 0, 0]]}


def _declared_input_shape(rec, cfg, build_config):
    lc = rec.get("config") or {}
    for key in ("batch_input_shape", "batch_shape"):
        if isinstance(lc.get(key), list):
            return lc[key]
    if isinstance(lc.get("input_shape"), list):
        return [None] + lc["input_shape"]
    for bc in (rec.get("build_config"), build_config,
               {"input_shape": cfg.get("build_input_shape")} if isinstance(cfg, dict) else None):
        if isinstance(bc, dict) and isinstance(bc.get("input_shape"), list):
            return bc["input_shape"]
    return None


def _input_record(name, shape):
    config = {"batch_input_shape": shape, "dtype": "float32", "sparse": False,
              "ragged": False, "name": name}
    return {"class_name": "InputLayer", "config": config, "name": name, "inbound_nodes": []}


class _Namer:
    """Keras-style automatic names (snake_case of the class, zero-based per prefix) that
    avoid every name the document gives explicitly."""

    def __init__(self, records):
        self.used = {_given_name(r) for r in records} - {None}

    def unique(self, base):
        name, k = base, 0
        while name in self.used:
            k += 1
            name = f"{base}_{k}"
        self.used.add(name)
        return name

    def auto(self, class_name):
        snake = re.sub(r"(.)([A-Z][a-z]+)", r"\1_\2", class_name)
        snake = re.sub(r"([a-z])([A-Z])", r"\1_\2", snake).lower()
        if class_name == "InputLayer":  # tf.keras counts inputs from 1: input_1, input_2 ...
            k = 1
            while f"input_{k}" in self.used:
                k += 1
            return self.unique(f"input_{k}")
        return self.unique(snake)


def _given_name(rec):
    config = rec.get("config") if isinstance(rec.get("config"), dict) else {}
    for name in (rec.get("name"), config.get("name")):
        if isinstance(name, str) and name:
            return name
    return None


def _layer(rec, names):
    cls = rec["class_name"]
    config = rec.get("config")
    config = _clean(config) if isinstance(config, dict) else {}
    name = _given_name(rec) or names.auto(cls)
    config["name"] = name
    if cls == "InputLayer":
        shape = config.get("batch_input_shape", config.get("batch_shape"))
        if shape is None and isinstance(config.get("input_shape", config.get("shape")), list):
            shape = [None] + config.get("input_shape", config.get("shape"))
        config = {k: config.get(k, d) for k, d in zip(
            _INPUT_KEYS, (shape, "float32", False, False, name))}
        if not isinstance(config["dtype"], str):
            config["dtype"] = "float32"
    else:
        config = {"name": name, **{k: v for k, v in config.items() if k != "name"}}
    nodes = rec.get("inbound_nodes")
    return {"class_name": cls, "config": config, "name": name,
            "inbound_nodes": [] if cls == "InputLayer" and not nodes else _nodes(nodes, name)}


def _clean(config):
    """Drop Keras 3 serializer members and turn dtype policies and whole floats back."""
    out = {}
    for key, value in config.items():
        if key in _K3_DEFAULTS and value == _K3_DEFAULTS[key]:
            continue
        value = _strip_objects(value)
        if key == "dtype":
            value = _dtype(value)
        elif key in _INT_KEYS:
            value = _whole(value)
        out[key] = value
    return out


def _strip_objects(value):
    if isinstance(value, dict):
        return {k: _strip_objects(v) for k, v in value.items()
                if k not in ("module", "registered_name", "shared_object_id", "build_config")}
    if isinstance(value, list):
        return [_strip_objects(v) for v in value]
    return value


def _dtype(value):
    if isinstance(value, dict) and value.get("class_name") in ("DTypePolicy", "FloatDTypePolicy", "Policy"):
        name = (value.get("config") or {}).get("name", "float32")
        if isinstance(name, str) and name.startswith("mixed_"):
            return {"class_name": "Policy", "config": {"name": name}}
        return name
    return value


def _whole(value):
    if isinstance(value, float) and value.is_integer():
        return int(value)
    if isinstance(value, list):
        return [_whole(v) for v in value]
    return value


def _endpoints(value):
    """input_layers / output_layers as a list of [name, node_index, tensor_index]."""
    if isinstance(value, dict):
        value = list(value.values())
    if not isinstance(value, list):
        return []
    if len(value) == 3 and isinstance(value[0], str):
        value = [value]
    out = []
    for item in value:
        if isinstance(item, list) and len(item) >= 1 and isinstance(item[0], str):
            out.append([item[0], _int(item, 1), _int(item, 2)])
        else:
            out.extend(_endpoints(item))
    return out


def _int(ref, i):
    v = ref[i] if len(ref) > i else 0
    return int(v) if isinstance(v, (int, float)) and not isinstance(v, bool) else 0


def _nodes(nodes, layer):
    if not isinstance(nodes, list):
        return []
    out = []
    for node in nodes:
        if isinstance(node, dict):
            out.append(_keras3_node(node))
        elif isinstance(node, list):
            out.append([_ref(r, layer) for r in node])
        else:
            raise ModelError(f"layer '{layer}': unreadable inbound node {node!r}")
    return out


def _ref(ref, layer):
    if not (isinstance(ref, list) and ref and isinstance(ref[0], str)):
        raise ModelError(f"layer '{layer}': unreadable inbound entry {json.dumps(ref)}")
    kwargs = ref[3] if len(ref) > 3 and isinstance(ref[3], dict) else {}
    return [ref[0], _int(ref, 1), _int(ref, 2), kwargs]


def _keras3_node(node):
    """{"args": [...], "kwargs": {...}} with __keras_tensor__ objects -> legacy reference list."""
    history = []
    _collect_tensors(node.get("args", []), history)
    kwargs = {k: v for k, v in (node.get("kwargs") or {}).items() if not _holds_tensor(v)}
    return [[h[0], _int(h, 1), _int(h, 2), dict(kwargs)] for h in history]


def _collect_tensors(value, out):
    if isinstance(value, dict):
        if value.get("class_name") == "__keras_tensor__":
            out.append((value.get("config") or {}).get("keras_history") or ["?", 0, 0])
        else:
            for v in value.values():
                _collect_tensors(v, out)
    elif isinstance(value, list):
        for v in value:
            _collect_tensors(v, out)


def _holds_tensor(value):
    found = []
    _collect_tensors(value, found)
    return bool(found)


def problems(doc):
    """One line per problem of the document's graph (empty when it can be built).

    Covers unreadable documents, duplicate names, unknown or refused classes (Lambda),
    inbound names that name no layer, missing inputs or outputs, cycles and layers that
    lead to no output. Shapes are checked when the network is built.
    """
    try:
        doc = normalize(doc)
    except ModelError as e:
        return [str(e)]
    return _graph_problems(doc)


def checked(doc):
    """normalize(doc), raising ModelError with the first problem when the graph is invalid."""
    doc = normalize(doc)
    found = _graph_problems(doc)
    if found:
        more = f" (and {len(found) - 1} more problems)" if len(found) > 1 else ""
        raise ModelError(found[0] + more)
    return doc


def keras_layer_order(doc):
    """Layer names in the order Keras computes for model.layers (HDF5 layer_names order)."""
    return Graph(checked(doc)).keras_order()


def resize_output(doc, units):
    """Give the output Dense layer `units` units (same name, same activation).

    Returns (new_doc, changed); the input document is not modified. Raises ModelError when
    the first output does not come from a Dense layer.
    """
    units = int(units)
    if units < 1:
        raise ModelError(f"cannot resize the output layer to {units} units")
    new = normalize(doc)
    dense = output_dense(new)
    if dense is None:
        out = new["config"]["output_layers"]
        name = out[0][0] if out else "?"
        raise ModelError(f"layer '{name}': the model output does not come from a Dense layer, "
                         "so its number of classes cannot be changed")
    if dense["config"].get("units") == units:
        return new, False
    dense["config"]["units"] = units
    return new, True
