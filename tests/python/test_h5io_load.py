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
from realmodels import WEIGHTS, assert_same_outputs, output_units, run, sample_inputs

CIFAR, MNIST3 = "sequential_cnn_cifar10_tf2.13.h5", "sequential_cnn_mnist_keras3.1.keras"
RESNET = "functional_resnet_cifar10_tf2.4.h5"


def network(testdata, name):
    return build_network(modelfiles.read_architecture(str(testdata / "keras" / name), "2"))


def file_arrays(path, layer):
    """A layer's arrays straight from the file, in stored order."""
    if zipfile.is_zipfile(path):
        with zipfile.ZipFile(path) as archive:
            with h5py.File(io.BytesIO(archive.read("model.weights.h5")), "r") as f:
                group = f["layers"][layer]["vars"]
                return [group[k][()] for k in sorted(group, key=int)]
    with h5py.File(path, "r") as f:
        group = (f["model_weights"] if "model_weights" in f else f)[layer]
        return [group[n][()] for n in h5io.read_name_list(group, "weight_names")]


def weights_of(net):
    return [a.copy() for name in net.layer_names for _, a in net.keras_weights(name)]


@pytest.mark.parametrize("weights, arch", WEIGHTS, ids=[w for w, _ in WEIGHTS])
def test_real_weights_load_exactly(testdata, weights, arch):
    net = network(testdata, arch or weights)
    path = testdata / "keras" / weights
    loaded = h5io.load_weights(net, str(path))
    assert loaded == [n for n in keras_json.keras_layer_order(net.document) if net.keras_weights(n)]
    for name in loaded:
        assert_same_outputs([a for _, a in net.keras_weights(name)], file_arrays(path, name))
    units = output_units(net.document)
    assert all(o.shape == (2, units) and np.isfinite(o).all() for o in run(net, sample_inputs(net.document)))


def test_a_layers_weights_are_matched_by_name_in_any_stored_order(testdata, tmp_path):
    """Other writers may list a layer's arrays in another order: each goes to the weight it names."""
    source, shuffled = testdata / "keras" / RESNET, tmp_path / "shuffled.h5"
    shutil.copyfile(source, shuffled)
    with h5py.File(shuffled, "r+") as f:
        group = f["model_weights"]["batch_normalization"]
        h5io.write_name_list(group, "weight_names", h5io.read_name_list(group, "weight_names")[::-1])
    reference, net = network(testdata, RESNET), network(testdata, RESNET)
    h5io.load_weights(reference, str(source))
    h5io.load_weights(net, str(shuffled))
    assert_same_outputs(weights_of(reference), weights_of(net))


def _keras3_variant(tmp, source, case):
    """(architecture, weights) of the Keras 3 file changed as `case` says."""
    if case == "renamed layers":  # weight paths follow class names, not layer names
        with zipfile.ZipFile(source) as archive:
            members = {n: archive.read(n) for n in archive.namelist()}
        config = json.loads(members["config.json"])
        for index, layer in enumerate(config["config"]["layers"]):
            layer["config"]["name"] = "layer%d" % (9 - index)
        members["config.json"] = json.dumps(config)
        with zipfile.ZipFile(tmp / "r.keras", "w") as archive:
            for name, data in members.items():
                archive.writestr(name, data)
        return tmp / "r.keras", tmp / "r.keras"
    target = tmp / "model.weights.h5"
    with zipfile.ZipFile(source) as archive:
        target.write_bytes(archive.read("model.weights.h5"))
    if case == "keras3.6 named groups":  # from Keras 3.6 the vars group names its layer
        with h5py.File(target, "r+") as f:
            for path in list(f["layers"]):
                f["layers"].move(path, "moved_" + path)
                f["layers"]["moved_" + path]["vars"].attrs["name"] = path
    return source, target


@pytest.mark.parametrize("case", ["renamed layers", "standalone weights", "keras3.6 named groups"])
def test_keras3_weights_variants(testdata, tmp_path, case):
    arch, weights = _keras3_variant(tmp_path, testdata / "keras" / MNIST3, case)
    reference, net = network(testdata, MNIST3), build_network(modelfiles.read_architecture(str(arch), "0"))
    h5io.load_weights(reference, str(testdata / "keras" / MNIST3))
    h5io.load_weights(net, str(weights))
    assert_same_outputs(weights_of(reference), weights_of(net))


def test_resized_output_is_skipped_and_keeps_its_weights(testdata):
    path = str(testdata / "keras" / RESNET)
    doc, changed = keras_json.resize_output(modelfiles.read_architecture(path, "1"), 2)
    net = build_network(doc)
    before = [a.copy() for _, a in net.keras_weights("dense")]
    with pytest.raises(ModelError, match="layer 'dense': weight 'kernel:0' has shape"):
        h5io.load_weights(net, path)
    loaded = h5io.load_weights(net, path, skip={"dense"})
    assert changed and "dense" not in loaded and len(loaded) == 16
    assert_same_outputs(before, [a for _, a in net.keras_weights("dense")])


def _one_layer_file(path, link_to=None):
    """Legacy layout listing layer conv2d; its kernel missing, or linked to another file."""
    with h5py.File(path, "w") as f:
        h5io.write_name_list(f, "layer_names", ["conv2d"])
        if link_to:
            layer = f.create_group("conv2d")
            h5io.write_name_list(layer, "weight_names", ["conv2d/kernel:0"])
            with h5py.File(link_to, "w") as other:
                other["data"] = np.zeros((3, 3, 3, 32), np.float32)
            layer["conv2d/kernel:0"] = h5py.ExternalLink(str(link_to), "/data")
    return path


def _write(path, data):
    path.write_bytes(data)
    return path


BAD_FILES = [  # (make(tmp, keras folder) -> path, message)
    (lambda t, k: k / "weights_only_cnn_mnist_tf2.13.h5", "layer 'conv2d': weight 'kernel:0' has shape"),
    (lambda t, k: k / "sequential_dense_head_keras2.0.8.h5", "file has 1 layers with weights where the model has 4"),
    (lambda t, k: t / "missing.h5", "no such weights file"),
    (lambda t, k: _write(t / "w.h5", b"\0" * 64), "not a Keras weights file"),
    (lambda t, k: _write(t / "w.h5", (k / CIFAR).read_bytes()[:100000]), "w.h5"),
    (lambda t, k: k / "savedmodel_sequential_cnn_mnist_tf2.11", "is a folder"),
    (lambda t, k: _one_layer_file(t / "w.h5"), "'conv2d' is listed but has no weights group"),
    (lambda t, k: _one_layer_file(t / "w.h5", t / "other.h5"), "links to another file"),
]


@pytest.mark.parametrize("make, message", BAD_FILES)
def test_unusable_weights_files_are_refused_leaving_the_network_unchanged(testdata, tmp_path, make, message):
    net = network(testdata, CIFAR)
    before = weights_of(net)
    with pytest.raises(ModelError, match=message):
        h5io.load_weights(net, str(make(tmp_path, testdata / "keras")))
    assert_same_outputs(before, weights_of(net))


def test_full_model_under_another_name_loads_as_weights(testdata, tmp_path):
    """The trainer starts from full models too; tf.keras 2.11 wrote HDF5 under .keras names."""
    shutil.copyfile(testdata / "keras" / CIFAR, tmp_path / "tf211.keras")
    assert len(h5io.load_weights(network(testdata, CIFAR), str(tmp_path / "tf211.keras"))) == 4
