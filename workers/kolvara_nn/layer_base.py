"""What every Keras layer module shares: config, Keras weights, shapes, internal layout.

Tensors flow between layers in an internal layout: a rank-4 Keras tensor (N, d1, d2, d3) is
held as x.permute(0, 3, 1, 2), i.e. torch's (N, C, H, W) for channels-last data, so the
torch convolution and pooling ops run without copies; other ranks are held as in Keras.
Shapes handled by `build` are Keras shapes without the batch dimension.
"""
import numpy as np
import torch
from torch import nn

from .errors import ModelError
from .initializers import initial_value

# Internal dimension of each Keras axis of a rank-4 tensor.
_INTERNAL_AXIS = {0: 0, 1: 2, 2: 3, 3: 1}


def internal_axis(axis, rank):
    """Internal tensor dimension of a Keras axis (negative axes allowed) for a Keras rank."""
    axis = axis + rank if axis < 0 else axis
    if not 0 < axis < rank:
        raise ModelError(f"axis {axis} does not exist in a rank-{rank} input")
    return _INTERNAL_AXIS[axis] if rank == 4 else axis


def to_internal(x):
    return x.permute(0, 3, 1, 2) if x.dim() == 4 else x


def to_keras(x):
    return x.permute(0, 2, 3, 1) if x.dim() == 4 else x


def pair(value, key):
    """An int or a list of ints as a pair (rows, cols)."""
    if isinstance(value, (int, float)) and not isinstance(value, bool):
        return int(value), int(value)
    if isinstance(value, list) and len(value) == 2 and all(isinstance(v, (int, float)) for v in value):
        return int(value[0]), int(value[1])
    raise ModelError(f"{key} must be a number or a pair of numbers, not {value!r}")


def fmt_shape(shape):
    return "(" + ", ".join("None" if s is None else str(s) for s in (None,) + tuple(shape)) + ")"


class WeightInfo:
    """One Keras weight: its Keras name and shape and how it maps to the torch tensor."""

    __slots__ = ("keras_name", "attr", "keras_shape", "to_keras", "to_torch", "trainable")

    def __init__(self, keras_name, keras_shape, to_keras, to_torch, trainable):
        self.keras_name = keras_name
        self.attr = keras_name.split(":")[0]
        self.keras_shape = tuple(keras_shape)
        self.to_keras = to_keras
        self.to_torch = to_torch
        self.trainable = trainable


def _same(t):
    return t


class KerasLayer(nn.Module):
    """Base of the layer modules. Subclasses set their options in __init__ from the config,
    create weights and return the output shape in build(), and compute in forward()."""

    def __init__(self, config):
        super().__init__()
        self.config = config
        self.trainable = config.get("trainable", True) is not False
        self.weight_infos = []

    def build(self, shapes):
        """Create the weights for the Keras input shapes; return the Keras output shape."""
        raise NotImplementedError

    def one_input(self, shapes):
        if len(shapes) != 1:
            raise ModelError(f"expects one input, got {len(shapes)}")
        return shapes[0]

    def add_weight(self, keras_name, shape, init_key, default, to_torch=_same, to_keras=_same,
                   trainable=True):
        """Create a weight initialised as Keras would, stored in torch layout."""
        info = WeightInfo(keras_name, shape, to_keras, to_torch, trainable)
        value = initial_value(self.config.get(init_key), shape, default, to_torch).contiguous()
        if trainable:
            self.register_parameter(info.attr, nn.Parameter(value, requires_grad=self.trainable))
        else:
            self.register_buffer(info.attr, value)
        self.weight_infos.append(info)

    def keras_weights(self):
        out = []
        for w in self.weight_infos:
            t = w.to_keras(getattr(self, w.attr).detach()).to("cpu", torch.float32)
            out.append((w.keras_name, np.array(t.numpy(), dtype=np.float32, order="C")))
        return out

    def set_keras_weights(self, arrays):
        if len(arrays) != len(self.weight_infos):
            raise ModelError(f"expects {len(self.weight_infos)} weights "
                             f"({self._describe()}), got {len(arrays)}")
        for w, a in zip(self.weight_infos, arrays):
            a = np.asarray(a)
            if tuple(a.shape) != w.keras_shape:
                raise ModelError(f"weight {w.keras_name} has shape {tuple(a.shape)}, "
                                 f"expected {w.keras_shape}")
        with torch.no_grad():
            for w, a in zip(self.weight_infos, arrays):
                target = getattr(self, w.attr)
                value = w.to_torch(torch.from_numpy(np.array(a, dtype=np.float32)))
                target.copy_(value.to(target.device))

    def _describe(self):
        return ", ".join(f"{w.keras_name} {w.keras_shape}" for w in self.weight_infos) or "none"

    def param_counts(self):
        """(trainable, non_trainable) numbers of weight values, counted as Keras does."""
        trainable = non = 0
        for w in self.weight_infos:
            n = int(np.prod(w.keras_shape, dtype=np.int64))
            if w.trainable and self.trainable:
                trainable += n
            else:
                non += n
        return trainable, non


class SpatialLayer(KerasLayer):
    """A layer on rank-4 image data that honours data_format.

    run() receives and returns torch (N, C, H, W) tensors; for channels_first data the
    Keras tensor itself is (N, C, H, W), so forward() converts around run().
    """

    def __init__(self, config):
        super().__init__(config)
        fmt = config.get("data_format") or "channels_last"
        if fmt not in ("channels_last", "channels_first"):
            raise ModelError(f"unknown data_format {fmt!r}")
        self.channels_first = fmt == "channels_first"

    def image_shape(self, shape):
        """(rows, cols, channels) of a Keras shape."""
        if len(shape) != 3:
            raise ModelError(f"expects image input (rows, cols, channels), got {fmt_shape(shape)}")
        return (shape[1], shape[2], shape[0]) if self.channels_first else tuple(shape)

    def keras_shape(self, rows, cols, channels):
        return (channels, rows, cols) if self.channels_first else (rows, cols, channels)

    def forward(self, x):
        if self.channels_first:
            y = self.run(x.permute(0, 2, 3, 1))
            return y.permute(0, 3, 1, 2) if y.dim() == 4 else y
        return self.run(x)

    def run(self, x):
        raise NotImplementedError
