"""Writing Keras HDF5 models and weights files, and reading them back."""
import json
import os

import h5py
import numpy as np
import pytest

from kolvara_nn import h5io, keras_json, modelfiles
from kolvara_nn.errors import ModelError
from kolvara_nn.network import build_network
from realmodels import assert_same_outputs, renamed, run, sample_inputs


def loaded_network(path, mode="1"):
    net = build_network(modelfiles.read_architecture(str(path), mode))
    h5io.load_weights(net, str(path))
    return net


def text(value):
    return value.decode() if isinstance(value, bytes) else value


@pytest.mark.parametrize("name", [
    "functional_resnet_cifar10_tf2.4.h5",                 # Add, BatchNormalization
    "functional_mobilenet_vww96_2class_tf2.4.h5",         # DepthwiseConv2D
    "functional_two_inputs_two_outputs_concat_tf2.4.h5",  # two inputs, two outputs
    "sequential_cnn_augmentation_layers_keras3.5.keras",  # Rescaling, random layers
])
def test_saved_files_load_back_with_identical_outputs(testdata, tmp_path, name):
    net = loaded_network(testdata / "keras" / name)
    inputs = sample_inputs(net.document)
    expected = run(net, inputs)
    model_path = tmp_path / "my_model.h5"
    h5io.save_model(str(model_path), net, ["a", "b"])
    assert_same_outputs(expected, run(loaded_network(model_path), inputs))
    # Keras loads weights files by position: renamed layers prove the order written is Keras's.
    weights_path = tmp_path / "e0001-0.5000-0.5000-weights.hdf5"
    h5io.save_weights(str(weights_path), net)
    other = build_network(renamed(net.document))
    h5io.load_weights(other, str(weights_path))
    assert_same_outputs(expected, run(other, inputs))
    assert sorted(os.listdir(tmp_path)) == sorted([model_path.name, weights_path.name])


def test_model_file_layout_and_failed_save(testdata, tmp_path):
    source = testdata / "keras" / "functional_resnet_cifar10_tf2.4.h5"
    # The graph editor reorders layer records; files must still list layers in Keras's order.
    doc = modelfiles.read_architecture(str(source), "1")
    doc["config"]["layers"].reverse()
    net = build_network(doc)
    h5io.load_weights(net, str(source))
    path = tmp_path / "my_model.h5"
    h5io.save_model(str(path), net, ["cat", "dog"], {"loss": "categorical_crossentropy"})
    order = keras_json.keras_layer_order(net.document)
    with h5py.File(path, "r") as f:
        assert (f.attrs["keras_version"], f.attrs["backend"]) == ("2.11.0", "tensorflow")
        assert json.loads(text(f.attrs["model_config"])) == {"class_name": "Functional", "config": net.document["config"]}
        assert json.loads(text(f.attrs["training_config"]))["loss"] == "categorical_crossentropy"
        group = f["model_weights"]
        assert group.attrs["layer_names"].dtype.kind == "S" and text(group.attrs["keras_version"]) == "2.11.0"
        assert h5io.read_name_list(group, "layer_names") == order
        assert set(group) == set(order) | {"top_level_model_weights"}
        for name in order:
            weights = net.keras_weights(name)
            names = h5io.read_name_list(group[name], "weight_names")
            assert names == ["%s/%s" % (name, w) for w, _ in weights]
            for stored, (_, array) in zip(names, weights):
                assert group[name][stored].dtype == np.float32
                np.testing.assert_array_equal(group[name][stored][()], array)
    assert h5io.read_class_names(str(path)) == ["cat", "dog"]
    # A save that fails part way keeps the earlier file and leaves nothing behind.
    before = path.read_bytes()
    with pytest.raises(TypeError):
        h5io.save_model(str(path), net, ["x"], training_config={"loss": object()})
    assert path.read_bytes() == before and os.listdir(tmp_path) == ["my_model.h5"]
    # That files Keras wrote carry no class names is seen through loadmodel --info in test_loadmodel.
    with pytest.raises(ModelError, match="no such file"):
        h5io.read_class_names(str(tmp_path / "none.h5"))


def test_large_model_splits_layer_names_like_keras(tmp_path):
    # Input plus 1100 Activation layers with 64-character names: a config beyond 64 KiB.
    names = ["input_1"] + [("activation_%04d_" % i).ljust(64, "x") for i in range(1100)]
    layers = [{"class_name": "InputLayer", "name": "input_1", "inbound_nodes": [],
               "config": {"batch_input_shape": [None, 3], "name": "input_1"}}]
    layers += [{"class_name": "Activation", "name": name, "inbound_nodes": [[[prev, 0, 0, {}]]],
                "config": {"name": name, "activation": "linear"}} for prev, name in zip(names, names[1:])]
    net = build_network({"class_name": "Functional", "config": {
        "name": "chain", "layers": layers, "input_layers": [["input_1", 0, 0]], "output_layers": [[names[-1], 0, 0]]}})
    path = tmp_path / "big.h5"
    h5io.save_model(str(path), net, ["a"])
    with h5py.File(path, "r") as f:
        assert len(f.attrs["model_config"]) > 65536
        group = f["model_weights"]
        assert sorted(k for k in group.attrs if k.startswith("layer_names")) == ["layer_names0", "layer_names1"]
        assert h5io.read_name_list(group, "layer_names") == net.layer_names
    doc = modelfiles.read_architecture(str(path), "1")
    assert len(doc["config"]["layers"]) == 1101
    assert h5io.load_weights(build_network(doc), str(path)) == []
    with h5py.File(tmp_path / "n.h5", "w") as f, pytest.raises(ModelError, match="longer than"):
        h5io.write_name_list(f, "layer_names", ["a", "b" * 70000])
