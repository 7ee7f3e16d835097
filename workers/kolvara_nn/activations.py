"""Keras activation functions by name, on tensors in the network's internal layout.

Rank-4 tensors are held as (N, C, H, W), so the Keras "last axis" of those is dimension 1.
"""
import math

import torch
import torch.nn.functional as F

from .errors import ModelError

_SELU_ALPHA = 1.6732632423543772848170429916717
_SELU_SCALE = 1.0507009873554804934193349852946


def last_axis(x):
    return 1 if x.dim() == 4 else -1


def softmax(x):
    return torch.softmax(x, dim=last_axis(x))


def log_softmax(x):
    return torch.log_softmax(x, dim=last_axis(x))


def _hard_sigmoid(x):
    # tf.keras 2.x definition (Keras 3 changed it to relu6(x + 3) / 6).
    return torch.clamp(0.2 * x + 0.5, 0.0, 1.0)


def _selu(x):
    return _SELU_SCALE * torch.where(x > 0, x, _SELU_ALPHA * torch.expm1(x))


def _gelu(x):
    # Keras's gelu default is the exact (erf) form.
    return 0.5 * x * (1.0 + torch.erf(x / math.sqrt(2.0)))


_FUNCTIONS = {
    "relu": torch.relu,
    "softmax": softmax,
    "sigmoid": torch.sigmoid,
    "softplus": F.softplus,
    "softsign": F.softsign,
    "tanh": torch.tanh,
    "selu": _selu,
    "elu": F.elu,
    "exponential": torch.exp,
    "hard_sigmoid": _hard_sigmoid,
    "swish": F.silu,
    "silu": F.silu,
    "gelu": _gelu,
    "relu6": lambda x: torch.clamp(x, 0.0, 6.0),
    "leaky_relu": lambda x: F.leaky_relu(x, 0.2),
    "mish": F.mish,
    "log_softmax": log_softmax,
}

NAMES = tuple(sorted(_FUNCTIONS) + ["linear"])


def activation_name(value):
    """The activation name of a config value (a string, null, or a serialized function)."""
    if value is None:
        return "linear"
    if isinstance(value, dict):
        value = value.get("config", value.get("class_name"))
        if isinstance(value, dict):
            value = value.get("name")
    if not isinstance(value, str):
        raise ModelError(f"unreadable activation {value!r}")
    return value


# Variants that overwrite their input; only for tensors nothing else reads or saved.
_IN_PLACE = {"relu": torch.relu_}


def get(value, in_place=False):
    """The function for a Keras activation config value; None for "linear" (identity).

    With in_place, an overwriting variant where one exists (for freshly computed tensors).
    """
    name = activation_name(value)
    if in_place and name in _IN_PLACE:
        return _IN_PLACE[name]
    if name == "linear":
        return None
    try:
        return _FUNCTIONS[name]
    except KeyError:
        raise ModelError(f"unknown activation '{name}'") from None
