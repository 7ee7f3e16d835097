"""Keras optimizers: defaults and update rules, checked over three steps against numpy
transcriptions of the Keras update equations."""
import math

import numpy as np
import pytest
import torch

from kolvara_nn.training.optimizers import OPTIMIZERS, canonical_optimizer_name, make_optimizer

W0 = np.array([0.5, -1.0, 2.0])
GRADS = [np.array([0.1, -0.3, 0.05]), np.array([-0.2, 0.4, 0.0]), np.array([0.3, 0.1, -0.6])]


def run_torch(name, **options):
    w = torch.tensor(W0, dtype=torch.float64, requires_grad=True)
    opt = make_optimizer(name, [w], **options)
    for g in GRADS:
        w.grad = torch.tensor(g, dtype=torch.float64)
        opt.step()
    return w.detach().numpy()


def ref_sgd(lr=0.01, mu=0.0):
    w, v = W0.copy(), np.zeros(3)
    for g in GRADS:
        v = mu * v - lr * g
        w = w + v
    return w


def ref_rmsprop(lr=0.001, rho=0.9, eps=1e-7):
    w, s = W0.copy(), np.zeros(3)
    for g in GRADS:
        s = rho * s + (1 - rho) * g * g
        w = w - lr * g / np.sqrt(s + eps)
    return w


def ref_adam(lr=0.001, b1=0.9, b2=0.999, eps=1e-7):
    w, m, v = W0.copy(), np.zeros(3), np.zeros(3)
    for t, g in enumerate(GRADS, 1):
        m = b1 * m + (1 - b1) * g
        v = b2 * v + (1 - b2) * g * g
        w = w - lr * math.sqrt(1 - b2 ** t) / (1 - b1 ** t) * m / (np.sqrt(v) + eps)
    return w


def ref_adadelta(lr=0.001, rho=0.95, eps=1e-7):
    w, a, u = W0.copy(), np.zeros(3), np.zeros(3)
    for g in GRADS:
        a = rho * a + (1 - rho) * g * g
        d = np.sqrt(u + eps) / np.sqrt(a + eps) * g
        w = w - lr * d
        u = rho * u + (1 - rho) * d * d
    return w


def ref_adagrad(lr=0.001, init=0.1, eps=1e-7):
    w, a = W0.copy(), np.full(3, init)
    for g in GRADS:
        a = a + g * g
        w = w - lr * g / np.sqrt(a + eps)
    return w


def ref_adamax(lr=0.001, b1=0.9, b2=0.999, eps=1e-7):
    w, m, u = W0.copy(), np.zeros(3), np.zeros(3)
    for t, g in enumerate(GRADS, 1):
        m = b1 * m + (1 - b1) * g
        u = np.maximum(b2 * u, np.abs(g))
        w = w - lr / (1 - b1 ** t) * m / (u + eps)
    return w


def ref_nadam(lr=0.001, b1=0.9, b2=0.999, eps=1e-7):
    w, m, v, prod = W0.copy(), np.zeros(3), np.zeros(3), 1.0
    for t, g in enumerate(GRADS, 1):
        mu_t, mu_n = b1 * (1 - 0.5 * 0.96 ** t), b1 * (1 - 0.5 * 0.96 ** (t + 1))
        prod *= mu_t
        m = b1 * m + (1 - b1) * g
        v = b2 * v + (1 - b2) * g * g
        m_hat = mu_n * m / (1 - prod * mu_n) + (1 - mu_t) * g / (1 - prod)
        w = w - lr * m_hat / (np.sqrt(v / (1 - b2 ** t)) + eps)
    return w


def ref_ftrl(lr=0.001, init=0.1, l1=0.0, l2=0.0):
    w, a, z = W0.copy(), np.full(3, init), np.zeros(3)
    for g in GRADS:
        a_new = a + g * g
        z = z + g - (np.sqrt(a_new) - np.sqrt(a)) / lr * w
        q = np.sqrt(a_new) / lr + 2 * l2
        w = np.where(np.abs(z) > l1, (np.sign(z) * l1 - z) / q, 0.0)
        a = a_new
    return w


CASES = [
    ("SGD", {}, ref_sgd()),
    ("SGD", {"momentum": 0.9}, ref_sgd(mu=0.9)),
    ("RMSprop", {}, ref_rmsprop()),
    ("Adam", {}, ref_adam()),
    ("Adadelta", {}, ref_adadelta()),
    ("Adagrad", {}, ref_adagrad()),
    ("Adamax", {}, ref_adamax()),
    ("Nadam", {}, ref_nadam()),
    ("Ftrl", {}, ref_ftrl()),
    ("Ftrl", {"l1_regularization_strength": 2.0, "l2_regularization_strength": 0.5}, ref_ftrl(l1=2.0, l2=0.5)),
]


@pytest.mark.parametrize("name, options, expected", CASES)
def test_three_steps_follow_the_keras_rule(name, options, expected):
    np.testing.assert_allclose(run_torch(name, **options), expected, rtol=1e-12, atol=1e-15)


def test_adam_first_step_by_hand():
    # one step: lr * g / (|g| + eps / sqrt(1 - beta_2)) per element
    w = torch.tensor([1.0], dtype=torch.float64, requires_grad=True)
    opt = make_optimizer("adam", [w])
    w.grad = torch.tensor([0.5], dtype=torch.float64)
    opt.step()
    assert w.item() == pytest.approx(1.0 - 0.001 * 0.5 / (0.5 + 1e-7 / math.sqrt(0.001)), abs=1e-15)


def test_ftrl_first_step_by_hand():
    # z = g - (sqrt(0.1 + g^2) - sqrt(0.1)) / lr * w ; w = -z / (sqrt(0.1 + g^2) / lr)
    w = torch.tensor([0.5], dtype=torch.float64, requires_grad=True)
    opt = make_optimizer("ftrl", [w])
    w.grad = torch.tensor([0.2], dtype=torch.float64)
    opt.step()
    z = 0.2 - (math.sqrt(0.14) - math.sqrt(0.1)) / 0.001 * 0.5
    assert w.item() == pytest.approx(-z / (math.sqrt(0.14) / 0.001), rel=1e-12)


@pytest.mark.parametrize("name, lr", [("SGD", 0.01), ("RMSprop", 0.001), ("Adam", 0.001),
                                      ("Adadelta", 0.001), ("Adagrad", 0.001), ("Adamax", 0.001),
                                      ("Nadam", 0.001), ("Ftrl", 0.001)])
def test_keras_default_learning_rates(name, lr):
    opt = make_optimizer(name, [torch.zeros(1, requires_grad=True)])
    assert opt.param_groups[0]["lr"] == lr


def test_names_are_case_insensitive_and_unknown_ones_refused():
    assert canonical_optimizer_name("RMSprop") == "rmsprop"
    assert len(OPTIMIZERS) == 8
    with pytest.raises(ValueError, match="unknown optimizer 'Lion'"):
        canonical_optimizer_name("Lion")


def test_parameters_without_gradient_stay_unchanged():
    a = torch.ones(2, requires_grad=True)
    b = torch.ones(2, requires_grad=True)
    opt = make_optimizer("nadam", [a, b])
    a.grad = torch.ones(2)
    opt.step()
    assert torch.equal(b.detach(), torch.ones(2)) and not torch.equal(a.detach(), torch.ones(2))
