"""The shipped architecture documents: shape, Keras applications facts, generator output."""
import importlib.util
import json

import pytest
import torch

from conftest import ROOT
from kolvara_nn.keras_json import normalize, problems
from kolvara_nn.network import build_network

RESOURCES = ROOT / "resources"
# file -> (model name, layer count, input size, output units, total and trainable parameters of keras.applications)
SHIPPED = {
    "resnet50.json": ("resnet50", 177, 224, 1000, 25636712, 25583592),
    "vgg16.json": ("vgg16", 23, 224, 1000, 138357544, 138357544),
    "vgg19.json": ("vgg19", 26, 224, 1000, 143667240, 143667240),
    "xception.json": ("xception", 134, 299, 1000, 22910480, 22855952),
    "custommodel.json": ("custommodel", 11, 32, 2, 590242, 590242),
}
EDITOR_CLASSES = {"ZeroPadding2D", "Conv2D", "BatchNormalization", "Activation", "MaxPooling2D", "Add",
                  "GlobalAveragePooling2D", "Dense", "Flatten"}


def load(name):
    return json.loads((RESOURCES / name).read_text(encoding="utf-8"))


def names(doc):
    return [r["name"] for r in doc["config"]["layers"]]


@pytest.mark.parametrize("file_name", sorted(SHIPPED) + ["layertemplates.json"])
def test_document_is_a_valid_keras_2_11_functional_model(file_name):
    doc = load(file_name)
    # The normalized form is the Keras 2.11 layout (test_keras_json); key order counts too.
    assert json.dumps(normalize(doc)) == json.dumps(doc) and problems(doc) == []
    assert (doc["keras_version"], doc["backend"]) == ("2.11.0", "tensorflow")
    first, last = doc["config"]["layers"][0], doc["config"]["layers"][-1]
    assert (first["name"], first["class_name"]) == ("input_1", "InputLayer")
    assert (doc["config"]["input_layers"], doc["config"]["output_layers"]) == ([["input_1", 0, 0]], [["predictions", 0, 0]])
    assert (last["name"], last["class_name"], last["config"]["activation"]) == ("predictions", "Dense", "softmax")


@pytest.mark.parametrize("file_name", sorted(SHIPPED))
def test_size_and_parameter_totals_match_keras_applications(file_name, monkeypatch):
    model, count, size, units, total, trainable = SHIPPED[file_name]
    doc = load(file_name)
    assert (doc["config"]["name"], len(doc["config"]["layers"])) == (model, count)
    assert doc["config"]["layers"][0]["config"]["batch_input_shape"] == [None, size, size, 3]
    # Only shapes matter here: skip drawing 138 million random numbers.
    monkeypatch.setattr("kolvara_nn.initializers._draw", lambda cls, cfg, shape, layout: torch.empty(layout))
    net = build_network(doc)
    got_trainable, got_non = net.param_counts()
    assert (got_trainable + got_non, got_trainable) == (total, trainable)
    assert net.output_shapes("predictions") == [(units,)]


def resnet50_order():
    """model.layers of keras.applications.ResNet50: shortcut conv before main 3rd conv, per block."""
    order = ["input_1", "conv1_pad", "conv1_conv", "conv1_bn", "conv1_relu", "pool1_pad", "pool1_pool"]
    for stage, blocks in ((2, 3), (3, 4), (4, 6), (5, 3)):
        for k in range(1, blocks + 1):
            p = f"conv{stage}_block{k}_"
            tail = ["0_conv", "3_conv", "0_bn", "3_bn"] if k == 1 else ["3_conv", "3_bn"]
            order += [p + s for s in ["1_conv", "1_bn", "1_relu", "2_conv", "2_bn", "2_relu"] + tail + ["add", "out"]]
    return order + ["avg_pool", "predictions"]


def test_resnet50_layers_and_connections():
    doc = load("resnet50.json")
    assert names(doc) == resnet50_order()
    by = {r["name"]: r["config"] for r in doc["config"]["layers"]}
    inbound = {r["name"]: [e[0] for e in r["inbound_nodes"][0]] for r in doc["config"]["layers"][1:]}
    assert (by["conv1_pad"]["padding"], by["conv1_conv"]["strides"]) == ([[3, 3], [3, 3]], [2, 2])
    for stage in (3, 4, 5):  # the first block of a stage strides in its 1x1 convolutions
        assert [by[f"conv{stage}_block1_{c}"]["strides"] for c in ("0_conv", "1_conv", "2_conv")] == [[2, 2], [2, 2], [1, 1]]
    assert (by["conv2_block1_1_conv"]["strides"], by["conv2_block1_2_conv"]["padding"]) == ([1, 1], "same")
    assert {c["epsilon"] for c in by.values() if "epsilon" in c} == {1.001e-05}
    assert inbound["conv2_block1_add"] == ["conv2_block1_0_bn", "conv2_block1_3_bn"]
    assert inbound["conv2_block2_add"] == ["conv2_block1_out", "conv2_block2_3_bn"]
    assert inbound["conv3_block1_0_conv"] == ["conv2_block3_out"]


def test_xception_connections():
    by = {r["name"]: r for r in load("xception.json")["config"]["layers"]}
    order, inbound = list(by), lambda n: [e[0] for e in by[n]["inbound_nodes"][0]]
    # Keras's model.layers order puts each shortcut conv after the main branch's last separable conv.
    assert order[10:16] == "block2_sepconv2 block2_sepconv2_bn conv2d block2_pool batch_normalization add".split()
    assert order[-12:-8] == "conv2d_3 block13_pool batch_normalization_3 add_11".split()
    assert inbound("add") == ["block2_pool", "batch_normalization"] and inbound("add_3") == ["block5_sepconv3_bn", "add_2"]
    assert inbound("conv2d_1") == ["add"] and inbound("block3_sepconv1_act") == ["add"]
    assert by["block2_pool"]["config"]["padding"] == "same"
    sep = [r for r in by.values() if r["class_name"] == "SeparableConv2D"]
    assert len(sep) == 34 and all(not r["config"]["use_bias"] for r in sep)


def test_layer_templates_cover_the_editor_classes():
    templates = {r["class_name"] for r in load("layertemplates.json")["config"]["layers"]}
    resnet = {r["class_name"] for r in load("resnet50.json")["config"]["layers"]}
    assert EDITOR_CLASSES <= templates and EDITOR_CLASSES - {"Flatten"} <= resnet


def test_generator_reproduces_the_committed_files(tmp_path):
    spec = importlib.util.spec_from_file_location("make_architectures", ROOT / "tools" / "make_architectures.py")
    tool = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(tool)
    assert tool.main([str(tmp_path)]) == 0
    made = sorted(p.name for p in tmp_path.iterdir())
    assert made == sorted(list(SHIPPED) + ["layertemplates.json"])
    for name in made:
        assert (tmp_path / name).read_bytes() == (RESOURCES / name).read_bytes(), name

