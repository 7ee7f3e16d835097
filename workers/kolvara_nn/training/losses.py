"""The Keras losses by name, with Keras's formulas (epsilon 1e-7 clipping included).

Every function takes one-hot (or probability) targets and the network's output, both
(batch, classes), and returns the per-sample loss; `keras_loss` averages over the batch
the way a compiled Keras loss does (sum over batch size). Like Keras, the cross-entropies
work on the logits instead when the output comes from a matching softmax or sigmoid, so
nothing is clipped there.
"""
import math

import torch
import torch.nn.functional as F

EPSILON = 1e-7


def binary_crossentropy(t, p):
    p = p.clamp(EPSILON, 1.0 - EPSILON)
    bce = t * torch.log(p + EPSILON) + (1.0 - t) * torch.log(1.0 - p + EPSILON)
    return -bce.mean(dim=-1)


def categorical_crossentropy(t, p):
    p = p / p.sum(dim=-1, keepdim=True)
    p = p.clamp(EPSILON, 1.0 - EPSILON)
    return -(t * torch.log(p)).sum(dim=-1)


def sparse_categorical_crossentropy(t, p):
    # Keras takes class indices here; the one-hot row is turned back into its index.
    index = t.argmax(dim=-1) if t.dim() == p.dim() else t.long()
    z = torch.log(p.clamp(EPSILON, 1.0 - EPSILON))
    return -F.log_softmax(z, dim=-1).gather(-1, index.view(-1, 1)).squeeze(-1)


def poisson(t, p):
    return (p - t * torch.log(p + EPSILON)).mean(dim=-1)


def kl_divergence(t, p):
    t = t.clamp(EPSILON, 1.0)
    p = p.clamp(EPSILON, 1.0)
    return (t * torch.log(t / p)).sum(dim=-1)


def mean_squared_error(t, p):
    return (p - t).square().mean(dim=-1)


def mean_absolute_error(t, p):
    return (p - t).abs().mean(dim=-1)


def mean_absolute_percentage_error(t, p):
    return 100.0 * ((t - p) / t.abs().clamp(min=EPSILON)).abs().mean(dim=-1)


def mean_squared_logarithmic_error(t, p):
    first = torch.log(p.clamp(min=EPSILON) + 1.0)
    second = torch.log(t.clamp(min=EPSILON) + 1.0)
    return (first - second).square().mean(dim=-1)


def _l2_normalize(x):
    return x * torch.rsqrt(x.square().sum(dim=-1, keepdim=True).clamp(min=1e-12))


def cosine_similarity(t, p):
    return -(_l2_normalize(t) * _l2_normalize(p)).sum(dim=-1)


def huber_loss(t, p, delta=1.0):
    e = p - t
    a = e.abs()
    return torch.where(a <= delta, 0.5 * e.square(), delta * a - 0.5 * delta * delta).mean(dim=-1)


def log_cosh(t, p):
    x = p - t
    return (x + F.softplus(-2.0 * x) - math.log(2.0)).mean(dim=-1)


LOSSES = {f.__name__: f for f in (
    binary_crossentropy, categorical_crossentropy, sparse_categorical_crossentropy, poisson,
    kl_divergence, mean_squared_error, mean_absolute_error, mean_absolute_percentage_error,
    mean_squared_logarithmic_error, cosine_similarity, huber_loss, log_cosh)}

# Keras's short aliases and class names, compared without case and underscores.
_ALIASES = {
    "bce": "binary_crossentropy", "mse": "mean_squared_error", "mae": "mean_absolute_error",
    "mape": "mean_absolute_percentage_error", "msle": "mean_squared_logarithmic_error",
    "kld": "kl_divergence", "kullbackleiblerdivergence": "kl_divergence",
    "logcosh": "log_cosh", "huber": "huber_loss",
}


def _key(name: str) -> str:
    return name.strip().lower().replace("_", "")


_LOOKUP = {**{_key(n): n for n in LOSSES}, **_ALIASES}


def canonical_loss_name(name: str) -> str:
    """The Keras loss name for `name` (aliases and class names accepted); ValueError if unknown."""
    found = _LOOKUP.get(_key(name))
    if found is None:
        raise ValueError(f"unknown loss '{name}'; known: {', '.join(LOSSES)}")
    return found


def _labels(t, z):
    return t.argmax(dim=-1) if t.dim() == z.dim() else t.long()


FROM_LOGITS = {
    ("categorical_crossentropy", "softmax"):
        lambda t, z: -(t * F.log_softmax(z, dim=-1)).sum(dim=-1),
    ("sparse_categorical_crossentropy", "softmax"):
        lambda t, z: -F.log_softmax(z, dim=-1).gather(-1, _labels(t, z).view(-1, 1)).squeeze(-1),
    ("binary_crossentropy", "sigmoid"):
        lambda t, z: F.binary_cross_entropy_with_logits(z, t, reduction="none").mean(dim=-1),
}


def keras_loss(name: str, final_activation: str = None):
    """A callable (targets, outputs) -> scalar batch loss for the Keras loss `name`.

    Its `uses_logits` attribute says whether it wants the output before the network's
    final `final_activation` (then the caller passes logits) or the output itself."""
    canonical = canonical_loss_name(name)
    per_sample = FROM_LOGITS.get((canonical, final_activation), LOSSES[canonical])

    def batch_loss(t, out):
        return per_sample(t, out).mean()
    batch_loss.__name__ = canonical
    batch_loss.uses_logits = (canonical, final_activation) in FROM_LOGITS
    return batch_loss
