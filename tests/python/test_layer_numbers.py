"""Each layer class against the Keras definition computed independently in float64 NumPy."""
import numpy as np
import pytest
import torch

import keras_reference as ref
from kolvara_nn.network import build_network

RNG = np.random.default_rng(1234)


def net_of(layers, shape, inputs=None):
    """A functional document: input_1 of `shape` followed by (class, config, inbound) layers."""
    recs = [{"class_name": "InputLayer", "name": "input_1", "inbound_nodes": [],
             "config": {"batch_input_shape": [None, *shape], "name": "input_1"}}]
    prev = "input_1"
    for k, (cls, cfg, inbound) in enumerate(layers):
        name = cfg.get("name", f"l{k}")
        recs.append({"class_name": cls, "name": name, "config": dict(cfg, name=name),
                     "inbound_nodes": [[[i, 0, 0, {}] for i in (inbound or [prev])]]})
        prev = name
    doc = {"class_name": "Functional", "config": {
        "name": "t", "layers": recs, "input_layers": inputs or [["input_1", 0, 0]],
        "output_layers": [[prev, 0, 0]]}}
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
    ((3, 3), (2, 2), "same", (1, 1), 1, (7, 8, 3), 4),       # odd / even sizes, stride 2
    ((3, 3), (2, 2), "same", (1, 1), 1, (6, 6, 2), 3),       # total pad 1: (0, 1)
    ((1, 1), (2, 2), "same", (1, 1), 1, (7, 7, 3), 5),       # total pad 0
    ((4, 2), (3, 1), "same", (1, 1), 1, (10, 5, 2), 3),      # even kernel: uneven pad
    ((3, 3), (1, 1), "same", (2, 2), 1, (9, 9, 2), 3),       # dilation
    ((3, 3), (1, 1), "same", (1, 1), 2, (5, 5, 4), 6),       # groups
    ((7, 7), (2, 2), "valid", (1, 1), 1, (16, 15, 3), 2),
]


@pytest.mark.parametrize("kernel,strides,padding,dilation,groups,shape,filters", CONV_CASES)
def test_conv2d_matches_keras(kernel, strides, padding, dilation, groups, shape, filters):
    cfg = {"filters": filters, "kernel_size": list(kernel), "strides": list(strides),
           "padding": padding, "dilation_rate": list(dilation), "groups": groups,
           "activation": "linear", "use_bias": True}
    net = net_of([("Conv2D", dict(cfg, name="c"), None)], shape)
    k, b = randomize(net, "c")
    x = image(*shape)
    want = ref.conv2d(x, k, b, strides, padding, dilation, groups)
    np.testing.assert_allclose(run(net, x), want, atol=1e-5)


@pytest.mark.parametrize("strides,padding,mult,shape", [
    ((1, 1), "same", 1, (6, 7, 3)), ((2, 2), "same", 2, (7, 6, 3)), ((2, 1), "valid", 3, (8, 8, 2)),
])
def test_depthwise_and_separable_match_keras(strides, padding, mult, shape):
    base = {"kernel_size": [3, 3], "strides": list(strides), "padding": padding,
            "depth_multiplier": mult, "use_bias": True}
    x = image(*shape)
    net = net_of([("DepthwiseConv2D", dict(base, name="d"), None)], shape)
    dk, db = randomize(net, "d")
    np.testing.assert_allclose(run(net, x), ref.depthwise_conv2d(x, dk, db, strides, padding), atol=1e-5)
    net = net_of([("SeparableConv2D", dict(base, name="s", filters=5), None)], shape)
    dk, pk, b = randomize(net, "s")
    want = ref.separable_conv2d(x, dk, pk, b, strides, padding)
    np.testing.assert_allclose(run(net, x), want, atol=1e-5)


@pytest.mark.parametrize("cls,fn", [("MaxPooling2D", ref.max_pool), ("AveragePooling2D", ref.avg_pool)])
@pytest.mark.parametrize("pool,strides,padding,shape", [
    ((2, 2), None, "valid", (6, 7, 2)),
    ((3, 3), (2, 2), "same", (6, 6, 2)),     # pad (0, 1): the padded pixel must not count
    ((3, 3), (2, 2), "same", (7, 8, 2)),
    ((3, 3), (1, 1), "same", (5, 5, 1)),     # symmetric pad 1
    ((2, 3), (2, 1), "same", (5, 4, 3)),
    ((3, 3), (2, 2), "valid", (9, 10, 2)),
])
def test_pooling_matches_keras(cls, fn, pool, strides, padding, shape):
    cfg = {"name": "p", "pool_size": list(pool), "strides": list(strides) if strides else None,
           "padding": padding}
    net = net_of([(cls, cfg, None)], shape)
    x = image(*shape) - 3.0  # all negative: zero padding would win a max
    np.testing.assert_allclose(run(net, x), fn(x, pool, strides or pool, padding), atol=1e-5)


@pytest.mark.parametrize("center,scale,eps", [(True, True, 1.001e-5), (False, True, 1e-3), (True, False, 0.1)])
def test_batch_normalization_inference_matches_keras(center, scale, eps):
    cfg = {"name": "bn", "axis": [3], "epsilon": eps, "center": center, "scale": scale}
    net = net_of([("BatchNormalization", cfg, None)], (4, 5, 3))
    weights = dict(zip([n for n, _ in net.keras_weights("bn")], randomize(net, "bn")))
    x = image(4, 5, 3)
    want = ref.batch_norm(x, weights.get("gamma:0"), weights.get("beta:0"),
                          weights["moving_mean:0"], weights["moving_variance:0"], eps)
    np.testing.assert_allclose(run(net, x), want, atol=1e-5)


def test_dense_after_flatten_uses_channels_last_order():
    net = net_of([("Flatten", {"name": "f"}, None),
                  ("Dense", {"name": "d", "units": 4, "activation": "linear"}, None)], (3, 2, 5))
    k, b = randomize(net, "d")
    x = image(3, 2, 5)
    np.testing.assert_allclose(run(net, x), ref.dense(ref.flatten(x), k, b), atol=1e-5)


def test_dense_on_images_acts_on_channels():
    net = net_of([("Dense", {"name": "d", "units": 3, "activation": "tanh"}, None)], (2, 3, 4))
    k, b = randomize(net, "d")
    x = image(2, 3, 4)
    np.testing.assert_allclose(run(net, x), np.tanh(ref.dense(x, k, b)), atol=1e-5)


@pytest.mark.parametrize("name", sorted(ref.ACTIVATIONS))
def test_activations_match_keras(name):
    net = net_of([("Activation", {"name": "a", "activation": name}, None)], (3, 4, 5))
    x = image(3, 4, 5) * 2
    np.testing.assert_allclose(run(net, x), ref.ACTIVATIONS[name](x), atol=1e-5, rtol=1e-7)


@pytest.mark.parametrize("name", ["relu", "sigmoid", "softmax"])
def test_conv_and_dense_apply_their_activation(name):
    net = net_of([("Conv2D", {"name": "c", "filters": 3, "kernel_size": [1, 1], "activation": name}, None),
                  ("GlobalAveragePooling2D", {"name": "g"}, None),
                  ("Dense", {"name": "d", "units": 4, "activation": name}, None)], (3, 3, 2))
    k, b = randomize(net, "c")
    dk, db = randomize(net, "d")
    x = image(3, 3, 2)
    act = ref.ACTIVATIONS[name]
    want = act(ref.dense(act(ref.conv2d(x, k, b)).mean(axis=(1, 2)), dk, db))
    np.testing.assert_allclose(run(net, x), want, atol=1e-5)


@pytest.mark.parametrize("cfg", [
    {}, {"max_value": 6.0}, {"negative_slope": 0.1}, {"threshold": 0.5, "negative_slope": 0.2, "max_value": 2.0},
])
def test_relu_layer_matches_keras(cfg):
    net = net_of([("ReLU", dict(cfg, name="r"), None)], (4, 4, 2))
    x = image(4, 4, 2) * 3
    np.testing.assert_allclose(run(net, x), ref.relu_layer(x, **cfg), atol=1e-5)


def test_global_pooling_zero_padding_and_rescaling():
    x = image(5, 6, 3)
    cases = [
        ("GlobalAveragePooling2D", {}, x.mean(axis=(1, 2))),
        ("GlobalMaxPooling2D", {}, x.max(axis=(1, 2))),
        ("GlobalAveragePooling2D", {"keepdims": True}, x.mean(axis=(1, 2), keepdims=True)),
        ("ZeroPadding2D", {"padding": [[1, 2], [0, 3]]}, ref.zero_padding(x, 1, 2, 0, 3)),
        ("ZeroPadding2D", {"padding": 2}, ref.zero_padding(x, 2, 2, 2, 2)),
        ("Cropping2D", {"cropping": [[1, 0], [2, 1]]}, x[:, 1:, 2:-1, :]),
        ("UpSampling2D", {"size": [2, 3]}, x.repeat(2, axis=1).repeat(3, axis=2)),
        ("Rescaling", {"scale": 1 / 255.0, "offset": -1.0}, x / 255.0 - 1.0),
        ("Rescaling", {"scale": [1.0, 2.0, 3.0], "offset": 0.5}, x * [1.0, 2.0, 3.0] + 0.5),
        ("Softmax", {"axis": 1}, ref.ACTIVATIONS["softmax"](x, axis=1)),
        ("Reshape", {"target_shape": [10, 9]}, x.reshape(2, 10, 9)),
        ("Dropout", {"rate": 0.5}, x),
    ]
    for cls, cfg, want in cases:
        net = net_of([(cls, dict(cfg, name="l"), None)], (5, 6, 3))
        np.testing.assert_allclose(run(net, x), want, atol=1e-5, err_msg=f"{cls} {cfg}")


@pytest.mark.parametrize("cls,fn", [
    ("Add", lambda a, b: a + b), ("Subtract", lambda a, b: a - b), ("Multiply", lambda a, b: a * b),
    ("Average", lambda a, b: (a + b) / 2), ("Maximum", np.maximum), ("Minimum", np.minimum),
    ("Concatenate", lambda a, b: np.concatenate([a, b], axis=-1)),
])
def test_merge_layers_match_keras(cls, fn):
    layers = [("Conv2D", {"name": "c", "filters": 3, "kernel_size": [1, 1]}, None),
              (cls, {"name": "m"}, ["c", "input_1"])]
    net = net_of(layers, (4, 5, 3))
    k, b = randomize(net, "c")
    x = image(4, 5, 3)
    np.testing.assert_allclose(run(net, x), fn(ref.conv2d(x, k, b), x), atol=1e-5)


@pytest.mark.parametrize("axis", [1, 2, -1])
def test_concatenate_along_each_image_axis(axis):
    net = net_of([("Concatenate", {"name": "m", "axis": axis}, ["input_1", "input_1"])], (2, 3, 4))
    x = image(2, 3, 4)
    np.testing.assert_allclose(run(net, x), np.concatenate([x, x], axis=axis), atol=0)


def test_channels_first_conv_pool_and_flatten():
    """Data stored channels-first in Keras: (N, C, H, W) in and out, flatten in (H, W, C) order."""
    layers = [("Conv2D", {"name": "c", "filters": 4, "kernel_size": [3, 3], "strides": [2, 2],
                          "padding": "same", "data_format": "channels_first"}, None),
              ("MaxPooling2D", {"name": "p", "pool_size": [2, 2], "data_format": "channels_first"}, None),
              ("Flatten", {"name": "f", "data_format": "channels_first"}, None)]
    net = net_of(layers, (3, 9, 8))
    k, b = randomize(net, "c")
    x = image(3, 9, 8)
    nhwc = ref.max_pool(ref.conv2d(x.transpose(0, 2, 3, 1), k, b, (2, 2), "same"), (2, 2), (2, 2), "valid")
    np.testing.assert_allclose(run(net, x), ref.flatten(nhwc), atol=1e-5)


def test_float32_network_agrees_with_float64():
    layers = [("Conv2D", {"name": "c", "filters": 8, "kernel_size": [3, 3], "padding": "same"}, None),
              ("BatchNormalization", {"name": "bn", "axis": [3]}, None),
              ("Activation", {"name": "a", "activation": "relu"}, None),
              ("Flatten", {"name": "f"}, None),
              ("Dense", {"name": "d", "units": 3, "activation": "softmax"}, None)]
    net = net_of(layers, (8, 8, 3))
    for name in ("c", "bn", "d"):
        randomize(net, name)
    x = image(8, 8, 3)
    want = run(net, x)
    got = run(net.float(), x.astype(np.float32))
    np.testing.assert_allclose(got, want, atol=1e-5)
