"""Batched training, evaluation and prediction over batches streamed from disk."""
import torch

from .progress import Progbar
from .samples import checked


def _scores(net, loss_fn, x):
    """Logits when the loss works on them, else the network output; argmax is the same."""
    return net.forward_logits(x) if getattr(loss_fn, "uses_logits", False) else net(x)


def network_input(images, device):
    """uint8 NHWC images as the network's input: floats from 0 to 1 on `device`."""
    return images.to(device, non_blocking=True).float().div_(255.0)


def _one_hot(classes, n_classes, device):
    return torch.nn.functional.one_hot(classes, n_classes).float().to(device, non_blocking=True)


def output_width(net, images, device) -> int:
    """Number of outputs found by running one image (0 without images)."""
    if images.shape[0] == 0:
        return 0
    with torch.no_grad():
        net.eval()
        return int(net(network_input(images[:1], device)).shape[-1])


def check_output(net, images, n_classes, device):
    """Run one small batch so a network that does not fit the images fails before training."""
    x = network_input(images[:2], device)
    try:
        with torch.no_grad():
            net.eval()
            out = net(x)
    except RuntimeError as exc:
        raise ValueError(f"the network cannot run on images of shape "
                         f"{tuple(x.shape[1:])}: {exc}") from None
    if out.dim() != 2 or out.shape[1] != n_classes:
        raise ValueError(f"the network output has shape {tuple(out.shape)}; "
                         f"expected (batch, {n_classes}) class scores")


def fit_epoch(net, optimizer, loss_fn, batches, n_classes, device, stream, gen):
    """One pass over the set shuffled by `gen`, with a Keras progress bar; returns running
    means (loss, accuracy) and the bar, which the caller finalizes with validation figures."""
    order = batches.batch_sampler
    n = order.n
    order.order = torch.randperm(n, generator=gen)
    bar = Progbar(len(order), stream)
    loss_sum = torch.zeros((), device=device)
    hits = torch.zeros((), device=device)
    seen = 0
    net.train()
    for step, batch in enumerate(batches, 1):
        images, classes = checked(batch)
        x = network_input(images, device)
        t = _one_hot(classes, n_classes, device)
        out = _scores(net, loss_fn, x)
        loss = loss_fn(t, out)
        optimizer.zero_grad(set_to_none=True)
        loss.backward()
        optimizer.step()
        with torch.no_grad():
            loss_sum += loss.detach() * len(classes)
            hits += (out.argmax(dim=1) == t.argmax(dim=1)).sum()
        seen += len(classes)
        bar.update(step, lambda: [("loss", loss_sum.item() / seen),
                                  ("accuracy", hits.item() / seen)])
    return loss_sum.item() / n, hits.item() / n, bar


def evaluate(net, loss_fn, batches, n_classes, device):
    """(mean loss, accuracy) over all samples in inference mode."""
    n = batches.batch_sampler.n
    loss_sum, hits = 0.0, 0
    net.eval()
    with torch.no_grad():
        for batch in batches:
            images, classes = checked(batch)
            out = _scores(net, loss_fn, network_input(images, device))
            t = _one_hot(classes, n_classes, device)
            loss_sum += loss_fn(t, out).item() * len(classes)
            hits += (out.argmax(dim=1) == t.argmax(dim=1)).sum().item()
    return loss_sum / n, hits / n


def predict(net, batches, device):
    """Yields, batch by batch in set order, the index of the highest output per sample."""
    net.eval()
    with torch.no_grad():
        for batch in batches:
            images, _ = checked(batch)
            yield net(network_input(images, device)).argmax(dim=1).cpu().tolist()
