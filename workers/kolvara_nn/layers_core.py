"""Dense, reshaping, activation, regularisation, merging and normalisation layers."""
import math

import torch
import torch.nn.functional as F

from . import activations
from .errors import ModelError
from .layer_base import KerasLayer, SpatialLayer, fmt_shape, internal_axis, to_internal, to_keras


class InputLayer(KerasLayer):
    def __init__(self, config):
        super().__init__(config)
        shape = config.get("batch_input_shape")
        dims = shape[1:] if isinstance(shape, list) else []
        if not dims or any(d is not None and (not isinstance(d, int) or d < 1) for d in dims):
            raise ModelError(f"invalid input shape {shape!r}")
        self.shape = tuple(dims)

    def build(self, shapes):
        return self.shape

    def forward(self, x):
        return x


class Dense(KerasLayer):
    def __init__(self, config):
        super().__init__(config)
        self.units = int(config.get("units", 0))
        if self.units < 1:
            raise ModelError(f"units must be a positive number, not {config.get('units')!r}")
        self.use_bias = config.get("use_bias", True) is not False
        self.act = activations.get(config.get("activation"), in_place=True)

    def build(self, shapes):
        shape = self.one_input(shapes)
        if shape[-1] is None:
            raise ModelError(f"the last axis of the input {fmt_shape(shape)} has unknown size")
        self.add_weight("kernel:0", (shape[-1], self.units), "kernel_initializer", "GlorotUniform",
                        torch.t, torch.t)
        if self.use_bias:
            self.add_weight("bias:0", (self.units,), "bias_initializer", "Zeros")
        else:
            self.register_parameter("bias", None)
        return tuple(shape[:-1]) + (self.units,)

    def forward(self, x):
        if x.dim() == 4:
            y = F.linear(x.movedim(1, -1), self.kernel, self.bias).movedim(-1, 1)
        else:
            y = F.linear(x, self.kernel, self.bias)
        return y if self.act is None else self.act(y)


class Flatten(KerasLayer):
    def __init__(self, config):
        super().__init__(config)
        # Keras flattens channels_first data after moving channels last.
        self.channels_first = config.get("data_format") == "channels_first"

    def build(self, shapes):
        shape = self.one_input(shapes)
        if None in shape:
            raise ModelError(f"cannot flatten an input of unknown size {fmt_shape(shape)}")
        return (math.prod(shape),)

    def forward(self, x):
        if x.dim() == 4:
            x = x.permute(0, 3, 1, 2) if self.channels_first else x.permute(0, 2, 3, 1)
        elif self.channels_first and x.dim() > 2:
            x = x.movedim(1, -1)
        return x.reshape(x.shape[0], -1)


class Reshape(KerasLayer):
    def __init__(self, config):
        super().__init__(config)
        target = config.get("target_shape")
        if not isinstance(target, list) or not target or sum(1 for t in target if t == -1) > 1:
            raise ModelError(f"invalid target_shape {target!r}")
        self.target = tuple(int(t) for t in target)

    def build(self, shapes):
        shape = self.one_input(shapes)
        if None in shape:
            raise ModelError(f"cannot reshape an input of unknown size {fmt_shape(shape)}")
        total, known = math.prod(shape), math.prod(t for t in self.target if t != -1)
        out = tuple(total // known if t == -1 else t for t in self.target)
        if math.prod(out) != total:
            raise ModelError(f"cannot reshape {fmt_shape(shape)} to {fmt_shape(self.target)}")
        self.target = out
        return out

    def forward(self, x):
        return to_internal(to_keras(x).reshape((x.shape[0],) + self.target))


class Activation(KerasLayer):
    def __init__(self, config):
        super().__init__(config)
        self.act = activations.get(config.get("activation"))
        self.act_in_place = activations.get(config.get("activation"), in_place=True)

    def build(self, shapes):
        return self.one_input(shapes)

    def allow_in_place(self):
        """Called by the network when nothing else reads or saved this layer's input."""
        self.act = self.act_in_place

    def forward(self, x):
        return x if self.act is None else self.act(x)


class ReLU(KerasLayer):
    """Keras ReLU: max_value cap, negative_slope below threshold (tf.keras backend.relu)."""

    def __init__(self, config):
        super().__init__(config)
        max_value = config.get("max_value")
        self.max_value = None if max_value is None else float(max_value)
        self.slope = float(config.get("negative_slope", 0.0) or 0.0)
        self.threshold = float(config.get("threshold", 0.0) or 0.0)

    def build(self, shapes):
        return self.one_input(shapes)

    def forward(self, x):
        if self.threshold != 0:
            y = x * (x > self.threshold).to(x.dtype)
        else:
            y = torch.relu(x)
        if self.max_value is not None:
            y = torch.clamp(y, 0.0, self.max_value)
        if self.slope != 0:
            y = y - self.slope * torch.relu(self.threshold - x)
        return y


class LeakyReLU(KerasLayer):
    def __init__(self, config):
        super().__init__(config)
        self.slope = float(config.get("negative_slope", config.get("alpha", 0.3)))

    def build(self, shapes):
        return self.one_input(shapes)

    def forward(self, x):
        return F.leaky_relu(x, self.slope)


class Softmax(KerasLayer):
    def __init__(self, config):
        super().__init__(config)
        axis = config.get("axis", -1)
        self.axis = axis[0] if isinstance(axis, list) and len(axis) == 1 else axis
        if not isinstance(self.axis, int):
            raise ModelError(f"unsupported softmax axis {axis!r}")

    def build(self, shapes):
        shape = self.one_input(shapes)
        self.dim = internal_axis(self.axis, len(shape) + 1)
        return shape

    def forward(self, x):
        return torch.softmax(x, dim=self.dim)


class Dropout(KerasLayer):
    def __init__(self, config):
        super().__init__(config)
        self.rate = float(config.get("rate", 0.0))
        if not 0.0 <= self.rate < 1.0:
            raise ModelError(f"dropout rate {self.rate} is not in [0, 1)")

    def build(self, shapes):
        return self.one_input(shapes)

    def forward(self, x):
        return F.dropout(x, self.rate, True) if self.training and self.rate > 0 else x


class SpatialDropout2D(SpatialLayer, Dropout):
    def run(self, x):
        return F.dropout2d(x, self.rate, True) if self.training and self.rate > 0 else x


class GaussianNoise(KerasLayer):
    def __init__(self, config):
        super().__init__(config)
        self.stddev = float(config.get("stddev", 0.0))

    def build(self, shapes):
        return self.one_input(shapes)

    def forward(self, x):
        return x + torch.randn_like(x) * self.stddev if self.training else x


class GaussianDropout(Dropout):
    def forward(self, x):
        if not self.training or self.rate == 0:
            return x
        return x * (1 + torch.randn_like(x) * math.sqrt(self.rate / (1.0 - self.rate)))


class _Merge(KerasLayer):
    """Element-wise merge of inputs of equal (or broadcastable) shape."""

    def build(self, shapes):
        if not shapes:
            raise ModelError("a merge layer needs at least one input")
        out = list(shapes[0])
        for shape in shapes[1:]:
            if len(shape) != len(out):
                raise ModelError(f"cannot merge inputs of shapes {', '.join(map(fmt_shape, shapes))}")
            for i, (a, b) in enumerate(zip(out, shape)):
                if a is not None and b is not None and a != b and 1 not in (a, b):
                    raise ModelError(f"cannot merge inputs of shapes {', '.join(map(fmt_shape, shapes))}")
                out[i] = a if b in (1, None) else b
        return tuple(out)


class Add(_Merge):
    def __init__(self, config):
        super().__init__(config)
        self.target = None

    def allow_in_place(self, target):
        """Called by the network when input `target` may be overwritten with the sum."""
        self.target = target

    def forward(self, *xs):
        if self.target is not None:
            y = xs[self.target]
            for k, x in enumerate(xs):
                if k != self.target:
                    y = y.add_(x)
            return y
        y = xs[0] + xs[1] if len(xs) > 1 else xs[0]
        for x in xs[2:]:
            y = y + x
        return y


class Subtract(_Merge):
    def build(self, shapes):
        if len(shapes) != 2:
            raise ModelError(f"Subtract needs exactly two inputs, got {len(shapes)}")
        return super().build(shapes)

    def forward(self, a, b):
        return a - b


class Multiply(_Merge):
    def forward(self, *xs):
        y = xs[0]
        for x in xs[1:]:
            y = y * x
        return y


class Average(Add):
    def forward(self, *xs):
        return super().forward(*xs) / len(xs)


class Maximum(_Merge):
    def forward(self, *xs):
        y = xs[0]
        for x in xs[1:]:
            y = torch.maximum(y, x)
        return y


class Minimum(_Merge):
    def forward(self, *xs):
        y = xs[0]
        for x in xs[1:]:
            y = torch.minimum(y, x)
        return y


class Concatenate(KerasLayer):
    def __init__(self, config):
        super().__init__(config)
        self.axis = int(config.get("axis", -1))

    def build(self, shapes):
        if not shapes:
            raise ModelError("Concatenate needs at least one input")
        rank = len(shapes[0]) + 1
        axis = self.axis + rank if self.axis < 0 else self.axis
        self.dim = internal_axis(axis, rank)
        out = list(shapes[0])
        for shape in shapes[1:]:
            same = len(shape) + 1 == rank and all(
                a == b or None in (a, b) for i, (a, b) in enumerate(zip(out, shape)) if i != axis - 1)
            if not same:
                raise ModelError(f"cannot concatenate inputs of shapes {', '.join(map(fmt_shape, shapes))} "
                                 f"along axis {self.axis}")
            out[axis - 1] = None if None in (out[axis - 1], shape[axis - 1]) else out[axis - 1] + shape[axis - 1]
        return tuple(out)

    def forward(self, *xs):
        return torch.cat(xs, dim=self.dim)


class Rescaling(KerasLayer):
    def __init__(self, config):
        super().__init__(config)
        self.register_buffer("scale", torch.tensor(config.get("scale", 1.0), dtype=torch.float32),
                             persistent=False)
        self.register_buffer("offset", torch.tensor(config.get("offset", 0.0), dtype=torch.float32),
                             persistent=False)

    def build(self, shapes):
        shape = self.one_input(shapes)
        if len(shape) == 3:
            # Per-channel values broadcast along the last Keras axis, which is dim 1 inside.
            self.scale = self.scale.reshape(-1, 1, 1) if self.scale.dim() else self.scale
            self.offset = self.offset.reshape(-1, 1, 1) if self.offset.dim() else self.offset
        return shape

    def forward(self, x):
        return x * self.scale + self.offset


class BatchNormalization(KerasLayer):
    def __init__(self, config):
        super().__init__(config)
        axis = config.get("axis", -1)
        if isinstance(axis, list):
            if len(axis) != 1:
                raise ModelError(f"normalisation over several axes {axis} is not supported")
            axis = axis[0]
        self.axis = int(axis)
        self.eps = float(config.get("epsilon", 1e-3))
        # Keras keeps moving = moving * momentum + batch * (1 - momentum).
        self.torch_momentum = 1.0 - float(config.get("momentum", 0.99))
        self.center = config.get("center", True) is not False
        self.scale = config.get("scale", True) is not False

    def build(self, shapes):
        shape = self.one_input(shapes)
        rank = len(shape) + 1
        self.dim = internal_axis(self.axis, rank)
        channels = shape[(self.axis + rank if self.axis < 0 else self.axis) - 1]
        if channels is None:
            raise ModelError(f"the normalised axis of {fmt_shape(shape)} has unknown size")
        if self.scale:
            self.add_weight("gamma:0", (channels,), "gamma_initializer", "Ones")
        else:
            self.register_parameter("gamma", None)
        if self.center:
            self.add_weight("beta:0", (channels,), "beta_initializer", "Zeros")
        else:
            self.register_parameter("beta", None)
        self.add_weight("moving_mean:0", (channels,), "moving_mean_initializer", "Zeros", trainable=False)
        self.add_weight("moving_variance:0", (channels,), "moving_variance_initializer", "Ones",
                        trainable=False)
        return shape

    def forward(self, x):
        # A frozen BatchNormalization runs in inference mode even while training (tf.keras 2).
        training = self.training and self.trainable
        moved = self.dim != 1
        if moved:
            x = x.movedim(self.dim, 1)
        if training and x.dim() != 4:
            y = self._batch_stats(x)
        else:
            y = F.batch_norm(x, self.moving_mean, self.moving_variance, self.gamma, self.beta,
                             training, self.torch_momentum, self.eps)
        return y.movedim(1, self.dim) if moved else y

    def _batch_stats(self, x):
        # Keras's non-fused path updates the moving variance with the biased batch variance.
        dims = [d for d in range(x.dim()) if d != 1]
        mean = x.mean(dims)
        var = x.var(dims, unbiased=False)
        with torch.no_grad():
            m = self.torch_momentum
            self.moving_mean.mul_(1 - m).add_(mean.detach(), alpha=m)
            self.moving_variance.mul_(1 - m).add_(var.detach(), alpha=m)
        shape = [1, -1] + [1] * (x.dim() - 2)
        y = (x - mean.reshape(shape)) * torch.rsqrt(var.reshape(shape) + self.eps)
        if self.gamma is not None:
            y = y * self.gamma.reshape(shape)
        return y if self.beta is None else y + self.beta.reshape(shape)
