"""Keras optimizers over three steps against numpy transcriptions of the Keras update rules,
each with the Keras default learning rate."""
import json
import math

import numpy as np
import pytest
import torch

import trainNN
import trainnn_fixture as fx
from kolvara_nn import h5io
from kolvara_nn.network import build_network
from kolvara_nn.training.optimizers import canonical_optimizer_name, make_optimizer

W0 = np.array([0.5, -1.0, 2.0])
GRADS = [np.array([0.1, -0.3, 0.05]), np.array([-0.2, 0.4, 0.0]), np.array([0.3, 0.1, -0.6])]
B1, B2, EPS = 0.9, 0.999, 1e-7


def keras(step, **options):
    """W0 after the three GRADS under step(w, g, t, state, **options)."""
    w, state = W0.copy(), {}
    for t, g in enumerate(GRADS, 1):
        w = step(w, g, t, state, **options)
    return w


def _avg(state, key, rho, value):
    state[key] = rho * state.get(key, 0.0) + (1 - rho) * value
    return state[key]


def sgd(w, g, t, s, lr=0.01, mu=0.0):
    s["v"] = mu * s.get("v", 0.0) - lr * g
    return w + s["v"]


def rmsprop(w, g, t, s, lr=0.001, rho=0.9):
    return w - lr * g / np.sqrt(_avg(s, "s", rho, g * g) + EPS)


def adam(w, g, t, s, lr=0.001):
    m, v = _avg(s, "m", B1, g), _avg(s, "v", B2, g * g)
    return w - lr * math.sqrt(1 - B2 ** t) / (1 - B1 ** t) * m / (np.sqrt(v) + EPS)


def adadelta(w, g, t, s, lr=0.001, rho=0.95):
    d = np.sqrt(s.get("u", 0.0) + EPS) / np.sqrt(_avg(s, "a", rho, g * g) + EPS) * g
    _avg(s, "u", rho, d * d)
    return w - lr * d


def adagrad(w, g, t, s, lr=0.001):
    s["a"] = s.get("a", 0.1) + g * g
    return w - lr * g / np.sqrt(s["a"] + EPS)


def adamax(w, g, t, s, lr=0.001):
    m = _avg(s, "m", B1, g)
    s["u"] = np.maximum(B2 * s.get("u", 0.0), np.abs(g))
    return w - lr / (1 - B1 ** t) * m / (s["u"] + EPS)


def nadam(w, g, t, s, lr=0.001):
    mu_t, mu_n = B1 * (1 - 0.5 * 0.96 ** t), B1 * (1 - 0.5 * 0.96 ** (t + 1))
    s["prod"] = s.get("prod", 1.0) * mu_t
    m, v = _avg(s, "m", B1, g), _avg(s, "v", B2, g * g)
    m_hat = mu_n * m / (1 - s["prod"] * mu_n) + (1 - mu_t) * g / (1 - s["prod"])
    return w - lr * m_hat / (np.sqrt(v / (1 - B2 ** t)) + EPS)


def ftrl(w, g, t, s, lr=0.001, l1=0.0, l2=0.0):
    a = s.get("a", 0.1)
    s["a"] = a + g * g
    s["z"] = s.get("z", 0.0) + g - (np.sqrt(s["a"]) - np.sqrt(a)) / lr * w
    return np.where(np.abs(s["z"]) > l1, (np.sign(s["z"]) * l1 - s["z"]) / (np.sqrt(s["a"]) / lr + 2 * l2), 0.0)


CASES = [
    ("SGD", {}, keras(sgd)),
    ("SGD", {"momentum": 0.9}, keras(sgd, mu=0.9)),
    ("RMSprop", {}, keras(rmsprop)),
    ("Adam", {}, keras(adam)),
    ("Adadelta", {}, keras(adadelta)),
    ("Adagrad", {}, keras(adagrad)),
    ("Adamax", {}, keras(adamax)),
    ("Nadam", {}, keras(nadam)),
    ("Ftrl", {}, keras(ftrl)),
    ("Ftrl", {"l1_regularization_strength": 2.0, "l2_regularization_strength": 0.5}, keras(ftrl, l1=2.0, l2=0.5)),
]


@pytest.mark.parametrize("name, options, expected", CASES)
def test_three_steps_follow_the_keras_rule(name, options, expected):
    w = torch.tensor(W0, dtype=torch.float64, requires_grad=True)
    opt = make_optimizer(name, [w], **options)
    for g in GRADS:
        w.grad = torch.tensor(g, dtype=torch.float64)
        opt.step()
    np.testing.assert_allclose(w.detach().numpy(), expected, rtol=1e-12, atol=1e-15)


def test_names_and_parameters_without_gradient():
    assert canonical_optimizer_name("RMSprop") == "rmsprop"  # an unknown name: test_train_outputs
    a, b = torch.ones(2, requires_grad=True), torch.ones(2, requires_grad=True)
    opt = make_optimizer("nadam", [a, b])
    a.grad = torch.ones(2)
    opt.step()
    assert torch.equal(b.detach(), torch.ones(2)) and not torch.equal(a.detach(), torch.ones(2))


def test_full_batch_sgd_steps_match_a_plain_loop(tmp_path, capsys, one_thread):
    """Two full-batch SGD epochs through trainNN.py give exactly w - lr*g(w) twice: stale
    gradients, a wrong loss reduction or different pixel scaling all change the weights."""
    lines = [fx.HEADER]
    (tmp_path / "train").mkdir()
    for n in range(8):  # stripes (label 0) against checkerboards (label 1)
        fx.texture(n % 2, seed=n).save(tmp_path / "train" / f"t{n}.png")
        lines.append(f"{n},{n},{n},t{n}.png,{n % 2}")
    (tmp_path / "train" / "field_outputlabel.csv").write_text("\n".join(lines) + "\n")
    fx.write_tiles(tmp_path / "ws", "field", [[0, 1]])
    (tmp_path / "m.json").write_text(json.dumps(fx.tiny_model_doc()))
    torch.manual_seed(7)
    h5io.save_weights(str(tmp_path / "start.h5"), build_network(fx.tiny_model_doc()))
    argv = [str(tmp_path / "m.json"), str(tmp_path / "ws"), str(tmp_path / "train"), "custom", str(tmp_path / "start.h5"),
            "8", "2", "SGD", "categorical_crossentropy", "", "field_outputlabel.csv", "1.00", "false", "false", "false",
            "false", "", "div255", "", "false"]  # the last epoch's model, not the best
    assert trainNN.main(argv) == 0, capsys.readouterr().err
    trained = build_network(fx.tiny_model_doc())
    h5io.load_weights(trained, str(tmp_path / "ws" / "my_model.h5"))

    got = [a for name in ("conv2d", "dense") for _, a in trained.keras_weights(name)]
    # One of the eight samples is held out for validation: the run must match one reference.
    matches = [held for held in range(8)
               if all(np.allclose(g, w, rtol=1e-4, atol=1e-6)
                      for g, w in zip(got, _plain_sgd(tmp_path / "start.h5", held)))]
    assert len(matches) == 1


def _plain_sgd(start_file, held):
    net = build_network(fx.tiny_model_doc())
    h5io.load_weights(net, str(start_file))
    kept = [n for n in range(8) if n != held]
    # channels-last input scaled to 0..1, as the app's tiles reach the network
    x = torch.tensor(np.stack([np.asarray(fx.texture(n % 2, seed=n), np.float32) / 255.0 for n in kept]))
    t = torch.nn.functional.one_hot(torch.tensor(kept) % 2, 2).float()
    opt = torch.optim.SGD(net.parameters(), lr=0.01)
    for _ in range(2):
        opt.zero_grad()
        p = net(x).clamp(1e-7, 1 - 1e-7)
        (-(t * torch.log(p)).sum(-1).mean()).backward()
        opt.step()
    return [a for name in ("conv2d", "dense") for _, a in net.keras_weights(name)]
