"""Bad architecture documents through all three workers: exit status 1, one line on standard
error naming what is wrong, no traceback, and no output file written or rewritten."""
import copy
import json
import re
import sys
import zipfile

import h5py
import pytest

import generateml
import loadmodel
import trainNN
from trainnn_fixture import tile_run, tiny_model_doc

GOOD = json.dumps(tiny_model_doc())
DEEP = '{"config":' + "[" * 100000 + "]" * 100000 + "}"


def _with(change):
    def make():
        doc = copy.deepcopy(tiny_model_doc())
        change(doc["config"]["layers"])
        return json.dumps(doc)
    return make


def _set(index, key, value, config=False):
    return _with(lambda layers: (layers[index]["config"] if config else layers[index]).__setitem__(key, value))


def _cycle(layers):
    layers[1]["inbound_nodes"][0][0][0] = "dense"  # conv2d reads dense, which reads flatten, which reads conv2d


# (case, text maker, a piece (or pieces, one of which) of the one line on stderr, refused by the converter)
# The converter reads the architecture only; shapes and layer settings are checked when the model is built.
BAD_DOCUMENTS = [
    ("truncated", lambda: GOOD[:60], "valid JSON", True),
    ("empty", lambda: "", "valid JSON", True),
    ("trailing garbage", lambda: GOOD + " }x", "valid JSON", True),
    ("top-level array", lambda: "[" + GOOD + "]", ("not a JSON object", "not a Keras model architecture"), True),
    ("nested past the parser", lambda: DEEP, "JSON", True),
    ("nested past the walks", lambda: '{"config":{"layers":[],"x":' + "[" * 900 + "]" * 900 + "}}", "nested too deeply", True),
    ("config null", lambda: json.dumps({"class_name": "Functional", "config": None}), "no network config", True),
    ("layers an object", _with(lambda layers: layers.clear() or layers.append(None)), "not a layer record", True),
    ("layer a string", _with(lambda layers: layers.__setitem__(2, "flatten")), "layer 3 of the model document", True),
    ("inbound entries one level short", _set(2, "inbound_nodes", [["conv2d", 0, 0, {}]]),
     "layer 'flatten': unreadable inbound entry \"conv2d\"", True),
    ("inbound node an object", _set(2, "inbound_nodes", {"args": []}), "layer 'flatten' has no inbound layer", True),
    ("layer config null", _set(3, "config", None), "layer 'dense'", False),
    ("units as words", _set(3, "units", "two", config=True), "layer 'dense'", False),
    ("input shape as words", _set(0, "batch_input_shape", [None, "sixteen", 16, 3], config=True), "layer 'input_1'", False),
    ("NaN units", lambda: GOOD.replace('"units": 2', '"units": NaN'), ("layer 'dense'", "NaN or infinity"), True),
    ("cycle", _with(_cycle), "part of a cycle", True),
]
CASES = pytest.mark.parametrize("case, make, piece, converter_refuses", BAD_DOCUMENTS, ids=[c[0] for c in BAD_DOCUMENTS])


def _one_line(err, prefix, piece):
    assert "Traceback" not in err
    assert err.count("\n") == 1 and err.startswith(prefix), err
    assert any(p in err for p in ((piece,) if isinstance(piece, str) else piece)), err


def _h5_model(path, text):
    with h5py.File(path, "w") as f:
        f.attrs["model_config"] = text
    return path


def _keras_model(path, text):
    with zipfile.ZipFile(path, "w") as archive:
        archive.writestr("config.json", text)
        archive.writestr("model.weights.h5", b"")
    return path


@CASES
def test_each_worker_refuses_with_one_line_and_writes_nothing(tmp_path, capsys, case, make, piece, converter_refuses):
    argv, ws = tile_run(tmp_path)  # trainNN reads the document beside its workspace
    (tmp_path / "custommodel_temp.json").write_text(make())
    assert generateml.main([argv[0]]) == 1
    out, err = capsys.readouterr()
    assert out == ""
    _one_line(err, "generateml.py: ", piece)

    argv[2] = ""  # a pure test: the quickest way to the model
    before = {p.name: p.read_bytes() for p in ws.iterdir()}
    assert trainNN.main(argv) == 1
    _one_line(capsys.readouterr().err, "trainNN: ", piece)
    assert {p.name: p.read_bytes() for p in ws.iterdir()} == before, "the label file is not rewritten"

    # The converter refuses what breaks the document or its graph, and never half writes.
    for model, mode in ((_h5_model(tmp_path / "m.h5", make()), "1"), (_keras_model(tmp_path / "m.keras", make()), "0")):
        out = tmp_path / "usermodel.json"
        out.write_text('{"earlier": true}')
        code = loadmodel.main([str(model), str(out), mode])
        err = capsys.readouterr().err
        if converter_refuses:
            assert code == 1, err
            _one_line(err, "loadmodel: ", piece)
            assert not out.exists(), "an earlier conversion must not pass for this one"
        else:
            assert (code, err) == (0, "")
            json.loads(out.read_text())  # whole, valid JSON


def test_over_deep_configs_inside_model_containers_are_refused(tmp_path, capsys):
    from test_savedmodel import node  # the protobuf encoding of one saved Keras object
    argv, _ = tile_run(tmp_path)
    argv[2], argv[4] = "", str(_keras_model(tmp_path / "w.keras", DEEP))
    assert trainNN.main(argv) == 1
    _one_line(capsys.readouterr().err, "trainNN: ", "config.json is not valid JSON")
    (tmp_path / "saved").mkdir()
    (tmp_path / "saved" / "keras_metadata.pb").write_bytes(node("root", "_tf_keras_network", DEEP[len('{"config":'):-1]))
    assert loadmodel.main([str(tmp_path / "saved"), str(tmp_path / "o.json"), "2"]) == 1
    _one_line(capsys.readouterr().err, "loadmodel: ", "metadata is not valid JSON")


def test_a_chain_far_past_the_recursion_limit_is_summarised(tmp_path, capsys):
    doc = tiny_model_doc()
    layers = doc["config"]["layers"]
    dense, previous = layers.pop(), "flatten"
    for i in range(3 * sys.getrecursionlimit()):
        layers.append({"class_name": "Dense", "name": f"d{i}", "inbound_nodes": [[[previous, 0, 0, {}]]],
                       "config": {"name": f"d{i}", "units": 2, "activation": "relu"}})
        previous = f"d{i}"
    dense["inbound_nodes"][0][0][0] = previous
    layers.append(dense)
    (tmp_path / "long.json").write_text(json.dumps(doc))
    assert generateml.main([str(tmp_path / "long.json")]) == 0
    rows = [line for line in capsys.readouterr().out.splitlines() if re.match(r" d\d+ \(Dense\)", line)]
    assert len(rows) == 3 * sys.getrecursionlimit() and "(None, 2)" in rows[-1]
