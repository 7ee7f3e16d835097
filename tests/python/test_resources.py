"""The shipped architecture documents: shape, Keras applications facts, generator output."""
import importlib.util
import json

import pytest
import torch

from conftest import ROOT
from kolvara_nn.keras_json import problems
from kolvara_nn.network import build_network

RESOURCES = ROOT / "resources"

# file -> (model name, layer count, input size, output units)
SHIPPED = {
    "resnet50.json": ("resnet50", 177, 224, 1000),
    "vgg16.json": ("vgg16", 23, 224, 1000),
    "vgg19.json": ("vgg19", 26, 224, 1000),
    "xception.json": ("xception", 134, 299, 1000),
    "custommodel.json": ("custommodel", 15, 64, 2),
}
EDITOR_CLASSES = ["ZeroPadding2D", "Conv2D", "BatchNormalization", "Activation", "MaxPooling2D", "Add",
                  "GlobalAveragePooling2D", "Dense", "Flatten"]


def load(name):
    return json.loads((RESOURCES / name).read_text(encoding="utf-8"))


def names(doc):
    return [r["name"] for r in doc["config"]["layers"]]


@pytest.mark.parametrize("file_name", sorted(SHIPPED) + ["layertemplates.json"])
def test_document_is_a_valid_keras_2_11_functional_model(file_name):
    doc = load(file_name)
    assert list(doc) == ["class_name", "config", "keras_version", "backend"]
    assert (doc["class_name"], doc["keras_version"], doc["backend"]) == ("Functional", "2.11.0", "tensorflow")
    layers = doc["config"]["layers"]
    assert len(set(names(doc))) == len(layers)
    known = set(names(doc))
    for rec in layers:
        assert list(rec) == ["class_name", "config", "name", "inbound_nodes"]
        assert rec["config"]["name"] == rec["name"]
        for node in rec["inbound_nodes"]:
            assert all(len(e) == 4 and e[0] in known and e[1:] == [0, 0, {}] for e in node)
    first = layers[0]
    assert first["name"] == "input_1" and first["class_name"] == "InputLayer"
    assert list(first["config"]) == ["batch_input_shape", "dtype", "sparse", "ragged", "name"]
    assert doc["config"]["input_layers"] == [["input_1", 0, 0]]
    assert doc["config"]["output_layers"] == [["predictions", 0, 0]]
    assert layers[-1]["name"] == "predictions" and layers[-1]["class_name"] == "Dense"
    assert layers[-1]["config"]["activation"] == "softmax"
    assert problems(doc) == []


@pytest.mark.parametrize("file_name", sorted(SHIPPED))
def test_model_name_size_and_classes(file_name):
    model, count, size, units = SHIPPED[file_name]
    doc = load(file_name)
    assert doc["config"]["name"] == model
    assert len(doc["config"]["layers"]) == count
    assert doc["config"]["layers"][0]["config"]["batch_input_shape"] == [None, size, size, 3]
    assert doc["config"]["layers"][-1]["config"]["units"] == units


def test_vgg_layer_lists():
    blocks16 = [2, 2, 3, 3, 3]
    for file_name, convs in (("vgg16.json", blocks16), ("vgg19.json", [2, 2, 4, 4, 4])):
        want = ["input_1"]
        for b, n in enumerate(convs, 1):
            want += [f"block{b}_conv{k}" for k in range(1, n + 1)] + [f"block{b}_pool"]
        want += ["flatten", "fc1", "fc2", "predictions"]
        doc = load(file_name)
        assert names(doc) == want
        conv = doc["config"]["layers"][1]["config"]
        assert (conv["padding"], conv["activation"], conv["kernel_size"]) == ("same", "relu", [3, 3])
        assert [r["config"]["units"] for r in doc["config"]["layers"][-3:]] == [4096, 4096, 1000]


def resnet50_order():
    """model.layers of keras.applications.ResNet50: shortcut conv before main 3rd conv, per block."""
    order = ["input_1", "conv1_pad", "conv1_conv", "conv1_bn", "conv1_relu", "pool1_pad", "pool1_pool"]
    for stage, blocks in ((2, 3), (3, 4), (4, 6), (5, 3)):
        for k in range(1, blocks + 1):
            p = f"conv{stage}_block{k}_"
            head = [p + s for s in ("1_conv", "1_bn", "1_relu", "2_conv", "2_bn", "2_relu")]
            tail = ["0_conv", "3_conv", "0_bn", "3_bn"] if k == 1 else ["3_conv", "3_bn"]
            order += head + [p + s for s in tail] + [p + "add", p + "out"]
    return order + ["avg_pool", "predictions"]


def test_resnet50_layers_and_connections():
    doc = load("resnet50.json")
    assert names(doc) == resnet50_order()
    by = {r["name"]: r for r in doc["config"]["layers"]}
    assert by["conv1_pad"]["config"]["padding"] == [[3, 3], [3, 3]]
    assert by["conv1_conv"]["config"]["strides"] == [2, 2]
    for stage in (3, 4, 5):
        for conv in ("0_conv", "1_conv"):
            assert by[f"conv{stage}_block1_{conv}"]["config"]["strides"] == [2, 2]
        assert by[f"conv{stage}_block1_2_conv"]["config"]["strides"] == [1, 1]
    assert by["conv2_block1_1_conv"]["config"]["strides"] == [1, 1]
    assert by["conv2_block1_2_conv"]["config"]["padding"] == "same"
    assert {r["config"]["epsilon"] for r in by.values() if r["class_name"] == "BatchNormalization"} == {1.001e-05}
    inbound = lambda n: [e[0] for e in by[n]["inbound_nodes"][0]]
    assert inbound("conv2_block1_add") == ["conv2_block1_0_bn", "conv2_block1_3_bn"]
    assert inbound("conv2_block2_add") == ["conv2_block1_out", "conv2_block2_3_bn"]
    assert inbound("conv3_block1_0_conv") == ["conv2_block3_out"]
    counts = {}
    for r in by.values():
        counts[r["class_name"]] = counts.get(r["class_name"], 0) + 1
    assert counts == {"InputLayer": 1, "ZeroPadding2D": 2, "Conv2D": 53, "BatchNormalization": 53,
                      "Activation": 49, "MaxPooling2D": 1, "Add": 16, "GlobalAveragePooling2D": 1, "Dense": 1}


def test_xception_layers_and_connections():
    doc = load("xception.json")
    order = names(doc)
    assert order[:16] == ["input_1", "block1_conv1", "block1_conv1_bn", "block1_conv1_act", "block1_conv2",
                          "block1_conv2_bn", "block1_conv2_act", "block2_sepconv1", "block2_sepconv1_bn",
                          "block2_sepconv2_act", "block2_sepconv2", "block2_sepconv2_bn", "conv2d",
                          "block2_pool", "batch_normalization", "add"]
    assert order[-18:] == ["block13_sepconv1_act", "block13_sepconv1", "block13_sepconv1_bn",
                           "block13_sepconv2_act", "block13_sepconv2", "block13_sepconv2_bn", "conv2d_3",
                           "block13_pool", "batch_normalization_3", "add_11", "block14_sepconv1",
                           "block14_sepconv1_bn", "block14_sepconv1_act", "block14_sepconv2",
                           "block14_sepconv2_bn", "block14_sepconv2_act", "avg_pool", "predictions"]
    by = {r["name"]: r for r in doc["config"]["layers"]}
    inbound = lambda n: [e[0] for e in by[n]["inbound_nodes"][0]]
    assert inbound("add") == ["block2_pool", "batch_normalization"]
    assert inbound("add_3") == ["block5_sepconv3_bn", "add_2"]
    assert inbound("conv2d_1") == ["add"] and inbound("block3_sepconv1_act") == ["add"]
    assert by["block2_pool"]["config"]["padding"] == "same"
    sep = [r for r in by.values() if r["class_name"] == "SeparableConv2D"]
    assert len(sep) == 34 and all(not r["config"]["use_bias"] for r in sep)
    assert sum(r["class_name"] in ("Conv2D", "SeparableConv2D", "BatchNormalization", "Dense")
               for r in by.values()) == 81


def test_layer_templates_cover_the_editor_classes():
    templates = {r["class_name"] for r in load("layertemplates.json")["config"]["layers"]}
    resnet = {r["class_name"] for r in load("resnet50.json")["config"]["layers"]}
    assert set(EDITOR_CLASSES) <= templates
    assert "Flatten" not in resnet and set(EDITOR_CLASSES) - {"Flatten"} <= resnet


def test_generator_reproduces_the_committed_files(tmp_path):
    spec = importlib.util.spec_from_file_location("make_architectures", ROOT / "tools" / "make_architectures.py")
    tool = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(tool)
    assert tool.main([str(tmp_path)]) == 0
    made = sorted(p.name for p in tmp_path.iterdir())
    assert made == sorted(list(SHIPPED) + ["layertemplates.json"])
    for name in made:
        assert (tmp_path / name).read_bytes() == (RESOURCES / name).read_bytes(), name


@pytest.mark.parametrize("file_name,total,trainable", [
    ("resnet50.json", 25636712, 25583592), ("xception.json", 22910480, 22855952),
    ("vgg16.json", 138357544, 138357544), ("vgg19.json", 143667240, 143667240),
])
def test_parameter_totals_match_keras_applications(file_name, total, trainable, monkeypatch):
    # Only shapes matter here: skip drawing 138 million random numbers.
    monkeypatch.setattr("kolvara_nn.initializers._draw", lambda cls, cfg, shape, layout: torch.empty(layout))
    net = build_network(load(file_name))
    got_trainable, got_non = net.param_counts()
    assert (got_trainable + got_non, got_trainable) == (total, trainable)
    assert net.output_shapes("predictions") == [(1000,)]


def test_custom_model_learns_a_two_class_tile_task():
    """Bright-left vs bright-right 64x64 tiles: a few Adam steps separate them."""
    torch.manual_seed(0)
    net = build_network(load("custommodel.json")).train()
    x = torch.rand(16, 64, 64, 3) * 0.5
    y = torch.arange(16) % 2
    x[y == 0, :, :32] += 0.5
    x[y == 1, :, 32:] += 0.5
    opt = torch.optim.Adam(net.parameters(), lr=0.01)
    losses = []
    for _ in range(10):
        opt.zero_grad()
        probs = net(x)
        loss = torch.nn.functional.nll_loss(torch.log(probs + 1e-7), y)
        loss.backward()
        opt.step()
        losses.append(loss.item())
    # Training-mode accuracy: the moving statistics (momentum 0.99) lag far behind after 10 steps.
    assert (probs.argmax(1) == y).float().mean().item() > 0.9
    assert losses[-1] < 0.3 * losses[0]
