"""The two runs of trainNN.py: training (with checkpoints, final model, predictions and
metrics image) and pure test (predictions only)."""
from collections import Counter
import functools
import os
from pathlib import Path

import torch

from .. import h5io
from ..atomic import write_bytes_atomic
from ..graph import scales_own_input
from ..transfer import trainable_parameters
from . import model_setup
from .args import TrainConfig
from .augment import AugmentPlan
from .data import check_images, class_order, read_label_table, split_indices
from .epochs import EpochChoice
from .features import FeatureCache
from .losses import keras_loss
from .metrics_plot import metrics_png
from .optimizers import keras_config, make_optimizer
from .predict_csv import write_predictions
from .preprocess import (applied_scaling, check_scaling, input_spec, output_classes, scale,
                         training_classes)
from .samples import SampleSet, first_images, loader
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
    """The image shape the network takes and the function that turns pixel batches into its input."""
    spec = input_spec(net.input_shape)
    check_scaling(mode, spec)
    return spec, functools.partial(scale, mode=mode, spec=spec)


def _save_checkpoint(cfg, net, epoch, val_accuracy, accuracy, say, classes):
    name = f"e{epoch:04d}-{val_accuracy:.4f}-{accuracy:.4f}-weights.hdf5"
    # The app counts workspace names containing ".hdf5": the partial file must not.
    tmp = cfg.workspace / f".checkpoint-e{epoch:04d}.partial"
    h5io.save_weights(str(tmp), net, classes, cfg.input_scaling)
    os.replace(tmp, cfg.workspace / name)
    say(f"Epoch {epoch}: saving model to {cfg.workspace / name}")


def _weights_copy(net):
    return {k: v.detach().clone() for k, v in net.state_dict().items()}


def _caches(cfg, sets, net, say):
    """Feature caches for the training and validation sets when only a new top on a frozen
    backbone learns and the images do not change between epochs; else (None, None)."""
    if cfg.network_mode != "top" or cfg.shift or cfg.crop or cfg.rotate or cfg.distort:
        return None, None
    say("Only the new top learns: each image goes through the backbone once, later epochs "
        "train the top alone")
    return tuple(FeatureCache(net, batches.batch_sampler.n) for batches in sets)


def _fit(cfg, net, sets, classes, device, say, stream, prepare):
    """Train; the network ends with the weights of the epoch kept. Returns the optimizer,
    the per-epoch history and the EpochChoice that kept it."""
    train_batches, val_batches = sets
    optimizer = make_optimizer(cfg.optimizer, trainable_parameters(net))
    loss_fn = keras_loss(cfg.loss, net.output_activations[0])
    gen = torch.Generator().manual_seed(SEED)
    history = {"loss": [], "accuracy": [], "val_loss": [], "val_accuracy": []}
    choice = EpochChoice(cfg.keep_best, cfg.patience)
    validating = val_batches.batch_sampler.n > 0
    if cfg.patience and not validating:
        say("Warning: no validation data, so the run cannot stop early")
    train_cache, val_cache = _caches(cfg, sets, net, say)
    kept = None
    for epoch in range(1, cfg.epochs + 1):
        if cfg.epochs > 1:
            say(f"Epoch {epoch}/{cfg.epochs}")
        loss, accuracy, bar = fit_epoch(net, optimizer, loss_fn, train_batches, len(classes),
                                        device, stream, gen, prepare, train_cache)
        logs = [("loss", loss), ("accuracy", accuracy)]
        val_accuracy = 0.0
        if validating:
            val_loss, val_accuracy = evaluate(net, loss_fn, val_batches, len(classes), device,
                                              prepare, val_cache)
            logs += [("val_loss", val_loss), ("val_accuracy", val_accuracy)]
        bar.update(bar.target, logs, finalize=True)
        for key, value in logs:
            history[key].append(value)
        _save_checkpoint(cfg, net, epoch, val_accuracy, accuracy, say, classes)
        better = choice.after_epoch(epoch, val_accuracy if validating else None)
        if better and choice.keep_best and validating and epoch < cfg.epochs:
            kept = _weights_copy(net)  # a last epoch's weights are in the network already
        if choice.stop and epoch < cfg.epochs:
            say(f"Epoch {epoch}: early stopping")
            break
    if choice.kept_epoch != choice.epochs:
        net.load_state_dict(kept)
    say(choice.summary())
    return optimizer, history, choice


def _sample_sets(cfg, table, classes, spec):
    """Training (augmented) and validation sets of the training folder."""
    index = {c: i for i, c in enumerate(classes)}
    targets = [index[label] for label in table.labels]
    names = table.filenames
    train, val = split_indices(len(names), cfg.train_share, SEED)
    plan = AugmentPlan(len(train), cfg.shift, cfg.crop, cfg.rotate, cfg.distort, seed=SEED)
    pick = lambda rows, values: [values[i] for i in rows]
    train_set = SampleSet(cfg.train_folder, pick(train, names), pick(train, targets), spec, plan)
    val_set = SampleSet(cfg.train_folder, pick(val, names), pick(val, targets), spec)
    return train_set, val_set


def _write_predictions(cfg, table, samples, net, classes, device, say, prepare):
    """Predict the test set batch by batch into the prediction file; returns the
    (label, prediction) counts for the metrics image and the predictions in order."""
    truth = iter(table.labels)
    counts, predicted = Counter(), []

    def labelled():
        for found in predict(net, loader(samples, cfg.batch_size, device), device, prepare):
            names = [classes[i] for i in found]
            counts.update((next(truth), p) for p in names)
            predicted.extend(names)
            yield names

    path = cfg.workspace / cfg.label_doc
    written = write_predictions(path, table, labelled())
    say(f"Predictions for {written} test images written to {path}")
    return counts, predicted


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


def _report(cfg, counts, shown, lines, history, say, choice=None):
    """The summary on standard output (the app shows it) and NNMetrics.png."""
    for line in lines:
        say(f"Test summary: {line}")
    notes = ([choice.summary()] if choice else []) + lines
    write_bytes_atomic(str(cfg.workspace / METRICS_FILE),
                       metrics_png(history, counts, shown, notes,
                                   choice.kept_epoch if choice else None))
    say(f"Metrics image written to {cfg.workspace / METRICS_FILE}")


def run_training(cfg: TrainConfig, device, say, stream) -> None:
    table = read_label_table(training_label_path(cfg))
    if not table.rows:
        raise ValueError(f"training label document {table.path} lists no samples")
    test_table = read_label_table(cfg.workspace / cfg.label_doc)
    classes = training_classes(table.labels, cfg.class_names)
    torch.manual_seed(SEED)
    net, resized = model_setup.build_for_mode(cfg.network_document(), cfg.network_mode,
                                              len(classes), say)
    if cfg.weights:
        model_setup.load_weights_for_mode(net, model_setup.weights_file(cfg.weights),
                                          cfg.network_mode, resized, say)
    net.to(device)
    spec, prepare = _preparation(net, cfg.input_scaling)
    say(f"Input scaling: {cfg.input_scaling}")
    # Without a size of its own the network sees every image at the training images' size.
    spec = check_images(cfg.train_folder, table.filenames, spec)
    check_images(cfg.workspace, test_table.filenames, spec)
    train_set, val_set = _sample_sets(cfg, table, classes, spec)
    say(f"Training on {len(train_set)} images ({train_set.samples} before augmentation), "
        f"validating on {len(val_set)}; {len(classes)} classes: {', '.join(classes)}")
    check_output(net, first_images(train_set, 2), len(classes), device, prepare)
    sets = (loader(train_set, cfg.batch_size, device), loader(val_set, cfg.batch_size, device))
    optimizer, history, choice = _fit(cfg, net, sets, classes, device, say, stream, prepare)
    del sets  # their decoding processes end here
    training_config = {"loss": cfg.loss, "metrics": ["accuracy"], "weighted_metrics": None,
                       "loss_weights": None, "optimizer_config": keras_config(optimizer)}
    tmp = cfg.workspace / ".final-model.partial"
    h5io.save_model(str(tmp), net, classes, training_config, cfg.input_scaling)
    os.replace(tmp, cfg.workspace / MODEL_FILE)
    say(f"Model saved to {cfg.workspace / MODEL_FILE}")
    test_set = SampleSet(cfg.workspace, test_table.filenames, None, spec)
    counts, predicted = _write_predictions(cfg, test_table, test_set, net, classes, device, say,
                                           prepare)
    truth = test_table.labels
    shown = class_order(set(truth) | set(classes))
    _report(cfg, counts, shown, _summary(truth, predicted, classes), history, say, choice)


def _test_units(cfg, weights, stored, labels):
    """The output width to build for a pure test: as stored with the weights; a new top
    without weights gets one unit per class given or labelled."""
    if stored:
        return len(stored)
    if cfg.network_mode == "full":
        # a foreign model, or a checkpoint of a run whose output layer was resized
        return model_setup.file_output_units(weights, cfg.network_document()) if weights else None
    units = model_setup.file_top_units(weights) if weights else None
    return units or len(cfg.class_names) or max(1, len(class_order(labels)))


def _test_network(cfg, labels, say):
    """The network with the weights to apply, its output width as stored with them (never the
    width the test labels would ask for), the class names and input scaling recorded."""
    weights = model_setup.weights_file(cfg.weights) if cfg.weights else None
    stored = model_setup.stored_class_names(weights) if weights else None
    recorded = h5io.read_input_scaling(str(weights)) if weights else None
    units = _test_units(cfg, weights, stored, labels)
    net, _ = model_setup.build_for_mode(cfg.network_document(), cfg.network_mode, units, say)
    if weights:
        model_setup.load_weights_for_mode(net, weights, cfg.network_mode, None, say)
    else:
        say("Warning: no weights given; predicting with untrained weights")
    return net, stored, recorded


def run_test(cfg: TrainConfig, device, say) -> None:
    table = read_label_table(cfg.workspace / cfg.label_doc)
    torch.manual_seed(SEED)
    net, stored, recorded = _test_network(cfg, table.labels, say)
    net.to(device)
    mode, why = applied_scaling(cfg.input_scaling, recorded, scales_own_input(net.document))
    spec, prepare = _preparation(net, mode)
    say(f"Input scaling: {mode} ({why})")
    spec = check_images(cfg.workspace, table.filenames, spec)
    samples = SampleSet(cfg.workspace, table.filenames, None, spec)
    first = first_images(samples, 2)
    units = net.output_units or output_width(net, first, device, prepare)
    order = output_classes(units, table.labels, cfg.class_names, stored)
    if len(samples):
        check_output(net, first, units, device, prepare)
    counts, predicted = _write_predictions(cfg, table, samples, net, order.names, device, say,
                                           prepare)
    truth = table.labels
    # Only the classes that occur: a model may have a thousand outputs.
    used = set(truth) | set(predicted)
    shown = [c for c in order.names if c in used] + sorted(used - set(order.names))
    _report(cfg, counts, shown, _summary(truth, predicted, order.names, [order.note]), None, say)
