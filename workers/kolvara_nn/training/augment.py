"""Augmented copies of the training images (uint8 NHWC in, uint8 NHWC out).

Each switch adds copies of every sample: shift four (up, down, left, right by a tenth
of the size, edges repeated), random crops four (80 % crops resized back), rotation
three (90, 180, 270 degrees), distortion four (small random affine maps).
"""
import math

import torch
import torch.nn.functional as F

CHUNK = 512  # samples converted to float at a time, to bound memory


def _to_float(x):
    return x.permute(0, 3, 1, 2).float()


def _to_uint8(x):
    return x.round().clamp(0, 255).to(torch.uint8).permute(0, 2, 3, 1).contiguous()


def _shifted(x, dy, dx):
    """Content moved by (dy, dx) pixels, vacated border filled with the nearest edge."""
    _, _, h, w = x.shape
    rows = (torch.arange(h) - dy).clamp(0, h - 1)
    cols = (torch.arange(w) - dx).clamp(0, w - 1)
    return x[:, :, rows][:, :, :, cols]


def shift_copies(x):
    h, w = x.shape[2], x.shape[3]
    dy, dx = max(1, round(h / 10)), max(1, round(w / 10))
    return [_shifted(x, -dy, 0), _shifted(x, dy, 0), _shifted(x, 0, -dx), _shifted(x, 0, dx)]


def _affine(x, theta):
    grid = F.affine_grid(theta, list(x.shape), align_corners=False)
    return F.grid_sample(x, grid, mode="bilinear", padding_mode="border", align_corners=False)


def crop_copies(x, gen, scale=0.8):
    copies = []
    for _ in range(4):
        n = x.shape[0]
        offset = (torch.rand(n, 2, generator=gen) * 2 - 1) * (1 - scale)
        theta = torch.zeros(n, 2, 3)
        theta[:, 0, 0] = theta[:, 1, 1] = scale
        theta[:, :, 2] = offset
        copies.append(_affine(x, theta))
    return copies


def rotation_copies(x):
    h, w = x.shape[2], x.shape[3]
    copies = []
    for k in (1, 2, 3):
        r = torch.rot90(x, k, dims=(2, 3))
        if r.shape[2:] != (h, w):
            r = F.interpolate(r, size=(h, w), mode="bilinear", align_corners=False)
        copies.append(r)
    return copies


def distortion_copies(x, gen):
    copies = []
    for _ in range(4):
        n = x.shape[0]
        u = torch.rand(n, 6, generator=gen) * 2 - 1
        angle = u[:, 0] * math.radians(10)
        sx, sy = 1 + 0.1 * u[:, 1], 1 + 0.1 * u[:, 2]
        shear = 0.1 * u[:, 3]
        cos, sin = torch.cos(angle), torch.sin(angle)
        theta = torch.zeros(n, 2, 3)
        theta[:, 0, 0], theta[:, 0, 1] = cos * sx, -sin * sx + shear
        theta[:, 1, 0], theta[:, 1, 1] = sin * sy, cos * sy
        theta[:, :, 2] = 0.05 * u[:, 4:6]
        copies.append(_affine(x, theta))
    return copies


def augment(images, labels, shift=False, crop=False, rotate=False, distort=False, seed=0):
    """Return (images, labels) with the originals first, then the copies of each kind."""
    if not (shift or crop or rotate or distort) or images.shape[0] == 0:
        return images, labels
    gen = torch.Generator().manual_seed(seed)
    parts = []
    for start in range(0, images.shape[0], CHUNK):
        x = _to_float(images[start:start + CHUNK])
        copies = []
        if shift:
            copies += shift_copies(x)
        if crop:
            copies += crop_copies(x, gen)
        if rotate:
            copies += rotation_copies(x)
        if distort:
            copies += distortion_copies(x, gen)
        parts.append([_to_uint8(c) for c in copies])
    kinds = len(parts[0])
    out_images = [images] + [torch.cat([p[k] for p in parts]) for k in range(kinds)]
    return torch.cat(out_images), torch.cat([labels] * (kinds + 1))
