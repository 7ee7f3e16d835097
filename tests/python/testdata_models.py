"""Test-side readers for the architectures and weights held by the real files in testdata/keras.

Deliberately minimal and separate from the workers' own file readers, so the network
builder is checked against the files themselves.
"""
import io
import json
import zipfile

import h5py


def _varint(buf, pos):
    value = shift = 0
    while True:
        b = buf[pos]
        pos += 1
        value |= (b & 0x7F) << shift
        shift += 7
        if b < 0x80:
            return value, pos


def _fields(buf):
    """(field number, wire type, value) of a protobuf message; value is bytes for type 2."""
    pos = 0
    while pos < len(buf):
        key, pos = _varint(buf, pos)
        number, wire = key >> 3, key & 7
        if wire == 0:
            value, pos = _varint(buf, pos)
        elif wire == 1:
            value, pos = buf[pos:pos + 8], pos + 8
        elif wire == 5:
            value, pos = buf[pos:pos + 4], pos + 4
        elif wire == 2:
            size, pos = _varint(buf, pos)
            value, pos = buf[pos:pos + size], pos + size
        else:
            raise ValueError(f"unexpected wire type {wire}")
        yield number, wire, value


def keras_metadata_root(path):
    """The root node's metadata JSON of a keras_metadata.pb file."""
    data = open(path, "rb").read()
    for number, _, node in _fields(data):
        if number != 1:
            continue
        fields = {n: v for n, _, v in _fields(node)}
        if fields.get(3) == b"root":
            return json.loads(fields[5])
    raise ValueError(f"{path}: no root node")


def architectures(folder):
    """{file name: architecture document} for every testdata file that holds one."""
    docs = {}
    for path in sorted(folder.glob("*.h5")):
        with h5py.File(path, "r") as f:
            config = f.attrs.get("model_config")
        if config is not None:
            docs[path.name] = json.loads(config.decode() if isinstance(config, bytes) else config)
    for path in sorted(folder.glob("*.keras")):
        with zipfile.ZipFile(path) as z:
            docs[path.name] = json.loads(z.read("config.json"))
    for path in sorted(folder.glob("*.json")):
        docs[path.name] = json.loads(path.read_text())
    for path in sorted(folder.glob("*keras_metadata.pb")) + sorted(folder.glob("*/keras_metadata.pb")):
        docs[str(path.relative_to(folder))] = keras_metadata_root(path)
    return docs


def _names(attr):
    return [n.decode() if isinstance(n, bytes) else str(n) for n in attr]


def h5_layer_weights(path):
    """{layer name: [arrays in weight_names order]} of a legacy Keras HDF5 file."""
    with h5py.File(path, "r") as f:
        group = f["model_weights"] if "model_weights" in f else f
        out = {}
        for layer in _names(group.attrs["layer_names"]):
            names = _names(group[layer].attrs["weight_names"])
            if names:
                out[layer] = [group[layer][n][()] for n in names]
        return out


def keras_zip_weights(path):
    """[arrays of one layer] in the order of the layers with weights in a Keras 3 .keras file."""
    with zipfile.ZipFile(path) as z:
        data = z.read("model.weights.h5")
    with h5py.File(io.BytesIO(data), "r") as f:
        groups = f["layers"]
        return {key: [groups[key]["vars"][str(i)][()] for i in range(len(groups[key]["vars"]))]
                for key in groups if len(groups[key]["vars"])}
