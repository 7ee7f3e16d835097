"""Keras losses against numpy transcriptions of Keras's formulas (epsilon 1e-7)."""
import numpy as np
import pytest
import torch

from kolvara_nn.training.losses import LOSSES, canonical_loss_name, keras_loss

EPS = 1e-7
T = np.array([[0.0, 1.0, 0.0], [1.0, 0.0, 0.0]])
# the first row sums to 0.5 (Keras rescales it for cross-entropy); the second puts almost no
# mass on the true class, so clipping matters
P = np.array([[0.1, 0.35, 0.05], [1e-9, 0.5, 0.5 - 1e-9]])


def _clip(x, lo, hi):
    return np.minimum(np.maximum(x, lo), hi)


def _norm(x):
    return x / np.sqrt(np.maximum((x * x).sum(-1, keepdims=True), 1e-12))


EXPECTED = {
    "binary_crossentropy": lambda t, p: -(t * np.log(_clip(p, EPS, 1 - EPS) + EPS)
                                          + (1 - t) * np.log(1 - _clip(p, EPS, 1 - EPS) + EPS)).mean(-1),
    "categorical_crossentropy": lambda t, p: -(t * np.log(_clip(p / p.sum(-1, keepdims=True), EPS, 1 - EPS))).sum(-1),
    "sparse_categorical_crossentropy": lambda t, p: -np.log(
        (_clip(p, EPS, 1 - EPS) / _clip(p, EPS, 1 - EPS).sum(-1, keepdims=True))[t.astype(bool)]),
    "poisson": lambda t, p: (p - t * np.log(p + EPS)).mean(-1),
    "kl_divergence": lambda t, p: (_clip(t, EPS, 1) * np.log(_clip(t, EPS, 1) / _clip(p, EPS, 1))).sum(-1),
    "mean_squared_error": lambda t, p: ((p - t) ** 2).mean(-1),
    "mean_absolute_error": lambda t, p: np.abs(p - t).mean(-1),
    "mean_absolute_percentage_error": lambda t, p: 100 * np.abs((t - p) / np.maximum(np.abs(t), EPS)).mean(-1),
    "mean_squared_logarithmic_error": lambda t, p: ((np.log(np.maximum(p, EPS) + 1)
                                                     - np.log(np.maximum(t, EPS) + 1)) ** 2).mean(-1),
    "cosine_similarity": lambda t, p: -(_norm(t) * _norm(p)).sum(-1),
    "huber_loss": lambda t, p: np.where(np.abs(p - t) <= 1, 0.5 * (p - t) ** 2, np.abs(p - t) - 0.5).mean(-1),
    "log_cosh": lambda t, p: np.log(np.cosh(p - t)).mean(-1),
}


@pytest.mark.parametrize("name", sorted(EXPECTED))
def test_loss_matches_keras_formula(name):
    got = keras_loss(name)(torch.tensor(T, dtype=torch.float64), torch.tensor(P, dtype=torch.float64))
    assert got.item() == pytest.approx(EXPECTED[name](T, P).mean(), rel=1e-9)


def test_loss_names_and_aliases():
    # an unknown name is refused in test_train_outputs
    assert set(LOSSES) == set(EXPECTED)
    for given, canonical in [("mse", "mean_squared_error"), ("MeanSquaredError", "mean_squared_error"),
                             ("KLDivergence", "kl_divergence"), ("kullback_leibler_divergence", "kl_divergence"),
                             ("logcosh", "log_cosh"), ("huber", "huber_loss"), ("BCE", "binary_crossentropy")]:
        assert canonical_loss_name(given) == canonical, given


@pytest.mark.parametrize("name, activation, logits", [
    ("categorical_crossentropy", "softmax", True), ("sparse_categorical_crossentropy", "softmax", True),
    ("binary_crossentropy", "sigmoid", True), ("categorical_crossentropy", "sigmoid", False),
    ("binary_crossentropy", "softmax", False), ("mean_squared_error", "softmax", False),
    ("categorical_crossentropy", None, False),
])
def test_crossentropies_take_logits_behind_a_matching_activation(name, activation, logits):
    assert keras_loss(name, activation).uses_logits is logits


Z = np.array([[1.0, 2.0, 0.5], [-30.0, 30.0, 0.0]])


def _log_softmax(z):
    z = z - z.max(-1, keepdims=True)
    return z - np.log(np.exp(z).sum(-1, keepdims=True))


@pytest.mark.parametrize("name, activation, expected", [
    # no clipping on the logits path: the second row costs 60, not -log(1e-7)
    ("categorical_crossentropy", "softmax", -(T * _log_softmax(Z)).sum(-1).mean()),
    ("sparse_categorical_crossentropy", "softmax", -(T * _log_softmax(Z)).sum(-1).mean()),
    ("binary_crossentropy", "sigmoid",
     (np.maximum(Z, 0) - Z * T + np.log1p(np.exp(-np.abs(Z)))).mean(-1).mean()),
])
def test_loss_from_logits(name, activation, expected):
    got = keras_loss(name, activation)(torch.tensor(T), torch.tensor(Z))
    assert got.item() == pytest.approx(expected, rel=1e-9)
    squash = torch.softmax if activation == "softmax" else lambda z, dim: torch.sigmoid(z)
    clipped = keras_loss(name)(torch.tensor(T), squash(torch.tensor(Z), -1))
    assert clipped.item() < expected - 4
