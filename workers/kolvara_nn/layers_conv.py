"""Convolution, pooling and image padding layers with TensorFlow's padding rules."""
import math

import torch.nn.functional as F

from . import activations
from .errors import ModelError
from .layer_base import SpatialLayer, fmt_shape, pair


def same_pads(size, kernel, stride, dilation=1):
    """TensorFlow SAME padding (before, after) of one dimension: the extra pixel goes after."""
    out = -(-size // stride)
    total = max(0, (out - 1) * stride + (kernel - 1) * dilation + 1 - size)
    return total // 2, total - total // 2


class Windowed(SpatialLayer):
    """Kernel window, strides, dilation and "valid"/"same" padding of convolutions and pools."""

    def set_window(self, kernel, strides, dilation, padding):
        self.kernel_size = pair(kernel, "kernel_size")
        self.strides = pair(strides, "strides")
        self.dilation = pair(dilation, "dilation_rate")
        padding = str(padding).lower()
        if padding not in ("valid", "same"):
            raise ModelError(f"unsupported padding {padding!r}")
        if min(self.kernel_size + self.strides + self.dilation) < 1:
            raise ModelError("kernel size, strides and dilation must be positive")
        self.padding = padding
        self._pad_cache = {}

    def out_dim(self, size, i):
        if size is None:
            return None
        if self.padding == "same":
            return -(-size // self.strides[i])
        span = (self.kernel_size[i] - 1) * self.dilation[i] + 1
        return (size - span) // self.strides[i] + 1 if size >= span else 0

    def out_hw(self, shape):
        rows, cols, _ = self.image_shape(shape)
        out = (self.out_dim(rows, 0), self.out_dim(cols, 1))
        if 0 in out:
            raise ModelError(f"input {fmt_shape(shape)} is smaller than the "
                             f"{self.kernel_size[0]}x{self.kernel_size[1]} window with 'valid' padding")
        return out

    def pads(self, x):
        """(explicit F.pad tuple or None, symmetric padding for the torch op) for x's size."""
        if self.padding == "valid":
            return None, (0, 0)
        key = (x.shape[-2], x.shape[-1])
        found = self._pad_cache.get(key)
        if found is None:
            top, bottom = same_pads(key[0], self.kernel_size[0], self.strides[0], self.dilation[0])
            left, right = same_pads(key[1], self.kernel_size[1], self.strides[1], self.dilation[1])
            if top == bottom and left == right:
                found = (None, (top, left))
            else:
                found = ((left, right, top, bottom), (0, 0))
            self._pad_cache[key] = found
        return found


def _hwio_to_oihw(t):
    return t.permute(3, 2, 0, 1)


def _oihw_to_hwio(t):
    return t.permute(2, 3, 1, 0)


def _depthwise_to_torch(t):
    kh, kw, cin, mult = t.shape
    return t.reshape(kh, kw, cin * mult).permute(2, 0, 1).unsqueeze(1)


def _depthwise_to_keras(mult):
    def convert(t):
        channels, _, kh, kw = t.shape
        return t.squeeze(1).permute(1, 2, 0).reshape(kh, kw, channels // mult, mult)
    return convert


class Conv2D(Windowed):
    def __init__(self, config):
        super().__init__(config)
        self.set_window(config.get("kernel_size"), config.get("strides", 1),
                        config.get("dilation_rate", 1), config.get("padding", "valid"))
        self.filters = int(config.get("filters", 0))
        self.groups = int(config.get("groups", 1) or 1)
        if self.filters < 1 or self.groups < 1 or self.filters % self.groups:
            raise ModelError(f"filters {self.filters} must be positive and divisible by groups {self.groups}")
        self.use_bias = config.get("use_bias", True) is not False
        # The convolution's output is a new tensor, so relu may overwrite it.
        self.act = activations.get(config.get("activation"), in_place=True)

    def build(self, shapes):
        shape = self.one_input(shapes)
        rows, cols = self.out_hw(shape)
        channels = self.image_shape(shape)[2]
        if channels is None or channels % self.groups:
            raise ModelError(f"input channels {channels} do not divide into {self.groups} groups")
        kh, kw = self.kernel_size
        self.add_weight("kernel:0", (kh, kw, channels // self.groups, self.filters),
                        "kernel_initializer", "GlorotUniform", _hwio_to_oihw, _oihw_to_hwio)
        self._add_bias(self.filters)
        return self.keras_shape(rows, cols, self.filters)

    def _known_channels(self, shape):
        channels = self.image_shape(shape)[2]
        if channels is None:
            raise ModelError("the number of input channels is unknown")
        return channels

    def _add_depthwise_kernel(self, channels):
        kh, kw = self.kernel_size
        self.add_weight("depthwise_kernel:0", (kh, kw, channels, self.mult), "depthwise_initializer",
                        "GlorotUniform", _depthwise_to_torch, _depthwise_to_keras(self.mult))

    def _add_bias(self, units):
        if self.use_bias:
            self.add_weight("bias:0", (units,), "bias_initializer", "Zeros")
        else:
            self.register_parameter("bias", None)

    def run(self, x):
        return self._convolve(x, self.kernel)

    def _convolve(self, x, kernel):
        explicit, sym = self.pads(x)
        if explicit is not None:
            x = F.pad(x, explicit)
        y = F.conv2d(x, kernel, self.bias, self.strides, sym, self.dilation, self.groups)
        return y if self.act is None else self.act(y)


class DepthwiseConv2D(Conv2D):
    def __init__(self, config):
        config = dict(config, filters=1)
        super().__init__(config)
        self.mult = int(config.get("depth_multiplier", 1))
        if self.mult < 1:
            raise ModelError("depth_multiplier must be positive")

    def build(self, shapes):
        shape = self.one_input(shapes)
        rows, cols = self.out_hw(shape)
        channels = self._known_channels(shape)
        self._add_depthwise_kernel(channels)
        self.groups = channels
        self._add_bias(channels * self.mult)
        return self.keras_shape(rows, cols, channels * self.mult)

    def run(self, x):
        return self._convolve(x, self.depthwise_kernel)


class SeparableConv2D(Conv2D):
    def build(self, shapes):
        shape = self.one_input(shapes)
        rows, cols = self.out_hw(shape)
        channels = self._known_channels(shape)
        self.mult = int(self.config.get("depth_multiplier", 1))
        self._add_depthwise_kernel(channels)
        self.add_weight("pointwise_kernel:0", (1, 1, channels * self.mult, self.filters),
                        "pointwise_initializer", "GlorotUniform", _hwio_to_oihw, _oihw_to_hwio)
        self.groups = channels
        self._add_bias(self.filters)
        return self.keras_shape(rows, cols, self.filters)

    def run(self, x):
        explicit, sym = self.pads(x)
        if explicit is not None:
            x = F.pad(x, explicit)
        y = F.conv2d(x, self.depthwise_kernel, None, self.strides, sym, self.dilation, self.groups)
        y = F.conv2d(y, self.pointwise_kernel, self.bias)
        return y if self.act is None else self.act(y)


class _Pooling2D(Windowed):
    def __init__(self, config):
        super().__init__(config)
        size = config.get("pool_size", 2)
        strides = config.get("strides")
        self.set_window(size, size if strides is None else strides, 1, config.get("padding", "valid"))

    def build(self, shapes):
        shape = self.one_input(shapes)
        rows, cols = self.out_hw(shape)
        return self.keras_shape(rows, cols, self.image_shape(shape)[2])


class MaxPooling2D(_Pooling2D):
    def run(self, x):
        explicit, sym = self.pads(x)
        if explicit is not None:
            # TensorFlow leaves padding out of the maximum.
            x = F.pad(x, explicit, value=-math.inf)
        return F.max_pool2d(x, self.kernel_size, self.strides, sym)


class AveragePooling2D(_Pooling2D):
    def run(self, x):
        explicit, sym = self.pads(x)
        if explicit is None:
            return F.avg_pool2d(x, self.kernel_size, self.strides, sym, count_include_pad=False)
        # Uneven SAME padding: divide by the number of real pixels under each window.
        ones = F.pad(x.new_ones((1, 1) + tuple(x.shape[2:])), explicit)
        total = F.avg_pool2d(F.pad(x, explicit), self.kernel_size, self.strides)
        return total / F.avg_pool2d(ones, self.kernel_size, self.strides)


class _GlobalPooling2D(SpatialLayer):
    def __init__(self, config):
        super().__init__(config)
        self.keepdims = bool(config.get("keepdims", False))

    def build(self, shapes):
        channels = self.image_shape(self.one_input(shapes))[2]
        return self.keras_shape(1, 1, channels) if self.keepdims else (channels,)


class GlobalAveragePooling2D(_GlobalPooling2D):
    def run(self, x):
        return x.mean((2, 3), keepdim=self.keepdims)


class GlobalMaxPooling2D(_GlobalPooling2D):
    def run(self, x):
        return x.amax((2, 3), keepdim=self.keepdims)


def four_sides(value, key):
    """Keras padding/cropping forms (p, (a, b), ((top, bottom), (left, right))) -> 4 ints."""
    if isinstance(value, list) and len(value) == 2 and all(isinstance(v, list) for v in value):
        (top, bottom), (left, right) = pair(value[0], key), pair(value[1], key)
        return top, bottom, left, right
    rows, cols = pair(value, key)
    return rows, rows, cols, cols


class ZeroPadding2D(SpatialLayer):
    def __init__(self, config):
        super().__init__(config)
        self.sides = four_sides(config.get("padding", 1), "padding")

    def build(self, shapes):
        rows, cols, channels = self.image_shape(self.one_input(shapes))
        top, bottom, left, right = self.sides
        return self.keras_shape(None if rows is None else rows + top + bottom,
                                None if cols is None else cols + left + right, channels)

    def run(self, x):
        top, bottom, left, right = self.sides
        return F.pad(x, (left, right, top, bottom))


class Cropping2D(SpatialLayer):
    def __init__(self, config):
        super().__init__(config)
        self.sides = four_sides(config.get("cropping", 0), "cropping")

    def build(self, shapes):
        shape = self.one_input(shapes)
        rows, cols, channels = self.image_shape(shape)
        top, bottom, left, right = self.sides
        rows = None if rows is None else rows - top - bottom
        cols = None if cols is None else cols - left - right
        if (rows is not None and rows < 1) or (cols is not None and cols < 1):
            raise ModelError(f"cropping {self.sides} removes all of the input {fmt_shape(shape)}")
        return self.keras_shape(rows, cols, channels)

    def run(self, x):
        top, bottom, left, right = self.sides
        return x[:, :, top:x.shape[2] - bottom, left:x.shape[3] - right]


class UpSampling2D(SpatialLayer):
    def __init__(self, config):
        super().__init__(config)
        self.size = pair(config.get("size", 2), "size")
        self.mode = config.get("interpolation", "nearest")
        if self.mode not in ("nearest", "bilinear"):
            raise ModelError(f"unsupported interpolation {self.mode!r}")

    def build(self, shapes):
        rows, cols, channels = self.image_shape(self.one_input(shapes))
        return self.keras_shape(None if rows is None else rows * self.size[0],
                                None if cols is None else cols * self.size[1], channels)

    def run(self, x):
        if self.mode == "nearest":
            return F.interpolate(x, scale_factor=self.size, mode="nearest")
        return F.interpolate(x, scale_factor=self.size, mode="bilinear", align_corners=False)
