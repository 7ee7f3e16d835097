"""Label documents, class order, image loading and the fixed-seed split."""
from dataclasses import dataclass
from pathlib import Path

import numpy as np
import torch
from PIL import Image

from .preprocess import InputSpec, class_order, pixels  # noqa: F401 (class_order is used from here)


@dataclass
class LabelTable:
    """A label CSV: header names and records split at commas (the format has no quoting)."""
    path: Path
    header: list
    rows: list
    filename_col: int
    label_col: int

    @property
    def filenames(self) -> list:
        return [r[self.filename_col] for r in self.rows]

    @property
    def labels(self) -> list:
        return [r[self.label_col] for r in self.rows]


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
    lines = [line[:-1] if line.endswith("\r") else line for line in text.split("\n")]
    numbered = [(n, line) for n, line in enumerate(lines, 1) if line.strip()]
    if not numbered:
        raise ValueError(f"label document {path} is empty")
    header = numbered[0][1].split(",")
    fcol, lcol = _column(header, "filename", path), _column(header, "label", path)
    rows = []
    for n, line in numbered[1:]:
        fields = line.split(",")
        if len(fields) <= max(fcol, lcol):
            raise ValueError(f"label document {path} line {n}: {len(fields)} fields, "
                             f"expected {len(header)}")
        if not fields[fcol].strip():
            raise ValueError(f"label document {path} line {n}: empty file name")
        rows.append(fields)
    return LabelTable(path, header, rows, fcol, lcol)


def load_image(path: Path, spec: InputSpec) -> np.ndarray:
    """One image as uint8 (rows, cols, channels), grey or RGB and sized as the spec says."""
    try:
        with Image.open(path) as img:
            return pixels(img, spec)
    except (OSError, ValueError, Image.DecompressionBombError) as exc:
        raise ValueError(f"image {path} could not be loaded: {exc}") from None


def load_images(folder, filenames, spec: InputSpec) -> torch.Tensor:
    """All images as one uint8 NHWC tensor. A spec without a size keeps the images' own size,
    which they must then share."""
    folder = Path(folder)
    arrays, first = [], None
    for name in filenames:
        array = load_image(folder / name, spec)
        if first is None:
            first = (name, array.shape)
        elif spec.size is None and array.shape != first[1]:
            raise ValueError(f"the network takes images of any size but one size per run: "
                             f"{first[0]} is {first[1][1]}x{first[1][0]} and {name} is "
                             f"{array.shape[1]}x{array.shape[0]} pixels")
        arrays.append(array)
    if not arrays:
        rows, cols = spec.size or (1, 1)
        return torch.zeros((0, rows, cols, spec.channels), dtype=torch.uint8)
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
