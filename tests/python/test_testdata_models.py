"""Every architecture in the real third-party files builds, runs, and fits the files' weights."""
import re

import numpy as np
import pytest
import torch

import testdata_models as td
from kolvara_nn.keras_json import keras_layer_order, normalize, problems
from kolvara_nn.network import build_network, zero_inputs

# file -> (input shape, output shapes, total weight values); facts from the files' own configs.
EXPECTED = {
    "functional_mobilenet_vww96_2class_tf2.4.h5": ((96, 96, 3), [(2,)], 221794),
    "functional_resnet_cifar10_tf2.4.h5": ((32, 32, 3), [(10,)], 78666),
    "functional_two_inputs_two_outputs_concat_tf2.4.h5": ((5,), [(1,), (1,)], 1207),
    "sequential_cnn_cifar10_tf2.13.h5": ((32, 32, 3), [(10,)], 315722),
    "sequential_cnn_mnist_keras3.1_legacy.h5": ((28, 28, 1), [(10,)], 34826),
    "sequential_dense_head_keras2.0.8.h5": ((1, 1, 2048), [(21,)], 43029),
    "sequential_cnn_augmentation_layers_keras3.5.keras": ((28, 28, 1), [(10,)], 94218),
    "sequential_cnn_mnist_keras3.1.keras": ((28, 28, 1), [(10,)], 34826),
    "weights_only_cnn_mnist_keras2.1.2.model_struct.json": ((1, 28, 28), [(10,)], 746538),
    "savedmodel_sequential_cnn_mnist_tf2.11/keras_metadata.pb": ((28, 28, 1), [(10,)], 5 * 5 * 1 * 5 + 5 + 11 * 11 * 5 * 10 + 10),
    "weights_only_cnn_mnist_tf2.13.companion_keras_metadata.pb": ((28, 28, 1), [(10,)], 1 * 9 * 16 + 16 + 4 * 16 * 32 + 32 + 1152 * 512 + 512 + 5130),
}


@pytest.fixture(scope="module")
def docs(testdata):
    return td.architectures(testdata / "keras")


def test_every_architecture_file_is_covered(docs):
    assert sorted(docs) == sorted(EXPECTED)


@pytest.mark.parametrize("name", sorted(EXPECTED))
def test_architecture_builds_and_runs(docs, name, testdata):
    if name not in docs:
        pytest.skip(f"{name} not in the test data")
    shape, outputs, total = EXPECTED[name]
    doc = docs[name]
    assert problems(doc) == []
    net = build_network(doc).eval()
    assert net.input_shape == shape
    assert sum(net.param_counts()) == total
    xs = [torch.rand((2,) + tuple(d or 1 for d in x.shape[1:])) for x in zero_inputs(net)]
    with torch.no_grad():
        out = net(*xs)
    out = out if isinstance(out, list) else [out]
    assert [tuple(o.shape[1:]) for o in out] == outputs
    assert all(torch.isfinite(o).all() for o in out)


@pytest.mark.parametrize("name", [n for n in sorted(EXPECTED) if n.startswith("functional")])
def test_keras_written_functional_files_keep_their_layer_order(docs, name):
    """Keras wrote these layer lists in its own model.layers order; we must compute the same."""
    doc = normalize(docs[name])
    assert keras_layer_order(doc) == [r["name"] for r in doc["config"]["layers"]]


def _load_h5(net, path):
    weights = td.h5_layer_weights(path)
    for name in net.layer_names:
        mine = net.keras_weights(name)
        theirs = weights.pop(name, [])
        assert [w.shape for _, w in mine] == [a.shape for a in theirs], name
        if theirs:
            net.set_keras_weights(name, theirs)
    assert not weights, f"file layers without a match: {sorted(weights)}"


@pytest.mark.parametrize("name", [n for n in sorted(EXPECTED) if n.endswith(".h5")])
def test_weights_in_the_file_fit_the_built_layers(docs, testdata, name):
    net = build_network(docs[name]).eval()
    _load_h5(net, testdata / "keras" / name)
    xs = [torch.rand((1,) + x.shape[1:]) for x in zero_inputs(net)]
    with torch.no_grad():
        out = net(*xs)
    for o in out if isinstance(out, list) else [out]:
        assert torch.isfinite(o).all()


def test_weights_only_file_fits_its_struct_json(docs, testdata):
    """channels_first first conv, then channels_last: the odd 26-channel kernel must fit."""
    net = build_network(docs["weights_only_cnn_mnist_keras2.1.2.model_struct.json"])
    _load_h5(net, testdata / "keras" / "weights_only_cnn_mnist_keras2.1.2.h5")
    assert net.keras_weights("conv2d_2")[0][1].shape == (3, 3, 26, 32)


def _snake(cls):
    s = re.sub(r"(.)([A-Z][a-z]+)", r"\1_\2", cls)
    return re.sub(r"([a-z])([A-Z])", r"\1_\2", s).lower()


@pytest.mark.parametrize("name", [n for n in sorted(EXPECTED) if n.endswith(".keras")])
def test_keras3_zip_weights_fit_the_built_layers(docs, testdata, name):
    net = build_network(docs[name])
    weights = td.keras_zip_weights(testdata / "keras" / name)
    seen = {}
    for rec in net.document["config"]["layers"][1:]:
        base = _snake(rec["class_name"])
        key = base if base not in seen else f"{base}_{seen[base]}"
        seen[base] = seen.get(base, 0) + 1
        theirs = weights.pop(key, [])
        assert [w.shape for _, w in net.keras_weights(rec["name"])] == [a.shape for a in theirs], rec["name"]
        if theirs:
            net.set_keras_weights(rec["name"], theirs)
    assert not weights


def test_mobilenet_with_its_trained_weights_is_deterministic(docs, testdata):
    name = "functional_mobilenet_vww96_2class_tf2.4.h5"
    net = build_network(docs[name]).eval()
    _load_h5(net, testdata / "keras" / name)
    x = torch.rand(3, 96, 96, 3)
    with torch.no_grad():
        a, b = net(x), net(x.clone())
    np.testing.assert_array_equal(a.numpy(), b.numpy())
    np.testing.assert_allclose(a.sum(dim=1).numpy(), np.ones(3), atol=1e-5)
