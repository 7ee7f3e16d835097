"""Loading Keras weights (full-model HDF5, weights-only HDF5, .keras archives) onto networks."""
import io
import json
import shutil
import zipfile

import h5py
import numpy as np
import pytest

from kolvara_nn import h5io, keras_json, modelfiles
from kolvara_nn.errors import ModelError
from kolvara_nn.network import build_network
from realmodels import WEIGHTS, output_units, renamed, run, sample_inputs


def architecture(testdata, name):
    path = testdata / "keras" / name
    return modelfiles.read_architecture(str(path), "2" if path.is_dir() else "1")


def file_arrays(path, layer):
    """A layer's arrays straight from the file, in stored order."""
    if zipfile.is_zipfile(path):
        with zipfile.ZipFile(path) as archive:
            data = archive.read("model.weights.h5")
        with h5py.File(io.BytesIO(data), "r") as f:
            group = f["layers"][layer]["vars"]
            return [group[k][()] for k in sorted(group, key=int)]
    with h5py.File(path, "r") as f:
        root = f["model_weights"] if "model_weights" in f else f
        group = root[layer]
        names = [n.decode() if isinstance(n, bytes) else n for n in group.attrs["weight_names"]]
        return [group[n][()] for n in names]


def weights_of(net):
    return {name: [a.copy() for _, a in net.keras_weights(name)] for name in net.layer_names}


def assert_weights_equal(a, b):
    assert a.keys() == b.keys()
    for name in a:
        assert len(a[name]) == len(b[name]), name
        for x, y in zip(a[name], b[name]):
            np.testing.assert_array_equal(x, y, err_msg=name)


@pytest.mark.parametrize("weights, arch", WEIGHTS, ids=[w for w, _ in WEIGHTS])
def test_real_weights_load_exactly(testdata, weights, arch):
    doc = architecture(testdata, arch or weights)
    net = build_network(doc)
    path = testdata / "keras" / weights
    loaded = h5io.load_weights(net, str(path))
    assert loaded == [n for n in keras_json.keras_layer_order(doc) if net.keras_weights(n)]
    for name in loaded:
        expected = file_arrays(path, name)
        got = [a for _, a in net.keras_weights(name)]
        assert len(got) == len(expected)
        for g, e in zip(got, expected):
            np.testing.assert_array_equal(g, e, err_msg=name)
    units = output_units(doc)
    for out in run(net, sample_inputs(doc)):
        assert out.shape == (2, units) and np.isfinite(out).all()


@pytest.mark.parametrize("weights", ["sequential_cnn_cifar10_tf2.13.h5",
                                     "functional_resnet_cifar10_tf2.4.h5"])
def test_position_order_when_names_differ(testdata, weights):
    doc = architecture(testdata, weights)
    path = str(testdata / "keras" / weights)
    by_name, by_position = build_network(doc), build_network(renamed(doc))
    h5io.load_weights(by_name, path)
    loaded = h5io.load_weights(by_position, path)
    assert all(name.startswith("x_") for name in loaded)
    inputs = sample_inputs(doc)
    np.testing.assert_array_equal(run(by_name, inputs)[0], run(by_position, inputs)[0])


def test_keras3_paths_follow_class_names_not_layer_names(testdata, tmp_path):
    """Keras 3 stores layers under their class's snake-case name, whatever the layer is called."""
    source = testdata / "keras" / "sequential_cnn_mnist_keras3.1.keras"
    with zipfile.ZipFile(source) as archive:
        config = json.loads(archive.read("config.json"))
        members = {n: archive.read(n) for n in archive.namelist()}
    for index, layer in enumerate(config["config"]["layers"]):
        layer["config"]["name"] = "layer%d" % (9 - index)
    members["config.json"] = json.dumps(config).encode()
    target = tmp_path / "renamed.keras"
    with zipfile.ZipFile(target, "w") as archive:
        for name, data in members.items():
            archive.writestr(name, data)

    original = build_network(architecture(testdata, source.name))
    h5io.load_weights(original, str(source))
    doc = modelfiles.read_architecture(str(target), "0")
    net = build_network(doc)
    h5io.load_weights(net, str(target))
    inputs = sample_inputs(doc)
    np.testing.assert_array_equal(run(original, inputs)[0], run(net, inputs)[0])


@pytest.mark.parametrize("named_groups", [False, True], ids=["keras3.1", "keras3.6-names"])
def test_standalone_keras3_weights_file(testdata, tmp_path, named_groups):
    source = testdata / "keras" / "sequential_cnn_mnist_keras3.1.keras"
    target = tmp_path / "model.weights.h5"
    with zipfile.ZipFile(source) as archive:
        target.write_bytes(archive.read("model.weights.h5"))
    if named_groups:  # from Keras 3.6 the vars group names its layer; paths may then differ
        with h5py.File(target, "r+") as f:
            for path in list(f["layers"]):
                f["layers"].move(path, "renamed_" + path)
                f["layers"]["renamed_" + path]["vars"].attrs["name"] = path
    doc = architecture(testdata, source.name)
    reference, net = build_network(doc), build_network(doc)
    h5io.load_weights(reference, str(source))
    h5io.load_weights(net, str(target))
    assert_weights_equal(weights_of(reference), weights_of(net))


def test_skipped_layer_keeps_its_weights(testdata):
    doc = architecture(testdata, "sequential_cnn_cifar10_tf2.13.h5")
    net = build_network(doc)
    before = weights_of(net)["dense_1"]
    loaded = h5io.load_weights(net, str(testdata / "keras" / "sequential_cnn_cifar10_tf2.13.h5"),
                               skip={"dense_1"})
    assert loaded == ["conv2d", "conv2d_1", "dense"]
    assert_weights_equal({"d": before}, {"d": weights_of(net)["dense_1"]})


def test_resized_output_layer_loads_the_rest(testdata):
    path = str(testdata / "keras" / "functional_resnet_cifar10_tf2.4.h5")
    doc, changed = keras_json.resize_output(architecture(testdata, path), 2)
    assert changed
    net = build_network(doc)
    with pytest.raises(ModelError, match="'dense'.*shape"):
        h5io.load_weights(net, path)
    assert "dense" not in h5io.load_weights(net, path, skip={"dense"})
    assert run(net, sample_inputs(doc))[0].shape == (2, 2)


@pytest.mark.parametrize("weights, message", [
    ("weights_only_cnn_mnist_tf2.13.h5", r"layer 'conv2d': weight 'kernel:0' has shape"),
    ("sequential_dense_head_keras2.0.8.h5", "file has 1 layers with weights where the model has 4"),
])
def test_mismatching_weights_leave_the_network_unchanged(testdata, weights, message):
    net = build_network(architecture(testdata, "sequential_cnn_cifar10_tf2.13.h5"))
    before = weights_of(net)
    with pytest.raises(ModelError, match=message):
        h5io.load_weights(net, str(testdata / "keras" / weights))
    assert_weights_equal(before, weights_of(net))


def bad_weights_file(tmp_path, case, testdata):
    path = tmp_path / "w.h5"
    if case == "missing":
        return tmp_path / "missing.h5"
    if case == "not hdf5":
        path.write_bytes(b"\0" * 64)
    elif case == "no weights":
        with h5py.File(path, "w") as f:
            f.attrs["keras_version"] = "2.11.0"
    elif case == "listed layer without group":
        with h5py.File(path, "w") as f:
            h5io.write_name_list(f, "layer_names", ["conv2d"])
    elif case == "keras without weights":
        path = tmp_path / "w.keras"
        with zipfile.ZipFile(path, "w") as z:
            z.writestr("config.json", "{}")
    elif case == "truncated":
        data = (testdata / "keras" / "sequential_cnn_cifar10_tf2.13.h5").read_bytes()
        path.write_bytes(data[: len(data) // 2])
    return path


@pytest.mark.parametrize("case, message", [
    ("missing", "no such weights file"),
    ("not hdf5", "not a Keras weights file"),
    ("no weights", "no Keras weights"),
    ("listed layer without group", "layer 'conv2d' is listed but has no weights group"),
    ("keras without weights", "without model.weights.h5"),
    ("truncated", "w.h5"),
])
def test_unusable_weights_files_are_refused(testdata, tmp_path, case, message):
    net = build_network(architecture(testdata, "sequential_cnn_cifar10_tf2.13.h5"))
    with pytest.raises(ModelError, match=message):
        h5io.load_weights(net, str(bad_weights_file(tmp_path, case, testdata)))


def test_full_model_in_a_folder_copy_loads_as_weights(testdata, tmp_path):
    """A full-model file works as a weights file (the trainer's starting weights)."""
    path = tmp_path / "start.hdf5"
    shutil.copyfile(testdata / "keras" / "sequential_cnn_cifar10_tf2.13.h5", path)
    net = build_network(architecture(testdata, "sequential_cnn_cifar10_tf2.13.h5"))
    assert len(h5io.load_weights(net, str(path))) == 4
