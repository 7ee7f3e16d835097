"""Training only the new top of a frozen backbone: the backbone's pooled output of each image
is computed once and kept for the run, so every epoch after the first costs only the top."""
import torch

from ..network import _without_activation
from ..transfer import top_names


def backbone_features(net, x):
    """The pooled backbone output for the input batch x, exactly as the new top receives it
    (the frozen backbone computes the same in training and in inference mode)."""
    pool, _, _ = top_names(net.document)
    captured = []
    hook = net.layer(pool).register_forward_hook(lambda _m, _i, out: captured.append(out))
    was_training = net.training
    net.eval()
    try:
        with torch.no_grad():
            net(x)
    finally:
        hook.remove()
        net.train(was_training)
    return captured[0]


def top_scores(net, features, logits=False):
    """The new top's output for pooled features, in the mode (training or not) the network is
    in; without its softmax when `logits`."""
    _, dropout, dense = top_names(net.document)
    x = net.layer(dropout)(features)
    layer = net.layer(dense)
    return _without_activation(layer, [x]) if logits else layer(x)


class FeatureCache:
    """Pooled backbone features of `count` samples, filled as batches first pass through."""

    def __init__(self, net, count):
        self.net = net
        self.known = torch.zeros(count, dtype=torch.bool)
        self.values = None

    @property
    def complete(self) -> bool:
        return bool(self.known.all())

    def features(self, index, images):
        """Features of the samples `index` (1-D long tensor). `images` is called for the model-
        ready input batch of those samples only when some of them are not cached yet."""
        index = torch.as_tensor(index, dtype=torch.long).cpu()
        if not bool(self.known[index].all()):
            fresh = backbone_features(self.net, images())
            if self.values is None:
                self.values = torch.zeros((self.known.numel(),) + tuple(fresh.shape[1:]),
                                          dtype=fresh.dtype, device=fresh.device)
            self.values[index.to(fresh.device)] = fresh
            self.known[index] = True
        return self.values[index.to(self.values.device)]
