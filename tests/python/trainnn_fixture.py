"""Small generated inputs for trainNN.py: textured tiles written the way the app writes
them, and a tiny network document. Run as a script to capture a real run's output:
    /usr/bin/python3 tests/python/trainnn_fixture.py tests/data/trainNN_run
"""
import json
import os
from pathlib import Path
import subprocess
import sys
import tempfile

import numpy as np
from PIL import Image

ROOT = Path(__file__).resolve().parents[2]
SCRIPT = ROOT / "workers" / "trainNN.py"
HEADER = "index,i,j,filename,label"


def texture(kind: int, seed: int, size: int = 16) -> Image.Image:
    """Kind 0: horizontal stripes; kind 1: a checkerboard; both with mild noise."""
    rng = np.random.RandomState(seed)
    y, x = np.mgrid[0:size, 0:size]
    base = (y // 2 % 2) if kind == 0 else ((x // 2 + y // 2) % 2)
    pixels = base[..., None] * 160 + 40 + rng.randint(0, 40, (size, size, 3))
    return Image.fromarray(pixels.astype(np.uint8), "RGB")


def write_tiles(folder, root: str, labels) -> Path:
    """Tiles `<root>_<i><j>.png` and `<root>_outputlabel.csv` for a grid of 0/1 labels."""
    folder = Path(folder)
    folder.mkdir(parents=True, exist_ok=True)
    lines, index = [HEADER], 0
    for i, row in enumerate(labels):
        for j, label in enumerate(row):
            index += 1
            name = f"{root}_{i}{j}.png"
            texture(label, seed=index * 7 + len(root)).save(folder / name)
            lines.append(f"{index},{i},{j},{name},{label}")
    path = folder / f"{root}_outputlabel.csv"
    path.write_text("\n".join(lines) + "\n")
    return path


def write_named_images(folder, labelled: dict, kinds: dict) -> Path:
    """`<name>.png` per entry and folderimage_outputlabel.csv (index = i = j)."""
    folder = Path(folder)
    folder.mkdir(parents=True, exist_ok=True)
    lines = [HEADER]
    for n, (name, label) in enumerate(labelled.items(), 1):
        texture(kinds[label], seed=n).save(folder / f"{name}.png")
        lines.append(f"{n},{n},{n},{name}.png,{label}")
    path = folder / "folderimage_outputlabel.csv"
    path.write_text("\n".join(lines) + "\n")
    return path


def _layer(class_name, name, config, inbound):
    nodes = [[[inbound, 0, 0, {}]]] if inbound else []
    return {"class_name": class_name, "config": {"name": name, "trainable": True,
                                                 "dtype": "float32", **config},
            "name": name, "inbound_nodes": nodes}


def tiny_model_doc(units: int = 2, size: int = 16) -> dict:
    glorot, zeros = {"class_name": "GlorotUniform", "config": {"seed": None}}, {"class_name": "Zeros", "config": {}}
    unset = dict.fromkeys(["kernel_regularizer", "bias_regularizer", "activity_regularizer", "kernel_constraint",
                           "bias_constraint"])
    layers = [
        {"class_name": "InputLayer", "name": "input_1", "inbound_nodes": [], "config": {
            "batch_input_shape": [None, size, size, 3], "dtype": "float32", "sparse": False, "ragged": False, "name": "input_1"}},
        _layer("Conv2D", "conv2d", {"filters": 4, "kernel_size": [3, 3], "strides": [1, 1], "padding": "valid",
                                    "data_format": "channels_last", "dilation_rate": [1, 1], "groups": 1, "activation": "relu",
                                    "use_bias": True, "kernel_initializer": glorot, "bias_initializer": zeros, **unset},
               "input_1"),
        _layer("Flatten", "flatten", {"data_format": "channels_last"}, "conv2d"),
        _layer("Dense", "dense", {"units": units, "activation": "softmax", "use_bias": True, "kernel_initializer": glorot,
                                  "bias_initializer": zeros, **unset}, "flatten"),
    ]
    return {"class_name": "Functional", "keras_version": "2.11.0", "backend": "tensorflow",
            "config": {"name": "tiny", "layers": layers, "input_layers": [["input_1", 0, 0]],
                       "output_layers": [["dense", 0, 0]]}}


def tile_run(base) -> tuple:
    """A workspace with test tiles and a separate training folder; returns (argv, workspace)."""
    base = Path(base)
    grid = [[(i + j) % 2 for j in range(4)] for i in range(3)]
    write_tiles(base / "train", "field", grid + [[1 - v for v in row] for row in grid])
    write_tiles(base / "ws", "field", [[0, 1, 1], [1, 0, 0]])
    (base / "custommodel_temp.json").write_text(json.dumps(tiny_model_doc()))
    argv = [str(base / "custommodel_temp.json"), str(base / "ws"), str(base / "train"),
            "custom", "", "4", "2", "Adam", "categorical_crossentropy", "",
            "field_outputlabel.csv", "0.60", "true", "false", "false", "false", "",
            "div255", "", "true", "0"]
    return argv, base / "ws"


def run_script(argv, timeout=120):
    """Run trainNN.py as the app does: a child process with pipes."""
    return subprocess.run([sys.executable, str(SCRIPT)] + list(argv), capture_output=True,
                          timeout=timeout, env={**os.environ, "CUDA_VISIBLE_DEVICES": "", "OMP_NUM_THREADS": "1"})


def main(argv=None) -> int:
    target = Path((argv or sys.argv[1:])[0])
    with tempfile.TemporaryDirectory() as tmp:
        args, workspace = tile_run(tmp)
        before = set(os.listdir(workspace))
        done = run_script(args)
        written = sorted(set(os.listdir(workspace)) - before)
    target.mkdir(parents=True, exist_ok=True)
    (target / "stdout.txt").write_bytes(done.stdout)
    (target / "stderr.txt").write_bytes(done.stderr)
    (target / "files.txt").write_text("\n".join(written) + "\n")
    (target / "args.txt").write_text("\n".join(a.replace(tmp, "<tmp>") for a in args) + "\n")
    print(f"exit {done.returncode}; {len(written)} new files", flush=True)
    return done.returncode


if __name__ == "__main__":
    sys.exit(main())
