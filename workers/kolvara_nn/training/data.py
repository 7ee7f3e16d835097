"""Label documents, class order, image loading and the fixed-seed split."""
from dataclasses import dataclass
from pathlib import Path

import numpy as np
import torch
from PIL import Image

from .preprocess import InputSpec, class_order, pixels  # noqa: F401 (class_order is used from here)


@dataclass
class LabelTable:
    """A label CSV: header names and records, whose fields are split at commas (the format
    has no quoting). Records are kept as their line's text: a list of fields per record
    would take several times the memory on tens of thousands of tiles."""
    path: Path
    header: list
    rows: list                 # the text of each record, without its line end
    filename_col: int
    label_col: int

    def fields(self, k: int) -> list:
        return self.rows[k].split(",")

    @property
    def filenames(self) -> list:
        return [r.split(",")[self.filename_col] for r in self.rows]

    @property
    def labels(self) -> list:
        return [r.split(",")[self.label_col] for r in self.rows]


def _column(header: list, name: str, path) -> int:
    names = [h.strip() for h in header]
    if name not in names:
        raise ValueError(f"label document {path} has no '{name}' column")
    return names.index(name)


def read_label_table(path) -> LabelTable:
    """Read a label CSV; columns are found by header name, so extra columns are fine."""
    path = Path(path)
    try:
        text = path.read_bytes().decode("utf-8-sig")
    except UnicodeDecodeError as exc:
        raise ValueError(f"label document {path} is not UTF-8 text: {exc}") from None
    header, rows = None, []
    for n, line in enumerate(text.split("\n"), 1):
        line = line[:-1] if line.endswith("\r") else line
        if not line.strip():
            continue
        if header is None:
            header = line.split(",")
            fcol, lcol = _column(header, "filename", path), _column(header, "label", path)
            continue
        fields = line.split(",")
        if len(fields) <= max(fcol, lcol):
            raise ValueError(f"label document {path} line {n}: {len(fields)} fields, "
                             f"expected {len(header)}")
        if not fields[fcol].strip():
            raise ValueError(f"label document {path} line {n}: empty file name")
        rows.append(line)
    if header is None:
        raise ValueError(f"label document {path} is empty")
    return LabelTable(path, header, rows, fcol, lcol)


def _decode(img, size):
    """Let the JPEG decoder scale down by itself when the image is at least twice the network
    input: far less to decode and resize for large photos."""
    if size is not None and img.format == "JPEG" and \
            img.size[0] >= 2 * size[1] and img.size[1] >= 2 * size[0]:
        img.draft("RGB", (size[1], size[0]))
    return img


def load_image(path: Path, spec: InputSpec) -> np.ndarray:
    """One image as uint8 (rows, cols, channels), grey or RGB and sized as the network's input asks."""
    try:
        with Image.open(path) as img:
            return pixels(_decode(img, spec.size), spec)
    except (OSError, ValueError, Image.DecompressionBombError) as exc:
        raise ValueError(f"image {path} could not be loaded: {exc}") from None


def check_images(folder, filenames, spec: InputSpec) -> InputSpec:
    """Refuse a missing or unrecognised image before any work starts; only the headers are
    read, the pixels are decoded batch by batch later. Returns the input shape with a size: the
    images' own when the network takes any size, which they must then share."""
    folder = Path(folder)
    first = None
    for name in filenames:
        path = folder / name
        try:
            with Image.open(path) as img:
                size = (img.size[1], img.size[0])
        except (OSError, ValueError, Image.DecompressionBombError) as exc:
            raise ValueError(f"image {path} could not be loaded: {exc}") from None
        if first is None:
            first = (name, size)
        elif spec.size is None and size != first[1]:
            raise ValueError(f"the network takes images of any size but one size per run: "
                             f"{first[0]} is {first[1][1]}x{first[1][0]} and {name} is "
                             f"{size[1]}x{size[0]} pixels")
    if spec.size is None:
        return InputSpec(first[1] if first else (1, 1), spec.channels, spec.channel_axis)
    return spec


def load_images(folder, filenames, spec: InputSpec) -> torch.Tensor:
    """All images as one uint8 NHWC tensor, for sets small enough to hold at once."""
    spec = check_images(folder, filenames, spec)
    arrays = [load_image(Path(folder) / name, spec) for name in filenames]
    if not arrays:
        return torch.zeros((0,) + tuple(spec.size) + (spec.channels,), dtype=torch.uint8)
    return torch.from_numpy(np.stack(arrays))


def split_indices(n: int, share: float, seed: int):
    """Shuffle 0..n-1 with `seed`; first part training, rest validation.

    Validation gets at least one sample when n >= 2, training always keeps one."""
    order = np.random.RandomState(seed).permutation(n)
    n_train = int(round(share * n))
    if n >= 2:
        n_train = min(max(n_train, 1), n - 1)
    else:
        n_train = n
    return order[:n_train].tolist(), order[n_train:].tolist()
