"""A backbone under a new top: where the old top is cut, how its weights load, that a frozen
backbone never changes, and that cached features train the top exactly as recomputing would."""
import copy
import json

import h5py
import numpy as np
import pytest
import torch

from conftest import ROOT
from kolvara_nn import h5io, keras_json, modelfiles, transfer
from kolvara_nn.errors import ModelError
from kolvara_nn.network import build_network
from kolvara_nn.training.features import FeatureCache, top_scores
from kolvara_nn.training.losses import keras_loss
from kolvara_nn.training.optimizers import make_optimizer
from realmodels import renamed
from trainnn_fixture import tile_run, tiny_model_doc
import trainNN

RESNET = "functional_resnet_cifar10_tf2.4.h5"


@pytest.mark.parametrize("resource, cut", [("resnet50", "conv5_block3_out"), ("vgg16", "block5_pool"),
                                           ("vgg19", "block5_pool"), ("xception", "block14_sepconv2_act")])
def test_new_top_replaces_the_old_one_on_each_shipped_architecture(resource, cut):
    doc = keras_json.load_document(str(ROOT / "resources" / f"{resource}.json"))
    new = transfer.transfer_document(doc, 3, frozen=True)
    layers = new["config"]["layers"]
    assert [r["name"] for r in layers][-4:] == [cut, *transfer.top_names(new)]
    pool, dropout, dense = layers[-3:]
    assert (pool["class_name"], dropout["config"]["rate"], dense["config"]["units"],
            dense["config"]["activation"]) == ("GlobalAveragePooling2D", 0.2, 3, "softmax")
    assert len(layers) - 3 == 1 + [r["name"] for r in doc["config"]["layers"]].index(cut)
    assert all(r["config"]["trainable"] is False for r in layers[1:-3])
    assert new["config"]["output_layers"] == [[dense["name"], 0, 0]]


def cifar_doc(testdata):
    return modelfiles.read_architecture(str(testdata / "keras" / RESNET), "1")


def transfer_net(doc, frozen=True, classes=3, seed=0):
    torch.manual_seed(seed)
    return build_network(transfer.transfer_document(doc, classes, frozen))


def arrays(net, names):
    return {n: [a.copy() for _, a in net.keras_weights(n)] for n in names}


def backbone_names(net):
    top = set(transfer.top_names(net.document))
    return [n for n in net.layer_names if n not in top and net.keras_weights(n)]


def test_backbone_weights_load_by_name_else_by_position(testdata, tmp_path):
    """A real Keras file with its old top, a top-less file of our writer, the same with Keras 1
    layer names, a model of ours (top included), and another network's file (refused whole)."""
    source = testdata / "keras" / RESNET
    doc = cifar_doc(testdata)
    trained = build_network(doc)
    h5io.load_weights(trained, str(source))
    expected = arrays(trained, [n for n in trained.layer_names if n != "dense" and trained.keras_weights(n)])
    notop_doc = copy.deepcopy(doc)
    notop_doc["config"]["layers"] = [r for r in doc["config"]["layers"] if r["name"] not in ("flatten", "dense")]
    notop_doc["config"]["output_layers"] = [["average_pooling2d", 0, 0]]
    for prefix, name in [("", "notop.h5"), ("x_", "keras1.h5")]:
        notop = build_network(renamed(notop_doc, prefix))
        for layer, values in expected.items():
            notop.set_keras_weights(prefix + layer, values)
        h5io.save_weights(str(tmp_path / name), notop)
    ours = transfer_net(doc, seed=7)
    h5io.save_model(str(tmp_path / "ours.h5"), ours, ["a", "b", "c"])

    for path, from_ours in [(source, False), (tmp_path / "notop.h5", False), (tmp_path / "keras1.h5", False),
                            (tmp_path / "ours.h5", True), (testdata / "keras" / "sequential_cnn_cifar10_tf2.13.h5", None)]:
        net = transfer_net(doc, seed=1)
        before = arrays(net, net.layer_names)
        if from_ours is None:
            with pytest.raises(ModelError, match="layer|layers with weights"):
                transfer.load_backbone_weights(net, path, say=lambda _: None)
            want = before
        else:
            transfer.load_backbone_weights(net, path, say=lambda _: None)
            want = {**before, **(arrays(ours, ours.layer_names) if from_ours else expected)}
        for name, values in arrays(net, net.layer_names).items():
            for got, wanted in zip(values, want[name]):
                np.testing.assert_array_equal(got, wanted, err_msg=f"{path.name}: {name}")


def train_steps(net, steps=3, seed=0):
    generator = torch.Generator().manual_seed(seed)
    x = torch.rand((4,) + tuple(net.input_shape), generator=generator)
    y = torch.nn.functional.one_hot(torch.tensor([0, 1, 2, 0]), 3).float()
    optimizer = make_optimizer("adam", net.parameters())  # everything handed over, as a loop might
    loss_fn = keras_loss("mean_squared_error", "softmax")
    net.train()
    for _ in range(steps):
        optimizer.zero_grad()
        loss_fn(y, net(x)).backward()
        optimizer.step()


@pytest.mark.parametrize("frozen", [True, False], ids=["top", "finetune"])
def test_frozen_backbone_is_bit_identical_after_training_while_the_top_learns(testdata, one_thread, frozen):
    net = transfer_net(cifar_doc(testdata), frozen=frozen)
    backbone = backbone_names(net)
    before = arrays(net, backbone + ["top_predictions"])
    train_steps(net)
    after = arrays(net, before)
    changed = {n for n in before if any(not np.array_equal(a, b) for a, b in zip(before[n], after[n]))}
    assert "top_predictions" in changed
    if frozen:
        assert changed == {"top_predictions"}  # moving statistics of BatchNormalization included
    else:
        assert set(backbone) <= changed


def test_cached_features_give_the_same_top_gradients_as_recomputing(testdata, one_thread):
    net = transfer_net(cifar_doc(testdata))
    x = torch.rand((4,) + tuple(net.input_shape), generator=torch.Generator().manual_seed(3))
    y = torch.nn.functional.one_hot(torch.tensor([2, 1, 0, 1]), 3).float()
    dense = net.layer("top_predictions")
    for loss_name in ("mean_squared_error", "categorical_crossentropy"):
        loss_fn = keras_loss(loss_name, "softmax")
        logits = getattr(loss_fn, "uses_logits", False)
        net.train()
        net.zero_grad()
        torch.manual_seed(5)  # the same dropout mask both ways
        loss_fn(y, net.forward_logits(x) if logits else net(x)).backward()
        direct = [p.grad.clone() for p in dense.parameters()]

        cache = FeatureCache(net, 4)
        loads = []
        for _ in range(2):  # the second pass finds every feature cached
            net.zero_grad()
            torch.manual_seed(5)
            features = cache.features(torch.arange(4), lambda: loads.append(1) or x)
            loss_fn(y, top_scores(net, features, logits)).backward()
            for got, want in zip((p.grad for p in dense.parameters()), direct):
                torch.testing.assert_close(got, want, rtol=1e-5, atol=1e-7)
        assert len(loads) == 1


def test_a_top_run_keeps_the_backbone_and_saves_the_whole_network(tmp_path, one_thread, capsys):
    """trainNN.py in "top" mode from a weights-only start file in Keras's layout: the
    backbone in my_model.h5 is the start file's, bit for bit, under the new top, and the
    saved model predicts again what the run predicted."""
    argv, ws = tile_run(tmp_path)
    doc = tiny_model_doc()
    start = build_network(doc)
    h5io.save_weights(str(tmp_path / "imagenet.h5"), start)  # its old top is left out
    argv[4], argv[12], argv[17] = str(tmp_path / "imagenet.h5"), "false", "caffe"
    assert trainNN.main(argv + ["top"]) == 0
    assert "each image goes through the backbone once" in capsys.readouterr().out
    with h5py.File(ws / "my_model.h5", "r") as f:
        config = json.loads(f.attrs["model_config"])
        assert f.attrs[h5io.INPUT_SCALING_ATTR] == "caffe"
    layers = config["config"]["layers"]
    assert [r["name"] for r in layers][-3:] == list(transfer.top_names(config))
    assert layers[1]["config"]["trainable"] is False and layers[-1]["config"]["units"] == 2
    saved = build_network(config)
    h5io.load_weights(saved, str(ws / "my_model.h5"))
    for got, want in zip(saved.keras_weights("conv2d"), start.keras_weights("conv2d")):
        np.testing.assert_array_equal(got[1], want[1])
    trained = (ws / "field_outputlabel.csv").read_text()
    argv[2], argv[4] = "", str(ws / "my_model.h5")  # a pure test of the saved model
    assert trainNN.main(argv + ["top"]) == 0
    assert (ws / "field_outputlabel.csv").read_text() == trained
