"""Building the network to train or test, and loading the weights it starts from."""
from pathlib import Path

from .. import h5io, keras_json
from ..errors import ModelError
from ..network import build_network

WEIGHT_SUFFIXES = (".h5", ".hdf5", ".keras")


def _changed_layer(old_doc, new_doc):
    old = {layer["name"]: layer for layer in old_doc["config"]["layers"]}
    for layer in new_doc["config"]["layers"]:
        if old.get(layer["name"]) != layer:
            return layer["name"], old.get(layer["name"], {}).get("config", {}).get("units")
    return None, None


def build(doc_path, n_classes=None, say=print):
    """The network of the document; with `n_classes`, its output layer sized to match.

    Returns (net, name of the replaced output layer or None)."""
    doc = keras_json.normalize(keras_json.load_document(str(doc_path)))
    resized = None
    if n_classes is not None:
        new_doc, changed = keras_json.resize_output(doc, n_classes)
        if changed:
            resized, old_units = _changed_layer(doc, new_doc)
            say(f"Output layer '{resized}' resized from {old_units} to {n_classes} units "
                f"for {n_classes} classes")
            doc = new_doc
    return build_network(doc), resized


def weights_file(path) -> Path:
    """A weights file, or the newest model/checkpoint file in a folder."""
    path = Path(path)
    if path.is_file():
        return path
    candidates = [p for p in path.iterdir() if p.is_file() and p.suffix.lower() in WEIGHT_SUFFIXES]
    if not candidates:
        raise ValueError(f"no my_model.h5 or checkpoint file in the weights folder {path}")
    return max(candidates, key=lambda p: (p.stat().st_mtime_ns, p.name))


def stored_class_names(path):
    """Label texts saved with a model of ours, or None (checkpoints, foreign files)."""
    if path.suffix.lower() == ".keras":
        return None
    return h5io.read_class_names(str(path))


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
