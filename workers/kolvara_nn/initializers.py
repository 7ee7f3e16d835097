"""Keras weight initializers, computed on the Keras weight shape (its fans differ from torch's)."""
import math

import torch

# Names Keras 1/2.x and Keras 3 also accept as plain strings.
_ALIASES = {
    "glorot_uniform": "GlorotUniform", "glorot_normal": "GlorotNormal",
    "he_uniform": "HeUniform", "he_normal": "HeNormal",
    "lecun_uniform": "LecunUniform", "lecun_normal": "LecunNormal",
    "zeros": "Zeros", "zero": "Zeros", "ones": "Ones", "one": "Ones",
    "constant": "Constant", "random_normal": "RandomNormal", "random_uniform": "RandomUniform",
    "truncated_normal": "TruncatedNormal", "orthogonal": "Orthogonal",
    "variance_scaling": "VarianceScaling",
}
# (scale, mode, distribution) of the VarianceScaling family.
_SCALING = {
    "GlorotUniform": (1.0, "fan_avg", "uniform"),
    "GlorotNormal": (1.0, "fan_avg", "truncated_normal"),
    "HeUniform": (2.0, "fan_in", "uniform"),
    "HeNormal": (2.0, "fan_in", "truncated_normal"),
    "LecunUniform": (1.0, "fan_in", "uniform"),
    "LecunNormal": (1.0, "fan_in", "truncated_normal"),
}
# Standard deviation of a unit normal truncated to [-2, 2].
_TRUNC_STD = 0.87962566103423978


def _fans(shape):
    if len(shape) < 1:
        return 1, 1
    if len(shape) == 1:
        return shape[0], shape[0]
    receptive = math.prod(shape[:-2]) if len(shape) > 2 else 1
    return shape[-2] * receptive, shape[-1] * receptive


def _truncated(shape, mean, std):
    t = torch.empty(shape)
    torch.nn.init.trunc_normal_(t, mean=mean, std=std, a=mean - 2 * std, b=mean + 2 * std)
    return t


def _scaling(shape, layout, scale, mode, distribution):
    fan_in, fan_out = _fans(shape)
    n = {"fan_in": fan_in, "fan_out": fan_out}.get(mode, (fan_in + fan_out) / 2.0)
    scale = scale / max(1.0, n)
    if distribution == "uniform":
        limit = math.sqrt(3.0 * scale)
        return torch.empty(layout).uniform_(-limit, limit)
    if distribution == "untruncated_normal":
        return torch.empty(layout).normal_(0.0, math.sqrt(scale))
    return _truncated(layout, 0.0, math.sqrt(scale) / _TRUNC_STD)


def _orthogonal(shape, gain):
    rows = math.prod(shape[:-1]) if len(shape) > 1 else 1
    flat = torch.empty(rows, shape[-1])
    torch.nn.init.orthogonal_(flat, gain=gain)
    return flat.reshape(shape)


def initial_value(initializer, shape, default, to_torch=None):
    """A float32 tensor for a weight of Keras `shape`, drawn as `initializer` says.

    `initializer` is a serialized initializer ({"class_name", "config"}), a name, or None; an
    unknown initializer falls back to `default` (a class name such as "GlorotUniform").
    With `to_torch` (the Keras-to-torch layout conversion) the value comes in torch layout.
    """
    shape = tuple(int(s) for s in shape)
    cls, cfg = default, {}
    if isinstance(initializer, str):
        cls = _ALIASES.get(initializer, initializer)
    elif isinstance(initializer, dict):
        cls = _ALIASES.get(initializer.get("class_name"), initializer.get("class_name"))
        cfg = initializer.get("config") if isinstance(initializer.get("config"), dict) else {}
    if to_torch is None or cls == "Orthogonal":
        value = _draw(cls, cfg, shape, shape)
        if value is None:
            value = _draw(default, {}, shape, shape)
        return value if to_torch is None else to_torch(value)
    # Independent draws: fill the torch layout directly (fans still from the Keras shape).
    layout = tuple(to_torch(torch.empty(shape, device="meta")).shape)
    value = _draw(cls, cfg, shape, layout)
    return value if value is not None else _draw(default, {}, shape, layout)


def _draw(cls, cfg, shape, layout):
    """Values for a Keras `shape`, as a tensor of shape `layout`."""
    if cls in _SCALING:
        return _scaling(shape, layout, *_SCALING[cls])
    if cls == "VarianceScaling":
        dist = cfg.get("distribution", "truncated_normal")
        return _scaling(shape, layout, float(cfg.get("scale", 1.0)), cfg.get("mode", "fan_in"),
                        "truncated_normal" if dist == "normal" else dist)
    if cls == "Zeros":
        return torch.zeros(layout)
    if cls == "Ones":
        return torch.ones(layout)
    if cls == "Constant":
        return torch.full(layout, float(cfg.get("value", 0.0)))
    if cls == "RandomNormal":
        return torch.empty(layout).normal_(float(cfg.get("mean", 0.0)), float(cfg.get("stddev", 0.05)))
    if cls == "RandomUniform":
        return torch.empty(layout).uniform_(float(cfg.get("minval", -0.05)), float(cfg.get("maxval", 0.05)))
    if cls == "TruncatedNormal":
        return _truncated(layout, float(cfg.get("mean", 0.0)), float(cfg.get("stddev", 0.05)))
    if cls == "Orthogonal":
        return _orthogonal(shape, float(cfg.get("gain", 1.0))).reshape(layout)
    return None
