"""Build time and one forward pass of each shipped architecture, next to torchvision.

Prints, per model, the best of N interleaved runs of our KerasNetwork (built from the
resources/*.json document) and of the same network written directly in PyTorch
(torchvision), and the ratio ours / torchvision (target: at most 1.1). Not a test.

Usage: bench_forward.py [--repeat N] [--batch B] [MODEL ...]
"""
import argparse
import json
import os
import pathlib
import sys
import time

ROOT = pathlib.Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "workers"))

import torch  # noqa: E402

from kolvara_nn.network import build_network  # noqa: E402

MODELS = ("resnet50", "vgg16", "vgg19", "xception", "custommodel")


def peer_constructor(name):
    """torchvision's own PyTorch version of the network, or None."""
    try:
        import torchvision.models as tvm
    except ImportError:
        return None
    return {"resnet50": tvm.resnet50, "vgg16": tvm.vgg16, "vgg19": tvm.vgg19}.get(name)


def timed(fn):
    start = time.perf_counter()
    value = fn()
    return time.perf_counter() - start, value


def measure(build, make_input, repeat):
    """(best build seconds, best forward seconds) over `repeat` runs."""
    builds, forwards = [], []
    for _ in range(repeat):
        seconds, net = timed(build)
        builds.append(seconds)
        net.eval()
        x = make_input()
        with torch.no_grad():
            net(x)  # warm-up: allocator and kernel selection
            forwards.append(min(timed(lambda: net(x))[0] for _ in range(2)))
        net = None  # free the weights before the next build
    return min(builds), min(forwards)


def bench_model(name, repeat, batch):
    doc = json.loads((ROOT / "resources" / f"{name}.json").read_text())
    size = doc["config"]["layers"][0]["config"]["batch_input_shape"][1:]
    ours_input = lambda: torch.rand(batch, *size)                      # NHWC, as Keras
    peer_input = lambda: torch.rand(batch, size[2], size[0], size[1])  # NCHW, as torchvision
    ctor = peer_constructor(name)
    ours, peer = [], []
    for _ in range(repeat):  # interleaved, so load changes hit both sides alike
        ours.append(measure(lambda: build_network(doc), ours_input, 1))
        if ctor is not None:
            peer.append(measure(lambda: ctor(weights=None), peer_input, 1))
    best = lambda runs, i: min(r[i] for r in runs)
    row = [name, best(ours, 0), best(ours, 1)]
    if peer:
        row += [best(peer, 0), best(peer, 1), best(ours, 0) / best(peer, 0), best(ours, 1) / best(peer, 1)]
    return row


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--batch", type=int, default=1)
    parser.add_argument("models", nargs="*", default=list(MODELS))
    args = parser.parse_args(argv)
    torch.set_num_threads(os.cpu_count() or 1)
    print(f"torch {torch.__version__}, {torch.get_num_threads()} threads, batch {args.batch}, "
          f"best of {args.repeat}", flush=True)
    print(f"{'model':<12} {'build s':>8} {'fwd s':>8} {'tv build':>9} {'tv fwd':>8} "
          f"{'build ratio':>11} {'fwd ratio':>9}", flush=True)
    for name in args.models:
        row = bench_model(name, args.repeat, args.batch)
        cells = [f"{row[0]:<12}", f"{row[1]:8.3f}", f"{row[2]:8.3f}"]
        if len(row) > 3:
            cells += [f"{row[3]:9.3f}", f"{row[4]:8.3f}", f"{row[5]:11.2f}", f"{row[6]:9.2f}"]
        else:
            cells += [f"{'-':>9}", f"{'-':>8}", f"{'-':>11}", f"{'-':>9}"]
        print(" ".join(cells), flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
