"""Applying someone else's classifier through trainNN.py's pure test, next to the network fed
the right input directly.

Two Fashion-MNIST classifiers are trained here with plain PyTorch the way an outside author
would (outputs in the data set's order, T-shirt/top first) and written with our Keras writer
without any note of how to apply them: a CNN trained on raw 0..255 pixels, and a Dense network
whose input is (28, 28) without a channel axis. The test images are exported as PNGs with a
label CSV, as the app writes them, and predicted through trainNN.py the way the window runs a
pure test. Printed per case: the accuracy of that run, the accuracy of the network fed the
right tensors, and how many predictions agree. The shared MLPerf Tiny CIFAR-10 ResNet (trained
on raw pixels) is applied to the shared cats and dogs photos the same way.

    /usr/bin/python3 bench/bench_apply_models.py [--train 10000] [--test 2000] [--epochs 3]

Needs Debian's dataset-fashion-mnist (apt-get install -y dataset-fashion-mnist).
"""
import argparse
import gzip
import json
import os
from pathlib import Path
import shutil
import subprocess
import sys
import time

import numpy as np

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "workers"))

DATA = Path("/usr/share/datasets/fashion-mnist")
TESTDATA = ROOT.parent / "shared" / "testdata"
CLASSES = ["T-shirt/top", "Trouser", "Pullover", "Dress", "Coat", "Sandal", "Shirt", "Sneaker",
           "Bag", "Ankle boot"]  # the data set's order, which is not alphabetical


def read_idx(kind):
    with gzip.open(DATA / f"{kind}-images-idx3-ubyte.gz") as f:
        images = np.frombuffer(f.read(), np.uint8, offset=16).reshape(-1, 28, 28)
    with gzip.open(DATA / f"{kind}-labels-idx1-ubyte.gz") as f:
        labels = np.frombuffer(f.read(), np.uint8, offset=8)
    return images, labels


def layer(class_name, name, inbound, **config):
    return {"class_name": class_name, "name": name, "config": {"name": name, **config},
            "inbound_nodes": [[[inbound, 0, 0, {}]]] if inbound else []}


def model_doc(name, shape, body):
    """A functional document: an InputLayer of `shape`, then `body` as (class, config) pairs."""
    layers = [layer("InputLayer", "input_1", None, batch_input_shape=[None, *shape], dtype="float32")]
    for k, (class_name, config) in enumerate(body):
        layers.append(layer(class_name, f"{class_name.lower()}_{k}", layers[-1]["name"], **config))
    return {"class_name": "Functional", "config": {
        "name": name, "layers": layers, "input_layers": [["input_1", 0, 0]],
        "output_layers": [[layers[-1]["name"], 0, 0]]}}


RAW_CNN = model_doc("raw_cnn", [28, 28, 1], [
    ("Conv2D", {"filters": 16, "kernel_size": [3, 3], "padding": "same"}),
    ("BatchNormalization", {"axis": [3], "momentum": 0.99, "epsilon": 0.001}),
    ("Activation", {"activation": "relu"}),
    ("MaxPooling2D", {"pool_size": [2, 2]}),
    ("Conv2D", {"filters": 32, "kernel_size": [3, 3], "activation": "relu", "padding": "same"}),
    ("MaxPooling2D", {"pool_size": [2, 2]}),
    ("Flatten", {}),
    ("Dense", {"units": 10, "activation": "softmax"}),
])
FLAT_DENSE = model_doc("flat_dense", [28, 28], [
    ("Flatten", {}),
    ("Dense", {"units": 128, "activation": "relu"}),
    ("Dense", {"units": 10, "activation": "softmax"}),
])


def fit(doc, x, y, epochs, lr):
    """Plain PyTorch training of the document's network on (x, y) in the data set's order."""
    import torch
    from kolvara_nn.network import build_network
    torch.manual_seed(0)
    net = build_network(doc)
    opt = torch.optim.Adam(net.parameters(), lr=lr)
    for _ in range(epochs):
        net.train()
        order = torch.randperm(len(y))
        for k in range(0, len(y), 64):
            idx = order[k:k + 64]
            loss = torch.nn.functional.cross_entropy(net.forward_logits(x[idx]), y[idx])
            opt.zero_grad()
            loss.backward()
            opt.step()
    return net


def api_predictions(net, x):
    import torch
    net.eval()
    with torch.no_grad():
        return torch.cat([net(x[k:k + 500]).argmax(1) for k in range(0, len(x), 500)]).tolist()


def export(folder, images, labels):
    from PIL import Image
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)
    lines = ["index,i,j,filename,label"]
    for n, (image, label) in enumerate(zip(images, labels), 1):
        Image.fromarray(image).save(folder / f"t{n:05d}.png")
        lines.append(f"{n},{n},{n},t{n:05d}.png,{label}")
    (folder / "folderimage_outputlabel.csv").write_text("\n".join(lines) + "\n")


def pure_test(doc_path, ws, weights, optional):
    """trainNN.py as the window runs a pure test; returns (predictions, summary lines)."""
    argv = [str(doc_path), str(ws), "", "usermodel", str(weights), "64", "1", "Adam",
            "categorical_crossentropy", "", "folderimage_outputlabel.csv", "0.60", "false",
            "false", "false", "false", ""] + optional
    done = subprocess.run([sys.executable, str(ROOT / "workers" / "trainNN.py")] + argv,
                          capture_output=True, text=True, env={**os.environ, "CUDA_VISIBLE_DEVICES": ""})
    if done.returncode:
        raise SystemExit(done.stderr)
    rows = [r.split(",") for r in (ws / "folderimage_outputlabel.csv").read_text().split("\n")[1:] if r]
    summary = [line[len("Test summary: "):] for line in done.stdout.split("\n") if line.startswith("Test summary: ")]
    return [r[6] for r in rows], [r[5] for r in rows], summary


def report(case, found, truth, api_names):
    accuracy = np.mean([f == t for f, t in zip(found, truth)])
    api_accuracy = np.mean([a == t for a, t in zip(api_names, truth)])
    agree = np.mean([f == a for f, a in zip(found, api_names)])
    print(f"{case:58s} {100 * accuracy:6.2f}%  {100 * api_accuracy:6.2f}%  {100 * agree:6.2f}%", flush=True)


def fashion(a, out):
    import torch
    from kolvara_nn import h5io
    train_x, train_y = read_idx("train")
    test_x, test_y = read_idx("t10k")
    rng = np.random.RandomState(1)
    tr = rng.choice(len(train_y), a.train, replace=False)
    te = rng.choice(len(test_y), a.test, replace=False)
    xt, yt = torch.from_numpy(train_x[tr]).float(), torch.from_numpy(train_y[tr].astype(np.int64))
    xs = torch.from_numpy(test_x[te]).float()
    names = [CLASSES[i] for i in test_y[te]]
    indices = [str(i) for i in test_y[te]]
    models = {}
    for key, doc, x, scale, lr in [("raw", RAW_CNN, xt[..., None], 1.0, 1e-3),
                                   ("flat", FLAT_DENSE, xt, 255.0, 1e-3)]:
        started = time.perf_counter()
        net = fit(doc, x / scale, yt, a.epochs, lr)
        api = api_predictions(net, (xs[..., None] if key == "raw" else xs) / scale)
        (out / f"{key}.json").write_text(json.dumps(doc))
        h5io.save_model(str(out / f"{key}.h5"), net, None)  # no class names, no scaling noted
        models[key] = api
        print(f"trained {key} in {time.perf_counter() - started:.0f}s", flush=True)
    given = ",".join(CLASSES)
    cases = [("index labels", "raw-pixel CNN, scaling raw", "raw", ["raw"]),
             ("index labels", "raw-pixel CNN, scaling div255 (before: always)", "raw", ["div255"]),
             ("index labels", "(28, 28) Dense, default scaling", "flat", []),
             ("class-name labels", "(28, 28) Dense, no Class names", "flat", []),
             ("class-name labels", "(28, 28) Dense, Class names given", "flat", ["div255", given]),
             ("class-name labels", "raw-pixel CNN, raw, Class names given", "raw", ["raw", given])]
    print(f"\n{'Fashion-MNIST, ' + str(a.test) + ' test images':58s} {'trainNN':>7s}  {'API':>7s}  {'agree':>7s}")
    exported = None
    for label_kind, case, key, optional in cases:
        if exported != label_kind:
            export(out / "ws", test_x[te], indices if label_kind == "index labels" else names)
            exported = label_kind
        found, truth, summary = pure_test(out / f"{key}.json", out / "ws", out / f"{key}.h5", optional)
        report(f"{label_kind}: {case}", found, truth, labels_of(models[key], label_kind))
        notes = [line for line in summary if not line.startswith("accuracy")]
        if notes:
            print(f"    note: {'; '.join(notes)}")


def labels_of(api, label_kind):
    return [str(i) if label_kind == "index labels" else CLASSES[i] for i in api]


def cifar_resnet(out):
    """The shared ResNet on the shared photos: pure test with raw and div255 against the API."""
    import torch
    from PIL import Image
    from kolvara_nn import h5io, modelfiles
    from kolvara_nn.network import build_network
    model = TESTDATA / "keras" / "functional_resnet_cifar10_tf2.4.h5"
    doc = modelfiles.read_architecture(str(model), "1")
    (out / "resnet.json").write_text(json.dumps(doc))
    ws = out / "photos"
    shutil.rmtree(ws, ignore_errors=True)
    ws.mkdir(parents=True)
    lines, pixels = ["index,i,j,filename,label"], []
    photos = sorted((TESTDATA / "images" / "cats_dogs").glob("*/*.jpg"))
    for n, path in enumerate(photos, 1):
        img = Image.open(path).convert("RGB")
        img.save(ws / f"p{n}.png")
        pixels.append(np.array(img.resize((32, 32), Image.BILINEAR)))
        lines.append(f"{n},{n},{n},p{n}.png,{3 if path.parent.name == 'cats' else 5}")  # CIFAR-10 cat, dog
    (ws / "folderimage_outputlabel.csv").write_text("\n".join(lines) + "\n")
    net = build_network(doc)
    h5io.load_weights(net, str(model))
    x = torch.from_numpy(np.stack(pixels)).float()
    api = [str(i) for i in api_predictions(net, x)]
    print(f"\n{'CIFAR-10 ResNet on ' + str(len(photos)) + ' cat and dog photos':58s} {'trainNN':>7s}  {'API':>7s}  {'agree':>7s}")
    for mode in ("raw", "div255"):
        found, truth, _ = pure_test(out / "resnet.json", ws, model, [mode])
        report(f"scaling {mode}", found, truth, api)


def main(argv=None):
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    p.add_argument("--train", type=int, default=10000)
    p.add_argument("--test", type=int, default=2000)
    p.add_argument("--epochs", type=int, default=3)
    p.add_argument("--out", type=Path, default=ROOT / "bench" / "out" / "apply_models")
    a = p.parse_args(argv)
    a.out.mkdir(parents=True, exist_ok=True)
    print(f"machine load average {os.getloadavg()[0]:.1f} (shared)", flush=True)
    if TESTDATA.is_dir():
        cifar_resnet(a.out)
    if not DATA.is_dir():
        print("Fashion-MNIST needs Debian's dataset-fashion-mnist package", file=sys.stderr)
        return 1
    fashion(a, a.out)
    return 0


if __name__ == "__main__":
    sys.exit(main())
