"""loadmodel.py MODEL_PATH OUTPUT_JSON MODE
loadmodel.py --info WEIGHTS_PATH

Writes the architecture of a saved Keras model (MODE "0" .keras, "1" .h5, "2" a folder) as a
Keras 2 functional-model JSON document to OUTPUT_JSON. On failure: one line on standard error,
exit status 1, and no OUTPUT_JSON.

Both forms print one line "Model info: {...}" (JSON) telling how the model is applied:
"input_scaling" (recorded with the model, or "raw" for a network that scales its own input;
null when neither), "input_scaling_from" ("recorded", "network" or null) and "class_names"
(recorded, in output order, or null). With --info only that line is printed; a folder stands
for its newest model or checkpoint file, as it does for trainNN.py.
"""
import json
import os
import sys

from kolvara_nn import graph, h5io, keras_json, modelfiles
from kolvara_nn.atomic import write_bytes_atomic
from kolvara_nn.errors import ModelError

USAGE = ("usage: loadmodel.py MODEL_PATH OUTPUT_JSON MODE (0 .keras, 1 .h5, 2 folder) "
         "| loadmodel.py --info WEIGHTS_PATH")
INFO_PREFIX = "Model info: "


def _same_file(a, b):
    try:
        return os.path.samefile(a, b)
    except OSError:
        return False


def _discard_stale_output(output, model_path):
    """The app reads OUTPUT_JSON whatever the exit status: an earlier model's architecture
    left there would be shown as if this load had worked."""
    if os.path.isfile(output) and not _same_file(output, model_path):
        try:
            os.remove(output)
        except OSError:
            pass


def convert(model_path, output, mode):
    """Read, check and write one model's architecture. Raises ModelError."""
    if os.path.exists(output) and _same_file(output, model_path):
        raise ModelError("%s: the output file is the model itself" % output)
    doc = modelfiles.read_architecture(model_path, mode)
    problems = keras_json.problems(doc)
    if problems:
        raise ModelError("%s: %s" % (model_path, "; ".join(problems)))
    try:
        text = json.dumps(doc, allow_nan=False)
    except ValueError:
        raise ModelError("%s: the architecture holds a number JSON cannot store (NaN or "
                         "infinity)" % model_path)
    write_bytes_atomic(output, text.encode("utf-8"))
    return doc


def _recorded_file(path):
    """The HDF5 file whose attributes describe a model path, or None."""
    if os.path.isdir(path):
        names = modelfiles.folder_model_files(path)
        path = os.path.join(path, names[0]) if len(names) == 1 else None
    return path if path and modelfiles.sniff(path) == "hdf5" else None


def model_info(path, doc):
    """How to apply the model at `path` whose architecture is `doc` (None when unknown)."""
    recorded = _recorded_file(path)
    scaling = h5io.read_input_scaling(recorded) if recorded else None
    names = h5io.read_class_names(recorded) if recorded else None
    source = "recorded" if scaling else None
    if scaling is None and doc is not None and graph.scales_own_input(doc):
        scaling, source = "raw", "network"
    return {"input_scaling": scaling, "input_scaling_from": source, "class_names": names}


def inspect(weights_path):
    """model_info of a weights file or folder, the architecture read when the file has one."""
    path = modelfiles.weights_file(weights_path)
    try:
        doc = modelfiles.read_architecture(path, "1")
    except ModelError:
        doc = None  # weights only
    return model_info(path, doc)


def _say_info(info):
    print(INFO_PREFIX + json.dumps(info), flush=True)


def main(argv=None):
    args = sys.argv[1:] if argv is None else list(argv)
    if len(args) == 2 and args[0] == "--info":
        try:
            _say_info(inspect(args[1]))
        except (ModelError, OSError, ValueError) as exc:
            print("loadmodel: %s" % " ".join(str(exc).split()), file=sys.stderr)
            return 1
        return 0
    if len(args) != 3:
        print("loadmodel: " + USAGE, file=sys.stderr)
        return 1
    model_path, output, mode = args
    try:
        doc = convert(model_path, output, mode)
        _say_info(model_info(model_path, doc))
    except (ModelError, OSError, ValueError, RecursionError) as exc:
        _discard_stale_output(output, model_path)
        print("loadmodel: %s" % " ".join(str(exc).split()), file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
