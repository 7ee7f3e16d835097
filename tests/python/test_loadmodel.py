"""loadmodel.py: real saved models to architecture JSON, and the refusals."""
import json
import shutil
import subprocess
import sys
import zipfile
from pathlib import Path

import numpy as np
import pytest

import loadmodel
from kolvara_nn.network import build_network
from realmodels import ARCHITECTURES, input_shapes, output_units, run, sample_inputs

SCRIPT = Path(__file__).resolve().parents[2] / "workers" / "loadmodel.py"
PYTHON = "/usr/bin/python3" if Path("/usr/bin/python3").exists() else sys.executable


def run_script(*args):
    return subprocess.run([PYTHON, str(SCRIPT), *map(str, args)], capture_output=True,
                          text=True, timeout=120)


@pytest.mark.parametrize("arch", ARCHITECTURES, ids=lambda a: a.path)
def test_real_model_converts_builds_and_runs(testdata, tmp_path, arch):
    out = tmp_path / "usermodel.json"
    result = run_script(testdata / "keras" / arch.path, out, arch.mode)
    assert result.returncode == 0, result.stderr
    assert result.stderr == ""
    doc = json.loads(out.read_text(encoding="utf-8"))
    assert doc["class_name"] in ("Functional", "Model")
    assert len(doc["config"]["layers"]) == arch.layers
    assert input_shapes(doc)[0] == arch.input_shape
    assert output_units(doc) == arch.units
    assert [p.name for p in tmp_path.iterdir()] == ["usermodel.json"]

    outputs = run(build_network(doc), sample_inputs(doc))
    assert all(o.shape == (2, arch.units) and np.isfinite(o).all() for o in outputs)


def copy_of(testdata, name, target):
    shutil.copyfile(testdata / "keras" / name, target)
    return target


def test_hdf5_model_under_keras_name_is_detected(testdata, tmp_path):
    model = copy_of(testdata, "functional_resnet_cifar10_tf2.4.h5", tmp_path / "x.keras")
    out = tmp_path / "out.json"
    assert loadmodel.main([str(model), str(out), "0"]) == 0
    assert len(json.loads(out.read_text())["config"]["layers"]) == 30


def test_zip_model_under_h5_name_is_detected(testdata, tmp_path):
    model = copy_of(testdata, "sequential_cnn_mnist_keras3.1.keras", tmp_path / "x.h5")
    out = tmp_path / "out.json"
    assert loadmodel.main([str(model), str(out), "1"]) == 0
    assert output_units(json.loads(out.read_text())) == 10


def test_folder_with_one_model_beside_weights_only_files(testdata, tmp_path):
    folder = tmp_path / "workspace"
    folder.mkdir()
    copy_of(testdata, "sequential_cnn_cifar10_tf2.13.h5", folder / "my_model.h5")
    copy_of(testdata, "weights_only_cnn_mnist_tf2.13.h5", folder / "e0001-0.5-0.5-weights.hdf5")
    (folder / "notes.txt").write_text("not a model")
    out = tmp_path / "out.json"
    assert loadmodel.main([str(folder), str(out), "2"]) == 0
    assert input_shapes(json.loads(out.read_text())) == [[32, 32, 3]]


def test_success_replaces_an_earlier_output(testdata, tmp_path):
    out = tmp_path / "usermodel.json"
    out.write_text('{"old": true}')
    model = testdata / "keras" / "sequential_cnn_mnist_keras3.1.keras"
    assert loadmodel.main([str(model), str(out), "0"]) == 0
    assert "old" not in json.loads(out.read_text())


def make_refusal_case(testdata, tmp_path, case):
    """Build the input of one refusal case; returns (model path, mode)."""
    keras = testdata / "keras"
    if case == "weights-only h5":
        return keras / "weights_only_cnn_mnist_tf2.13.h5", "1"
    if case == "old weights-only h5":
        return keras / "weights_only_cnn_mnist_keras2.1.2.h5", "1"
    if case == "missing file":
        return tmp_path / "nothing.h5", "1"
    if case == "random bytes":
        (tmp_path / "bad.h5").write_bytes(b"this is not a model" * 100)
        return tmp_path / "bad.h5", "1"
    if case == "truncated hdf5":
        data = (keras / "sequential_cnn_cifar10_tf2.13.h5").read_bytes()[:4096]
        (tmp_path / "cut.h5").write_bytes(data)
        return tmp_path / "cut.h5", "1"
    if case == "truncated zip":
        data = (keras / "sequential_cnn_mnist_keras3.1.keras").read_bytes()[:2000]
        (tmp_path / "cut.keras").write_bytes(data)
        return tmp_path / "cut.keras", "0"
    if case == "zip without config":
        with zipfile.ZipFile(tmp_path / "w.keras", "w") as z:
            z.writestr("model.weights.h5", b"")
        return tmp_path / "w.keras", "0"
    if case == "empty folder":
        (tmp_path / "empty").mkdir()
        return tmp_path / "empty", "2"
    if case == "folder of weights only":
        (tmp_path / "w").mkdir()
        copy_of(testdata, "weights_only_cnn_mnist_tf2.13.h5", tmp_path / "w" / "w.h5")
        return tmp_path / "w", "2"
    if case == "folder with two models":
        (tmp_path / "two").mkdir()
        copy_of(testdata, "sequential_cnn_cifar10_tf2.13.h5", tmp_path / "two" / "a.h5")
        copy_of(testdata, "sequential_cnn_mnist_keras3.1.keras", tmp_path / "two" / "b.keras")
        return tmp_path / "two", "2"
    if case == "checkpoint folder":
        (tmp_path / "ckpt").mkdir()
        (tmp_path / "ckpt" / "w.index").write_bytes(b"\0")
        (tmp_path / "ckpt" / "w.data-00000-of-00001").write_bytes(b"\0")
        return tmp_path / "ckpt", "2"
    if case == "unknown mode":
        return keras / "sequential_cnn_cifar10_tf2.13.h5", "7"
    raise AssertionError(case)


REFUSALS = [
    ("weights-only h5", "weights-only file"),
    ("old weights-only h5", "no model architecture"),
    ("missing file", "no such file or folder"),
    ("random bytes", "not a Keras model file"),
    ("truncated hdf5", "cannot read the HDF5 file"),
    ("truncated zip", "damaged .keras archive"),
    ("zip without config", "weights only (no config.json)"),
    ("empty folder", "no SavedModel"),
    ("folder of weights only", "weights-only file"),
    ("folder with two models", "several models (a.h5, b.keras)"),
    ("checkpoint folder", "TensorFlow checkpoint"),
    ("unknown mode", "unknown mode"),
]


@pytest.mark.parametrize("case, message", REFUSALS, ids=[c for c, _ in REFUSALS])
def test_refusal_is_one_line_and_removes_stale_output(testdata, tmp_path, capsys, case, message):
    model, mode = make_refusal_case(testdata, tmp_path, case)
    out = tmp_path / "usermodel.json"
    out.write_text('{"class_name": "Functional", "config": {"layers": []}}')  # earlier model
    assert loadmodel.main([str(model), str(out), mode]) == 1
    err = capsys.readouterr().err
    assert err.startswith("loadmodel: ") and err.count("\n") == 1
    assert message in err
    assert not out.exists()


def test_refusal_from_the_command_line(testdata, tmp_path):
    out = tmp_path / "usermodel.json"
    result = run_script(testdata / "keras" / "weights_only_cnn_mnist_tf2.13.h5", out, "1")
    assert result.returncode == 1
    assert result.stdout == ""
    assert result.stderr.count("\n") == 1 and "Traceback" not in result.stderr
    assert list(tmp_path.iterdir()) == []


@pytest.mark.parametrize("argv", [[], ["a"], ["a", "b", "1", "extra"]])
def test_wrong_argument_count(argv, capsys):
    assert loadmodel.main(argv) == 1
    assert "usage" in capsys.readouterr().err


def test_output_path_naming_the_model_is_refused(testdata, tmp_path, capsys):
    model = copy_of(testdata, "sequential_cnn_cifar10_tf2.13.h5", tmp_path / "m.h5")
    before = model.read_bytes()
    assert loadmodel.main([str(model), str(model), "1"]) == 1
    assert model.read_bytes() == before
    assert "output file is the model itself" in capsys.readouterr().err


def lambda_model(tmp_path):
    import h5py
    doc = {"class_name": "Functional", "config": {"name": "m", "layers": [
        {"class_name": "InputLayer", "name": "input_1", "inbound_nodes": [],
         "config": {"batch_input_shape": [None, 4], "dtype": "float32", "name": "input_1"}},
        {"class_name": "Lambda", "name": "lambda", "inbound_nodes": [[["input_1", 0, 0, {}]]],
         "config": {"name": "lambda", "function": ["4wEAAAAAAAAA", None, None],
                    "function_type": "lambda", "module": "__main__"}}],
        "input_layers": [["input_1", 0, 0]], "output_layers": [["lambda", 0, 0]]}}
    path = tmp_path / "lambda.h5"
    with h5py.File(path, "w") as f:
        f.attrs["model_config"] = json.dumps(doc)
        f.attrs["keras_version"] = "2.11.0"
    return path


def test_lambda_layer_is_refused(tmp_path, capsys):
    out = tmp_path / "out.json"
    assert loadmodel.main([str(lambda_model(tmp_path)), str(out), "1"]) == 1
    assert "Lambda" in capsys.readouterr().err
    assert not out.exists()
