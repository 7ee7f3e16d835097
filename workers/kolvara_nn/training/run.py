"""The two runs of trainNN.py: training (with checkpoints, final model, predictions and
metrics image) and pure test (predictions only)."""
import os
from pathlib import Path

import torch

from .. import h5io
from ..atomic import write_bytes_atomic
from . import model_setup
from .args import TrainConfig
from .augment import augment
from .data import class_order, load_images, read_label_table, split_indices
from .losses import keras_loss
from .metrics_plot import metrics_png
from .optimizers import keras_config, make_optimizer
from .predict_csv import prediction_text
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


def _on_device(images, device):
    return images.to(device) if device.type == "cuda" else images


def _one_hot(labels, classes):
    index = {c: i for i, c in enumerate(classes)}
    rows = torch.tensor([index[label] for label in labels], dtype=torch.long)
    return torch.nn.functional.one_hot(rows, len(classes)).float()


def _write_predictions(cfg, table, images, net, classes, device, say):
    found = predict(net, _on_device(images, device), cfg.batch_size, device)
    predicted = [classes[i] for i in found]
    path = cfg.workspace / cfg.label_doc
    write_bytes_atomic(str(path), prediction_text(table, predicted).encode("utf-8"))
    say(f"Predictions for {len(predicted)} test images written to {path}")
    return predicted


def _save_checkpoint(cfg, net, epoch, val_accuracy, accuracy, say):
    name = f"e{epoch:04d}-{val_accuracy:.4f}-{accuracy:.4f}-weights.hdf5"
    # The app counts workspace names containing ".hdf5": the partial file must not.
    tmp = cfg.workspace / f".checkpoint-e{epoch:04d}.partial"
    h5io.save_weights(str(tmp), net)
    os.replace(tmp, cfg.workspace / name)
    say(f"Epoch {epoch}: saving model to {cfg.workspace / name}")


def _fit(cfg, net, data, device, say, stream):
    x_train, y_train, x_val, y_val = data
    optimizer = make_optimizer(cfg.optimizer, net.parameters())
    loss_fn = keras_loss(cfg.loss, net.output_activations[0])
    gen = torch.Generator().manual_seed(SEED)
    history = {"loss": [], "accuracy": [], "val_loss": [], "val_accuracy": []}
    for epoch in range(1, cfg.epochs + 1):
        if cfg.epochs > 1:
            say(f"Epoch {epoch}/{cfg.epochs}")
        loss, accuracy, bar = fit_epoch(net, optimizer, loss_fn, x_train, y_train,
                                        cfg.batch_size, device, stream, gen)
        logs = [("loss", loss), ("accuracy", accuracy)]
        val_accuracy = 0.0
        if x_val.shape[0]:
            val_loss, val_accuracy = evaluate(net, loss_fn, x_val, y_val, cfg.batch_size, device)
            logs += [("val_loss", val_loss), ("val_accuracy", val_accuracy)]
        bar.update(bar.target, logs, finalize=True)
        for key, value in logs:
            history[key].append(value)
        _save_checkpoint(cfg, net, epoch, val_accuracy, accuracy, say)
    return optimizer, history


def _training_data(cfg, table, classes, size, channels, device, say):
    images = load_images(cfg.train_folder, table.filenames, size, channels)
    targets = _one_hot(table.labels, classes)
    train, val = split_indices(len(table.rows), cfg.train_share, SEED)
    x_train, y_train = augment(images[train], targets[train], cfg.shift, cfg.crop,
                               cfg.rotate, cfg.distort, seed=SEED)
    say(f"Training on {x_train.shape[0]} images ({len(train)} before augmentation), "
        f"validating on {len(val)}; {len(classes)} classes: {', '.join(classes)}")
    return (_on_device(x_train, device), y_train.to(device),
            _on_device(images[val], device), targets[val].to(device)), tuple(images.shape[1:3])


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
    data, size = _training_data(cfg, table, classes, size, channels, device, say)
    test_images = load_images(cfg.workspace, test_table.filenames, size, channels)
    check_output(net, data[0], len(classes), device)
    optimizer, history = _fit(cfg, net, data, device, say, stream)
    training_config = {"loss": cfg.loss, "metrics": ["accuracy"], "weighted_metrics": None,
                       "loss_weights": None, "optimizer_config": keras_config(optimizer)}
    tmp = cfg.workspace / ".final-model.partial"
    h5io.save_model(str(tmp), net, classes, training_config)
    os.replace(tmp, cfg.workspace / MODEL_FILE)
    say(f"Model saved to {cfg.workspace / MODEL_FILE}")
    predicted = _write_predictions(cfg, test_table, test_images, net, classes, device, say)
    truth = test_table.labels
    shown = class_order(set(truth) | set(predicted) | set(classes))
    write_bytes_atomic(str(cfg.workspace / METRICS_FILE),
                       metrics_png(history, truth, predicted, shown))
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
    images = load_images(cfg.workspace, table.filenames, size, channels)
    units = net.output_units or output_width(net, images, device)
    classes = _test_classes(stored, table.labels, units)
    if images.shape[0]:
        check_output(net, images, len(classes), device)
    _write_predictions(cfg, table, images, net, classes, device, say)
