"""The eight Keras optimizers with Keras's defaults and update rules.

PyTorch's namesakes differ in defaults and in where epsilon sits (RMSprop, Adagrad,
Adamax, Nadam) or do not exist (Ftrl), so all eight are written here the same way:
one `_update` per parameter, run under no_grad, with `t` the 1-based step.
"""
import math

import torch


class KerasOptimizer(torch.optim.Optimizer):
    defaults_keras: dict = {}
    zero_states: tuple = ()  # per-parameter slots that start as zeros

    def __init__(self, params, **overrides):
        unknown = set(overrides) - set(self.defaults_keras)
        if unknown:
            raise TypeError(f"{type(self).__name__}: unknown options {sorted(unknown)}")
        super().__init__(params, {**self.defaults_keras, **overrides})

    @torch.no_grad()
    def step(self, closure=None):
        loss = None
        if closure is not None:
            with torch.enable_grad():
                loss = closure()
        for group in self.param_groups:
            for p in group["params"]:
                if p.grad is None:
                    continue
                state = self.state[p]
                if not state:
                    state["t"] = 0
                    self._init_state(p, state, group)
                state["t"] += 1
                self._update(p, p.grad, state, group, state["t"])
        return loss

    def _init_state(self, p, state, group):
        for name in self.zero_states:
            state[name] = torch.zeros_like(p)

    def _update(self, p, g, state, group, t):
        raise NotImplementedError


class SGD(KerasOptimizer):
    defaults_keras = dict(lr=0.01, momentum=0.0, nesterov=False)
    zero_states = ("m",)

    def _update(self, p, g, state, group, t):
        lr, mu = group["lr"], group["momentum"]
        if mu == 0:
            p.add_(g, alpha=-lr)
            return
        m = state["m"]
        m.mul_(mu).add_(g, alpha=-lr)
        if group["nesterov"]:
            p.add_(m * mu - lr * g)
        else:
            p.add_(m)


class RMSprop(KerasOptimizer):
    defaults_keras = dict(lr=0.001, rho=0.9, momentum=0.0, epsilon=1e-7, centered=False)
    zero_states = ("v", "avg", "mom")

    def _update(self, p, g, state, group, t):
        rho, v = group["rho"], state["v"]
        v.mul_(rho).addcmul_(g, g, value=1 - rho)
        denominator = v
        if group["centered"]:
            avg = state["avg"]
            avg.mul_(rho).add_(g, alpha=1 - rho)
            denominator = v - avg * avg
        increment = group["lr"] * g / torch.sqrt(denominator + group["epsilon"])
        if group["momentum"] > 0:
            state["mom"].mul_(group["momentum"]).add_(increment)
            increment = state["mom"]
        p.sub_(increment)


class Adam(KerasOptimizer):
    defaults_keras = dict(lr=0.001, beta_1=0.9, beta_2=0.999, epsilon=1e-7, amsgrad=False)
    zero_states = ("m", "v", "vhat")

    def _update(self, p, g, state, group, t):
        b1, b2 = group["beta_1"], group["beta_2"]
        m, v = state["m"], state["v"]
        m.mul_(b1).add_(g, alpha=1 - b1)
        v.mul_(b2).addcmul_(g, g, value=1 - b2)
        alpha = group["lr"] * math.sqrt(1 - b2 ** t) / (1 - b1 ** t)
        if group["amsgrad"]:
            torch.maximum(state["vhat"], v, out=state["vhat"])
            v = state["vhat"]
        p.addcdiv_(m, v.sqrt().add_(group["epsilon"]), value=-alpha)


class Adadelta(KerasOptimizer):
    defaults_keras = dict(lr=0.001, rho=0.95, epsilon=1e-7)
    zero_states = ("acc_grad", "acc_delta")

    def _update(self, p, g, state, group, t):
        rho, eps = group["rho"], group["epsilon"]
        acc_grad, acc_delta = state["acc_grad"], state["acc_delta"]
        acc_grad.mul_(rho).addcmul_(g, g, value=1 - rho)
        delta = torch.sqrt(acc_delta + eps) / torch.sqrt(acc_grad + eps) * g
        acc_delta.mul_(rho).addcmul_(delta, delta, value=1 - rho)
        p.add_(delta, alpha=-group["lr"])


class Adagrad(KerasOptimizer):
    defaults_keras = dict(lr=0.001, initial_accumulator_value=0.1, epsilon=1e-7)

    def _init_state(self, p, state, group):
        state["acc"] = torch.full_like(p, group["initial_accumulator_value"])

    def _update(self, p, g, state, group, t):
        acc = state["acc"]
        acc.addcmul_(g, g)
        p.addcdiv_(g, torch.sqrt(acc + group["epsilon"]), value=-group["lr"])


class Adamax(KerasOptimizer):
    defaults_keras = dict(lr=0.001, beta_1=0.9, beta_2=0.999, epsilon=1e-7)
    zero_states = ("m", "u")

    def _update(self, p, g, state, group, t):
        b1 = group["beta_1"]
        m, u = state["m"], state["u"]
        m.mul_(b1).add_(g, alpha=1 - b1)
        torch.maximum(u * group["beta_2"], g.abs(), out=u)
        p.addcdiv_(m, u + group["epsilon"], value=-group["lr"] / (1 - b1 ** t))


class Nadam(KerasOptimizer):
    """Current Keras Nadam: momentum schedule mu_t = beta_1 (1 - 0.5 * 0.96^t)."""
    defaults_keras = dict(lr=0.001, beta_1=0.9, beta_2=0.999, epsilon=1e-7)
    zero_states = ("m", "v")

    def _init_state(self, p, state, group):
        super()._init_state(p, state, group)
        state["mu_product"] = 1.0

    def _update(self, p, g, state, group, t):
        b1, b2 = group["beta_1"], group["beta_2"]
        mu_t = b1 * (1 - 0.5 * 0.96 ** t)
        mu_next = b1 * (1 - 0.5 * 0.96 ** (t + 1))
        product = state["mu_product"] * mu_t
        state["mu_product"] = product
        m, v = state["m"], state["v"]
        m.mul_(b1).add_(g, alpha=1 - b1)
        v.mul_(b2).addcmul_(g, g, value=1 - b2)
        m_hat = mu_next * m / (1 - product * mu_next) + (1 - mu_t) * g / (1 - product)
        v_hat = v / (1 - b2 ** t)
        p.addcdiv_(m_hat, v_hat.sqrt_().add_(group["epsilon"]), value=-group["lr"])


class Ftrl(KerasOptimizer):
    defaults_keras = dict(lr=0.001, learning_rate_power=-0.5, initial_accumulator_value=0.1,
                          l1_regularization_strength=0.0, l2_regularization_strength=0.0,
                          l2_shrinkage_regularization_strength=0.0, beta=0.0)
    zero_states = ("linear",)

    def _init_state(self, p, state, group):
        super()._init_state(p, state, group)
        state["acc"] = torch.full_like(p, group["initial_accumulator_value"])

    def _update(self, p, g, state, group, t):
        lr, power = group["lr"], -group["learning_rate_power"]
        l1 = group["l1_regularization_strength"]
        l2 = group["l2_regularization_strength"] + group["beta"] / (2.0 * lr)
        acc, linear = state["acc"], state["linear"]
        g_shrunk = g + 2.0 * group["l2_shrinkage_regularization_strength"] * p
        acc_new = acc + g * g
        linear.add_(g_shrunk - (acc_new.pow(power) - acc.pow(power)) / lr * p)
        quadratic = acc_new.pow(power) / lr + 2.0 * l2
        p.copy_((linear.clamp(-l1, l1) - linear) / quadratic)
        acc.copy_(acc_new)


OPTIMIZERS = {cls.__name__.lower(): cls for cls in (
    SGD, RMSprop, Adam, Adadelta, Adagrad, Adamax, Nadam, Ftrl)}


def canonical_optimizer_name(name: str) -> str:
    key = name.strip().lower()
    if key not in OPTIMIZERS:
        names = ", ".join(cls.__name__ for cls in OPTIMIZERS.values())
        raise ValueError(f"unknown optimizer '{name}'; known: {names}")
    return key


def make_optimizer(name: str, params, **overrides) -> KerasOptimizer:
    return OPTIMIZERS[canonical_optimizer_name(name)](params, **overrides)


def keras_config(optimizer: KerasOptimizer) -> dict:
    """The optimizer as Keras serializes it in a saved model's training_config."""
    group = optimizer.param_groups[0]
    name = type(optimizer).__name__
    config = {"name": name, "weight_decay": None, "clipnorm": None, "global_clipnorm": None,
              "clipvalue": None, "use_ema": False, "ema_momentum": 0.99,
              "ema_overwrite_frequency": None, "jit_compile": False,
              "is_legacy_optimizer": False, "learning_rate": group["lr"]}
    config.update({k: group[k] for k in optimizer.defaults_keras if k != "lr"})
    return {"class_name": name, "config": config}
