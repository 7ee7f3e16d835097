#!/usr/bin/env python3
"""Plants plausible one-line faults in the workers, one at a time, and reports which ones the
Python test suite catches.

Each fault is planted in a scratch copy of workers/ and tests/python/ (with the files the
tests read: resources/, tools/, tests/data/), never in the real tree. The unchanged copy runs
first: a suite that fails without a fault would count every fault as caught. The suite runs
with -x and the test files named for the fault first, so a caught fault usually ends within
seconds; a missed one runs every test.

    /usr/bin/python3 tools/plant_faults.py [--timeout S] [--only SUBSTRING ...]
"""
import argparse
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile
import time

ROOT = pathlib.Path(__file__).resolve().parents[1]
NN = "workers/kolvara_nn/"
TR = NN + "training/"

# (file, exact original text, faulty text, what it breaks, test files to run first)
FAULTS = [
    (TR + "losses.py", "    p = p / p.sum(dim=-1, keepdim=True)\n", "",
     "categorical cross-entropy of an output that does not sum to 1", "test_train_losses"),
    (TR + "losses.py", "    return -bce.mean(dim=-1)", "    return -bce.sum(dim=-1)",
     "binary cross-entropy summed over outputs instead of averaged", "test_train_losses"),
    (TR + "losses.py", "lambda t, z: -(t * F.log_softmax(z, dim=-1)).sum(dim=-1),",
     "lambda t, z: -(t * F.log_softmax(z, dim=-1)).mean(dim=-1),",
     "cross-entropy on softmax logits averaged over classes", "test_train_losses"),
    (NN + "keras_json.py", "        self.used.add(name)\n", "",
     "the layer namer forgets the names it gave", "test_keras_json"),
    (NN + "keras_json.py", "            k = 1\n            while f\"input_{k}\"",
     "            k = 0\n            while f\"input_{k}\"",
     "unnamed inputs counted from 0", "test_keras_json"),
    (NN + "graph.py", "key=lambda n: (-layer_depth[n], first_seen[n])",
     "key=lambda n: (layer_depth[n], first_seen[n])",
     "Keras layer order reversed by depth", "test_h5io_write test_keras_json"),
    (NN + "h5io.py", "    order = keras_json.keras_layer_order(net.document)\n    bad",
     "    order = list(net.layer_names)\n    bad",
     "HDF5 layer_names written in document order", "test_h5io_write"),
    (NN + "h5io.py", "json.dumps([str(c) for c in class_names])",
     "json.dumps(sorted(str(c) for c in class_names))",
     "stored class names lose their output order", "test_h5io_write test_trainNN"),
    (NN + "h5io.py", "paths = [w if \"/\" in w else \"%s/%s\" % (name, w) for w, _ in weights]",
     "paths = [w for w, _ in weights]",
     "weight datasets written outside their layer group", "test_h5io_write"),
    (NN + "h5io.py", "path = snake if index == 0 else \"%s_%d\" % (snake, index)",
     "path = snake if index == 0 else \"%s_%d\" % (snake, index + 1)",
     "Keras 3 object paths of repeated layer classes off by one", "test_h5io_load"),
    (NN + "h5io.py", "        return [by_name[name] for name in wanted]\n",
     "        return [array for _, array in arrays]\n",
     "a layer's weights taken in file order, not by name", "test_h5io_load test_loadmodel"),
    (NN + "layers_core.py",
     "x.permute(0, 3, 1, 2) if self.channels_first else x.permute(0, 2, 3, 1)",
     "x.permute(0, 3, 1, 2) if self.channels_first else x",
     "Flatten in channels-first order", "test_layer_numbers"),
    (NN + "layers_core.py", "self.torch_momentum = 1.0 - float(config.get(\"momentum\", 0.99))",
     "self.torch_momentum = float(config.get(\"momentum\", 0.99))",
     "batch normalisation moving averages updated the wrong way", "test_layer_numbers"),
    (NN + "layers_conv.py", "    return total // 2, total - total // 2",
     "    return total - total // 2, total // 2",
     "SAME padding puts the extra pixel before", "test_layer_numbers"),
    (NN + "layers_conv.py", "    return t.permute(3, 2, 0, 1)", "    return t.permute(3, 2, 1, 0)",
     "convolution kernels transposed", "test_layer_numbers"),
    (TR + "optimizers.py", "alpha = group[\"lr\"] * math.sqrt(1 - b2 ** t) / (1 - b1 ** t)",
     "alpha = group[\"lr\"]", "Adam without bias correction", "test_train_optimizers"),
    (TR + "optimizers.py", "m.mul_(mu).add_(g, alpha=-lr)", "m.mul_(mu).add_(g, alpha=lr)",
     "SGD momentum climbing the gradient", "test_train_optimizers"),
    (TR + "optimizers.py", "g / torch.sqrt(denominator + group[\"epsilon\"])",
     "g / (torch.sqrt(denominator) + group[\"epsilon\"])",
     "RMSprop epsilon outside the root", "test_train_optimizers"),
    (TR + "optimizers.py", "    defaults_keras = dict(lr=0.001, rho=0.95, epsilon=1e-7)",
     "    defaults_keras = dict(lr=1.0, rho=0.95, epsilon=1e-7)",
     "Adadelta with PyTorch's learning rate", "test_train_optimizers"),
    (TR + "trainer.py", "        optimizer.zero_grad(set_to_none=True)\n", "",
     "training without zero_grad", "test_train_optimizers"),
    (TR + "trainer.py", "    return loss_sum / n, hits / n", "    return loss_sum / n, hits / len(batches)",
     "validation accuracy averaged over batches, not samples", "test_trainNN test_train_outputs"),
    (TR + "epochs.py", "or val_accuracy >= self.kept_accuracy)", "or val_accuracy > self.kept_accuracy)",
     "a tie keeps the earlier epoch", "test_train_stream"),
    (TR + "epochs.py", "return self.patience > 0 and self._waited >= self.patience",
     "return self.patience > 0 and self._waited > self.patience",
     "early stopping one epoch late", "test_train_stream"),
    (TR + "run.py", "            kept = _weights_copy(net)", "            kept = net.state_dict()",
     "the kept epoch's weights alias the live ones", "test_train_stream"),
    (TR + "run.py", "    if choice.kept_epoch != choice.epochs:\n",
     "    if False:\n", "the kept epoch is never restored", "test_train_stream"),
    (TR + "run.py", "name = f\"e{epoch:04d}-{val_accuracy:.4f}-{accuracy:.4f}-weights.hdf5\"",
     "name = f\"e{epoch:04d}-{accuracy:.4f}-{val_accuracy:.4f}-weights.hdf5\"",
     "checkpoint name with the accuracies swapped", "test_trainNN test_train_outputs"),
    (TR + "progress.py", "message = \"\\b\" * self._width + \"\\r\" + line",
     "message = \"\\b\" * self._width + line", "progress redraw without carriage return",
     "test_train_progress"),
    (TR + "predict_csv.py", "out.write(\",\".join([str(written)] + fields",
     "out.write(\",\".join([str(written + 1)] + fields",
     "prediction rows numbered from 1", "test_train_outputs test_trainNN"),
    (TR + "predict_csv.py", "        keep = keep[1:]\n", "        keep = keep[:-1]\n",
     "a rewritten prediction file drops a label column instead of its row numbers", "test_train_outputs test_trainNN"),
    (TR + "data.py", "        line = line[:-1] if line.endswith(\"\\r\") else line\n", "",
     "CRLF label documents keep the carriage return in the last field", "test_train_data"),
    (TR + "data.py", "order = np.random.RandomState(seed).permutation(n)", "order = np.arange(n)",
     "validation split not shuffled", "test_train_data"),
    (TR + "preprocess.py", "        return sorted(distinct, key=lambda s: (float(s), s))",
     "        return distinct", "numeric labels ordered as text", "test_preprocess"),
    (TR + "preprocess.py", "        x.div_(127.5).sub_(1.0)", "        x.div_(255.0)",
     "tf scaling gives 0..1", "test_preprocess"),
    (TR + "preprocess.py", "        x = x.flip(-1).sub_(", "        x = x.sub_(",
     "caffe scaling without RGB to BGR", "test_preprocess"),
    (TR + "preprocess.py", "        return recorded, \"recorded with the model\"",
     "        return chosen, \"recorded with the model\"",
     "the recorded input scaling ignored", "test_preprocess test_trainNN"),
    (TR + "preprocess.py", "    if stored and len(stored) == units:", "    if False:",
     "class names stored with the model ignored", "test_preprocess test_trainNN"),
    (TR + "augment.py", "dy, dx = ((-dy, 0), (dy, 0), (0, -dx), (0, dx))[k]",
     "dy, dx = ((-dy, 0), (dy, 0), (0, -dx), (0, -dx))[k]",
     "two shift copies the same", "test_train_stream test_train_data"),
    (TR + "augment.py", "return torch.rot90(image, k + 1, dims=(0, 1)).contiguous()",
     "return torch.rot90(image, k, dims=(0, 1)).contiguous()",
     "the first rotation copy is not turned", "test_train_stream test_train_data"),
    (TR + "samples.py", "        if variant:\n", "        if variant > 1:\n",
     "the first augmented copy is the original", "test_train_stream"),
    (TR + "args.py", "keep_best=_switch(a[20], \"keep the best epoch\") if a[20].strip() else True",
     "keep_best=_switch(a[20], \"keep the best epoch\") if a[20].strip() else False",
     "keeping the best epoch off by default", "test_train_outputs"),
    (TR + "args.py", "if not re.fullmatch(r\"\\s*\\+?\\d+\\s*\", text) or int(text) <= 0:",
     "if not re.fullmatch(r\"\\s*\\+?\\d+\\s*\", text) or int(text) < 0:",
     "a batch size or epoch count of 0 accepted", "test_train_outputs"),
]


def test_files(scratch, first):
    """Every test file, the fault's own ones first."""
    tests = scratch / "tests" / "python"
    named = [tests / f"{name}.py" for name in first.split()]
    rest = sorted(p for p in tests.glob("test_*.py") if p not in named)
    return [str(p) for p in named if p.is_file()] + [str(p) for p in rest]


def plant(scratch, path, original, faulty):
    target = scratch / path
    text = target.read_text(encoding="utf-8")
    count = text.count(original)
    if count != 1:
        raise SystemExit(f"{path}: the original text occurs {count} times: {original!r}")
    planted = text.replace(original, faulty)
    try:  # a fault the parser refuses would be caught by any import, telling nothing
        compile(planted, str(target), "exec")
    except SyntaxError as exc:
        raise SystemExit(f"{path}: the faulty text does not parse: {exc}") from None
    target.write_text(planted, encoding="utf-8")


COPIED = ("workers", "tests/python", "tests/data", "resources", "tools")


def run_one(fault, timeout):
    """'caught', 'missed' or 'timeout', and the first failing test."""
    path, original, faulty, _, first = fault
    with tempfile.TemporaryDirectory(prefix="kolvara-fault-") as tmp:
        scratch = pathlib.Path(tmp) / "repo"
        for folder in COPIED:
            shutil.copytree(ROOT / folder, scratch / folder,
                            ignore=shutil.ignore_patterns("__pycache__"))
        if path:
            plant(scratch, path, original, faulty)
        env = dict(os.environ, KOLVARA_TESTDATA=str(ROOT.parent / "shared" / "testdata"),
                   PYTHONDONTWRITEBYTECODE="1")
        command = [sys.executable, "-m", "pytest", "-x", "-q", "-p", "no:cacheprovider",
                   *test_files(scratch, first)]
        try:
            done = subprocess.run(command, cwd=scratch, env=env, capture_output=True,
                                  text=True, timeout=timeout)
        except subprocess.TimeoutExpired:
            return "timeout", ""
        failed = [line for line in done.stdout.splitlines() if line.startswith(("FAILED", "ERROR"))]
        if done.returncode == 0:
            return "missed", ""
        return "caught", failed[0].split(" ", 1)[1] if failed else f"pytest exit {done.returncode}"


def main(argv=None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--timeout", type=float, default=900, help="seconds per fault")
    parser.add_argument("--only", nargs="*", default=(), help="faults whose text has these")
    parser.add_argument("--no-control", action="store_true", help="skip the run without a fault")
    args = parser.parse_args(argv)
    if not args.no_control:
        outcome, by = run_one(("", "", "", "", ""), args.timeout)
        if outcome != "missed":
            print(f"the suite does not pass without a fault ({outcome}: {by}); nothing to measure")
            return 1
    chosen = [f for f in FAULTS if not args.only or any(s in f[3] or s in f[0] for s in args.only)]
    caught = 0
    for n, fault in enumerate(chosen, 1):
        start = time.monotonic()
        outcome, by = run_one(fault, args.timeout)
        caught += outcome == "caught"
        print(f"{n:2d} {outcome:7s} {time.monotonic() - start:6.0f}s  {fault[0][len('workers/'):]}:"
              f" {fault[3]}" + (f"  [{by}]" if by else ""), flush=True)
    print(f"caught {caught} of {len(chosen)} ({100.0 * caught / max(1, len(chosen)):.0f}%)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
