"""Finding the Keras architecture in a saved model file or folder.

The format is decided by content, not by name: tf.keras 2.11 wrote HDF5 under a `.keras` name,
and the app only knows the extension the user picked.
"""
import json
import os
import zipfile

import h5py

from . import keras_json, savedmodel
from .errors import ModelError

HDF5_SIGNATURE = b"\x89HDF\r\n\x1a\n"
ZIP_SIGNATURE = b"PK\x03\x04"
MODES = ("0", "1", "2")
MODEL_SUFFIXES = (".keras", ".h5", ".hdf5")
WEIGHT_SUFFIXES = (".h5", ".hdf5", ".keras")
# A config.json beyond this is not a model architecture; refuse instead of inflating it.
MAX_CONFIG_BYTES = 64 * 1024 * 1024


def sniff(path):
    """'hdf5', 'zip', 'json' or None, from the first bytes of a file."""
    with open(path, "rb") as f:
        head = f.read(8)
    if head == HDF5_SIGNATURE:
        return "hdf5"
    if head.startswith(ZIP_SIGNATURE):
        return "zip"
    if head.lstrip()[:1] == b"{":
        return "json"
    return None


def decode_attr(value):
    """An HDF5 string attribute as str (h5py gives bytes or str depending on the writer)."""
    if hasattr(value, "decode"):
        return value.decode("utf-8", errors="replace")
    return str(value)


def parse_json(text, source):
    try:
        doc = json.loads(text)
    except (ValueError, RecursionError) as exc:
        raise ModelError("%s: the model architecture is not valid JSON (%s)" % (source, exc))
    if not isinstance(doc, dict) or "config" not in doc:
        raise ModelError("%s: the JSON is not a Keras model architecture" % source)
    return doc


def _weights_only_hint(h5file):
    attrs = h5file.attrs
    if "layer_names" in attrs or "layer_names0" in attrs or "model_weights" in h5file:
        return "a Keras weights-only file (save_weights)"
    if "layers" in h5file or "vars" in h5file or "_layer_checkpoint_dependencies" in h5file:
        return "a Keras 3 weights-only file (.weights.h5)"
    return None


def hdf5_document(path):
    try:
        with h5py.File(path, "r") as f:
            config = f.attrs.get("model_config")
            hint = None if config is not None else _weights_only_hint(f)
    except OSError as exc:
        raise ModelError("%s: cannot read the HDF5 file (%s)" % (path, exc))
    if config is None:
        if hint:
            raise ModelError("%s is %s: it holds no model architecture; save the whole "
                             "model with model.save()" % (path, hint))
        raise ModelError("%s: HDF5 file without a Keras model" % path)
    return parse_json(decode_attr(config), path)


def read_zip_member(archive, name, source, limit=MAX_CONFIG_BYTES):
    info = archive.getinfo(name)
    if info.file_size > limit:
        raise ModelError("%s: %s is too large (%d bytes)" % (source, name, info.file_size))
    return archive.read(info)


def zip_document(path):
    try:
        with zipfile.ZipFile(path) as archive:
            names = set(archive.namelist())
            if "config.json" not in names:
                if "model.weights.h5" in names or "model.weights.npz" in names:
                    raise ModelError("%s holds weights only (no config.json): no model "
                                     "architecture" % path)
                raise ModelError("%s: zip file without config.json, not a .keras model" % path)
            text = read_zip_member(archive, "config.json", path)
    except (zipfile.BadZipFile, zipfile.LargeZipFile) as exc:
        raise ModelError("%s: damaged .keras archive (%s)" % (path, exc))
    return parse_json(text.decode("utf-8", errors="replace"), path)


def file_document(path):
    """The raw (not yet normalized) architecture document of a model file."""
    name = os.path.basename(path).lower()
    if name.endswith("keras_metadata.pb"):
        return savedmodel.read_keras_metadata(path)
    if name == "saved_model.pb":
        return savedmodel.read_saved_model(os.path.dirname(os.path.abspath(path)))
    kind = sniff(path)
    if kind == "hdf5":
        return hdf5_document(path)
    if kind == "zip":
        return zip_document(path)
    if kind == "json":
        with open(path, "rb") as f:
            return parse_json(f.read().decode("utf-8", errors="replace"), path)
    raise ModelError("%s: not a Keras model file (neither HDF5, a .keras archive nor JSON)"
                     % path)


def folder_model_files(folder):
    """Names of the model files (.keras, .h5, .hdf5) directly in a folder, sorted."""
    names = sorted(os.listdir(folder))
    return [n for n in names if n.lower().endswith(MODEL_SUFFIXES)
            and os.path.isfile(os.path.join(folder, n))]


def folder_document(folder):
    """A SavedModel folder, or a folder holding exactly one model file with an architecture."""
    if any(os.path.isfile(os.path.join(folder, n))
           for n in ("saved_model.pb", "keras_metadata.pb")):
        return savedmodel.read_saved_model(folder)
    found, refused = [], []
    for name in folder_model_files(folder):
        try:
            found.append((name, file_document(os.path.join(folder, name))))
        except ModelError as exc:
            refused.append(str(exc))
    if len(found) == 1:
        return found[0][1]
    if len(found) > 1:
        raise ModelError("%s holds several models (%s); choose one file"
                         % (folder, ", ".join(name for name, _ in found)))
    if refused:
        raise ModelError("%s: no model with an architecture in the folder: %s"
                         % (folder, "; ".join(refused)))
    if any(n.endswith(".index") for n in os.listdir(folder)):
        raise ModelError("%s holds a TensorFlow checkpoint (weights only), "
                         "no model architecture" % folder)
    raise ModelError("%s: no SavedModel (saved_model.pb) and no .h5/.keras model "
                     "in the folder" % folder)


def weights_file(path):
    """A weights file, or the newest model/checkpoint file in a folder (ValueError if none)."""
    if os.path.isfile(path):
        return path
    candidates = [os.path.join(path, n) for n in os.listdir(path)]
    candidates = [p for p in candidates
                  if os.path.isfile(p) and os.path.splitext(p)[1].lower() in WEIGHT_SUFFIXES]
    if not candidates:
        raise ValueError(f"no my_model.h5 or checkpoint file in the weights folder {path}")
    return max(candidates, key=lambda p: (os.stat(p).st_mtime_ns, os.path.basename(p)))


def read_architecture(path, mode):
    """The Keras 2 functional-shaped architecture of a model file or folder.

    mode is the loader's mode ("0" .keras, "1" .h5, "2" folder); the content decides the
    format, so a file under the wrong name still loads. Raises ModelError.
    """
    if mode not in MODES:
        raise ModelError("unknown mode %r (expected 0 for .keras, 1 for .h5, 2 for a folder)"
                         % (mode,))
    if not os.path.exists(path):
        raise ModelError("%s: no such file or folder" % path)
    try:
        raw = folder_document(path) if os.path.isdir(path) else file_document(path)
    except PermissionError as exc:
        raise ModelError("%s: cannot be read (%s)" % (path, exc.strerror))
    try:
        return keras_json.normalize(raw)
    except ModelError as exc:
        raise ModelError("%s: %s" % (path, exc))
    except (KeyError, TypeError, AttributeError, IndexError, ValueError) as exc:
        raise ModelError("%s: unsupported model architecture (%s: %s)"
                         % (path, type(exc).__name__, exc))
