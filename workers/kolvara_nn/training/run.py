"""The two runs of trainNN.py: training (with checkpoints, final model, predictions and
metrics image) and pure test (predictions only)."""
from collections import Counter
import os
from pathlib import Path

import torch

from .. import h5io
from ..atomic import write_bytes_atomic
from . import model_setup
from .args import TrainConfig
from .augment import AugmentPlan
from .data import (check_channels, check_images, class_order, load_image, read_label_table,
                   split_indices)
from .epochs import EpochChoice
from .losses import keras_loss
from .metrics_plot import metrics_png
from .optimizers import keras_config, make_optimizer
from .predict_csv import write_predictions
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


def _geometry(net):
    rows, cols, channels = (tuple(net.input_shape) + (None, None, None))[:3]
    size = (rows, cols) if rows and cols else None
    return size, channels or 3


def _image_size(size, folder, names, channels):
    """The network's input size, or when it has none the first image's."""
    if size is not None or not names:
        return size or (1, 1)
    return tuple(load_image(Path(folder) / names[0], None, channels).shape[:2])


def _save_checkpoint(cfg, net, epoch, val_accuracy, accuracy, say):
    name = f"e{epoch:04d}-{val_accuracy:.4f}-{accuracy:.4f}-weights.hdf5"
    # The app counts workspace names containing ".hdf5": the partial file must not.
    tmp = cfg.workspace / f".checkpoint-e{epoch:04d}.partial"
    h5io.save_weights(str(tmp), net)
    os.replace(tmp, cfg.workspace / name)
    say(f"Epoch {epoch}: saving model to {cfg.workspace / name}")


def _weights_copy(net):
    return {k: v.detach().clone() for k, v in net.state_dict().items()}


def _fit(cfg, net, sets, n_classes, device, say, stream):
    """Train; the network ends with the weights of the epoch kept. Returns the optimizer,
    the per-epoch history and the EpochChoice that kept it."""
    train_batches, val_batches = sets
    optimizer = make_optimizer(cfg.optimizer, net.parameters())
    loss_fn = keras_loss(cfg.loss, net.output_activations[0])
    gen = torch.Generator().manual_seed(SEED)
    history = {"loss": [], "accuracy": [], "val_loss": [], "val_accuracy": []}
    choice = EpochChoice(cfg.keep_best, cfg.patience)
    validating = val_batches.batch_sampler.n > 0
    if cfg.patience and not validating:
        say("Warning: no validation data, so the run cannot stop early")
    kept = None
    for epoch in range(1, cfg.epochs + 1):
        if cfg.epochs > 1:
            say(f"Epoch {epoch}/{cfg.epochs}")
        loss, accuracy, bar = fit_epoch(net, optimizer, loss_fn, train_batches, n_classes,
                                        device, stream, gen)
        logs = [("loss", loss), ("accuracy", accuracy)]
        val_accuracy = 0.0
        if validating:
            val_loss, val_accuracy = evaluate(net, loss_fn, val_batches, n_classes, device)
            logs += [("val_loss", val_loss), ("val_accuracy", val_accuracy)]
        bar.update(bar.target, logs, finalize=True)
        for key, value in logs:
            history[key].append(value)
        _save_checkpoint(cfg, net, epoch, val_accuracy, accuracy, say)
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


def _sample_sets(cfg, table, classes, size, channels):
    """Training (augmented) and validation loaders over the training folder."""
    index = {c: i for i, c in enumerate(classes)}
    targets = [index[label] for label in table.labels]
    names = table.filenames
    train, val = split_indices(len(names), cfg.train_share, SEED)
    plan = AugmentPlan(len(train), cfg.shift, cfg.crop, cfg.rotate, cfg.distort, seed=SEED)
    pick = lambda rows, values: [values[i] for i in rows]
    train_set = SampleSet(cfg.train_folder, pick(train, names), pick(train, targets), size,
                          channels, plan)
    val_set = SampleSet(cfg.train_folder, pick(val, names), pick(val, targets), size, channels)
    return train_set, val_set


def _write_predictions(cfg, table, samples, net, classes, device, say, counts=None):
    """Predict the test set batch by batch into the prediction file; `counts`, when given,
    gathers (label, prediction) pairs for the metrics image."""
    truth = iter(table.labels)

    def labelled():
        for found in predict(net, loader(samples, cfg.batch_size, device), device):
            predicted = [classes[i] for i in found]
            if counts is not None:
                counts.update((next(truth), p) for p in predicted)
            yield predicted

    path = cfg.workspace / cfg.label_doc
    written = write_predictions(path, table, labelled())
    say(f"Predictions for {written} test images written to {path}")


def run_training(cfg: TrainConfig, device, say, stream) -> None:
    table = read_label_table(training_label_path(cfg))
    if not table.rows:
        raise ValueError(f"training label document {table.path} lists no samples")
    test_table = read_label_table(cfg.workspace / cfg.label_doc)
    classes = class_order(table.labels)
    torch.manual_seed(SEED)
    net, resized = model_setup.build(cfg.network_document(), len(classes), say)
    if cfg.weights:
        model_setup.load_start_weights(net, model_setup.weights_file(cfg.weights), resized, say)
    net.to(device)
    size, channels = _geometry(net)
    check_channels(channels)
    check_images(cfg.train_folder, table.filenames)
    check_images(cfg.workspace, test_table.filenames)
    size = _image_size(size, cfg.train_folder, table.filenames, channels)
    train_set, val_set = _sample_sets(cfg, table, classes, size, channels)
    say(f"Training on {len(train_set)} images ({train_set.samples} before augmentation), "
        f"validating on {len(val_set)}; {len(classes)} classes: {', '.join(classes)}")
    check_output(net, first_images(train_set, 2), len(classes), device)
    sets = (loader(train_set, cfg.batch_size, device), loader(val_set, cfg.batch_size, device))
    optimizer, history, choice = _fit(cfg, net, sets, len(classes), device, say, stream)
    del sets  # their decoding processes end here
    training_config = {"loss": cfg.loss, "metrics": ["accuracy"], "weighted_metrics": None,
                       "loss_weights": None, "optimizer_config": keras_config(optimizer)}
    tmp = cfg.workspace / ".final-model.partial"
    h5io.save_model(str(tmp), net, classes, training_config)
    os.replace(tmp, cfg.workspace / MODEL_FILE)
    say(f"Model saved to {cfg.workspace / MODEL_FILE}")
    test_set = SampleSet(cfg.workspace, test_table.filenames, None, size, channels)
    counts = Counter()
    _write_predictions(cfg, test_table, test_set, net, classes, device, say, counts)
    shown = class_order(set(test_table.labels) | set(classes))
    write_bytes_atomic(str(cfg.workspace / METRICS_FILE),
                       metrics_png(history, counts, shown, choice.kept_epoch, choice.summary()))
    say(f"Metrics image written to {cfg.workspace / METRICS_FILE}")


def _test_classes(stored, labels, units):
    """Output index -> label text: names saved with the model, else the test labels when
    they give one per output, else the output index itself."""
    if stored:
        return stored
    distinct = class_order(labels)
    return distinct if len(distinct) == units else [str(i) for i in range(units)]


def run_test(cfg: TrainConfig, device, say) -> None:
    table = read_label_table(cfg.workspace / cfg.label_doc)
    torch.manual_seed(SEED)
    weights = model_setup.weights_file(cfg.weights) if cfg.weights else None
    stored = model_setup.stored_class_names(weights) if weights else None
    units = len(stored) if stored else None
    if weights and not stored:
        # a checkpoint of a run whose output layer was resized
        units = model_setup.file_output_units(weights, cfg.network_document())
    net, _ = model_setup.build(cfg.network_document(), units, say)
    if weights:
        model_setup.load_start_weights(net, weights, None, say)
    else:
        say("Warning: no weights given; predicting with untrained weights")
    net.to(device)
    size, channels = _geometry(net)
    check_channels(channels)
    check_images(cfg.workspace, table.filenames)
    size = _image_size(size, cfg.workspace, table.filenames, channels)
    samples = SampleSet(cfg.workspace, table.filenames, None, size, channels)
    first = first_images(samples, 2)
    units = net.output_units or output_width(net, first, device)
    classes = _test_classes(stored, table.labels, units)
    if len(samples):
        check_output(net, first, len(classes), device)
    _write_predictions(cfg, table, samples, net, classes, device, say)
