"""The two runs of trainNN.py: training (with checkpoints, final model, predictions and
metrics image) and pure test (predictions only)."""
import dataclasses
import functools
import os
from pathlib import Path

import torch

from .. import h5io
from ..atomic import write_bytes_atomic
from ..graph import scales_own_input
from . import model_setup
from .args import TrainConfig
from .augment import augment
from .data import class_order, load_images, read_label_table, split_indices
from .losses import keras_loss
from .metrics_plot import metrics_png
from .optimizers import keras_config, make_optimizer
from .predict_csv import prediction_text
from .preprocess import (applied_scaling, check_scaling, input_spec, output_classes, scale,
                         training_classes)
from .trainer import check_output, evaluate, fit_epoch, output_width, predict

SEED = 1234
MODEL_FILE = "my_model.h5"
METRICS_FILE = "NNMetrics.png"


def training_label_path(cfg: TrainConfig) -> Path:
    """Argument 17, else the label document's name in the training folder, else the only
    *_outputlabel.csv there."""
    folder = Path(cfg.train_folder)
    if cfg.train_label_doc:
        path = Path(cfg.train_label_doc)
        if not path.is_file() and not path.is_absolute():
            path = folder / path
        if not path.is_file():
            raise ValueError(f"training label document not found: {cfg.train_label_doc}")
        return path
    if (folder / cfg.label_doc).is_file():
        return folder / cfg.label_doc
    found = sorted(folder.glob("*_outputlabel.csv"))
    if len(found) != 1:
        raise ValueError(f"no training label document given and {len(found)} "
                         f"*_outputlabel.csv files in {folder}; name one")
    return found[0]


def _preparation(net, mode):
    """The image spec of the network and the function that turns pixel batches into its input."""
    spec = input_spec(net.input_shape)
    check_scaling(mode, spec)
    return spec, functools.partial(scale, mode=mode, spec=spec)


def _on_device(images, device):
    return images.to(device) if device.type == "cuda" else images


def _one_hot(labels, classes):
    index = {c: i for i, c in enumerate(classes)}
    rows = torch.tensor([index[label] for label in labels], dtype=torch.long)
    return torch.nn.functional.one_hot(rows, len(classes)).float()


def _write_predictions(cfg, table, images, net, classes, device, say, prepare):
    found = predict(net, _on_device(images, device), cfg.batch_size, device, prepare)
    predicted = [classes[i] for i in found]
    path = cfg.workspace / cfg.label_doc
    write_bytes_atomic(str(path), prediction_text(table, predicted).encode("utf-8"))
    say(f"Predictions for {len(predicted)} test images written to {path}")
    return predicted


def _save_checkpoint(cfg, net, epoch, val_accuracy, accuracy, say, classes):
    name = f"e{epoch:04d}-{val_accuracy:.4f}-{accuracy:.4f}-weights.hdf5"
    # The app counts workspace names containing ".hdf5": the partial file must not.
    tmp = cfg.workspace / f".checkpoint-e{epoch:04d}.partial"
    h5io.save_weights(str(tmp), net, classes, cfg.input_scaling)
    os.replace(tmp, cfg.workspace / name)
    say(f"Epoch {epoch}: saving model to {cfg.workspace / name}")


def _fit(cfg, net, data, device, say, stream, prepare, classes):
    x_train, y_train, x_val, y_val = data
    optimizer = make_optimizer(cfg.optimizer, net.parameters())
    loss_fn = keras_loss(cfg.loss, net.output_activations[0])
    gen = torch.Generator().manual_seed(SEED)
    history = {"loss": [], "accuracy": [], "val_loss": [], "val_accuracy": []}
    for epoch in range(1, cfg.epochs + 1):
        if cfg.epochs > 1:
            say(f"Epoch {epoch}/{cfg.epochs}")
        loss, accuracy, bar = fit_epoch(net, optimizer, loss_fn, x_train, y_train,
                                        cfg.batch_size, device, stream, gen, prepare)
        logs = [("loss", loss), ("accuracy", accuracy)]
        val_accuracy = 0.0
        if x_val.shape[0]:
            val_loss, val_accuracy = evaluate(net, loss_fn, x_val, y_val, cfg.batch_size, device,
                                              prepare)
            logs += [("val_loss", val_loss), ("val_accuracy", val_accuracy)]
        bar.update(bar.target, logs, finalize=True)
        for key, value in logs:
            history[key].append(value)
        _save_checkpoint(cfg, net, epoch, val_accuracy, accuracy, say, classes)
    return optimizer, history


def _training_data(cfg, table, classes, spec, device, say):
    images = load_images(cfg.train_folder, table.filenames, spec)
    targets = _one_hot(table.labels, classes)
    train, val = split_indices(len(table.rows), cfg.train_share, SEED)
    x_train, y_train = augment(images[train], targets[train], cfg.shift, cfg.crop,
                               cfg.rotate, cfg.distort, seed=SEED)
    say(f"Training on {x_train.shape[0]} images ({len(train)} before augmentation), "
        f"validating on {len(val)}; {len(classes)} classes: {', '.join(classes)}")
    return (_on_device(x_train, device), y_train.to(device),
            _on_device(images[val], device), targets[val].to(device)), tuple(images.shape[1:3])


def _summary(truth, predicted, classes, notes=()):
    """What the user must know about the test predictions, one line each."""
    lines = []
    if truth:
        hits = sum(t == p for t, p in zip(truth, predicted))
        lines.append(f"accuracy {100.0 * hits / len(truth):.2f}% ({hits} of {len(truth)} images)")
    known = set(classes)
    unmatched = [t for t in truth if t not in known]
    if unmatched:
        names = sorted(set(unmatched))
        shown = ", ".join(names[:5]) + (", ..." if len(names) > 5 else "")
        count = f"{len(unmatched)} image" + ("s" if len(unmatched) > 1 else "")
        lines.append(f"labels matching no output class (counted wrong): {shown} ({count})")
    return lines + [n for n in notes if n]


def _report(cfg, truth, predicted, shown, lines, history, say):
    """The summary on standard output (the app shows it) and NNMetrics.png."""
    for line in lines:
        say(f"Test summary: {line}")
    write_bytes_atomic(str(cfg.workspace / METRICS_FILE),
                       metrics_png(history, truth, predicted, shown, lines))
    say(f"Metrics image written to {cfg.workspace / METRICS_FILE}")


def run_training(cfg: TrainConfig, device, say, stream) -> None:
    table = read_label_table(training_label_path(cfg))
    if not table.rows:
        raise ValueError(f"training label document {table.path} lists no samples")
    test_table = read_label_table(cfg.workspace / cfg.label_doc)
    classes = training_classes(table.labels, cfg.class_names)
    torch.manual_seed(SEED)
    net, resized = model_setup.build(cfg.network_document(), len(classes), say)
    if cfg.weights:
        model_setup.load_start_weights(net, model_setup.weights_file(cfg.weights), resized, say)
    net.to(device)
    spec, prepare = _preparation(net, cfg.input_scaling)
    say(f"Input scaling: {cfg.input_scaling}")
    data, size = _training_data(cfg, table, classes, spec, device, say)
    # Without a size of its own the network sees the test images at the training size.
    test_images = load_images(cfg.workspace, test_table.filenames,
                              dataclasses.replace(spec, size=size))
    check_output(net, data[0], len(classes), device, prepare)
    optimizer, history = _fit(cfg, net, data, device, say, stream, prepare, classes)
    training_config = {"loss": cfg.loss, "metrics": ["accuracy"], "weighted_metrics": None,
                       "loss_weights": None, "optimizer_config": keras_config(optimizer)}
    tmp = cfg.workspace / ".final-model.partial"
    h5io.save_model(str(tmp), net, classes, training_config, cfg.input_scaling)
    os.replace(tmp, cfg.workspace / MODEL_FILE)
    say(f"Model saved to {cfg.workspace / MODEL_FILE}")
    predicted = _write_predictions(cfg, test_table, test_images, net, classes, device, say,
                                   prepare)
    truth = test_table.labels
    shown = class_order(set(truth) | set(predicted) | set(classes))
    _report(cfg, truth, predicted, shown, _summary(truth, predicted, classes), history, say)


def _test_network(cfg, say):
    """The network with the weights to apply, its output width as stored with them (never the
    width the test labels would ask for), the class names and input scaling recorded."""
    weights = model_setup.weights_file(cfg.weights) if cfg.weights else None
    stored = model_setup.stored_class_names(weights) if weights else None
    recorded = h5io.read_input_scaling(str(weights)) if weights else None
    units = len(stored) if stored else None
    if weights and not stored:
        # a foreign model, or a checkpoint of a run whose output layer was resized
        units = model_setup.file_output_units(weights, cfg.network_document())
    net, _ = model_setup.build(cfg.network_document(), units, say)
    if weights:
        model_setup.load_start_weights(net, weights, None, say)
    else:
        say("Warning: no weights given; predicting with untrained weights")
    return net, stored, recorded


def run_test(cfg: TrainConfig, device, say) -> None:
    table = read_label_table(cfg.workspace / cfg.label_doc)
    torch.manual_seed(SEED)
    net, stored, recorded = _test_network(cfg, say)
    net.to(device)
    mode, why = applied_scaling(cfg.input_scaling, recorded, scales_own_input(net.document))
    spec, prepare = _preparation(net, mode)
    say(f"Input scaling: {mode} ({why})")
    images = load_images(cfg.workspace, table.filenames, spec)
    units = net.output_units or output_width(net, images, device, prepare)
    order = output_classes(units, table.labels, cfg.class_names, stored)
    if images.shape[0]:
        check_output(net, images, units, device, prepare)
    predicted = _write_predictions(cfg, table, images, net, order.names, device, say, prepare)
    truth = table.labels
    # Only the classes that occur: a model may have a thousand outputs.
    used = set(truth) | set(predicted)
    shown = [c for c in order.names if c in used] + sorted(used - set(order.names))
    _report(cfg, truth, predicted, shown, _summary(truth, predicted, order.names, [order.note]),
            None, say)
