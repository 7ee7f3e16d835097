"""Batched training, evaluation and prediction over preloaded uint8 NHWC images.

`prepare` turns a batch of those pixels, already on the device, into the network's input
(see preprocess.scale); without one, pixels are divided by 255."""
import torch

from ..errors import ModelError
from .progress import Progbar


def _scores(net, loss_fn, x):
    """Logits when the loss works on them, else the network output; argmax is the same."""
    return net.forward_logits(x) if getattr(loss_fn, "uses_logits", False) else net(x)


def _batch(images, index, device, prepare=None):
    x = images[index].to(device, non_blocking=True)
    return prepare(x) if prepare else x.float().div_(255.0)


def _probe(net, images, device, prepare):
    """The output for the first two images, or a clear error when the network cannot take them."""
    x = _batch(images, torch.arange(min(2, images.shape[0])), device, prepare)
    try:
        with torch.no_grad():
            net.eval()
            return net(x)
    except (RuntimeError, ModelError):
        # The layer's own words (matrix sizes) would not tell the user what to change.
        declared = tuple(getattr(net, "input_shape", ()))
        raise ValueError(f"the network, whose input is {declared}, cannot run on images of "
                         f"shape {tuple(x.shape[1:])}") from None


def output_width(net, images, device, prepare=None) -> int:
    """Number of outputs found by running one image (0 without images)."""
    if images.shape[0] == 0:
        return 0
    return int(_probe(net, images, device, prepare).shape[-1])


def check_output(net, images, n_classes, device, prepare=None):
    """Run one small batch so a network that does not fit the images fails before training."""
    out = _probe(net, images, device, prepare)
    if out.dim() != 2 or out.shape[1] != n_classes:
        raise ValueError(f"the network output has shape {tuple(out.shape)}; "
                         f"expected (batch, {n_classes}) class scores")


def fit_epoch(net, optimizer, loss_fn, images, targets, batch_size, device, stream, gen,
              prepare=None):
    """One pass over shuffled batches with a Keras progress bar; returns running means
    (loss, accuracy) and the bar, which the caller finalizes with validation figures."""
    n = images.shape[0]
    steps = -(-n // batch_size)
    order = torch.randperm(n, generator=gen)
    bar = Progbar(steps, stream)
    loss_sum = torch.zeros((), device=device)
    hits = torch.zeros((), device=device)
    net.train()
    for step in range(steps):
        index = order[step * batch_size:(step + 1) * batch_size]
        x = _batch(images, index, device, prepare)
        t = targets[index].to(device, non_blocking=True)
        out = _scores(net, loss_fn, x)
        loss = loss_fn(t, out)
        optimizer.zero_grad(set_to_none=True)
        loss.backward()
        optimizer.step()
        with torch.no_grad():
            loss_sum += loss.detach() * len(index)
            hits += (out.argmax(dim=1) == t.argmax(dim=1)).sum()
        seen = min((step + 1) * batch_size, n)
        bar.update(step + 1, lambda: [("loss", loss_sum.item() / seen),
                                      ("accuracy", hits.item() / seen)])
    return loss_sum.item() / n, hits.item() / n, bar


def evaluate(net, loss_fn, images, targets, batch_size, device, prepare=None):
    """(mean loss, accuracy) over all samples in inference mode."""
    n = images.shape[0]
    loss_sum, hits = 0.0, 0
    net.eval()
    with torch.no_grad():
        for start in range(0, n, batch_size):
            index = torch.arange(start, min(start + batch_size, n))
            out = _scores(net, loss_fn, _batch(images, index, device, prepare))
            t = targets[index].to(device)
            loss_sum += loss_fn(t, out).item() * len(index)
            hits += (out.argmax(dim=1) == t.argmax(dim=1)).sum().item()
    return loss_sum / n, hits / n


def predict(net, images, batch_size, device, prepare=None) -> list:
    """Index of the highest output per sample."""
    net.eval()
    found = []
    with torch.no_grad():
        for start in range(0, images.shape[0], batch_size):
            index = torch.arange(start, min(start + batch_size, images.shape[0]))
            found.append(net(_batch(images, index, device, prepare)).argmax(dim=1).cpu())
    return torch.cat(found).tolist() if found else []
