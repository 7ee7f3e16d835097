"""Architecture out of SavedModel protobuf files, read with the hand-written wire-format reader."""
import json

import pytest

from kolvara_nn import savedmodel
from kolvara_nn.errors import ModelError


def varint(n):
    out = bytearray()
    while True:
        out.append(n & 0x7F | (0x80 if n > 0x7F else 0))
        n >>= 7
        if not n:
            return bytes(out)


def field(number, payload):
    """A length-delimited field (wire type 2)."""
    payload = payload.encode() if isinstance(payload, str) else payload
    return varint(number << 3 | 2) + varint(len(payload)) + payload


META = json.dumps({"keras_version": "2.4.0", "model_config": {
    "class_name": "Sequential", "config": {"name": "s", "layers": [
        {"class_name": "Flatten", "config": {"name": "flat", "batch_input_shape": [None, 2, 1]}}]}}})


def node(path, identifier, metadata):
    """One SavedObject of keras_metadata.pb (node_id is a varint field to skip)."""
    return field(1, varint(2 << 3) + varint(300) + field(3, path) + field(4, identifier)
                 + field(5, metadata))


def test_root_node_found_among_layer_nodes(tmp_path):
    pb = tmp_path / "keras_metadata.pb"
    pb.write_bytes(node("root.layer-0", "_tf_keras_layer", "{}")
                   + node("root", "_tf_keras_sequential", META))
    doc = savedmodel.read_keras_metadata(str(pb))
    assert doc["class_name"] == "Sequential" and doc["keras_version"] == "2.4.0"
    assert doc["config"]["layers"][0]["config"]["name"] == "flat"


@pytest.mark.parametrize("metadata, error", [(META, None), ("", "not saved by Keras")])
def test_pre_tf25_folder_reads_saved_model_pb(tmp_path, metadata, error):
    user = field(1, "_tf_keras_sequential") + field(3, metadata)
    objects = field(1, field(4, user)) + field(1, field(4, field(1, "_tf_keras_layer")))
    graph = field(1, b"meta info") + field(7, objects)
    (tmp_path / "saved_model.pb").write_bytes(varint(1 << 3) + varint(1) + field(2, graph))
    if error:
        with pytest.raises(ModelError, match=error):
            savedmodel.read_saved_model(str(tmp_path))
    else:
        assert savedmodel.read_saved_model(str(tmp_path))["config"]["name"] == "s"


@pytest.mark.parametrize("data, message", [
    (node("root", "_generic_user_object", "{}"), "not a Keras model"),
    (node("root", "_tf_keras_model", '{"class_name": "M", "config": {}}'), "subclassed"),
    (node("root", "_tf_keras_network", "{oops"), "not valid JSON"),
    (node("root", "_tf_keras_network", META)[:-7], "not a readable"),  # cut short
    (b"\x08" + b"\xff" * 11, "not a readable"),                        # endless varint
    (b"\x0b", "not a readable"),                                       # group wire type
    (b"\x00\x01", "not a readable"),                                   # field number 0
    (b"", "holds no Keras objects"),
])
def test_unusable_metadata_is_refused(tmp_path, data, message):
    pb = tmp_path / "keras_metadata.pb"
    pb.write_bytes(data)
    with pytest.raises(ModelError, match=message):
        savedmodel.read_keras_metadata(str(pb))
