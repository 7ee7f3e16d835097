"""loadmodel.py MODEL_PATH OUTPUT_JSON MODE

Writes the architecture of a saved Keras model (MODE "0" .keras, "1" .h5, "2" a folder) as a
Keras 2 functional-model JSON document to OUTPUT_JSON. On failure: one line on standard error,
exit status 1, and no OUTPUT_JSON.
"""
import json
import os
import sys

from kolvara_nn import keras_json, modelfiles
from kolvara_nn.atomic import write_bytes_atomic
from kolvara_nn.errors import ModelError

USAGE = "usage: loadmodel.py MODEL_PATH OUTPUT_JSON MODE (0 .keras, 1 .h5, 2 folder)"


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


def main(argv=None):
    args = sys.argv[1:] if argv is None else list(argv)
    if len(args) != 3:
        print("loadmodel: " + USAGE, file=sys.stderr)
        return 1
    model_path, output, mode = args
    try:
        convert(model_path, output, mode)
    except (ModelError, OSError, ValueError, RecursionError) as exc:
        _discard_stale_output(output, model_path)
        print("loadmodel: %s" % " ".join(str(exc).split()), file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
