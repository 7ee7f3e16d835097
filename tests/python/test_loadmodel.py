"""loadmodel.py: real saved models to architecture JSON, and the refusals."""
import json
import shutil
import subprocess
import zipfile
from pathlib import Path

import h5py
import numpy as np
import pytest

import loadmodel
from kolvara_nn.network import build_network
from realmodels import ARCHITECTURES, input_shapes, output_units, run, sample_inputs

SCRIPT = Path(loadmodel.__file__).resolve()
CIFAR, RESNET = "sequential_cnn_cifar10_tf2.13.h5", "functional_resnet_cifar10_tf2.4.h5"
MNIST3, WEIGHTS_ONLY = "sequential_cnn_mnist_keras3.1.keras", "weights_only_cnn_mnist_tf2.13.h5"


def run_script(*args):
    return subprocess.run(["/usr/bin/python3", str(SCRIPT), *map(str, args)],
                          capture_output=True, text=True, timeout=120)


@pytest.mark.parametrize("arch", ARCHITECTURES, ids=lambda a: a.path)
def test_real_model_converts_builds_and_runs(testdata, tmp_path, arch):
    out = tmp_path / "usermodel.json"
    result = run_script(testdata / "keras" / arch.path, out, arch.mode)
    assert (result.returncode, result.stderr) == (0, "")
    doc = json.loads(out.read_text(encoding="utf-8"))
    assert doc["class_name"] == "Functional"
    assert len(doc["config"]["layers"]) == arch.layers
    assert input_shapes(doc)[0] == arch.input_shape
    assert output_units(doc) == arch.units
    assert [p.name for p in tmp_path.iterdir()] == ["usermodel.json"]
    outputs = run(build_network(doc), sample_inputs(doc))
    assert all(o.shape == (2, arch.units) and np.isfinite(o).all() for o in outputs)


def _copy(source, target):
    shutil.copyfile(source, target)
    return target


def _write(path, data):
    path.write_bytes(data)
    return path


def _folder(path, **files):
    path.mkdir()
    for name, source in files.items():
        _copy(source, path / name)
    return path


def _zip(path, members):
    with zipfile.ZipFile(path, "w") as archive:
        for name, data in members.items():
            archive.writestr(name, data)
    return path


def _lambda_model(path):
    layers = [{"class_name": "InputLayer", "name": "input_1", "inbound_nodes": [],
               "config": {"batch_input_shape": [None, 4], "name": "input_1"}},
              {"class_name": "Lambda", "name": "lambda", "inbound_nodes": [[["input_1", 0, 0, {}]]],
               "config": {"name": "lambda", "function": ["4wEAAAAA", None, None]}}]
    with h5py.File(path, "w") as f:
        f.attrs["model_config"] = json.dumps({"class_name": "Functional", "config": {
            "name": "m", "layers": layers, "input_layers": [["input_1", 0, 0]],
            "output_layers": [["lambda", 0, 0]]}})
    return path


ACCEPTED = [  # (case, make(tmp, keras folder) -> model path, mode, layer count)
    ("hdf5 named .keras", lambda t, k: _copy(k / RESNET, t / "x.keras"), "0", 30),
    ("zip named .h5", lambda t, k: _copy(k / MNIST3, t / "x.h5"), "1", 8),
    ("folder with one model and checkpoints", lambda t, k: _folder(
        t / "ws", **{"my_model.h5": k / CIFAR, "e0001-0.5-0.5-weights.hdf5": k / WEIGHTS_ONLY}),
     "2", 9),
]


@pytest.mark.parametrize("case, make, mode, layers", ACCEPTED, ids=[c[0] for c in ACCEPTED])
def test_content_decides_the_format(testdata, tmp_path, case, make, mode, layers):
    out = tmp_path / "usermodel.json"
    out.write_text('{"old": true}')
    assert loadmodel.main([str(make(tmp_path, testdata / "keras")), str(out), mode]) == 0
    assert len(json.loads(out.read_text())["config"]["layers"]) == layers


REFUSALS = [  # (case, make(tmp, keras folder) -> model path, mode, message)
    ("weights-only h5", lambda t, k: k / WEIGHTS_ONLY, "1", "weights-only file"),
    ("old weights-only h5", lambda t, k: k / "weights_only_cnn_mnist_keras2.1.2.h5", "1",
     "no model architecture"),
    ("missing file", lambda t, k: t / "nothing.h5", "1", "no such file or folder"),
    ("random bytes", lambda t, k: _write(t / "bad.h5", b"no model" * 99), "1",
     "not a Keras model file"),
    ("truncated hdf5", lambda t, k: _write(t / "cut.h5", (k / CIFAR).read_bytes()[:4096]), "1",
     "cannot read the HDF5 file"),
    ("truncated zip", lambda t, k: _write(t / "cut.keras", (k / MNIST3).read_bytes()[:2000]),
     "0", "damaged .keras archive"),
    ("zip without config", lambda t, k: _zip(t / "w.keras", {"model.weights.h5": b""}), "0",
     "weights only (no config.json)"),
    ("empty folder", lambda t, k: _folder(t / "empty"), "2", "no SavedModel"),
    ("folder of weights only", lambda t, k: _folder(t / "w", **{"w.h5": k / WEIGHTS_ONLY}), "2",
     "weights-only file"),
    ("folder with two models", lambda t, k: _folder(
        t / "two", **{"a.h5": k / CIFAR, "b.keras": k / MNIST3}), "2",
     "several models (a.h5, b.keras)"),
    ("checkpoint folder", lambda t, k: _folder(t / "c", **{"w.index": k / CIFAR}), "2",
     "TensorFlow checkpoint"),
    ("lambda layer", lambda t, k: _lambda_model(t / "l.h5"), "1", "Lambda"),
    ("unknown mode", lambda t, k: k / CIFAR, "7", "unknown mode"),
]


@pytest.mark.parametrize("case, make, mode, message", REFUSALS, ids=[c[0] for c in REFUSALS])
def test_refusal_is_one_line_and_removes_stale_output(testdata, tmp_path, capsys, case, make,
                                                      mode, message):
    model = make(tmp_path, testdata / "keras")
    out = tmp_path / "usermodel.json"
    out.write_text('{"class_name": "Functional", "config": {"layers": []}}')  # an earlier model
    assert loadmodel.main([str(model), str(out), mode]) == 1
    err = capsys.readouterr().err
    assert err.startswith("loadmodel: ") and err.count("\n") == 1
    assert message in err
    assert not out.exists()


def test_refusal_from_the_command_line(testdata, tmp_path):
    result = run_script(testdata / "keras" / WEIGHTS_ONLY, tmp_path / "out.json", "1")
    assert result.returncode == 1 and result.stdout == ""
    assert result.stderr.count("\n") == 1 and "Traceback" not in result.stderr
    assert list(tmp_path.iterdir()) == []
    assert run_script("only-one-argument").returncode == 1


def test_output_path_naming_the_model_is_refused(testdata, tmp_path, capsys):
    model = _copy(testdata / "keras" / CIFAR, tmp_path / "m.h5")
    before = model.read_bytes()
    assert loadmodel.main([str(model), str(model), "1"]) == 1
    assert model.read_bytes() == before
    assert "output file is the model itself" in capsys.readouterr().err
