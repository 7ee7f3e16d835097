"""Streamed samples against the set built in memory, memory that does not grow with the
number of tiles, and which epoch a run keeps or stops at."""
import json
import os
from pathlib import Path
import subprocess
import sys

import numpy as np
import pytest
import torch
from PIL import Image

import trainNN
from kolvara_nn import h5io
from kolvara_nn.network import build_network
from kolvara_nn.training import augment, run, samples
from kolvara_nn.training.augment import AugmentPlan, affine_copy, rotation_copy, shift_copy
from kolvara_nn.training.data import load_image
from kolvara_nn.training.preprocess import InputSpec
from kolvara_nn.training.epochs import EpochChoice
from trainnn_fixture import HEADER, ROOT, tile_run, tiny_model_doc

pytestmark = pytest.mark.usefixtures("one_thread")


def in_memory(images, seed):
    """The augmented set (all four kinds) built at once, block by block: the originals,
    then each copy of every sample."""
    gen = torch.Generator().manual_seed(seed)
    parts = []
    for start in range(0, images.shape[0], augment.CHUNK):
        x = augment._to_float(images[start:start + augment.CHUNK])
        copies = [shift_copy(x, k) for k in range(4)]
        copies += [affine_copy(x, theta) for theta in augment._crop_maps(x.shape[0], gen)]
        copies += [rotation_copy(x, k) for k in range(3)]
        copies += [affine_copy(x, theta) for theta in augment._distortion_maps(x.shape[0], gen)]
        parts.append([augment._to_uint8(c) for c in copies])
    return torch.cat([images] + [torch.cat([p[k] for p in parts]) for k in range(15)])


@pytest.mark.parametrize("size", [(12, 12), (10, 12)])  # quarter turns of non-square images are resized back
def test_streamed_samples_equal_the_set_built_in_memory(tmp_path, monkeypatch, size):
    monkeypatch.setattr(augment, "CHUNK", 4)  # random maps drawn over several blocks
    monkeypatch.setattr(samples, "SMALL_SET", 0)  # decoded in a worker process
    rng = np.random.RandomState(3)
    names = [f"t{k}.png" for k in range(6)]
    for name in names:
        Image.fromarray(rng.randint(0, 256, size + (3,), dtype=np.uint8)).save(tmp_path / name)
    images = torch.stack([torch.from_numpy(load_image(tmp_path / n, InputSpec(size, 3))) for n in names])
    expected = in_memory(images, seed=run.SEED)
    plan = AugmentPlan(6, True, True, True, True, seed=run.SEED)
    streamed = samples.SampleSet(tmp_path, names, [0, 1, 0, 1, 1, 0], InputSpec(size, 3), plan)
    batches = samples.loader(streamed, 7, torch.device("cpu"))
    assert batches.num_workers == 1 and len(streamed) == expected.shape[0] == 96
    order = torch.randperm(96, generator=torch.Generator().manual_seed(run.SEED))
    batches.batch_sampler.order = order
    got = [samples.checked(batch) for batch in batches]
    assert torch.equal(torch.cat([g[0] for g in got]), expected[order])
    assert torch.cat([g[1] for g in got]).tolist() == [[0, 1, 0, 1, 1, 0][i % 6] for i in order.tolist()]


MEASURE = ("import resource, sys; sys.path.insert(0, sys.argv[1]); import trainNN; code = trainNN.main(sys.argv[2:]); "
           "print(max(resource.getrusage(w).ru_maxrss for w in (resource.RUSAGE_SELF, resource.RUSAGE_CHILDREN))); "
           "sys.exit(code)")


def peak_kb(base: Path, tiles: int) -> int:
    """Peak resident memory of a 48 x 48 training run with shift augmentation whose training
    folder is also the test data: `tiles` noise tiles and their label document."""
    base.mkdir()
    rng = np.random.RandomState(tiles)
    lines = [HEADER]
    for k in range(tiles):
        Image.fromarray(rng.randint(0, 256, (48, 48, 3), dtype=np.uint8)).save(base / f"f_{k}.png", compress_level=1)
        lines.append(f"{k + 1},{k},0,f_{k}.png,{k % 2}")
    (base / "f_outputlabel.csv").write_text("\n".join(lines) + "\n")
    (base / "m.json").write_text(json.dumps(tiny_model_doc(size=48)))
    argv = [str(base / "m.json"), str(base), str(base), "custom", "", "16", "1", "Adam", "categorical_crossentropy", "",
            "f_outputlabel.csv", "0.60", "true", "false", "false", "false", ""]
    done = subprocess.run([sys.executable, "-c", MEASURE, str(ROOT / "workers")] + argv, capture_output=True, timeout=600,
                          env={**os.environ, "CUDA_VISIBLE_DEVICES": ""})
    assert done.returncode == 0, done.stderr.decode()
    return int(done.stdout.split()[-1])


def test_peak_memory_does_not_grow_with_the_number_of_tiles(tmp_path):
    """Held in memory, 900 more tiles and their shifted copies would take over 30 MB as bytes
    and four times that as the network's floats."""
    small, large = peak_kb(tmp_path / "small", 100), peak_kb(tmp_path / "large", 1000)
    assert large - small < 20 * 1024, f"peak {small} kB for 150 tiles, {large} kB for 1500"


@pytest.mark.parametrize("keep_best, patience, accuracies, kept, stopped", [
    (True, 0, [0.5, 0.81, 0.44], 2, None),
    (True, 0, [0.5, 0.7, 0.7, 0.6], 3, None),  # a tie keeps the later epoch
    (False, 0, [0.5, 0.81, 0.44], 3, None),
    (True, 0, [None, None, None], 3, None),  # no validation data: the last
    (True, 2, [None, None, None], 3, None),  # and no stopping early
    (True, 2, [0.5, 0.6, 0.6, 0.55, 0.9], 3, 4),  # a tie is no improvement for patience
    (True, 1, [0.5, 0.4, 0.9], 1, 2),
    (False, 2, [0.5, 0.6, 0.4, 0.4, 0.9], 4, 4),
    (True, 3, [0.5, 0.4, 0.6, 0.5, 0.5, 0.7], 6, None),  # the wait starts again at each improvement
])
def test_kept_epoch_and_early_stop(keep_best, patience, accuracies, kept, stopped):
    choice = EpochChoice(keep_best, patience)
    for epoch, accuracy in enumerate(accuracies, 1):
        choice.after_epoch(epoch, accuracy)
        if choice.stop:
            break
    assert (choice.kept_epoch, epoch if choice.stop else None) == (kept, stopped)


def outputs(model_doc, weights, images):
    net = build_network(model_doc)
    h5io.load_weights(net, str(weights))
    net.eval()
    with torch.no_grad():
        return net(images.float() / 255)


def test_my_model_is_the_kept_epoch_and_an_early_stop_ends_the_run(tmp_path, monkeypatch, capsys):
    scripted = iter([0.5, 0.75, 0.75, 0.5, 0.9])
    real = run.evaluate
    monkeypatch.setattr(run, "evaluate", lambda *a: (real(*a)[0], next(scripted)))
    argv, ws = tile_run(tmp_path)
    argv[6], argv[20] = "5", "2"
    assert trainNN.main(argv) == 0
    out = capsys.readouterr().out
    assert "Epoch 4: early stopping\n" in out and "Epoch 5/5" not in out
    assert "\nkept epoch 3 of 4: validation accuracy 0.75\n" in out
    checkpoints = sorted(ws.glob("e*-weights.hdf5"))
    assert [p.name[:13] for p in checkpoints] == ["e0001-0.5000-", "e0002-0.7500-", "e0003-0.7500-", "e0004-0.5000-"]
    doc = json.loads((tmp_path / "custommodel_temp.json").read_text())
    images = torch.stack([torch.from_numpy(load_image(ws / f"field_{i}{j}.png", InputSpec((16, 16), 3))) for i in (0, 1) for j in range(3)])
    kept = outputs(doc, ws / "my_model.h5", images)
    assert torch.equal(kept, outputs(doc, checkpoints[2], images))
    assert not torch.equal(kept, outputs(doc, checkpoints[3], images))
