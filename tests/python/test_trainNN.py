"""trainNN.py end to end on generated tiles: files, progress text, checkpoints,
prediction file, the final model, pure test and refusals."""
import json
import os
from pathlib import Path
import re
import shutil

import pytest
import torch

import trainNN
from kolvara_nn import h5io
from trainnn_fixture import ROOT, run_script, tile_run, tiny_model_doc, write_named_images

CHECKPOINT = re.compile(r"e(\d{4})-(\d\.\d{4})-(\d\.\d{4})-weights\.hdf5")
ETA_LINE = re.compile(r" *(\d+)/(\d+) \[[=>.]{30}\] - ETA: (\d+s|\d+:\d\d|\d+:\d\d:\d\d)"
                      r" - loss: \S+ - accuracy: \S+ *")
FINAL_LINE = re.compile(r" *(\d+)/\1 \[={30}\] - \d+s \d+(s|ms|us)/step - loss: \S+ - "
                        r"accuracy: (\S+) - val_loss: \S+ - val_accuracy: (\S+)")


@pytest.fixture(autouse=True)
def one_thread(monkeypatch):
    """The tiny test network runs fastest on one thread, and the machine is shared."""
    threads = torch.get_num_threads()
    monkeypatch.setenv("OMP_NUM_THREADS", "1")
    yield
    torch.set_num_threads(threads)


def screen_lines(raw: bytes) -> list:
    """What a reader that splits on CR and LF and drops backspaces sees."""
    return [s for s in re.split(r"[\r\n]", raw.decode().replace("\b", "")) if s.strip()]


@pytest.fixture(scope="module")
def tile_result(tmp_path_factory):
    base = tmp_path_factory.mktemp("tiles")
    argv, ws = tile_run(base)
    before = set(os.listdir(ws))
    done = run_script(argv)
    assert done.returncode == 0, done.stderr.decode()
    return done, ws, sorted(set(os.listdir(ws)) - before), argv


def test_training_writes_the_expected_files(tile_result):
    _, ws, written, _ = tile_result
    assert [n for n in written if not CHECKPOINT.fullmatch(n)] == ["NNMetrics.png", "my_model.h5"]
    assert len([n for n in written if CHECKPOINT.fullmatch(n)]) == 2
    assert not [n for n in os.listdir(ws) if "partial" in n or "tmp" in n]
    assert (ws / "NNMetrics.png").read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"


def test_progress_lines_and_epoch_headers(tile_result):
    done, _, _, _ = tile_result
    lines = screen_lines(done.stdout)
    assert [s for s in lines if s.startswith("Epoch ") and "/" in s[:12]] == ["Epoch 1/2", "Epoch 2/2"]
    eta = [s for s in lines if "ETA" in s]
    assert eta and all(ETA_LINE.fullmatch(s) for s in eta), eta
    finals = [FINAL_LINE.fullmatch(s) for s in lines if "/step" in s]
    assert len(finals) == 2 and all(finals)
    # every redraw starts after a carriage return, and every line ends in a line feed
    assert b"\r" in done.stdout and done.stdout.endswith(b"\n") and b"\r\n" not in done.stdout


def output_shape(raw: bytes) -> list:
    """The kinds of screen lines in order, runs of progress redraws counted once."""
    kinds = []
    for line in screen_lines(raw):
        kind = ("eta" if ETA_LINE.fullmatch(line) else "final" if FINAL_LINE.fullmatch(line)
                else "epoch" if re.fullmatch(r"Epoch \d+/\d+", line)
                else "saved" if re.fullmatch(r"Epoch \d+: saving model to .*", line)
                else "info")
        if not kinds or kind != kinds[-1] or kind != "eta":
            kinds.append(kind)
    return kinds


def test_output_keeps_the_shape_of_the_captured_run(tile_result):
    """tests/data/trainNN_run holds a real run's raw output, which the app's progress
    parser is tested against; the worker must keep producing output of that shape."""
    captured = ROOT / "tests" / "data" / "trainNN_run"
    expected = output_shape((captured / "stdout.txt").read_bytes())
    assert expected == ["info", "epoch", "eta", "final", "saved", "epoch", "eta", "final",
                        "saved", "info", "info", "info"]
    assert output_shape(tile_result[0].stdout) == expected
    written = (captured / "files.txt").read_text().split()
    assert [CHECKPOINT.sub("e<epoch>-<val>-<acc>-weights.hdf5", n) for n in written] == \
        [CHECKPOINT.sub("e<epoch>-<val>-<acc>-weights.hdf5", n) for n in tile_result[2]]


def test_checkpoint_names_carry_the_epoch_figures_in_order(tile_result):
    done, _, written, _ = tile_result
    names = sorted(n for n in written if CHECKPOINT.fullmatch(n))
    finals = [FINAL_LINE.fullmatch(s) for s in screen_lines(done.stdout) if "/step" in s]
    for epoch, (name, final) in enumerate(zip(names, finals), 1):
        number, val_acc, acc = CHECKPOINT.fullmatch(name).groups()
        assert int(number) == epoch
        assert (val_acc, acc) == (final.group(4), final.group(3))
        # the app splits at "-": field 1 validation, field 2 training accuracy
        assert name.split("-")[1:3] == [val_acc, acc]


def test_prediction_file_fields(tile_result):
    _, ws, _, _ = tile_result
    raw = (ws / "field_outputlabel.csv").read_bytes()
    assert b"\r" not in raw and b'"' not in raw and raw.endswith(b"\n")
    lines = raw.decode().split("\n")[:-1]
    assert lines[0] == ",index,i,j,filename,label,prediction"
    expected = [(0, 0, 0), (0, 1, 1), (0, 2, 1), (1, 0, 1), (1, 1, 0), (1, 2, 0)]
    for n, (line, (i, j, label)) in enumerate(zip(lines[1:], expected)):
        f = line.split(",")
        assert f[:6] == [str(n), str(n + 1), str(i), str(j), f"field_{i}{j}.png", str(label)]
        assert f[6] in ("0", "1")
    assert len(lines) == 7


def test_final_model_reproduces_the_predictions(tile_result, tmp_path):
    _, ws, _, argv = tile_result
    trained = (ws / "field_outputlabel.csv").read_text()
    test_ws = tmp_path / "ws"
    shutil.copytree(ws, test_ws)
    args = list(argv)
    args[1], args[2], args[4] = str(test_ws), "", str(ws / "my_model.h5")
    assert trainNN.main(args) == 0
    # the rewritten file is read as test data again and keeps its column layout
    assert (test_ws / "field_outputlabel.csv").read_text() == trained
    assert h5io.read_class_names(str(ws / "my_model.h5")) == ["0", "1"]


def test_pure_test_writes_only_the_csv_and_warns(tmp_path, capsys):
    argv, ws = tile_run(tmp_path)
    before = {p.name: p.read_bytes() for p in ws.iterdir()}
    argv[2] = ""
    assert trainNN.main(argv) == 0
    after = {p.name: p.read_bytes() for p in ws.iterdir()}
    assert set(after) == set(before)
    assert [n for n in after if after[n] != before[n]] == ["field_outputlabel.csv"]
    assert "untrained weights" in capsys.readouterr().out


def test_text_labels_resized_output_and_weights_folder(tmp_path, capsys):
    labelled = {f"{a}.{n}": a for n in range(1, 5) for a in ("cat", "dog", "bird")}
    kinds = {"cat": 0, "dog": 1, "bird": 0}
    write_named_images(tmp_path / "train", labelled, kinds)
    write_named_images(tmp_path / "ws", {"x.1": "cat", "x.2": "dog"}, kinds)
    (tmp_path / "m.json").write_text(json.dumps(tiny_model_doc(units=2)))
    argv = [str(tmp_path / "m.json"), str(tmp_path / "ws"), str(tmp_path / "train"), "custom",
            "", "3", "1", "sgd", "mse", "", "folderimage_outputlabel.csv", "0.75",
            "false", "true", "true", "true", ""]
    assert trainNN.main(argv) == 0
    out = capsys.readouterr().out
    assert "resized from 2 to 3 units" in out and "Epoch 1/1" not in out
    assert h5io.read_class_names(str(tmp_path / "ws" / "my_model.h5")) == ["bird", "cat", "dog"]
    # pure test from the workspace folder: the newest file is my_model.h5 with its class names
    argv[2], argv[4] = "", str(tmp_path / "ws")
    assert trainNN.main(argv) == 0
    rows = (tmp_path / "ws" / "folderimage_outputlabel.csv").read_text().split("\n")[1:-1]
    assert len(rows) == 2 and all(r.split(",")[6] in ("bird", "cat", "dog") for r in rows)
    # a checkpoint has no class names: its three outputs are named by index
    argv[4] = str(next((tmp_path / "ws").glob("e0001-*.hdf5")))
    assert trainNN.main(argv) == 0
    rows = (tmp_path / "ws" / "folderimage_outputlabel.csv").read_text().split("\n")[1:-1]
    assert all(r.split(",")[6] in ("0", "1", "2") for r in rows)


def _break(base, case):
    argv, ws = tile_run(base)
    train = Path(argv[2])
    if case["arg"] is not None:
        argv[case["arg"] - 1] = case["value"].replace("<base>", str(base))
    if case.get("csv"):
        (ws / "field_outputlabel.csv").write_text(case["csv"])
    if case.get("train_csv"):
        (train / "field_outputlabel.csv").write_text(case["train_csv"])
    if case.get("bad_image"):
        (train / case["bad_image"]).write_bytes(b"not an image")
    return argv, ws


REFUSALS = [
    {"arg": 7, "value": "0", "err": "epochs must be a positive whole number"},
    {"arg": 6, "value": "four", "err": "batch size must be a positive whole number"},
    {"arg": 8, "value": "Lion", "err": "unknown optimizer 'Lion'"},
    {"arg": 9, "value": "hinge", "err": "unknown loss 'hinge'"},
    {"arg": 1, "value": "<base>/none.json", "err": "model document not found"},
    {"arg": 11, "value": "other.csv", "err": "label document not found"},
    {"arg": 3, "value": "<base>/nowhere", "err": "training data folder not found"},
    {"arg": 5, "value": "<base>/w.h5", "err": "weights not found"},
    {"arg": 17, "value": "<base>/none.csv", "err": "training label document not found"},
    {"arg": None, "csv": "index,i,j,file,label\n1,0,0,field_00.png,0\n", "err": "no 'filename' column"},
    {"arg": None, "train_csv": "index,i,j,filename,label\n", "err": "lists no samples"},
    {"arg": None, "bad_image": "field_11.png", "err": "field_11.png could not be loaded"},
    {"arg": None, "csv": "index,i,j,filename,label\n1,0,0,gone.png,0\n", "err": "gone.png could not be loaded"},
]


@pytest.mark.parametrize("case", REFUSALS, ids=[c["err"][:30] for c in REFUSALS])
def test_refusals_give_one_line_and_no_checkpoint(tmp_path, capsys, case):
    argv, ws = _break(tmp_path, case)
    assert trainNN.main(argv) == 1
    err = capsys.readouterr().err
    assert err.startswith("trainNN: ") and err.count("\n") == 1 and case["err"] in err
    assert not [n for n in os.listdir(ws) if ".hdf5" in n or "my_model" in n]


def test_refusal_from_a_child_process_has_no_traceback(tmp_path):
    argv, _ = tile_run(tmp_path)
    argv[7] = "Lion"
    done = run_script(argv)
    assert done.returncode != 0 and b"Traceback" not in done.stderr
    assert done.stderr.decode().strip().startswith("trainNN: unknown optimizer")


def test_same_inputs_give_the_same_run(tmp_path):
    results = []
    for name in ("a", "b"):
        argv, ws = tile_run(tmp_path / name)
        argv[6], argv[13] = "1", "true"  # one epoch, with the seeded random crops
        assert trainNN.main(argv) == 0
        results.append((sorted(n for n in os.listdir(ws) if CHECKPOINT.fullmatch(n)),
                        (ws / "field_outputlabel.csv").read_text()))
    assert results[0] == results[1]
