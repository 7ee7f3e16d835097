"""Each layer class against the Keras definition computed independently in float64 NumPy."""
import numpy as np
import pytest
import torch

import keras_reference as ref
from kolvara_nn.network import build_network

RNG = np.random.default_rng(1234)


def net_of(layers, shape):
    """A float64 network: input_1 of `shape` followed by (class, config[, inbound]) layers, each named in its config."""
    recs = [{"class_name": "InputLayer", "name": "input_1", "inbound_nodes": [],
             "config": {"batch_input_shape": [None, *shape], "name": "input_1"}}]
    for cls, cfg, *inbound in layers:
        recs.append({"class_name": cls, "name": cfg["name"], "config": cfg,
                     "inbound_nodes": [[[i, 0, 0, {}] for i in (inbound[0] if inbound and inbound[0] else [recs[-1]["name"]])]]})
    doc = {"class_name": "Functional", "config": {"name": "t", "layers": recs, "input_layers": [["input_1", 0, 0]],
                                                  "output_layers": [[recs[-1]["name"], 0, 0]]}}
    return build_network(doc).double().eval()


def randomize(net, name):
    """Random Keras-layout weights for layer `name`; variances kept positive."""
    arrays = []
    for wname, w in net.keras_weights(name):
        a = RNG.standard_normal(w.shape)
        arrays.append(np.abs(a) + 0.1 if "variance" in wname else a)
    net.set_keras_weights(name, arrays)
    return arrays


def run(net, *xs):
    with torch.no_grad():
        out = net(*[torch.from_numpy(x) for x in xs])
    return out.numpy()


def image(*shape):
    return RNG.standard_normal((2, *shape))


CONV_CASES = [
    # kernel, strides, padding, dilation, groups, input (h, w, c), filters
    ((3, 3), (1, 1), "valid", (1, 1), 1, (7, 8, 3), 4),
    ((3, 3), (2, 2), "same", (1, 1), 1, (7, 8, 3), 4),       # pads (1, 1) and (0, 1), stride 2
    ((1, 1), (2, 2), "same", (1, 1), 1, (7, 7, 3), 5),       # total pad 0
    ((4, 2), (3, 1), "same", (1, 1), 1, (10, 5, 2), 3),      # even kernel: uneven pad
    ((3, 3), (1, 1), "same", (2, 2), 1, (9, 9, 2), 3),       # dilation
    ((3, 3), (1, 1), "same", (1, 1), 2, (5, 5, 4), 6),       # groups
]


@pytest.mark.parametrize("kernel,strides,padding,dilation,groups,shape,filters", CONV_CASES)
def test_conv2d_matches_keras(kernel, strides, padding, dilation, groups, shape, filters):
    net = net_of([("Conv2D", {"name": "c", "filters": filters, "kernel_size": list(kernel), "strides": list(strides),
                              "padding": padding, "dilation_rate": list(dilation), "groups": groups,
                              "activation": "linear", "use_bias": True})], shape)
    x = image(*shape)
    want = ref.conv2d(x, *randomize(net, "c"), strides, padding, dilation, groups)
    np.testing.assert_allclose(run(net, x), want, atol=1e-5)


@pytest.mark.parametrize("strides,padding,mult,shape", [
    ((1, 1), "same", 1, (6, 7, 3)), ((2, 2), "same", 2, (7, 6, 3)), ((2, 1), "valid", 3, (8, 8, 2)),
])
def test_depthwise_and_separable_match_keras(strides, padding, mult, shape):
    base = {"kernel_size": [3, 3], "strides": list(strides), "padding": padding, "depth_multiplier": mult, "use_bias": True}
    x = image(*shape)
    net = net_of([("DepthwiseConv2D", dict(base, name="d"))], shape)
    want = ref.depthwise_conv2d(x, *randomize(net, "d"), strides, padding)
    np.testing.assert_allclose(run(net, x), want, atol=1e-5)
    net = net_of([("SeparableConv2D", dict(base, name="s", filters=5))], shape)
    dw, pw, b = randomize(net, "s")
    want = ref.conv2d(ref.depthwise_conv2d(x, dw, None, strides, padding), pw, b)
    np.testing.assert_allclose(run(net, x), want, atol=1e-5)


@pytest.mark.parametrize("cls,fn", [("MaxPooling2D", ref.max_pool), ("AveragePooling2D", ref.avg_pool)])
@pytest.mark.parametrize("pool,strides,padding,shape", [
    ((2, 2), None, "valid", (6, 7, 2)),
    ((3, 3), (2, 2), "same", (7, 8, 2)),     # pads (1, 1) and (0, 1): padded pixels must not count
    ((2, 3), (2, 1), "same", (5, 4, 3)),
    ((3, 3), (2, 2), "valid", (9, 10, 2)),
])
def test_pooling_matches_keras(cls, fn, pool, strides, padding, shape):
    cfg = {"name": "p", "pool_size": list(pool), "strides": list(strides) if strides else None,
           "padding": padding}
    net = net_of([(cls, cfg)], shape)
    x = image(*shape) - 3.0  # all negative: zero padding would win a max
    np.testing.assert_allclose(run(net, x), fn(x, pool, strides or pool, padding), atol=1e-5)


@pytest.mark.parametrize("center,scale,eps", [(True, True, 1.001e-5), (False, True, 1e-3), (True, False, 0.1)])
def test_batch_normalization_inference_matches_keras(center, scale, eps):
    cfg = {"name": "bn", "axis": [3], "epsilon": eps, "center": center, "scale": scale}
    net = net_of([("BatchNormalization", cfg)], (4, 5, 3))
    weights = dict(zip([n for n, _ in net.keras_weights("bn")], randomize(net, "bn")))
    x = image(4, 5, 3)
    want = ref.batch_norm(x, weights.get("gamma:0"), weights.get("beta:0"),
                          weights["moving_mean:0"], weights["moving_variance:0"], eps)
    np.testing.assert_allclose(run(net, x), want, atol=1e-5)


def _conv_gap_dense(act):
    return ([("Conv2D", {"name": "c", "filters": 3, "kernel_size": [1, 1], "activation": act}),
             ("GlobalAveragePooling2D", {"name": "g"}), ("Dense", {"name": "d", "units": 4, "activation": act})], (3, 3, 2),
            lambda x, w: ref.ACTIVATIONS[act](ref.dense(ref.ACTIVATIONS[act](ref.conv2d(x, *w["c"])).mean(axis=(1, 2)), *w["d"])))


STACKS = {  # id -> (layers after input_1, input shape, Keras result from (x, {layer: weights}))
    "dense after flatten, channels-last order": (
        [("Flatten", {"name": "f"}), ("Dense", {"name": "d", "units": 4, "activation": "linear"})], (3, 2, 5),
        lambda x, w: ref.dense(ref.flatten(x), *w["d"])),
    "dense on images acts on channels": (
        [("Dense", {"name": "d", "units": 3, "activation": "tanh"})], (2, 3, 4), lambda x, w: np.tanh(ref.dense(x, *w["d"]))),
    "conv relu": _conv_gap_dense("relu"), "conv sigmoid": _conv_gap_dense("sigmoid"), "conv softmax": _conv_gap_dense("softmax"),
    # Data stored channels-first in Keras: (N, C, H, W) in and out, flatten in (H, W, C) order.
    "channels first": (
        [("Conv2D", {"name": "c", "filters": 4, "kernel_size": [3, 3], "strides": [2, 2], "padding": "same",
                     "data_format": "channels_first"}),
         ("MaxPooling2D", {"name": "p", "pool_size": [2, 2], "data_format": "channels_first"}),
         ("Flatten", {"name": "f", "data_format": "channels_first"})], (3, 9, 8),
        lambda x, w: ref.flatten(ref.max_pool(ref.conv2d(x.transpose(0, 2, 3, 1), *w["c"], (2, 2), "same"),
                                              (2, 2), (2, 2), "valid"))),
}
MERGES = {"Add": lambda a, b: a + b, "Subtract": lambda a, b: a - b, "Multiply": lambda a, b: a * b,
          "Average": lambda a, b: (a + b) / 2, "Maximum": np.maximum, "Minimum": np.minimum,
          "Concatenate": lambda a, b: np.concatenate([a, b], axis=-1)}
STACKS.update({cls: ([("Conv2D", {"name": "c", "filters": 3, "kernel_size": [1, 1]}), (cls, {"name": "m"}, ["c", "input_1"])],
                     (4, 5, 3), lambda x, w, fn=fn: fn(ref.conv2d(x, *w["c"]), x)) for cls, fn in MERGES.items()})


@pytest.mark.parametrize("case", sorted(STACKS))
def test_layer_stacks_match_keras(case):
    layers, shape, want = STACKS[case]
    net = net_of(layers, shape)
    weights = {name: randomize(net, name) for name in net.layer_names if net.keras_weights(name)}
    x = image(*shape)
    np.testing.assert_allclose(run(net, x), want(x, weights), atol=1e-5)


X = image(5, 6, 3) * 3
WEIGHTLESS = [  # (class, config, inbound or None, Keras result for X)
    ("GlobalAveragePooling2D", {}, None, X.mean(axis=(1, 2))),
    ("GlobalMaxPooling2D", {}, None, X.max(axis=(1, 2))),
    ("GlobalAveragePooling2D", {"keepdims": True}, None, X.mean(axis=(1, 2), keepdims=True)),
    ("ZeroPadding2D", {"padding": [[1, 2], [0, 3]]}, None, ref.zero_padding(X, 1, 2, 0, 3)),
    ("ZeroPadding2D", {"padding": 2}, None, ref.zero_padding(X, 2, 2, 2, 2)),
    ("Cropping2D", {"cropping": [[1, 0], [2, 1]]}, None, X[:, 1:, 2:-1, :]),
    ("UpSampling2D", {"size": [2, 3]}, None, X.repeat(2, axis=1).repeat(3, axis=2)),
    ("Rescaling", {"scale": 1 / 255.0, "offset": -1.0}, None, X / 255.0 - 1.0),
    ("Rescaling", {"scale": [1.0, 2.0, 3.0], "offset": 0.5}, None, X * [1.0, 2.0, 3.0] + 0.5),
    ("Softmax", {"axis": 1}, None, ref.ACTIVATIONS["softmax"](X, axis=1)),
    ("Reshape", {"target_shape": [10, 9]}, None, X.reshape(2, 10, 9)),
    ("Dropout", {"rate": 0.5}, None, X),
] + [("Concatenate", {"axis": axis}, ["input_1", "input_1"], np.concatenate([X, X], axis=axis)) for axis in (1, 2, -1)] + [
    ("ReLU", cfg, None, ref.relu_layer(X, **cfg)) for cfg in
    ({}, {"max_value": 6.0}, {"negative_slope": 0.1}, {"threshold": 0.5, "negative_slope": 0.2, "max_value": 2.0})] + [
    ("Activation", {"activation": name}, None, fn(X)) for name, fn in sorted(ref.ACTIVATIONS.items())]


@pytest.mark.parametrize("cls,cfg,inbound,want", WEIGHTLESS, ids=[f"{c[0]} {c[1]}" for c in WEIGHTLESS])
def test_weightless_layers_match_keras(cls, cfg, inbound, want):
    net = net_of([(cls, dict(cfg, name="l"), inbound)], X.shape[1:])
    np.testing.assert_allclose(run(net, X), want, atol=1e-5, rtol=1e-7)
