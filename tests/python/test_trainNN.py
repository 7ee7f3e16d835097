"""trainNN.py end to end on generated tiles and on the shared test data's Keras files and photos:
files, progress text, checkpoints, prediction file, the final model, pure test and refusals."""
import json
import os
from pathlib import Path
import random
import re
import shutil

import numpy as np
import pytest
import torch
from PIL import Image

import loadmodel
import trainNN
from kolvara_nn import h5io, modelfiles
from kolvara_nn.network import build_network
from kolvara_nn.training import run
from kolvara_nn.training.data import load_image, read_label_table, split_indices
from kolvara_nn.training.preprocess import InputSpec, scale
from trainnn_fixture import HEADER, ROOT, run_script, tile_run, tiny_model_doc, write_named_images

pytestmark = pytest.mark.usefixtures("one_thread")
CHECKPOINT = re.compile(r"e(\d{4})-(\d\.\d{4})-(\d\.\d{4})-weights\.hdf5")
ETA_LINE = re.compile(r" *(\d+)/(\d+) \[[=>.]{30}\] - ETA: (\d+s|\d+:\d\d|\d+:\d\d:\d\d)"
                      r" - loss: \S+ - accuracy: \S+ *")
FINAL_LINE = re.compile(r" *(\d+)/\1 \[={30}\] - \d+s \d+(s|ms|us)/step - loss: \S+ - "
                        r"accuracy: (\S+) - val_loss: \S+ - val_accuracy: (\S+)")


def screen_lines(raw: bytes) -> list:
    """What a reader that splits on CR and LF and drops backspaces sees."""
    return [s for s in re.split(r"[\r\n]", raw.decode().replace("\b", "")) if s.strip()]


def output_shape(raw: bytes) -> list:
    """The kinds of screen lines in order, runs of progress redraws or of free-form lines
    counted once."""
    kinds = []
    for line in screen_lines(raw):
        kind = ("eta" if ETA_LINE.fullmatch(line) else "final" if FINAL_LINE.fullmatch(line)
                else "epoch" if re.fullmatch(r"Epoch \d+/\d+", line)
                else "saved" if re.fullmatch(r"Epoch \d+: saving model to .*", line) else "info")
        if not kinds or kind != kinds[-1] or kind not in ("eta", "info"):
            kinds.append(kind)
    return kinds


def rows(path):
    return [r.split(",") for r in path.read_text().split("\n")[1:-1]]


@pytest.fixture(scope="module")
def tile_result(tmp_path_factory):
    argv, ws = tile_run(tmp_path_factory.mktemp("tiles"))
    argv[17:19] = ["tf", "1,0"]  # an input scaling and class names in an order of their own
    before = set(os.listdir(ws))
    done = run_script(argv)
    assert done.returncode == 0, done.stderr.decode()
    return done, ws, sorted(set(os.listdir(ws)) - before), argv


def test_files_progress_and_checkpoints_keep_the_captured_run_shape(tile_result):
    """tests/data/trainNN_run holds a real run's output, which the app's parser is tested against."""
    done, ws, written, _ = tile_result
    assert [n for n in written if not CHECKPOINT.fullmatch(n)] == ["NNMetrics.png", "my_model.h5"]
    captured = ROOT / "tests" / "data" / "trainNN_run"
    expected = output_shape((captured / "stdout.txt").read_bytes())
    assert expected == ["info", "epoch", "eta", "final", "saved", "epoch", "eta", "final", "saved", "info"]
    assert output_shape(done.stdout) == expected
    lines = screen_lines(done.stdout)
    assert [s for s in lines if re.fullmatch(r"Epoch \d+/\d+", s)] == ["Epoch 1/2", "Epoch 2/2"]
    # every redraw starts after a carriage return, and every line ends in a line feed
    assert b"\r" in done.stdout and done.stdout.endswith(b"\n") and b"\r\n" not in done.stdout
    generic = lambda names: [CHECKPOINT.sub("e<epoch>-<val>-<acc>-weights.hdf5", n) for n in names]
    assert generic((captured / "files.txt").read_text().split()) == generic(written)
    # checkpoint names carry each epoch's figures; the app splits at "-": validation, then training accuracy
    finals = [FINAL_LINE.fullmatch(s) for s in lines if "/step" in s]
    names = sorted(n for n in written if CHECKPOINT.fullmatch(n))
    assert len(names) == len(finals) == 2
    for epoch, (name, final) in enumerate(zip(names, finals), 1):
        assert CHECKPOINT.fullmatch(name).groups() == ("%04d" % epoch, final.group(4), final.group(3))


def test_checkpoint_names_carry_what_their_weights_score_on_the_held_out_tiles(tile_result):
    _, ws, written, argv = tile_result
    train = Path(argv[2])
    table = read_label_table(train / argv[10])
    _, held = split_indices(len(table.rows), float(argv[11]), run.SEED)
    spec = InputSpec((16, 16), 3)
    x = scale(torch.stack([torch.from_numpy(load_image(train / table.filenames[i], spec)) for i in held]), "tf", spec)
    truth = torch.tensor([argv[18].split(",").index(table.labels[i]) for i in held])
    for name in sorted(n for n in written if CHECKPOINT.fullmatch(n)):
        net = build_network(json.loads(Path(argv[0]).read_text()))
        h5io.load_weights(net, str(ws / name))
        with torch.no_grad():
            hits = (net.eval()(x).argmax(dim=1) == truth).float().mean().item()
        assert CHECKPOINT.fullmatch(name).group(2) == f"{hits:.4f}", name


def test_prediction_file_and_the_final_model_reproducing_it(tile_result, tmp_path, capsys):
    _, ws, written, argv = tile_result
    raw = (ws / "field_outputlabel.csv").read_bytes()
    assert b"\r" not in raw and b'"' not in raw and raw.endswith(b"\n")
    lines = raw.decode().split("\n")[:-1]
    assert lines[0] == ",index,i,j,filename,label,prediction" and len(lines) == 7
    for n, (line, (i, j, label)) in enumerate(zip(lines[1:], [(0, 0, 0), (0, 1, 1), (0, 2, 1), (1, 0, 1), (1, 1, 0), (1, 2, 0)])):
        f = line.split(",")
        assert f[:6] == [str(n), str(n + 1), str(i), str(j), f"field_{i}{j}.png", str(label)] and f[6] in ("0", "1")
    test_ws = tmp_path / "ws"
    shutil.copytree(ws, test_ws)
    # the final model and the checkpoints record the scaling and the output order
    for name in ["my_model.h5"] + [n for n in written if CHECKPOINT.fullmatch(n)]:
        assert h5io.read_input_scaling(str(ws / name)) == "tf", name
        assert h5io.read_class_names(str(ws / name)) == ["1", "0"], name
    assert loadmodel.main(["--info", str(ws / "my_model.h5")]) == 0
    info = json.loads(capsys.readouterr().out.split("Model info: ", 1)[1])
    assert (info["input_scaling"], info["input_scaling_from"], info["class_names"]) == ("tf", "recorded", ["1", "0"])
    # applied with another choice and no class names, the model still uses what it recorded
    args = argv[:17] + ["div255"]
    args[1], args[2], args[4] = str(test_ws), "", str(ws / "my_model.h5")
    assert trainNN.main(args) == 0
    assert "Input scaling: tf (recorded with the model)" in capsys.readouterr().out
    # the rewritten file is read as test data again and keeps its column layout
    assert (test_ws / "field_outputlabel.csv").read_bytes() == raw


def test_pure_test_writes_only_the_csv_and_metrics_and_warns(tmp_path, capsys):
    argv, ws = tile_run(tmp_path)
    before = {p.name: p.read_bytes() for p in ws.iterdir()}
    argv[2] = ""
    assert trainNN.main(argv) == 0
    after = {p.name: p.read_bytes() for p in ws.iterdir()}
    assert set(after) == set(before) | {"NNMetrics.png"}
    assert [n for n in before if after[n] != before[n]] == ["field_outputlabel.csv"]
    out = capsys.readouterr().out
    assert "untrained weights" in out and "Test summary: accuracy " in out


def test_text_labels_resized_output_and_weights_folder(tmp_path, capsys):
    kinds = {"cat": 0, "dog": 1, "bird": 0}
    write_named_images(tmp_path / "train", {f"{a}.{n}": a for n in range(1, 5) for a in ("cat", "dog", "bird")}, kinds)
    write_named_images(tmp_path / "ws", {"x.1": "cat", "x.2": "dog"}, kinds)
    (tmp_path / "m.json").write_text(json.dumps(tiny_model_doc(units=2)))
    argv = [str(tmp_path / "m.json"), str(tmp_path / "ws"), str(tmp_path / "train"), "custom", "", "3", "1", "sgd", "mse",
            "", "folderimage_outputlabel.csv", "0.75", "false", "true", "true", "true", ""]
    assert trainNN.main(argv) == 0
    out = capsys.readouterr().out
    assert "resized from 2 to 3 units" in out and "Epoch 1/1" not in out
    assert h5io.read_class_names(str(tmp_path / "ws" / "my_model.h5")) == ["bird", "cat", "dog"]
    # pure test from the workspace folder: the newest file is my_model.h5 with its class names
    argv[2], argv[4] = "", str(tmp_path / "ws")
    assert trainNN.main(argv) == 0
    found = rows(tmp_path / "ws" / "folderimage_outputlabel.csv")
    assert len(found) == 2 and all(r[6] in ("bird", "cat", "dog") for r in found)


def _any_size_doc() -> str:
    """A network for images of any size whose 17x17 kernel cannot run on the 16x16 tiles."""
    doc = tiny_model_doc()
    layers = doc["config"]["layers"]
    layers[0]["config"]["batch_input_shape"] = [None, None, None, 3]
    layers[1]["config"]["kernel_size"] = [17, 17]
    layers[2]["class_name"] = "GlobalAveragePooling2D"
    return json.dumps(doc)


TRUNCATED = Image.frombytes("RGB", (16, 16), random.Random(0).randbytes(768))._repr_png_()[:120]
REFUSALS = [  # (argument number, its new value or a file to write, the message); argument, label-table and image
    # checks are in test_train_outputs and test_train_data
    (1, "<base>/none.json", "model document not found"),
    (11, "other.csv", "label document not found"),
    (3, "<base>/nowhere", "training data folder not found"),
    (5, "<base>/w.h5", "weights not found"),
    (17, "<base>/none.csv", "training label document not found"),
    (18, "imagenet", "input scaling must be one of div255, raw, tf, torch, caffe"),
    (19, "a,b", "training label '0' is not among the class names given"),
    (22, "frozen", "network mode must be one of full, top, finetune, got 'frozen'"),
    ("train/field_outputlabel.csv", "index,i,j,filename,label\n", "lists no samples"),
    ("ws/field_outputlabel.csv", "index,i,j,filename,label\n1,0,0,gone.png,0\n", "gone.png could not be loaded"),
    # only decoding finds this one, in a process of the data loader, while the first epoch runs
    ("train/field_00.png", TRUNCATED, "field_00.png could not be loaded: image file is truncated"),
    ("custommodel_temp.json", _any_size_doc(), "whose input is (None, None, 3), cannot run on images of shape (16, 16, 3)"),
]


@pytest.mark.parametrize("arg, value, message", REFUSALS, ids=[c[2][:30] for c in REFUSALS])
def test_refusals_give_one_line_and_no_checkpoint(tmp_path, capsys, arg, value, message):
    argv, ws = tile_run(tmp_path)
    if isinstance(arg, int):
        argv += [""] * (arg - len(argv))
        argv[arg - 1] = value.replace("<base>", str(tmp_path))
    else:
        (tmp_path / arg).write_bytes(value if isinstance(value, bytes) else value.encode())
    assert trainNN.main(argv) == 1
    err = capsys.readouterr().err
    assert err.startswith("trainNN: ") and err.count("\n") == 1 and message in err and "Traceback" not in err
    assert not [n for n in os.listdir(ws) if ".hdf5" in n or "my_model" in n]


def test_same_inputs_give_the_same_run(tmp_path):
    results = []
    for name in ("a", "b"):
        argv, ws = tile_run(tmp_path / name)
        argv[6], argv[13] = "1", "true"  # one epoch, with the seeded random crops
        assert trainNN.main(argv) == 0
        results.append((sorted(n for n in os.listdir(ws) if CHECKPOINT.fullmatch(n)), (ws / "field_outputlabel.csv").read_text()))
    assert results[0] == results[1]


def _real_run(testdata, tmp_path, name, mode, ws, label_doc, train="", train_doc=""):
    """Arguments for a run on a third-party Keras file, its architecture converted first."""
    doc = modelfiles.read_architecture(str(testdata / "keras" / name), mode)
    (tmp_path / "m.json").write_text(json.dumps(doc))
    return [str(tmp_path / "m.json"), str(ws), str(train), "custom", str(testdata / "keras" / name), "8", "1", "Nadam",
            "categorical_crossentropy", "", label_doc, "0.75", "false", "false", "false", "false", str(train_doc)]


def _csv(path: Path, names, labels):
    path.parent.mkdir(exist_ok=True)
    path.write_text("\n".join([HEADER] + [f"{n},{n},{n},{name},{label}"
                                          for n, (name, label) in enumerate(zip(names, labels), 1)]) + "\n")


def _photos(testdata, ws: Path, table: str, names, labels):
    """The shared data's cat and dog photos `<animal>.<k>.png` in `ws`, listed in `table`."""
    _csv(ws / table, names, labels)
    for name in names:
        Image.open(testdata / "images" / "cats_dogs" / f"{name[:3]}s" / name.replace(".png", ".jpg")).save(ws / name)


def test_training_from_keras_weights_with_a_resized_output(testdata, tmp_path, capsys):
    """CIFAR-10 weights (10 outputs) start a cats/dogs run: all layers but the output load."""
    photos = testdata / "images" / "cats_dogs"
    names = [f"cats/cat.{k}.jpg" for k in range(1, 11)] + [f"dogs/dog.{k}.jpg" for k in range(1, 11)]
    _csv(tmp_path / "train.csv", names, ["cat"] * 10 + ["dog"] * 10)
    ws, tests = tmp_path / "ws", ["cat.11.png", "dog.11.png", "cat.12.png", "dog.12.png"]
    _photos(testdata, ws, "folderimage_outputlabel.csv", tests, ["cat", "dog", "cat", "dog"])
    argv = _real_run(testdata, tmp_path, "sequential_cnn_cifar10_tf2.13.h5", "1", ws, "folderimage_outputlabel.csv",
                     photos, tmp_path / "train.csv")
    assert trainNN.main(argv) == 0
    out = capsys.readouterr().out
    assert "resized from 10 to 2 units" in out and "except the resized output layer" in out
    assert h5io.read_class_names(str(ws / "my_model.h5")) == ["cat", "dog"]
    found = rows(ws / "folderimage_outputlabel.csv")
    assert [r[4] for r in found] == tests and all(r[6] in ("cat", "dog") for r in found)


def _predicted(net, x):
    net.eval()
    with torch.no_grad():
        return [str(i) for i in net(x).argmax(dim=1).tolist()]


def _grey_dense_model(path, class_names):
    """A (28, 28)-input classifier without a channel axis, written by our own writer."""
    doc = tiny_model_doc(units=len(class_names))
    layers = doc["config"]["layers"]
    layers[0]["config"]["batch_input_shape"] = [None, 28, 28]
    layers[2]["inbound_nodes"] = [[["input_1", 0, 0, {}]]]
    del layers[1]  # input, Flatten, Dense
    torch.manual_seed(3)
    net = build_network(doc)
    h5io.save_model(str(path), net, class_names, input_scaling="div255")
    return doc, net


def test_a_28x28_model_runs_on_grey_images_and_counts_unknown_labels_wrong(tmp_path, capsys):
    classes = ["T-shirt", "Trouser", "Pullover", "Dress"]
    doc, net = _grey_dense_model(tmp_path / "grey.h5", classes)
    ws, rng = tmp_path / "ws", np.random.RandomState(0)
    names = ["g0.png", "g1.png", "g2.png", "g3.png", "c.png"]  # the last one is resized and made grey
    _csv(ws / "g_outputlabel.csv", names, ["Dress", "Trouser", "Coat", "Coat", "Dress"])
    for name in names:
        Image.fromarray(rng.randint(0, 256, (40, 40, 3) if name == "c.png" else (28, 28), dtype=np.uint8)).save(ws / name)
    (tmp_path / "m.json").write_text(json.dumps(doc))
    argv = [str(tmp_path / "m.json"), str(ws), "", "custom", str(tmp_path / "grey.h5"), "2", "1", "Adam",
            "categorical_crossentropy", "", "g_outputlabel.csv", "0.6", "false", "false", "false", "false", ""]
    assert trainNN.main(argv) == 0
    grey = [np.array(Image.open(ws / name).convert("L").resize((28, 28), Image.BILINEAR)) for name in names]
    expected = [classes[int(i)] for i in _predicted(net, torch.from_numpy(np.stack(grey)).float() / 255)]
    found = rows(ws / "g_outputlabel.csv")
    assert [r[6] for r in found] == expected
    hits = sum(r[5] == r[6] for r in found)
    out = capsys.readouterr().out
    assert f"Test summary: accuracy {100 * hits / 5:.2f}% ({hits} of 5 images)" in out
    assert "Test summary: labels matching no output class (counted wrong): Coat (2 images)" in out
