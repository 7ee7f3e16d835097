"""Building the network to train or test, and loading the weights it starts from."""
from pathlib import Path

from .. import h5io, keras_json, modelfiles, transfer
from ..errors import ModelError
from ..graph import output_dense
from ..network import build_network


def build(doc_path, n_classes=None, say=print):
    """The network of the document; with `n_classes`, its output Dense layer sized to match.

    Returns (net, name of the resized output layer or None)."""
    doc = keras_json.load_document(str(doc_path))
    dense = output_dense(doc)
    resized = None
    if n_classes is not None and dense is not None and dense["config"].get("units") != n_classes:
        doc, _ = keras_json.resize_output(doc, n_classes)
        resized = dense["name"]
        say(f"Output layer '{resized}' resized from {dense['config'].get('units')} to "
            f"{n_classes} units for {n_classes} classes")
    return build_network(doc), resized


def weights_file(path) -> Path:
    """A weights file, or the newest model/checkpoint file in a folder."""
    return Path(modelfiles.weights_file(path))


def stored_class_names(path):
    """Label texts saved with a model of ours, or None (checkpoints, foreign files)."""
    if path.suffix.lower() == ".keras":
        return None
    return h5io.read_class_names(str(path))


def file_output_units(weights, doc_path):
    """Units of the output layer as stored in a weights file (by layer name), or None."""
    doc = keras_json.load_document(str(doc_path))
    dense = output_dense(doc)
    if dense is None:
        return None
    for name, arrays in h5io.read_weight_table(str(weights), h5io.layer_records(doc)):
        if name == dense["name"]:
            kernels = [a for _, a in arrays if a.ndim == 2]
            return int(kernels[0].shape[1]) if kernels else None
    return None


def load_start_weights(net, path, resized, say=print):
    """Load all weights; when the output layer was resized and its stored shape no longer
    fits, keep the new output layer fresh and load the rest."""
    try:
        h5io.load_weights(net, str(path))
    except ModelError:
        if resized is None:
            raise
        h5io.load_weights(net, str(path), skip={resized})
        say(f"Weights loaded from {path} except the resized output layer '{resized}'")
        return
    say(f"Weights loaded from {path}")


def build_for_mode(doc_path, mode, n_classes, say=print):
    """(net, resized output layer or None) for a network mode: the network as documented
    ("full"), or its backbone under a new top of `n_classes` units, frozen ("top") or not."""
    if mode == "full":
        return build(doc_path, n_classes, say)
    doc = keras_json.load_document(str(doc_path))
    net = build_network(transfer.transfer_document(doc, n_classes, frozen=mode == "top"))
    say(f"New top of {n_classes} classes on the backbone of {doc['config'].get('name', 'the model')}"
        f"{'; the backbone stays fixed' if mode == 'top' else ''}")
    return net, None


def load_weights_for_mode(net, path, mode, resized, say=print):
    if mode == "full":
        load_start_weights(net, path, resized, say)
    else:
        transfer.load_backbone_weights(net, path, say)


def file_top_units(weights):
    """Units of a new top as stored in a weights file of ours, or None."""
    for name, arrays in h5io.read_weight_table(str(weights)):
        if name == transfer.TOP_PREDICTIONS:
            kernels = [a for _, a in arrays if a.ndim == 2]
            return int(kernels[0].shape[1]) if kernels else None
    return None
