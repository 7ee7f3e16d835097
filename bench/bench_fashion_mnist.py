"""Fashion-MNIST through trainNN.py, next to a plain PyTorch loop.

Exports a class-balanced subset of Debian's dataset-fashion-mnist (apt-get install -y
dataset-fashion-mnist) as PNGs with label CSVs in the workspace format, trains the shipped
custom network (resources/custommodel.json, output resized to 10 classes) through
trainNN.py on the CPU with the strategy form's defaults (batch size 4, Adam,
mean_squared_error, training share 0.60, no augmentation) apart from the number of epochs,
and prints the test accuracy, the minutes the run took with the machine's load, and the
training throughput, then the throughput of a plain loop (torch.optim.Adam, batched, same
network, tensors and batch size).

    /usr/bin/python3 bench/bench_fashion_mnist.py [--train 10000] [--test 2000] [--epochs 10]
"""
import argparse
import gzip
import json
import os
from pathlib import Path
import re
import resource
import shutil
import subprocess
import sys
import time

import numpy as np

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "workers"))

DATA = Path("/usr/share/datasets/fashion-mnist")
CLASSES = ["Tshirt", "Trouser", "Pullover", "Dress", "Coat", "Sandal", "Shirt", "Sneaker",
           "Bag", "Ankle_boot"]
TARGET_ACCURACY = 0.90  # what small published CNNs reach on Fashion-MNIST
TARGET_MINUTES = 10


def read_idx(kind: str):
    with gzip.open(DATA / f"{kind}-images-idx3-ubyte.gz") as f:
        images = np.frombuffer(f.read(), np.uint8, offset=16).reshape(-1, 28, 28)
    with gzip.open(DATA / f"{kind}-labels-idx1-ubyte.gz") as f:
        labels = np.frombuffer(f.read(), np.uint8, offset=8)
    return images, labels


def balanced(labels, count: int, seed: int):
    rng = np.random.RandomState(seed)
    per_class = count // len(CLASSES)
    chosen = [rng.choice(np.flatnonzero(labels == c), per_class, replace=False)
              for c in range(len(CLASSES))]
    return rng.permutation(np.concatenate(chosen))


def export(folder: Path, images, labels, picks, prefix: str) -> None:
    """PNG per image and folderimage_outputlabel.csv, as the app writes them."""
    from PIL import Image
    folder.mkdir(parents=True, exist_ok=True)
    lines = ["index,i,j,filename,label"]
    for n, k in enumerate(picks, 1):
        name = f"{prefix}{n:05d}.png"
        Image.fromarray(images[k], "L").save(folder / name)
        lines.append(f"{n},{n},{n},{name},{CLASSES[labels[k]]}")
    (folder / "folderimage_outputlabel.csv").write_text("\n".join(lines) + "\n")


def run_worker(argv, threads) -> dict:
    """Run trainNN.py, echo its lines, and time each epoch from its header to its last line."""
    env = {**os.environ, "CUDA_VISIBLE_DEVICES": ""}
    if threads:
        env["OMP_NUM_THREADS"] = str(threads)
    launched = time.perf_counter()
    proc = subprocess.Popen([sys.executable, str(ROOT / "workers" / "trainNN.py")] + argv,
                            stdout=subprocess.PIPE, env=env)
    starts, ends, pending = [], [], b""
    while True:
        chunk = proc.stdout.read1(65536)
        if not chunk:
            break
        now = time.perf_counter()
        pending += chunk
        *lines, pending = re.split(rb"\n", pending)
        for line in lines:
            text = line.decode().split("\r")[-1].replace("\b", "")
            if re.fullmatch(r"Epoch \d+/\d+", text):
                starts.append(now)
            elif "/step" in text:
                ends.append(now)
            print(text, flush=True)
    if proc.wait() != 0:
        raise SystemExit("trainNN.py failed")
    if not starts and ends:
        starts = [launched]  # as in Keras, a one-epoch run prints no "Epoch 1/1" header
    return {"epoch_seconds": [e - s for s, e in zip(starts, ends)]}


def test_accuracy(csv_path: Path) -> float:
    rows = [line.split(",") for line in csv_path.read_text().split("\n")[1:] if line]
    return sum(r[5] == r[6] for r in rows) / len(rows)


def plain_loop(doc_path, train_folder, epochs, batch, share, threads) -> list:
    """The same epoch work with stock PyTorch parts: forward, NLL loss on log-probabilities,
    torch Adam, then the validation forward pass."""
    import torch
    torch.set_num_threads(threads)
    from kolvara_nn.training import model_setup
    from kolvara_nn.training.data import load_images, read_label_table, split_indices
    table = read_label_table(train_folder / "folderimage_outputlabel.csv")
    torch.manual_seed(0)
    net, _ = model_setup.build(doc_path, len(CLASSES), say=lambda s: None)
    from kolvara_nn.training.preprocess import input_spec
    images = load_images(train_folder, table.filenames, input_spec(net.input_shape))
    x = images.float().div(255)
    y = torch.tensor([CLASSES.index(v) for v in table.labels])
    train, val = split_indices(len(y), share, 1234)
    xt, yt, xv, yv = x[train], y[train], x[val], y[val]
    opt = torch.optim.Adam(net.parameters(), lr=1e-3)
    seconds, accuracy = [], []
    for _ in range(epochs):
        start = time.perf_counter()
        net.train()
        order = torch.randperm(len(yt))
        for k in range(0, len(yt), batch):
            idx = order[k:k + batch]
            loss = torch.nn.functional.nll_loss(torch.log(net(xt[idx]).clamp_min(1e-7)), yt[idx])
            opt.zero_grad()
            loss.backward()
            opt.step()
        net.eval()
        hits = 0
        with torch.no_grad():
            for k in range(0, len(xv), batch):
                hits += (net(xv[k:k + batch]).argmax(1) == yv[k:k + batch]).sum().item()
        seconds.append(time.perf_counter() - start)
        accuracy.append(hits / max(1, len(yv)))
    return seconds, accuracy


def main(argv=None) -> int:
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    p.add_argument("--train", type=int, default=10000)
    p.add_argument("--test", type=int, default=2000)
    p.add_argument("--epochs", type=int, default=10)
    p.add_argument("--peer-epochs", type=int, default=1)
    p.add_argument("--batch", type=int, default=4)
    p.add_argument("--share", type=float, default=0.6)
    p.add_argument("--loss", default="mean_squared_error")
    p.add_argument("--threads", type=int, default=0,
                   help="CPU threads for both loops (default: what trainNN.py picks, all cores)")
    p.add_argument("--out", type=Path, default=ROOT / "bench" / "out" / "fashion_mnist")
    a = p.parse_args(argv)
    if not DATA.is_dir():
        print("needs Debian's dataset-fashion-mnist package", file=sys.stderr)
        return 1
    shutil.rmtree(a.out, ignore_errors=True)
    train_images, train_labels = read_idx("train")
    test_images, test_labels = read_idx("t10k")
    export(a.out / "train", train_images, train_labels, balanced(train_labels, a.train, 1), "tr")
    export(a.out / "ws", test_images, test_labels, balanced(test_labels, a.test, 2), "te")
    doc = a.out / "custommodel_temp.json"
    shutil.copy(ROOT / "resources" / "custommodel.json", doc)
    args = [str(doc), str(a.out / "ws"), str(a.out / "train"), "custom", "", str(a.batch),
            str(a.epochs), "Adam", a.loss, "", "folderimage_outputlabel.csv",
            "%.2f" % a.share, "false", "false", "false", "false", ""]
    started = time.perf_counter()
    load_before = os.getloadavg()[0]
    threads = a.threads or len(os.sched_getaffinity(0))
    timing = run_worker(args, threads)
    total = time.perf_counter() - started
    worker_cpu = resource.getrusage(resource.RUSAGE_CHILDREN)
    worker_cpu = worker_cpu.ru_utime + worker_cpu.ru_stime
    accuracy = test_accuracy(a.out / "ws" / "folderimage_outputlabel.csv")
    n_train = int(round(a.share * a.train))
    ours = n_train / np.mean(timing["epoch_seconds"])
    peer_seconds, peer_accuracy = plain_loop(doc, a.out / "train", a.peer_epochs, a.batch,
                                             a.share, threads)
    peer = n_train / np.mean(peer_seconds)
    print(f"\nFashion-MNIST subset: {a.train} training images ({n_train} trained on, "
          f"{a.train - n_train} validation), {a.test} test images, {a.epochs} epochs, "
          f"batch {a.batch}, Adam, {a.loss}, {threads} CPU thread(s) of {os.cpu_count()}, "
          f"load average {load_before:.1f} before, {os.getloadavg()[0]:.1f} after")
    print(f"test accuracy      {accuracy:.4f}  (target >= {TARGET_ACCURACY:.2f})")
    print(f"whole run          {total / 60:.1f} min  (target <= {TARGET_MINUTES}; the worker used "
          f"{worker_cpu / 60:.1f} CPU minutes, which on an idle machine bounds it from above "
          f"at one thread)")
    print(f"trainNN.py         {ours:8.1f} images/s  (epochs {', '.join('%.1fs' % s for s in timing['epoch_seconds'])};"
          f" whole run {total:.0f}s)")
    print(f"plain PyTorch loop {peer:8.1f} images/s  (validation accuracy per epoch "
          f"{', '.join('%.4f' % v for v in peer_accuracy)}; trainNN.py's is in its epoch lines)")
    print(f"ratio              {ours / peer:.3f}  (target >= 0.9)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
