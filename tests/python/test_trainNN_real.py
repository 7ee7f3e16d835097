"""trainNN.py with third-party Keras files and photos from the shared test data."""
import json
from pathlib import Path

import pytest
import torch
from PIL import Image

import trainNN
from kolvara_nn import h5io, modelfiles

HEADER = "index,i,j,filename,label"


@pytest.fixture(autouse=True)
def one_thread(monkeypatch):
    threads = torch.get_num_threads()
    monkeypatch.setenv("OMP_NUM_THREADS", "1")
    yield
    torch.set_num_threads(threads)


def _architecture(testdata, name, mode, target: Path) -> Path:
    doc = modelfiles.read_architecture(str(testdata / "keras" / name), mode)
    target.write_text(json.dumps(doc))
    return target


def _csv(path: Path, names, labels):
    rows = [f"{n},{n},{n},{name},{label}" for n, (name, label) in enumerate(zip(names, labels), 1)]
    path.write_text("\n".join([HEADER] + rows) + "\n")


def _argv(model, ws, train, weights, label_doc, train_doc="", epochs="1"):
    return [str(model), str(ws), str(train), "custom", str(weights), "8", epochs, "Nadam",
            "categorical_crossentropy", "", label_doc, "0.75", "false", "false", "false",
            "false", str(train_doc)]


def test_training_from_keras_weights_with_a_resized_output(testdata, tmp_path, capsys):
    """CIFAR-10 weights (10 outputs) start a cats/dogs run: all layers but the output load."""
    photos = testdata / "images" / "cats_dogs"
    names = [f"cats/cat.{k}.jpg" for k in range(1, 11)] + [f"dogs/dog.{k}.jpg" for k in range(1, 11)]
    _csv(tmp_path / "train.csv", names, ["cat"] * 10 + ["dog"] * 10)
    ws = tmp_path / "ws"
    ws.mkdir()
    for k in (11, 12):
        for kind in ("cat", "dog"):
            Image.open(photos / f"{kind}s" / f"{kind}.{k}.jpg").save(ws / f"{kind}.{k}.png")
    _csv(ws / "folderimage_outputlabel.csv", ["cat.11.png", "dog.11.png", "cat.12.png", "dog.12.png"],
         ["cat", "dog", "cat", "dog"])
    weights = testdata / "keras" / "sequential_cnn_cifar10_tf2.13.h5"
    model = _architecture(testdata, weights.name, "1", tmp_path / "m.json")
    assert trainNN.main(_argv(model, ws, photos, weights, "folderimage_outputlabel.csv",
                              tmp_path / "train.csv")) == 0
    out = capsys.readouterr().out
    assert "resized from 10 to 2 units" in out and "except the resized output layer" in out
    assert h5io.read_class_names(str(ws / "my_model.h5")) == ["cat", "dog"]
    rows = (ws / "folderimage_outputlabel.csv").read_text().split("\n")[1:-1]
    assert [r.split(",")[4] for r in rows] == ["cat.11.png", "dog.11.png", "cat.12.png", "dog.12.png"]
    assert all(r.split(",")[6] in ("cat", "dog") for r in rows)


def test_pure_test_with_a_keras3_file_on_gray_input(testdata, tmp_path, capsys):
    """A one-channel network gets gray images; outputs without stored names are indices."""
    ws = tmp_path / "ws"
    ws.mkdir()
    for k in range(3):
        Image.new("RGB", (40, 40), (k * 100, 0, 0)).save(ws / f"d{k}.png")
    _csv(ws / "d_outputlabel.csv", ["d0.png", "d1.png", "d2.png"], ["7", "7", "3"])
    weights = testdata / "keras" / "sequential_cnn_mnist_keras3.1.keras"
    model = _architecture(testdata, weights.name, "0", tmp_path / "m.json")
    assert trainNN.main(_argv(model, ws, "", weights, "d_outputlabel.csv")) == 0
    assert "untrained" not in capsys.readouterr().out
    rows = (ws / "d_outputlabel.csv").read_text().split("\n")[1:-1]
    assert len(rows) == 3 and all(r.split(",")[6] in [str(d) for d in range(10)] for r in rows)
    assert sorted(p.name for p in ws.iterdir()) == ["d0.png", "d1.png", "d2.png", "d_outputlabel.csv"]
