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

ROUND_TRIP = [
    "functional_resnet_cifar10_tf2.4.h5",                 # Add, BatchNormalization
    "functional_mobilenet_vww96_2class_tf2.4.h5",         # DepthwiseConv2D
    "functional_two_inputs_two_outputs_concat_tf2.4.h5",  # two inputs, two outputs
    "sequential_cnn_cifar10_tf2.13.h5",
    "sequential_cnn_augmentation_layers_keras3.5.keras",
]


def loaded_network(testdata, name):
    path = str(testdata / "keras" / name)
    net = build_network(modelfiles.read_architecture(path, "1"))
    h5io.load_weights(net, path)
    return net


def text(value):
    return value.decode() if isinstance(value, bytes) else value


@pytest.mark.parametrize("name", ROUND_TRIP)
def test_saved_files_load_back_with_identical_outputs(testdata, tmp_path, name):
    net = loaded_network(testdata, name)
    inputs = sample_inputs(net.document)
    expected = run(net, inputs)

    model_path = tmp_path / "my_model.h5"
    h5io.save_model(str(model_path), net, ["a", "b"])
    doc = modelfiles.read_architecture(str(model_path), "1")
    again = build_network(doc)
    h5io.load_weights(again, str(model_path))
    assert_same_outputs(expected, run(again, inputs))

    weights_path = tmp_path / "e0001-0.5000-0.5000-weights.hdf5"
    h5io.save_weights(str(weights_path), net)
    fresh = build_network(net.document)
    h5io.load_weights(fresh, str(weights_path))
    assert_same_outputs(expected, run(fresh, inputs))
    assert sorted(os.listdir(tmp_path)) == sorted([model_path.name, weights_path.name])


def test_model_file_layout(testdata, tmp_path):
    net = loaded_network(testdata, "functional_resnet_cifar10_tf2.4.h5")
    path = tmp_path / "my_model.h5"
    h5io.save_model(str(path), net, ["cat", "dog"], {"loss": "categorical_crossentropy"})
    order = keras_json.keras_layer_order(net.document)
    with h5py.File(path, "r") as f:
        assert f.attrs["keras_version"] == "2.11.0" and f.attrs["backend"] == "tensorflow"
        config = json.loads(text(f.attrs["model_config"]))
        assert config == {"class_name": net.document["class_name"],
                          "config": net.document["config"]}
        assert json.loads(text(f.attrs["training_config"])) == {"loss": "categorical_crossentropy"}
        group = f["model_weights"]
        assert group.attrs["layer_names"].dtype.kind == "S"
        assert [n.decode() for n in group.attrs["layer_names"]] == order
        assert group.attrs["keras_version"] == b"2.11.0"
        assert group.attrs["backend"] == b"tensorflow"
        assert set(group) == set(order) | {"top_level_model_weights"}
        for name in order:
            weights = net.keras_weights(name)
            names = [n.decode() for n in group[name].attrs["weight_names"]]
            assert names == ["%s/%s" % (name, w) for w, _ in weights]
            for stored, (_, array) in zip(names, weights):
                dataset = group[name][stored]
                assert dataset.dtype == np.float32
                np.testing.assert_array_equal(dataset[()], array)
    assert h5io.read_class_names(str(path)) == ["cat", "dog"]


def test_saved_order_serves_positional_loading(testdata, tmp_path):
    """Keras loads legacy weights by position: the order written must be Keras's own."""
    net = loaded_network(testdata, "functional_resnet_cifar10_tf2.4.h5")
    path = tmp_path / "w.hdf5"
    h5io.save_weights(str(path), net)
    with h5py.File(path, "r") as f:
        assert h5io.read_name_list(f, "layer_names") == keras_json.keras_layer_order(net.document)
    other = build_network(renamed(net.document))
    h5io.load_weights(other, str(path))
    inputs = sample_inputs(net.document)
    assert_same_outputs(run(net, inputs), run(other, inputs))


def test_failed_save_keeps_the_earlier_file(testdata, tmp_path):
    net = loaded_network(testdata, "sequential_cnn_cifar10_tf2.13.h5")
    path = tmp_path / "my_model.h5"
    h5io.save_model(str(path), net, ["0", "1"])
    before = path.read_bytes()
    with pytest.raises(TypeError):
        h5io.save_model(str(path), net, ["x"], training_config={"loss": object()})
    assert path.read_bytes() == before
    assert os.listdir(tmp_path) == ["my_model.h5"]


@pytest.mark.parametrize("count, length, chunks", [
    (0, 0, 0), (3, 10, 0), (2000, 40, 2), (5000, 60, 5),
])
def test_long_name_lists_are_split_like_keras(tmp_path, count, length, chunks):
    names = [("layer%05d" % i).ljust(length, "x") for i in range(count)]
    with h5py.File(tmp_path / "n.h5", "w") as f:
        h5io.write_name_list(f, "layer_names", names)
    with h5py.File(tmp_path / "n.h5", "r") as f:
        assert h5io.read_name_list(f, "layer_names") == names
        split = sorted(k for k in f.attrs if k != "layer_names")
        assert split == ["layer_names%d" % i for i in range(chunks)]


def test_single_name_beyond_the_header_limit_is_refused(tmp_path):
    with h5py.File(tmp_path / "n.h5", "w") as f:
        with pytest.raises(ModelError, match="longer than"):
            h5io.write_name_list(f, "layer_names", ["a", "b" * 70000])


@pytest.mark.parametrize("name, expected", [
    ("sequential_cnn_cifar10_tf2.13.h5", None),
    ("sequential_cnn_mnist_keras3.1.keras", None),
])
def test_class_names_absent_from_foreign_files(testdata, name, expected):
    assert h5io.read_class_names(str(testdata / "keras" / name)) == expected


def test_class_names_of_a_missing_file(tmp_path):
    with pytest.raises(ModelError, match="no such file"):
        h5io.read_class_names(str(tmp_path / "none.h5"))
