"""Streaming data pipeline: trainNN.py's training pass next to a plain PyTorch DataLoader loop.

Generates textured 64 x 64 PNG tiles with a label document, then for each tile count runs,
each in its own process and one after the other:
  ours   trainNN.py on the shipped start network (resources/custommodel.json), one epoch,
         shift augmentation on, the tiles both training data and test data (so the run
         also writes the prediction file and the metrics image);
  plain  the same network, files, samples (each training tile five times, as the shift
         copies make it), batch size and number of decoding processes in a plain loop:
         a Dataset that opens, converts and resizes each file with Pillow, a shuffling
         DataLoader, torch's Adam and cross entropy.
Images per second count the training samples of the epoch over its wall time (ours: the
epoch alone, without the checks, validation and predictions around it). Peak memory is the
largest resident set of the run's process or of one of its decoding processes.

--big adds one run of ours alone on that many tiles (the 62,500 tiles of a 20,000 x 20,000
orthophoto at 80-pixel tiles by default); --resnet adds pure tests (no training folder) of
the ResNet50 architecture at 224 x 224, batch 8, untrained weights, for each tile count given;
--pure224 the same pure tests with a one-convolution 224 x 224 network, which decodes, scales
and predicts every tile the same way at a fraction of ResNet50's arithmetic.

    /usr/bin/python3 bench/bench_stream.py [--tiles 1000 4000 16000] [--big 62500]
        [--resnet 500 10000] [--pure224 500 10000] [--batch 32] [--rounds 2]
        [--folder /tmp/kolvara-stream]
"""
import argparse
import json
import os
from pathlib import Path
import shutil
import signal
import subprocess
import sys
import tempfile
import time

import numpy as np
from PIL import Image

ROOT = Path(__file__).resolve().parents[1]
WORKERS = ROOT / "workers"
HEADER = "index,i,j,filename,label"

OURS = r"""
import json, resource, sys, time
sys.path.insert(0, sys.argv[1])
import trainNN
from kolvara_nn.training import run
timed = {"seconds": 0.0, "samples": 0}
fit_epoch = run.fit_epoch
def fit_timed(net, optimizer, loss_fn, batches, *rest):
    start = time.perf_counter()
    result = fit_epoch(net, optimizer, loss_fn, batches, *rest)
    timed["seconds"] += time.perf_counter() - start
    timed["samples"] += batches.batch_sampler.n
    timed["workers"] = batches.num_workers
    return result
run.fit_epoch = fit_timed
start = time.perf_counter()
code = trainNN.main(sys.argv[3:])
timed["wall"] = time.perf_counter() - start
timed["peak_kb"] = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
timed["workers_peak_kb"] = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
open(sys.argv[2], "w").write(json.dumps(timed))
sys.exit(code)
"""

PLAIN = r"""
import json, resource, sys, time
import numpy as np, torch
from PIL import Image
sys.path.insert(0, sys.argv[1])
from kolvara_nn import keras_json
from kolvara_nn.network import build_network
folder, doc, names, labels, batch, workers, threads = json.loads(open(sys.argv[3]).read())
torch.set_num_threads(threads)
torch.manual_seed(0)
first = json.loads(open(doc).read())["config"]["layers"][0]["config"]
height, width = (first.get("batch_input_shape") or first.get("batch_shape"))[1:3]

class Files(torch.utils.data.Dataset):
    def __len__(self):
        return len(names)
    def __getitem__(self, i):
        with Image.open(folder + "/" + names[i]) as img:
            x = np.array(img.convert("RGB").resize((width, height), Image.BILINEAR))
        return torch.from_numpy(x), labels[i]

net = build_network(keras_json.load_document(doc))
optimizer = torch.optim.Adam(net.parameters(), lr=1e-3)
loader = torch.utils.data.DataLoader(Files(), batch_size=batch, shuffle=True, num_workers=workers)
net.train()
start = time.perf_counter()
for x, y in loader:
    out = net.forward_logits(x.float().div_(255))
    loss = torch.nn.functional.cross_entropy(out, y)
    optimizer.zero_grad(set_to_none=True)
    loss.backward()
    optimizer.step()
seconds = time.perf_counter() - start
open(sys.argv[2], "w").write(json.dumps({
    "seconds": seconds, "samples": len(names), "workers": workers,
    "peak_kb": resource.getrusage(resource.RUSAGE_SELF).ru_maxrss,
    "workers_peak_kb": resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss}))
"""


def small_224_doc(path: Path) -> Path:
    """A 224 x 224 network of one strided convolution, global pooling and a 2-unit softmax."""
    def layer(cls, name, config, inbound):
        return {"class_name": cls, "name": name, "config": {"name": name, **config},
                "inbound_nodes": [[[inbound, 0, 0, {}]]] if inbound else []}
    layers = [layer("InputLayer", "input_1", {"batch_input_shape": [None, 224, 224, 3]}, None),
              layer("Conv2D", "conv", {"filters": 8, "kernel_size": [7, 7], "strides": [4, 4],
                                       "padding": "valid", "activation": "relu"}, "input_1"),
              layer("GlobalAveragePooling2D", "pool", {}, "conv"),
              layer("Dense", "dense", {"units": 2, "activation": "softmax"}, "pool")]
    path.write_text(json.dumps({"class_name": "Functional", "config": {
        "name": "small224", "layers": layers, "input_layers": [["input_1", 0, 0]],
        "output_layers": [["dense", 0, 0]]}}))
    return path


def make_tiles(folder: Path, count: int) -> None:
    """Tiles t_<k>.png (64 x 64, smooth stripes of two kinds and noise), made once."""
    folder.mkdir(parents=True, exist_ok=True)
    rng = np.random.RandomState(0)
    y, x = np.mgrid[0:64, 0:64]
    kinds = [(np.sin(y / 3.0) * 60 + 128), (np.sin((x + y) / 4.0) * 60 + 128)]
    for k in range(count):
        path = folder / f"t_{k}.png"
        if path.exists():
            continue
        pixels = kinds[k % 2][..., None] + rng.randint(-30, 30, (64, 64, 3))
        Image.fromarray(pixels.clip(0, 255).astype(np.uint8)).save(path, compress_level=1)


def label_rows(count: int) -> list:
    return [f"{k + 1},{k // 250},{k % 250},t_{k}.png,{k % 2}" for k in range(count)]


def clean(folder: Path) -> None:
    for path in folder.iterdir():
        if ".hdf5" in path.name or path.name in ("my_model.h5", "NNMetrics.png"):
            path.unlink()


def run_ours(folder: Path, count: int, doc: Path, batch: int, train: bool, resnet=None) -> dict:
    clean(folder)
    (folder / "t_outputlabel.csv").write_text("\n".join([HEADER] + label_rows(count)) + "\n")
    argv = [str(doc), str(folder), str(folder) if train else "", "ResNet50" if resnet else "custom", "",
            str(batch), "1", "Adam", "categorical_crossentropy", str(resnet or ""), "t_outputlabel.csv",
            "0.60", "true", "false", "false", "false", ""]
    with tempfile.NamedTemporaryFile(suffix=".json") as result:
        done = subprocess.run([sys.executable, "-c", OURS, str(WORKERS), result.name] + argv,
                              stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        if done.returncode != 0:
            raise RuntimeError(done.stderr.decode()[-2000:])
        return json.loads(Path(result.name).read_text())


def run_plain(folder: Path, count: int, doc: Path, batch: int, workers: int) -> dict:
    sys.path.insert(0, str(WORKERS))
    from kolvara_nn.training.data import split_indices
    from kolvara_nn.training.samples import cpu_threads
    train, _ = split_indices(count, 0.60, 1234)
    names = [f"t_{k}.png" for k in train] * 5
    labels = [k % 2 for k in train] * 5
    with tempfile.NamedTemporaryFile("w", suffix=".json") as config, \
            tempfile.NamedTemporaryFile(suffix=".json") as result:
        config.write(json.dumps([str(folder), str(doc), names, labels, batch, workers, cpu_threads()]))
        config.flush()
        done = subprocess.run([sys.executable, "-c", PLAIN, str(WORKERS), result.name, config.name],
                              stderr=subprocess.PIPE)
        if done.returncode != 0:
            raise RuntimeError(done.stderr.decode()[-2000:])
        return json.loads(Path(result.name).read_text())


def line(name: str, count: int, r: dict) -> str:
    rate = r["samples"] / r["seconds"] if r.get("seconds") else float("nan")
    text = "  %-6s %6d tiles  %8.1f images/s  peak %7.1f MB (decoding process %6.1f MB, %d of them)" % (
        name, count, rate, r["peak_kb"] / 1024, r["workers_peak_kb"] / 1024, r.get("workers", 0))
    if "wall" in r:
        text += "  whole run %.1f s" % r["wall"]
    return text


def main(argv=None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--tiles", type=int, nargs="*", default=[1000, 4000, 16000])
    parser.add_argument("--big", type=int, default=62500, help="0 skips it")
    parser.add_argument("--resnet", type=int, nargs="*", default=[])
    parser.add_argument("--pure224", type=int, nargs="*", default=[])
    parser.add_argument("--batch", type=int, default=32)
    parser.add_argument("--rounds", type=int, default=2)
    parser.add_argument("--folder", type=Path, default=None, help="tiles kept there between runs")
    args = parser.parse_args(argv)
    # Ended from outside, the bench ends the run it measures too: subprocess.run kills its child
    # when an exception interrupts the wait, which a bare SIGTERM would not raise.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    folder = args.folder or Path(tempfile.mkdtemp(prefix="kolvara-stream-"))
    doc = ROOT / "resources" / "custommodel.json"
    print("%d cores; the machine may be shared, so compare figures within one row pair" % os.cpu_count(), flush=True)
    started = time.perf_counter()
    make_tiles(folder, max(args.tiles + [args.big] + args.resnet + args.pure224))
    print("tiles ready in %.0f s in %s" % (time.perf_counter() - started, folder), flush=True)
    peaks = {}
    rate = lambda r: r["samples"] / r["seconds"]
    for count in args.tiles:
        best = {}
        for _ in range(args.rounds):  # interleaved; the fastest round of each counts
            ours = run_ours(folder, count, doc, args.batch, True)
            print(line("ours", count, ours), flush=True)
            peaks[count] = max(peaks.get(count, 0), ours["peak_kb"] / 1024)
            plain = run_plain(folder, count, doc, args.batch, ours["workers"])
            print(line("plain", count, plain), flush=True)
            for name, r in (("ours", ours), ("plain", plain)):
                if name not in best or rate(r) > rate(best[name]):
                    best[name] = r
        print("  ours / plain images per second, best of %d: %.2f (target >= 0.90)" % (
            args.rounds, rate(best["ours"]) / rate(best["plain"])), flush=True)
    if len(peaks) > 1:
        low, high = min(peaks), max(peaks)
        print("peak growth from %d to %d tiles: %.1f MB (target < 100 MB)" % (low, high, peaks[high] - peaks[low]))
    if args.big:
        big = run_ours(folder, args.big, doc, args.batch, True)
        print(line("ours", args.big, big), flush=True)
    resnet50 = ROOT / "resources" / "resnet50.json"
    small = small_224_doc(folder / "small224.json")
    for name, counts, network, chosen in (("ResNet50", args.resnet, resnet50, resnet50),
                                          ("one-convolution 224 x 224", args.pure224, small, None)):
        peaks = {}
        for count in counts:
            r = run_ours(folder, count, network, 8, False, resnet=chosen)
            print("  %s pure test, %d tiles at 224 x 224, batch 8: peak %.1f MB, %.1f s" % (
                name, count, r["peak_kb"] / 1024, r["wall"]), flush=True)
            peaks[count] = r["peak_kb"] / 1024
        if len(peaks) > 1:
            print("%s pure test peak growth from %d to %d tiles: %.1f MB (target < 100 MB)" % (
                name, min(peaks), max(peaks), peaks[max(peaks)] - peaks[min(peaks)]), flush=True)
    if not args.folder:
        shutil.rmtree(folder)
    return 0


if __name__ == "__main__":
    sys.exit(main())
