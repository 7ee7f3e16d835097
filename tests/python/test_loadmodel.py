"""loadmodel.py: real saved models to architecture JSON, and the refusals."""
import json
import shutil
import subprocess
import zipfile
from pathlib import Path

import h5py
import pytest

import loadmodel
from kolvara_nn.keras_json import keras_layer_order
from kolvara_nn.network import build_network
from realmodels import ARCHITECTURES, input_shapes, output_units
from trainnn_fixture import tiny_model_doc

SCRIPT = Path(loadmodel.__file__).resolve()
CIFAR, RESNET = "sequential_cnn_cifar10_tf2.13.h5", "functional_resnet_cifar10_tf2.4.h5"
MNIST3, WEIGHTS_ONLY = "sequential_cnn_mnist_keras3.1.keras", "weights_only_cnn_mnist_tf2.13.h5"


@pytest.mark.parametrize("arch", ARCHITECTURES, ids=lambda a: a.path)
def test_real_model_converts_builds_and_runs(testdata, tmp_path, arch):
    out = tmp_path / "usermodel.json"
    result = subprocess.run(["/usr/bin/python3", str(SCRIPT), str(testdata / "keras" / arch.path), str(out),
                             arch.mode], capture_output=True, text=True, timeout=120)
    assert (result.returncode, result.stderr) == (0, "")
    assert [p.name for p in tmp_path.iterdir()] == ["usermodel.json"]
    # None records an input scaling; the one starting with Rescaling scales its own input
    info = json.loads(result.stdout.split("Model info: ", 1)[1])
    scales = "Rescaling" in arch.path or "augmentation" in arch.path
    assert info == {"input_scaling": "raw" if scales else None, "input_scaling_from": "network" if scales else None,
                    "class_names": None}
    doc = json.loads(out.read_text(encoding="utf-8"))
    assert doc["class_name"] == "Functional" and len(doc["config"]["layers"]) == arch.layers
    assert (input_shapes(doc)[0], output_units(doc)) == (arch.input_shape, arch.units)
    if arch.path.startswith("functional"):  # Keras wrote these in its own model.layers order
        assert keras_layer_order(doc) == [r["name"] for r in doc["config"]["layers"]]
    assert sum(build_network(doc).param_counts()) == arch.params  # running it: test_h5io_load


def _put(path, data=None, source=None, **files):
    """Write bytes, copy a file, or (with neither) make a folder of copied files."""
    if source:
        shutil.copyfile(source, path)
    elif data is not None:
        path.write_bytes(data)
    else:
        path.mkdir()
        for name, src in files.items():
            shutil.copyfile(src, path / name)
    return path


def _lambda_model(path):
    doc = tiny_model_doc()
    doc["config"]["layers"][2]["class_name"] = "Lambda"
    with h5py.File(path, "w") as f:
        f.attrs["model_config"] = json.dumps(doc)
    return path


def _config_free_zip(path):
    with zipfile.ZipFile(path, "w") as archive:
        archive.writestr("model.weights.h5", b"")
    return path


ACCEPTED = [  # (case, make(tmp, keras folder) -> model path, mode, layer count)
    ("hdf5 named .keras", lambda t, k: _put(t / "x.keras", source=k / RESNET), "0", 30),
    ("zip named .h5", lambda t, k: _put(t / "x.h5", source=k / MNIST3), "1", 8),
    ("folder with one model and checkpoints", lambda t, k: _put(
        t / "ws", **{"my_model.h5": k / CIFAR, "e0001-0.5-0.5-weights.hdf5": k / WEIGHTS_ONLY}), "2", 9),
]


@pytest.mark.parametrize("case, make, mode, layers", ACCEPTED, ids=[c[0] for c in ACCEPTED])
def test_content_decides_the_format(testdata, tmp_path, case, make, mode, layers):
    out = tmp_path / "usermodel.json"
    out.write_text('{"old": true}')
    assert loadmodel.main([str(make(tmp_path, testdata / "keras")), str(out), mode]) == 0
    assert len(json.loads(out.read_text())["config"]["layers"]) == layers


REFUSALS = [  # (case, make(tmp, keras folder) -> model path, mode, message)
    ("weights-only h5", lambda t, k: k / WEIGHTS_ONLY, "1", "weights-only file"),
    ("old weights-only h5", lambda t, k: k / "weights_only_cnn_mnist_keras2.1.2.h5", "1", "no model architecture"),
    ("missing file", lambda t, k: t / "nothing.h5", "1", "no such file or folder"),
    ("random bytes", lambda t, k: _put(t / "bad.h5", b"no model" * 99), "1", "not a Keras model file"),
    ("truncated hdf5", lambda t, k: _put(t / "cut.h5", (k / CIFAR).read_bytes()[:4096]), "1",
     "cannot read the HDF5 file"),
    ("truncated zip", lambda t, k: _put(t / "cut.keras", (k / MNIST3).read_bytes()[:2000]), "0",
     "damaged .keras archive"),
    ("zip without config", lambda t, k: _config_free_zip(t / "w.keras"), "0", "weights only (no config.json)"),
    ("empty folder", lambda t, k: _put(t / "empty"), "2", "no SavedModel"),
    ("folder of weights only", lambda t, k: _put(t / "w", **{"w.h5": k / WEIGHTS_ONLY}), "2", "weights-only file"),
    ("folder with two models", lambda t, k: _put(t / "two", **{"a.h5": k / CIFAR, "b.keras": k / MNIST3}), "2",
     "several models (a.h5, b.keras)"),
    ("checkpoint folder", lambda t, k: _put(t / "c", **{"w.index": k / CIFAR}), "2", "TensorFlow checkpoint"),
    ("lambda layer", lambda t, k: _lambda_model(t / "l.h5"), "1", "Lambda"),
    ("unknown mode", lambda t, k: k / CIFAR, "7", "unknown mode"),
]


@pytest.mark.parametrize("case, make, mode, message", REFUSALS, ids=[c[0] for c in REFUSALS])
def test_refusal_is_one_line_and_removes_stale_output(testdata, tmp_path, capsys, case, make, mode, message):
    model = make(tmp_path, testdata / "keras")
    out = tmp_path / "usermodel.json"
    out.write_text('{"class_name": "Functional", "config": {"layers": []}}')  # an earlier model
    assert loadmodel.main([str(model), str(out), mode]) == 1
    err = capsys.readouterr().err
    assert err.startswith("loadmodel: ") and err.count("\n") == 1 and message in err
    assert not out.exists()


def test_usage_error_and_output_naming_the_model(testdata, tmp_path, capsys):
    assert loadmodel.main(["only-one-argument"]) == 1
    assert capsys.readouterr().err.startswith("loadmodel: ")
    model = _put(tmp_path / "m.h5", source=testdata / "keras" / CIFAR)
    assert loadmodel.main([str(model), str(model), "1"]) == 1
    assert model.read_bytes() == (testdata / "keras" / CIFAR).read_bytes()
    assert "output file is the model itself" in capsys.readouterr().err
