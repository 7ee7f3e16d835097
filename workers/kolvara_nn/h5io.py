"""Keras weights in HDF5 and .keras files: reading onto a KerasNetwork, writing Keras files.

Arrays travel in Keras layout (HWIO kernels, (in, out) Dense kernels); the network converts
them. Files are read with h5py and zipfile only.
"""
import io
import json
import os
import re
import zipfile

import h5py
import numpy as np

from . import keras_json
from .atomic import atomic_path
from .errors import ModelError
from .modelfiles import HDF5_SIGNATURE, ZIP_SIGNATURE, decode_attr, read_zip_member

KERAS_VERSION = "2.11.0"
BACKEND = "tensorflow"
CLASS_NAMES_ATTR = "kolvara_class_names"
# The pixel scaling the network was trained with; one of INPUT_SCALINGS.
INPUT_SCALING_ATTR = "kolvara_input_scaling"
INPUT_SCALINGS = ("div255", "raw", "tf", "torch", "caffe")
# Keras splits name lists above this size into numbered attributes (HDF5 object header limit).
HDF5_OBJECT_HEADER_LIMIT = 64512
MAX_WEIGHTS_MEMBER = 4 * 1024 ** 3


# ---- name lists stored as attributes ----------------------------------------------------

def read_name_list(obj, name):
    """A list-of-strings attribute, joined from `name0`, `name1`, ... when Keras split it."""
    if name in obj.attrs:
        values = list(np.atleast_1d(obj.attrs[name]))
    else:
        values, index = [], 0
        while "%s%d" % (name, index) in obj.attrs:
            values.extend(np.atleast_1d(obj.attrs["%s%d" % (name, index)]))
            index += 1
    # An empty list is stored as a float array by Keras; only strings are names.
    return [decode_attr(v) for v in values if isinstance(v, (bytes, str, np.bytes_, np.str_))]


def write_name_list(obj, name, items):
    """Write names as fixed-length byte strings, split the way Keras splits long lists."""
    if not items:
        obj.attrs[name] = np.asarray([])
        return
    data = np.array([s.encode("utf-8") for s in items])
    if data.itemsize > HDF5_OBJECT_HEADER_LIMIT:
        raise ModelError("name list %r: one name is longer than %d bytes"
                         % (name, HDF5_OBJECT_HEADER_LIMIT))
    parts = [data]
    while any(part.nbytes > HDF5_OBJECT_HEADER_LIMIT for part in parts):
        parts = np.array_split(data, len(parts) + 1)
    if len(parts) == 1:
        obj.attrs[name] = data
    else:
        for index, part in enumerate(parts):
            obj.attrs["%s%d" % (name, index)] = part


# ---- reading: every format becomes a table [(layer_name, [(weight_name, array)])] ---------

def read_dataset(group, name, source):
    """A weight array; links to other files are refused (a model file names no other file)."""
    link = group.get(name, getlink=True)
    if isinstance(link, h5py.ExternalLink):
        raise ModelError("%s: weight '%s' links to another file (%s); refused"
                         % (source, name, link.filename))
    dataset = group[name]
    if not isinstance(dataset, h5py.Dataset) or dataset.is_virtual:
        raise ModelError("%s: weight '%s' is not a plain dataset" % (source, name))
    return dataset[()]


def _legacy_table(group, source):
    table = []
    for name in read_name_list(group, "layer_names"):
        if name not in group:
            raise ModelError("%s: layer '%s' is listed but has no weights group" % (source, name))
        layer = group[name]
        arrays = []
        for weight in read_name_list(layer, "weight_names"):
            if weight not in layer:
                raise ModelError("%s: layer '%s': weight '%s' is missing" % (source, name, weight))
            arrays.append((weight, read_dataset(layer, weight, source)))
        if arrays:
            table.append((name, arrays))
    return table


def snake_case(class_name):
    """Keras's object name for a class: Conv2D -> conv2d, BatchNormalization -> batch_normalization."""
    name = re.sub(r"\W+", "", class_name)
    name = re.sub(r"(.)([A-Z][a-z]+)", r"\1_\2", name)
    return re.sub(r"([a-z])([A-Z])", r"\1_\2", name).lower()


def _vars_arrays(vars_group, source):
    keys = sorted(vars_group, key=lambda k: (not k.isdigit(), int(k) if k.isdigit() else 0, k))
    return [(key, read_dataset(vars_group, key, source)) for key in keys]


def layer_records(doc):
    """(class_name, layer_name) of every layer of a raw or normalized document, in order."""
    config = doc.get("config", {})
    layers = config if isinstance(config, list) else config.get("layers", [])
    records = []
    for layer in layers:
        inner = layer.get("config") or {}
        name = layer.get("name") or (inner.get("name") if isinstance(inner, dict) else None)
        records.append((layer.get("class_name", ""), name))
    return records


def _keras3_table(root, records, source):
    """Keras 3 object-path layout: layers/<snake_case class>[_n]/vars/<i>."""
    base = root["layers"] if "layers" in root else root["_layer_checkpoint_dependencies"]
    named = {}
    for path in base:
        vars_group = base[path].get("vars")
        if vars_group is not None and "name" in vars_group.attrs:
            named[decode_attr(vars_group.attrs["name"])] = vars_group
    counts, table = {}, []
    for class_name, name in records:
        snake = snake_case(class_name)
        index = counts.get(snake, 0)
        counts[snake] = index + 1
        path = snake if index == 0 else "%s_%d" % (snake, index)
        vars_group = named.get(name)
        if vars_group is None and path in base:
            vars_group = base[path].get("vars")
        arrays = _vars_arrays(vars_group, source) if vars_group is not None else []
        if arrays:
            table.append((name, arrays))
    if not table and any(len(base[p].get("vars", ())) for p in base):
        raise ModelError("%s: the weights do not match the model's layers" % source)
    return table


def _hdf5_table(h5file, records, source):
    if "layer_names" in h5file.attrs or "layer_names0" in h5file.attrs:
        return _legacy_table(h5file, source)
    if "model_weights" in h5file:
        return _legacy_table(h5file["model_weights"], source)
    if "layers" in h5file or "_layer_checkpoint_dependencies" in h5file:
        return _keras3_table(h5file, records, source)
    raise ModelError("%s: no Keras weights in this HDF5 file" % source)


def _zip_table(path, net_records):
    try:
        with zipfile.ZipFile(path) as archive:
            names = set(archive.namelist())
            if "model.weights.h5" not in names:
                raise ModelError("%s: .keras archive without model.weights.h5" % path)
            records = net_records
            if "config.json" in names:
                doc = json.loads(read_zip_member(archive, "config.json", path))
                records = layer_records(doc)
            data = read_zip_member(archive, "model.weights.h5", path, MAX_WEIGHTS_MEMBER)
    except (zipfile.BadZipFile, zipfile.LargeZipFile) as exc:
        raise ModelError("%s: damaged .keras archive (%s)" % (path, exc))
    except (ValueError, RecursionError) as exc:
        raise ModelError("%s: config.json is not valid JSON (%s)" % (path, exc))
    try:
        with h5py.File(io.BytesIO(data), "r") as h5file:
            return _hdf5_table(h5file, records, path)
    except OSError as exc:
        raise ModelError("%s: cannot read model.weights.h5 (%s)" % (path, exc))


def read_weight_table(path, net_records=()):
    """The layers with weights of a weights file, in file order.

    net_records ((class_name, name) pairs of the target network) name the Keras 3 object
    paths when the file itself carries no architecture.
    """
    if os.path.isdir(path):
        raise ModelError("%s is a folder; weights are read from a .h5, .hdf5 or .keras file"
                         % path)
    if not os.path.isfile(path):
        raise ModelError("%s: no such weights file" % path)
    with open(path, "rb") as f:
        head = f.read(8)
    if head.startswith(ZIP_SIGNATURE):
        return _zip_table(path, net_records)
    if head != HDF5_SIGNATURE:
        raise ModelError("%s: not a Keras weights file (neither HDF5 nor .keras)" % path)
    try:
        with h5py.File(path, "r") as h5file:
            return _hdf5_table(h5file, net_records, path)
    except OSError as exc:
        raise ModelError("%s: cannot read the HDF5 file (%s)" % (path, exc))


# ---- assigning a table to a network ------------------------------------------------------

def _base_name(weight_name):
    """'conv1/conv1/kernel:0' -> 'kernel'."""
    return weight_name.rsplit("/", 1)[-1].split(":", 1)[0]


def _order_like(expected, arrays):
    """File arrays in the network's weight order when the names allow it, else file order."""
    wanted = [_base_name(name) for name, _ in expected]
    by_name = {_base_name(name): array for name, array in arrays}
    if len(by_name) == len(arrays) == len(wanted) and set(wanted) == set(by_name):
        return [by_name[name] for name in wanted]
    return [array for _, array in arrays]


def _weighted_layers(net):
    """Names of the network's layers that have weights, in Keras's model.layers order."""
    known = set(net.layer_names)
    try:
        order = [n for n in keras_json.keras_layer_order(net.document) if n in known]
    except (ModelError, KeyError, TypeError, ValueError):
        order = []
    if sorted(order) != sorted(known):
        order = list(net.layer_names)
    return [name for name in order if net.keras_weights(name)]


def match_layers(net, table, skip, source):
    """[(layer_name, file_arrays)]: by name when every layer is found, else by position."""
    weighted = _weighted_layers(net)
    wanted = [name for name in weighted if name not in skip]
    by_name = dict(table)
    if all(name in by_name for name in wanted):
        return [(name, by_name[name]) for name in wanted]
    if len(table) == len(weighted):
        return [(name, arrays) for name, (_, arrays) in zip(weighted, table) if name not in skip]
    missing = [name for name in wanted if name not in by_name]
    raise ModelError("%s: no weights for layer '%s', and the file has %d layers with weights "
                     "where the model has %d" % (source, missing[0], len(table), len(weighted)))


def _checked_arrays(net, name, arrays, source):
    expected = net.keras_weights(name)
    ordered = _order_like(expected, arrays)
    if len(ordered) != len(expected):
        raise ModelError("%s: layer '%s' has %d weights in the file, the model expects %d"
                         % (source, name, len(ordered), len(expected)))
    for (weight, current), array in zip(expected, ordered):
        if tuple(array.shape) != tuple(np.shape(current)):
            raise ModelError("%s: layer '%s': weight '%s' has shape %s in the file, the model "
                             "expects %s" % (source, name, weight, tuple(array.shape),
                                             tuple(np.shape(current))))
    return ordered


def load_weights(net, path, skip=frozenset()):
    """Load a Keras weights file onto net; returns the names of the layers loaded.

    Accepts a full-model or weights-only HDF5 file and a .keras archive. Layers in skip keep
    their weights. Every shape is checked before anything is assigned, so a refused file
    leaves the network unchanged.
    """
    table = read_weight_table(path, layer_records(net.document))
    pairs = match_layers(net, table, set(skip), path)
    checked = [(name, _checked_arrays(net, name, arrays, path)) for name, arrays in pairs]
    for name, arrays in checked:
        try:
            net.set_keras_weights(name, [np.asarray(a, dtype=np.float32) for a in arrays])
        except ModelError as exc:
            raise ModelError("%s: %s" % (path, exc))
    return [name for name, _ in checked]


# ---- writing ------------------------------------------------------------------------------

def _write_layers(group, net):
    """The legacy weights layout (what Keras puts in model_weights, or at a weights file root)."""
    order = keras_json.keras_layer_order(net.document)
    bad = [name for name in order if "/" in name]
    if bad:
        raise ModelError("layer name '%s' contains '/', which HDF5 cannot store" % bad[0])
    write_name_list(group, "layer_names", order)
    group.attrs["backend"] = BACKEND.encode("utf-8")
    group.attrs["keras_version"] = KERAS_VERSION.encode("utf-8")
    for name in order:
        layer = group.create_group(name)
        weights = net.keras_weights(name)
        paths = [w if "/" in w else "%s/%s" % (name, w) for w, _ in weights]
        write_name_list(layer, "weight_names", paths)
        for path, (_, array) in zip(paths, weights):
            layer.create_dataset(path, data=np.asarray(array, dtype=np.float32))
    write_name_list(group.create_group("top_level_model_weights"), "weight_names", [])


def _json_text(value):
    return value if isinstance(value, str) else json.dumps(value)


def _write_notes(f, class_names, input_scaling):
    """Our own root attributes; Keras ignores them."""
    if class_names is not None:
        f.attrs[CLASS_NAMES_ATTR] = json.dumps([str(c) for c in class_names])
    if input_scaling is not None:
        if input_scaling not in INPUT_SCALINGS:
            raise ModelError("unknown input scaling %r" % (input_scaling,))
        f.attrs[INPUT_SCALING_ATTR] = input_scaling


def save_model(path, net, class_names, training_config=None, input_scaling=None):
    """Write net as a full Keras HDF5 model (loadable by tf.keras 2.x and Keras 3)."""
    doc = net.document
    model_config = {"class_name": doc.get("class_name", "Functional"), "config": doc["config"]}
    with atomic_path(path) as tmp:
        with h5py.File(tmp, "w") as f:
            f.attrs["keras_version"] = KERAS_VERSION
            f.attrs["backend"] = BACKEND
            f.attrs["model_config"] = json.dumps(model_config)
            if training_config is not None:
                f.attrs["training_config"] = _json_text(training_config)
            _write_notes(f, class_names, input_scaling)
            _write_layers(f.create_group("model_weights"), net)


def save_weights(path, net, class_names=None, input_scaling=None):
    """Write net's weights in the Keras weights-only layout (checkpoints), with the class
    names and input scaling when given, so a checkpoint is applied like the final model."""
    with atomic_path(path) as tmp:
        with h5py.File(tmp, "w") as f:
            _write_notes(f, class_names, input_scaling)
            _write_layers(f, net)


def _root_attr(path, name):
    """A root attribute of an HDF5 file; None when the file has none or is not HDF5."""
    try:
        with h5py.File(path, "r") as f:
            return f.attrs.get(name)
    except OSError:
        if not os.path.exists(path):
            raise ModelError("%s: no such file" % path)
        return None


def read_class_names(path):
    """The label texts stored by save_model, in output order; None when the file has none."""
    value = _root_attr(path, CLASS_NAMES_ATTR)
    if value is None:
        return None
    try:
        names = json.loads(decode_attr(value))
    except ValueError:
        return None
    if not isinstance(names, list) or not all(isinstance(n, str) for n in names):
        return None
    return names


def read_input_scaling(path):
    """The input scaling recorded by save_model or save_weights; None when the file has none
    (foreign files, a .keras archive) or an unknown one."""
    value = _root_attr(path, INPUT_SCALING_ATTR)
    if value is None:
        return None
    value = decode_attr(value).strip()
    return value if value in INPUT_SCALINGS else None
