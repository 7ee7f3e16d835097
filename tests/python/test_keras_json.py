"""Reading every producer's architecture JSON, graph checks, Keras layer order, output resizing."""
import copy
import json

import pytest

from kolvara_nn.errors import ModelError
from kolvara_nn.keras_json import keras_layer_order, load_document, normalize, problems, resize_output

# Sequential files of Keras 2, 2.1.2 lists and SavedModel tuples are read in test_loadmodel.
GLOROT_K3 = {"module": "keras.initializers", "class_name": "GlorotUniform", "config": {"seed": None}, "registered_name": None}
F32_K3 = {"module": "keras", "class_name": "DTypePolicy", "config": {"name": "float32"}, "registered_name": None}


def k3_tensor(name, shape):
    return {"class_name": "__keras_tensor__", "config": {"shape": shape, "dtype": "float32", "keras_history": [name, 0, 0]}}


def small_functional():
    """input_1 -> conv -> (conv + input-conv) add -> gap -> dense (Keras 2.11 shape)."""
    def rec(cls, name, cfg, inbound):
        return {"class_name": cls, "config": dict(cfg, name=name), "name": name,
                "inbound_nodes": [[[i, 0, 0, {}] for i in inbound]] if inbound else []}
    return {"class_name": "Functional", "config": {"name": "model", "layers": [
        rec("InputLayer", "input_1", {"batch_input_shape": [None, 8, 8, 3]}, []),
        rec("Conv2D", "conv2d", {"filters": 3, "kernel_size": [3, 3], "padding": "same"}, ["input_1"]),
        rec("Add", "add", {}, ["conv2d", "input_1"]),
        rec("GlobalAveragePooling2D", "gap", {}, ["add"]),
        rec("Dense", "dense", {"units": 2, "activation": "softmax"}, ["gap"]),
    ], "input_layers": [["input_1", 0, 0]], "output_layers": [["dense", 0, 0]]},
        "keras_version": "2.11.0", "backend": "tensorflow"}


def chain(doc):
    """'name:Class<inbound,...' of every layer of a normalized document."""
    return ["%s:%s<%s" % (r["name"], r["class_name"], ",".join(e[0] for n in r["inbound_nodes"] for e in n))
            for r in doc["config"]["layers"]]


K3_FUNCTIONAL = {
    "module": "keras.src.models.functional", "class_name": "Functional", "registered_name": "Functional",
    "config": {"name": "functional", "trainable": True, "layers": [
        {"module": "keras.layers", "class_name": "InputLayer", "registered_name": None, "name": "input_layer",
         "config": {"batch_shape": [None, 8, 8, 3], "dtype": "float32", "sparse": False, "name": "input_layer"},
         "inbound_nodes": []},
        {"module": "keras.layers", "class_name": "Conv2D", "registered_name": None, "name": "conv2d",
         "build_config": {"input_shape": [None, 8, 8, 3]},
         "config": {"name": "conv2d", "trainable": True, "dtype": F32_K3, "filters": 3.0, "kernel_size": [3, 3],
                    "padding": "same", "kernel_initializer": GLOROT_K3, "lora_rank": None},
         "inbound_nodes": [{"args": [k3_tensor("input_layer", [None, 8, 8, 3])], "kwargs": {}}]},
        {"module": "keras.layers", "class_name": "Add", "registered_name": None, "name": "add",
         "config": {"name": "add", "trainable": True, "dtype": F32_K3},
         "inbound_nodes": [{"args": [[k3_tensor("conv2d", [None, 8, 8, 3]),
                                      k3_tensor("input_layer", [None, 8, 8, 3])]], "kwargs": {}}]},
    ], "input_layers": ["input_layer", 0, 0], "output_layers": ["add", 0, 0]}}

SEQUENTIAL_K3_BUILD_CONFIG = {"module": "keras", "class_name": "Sequential", "build_config": {"input_shape": [None, 4]},
                              "config": {"name": "seq", "layers": [{"class_name": "Dense", "config": {"name": "dense", "units": 2}}]}}

MODEL_DICT_ENDPOINTS = {"class_name": "Model", "keras_version": "2.3.0-tf", "config": {"name": "m", "layers": [
        {"name": "input_5", "class_name": "InputLayer", "config": {"batch_input_shape": [None, 4], "name": "input_5"},
         "inbound_nodes": []},
        {"name": "dense_4", "class_name": "Dense", "config": {"name": "dense_4", "units": 3},
         "inbound_nodes": [[["input_5", 0, 0]]]},
    ], "input_layers": {"data_in": ["input_5", 0, 0]}, "output_layers": {"data_out": ["dense_4", 0, 0]}}}


@pytest.mark.parametrize("doc,layers", [
    (small_functional(), "input_1:InputLayer< conv2d:Conv2D<input_1 add:Add<conv2d,input_1 "
                         "gap:GlobalAveragePooling2D<add dense:Dense<gap"),
    (K3_FUNCTIONAL, "input_layer:InputLayer< conv2d:Conv2D<input_layer add:Add<conv2d,input_layer"),
    (SEQUENTIAL_K3_BUILD_CONFIG, "dense_input:InputLayer< dense:Dense<dense_input"),
    (MODEL_DICT_ENDPOINTS, "input_5:InputLayer< dense_4:Dense<input_5"),
    ({"class_name": "Functional", "config": {"layers": [
        {"class_name": "InputLayer", "config": {"shape": [4], "name": "i"}},
        {"class_name": "Dense", "name": "d", "config": {"units": 2}, "inbound_nodes": [[["i", 0, 0]]]}]}},
     "i:InputLayer< d:Dense<i"),
    # The editor writes floats and may leave names out; an unnamed layer must not take a later layer's name.
    ({"class_name": "Sequential", "config": {"layers": [
        {"class_name": "InputLayer", "config": {"batch_input_shape": [None, 3.0]}},
        {"class_name": "Dense", "config": {"units": 4.0}}, {"class_name": "Dense", "config": {"units": 4}},
        {"class_name": "Dense", "config": {"name": "dense", "units": 10.0}}]}},
     "input_1:InputLayer< dense_1:Dense<input_1 dense_2:Dense<dense_1 dense:Dense<dense_2"),
], ids=["keras2.11", "keras3", "keras3-build-config", "dict-endpoints", "no-endpoints", "editor"])
def test_normalize_gives_the_keras_2_11_functional_shape(doc, layers):
    before = copy.deepcopy(doc)
    out = normalize(doc)
    assert doc == before, "the caller's document must not change"
    assert list(out) == ["class_name", "config", "keras_version", "backend"] and out["class_name"] == "Functional"
    assert list(out["config"]) == ["name", "layers", "input_layers", "output_layers"]
    assert chain(out) == layers.split()
    names = [r["name"] for r in out["config"]["layers"]]
    assert (out["config"]["input_layers"], out["config"]["output_layers"]) == ([[names[0], 0, 0]], [[names[-1], 0, 0]])
    for rec in out["config"]["layers"]:
        assert list(rec) == ["class_name", "config", "name", "inbound_nodes"] and rec["config"]["name"] == rec["name"]
        assert all(len(e) == 4 and e[3] == {} for node in rec["inbound_nodes"] for e in node)
    assert normalize(out) == out, "normalizing twice changes nothing"
    ints = [v for r in out["config"]["layers"] for k, v in r["config"].items() if k in ("units", "filters")]
    ints += out["config"]["layers"][0]["config"]["batch_input_shape"][1:]
    assert all(type(v) is int for v in ints) and problems(out) == []


def test_keras3_specifics_are_translated():
    out = normalize(K3_FUNCTIONAL)
    inp, conv = out["config"]["layers"][:2]
    assert inp["config"] == {"batch_input_shape": [None, 8, 8, 3], "dtype": "float32", "sparse": False,
                             "ragged": False, "name": "input_layer"}
    assert (conv["config"]["dtype"], "lora_rank" in conv["config"], out["keras_version"]) == ("float32", False, "2.11.0")
    assert conv["config"]["kernel_initializer"] == {"class_name": "GlorotUniform", "config": {"seed": None}}


@pytest.mark.parametrize("doc,message", [
    ({"class_name": "Functional", "config": {"name": "x"}}, "no layer list"),
    ({"class_name": "Linear", "config": {"layers": []}}, "not a Keras model"),
    ({"class_name": "Sequential", "config": [{"class_name": "Dense", "config": {"name": "d", "units": 2}}]},
     "layer 'd': the first layer of the sequential model declares no input shape"),
])
def test_normalize_refuses_what_is_no_model(doc, message):
    with pytest.raises(ModelError, match=message):
        normalize(doc)


def _mutate(fn):
    doc = small_functional()
    fn(doc["config"])
    return doc


def _layer(cfg, name):
    return next(r for r in cfg["layers"] if r["name"] == name)


DROPOUT = {"class_name": "Dropout", "name": "drop", "config": {"name": "drop", "rate": 0.5},
           "inbound_nodes": [[["gap", 0, 0, {}]]]}
PROBLEM_CASES = [  # (case, change to small_functional's config, the one problem reported); Lambda layers,
    # dangling inbound layers and cycles are checked through the workers in test_generateml and test_robustness
    ("unknown class", lambda c: _layer(c, "gap").update(class_name="Conv3DTranspose"),
     "layer 'gap': unsupported layer class 'Conv3DTranspose'"),
    ("duplicate name", lambda c: (_layer(c, "gap").update(name="conv2d"),
                                  _layer(c, "dense")["inbound_nodes"][0][0].__setitem__(0, "conv2d")),
     "layer 'conv2d': duplicate layer name"),
    ("bad node index", lambda c: _layer(c, "add")["inbound_nodes"][0][1].__setitem__(1, 2),
     "layer 'add': inbound layer 'input_1' has no output [2][0]"),
    ("missing output", lambda c: c.update(output_layers=[["predictions", 0, 0]]), "output layer 'predictions' does not exist"),
    ("unconnected", lambda c: c["layers"].append(DROPOUT), "layer 'drop' is not connected to any output layer"),
    ("no inbound", lambda c: _layer(c, "gap").update(inbound_nodes=[]), "layer 'gap' has no inbound layer"),
    ("input without shape", lambda c: _layer(c, "input_1")["config"].pop("batch_input_shape"),
     "layer 'input_1': the input layer declares no input shape"),
    ("nested model", lambda c: _layer(c, "gap").update(class_name="Functional"),
     "layer 'gap': nested models (Functional) are not supported"),
    ("input not listed", lambda c: c.update(input_layers=[["conv2d", 0, 0]]),
     "layer 'conv2d' is listed as a model input but is a Conv2D"),
]


@pytest.mark.parametrize("fn,expected", [(f, e) for _, f, e in PROBLEM_CASES], ids=[i for i, _, _ in PROBLEM_CASES])
def test_problems_name_the_layer(fn, expected):
    assert problems(_mutate(fn)) == [expected]


def test_layer_order_refuses_problems_and_ignores_document_order():
    assert problems({"config": 3}) == ["the document is not a Keras model (class_name None)"]
    with pytest.raises(ModelError, match="layer 'gap': Lambda layers"):
        keras_layer_order(_mutate(lambda c: _layer(c, "gap").update(class_name="Lambda")))
    doc = small_functional()
    doc["config"]["layers"].reverse()
    assert keras_layer_order(doc) == ["input_1", "conv2d", "add", "gap", "dense"]


def test_resize_output_changes_units_only():
    doc = small_functional()
    assert resize_output(doc, 2)[1] is False
    new, changed = resize_output(doc, 5)
    dense = new["config"]["layers"][-1]
    assert changed and (dense["name"], dense["config"]["units"], dense["config"]["activation"]) == ("dense", 5, "softmax")
    assert doc["config"]["layers"][-1]["config"]["units"] == 2, "input document untouched"
    # A Dense behind an Activation is resized; any other output is refused.
    doc["config"]["layers"].append({"class_name": "Activation", "name": "act", "inbound_nodes": [[["dense", 0, 0, {}]]],
                                    "config": {"name": "act", "activation": "softmax"}})
    doc["config"]["output_layers"] = [["act", 0, 0]]
    new, changed = resize_output(doc, 7)
    assert changed and new["config"]["layers"][-2]["config"]["units"] == 7
    doc["config"]["output_layers"] = [["gap", 0, 0]]
    with pytest.raises(ModelError, match="layer 'gap': the model output does not come from a Dense layer"):
        resize_output(doc, 3)


def test_load_document_skips_a_byte_order_mark_and_names_a_bad_file(tmp_path):
    good = tmp_path / "m.json"
    good.write_bytes(b"\xef\xbb\xbf" + json.dumps(small_functional()).encode())
    assert load_document(good)["config"]["name"] == "model"
    (tmp_path / "bad.json").write_text("{not json")
    with pytest.raises(ModelError, match="bad.json: not a valid JSON document"):
        load_document(tmp_path / "bad.json")
