"""The third-party Keras files of the shared test data, and what each must give (figures from
the files' provenance notes; layer counts include the InputLayer the functional form adds)."""
import collections
import copy

import numpy as np
import torch

Arch = collections.namedtuple("Arch", "path mode layers input_shape units params")

ARCHITECTURES = [
    Arch("functional_mobilenet_vww96_2class_tf2.4.h5", "1", 85, [96, 96, 3], 2, 221794),
    Arch("functional_resnet_cifar10_tf2.4.h5", "1", 30, [32, 32, 3], 10, 78666),
    Arch("functional_two_inputs_two_outputs_concat_tf2.4.h5", "1", 7, [5], 1, 1207),
    Arch("savedmodel_sequential_cnn_mnist_tf2.11", "2", 6, [28, 28, 1], 10, 6190),
    Arch("sequential_cnn_augmentation_layers_keras3.5.keras", "0", 20, [28, 28, 1], 10, 94218),
    Arch("sequential_cnn_cifar10_tf2.13.h5", "1", 9, [32, 32, 3], 10, 315722),
    Arch("sequential_cnn_mnist_keras3.1.keras", "0", 8, [28, 28, 1], 10, 34826),
    Arch("sequential_cnn_mnist_keras3.1_legacy.h5", "1", 8, [28, 28, 1], 10, 34826),
    Arch("sequential_dense_head_keras2.0.8.h5", "1", 4, [1, 1, 2048], 21, 43029),
    # Companion architectures of the weights-only files (the loader decides by content).
    Arch("weights_only_cnn_mnist_keras2.1.2.model_struct.json", "2", 9, [1, 28, 28], 10, 746538),
    Arch("weights_only_cnn_mnist_tf2.13.companion_keras_metadata.pb", "2", 8, [28, 28, 1], 10, 597706),
]

# (weights file, file holding its architecture)
WEIGHTS = [(a.path, None) for a in ARCHITECTURES if a.path.endswith((".h5", ".keras"))] + [
    ("weights_only_cnn_mnist_keras2.1.2.h5", "weights_only_cnn_mnist_keras2.1.2.model_struct.json"),
    ("weights_only_cnn_mnist_tf2.13.h5", "weights_only_cnn_mnist_tf2.13.companion_keras_metadata.pb"),
]


def input_shapes(doc):
    """Per-input shapes (without batch) in the document's input_layers order."""
    layers = {layer["name"]: layer for layer in doc["config"]["layers"]}
    return [layers[ref[0]]["config"]["batch_input_shape"][1:]
            for ref in doc["config"]["input_layers"]]


def output_units(doc):
    layers = {layer["name"]: layer for layer in doc["config"]["layers"]}
    return layers[doc["config"]["output_layers"][0][0]]["config"].get("units")


def sample_inputs(doc, batch=2, seed=0):
    generator = torch.Generator().manual_seed(seed)
    return [torch.rand((batch, *shape), generator=generator) for shape in input_shapes(doc)]


def run(net, inputs):
    """Eval-mode outputs as a list of numpy arrays."""
    net.eval()
    with torch.no_grad():
        out = net(*inputs)
    outs = out if isinstance(out, (list, tuple)) else [out]
    return [o.numpy() for o in outs]


def assert_same_outputs(a, b):
    assert len(a) == len(b)
    for x, y in zip(a, b):
        np.testing.assert_array_equal(x, y)


def renamed(doc, prefix="x_"):
    """The same graph with every layer renamed, so only positions can match weights."""
    doc = copy.deepcopy(doc)
    config = doc["config"]
    for layer in config["layers"]:
        layer["name"] = layer["config"]["name"] = prefix + layer["name"]
        for node in layer["inbound_nodes"]:
            for ref in node:
                ref[0] = prefix + ref[0]
    for key in ("input_layers", "output_layers"):
        for ref in config[key]:
            ref[0] = prefix + ref[0]
    return doc
