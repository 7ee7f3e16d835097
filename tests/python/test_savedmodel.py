"""Architecture out of SavedModel protobuf files, read with the hand-written wire-format reader."""
import json

import pytest

from kolvara_nn import savedmodel
from kolvara_nn.errors import ModelError


def varint(n):
    out = bytearray()
    while True:
        byte, n = n & 0x7F, n >> 7
        out.append(byte | (0x80 if n else 0))
        if not n:
            return bytes(out)


def field(number, payload):
    """A length-delimited field (wire type 2)."""
    if isinstance(payload, str):
        payload = payload.encode("utf-8")
    return varint(number << 3 | 2) + varint(len(payload)) + payload


def int_field(number, value):
    return varint(number << 3) + varint(value)


MODEL_META = {
    "class_name": "Sequential", "keras_version": "2.4.0", "backend": "tensorflow",
    "model_config": {"class_name": "Sequential", "config": {"name": "s", "layers": [
        {"class_name": "InputLayer", "config": {"batch_input_shape": [None, 4, 4, 1],
                                                "name": "in"}},
        {"class_name": "Flatten", "config": {"name": "flat"}}]}},
}


def keras_metadata(*nodes):
    """SavedMetadata with (node_id, path, identifier, metadata) nodes, plus a version field."""
    body = b""
    for node_id, path, identifier, metadata in nodes:
        inner = (int_field(2, node_id) + field(3, path) + field(4, identifier)
                 + field(5, metadata) + field(6, int_field(1, 1)))
        body += field(1, inner)
    return body


@pytest.mark.parametrize("data, expected", [
    (int_field(1, 0), [(1, 0, 0)]),
    (int_field(2, 300), [(2, 0, 300)]),
    (varint(3 << 3 | 1) + b"\x01" * 8 + varint(4 << 3 | 5) + b"\x02" * 4,
     [(3, 1, b"\x01" * 8), (4, 5, b"\x02" * 4)]),
    (field(5, "abc"), [(5, 2, b"abc")]),
    (b"", []),
])
def test_wire_format_fields(data, expected):
    got = [(f, w, v if isinstance(v, int) else bytes(v))
           for f, w, v in savedmodel.iter_fields(data)]
    assert got == expected


@pytest.mark.parametrize("data", [
    b"\x0a\x05ab",             # length beyond the end
    b"\x08",                   # key without its varint
    b"\x0b",                   # wire type 3 (groups) is not used by these messages
    b"\x08" + b"\xff" * 11,    # endless varint
    b"\x00\x01",               # field number 0
])
def test_malformed_messages_are_refused(data):
    with pytest.raises(ValueError):
        list(savedmodel.iter_fields(data))


def test_root_node_found_among_layer_nodes(tmp_path):
    pb = tmp_path / "keras_metadata.pb"
    pb.write_bytes(keras_metadata(
        (1, "root.layer-0", "_tf_keras_layer", json.dumps({"class_name": "Flatten"})),
        (0, "root", "_tf_keras_sequential", json.dumps(MODEL_META))))
    doc = savedmodel.read_keras_metadata(str(pb))
    assert doc["class_name"] == "Sequential"
    assert doc["config"] == MODEL_META["model_config"]["config"]
    assert doc["keras_version"] == "2.4.0"


def test_pre_tf25_folder_reads_saved_model_pb(tmp_path):
    user_object = field(1, "_tf_keras_sequential") + field(3, json.dumps(MODEL_META))
    objects = field(1, field(4, user_object)) + field(1, field(4, field(1, "_tf_keras_layer")))
    meta_graph = field(1, b"meta info") + field(7, objects)
    (tmp_path / "saved_model.pb").write_bytes(int_field(1, 1) + field(2, meta_graph))
    doc = savedmodel.read_saved_model(str(tmp_path))
    assert [l["config"]["name"] for l in doc["config"]["layers"]] == ["in", "flat"]


@pytest.mark.parametrize("identifier, metadata, message", [
    ("_generic_user_object", "{}", "not a Keras model"),
    ("_tf_keras_model", json.dumps({"class_name": "MyModel", "config": {}}), "subclassed"),
    ("_tf_keras_network", "{not json", "not valid JSON"),
])
def test_metadata_without_architecture_is_refused(tmp_path, identifier, metadata, message):
    pb = tmp_path / "keras_metadata.pb"
    pb.write_bytes(keras_metadata((0, "root", identifier, metadata)))
    with pytest.raises(ModelError, match=message):
        savedmodel.read_keras_metadata(str(pb))


def test_saved_model_without_keras_metadata_is_refused(tmp_path):
    objects = field(1, field(4, field(1, "_generic_user_object")))
    (tmp_path / "saved_model.pb").write_bytes(field(2, field(7, objects)))
    with pytest.raises(ModelError, match="not saved by Keras"):
        savedmodel.read_saved_model(str(tmp_path))


def test_damaged_metadata_file_is_refused(tmp_path):
    pb = tmp_path / "keras_metadata.pb"
    pb.write_bytes(keras_metadata((0, "root", "_tf_keras_network", "{}"))[:-7])
    with pytest.raises(ModelError, match="not a readable keras_metadata.pb"):
        savedmodel.read_keras_metadata(str(pb))


@pytest.mark.parametrize("name, layers, first_shape", [
    ("savedmodel_sequential_cnn_mnist_tf2.11/keras_metadata.pb", 6, [None, 28, 28, 1]),
    ("weights_only_cnn_mnist_tf2.13.companion_keras_metadata.pb", 8, [None, 28, 28, 1]),
])
def test_real_metadata_files(testdata, name, layers, first_shape):
    doc = savedmodel.read_keras_metadata(str(testdata / "keras" / name))
    assert doc["class_name"] == "Sequential"
    assert doc["keras_version"].startswith("2.1")
    assert len(doc["config"]["layers"]) == layers
    shape = doc["config"]["layers"][0]["config"]["batch_input_shape"]
    assert shape == {"class_name": "__tuple__", "items": first_shape}
