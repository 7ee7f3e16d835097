"""KerasNetwork as the other workers use it: layouts, weights, errors, training behaviour."""
import math

import numpy as np
import pytest
import torch

import keras_reference as ref
from kolvara_nn.errors import ModelError
from kolvara_nn.network import build_network

RNG = np.random.default_rng(7)


def rec(cls, name, inbound=(), **cfg):
    return {"class_name": cls, "name": name, "config": dict(cfg, name=name),
            "inbound_nodes": [[[i, 0, 0, {}] for i in inbound]] if inbound else []}


def net_of(layers, inputs=("input_1",), outputs=None):
    return build_network({"class_name": "Functional", "config": {
        "name": "t", "layers": layers, "input_layers": [[n, 0, 0] for n in inputs],
        "output_layers": [[n, 0, 0] for n in (outputs or [layers[-1]["name"]])]}})


def image_input(h=6, w=6, c=3, name="input_1"):
    return rec("InputLayer", name, batch_input_shape=[None, h, w, c])


def randomized(net, *names):
    """Random weights (variances positive) for the named layers; returns them in float64."""
    out = {}
    for name in names:
        arrays = [np.abs(RNG.standard_normal(a.shape)) + 0.5 if "variance" in w else RNG.standard_normal(a.shape)
                  for w, a in net.keras_weights(name)]
        net.set_keras_weights(name, arrays)
        out[name] = [a.astype(np.float64) for _, a in net.keras_weights(name)]
    return out


def evaluate(net, *xs):
    with torch.no_grad():
        out = net.eval()(*[torch.as_tensor(x, dtype=torch.float32) for x in xs])
    return [o.numpy() for o in out] if isinstance(out, list) else out.numpy()


def test_two_inputs_two_outputs_follow_the_document_order():
    layers = [rec("InputLayer", "deep", batch_input_shape=[None, 6]),
              rec("Dense", "d1", ["deep"], units=3, activation="relu"),
              rec("InputLayer", "wide", batch_input_shape=[None, 5]),
              rec("Concatenate", "cat", ["wide", "d1"]),
              rec("Dense", "main", ["cat"], units=1), rec("Dense", "aux", ["d1"], units=2)]
    net = net_of(layers, inputs=("wide", "deep"), outputs=("main", "aux"))
    wide, deep = RNG.standard_normal((4, 5)), RNG.standard_normal((4, 6))
    w = randomized(net, "d1", "main", "aux")
    main, aux = evaluate(net, wide, deep)
    hidden = np.maximum(ref.dense(deep, *w["d1"]), 0)
    np.testing.assert_allclose(main, ref.dense(np.concatenate([wide, hidden], 1), *w["main"]), atol=1e-5)
    np.testing.assert_allclose(aux, ref.dense(hidden, *w["aux"]), atol=1e-5)
    assert (net.input_shape, net.output_units) == ((5,), 1)
    with pytest.raises(ModelError, match="takes 2 inputs, got 1"):
        net(torch.zeros(1, 5))


def test_shared_layer_called_twice():
    layers = [image_input(4, 4, 2), rec("Conv2D", "c", ["input_1"], filters=2, kernel_size=[1, 1]),
              rec("Add", "add")]
    layers[1]["inbound_nodes"].append([["c", 0, 0, {}]])
    layers[2]["inbound_nodes"] = [[["c", 0, 0, {}], ["c", 1, 0, {}]]]
    net = net_of(layers)
    k, b = randomized(net, "c")["c"]
    x = RNG.standard_normal((1, 4, 4, 2))
    once = ref.conv2d(x, k, b)
    np.testing.assert_allclose(evaluate(net, x), once + ref.conv2d(once, k, b), atol=1e-5)


@pytest.mark.parametrize("cls,cfg,expected", [  # layouts the real Keras files in test_h5io_load do not show
    ("Conv2D", dict(filters=6, kernel_size=[1, 1], groups=3, use_bias=False), [("kernel:0", (1, 1, 1, 6))]),
    ("SeparableConv2D", dict(filters=5, kernel_size=[3, 3], depth_multiplier=2),
     [("depthwise_kernel:0", (3, 3, 3, 2)), ("pointwise_kernel:0", (1, 1, 6, 5)), ("bias:0", (5,))]),
    ("BatchNormalization", dict(axis=-1, center=False), [("gamma:0", (3,)), ("moving_mean:0", (3,)), ("moving_variance:0", (3,))]),
])
def test_keras_weight_names_and_shapes(cls, cfg, expected):
    net = net_of([image_input(), rec(cls, "l", ["input_1"], **cfg)])
    assert [(n, a.shape, a.dtype) for n, a in net.keras_weights("l")] == [e + (np.float32,) for e in expected]


UNKNOWN = rec("InputLayer", "input_1", batch_input_shape=[None, None, None, 3])
BUILD_ERRORS = [  # layers after the 6x6x3 input (or after their own first InputLayer), the message
    ([rec("Conv2D", "c", ["input_1"], filters=2, kernel_size=[3, 3], padding="same"), rec("Add", "add", ["c", "input_1"])],
     r"layer 'add': cannot merge inputs of shapes \(None, 6, 6, 2\), \(None, 6, 6, 3\)"),
    ([rec("Conv2D", "big", ["input_1"], filters=2, kernel_size=[7, 7])],
     r"layer 'big': input \(None, 6, 6, 3\) is smaller than the 7x7 window with 'valid' padding"),
    ([rec("Conv2D", "c", ["input_1"], filters=2, kernel_size=[3, 3], activation="wiggle")],
     "layer 'c': unknown activation 'wiggle'"),
    ([rec("Flatten", "f", ["input_1"]), rec("Conv2D", "c", ["f"], filters=2, kernel_size=[1, 1])],
     r"layer 'c': expects image input \(rows, cols, channels\), got \(None, 108\)"),
    ([rec("MaxPooling2D", "pool", ["input_1"]), rec("Concatenate", "cat", ["input_1", "pool"])],
     "layer 'cat': cannot concatenate inputs of shapes"),
    ([rec("Dense", "d", ["input_1"], units=0)], "layer 'd': units must be a positive number"),
    ([rec("Conv2D", "c", ["input_1"], filters=2, kernel_size=[3, 3], padding="causal")],
     "layer 'c': unsupported padding 'causal'"),
    ([rec("Lambda", "x", ["input_1"], function="...")], "layer 'x': Lambda layers .* are refused"),
    ([UNKNOWN, rec("Flatten", "f", ["input_1"])], "layer 'f': cannot flatten an input of unknown size"),
]


@pytest.mark.parametrize("layers,message", BUILD_ERRORS)
def test_shapes_that_do_not_fit_name_the_layer(layers, message):
    with pytest.raises(ModelError, match=message):
        net_of(layers if layers[0]["class_name"] == "InputLayer" else [image_input()] + layers)


def test_unknown_input_size_is_fixed_by_the_data():
    net = net_of([UNKNOWN, rec("Conv2D", "c", ["input_1"], filters=2, kernel_size=[3, 3], strides=[2, 2], padding="same"),
                  rec("GlobalMaxPooling2D", "g", ["c"])])
    assert net(torch.zeros(1, 9, 7, 3)).shape == (1, 2)
    with pytest.raises(ModelError, match="layer 'c': "):
        net(torch.zeros(1, 9, 7, 4))  # four channels where the weights expect three


@pytest.mark.parametrize("shape", [(4, 4, 3), (3,)])
def test_batch_normalization_training_uses_keras_momentum(shape):
    net = net_of([rec("InputLayer", "input_1", batch_input_shape=[None, *shape]),
                  rec("BatchNormalization", "bn", ["input_1"], axis=-1, momentum=0.9, epsilon=1e-3)])
    x = torch.randn(8, *shape) * 2 + 5
    y = net.train()(x)
    flat = x.reshape(-1, 3).double()
    mean = flat.mean(0)
    _, _, moving_mean, moving_var = [torch.from_numpy(a) for _, a in net.keras_weights("bn")]
    np.testing.assert_allclose(moving_mean, 0.1 * mean, rtol=1e-5)
    # The moving variance follows the batch variance (unbiased for images as tf.keras's fused
    # kernel does, biased otherwise); the output uses the biased one.
    np.testing.assert_allclose(moving_var, 0.9 + 0.1 * flat.var(0, unbiased=len(shape) == 3), rtol=1e-5)
    want = (flat - mean) / torch.sqrt(flat.var(0, unbiased=False) + 1e-3)
    np.testing.assert_allclose(y.detach().reshape(-1, 3).double(), want, atol=1e-4)


def test_frozen_layers_keep_still_and_gradients_reach_the_rest():
    net = net_of([image_input(), rec("Conv2D", "c", ["input_1"], filters=2, kernel_size=[1, 1], trainable=False),
                  rec("BatchNormalization", "bn", ["c"], axis=[3], trainable=False),
                  rec("SeparableConv2D", "s", ["bn"], filters=4, kernel_size=[3, 3], padding="same"),
                  rec("GlobalAveragePooling2D", "g", ["s"]), rec("Dense", "d", ["g"], units=2, activation="softmax")])
    assert net.param_counts() == (18 + 8 + 4 + 10, 8 + 8)
    assert [p.requires_grad for p in net.layer("c").parameters()] == [False, False]
    x = torch.randn(5, 6, 6, 3)
    out = net.train()(x)
    np.testing.assert_allclose(out.detach().numpy(), evaluate(net, x), atol=1e-6)  # frozen BN: moving statistics
    np.testing.assert_array_equal(net.keras_weights("bn")[2][1], np.zeros(2))
    out[:, 0].sum().backward()
    assert all(p.grad is not None for p in net.parameters() if p.requires_grad)


def test_initial_weights_follow_keras_initializers():
    torch.manual_seed(0)
    net = net_of([image_input(8, 8, 16), rec("Conv2D", "c", ["input_1"], filters=32, kernel_size=[3, 3]),
                  rec("DepthwiseConv2D", "dw", ["c"], kernel_size=[3, 3], depth_multiplier=4,
                      depthwise_initializer={"class_name": "HeUniform", "config": {"seed": None}}),
                  rec("Flatten", "f", ["dw"]), rec("Dense", "d", ["f"], units=10, kernel_initializer="zeros",
                                                   bias_initializer={"class_name": "Constant", "config": {"value": 0.1}})])
    (_, kernel), (_, bias) = net.keras_weights("c")
    limit = math.sqrt(6 / (9 * 16 + 9 * 32))  # Glorot on Keras fans
    assert 0.95 * limit < np.abs(kernel).max() <= limit and not bias.any()
    he_limit = math.sqrt(6 / (9 * 32))  # He uniform: fan_in = kh * kw * channels
    assert 0.95 * he_limit < np.abs(net.keras_weights("dw")[0][1]).max() <= he_limit
    (_, dk), (_, db) = net.keras_weights("d")
    assert not dk.any() and np.allclose(db, 0.1)


def test_dropout_noise_and_augmentation_act_only_in_training():
    net = net_of([rec("InputLayer", "input_1", batch_input_shape=[None, 1000]), rec("Dropout", "d", ["input_1"], rate=0.5),
                  rec("GaussianNoise", "n", ["d"], stddev=0.1)])
    x = torch.ones(4, 1000)
    assert torch.equal(net.eval()(x), x)
    y = net.train()(x)
    assert 0.4 < (y.abs() < 0.5).float().mean().item() < 0.6
    assert abs(y[y.abs() > 0.5].mean().item() - 2.0) < 0.05  # kept values scaled by 1 / (1 - rate)
    net = net_of([image_input(8, 8, 1), rec("RandomFlip", "flip", ["input_1"], mode="horizontal"),
                  rec("RandomRotation", "rot", ["flip"], factor=0.2), rec("RandomZoom", "zoom", ["rot"], height_factor=0.2),
                  rec("RandomTranslation", "shift", ["zoom"], height_factor=0.1, width_factor=0.1),
                  rec("RandomContrast", "contrast", ["shift"], factor=0.3)])
    x = torch.rand(16, 8, 8, 1)
    assert torch.equal(net.eval()(x), x)
    torch.manual_seed(1)
    y = net.train()(x)
    assert y.shape == x.shape and not torch.allclose(y, x)


def test_in_place_relu_and_add_never_touch_a_tensor_read_elsewhere():
    layers = [image_input(5, 5, 3),
              rec("Add", "one", ["input_1"]),                                  # hands on its input
              rec("Activation", "r0", ["one"], activation="relu"),            # the caller's tensor
              rec("BatchNormalization", "bn", ["r0"], axis=[3]),
              rec("Activation", "r1", ["bn"], activation="relu"),             # bn also read by add
              rec("Add", "add", ["bn", "r1", "input_1"]),
              rec("Conv2D", "short", ["add"], filters=3, kernel_size=[1, 1]),  # read twice below
              rec("Conv2D", "main", ["add"], filters=3, kernel_size=[3, 3], padding="same"),
              rec("Add", "block", ["short", "main"]),                         # main branch read only here
              rec("Activation", "r2", ["block"], activation="relu"),
              rec("Add", "again", ["r2", "short"])]
    net = net_of(layers, outputs=["again", "add"])
    w = randomized(net, "bn", "short", "main")
    x = torch.randn(2, 5, 5, 3)
    keep = x.clone()
    bn = ref.batch_norm(np.maximum(x.numpy().astype(np.float64), 0), *w["bn"], 1e-3)
    added = bn + np.maximum(bn, 0) + x.numpy()
    short = ref.conv2d(added, *w["short"])
    out, add = evaluate(net, x)
    assert torch.equal(x, keep)
    np.testing.assert_allclose(add, added, atol=1e-4)
    np.testing.assert_allclose(out, np.maximum(short + ref.conv2d(added, *w["main"], padding="same"), 0) + short, atol=1e-4)
    out, add = net.train()(x.requires_grad_())
    (out.sum() + add.sum()).backward()  # autograd raises if a saved tensor was overwritten
    assert x.grad is not None


@pytest.mark.parametrize("tail,activation", [
    ([rec("Dense", "out", ["g"], units=3, activation="softmax")], "softmax"),
    ([rec("Dense", "d", ["g"], units=3), rec("Activation", "out", ["d"], activation="sigmoid")], "sigmoid"),
    ([rec("Dense", "d", ["g"], units=3), rec("Softmax", "out", ["d"])], "softmax"),
    ([rec("Dense", "out", ["g"], units=3, activation="tanh")], "tanh"),
])
def test_logits_are_the_outputs_before_the_final_softmax_or_sigmoid(tail, activation):
    net = net_of([image_input(), rec("Conv2D", "c", ["input_1"], filters=4, kernel_size=[3, 3]),
                  rec("GlobalAveragePooling2D", "g", ["c"])] + tail).eval()
    assert net.output_activations == [activation]
    x = torch.randn(2, 6, 6, 3)
    with torch.no_grad():
        probs, logits = net(x), net.forward_logits(x)
    undo = {"softmax": lambda t: torch.softmax(t, 1), "sigmoid": torch.sigmoid, "tanh": lambda t: t}[activation]
    np.testing.assert_allclose(undo(logits).numpy(), probs.numpy(), atol=1e-6)
    assert (activation == "tanh") == torch.allclose(logits, probs)
