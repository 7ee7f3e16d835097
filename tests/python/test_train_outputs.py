"""Arguments, confusion figures and the metrics image (the prediction file is checked in test_trainNN)."""
from collections import Counter

import numpy as np
import pytest

from kolvara_nn.training.args import parse_args
from kolvara_nn.training.metrics_plot import confusion_matrix, metrics_png, precision_recall

GOOD = ["m.json", "/ws", "/train", "custom", "", "4", "3", "Adam", "mean_squared_error", "",
        "field_outputlabel.csv", "0.60", "false", "true", "FALSE", "True", ""]


def test_the_default_command_line():
    cfg = parse_args(GOOD)
    assert (cfg.batch_size, cfg.epochs, cfg.optimizer, cfg.loss, cfg.train_share) == (4, 3, "adam", "mean_squared_error", 0.6)
    assert (cfg.shift, cfg.crop, cfg.rotate, cfg.distort, cfg.training) == (False, True, False, True, True)
    assert (cfg.keep_best, cfg.patience, cfg.network_mode) == (True, 0, "full")
    assert (cfg.input_scaling, cfg.class_names) == ("div255", ())
    # the optional arguments may stop after any of them
    assert (parse_args(GOOD + ["tf", "a,b", "false"]).keep_best, parse_args(GOOD + ["tf", "", "false", "4", "top"]).patience) == (False, 4)
    for count in (16, 23):
        with pytest.raises(ValueError, match=f"expected 17 to 22 arguments, got {count}"):
            parse_args((GOOD * 2)[:count])
    cfg = parse_args(GOOD + ["\u00f7255", " cat , dog", "true", "3", "top"])
    assert (cfg.input_scaling, cfg.class_names, cfg.network_mode) == ("div255", ("cat", "dog"), "top")
    assert parse_args(GOOD + ["caffe"]).input_scaling == "caffe"


@pytest.mark.parametrize("index, value, message", [
    (5, "0", "batch size must be a positive whole number"),
    (5, "4.5", "batch size must be a positive whole number"),
    (6, "-2", "epochs must be a positive whole number"),
    (7, "Lion", "unknown optimizer 'Lion'"),
    (8, "hinge", "unknown loss 'hinge'"),
    (11, "1.5", "training share must be a number from 0 to 1"),
    (11, "nan", "training share must be a number from 0 to 1"),
    (14, "yes", "rotation augmentation switch must be 'true' or 'false'"),
    (19, "yes", "keep the best epoch must be 'true' or 'false'"),
    (20, "-1", "patience must be a whole number of epochs, 0 or more"),
])
def test_bad_arguments(index, value, message):
    argv = GOOD + ["div255", "", "true", "0", "full"]
    argv[index] = value
    with pytest.raises(ValueError, match=message):
        parse_args(argv)


@pytest.mark.parametrize("name, pretrained, chosen", [
    ("VGG16", "/res/vgg16.json", "/res/vgg16.json"),
    ("resnet50", "/res/resnet50.json", "/res/resnet50.json"),
    ("VGG16", "", "m.json"),
    ("usermodel", "/res/vgg16.json", "m.json"),
])
def test_which_network_document(name, pretrained, chosen):
    argv = list(GOOD)
    argv[3], argv[9] = name, pretrained
    assert str(parse_args(argv).network_document()) == chosen


def test_confusion_matrix_and_precision_recall():
    m = confusion_matrix(Counter(zip(["a", "a", "b", "b", "b"], ["a", "b", "b", "b", "a"])), ["a", "b", "c"])
    assert m.tolist() == [[1, 1, 0], [1, 2, 0], [0, 0, 0]]
    precision, recall = precision_recall(m)
    np.testing.assert_allclose(precision, [0.5, 2 / 3, 0.0])
    np.testing.assert_allclose(recall, [0.5, 2 / 3, 0.0])


def test_metrics_image_is_a_png_also_without_validation():
    data = metrics_png({"accuracy": [0.5], "loss": [0.7], "val_accuracy": [], "val_loss": []},
                       Counter({("x", "y"): 1}), ["x", "y"], ["kept epoch 1 of 1: no validation data"], 1)
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
