"""Keras layer definitions written out in float64 NumPy, independent of torch.

Everything is in Keras layout (NHWC for images, HWIO kernels, (in, out) Dense kernels) and
follows TensorFlow's rules: SAME padding puts the extra pixel bottom/right, max pooling
ignores padding, average pooling divides by the number of real pixels.
"""
import math

import numpy as np


def same_pads(size, k, s, d=1):
    out = -(-size // s)
    total = max(0, (out - 1) * s + (k - 1) * d + 1 - size)
    return total // 2, total - total // 2


def _pad_for(x, kernel, strides, dilation, padding, value=0.0):
    """Pad NHWC x for a window op; returns the padded array and a validity mask."""
    n, h, w, c = x.shape
    if padding == "same":
        (t, b), (l, r) = (same_pads(h, kernel[0], strides[0], dilation[0]),
                          same_pads(w, kernel[1], strides[1], dilation[1]))
    else:
        t = b = l = r = 0
    xp = np.pad(x, ((0, 0), (t, b), (l, r), (0, 0)), constant_values=value)
    mask = np.pad(np.ones((1, h, w, 1)), ((0, 0), (t, b), (l, r), (0, 0)))
    return xp, mask


def _taps(xp, kernel, strides, dilation):
    """Yield (i, j, window) with window[n, oh, ow, c] = xp at tap (i, j) of each output."""
    kh, kw = kernel
    oh = (xp.shape[1] - (kh - 1) * dilation[0] - 1) // strides[0] + 1
    ow = (xp.shape[2] - (kw - 1) * dilation[1] - 1) // strides[1] + 1
    for i in range(kh):
        for j in range(kw):
            r0, c0 = i * dilation[0], j * dilation[1]
            yield i, j, xp[:, r0:r0 + strides[0] * (oh - 1) + 1:strides[0],
                           c0:c0 + strides[1] * (ow - 1) + 1:strides[1], :]


def conv2d(x, kernel, bias=None, strides=(1, 1), padding="valid", dilation=(1, 1), groups=1):
    xp, _ = _pad_for(x, kernel.shape[:2], strides, dilation, padding)
    cin_g = kernel.shape[2]
    cout_g = kernel.shape[3] // groups
    out = None
    for i, j, win in _taps(xp, kernel.shape[:2], strides, dilation):
        parts = [win[..., g * cin_g:(g + 1) * cin_g] @ kernel[i, j][:, g * cout_g:(g + 1) * cout_g]
                 for g in range(groups)]
        term = np.concatenate(parts, axis=-1)
        out = term if out is None else out + term
    return out if bias is None else out + bias


def depthwise_conv2d(x, kernel, bias=None, strides=(1, 1), padding="valid", dilation=(1, 1)):
    """kernel (kh, kw, cin, mult); output channel c * mult + m."""
    xp, _ = _pad_for(x, kernel.shape[:2], strides, dilation, padding)
    cin, mult = kernel.shape[2:]
    out = None
    for i, j, win in _taps(xp, kernel.shape[:2], strides, dilation):
        term = (win[..., :, None] * kernel[i, j]).reshape(win.shape[:3] + (cin * mult,))
        out = term if out is None else out + term
    return out if bias is None else out + bias


def max_pool(x, pool, strides, padding):
    xp, _ = _pad_for(x, pool, strides, (1, 1), padding, value=-np.inf)
    return np.max([win for _, _, win in _taps(xp, pool, strides, (1, 1))], axis=0)


def avg_pool(x, pool, strides, padding):
    xp, mask = _pad_for(x, pool, strides, (1, 1), padding)
    total = sum(win for _, _, win in _taps(xp, pool, strides, (1, 1)))
    count = sum(win for _, _, win in _taps(mask, pool, strides, (1, 1)))
    return total / count


def batch_norm(x, gamma, beta, mean, var, eps, axis=-1):
    shape = [1] * x.ndim
    shape[axis] = -1
    y = (x - mean.reshape(shape)) / np.sqrt(var.reshape(shape) + eps)
    if gamma is not None:
        y = y * gamma.reshape(shape)
    return y if beta is None else y + beta.reshape(shape)


def dense(x, kernel, bias=None):
    y = x @ kernel
    return y if bias is None else y + bias


def flatten(x):
    return x.reshape(x.shape[0], -1)


def _softmax(x, axis=-1):
    e = np.exp(x - x.max(axis=axis, keepdims=True))
    return e / e.sum(axis=axis, keepdims=True)


_ERF = np.vectorize(math.erf)

ACTIVATIONS = {
    "linear": lambda x: x,
    "relu": lambda x: np.maximum(x, 0),
    "softmax": _softmax,
    "sigmoid": lambda x: 1 / (1 + np.exp(-x)),
    "softplus": lambda x: np.log1p(np.exp(x)),
    "softsign": lambda x: x / (1 + np.abs(x)),
    "tanh": np.tanh,
    "selu": lambda x: 1.0507009873554805 * np.where(x > 0, x, 1.6732632423543772 * (np.exp(x) - 1)),
    "elu": lambda x: np.where(x > 0, x, np.exp(x) - 1),
    "exponential": np.exp,
    "hard_sigmoid": lambda x: np.clip(0.2 * x + 0.5, 0, 1),
    "swish": lambda x: x / (1 + np.exp(-x)),
    "gelu": lambda x: 0.5 * x * (1 + _ERF(x / math.sqrt(2))),
}


def relu_layer(x, max_value=None, negative_slope=0.0, threshold=0.0):
    """Keras ReLU layer: x above threshold (capped at max_value), slope * (x - threshold) below."""
    y = np.where(x > threshold, x, 0.0) if threshold else np.maximum(x, 0)
    if max_value is not None:
        y = np.clip(y, 0, max_value)
    return y - negative_slope * np.maximum(threshold - x, 0)


def zero_padding(x, top, bottom, left, right):
    return np.pad(x, ((0, 0), (top, bottom), (left, right), (0, 0)))
