"""From one decoded image to the network's input, and which output means which class.

The network decides the image geometry (its input shape), the model decides the input
scaling (recorded with it, or done by its own first layer) and, when it knows it, the order
of its classes.
"""
from dataclasses import dataclass
import re

import numpy as np
import torch
from PIL import Image

from ..h5io import INPUT_SCALINGS as SCALINGS  # Keras's preprocess_input modes, 0..1, 0..255

DEFAULT_SCALING = "div255"
_SPELLINGS = {"\u00f7255": "div255"}
_IMAGENET_MEAN = (0.485, 0.456, 0.406)      # RGB, of 0..1 pixels
_IMAGENET_STD = (0.229, 0.224, 0.225)
_CAFFE_MEAN_BGR = (103.939, 116.779, 123.68)  # of 0..255 pixels
_NEEDS_RGB = ("torch", "caffe")

SORTED_NOTE = "class order assumed: sorted labels"
_OUTPUT_INDEX = re.compile(r"0|[1-9][0-9]*")
_NUMBER = re.compile(r"[+-]?(\d+(\.\d*)?|\.\d+)([eE][+-]?\d+)?")


def scaling_name(text: str) -> str:
    """The mode name of a command-line or stored spelling; ValueError for anything else."""
    name = _SPELLINGS.get(text.strip(), text.strip())
    if name not in SCALINGS:
        raise ValueError(f"input scaling must be one of {', '.join(SCALINGS)}, got '{text}'")
    return name


@dataclass(frozen=True)
class InputSpec:
    """What one image must become: `size` (rows, cols), or None to keep the image's own;
    1 (grey) or 3 (RGB) channels; whether the network's input has a channel axis."""
    size: tuple
    channels: int
    channel_axis: bool = True


def input_spec(shape) -> InputSpec:
    """What a Keras input shape without the batch axis asks for: (H, W), (H, W, 1) or (H, W, 3)."""
    shape = tuple(shape)
    if len(shape) == 2:
        channels, axis = 1, False
    elif len(shape) == 3 and shape[2] in (1, 3):
        channels, axis = shape[2], True
    else:
        shown = "(" + ", ".join("None" if d is None else str(d) for d in shape) + ")"
        raise ValueError(f"the network's input {shown} is not an image: an image classifier "
                         f"takes (height, width), (height, width, 1) or (height, width, 3)")
    rows, cols = shape[0], shape[1]
    return InputSpec((rows, cols) if rows and cols else None, channels, axis)


def check_scaling(mode: str, spec: InputSpec) -> None:
    if mode in _NEEDS_RGB and spec.channels != 3:
        raise ValueError(f"input scaling '{mode}' is defined for RGB images; this network "
                         f"takes {spec.channels}-channel images")


def pixels(img: Image.Image, spec: InputSpec) -> np.ndarray:
    """uint8 (rows, cols, channels): grey or RGB, resized to the input's size when it has one."""
    img = img.convert("L" if spec.channels == 1 else "RGB")
    if spec.size is not None and img.size != (spec.size[1], spec.size[0]):
        img = img.resize((spec.size[1], spec.size[0]), Image.BILINEAR)
    array = np.array(img, dtype=np.uint8)  # a writable copy: torch shares its memory
    return array.reshape(array.shape[0], array.shape[1], spec.channels)


def scale(x: torch.Tensor, mode: str, spec: InputSpec) -> torch.Tensor:
    """uint8 pixels (..., rows, cols, channels), RGB or grey, as the network's float input.

    The arithmetic follows Keras's preprocess_input step by step, in float32."""
    x = x.float()
    if mode == "div255":
        x.div_(255.0)
    elif mode == "tf":
        x.div_(127.5).sub_(1.0)
    elif mode == "torch":
        mean = torch.tensor(_IMAGENET_MEAN, device=x.device)
        std = torch.tensor(_IMAGENET_STD, device=x.device)
        x.div_(255.0).sub_(mean).div_(std)
    elif mode == "caffe":
        x = x.flip(-1).sub_(torch.tensor(_CAFFE_MEAN_BGR, device=x.device))
    elif mode != "raw":
        raise ValueError(f"unknown input scaling '{mode}'")
    return x if spec.channel_axis else x[..., 0]


def to_input(img: Image.Image, spec: InputSpec, mode: str) -> torch.Tensor:
    """One decoded image as the network's input for one sample (no batch axis)."""
    return scale(torch.from_numpy(pixels(img, spec)), mode, spec)


def applied_scaling(chosen: str, recorded, network_scales: bool):
    """(mode, why) for applying a model: its recorded mode, else raw when the network scales
    itself, else the user's choice."""
    if recorded:
        return recorded, "recorded with the model"
    if network_scales:
        return "raw", "the network scales its own input"
    return chosen, "as chosen"


def parse_class_names(text: str) -> tuple:
    """Comma-separated names in output order; empty text gives none."""
    if not text.strip():
        return ()
    names = tuple(n.strip() for n in text.split(","))
    if "" in names:
        raise ValueError(f"class names '{text}' hold an empty name")
    twice = sorted({n for n in names if names.count(n) > 1})
    if twice:
        raise ValueError(f"class name '{twice[0]}' is given twice")
    return names


def class_order(labels) -> list:
    """Distinct labels, numerically ordered when all are numbers, else as text."""
    distinct = sorted(set(labels))
    if distinct and all(_NUMBER.fullmatch(s.strip()) for s in distinct):
        return sorted(distinct, key=lambda s: (float(s), s))
    return distinct


@dataclass(frozen=True)
class ClassOrder:
    names: list   # output index -> label text
    note: str     # what the user must know about how the order was found, or ""


def output_classes(units: int, labels, given=(), stored=None) -> ClassOrder:
    """Names of a model's `units` outputs when it is applied to labelled images.

    Names given by the user win, then names stored with the model; labels that are all
    output indices (0..units-1) name output n "n"; otherwise the sorted labels are assumed,
    which is only possible when there are as many of them as outputs."""
    if given:
        if len(given) != units:
            raise ValueError(f"{len(given)} class names are given but the model has "
                             f"{units} outputs")
        return ClassOrder(list(given), "")
    if stored and len(stored) == units:
        return ClassOrder(list(stored), "")
    indices = [str(i) for i in range(units)]
    distinct = set(labels)
    if not distinct:
        return ClassOrder(indices, "")  # nothing to compare with, nothing assumed
    if all(_OUTPUT_INDEX.fullmatch(s) and int(s) < units for s in distinct):
        return ClassOrder(indices, "")
    ordered = class_order(distinct)
    if len(ordered) == units:
        return ClassOrder(ordered, SORTED_NOTE)
    return ClassOrder(indices, f"class names unknown: the {units} outputs are named 0 to "
                               f"{units - 1}; give the Class names in output order")


def training_classes(labels, given=()) -> list:
    """The output order a training run gives its classes: the names given, which must cover
    every training label, else the sorted labels."""
    if not given:
        return class_order(labels)
    missing = sorted(set(labels) - set(given))
    if missing:
        raise ValueError(f"training label '{missing[0]}' is not among the class names given")
    return list(given)
