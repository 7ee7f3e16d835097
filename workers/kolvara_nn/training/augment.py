"""Augmented copies of the training images, made one sample at a time as it is loaded.

Each switch adds copies of every sample: shift four (up, down, left, right by a tenth
of the size, edges repeated), random crops four (80 % crops resized back), rotation
three (90, 180, 270 degrees), distortion four (small random affine maps).

The augmented set is the originals first, then for each kind of copy in that order, the
copy of every sample. The random maps of all samples are drawn up front from the seed, in
blocks of CHUNK samples (crops, then distortions, per block), so a copy's pixels do not
depend on which samples are loaded with it.
"""
import math

import torch
import torch.nn.functional as F

CHUNK = 512  # samples per block of random draws

SHIFTS = 4
CROPS = 4
ROTATIONS = 3
DISTORTIONS = 4


def _to_float(x):
    return x.permute(0, 3, 1, 2).float()


def _to_uint8(x):
    return x.round().clamp(0, 255).to(torch.uint8).permute(0, 2, 3, 1).contiguous()


def _shift_index(h, w, k):
    """Source rows and columns of shift k (up, down, left, right by a tenth of the size):
    content moved, the vacated border filled with the nearest edge."""
    dy, dx = max(1, round(h / 10)), max(1, round(w / 10))
    dy, dx = ((-dy, 0), (dy, 0), (0, -dx), (0, dx))[k]
    return (torch.arange(h) - dy).clamp(0, h - 1), (torch.arange(w) - dx).clamp(0, w - 1)


def shift_copy(x, k):
    """Copy k of the four shifts of float NCHW images."""
    rows, cols = _shift_index(x.shape[2], x.shape[3], k)
    return x.index_select(2, rows).index_select(3, cols)


def rotation_copy(x, k):
    """Copy k of the quarter turns (90, 180, 270 degrees), resized back when not square."""
    h, w = x.shape[2], x.shape[3]
    r = torch.rot90(x, k + 1, dims=(2, 3))
    if r.shape[2:] != (h, w):
        r = F.interpolate(r, size=(h, w), mode="bilinear", align_corners=False)
    return r


def affine_copy(x, theta):
    grid = F.affine_grid(theta, list(x.shape), align_corners=False)
    return F.grid_sample(x, grid, mode="bilinear", padding_mode="border", align_corners=False)


def _crop_maps(n, gen, scale=0.8):
    maps = []
    for _ in range(CROPS):
        offset = (torch.rand(n, 2, generator=gen) * 2 - 1) * (1 - scale)
        theta = torch.zeros(n, 2, 3)
        theta[:, 0, 0] = theta[:, 1, 1] = scale
        theta[:, :, 2] = offset
        maps.append(theta)
    return torch.stack(maps)


def _distortion_maps(n, gen):
    maps = []
    for _ in range(DISTORTIONS):
        u = torch.rand(n, 6, generator=gen) * 2 - 1
        angle = u[:, 0] * math.radians(10)
        sx, sy = 1 + 0.1 * u[:, 1], 1 + 0.1 * u[:, 2]
        shear = 0.1 * u[:, 3]
        cos, sin = torch.cos(angle), torch.sin(angle)
        theta = torch.zeros(n, 2, 3)
        theta[:, 0, 0], theta[:, 0, 1] = cos * sx, -sin * sx + shear
        theta[:, 1, 0], theta[:, 1, 1] = sin * sy, cos * sy
        theta[:, :, 2] = 0.05 * u[:, 4:6]
        maps.append(theta)
    return torch.stack(maps)


class AugmentPlan:
    """Which copies every one of `n` samples gets, and the seeded random maps they use.

    Variant 0 is the original; variants 1 .. copies are the copies in set order."""

    def __init__(self, n, shift=False, crop=False, rotate=False, distort=False, seed=0):
        self.n = n
        self.kinds = ([("shift", k) for k in range(SHIFTS)] * shift
                      + [("crop", k) for k in range(CROPS)] * crop
                      + [("rotate", k) for k in range(ROTATIONS)] * rotate
                      + [("distort", k) for k in range(DISTORTIONS)] * distort)
        self.crop_maps = torch.zeros(CROPS, n, 2, 3) if crop else None
        self.distortion_maps = torch.zeros(DISTORTIONS, n, 2, 3) if distort else None
        gen = torch.Generator().manual_seed(seed)
        for start in range(0, n if crop or distort else 0, CHUNK):
            block = slice(start, min(start + CHUNK, n))
            size = block.stop - start
            if crop:
                self.crop_maps[:, block] = _crop_maps(size, gen)
            if distort:
                self.distortion_maps[:, block] = _distortion_maps(size, gen)

    @property
    def variants(self) -> int:
        return 1 + len(self.kinds)

    def apply(self, image, sample: int, variant: int):
        """Variant `variant` of sample `sample`, from its uint8 (rows, cols, channels) tensor."""
        if variant == 0:
            return image
        kind, k = self.kinds[variant - 1]
        h, w = image.shape[0], image.shape[1]
        # Shifts and quarter turns only move pixels: done on the bytes, they give what the
        # float maps below would after rounding, at a fraction of the work.
        if kind == "shift":
            rows, cols = _shift_index(h, w, k)
            return image.index_select(0, rows).index_select(1, cols)
        if kind == "rotate" and h == w:
            return torch.rot90(image, k + 1, dims=(0, 1)).contiguous()
        x = _to_float(image.unsqueeze(0))
        if kind == "rotate":
            x = rotation_copy(x, k)
        else:
            maps = self.crop_maps if kind == "crop" else self.distortion_maps
            x = affine_copy(x, maps[k, sample:sample + 1])
        return _to_uint8(x)[0]
