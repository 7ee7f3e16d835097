"""ResNet50 from ImageNet-style weights through trainNN.py: training only the new top (epochs 2
and later run the top alone on features kept from epoch 1) against fine-tuning everything,
side by side in one run, on the 40 cat and dog photos of ../shared/testdata.

The machine has no network, so the real ImageNet file cannot be fetched: the start weights are
a top-less file our own writer makes in the layout of Keras's weight files (the figures here
are speeds, which do not depend on the weights' values). When the real
resnet50_weights_tf_dim_ordering_tf_kernels_notop.h5 is in the Keras cache with Keras's
published hash, the cats/dogs accuracy with a 60/40 split is measured with it as well.

    /usr/bin/python3 bench/bench_transfer.py [--top-epochs 3] [--finetune-epochs 1]
"""
import argparse
import hashlib
import os
from pathlib import Path
import re
import shutil
import subprocess
import sys
import time

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "workers"))

PHOTOS = ROOT.parent / "shared" / "testdata" / "images" / "cats_dogs"
NOTOP = "resnet50_weights_tf_dim_ordering_tf_kernels_notop.h5"
NOTOP_MD5 = "4d473c1dd8becc155b73f8504c6f6626"  # Keras's published hash (keras/applications/resnet.py)
LABELS = "folderimage_outputlabel.csv"


def export_photos(folder: Path) -> int:
    """The photos as the app's folder preparation leaves them: PNGs and the label CSV."""
    from PIL import Image
    folder.mkdir(parents=True, exist_ok=True)
    lines = ["index,i,j,filename,label"]
    photos = sorted(PHOTOS.glob("*/*.jpg"))
    for n, photo in enumerate(photos, 1):
        name = photo.stem.replace(".", "_") + ".png"
        Image.open(photo).convert("RGB").save(folder / name)
        lines.append(f"{n},{n},{n},{name},{photo.parent.name}")
    (folder / LABELS).write_text("\n".join(lines) + "\n")
    return len(photos)


def stand_in_weights(path: Path) -> None:
    """ResNet50's backbone, freshly initialised, written as a weights-only Keras file."""
    from kolvara_nn import h5io, keras_json, transfer
    from kolvara_nn.network import build_network
    doc = keras_json.load_document(str(ROOT / "resources" / "resnet50.json"))
    end = transfer.backbone_output(doc)
    doc["config"]["layers"] = doc["config"]["layers"][:[r["name"] for r in doc["config"]["layers"]].index(end) + 1]
    doc["config"]["output_layers"] = [[end, 0, 0]]
    h5io.save_weights(str(path), build_network(doc))


def cached_imagenet_file():
    for folder in ([Path(os.environ["KERAS_HOME"]) / "models"] if os.environ.get("KERAS_HOME") else []) + \
            [Path.home() / ".keras" / "models"]:
        path = folder / NOTOP
        if path.is_file() and hashlib.md5(path.read_bytes()).hexdigest() == NOTOP_MD5:
            return path
    return None


def train(ws: Path, weights: Path, mode: str, epochs: int) -> dict:
    """Run trainNN.py; seconds per epoch from its header to its final line, and the kept
    epoch's validation accuracy."""
    args = [str(ROOT / "resources" / "resnet50.json"), str(ws), str(ws), "ResNet50", str(weights),
            "4", str(epochs), "Adam", "mean_squared_error", str(ROOT / "resources" / "resnet50.json"),
            LABELS, "0.60", "false", "false", "false", "false", "", "caffe", "", "true", "0", mode]
    env = {**os.environ, "CUDA_VISIBLE_DEVICES": ""}
    proc = subprocess.Popen([sys.executable, str(ROOT / "workers" / "trainNN.py")] + args,
                            stdout=subprocess.PIPE, env=env)
    starts, ends, pending, kept = [], [], b"", None
    while chunk := proc.stdout.read1(65536):
        pending += chunk
        *lines, pending = pending.split(b"\n")
        for line in lines:
            text = line.decode().split("\r")[-1].replace("\b", "")
            now = time.perf_counter()
            # an epoch runs from its header (a single epoch has none: from the set-up line)
            # to its final progress line
            if re.fullmatch(r"Epoch \d+/\d+", text) or (text.startswith("Training on") and epochs == 1):
                starts.append(now)
            elif "/step" in text:
                ends.append(now)
            elif text.startswith("kept epoch"):
                kept = text
    if proc.wait() != 0:
        raise SystemExit(f"trainNN.py failed in mode {mode}")
    return {"seconds": [b - a for a, b in zip(starts, ends)], "kept": kept}


def main(argv=None) -> int:
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    p.add_argument("--top-epochs", type=int, default=3)
    p.add_argument("--finetune-epochs", type=int, default=1)
    p.add_argument("--out", type=Path, default=ROOT / "bench" / "out" / "transfer")
    a = p.parse_args(argv)
    if not PHOTOS.is_dir():
        print(f"needs the shared test photos in {PHOTOS}", file=sys.stderr)
        return 1
    shutil.rmtree(a.out, ignore_errors=True)
    ws = a.out / "ws"
    count = export_photos(ws)
    trained = round(0.6 * count)
    weights = a.out / "stand_in_notop.h5"
    stand_in_weights(weights)
    load = os.getloadavg()[0]
    top = train(ws, weights, "top", a.top_epochs)
    tune = train(ws, weights, "finetune", a.finetune_epochs)
    first, later = top["seconds"][0], top["seconds"][1:]
    top_rate = trained / (sum(later) / len(later))
    tune_rate = trained / (sum(tune["seconds"]) / len(tune["seconds"]))
    print(f"\nResNet50, {count} cat/dog photos ({trained} trained on per epoch), batch 4, "
          f"{len(os.sched_getaffinity(0))} CPU thread(s); load average {load:.1f} before, "
          f"{os.getloadavg()[0]:.1f} after (the machine is shared)")
    print(f"top only, epoch 1      {trained / first:8.1f} images/s  (features computed once)")
    print(f"top only, epochs 2+    {top_rate:8.1f} images/s  (epochs {', '.join('%.2fs' % s for s in later)})")
    print(f"fine-tuning            {tune_rate:8.1f} images/s  (epochs {', '.join('%.1fs' % s for s in tune['seconds'])})")
    print(f"ratio                  {top_rate / tune_rate:8.1f}  (target >= 10)")
    real = cached_imagenet_file()
    if real is None:
        print("cats/dogs accuracy     not measured: Keras's ImageNet file is not in the Keras cache and "
              "this machine cannot download it")
        return 0
    result = train(ws, real, "top", 10)
    print(f"cats/dogs accuracy     {result['kept']} (top only, real ImageNet weights, 60/40 split)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
