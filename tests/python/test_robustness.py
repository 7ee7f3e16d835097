"""Bad architecture documents through all three workers: exit status 1, one line on standard
error naming what is wrong, no traceback, and no output file written or rewritten."""
import copy
import json
import os
import re
import subprocess
import sys
import zipfile

import h5py
import pytest

import generateml
import loadmodel
import trainNN
from conftest import WORKERS
from trainnn_fixture import tile_run, tiny_model_doc


def _with(change):
    def make():
        doc = copy.deepcopy(tiny_model_doc())
        change(doc["config"]["layers"])
        return json.dumps(doc)
    return make


def _cycle(layers):
    # conv2d reads dense, which reads flatten, which reads conv2d
    layers[1]["inbound_nodes"][0][0][0] = "dense"


def _set(index, key, value):
    return _with(lambda layers: layers[index].__setitem__(key, value))


def _set_config(index, key, value):
    return _with(lambda layers: layers[index]["config"].__setitem__(key, value))


GOOD = json.dumps(tiny_model_doc())
BAD_DOCUMENTS = [  # (case, text maker, a piece (or pieces, one of which) of the one line on stderr)
    ("truncated", lambda: GOOD[:60], "valid JSON"),
    ("empty", lambda: "", "valid JSON"),
    ("trailing garbage", lambda: GOOD + " }x", "valid JSON"),
    ("top-level array", lambda: "[" + GOOD + "]", ("not a JSON object", "not a Keras model architecture")),
    ("nested past the parser", lambda: '{"config":' + "[" * 100000 + "]" * 100000 + "}", "JSON"),
    ("nested past the walks", lambda: '{"config":{"layers":[],"x":' + "[" * 900 + "]" * 900 + "}}",
     "nested too deeply"),
    ("config null", lambda: json.dumps({"class_name": "Functional", "config": None}), "no network config"),
    ("layers an object", _with(lambda layers: layers.clear() or layers.append(None)), "not a layer record"),
    ("layer a string", _with(lambda layers: layers.__setitem__(2, "flatten")), "layer 3 of the model document"),
    ("inbound entries one level short", _set(2, "inbound_nodes", [["conv2d", 0, 0, {}]]),
     "layer 'flatten': unreadable inbound entry \"conv2d\""),
    ("inbound node an object", _set(2, "inbound_nodes", {"args": []}), "layer 'flatten' has no inbound layer"),
    ("layer config null", _set(3, "config", None), "layer 'dense'"),
    ("units as words", _set_config(3, "units", "two"), "layer 'dense'"),
    ("input shape as words", _set_config(0, "batch_input_shape", [None, "sixteen", 16, 3]), "layer 'input_1'"),
    ("NaN units", lambda: GOOD.replace('"units": 2', '"units": NaN'), ("layer 'dense'", "NaN or infinity")),
    ("cycle", _with(_cycle), "part of a cycle"),
]
IDS = [case[0] for case in BAD_DOCUMENTS]


def _one_line(err, prefix, piece):
    assert "Traceback" not in err
    assert err.count("\n") == 1 and err.startswith(prefix), err
    assert any(p in err for p in ((piece,) if isinstance(piece, str) else piece)), err


@pytest.mark.parametrize("case, make, piece", BAD_DOCUMENTS, ids=IDS)
def test_generateml_refuses_with_one_line(tmp_path, capsys, case, make, piece):
    doc = tmp_path / "custommodel_temp.json"
    doc.write_text(make())
    assert generateml.main([str(doc)]) == 1
    out, err = capsys.readouterr()
    assert out == ""
    _one_line(err, "generateml.py: ", piece)


def _h5_model(path, text):
    with h5py.File(path, "w") as f:
        f.attrs["model_config"] = text
    return path


def _keras_model(path, text):
    with zipfile.ZipFile(path, "w") as archive:
        archive.writestr("config.json", text)
        archive.writestr("model.weights.h5", b"")
    return path


# The converter reads the architecture only; shapes and layer settings are checked when the
# model is built, so only what breaks the document or its graph is refused here.
CONVERTER_REFUSES = {"truncated", "empty", "trailing garbage", "top-level array", "nested past the parser",
                     "nested past the walks", "config null", "layers an object", "layer a string",
                     "inbound entries one level short", "inbound node an object", "NaN units", "cycle"}


@pytest.mark.parametrize("case, make, piece", BAD_DOCUMENTS, ids=IDS)
def test_loadmodel_refuses_or_converts_and_never_half_writes(tmp_path, capsys, case, make, piece):
    for model, mode in ((_h5_model(tmp_path / "m.h5", make()), "1"), (_keras_model(tmp_path / "m.keras", make()), "0")):
        out = tmp_path / "usermodel.json"
        out.write_text('{"earlier": true}')
        code = loadmodel.main([str(model), str(out), mode])
        err = capsys.readouterr().err
        if case in CONVERTER_REFUSES:
            assert code == 1, err
            _one_line(err, "loadmodel: ", piece)
            assert not out.exists(), "an earlier conversion must not pass for this one"
        else:
            assert (code, err) == (0, "")
            json.loads(out.read_text())  # whole, valid JSON


@pytest.mark.parametrize("case, make, piece", BAD_DOCUMENTS, ids=IDS)
def test_trainNN_refuses_before_touching_the_workspace(tmp_path, capsys, case, make, piece):
    argv, ws = tile_run(tmp_path)
    (tmp_path / "custommodel_temp.json").write_text(make())
    argv[2] = ""  # a pure test: the quickest way to the model
    before = {p.name: p.read_bytes() for p in ws.iterdir()}
    assert trainNN.main(argv) == 1
    _one_line(capsys.readouterr().err, "trainNN: ", piece)
    assert {p.name: p.read_bytes() for p in ws.iterdir()} == before, "the label file is not rewritten"


def test_child_processes_end_without_a_traceback(tmp_path):
    deep = tmp_path / "deep.json"
    deep.write_text('{"config":' + "[" * 100000 + "]" * 100000 + "}")
    argv, _ = tile_run(tmp_path)
    argv[0], argv[2] = str(deep), ""
    runs = {"generateml.py": [str(deep)],
            "loadmodel.py": [str(_h5_model(tmp_path / "deep.h5", deep.read_text())), str(tmp_path / "o.json"), "1"],
            "trainNN.py": argv}
    for script, args in runs.items():
        done = subprocess.run([sys.executable, str(WORKERS / script)] + args, capture_output=True, text=True,
                              timeout=120, env={**os.environ, "CUDA_VISIBLE_DEVICES": "", "OMP_NUM_THREADS": "1"})
        assert done.returncode == 1, (script, done.stderr)
        assert "Traceback" not in done.stderr and done.stderr.count("\n") == 1, (script, done.stderr)


def test_a_ten_thousand_layer_chain_is_summarised(tmp_path, capsys):
    doc = tiny_model_doc()
    layers = doc["config"]["layers"]
    dense = layers.pop()
    previous = "flatten"
    for i in range(10000):
        name = f"d{i}"
        layers.append({"class_name": "Dense", "name": name, "inbound_nodes": [[[previous, 0, 0, {}]]],
                       "config": {"name": name, "units": 2, "activation": "relu"}})
        previous = name
    dense["inbound_nodes"][0][0][0] = previous
    layers.append(dense)
    path = tmp_path / "long.json"
    path.write_text(json.dumps(doc))
    assert generateml.main([str(path)]) == 0
    out = capsys.readouterr().out.splitlines()
    rows = [line for line in out if re.match(r" d\d+ \(Dense\)", line)]
    assert len(rows) == 10000 and "(None, 2)" in rows[-1]


def test_weights_archive_with_an_over_deep_config_is_refused(tmp_path, capsys):
    argv, ws = tile_run(tmp_path)
    argv[2] = ""
    argv[4] = str(_keras_model(tmp_path / "w.keras", '{"config":' + "[" * 100000 + "]" * 100000 + "}"))
    assert trainNN.main(argv) == 1
    _one_line(capsys.readouterr().err, "trainNN: ", "config.json is not valid JSON")


def test_saved_model_metadata_nested_too_deeply_is_refused(tmp_path, capsys):
    from test_savedmodel import node  # the protobuf encoding of one saved Keras object
    folder = tmp_path / "saved"
    folder.mkdir()
    (folder / "keras_metadata.pb").write_bytes(node("root", "_tf_keras_network", "[" * 100000 + "]" * 100000))
    assert loadmodel.main([str(folder), str(tmp_path / "o.json"), "2"]) == 1
    _one_line(capsys.readouterr().err, "loadmodel: ", "metadata is not valid JSON")
