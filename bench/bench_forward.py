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


def forward_times(nets_inputs, rounds):
    """Best forward seconds of each (net, input), timed in alternation."""
    best = [float("inf")] * len(nets_inputs)
    with torch.no_grad():
        for net, x in nets_inputs:
            net(x)  # warm-up: allocator and kernel selection
        for _ in range(rounds):
            for k, (net, x) in enumerate(nets_inputs):
                best[k] = min(best[k], timed(lambda: net(x))[0])
    return best


def bench_model(name, repeat, batch):
    """[name, build s, forward s] plus torchvision's figures and the ratios when it has the model."""
    doc = json.loads((ROOT / "resources" / f"{name}.json").read_text())
    rows, cols, channels = doc["config"]["layers"][0]["config"]["batch_input_shape"][1:]
    ctor = peer_constructor(name)
    builds, forwards = [[], []], [[], []]
    for _ in range(repeat):  # interleaved, so load changes hit both sides alike
        seconds, ours = timed(lambda: build_network(doc).eval())
        builds[0].append(seconds)
        pairs = [(ours, torch.rand(batch, rows, cols, channels))]          # NHWC, as Keras
        if ctor is not None:
            seconds, peer = timed(lambda: ctor(weights=None).eval())
            builds[1].append(seconds)
            pairs.append((peer, torch.rand(batch, channels, rows, cols)))  # NCHW, as torchvision
        for k, seconds in enumerate(forward_times(pairs, 3)):
            forwards[k].append(seconds)
        pairs = ours = peer = None  # free the weights before the next build
    row = [name, min(builds[0]), min(forwards[0])]
    if ctor is not None:
        row += [min(builds[1]), min(forwards[1])]
        row += [row[1] / row[3], row[2] / row[4]]
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
