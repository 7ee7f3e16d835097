"""Keras preprocessing augmentation layers: random only while training, identity otherwise."""
import math

import torch
import torch.nn.functional as F

from .errors import ModelError
from .layer_base import SpatialLayer

_PADDING_MODES = {"reflect": "reflection", "wrap": "reflection", "nearest": "border",
                  "constant": "zeros"}


def _range(value, key, symmetric=True):
    """A factor given as f or (low, high) -> (low, high)."""
    if value is None:
        return None
    if isinstance(value, (int, float)) and not isinstance(value, bool):
        return (-abs(value), abs(value)) if symmetric else (1 - value, 1 + value)
    if isinstance(value, list) and len(value) == 2:
        return float(value[0]), float(value[1])
    raise ModelError(f"{key} must be a number or a pair of numbers, not {value!r}")


class _Augmentation(SpatialLayer):
    def build(self, shapes):
        shape = self.one_input(shapes)
        self.image_shape(shape)
        return shape

    def run(self, x):
        return self.augment(x) if self.training else x

    def uniform(self, x, low_high):
        low, high = low_high
        return torch.empty(x.shape[0], device=x.device).uniform_(low, high)


class RandomFlip(_Augmentation):
    def __init__(self, config):
        super().__init__(config)
        mode = config.get("mode", "horizontal_and_vertical")
        self.dims = {"horizontal": (3,), "vertical": (2,),
                     "horizontal_and_vertical": (3, 2)}.get(mode)
        if self.dims is None:
            raise ModelError(f"unknown flip mode {mode!r}")

    def augment(self, x):
        for dim in self.dims:
            pick = (torch.rand(x.shape[0], device=x.device) < 0.5).reshape(-1, 1, 1, 1)
            x = torch.where(pick, x.flip(dim), x)
        return x


class _Affine(_Augmentation):
    """Random affine resampling; subclasses give the per-sample transform."""

    def __init__(self, config):
        super().__init__(config)
        self.padding_mode = _PADDING_MODES.get(config.get("fill_mode", "reflect"), "reflection")
        self.mode = "nearest" if config.get("interpolation") == "nearest" else "bilinear"

    def augment(self, x):
        n, _, rows, cols = x.shape
        theta = self.transform(x, rows, cols)
        grid = F.affine_grid(theta, list(x.shape), align_corners=False)
        return F.grid_sample(x, grid, mode=self.mode, padding_mode=self.padding_mode,
                             align_corners=False)

    def transform(self, x, rows, cols):
        raise NotImplementedError

    @staticmethod
    def matrix(a, b, c, d, tx, ty):
        return torch.stack([torch.stack([a, b, tx], 1), torch.stack([c, d, ty], 1)], 1)


class RandomRotation(_Affine):
    def __init__(self, config):
        super().__init__(config)
        self.factor = _range(config.get("factor", 0.0), "factor")

    def transform(self, x, rows, cols):
        angle = self.uniform(x, self.factor) * 2 * math.pi
        cos, sin = torch.cos(angle), torch.sin(angle)
        zero = torch.zeros_like(angle)
        # Normalised coordinates stretch with the aspect ratio; undo that for a true rotation.
        return self.matrix(cos, -sin * rows / cols, sin * cols / rows, cos, zero, zero)


class RandomZoom(_Affine):
    def __init__(self, config):
        super().__init__(config)
        self.height = _range(config.get("height_factor", 0.0), "height_factor")
        self.width = _range(config.get("width_factor"), "width_factor")

    def transform(self, x, rows, cols):
        zoom_h = 1 + self.uniform(x, self.height)
        zoom_w = zoom_h if self.width is None else 1 + self.uniform(x, self.width)
        zero = torch.zeros_like(zoom_h)
        return self.matrix(zoom_w, zero, zero, zoom_h, zero, zero)


class RandomTranslation(_Affine):
    def __init__(self, config):
        super().__init__(config)
        self.height = _range(config.get("height_factor", 0.0), "height_factor")
        self.width = _range(config.get("width_factor", 0.0), "width_factor")

    def transform(self, x, rows, cols):
        dy = 2 * self.uniform(x, self.height)
        dx = 2 * self.uniform(x, self.width)
        one, zero = torch.ones_like(dx), torch.zeros_like(dx)
        return self.matrix(one, zero, zero, one, -dx, -dy)


class RandomContrast(_Augmentation):
    def __init__(self, config):
        super().__init__(config)
        factor = config.get("factor", 0.0)
        low, high = _range(factor, "factor")
        # A pair (lower, upper) means contrast factors in [1 - lower, 1 + upper].
        self.factor = (1 + low, 1 + high) if not isinstance(factor, list) else (1 - low, 1 + high)

    def augment(self, x):
        f = self.uniform(x, self.factor).reshape(-1, 1, 1, 1)
        mean = x.mean((2, 3), keepdim=True)
        return (x - mean) * f + mean
