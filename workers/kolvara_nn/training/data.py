"""Label documents, class order, image loading and the fixed-seed split."""
from dataclasses import dataclass
from pathlib import Path
import re

import numpy as np
from PIL import Image

_NUMBER = re.compile(r"[+-]?(\d+(\.\d*)?|\.\d+)([eE][+-]?\d+)?")


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


def class_order(labels) -> list:
    """Distinct labels, numerically ordered when all are numbers, else as text."""
    distinct = sorted(set(labels))
    if distinct and all(_NUMBER.fullmatch(s.strip()) for s in distinct):
        return sorted(distinct, key=lambda s: (float(s), s))
    return distinct


def _decode(img, size):
    """Let the JPEG decoder scale down by itself when the image is at least twice the network
    input: far less to decode and resize for large photos."""
    if size is not None and img.format == "JPEG" and \
            img.size[0] >= 2 * size[1] and img.size[1] >= 2 * size[0]:
        img.draft("RGB", (size[1], size[0]))
    return img


def load_image(path: Path, size, channels: int) -> np.ndarray:
    """One image as uint8 (rows, cols, channels), resized to `size` = (rows, cols)."""
    try:
        with Image.open(path) as img:
            img = _decode(img, size).convert("L" if channels == 1 else "RGB")
            if size is not None and img.size != (size[1], size[0]):
                img = img.resize((size[1], size[0]), Image.BILINEAR)
            array = np.array(img, dtype=np.uint8)
    except (OSError, ValueError, Image.DecompressionBombError) as exc:
        raise ValueError(f"image {path} could not be loaded: {exc}") from None
    return array.reshape(array.shape[0], array.shape[1], channels)


def check_channels(channels: int) -> None:
    if channels not in (1, 3):
        raise ValueError(f"the network expects {channels} input channels; images give 1 or 3")


def check_images(folder, filenames) -> None:
    """Refuse a missing or unrecognised image before any work starts. Only the headers are
    read: the pixels are decoded batch by batch later."""
    folder = Path(folder)
    for name in filenames:
        path = folder / name
        try:
            with Image.open(path):
                pass
        except (OSError, ValueError, Image.DecompressionBombError) as exc:
            raise ValueError(f"image {path} could not be loaded: {exc}") from None


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
