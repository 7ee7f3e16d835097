"""Batched training, evaluation and prediction over batches streamed from disk.

`prepare` turns a batch of uint8 NHWC pixels, already on the device, into the network's input
(see preprocess.scale); without one, pixels are divided by 255. With a FeatureCache, a frozen
backbone's features come from the cache once it holds them, and only the new top runs."""
import torch

from ..errors import ModelError
from .features import top_scores
from .progress import Progbar
from .samples import checked


def _scores(net, loss_fn, x=None, features=None):
    """Logits when the loss works on them, else the network output; argmax is the same.
    Given features, only the new top computes them."""
    logits = getattr(loss_fn, "uses_logits", False)
    if features is not None:
        return top_scores(net, features, logits)
    return net.forward_logits(x) if logits else net(x)


def network_input(images, device, prepare=None):
    """uint8 NHWC images as the network's input on `device`."""
    x = images.to(device, non_blocking=True)
    return prepare(x) if prepare else x.float().div_(255.0)


def _one_hot(classes, n_classes, device):
    return torch.nn.functional.one_hot(classes, n_classes).float().to(device, non_blocking=True)


def _probe(net, images, device, prepare):
    """The output for the first two images, or a clear error when the network cannot take them."""
    x = network_input(images[:2], device, prepare)
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
    return int(_probe(net, images[:1], device, prepare).shape[-1])


def check_output(net, images, n_classes, device, prepare=None):
    """Run one small batch so a network that does not fit the images fails before training."""
    out = _probe(net, images, device, prepare)
    if out.dim() != 2 or out.shape[1] != n_classes:
        raise ValueError(f"the network output has shape {tuple(out.shape)}; "
                         f"expected (batch, {n_classes}) class scores")


def _batches(batches, cache):
    """(sample indices, images or None, class indices) of each batch of a pass, in the order
    the batch sampler holds. Once the cache knows every sample no image is read at all."""
    order = batches.batch_sampler
    if cache is not None and cache.complete:
        classes = batches.dataset.classes
        for index in order:
            yield torch.as_tensor(index), None, classes[index]
        return
    for index, batch in zip(order, batches):
        images, classes = checked(batch)
        yield torch.as_tensor(index), images, classes


def _outputs(net, loss_fn, index, images, device, prepare, cache):
    if cache is None:
        return _scores(net, loss_fn, network_input(images, device, prepare))
    features = cache.features(index, lambda: network_input(images, device, prepare))
    return _scores(net, loss_fn, features=features)


def fit_epoch(net, optimizer, loss_fn, batches, n_classes, device, stream, gen, prepare=None,
              cache=None):
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
    for step, (index, images, classes) in enumerate(_batches(batches, cache), 1):
        out = _outputs(net, loss_fn, index, images, device, prepare, cache)
        t = _one_hot(classes, n_classes, device)
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


def evaluate(net, loss_fn, batches, n_classes, device, prepare=None, cache=None):
    """(mean loss, accuracy) over all samples in inference mode."""
    n = batches.batch_sampler.n
    loss_sum, hits = 0.0, 0
    net.eval()
    with torch.no_grad():
        for index, images, classes in _batches(batches, cache):
            out = _outputs(net, loss_fn, index, images, device, prepare, cache)
            t = _one_hot(classes, n_classes, device)
            loss_sum += loss_fn(t, out).item() * len(classes)
            hits += (out.argmax(dim=1) == t.argmax(dim=1)).sum().item()
    return loss_sum / n, hits / n


def predict(net, batches, device, prepare=None):
    """Yields, batch by batch in set order, the index of the highest output per sample."""
    net.eval()
    with torch.no_grad():
        for batch in batches:
            images, _ = checked(batch)
            yield net(network_input(images, device, prepare)).argmax(dim=1).cpu().tolist()
