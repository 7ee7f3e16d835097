"""Write the shipped architecture documents into resources/.

resnet50.json, vgg16.json, vgg19.json and xception.json reproduce what tf.keras 2.11's
`keras.applications.<Model>(weights=None).to_json()` gives in a fresh process: the same
layer names, order, parameters and connections, so ImageNet weight files load into them by
position. custommodel.json is the small starting network of a new custom model;
layertemplates.json holds one layer of each class the graph editor offers.

Usage: make_architectures.py [OUTPUT_FOLDER]   (default: the repository's resources/)
"""
import json
import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "workers"))

from kolvara_nn.keras_json import keras_layer_order  # noqa: E402

GLOROT = {"class_name": "GlorotUniform", "config": {"seed": None}}
ZEROS = {"class_name": "Zeros", "config": {}}
ONES = {"class_name": "Ones", "config": {}}


class Builder:
    """Collects layer records in creation order, naming unnamed layers as tf.keras does."""

    def __init__(self, model_name):
        self.model_name = model_name
        self.records = []
        self.counters = {}

    def auto_name(self, class_name):
        snake = re.sub(r"(.)([A-Z][a-z]+)", r"\1_\2", class_name)
        snake = re.sub(r"([a-z])([A-Z])", r"\1_\2", snake).lower()
        k = self.counters.get(snake, 0)
        self.counters[snake] = k + 1
        return snake if k == 0 else f"{snake}_{k}"

    def input(self, rows, cols, channels):
        config = {"batch_input_shape": [None, rows, cols, channels], "dtype": "float32",
                  "sparse": False, "ragged": False, "name": "input_1"}
        self.records.append({"class_name": "InputLayer", "config": config, "name": "input_1",
                             "inbound_nodes": []})
        self.input_name = "input_1"
        return "input_1"

    def add(self, class_name, params, inputs, name=None):
        name = name or self.auto_name(class_name)
        config = {"name": name, "trainable": True, "dtype": "float32", **params}
        node = [[src, 0, 0, {}] for src in inputs]
        self.records.append({"class_name": class_name, "config": config, "name": name,
                             "inbound_nodes": [node]})
        return name

    def document(self, output):
        doc = {"class_name": "Functional",
               "config": {"name": self.model_name, "layers": self.records,
                          "input_layers": [[self.input_name, 0, 0]],
                          "output_layers": [[output, 0, 0]]},
               "keras_version": "2.11.0", "backend": "tensorflow"}
        # Keras lists layers in its own graph order, not in creation order.
        by_name = {r["name"]: r for r in self.records}
        doc["config"]["layers"] = [by_name[n] for n in keras_layer_order(doc)]
        return doc


def conv_params(filters, kernel, strides=1, padding="valid", activation="linear", use_bias=True):
    return {"filters": filters, "kernel_size": [kernel, kernel], "strides": [strides, strides],
            "padding": padding, "data_format": "channels_last", "dilation_rate": [1, 1],
            "groups": 1, "activation": activation, "use_bias": use_bias,
            "kernel_initializer": GLOROT, "bias_initializer": ZEROS, "kernel_regularizer": None,
            "bias_regularizer": None, "activity_regularizer": None, "kernel_constraint": None,
            "bias_constraint": None}


def separable_params(filters):
    params = conv_params(filters, 3, padding="same", use_bias=False)
    params.update({"depth_multiplier": 1, "depthwise_initializer": GLOROT,
                   "pointwise_initializer": GLOROT, "depthwise_regularizer": None,
                   "pointwise_regularizer": None, "depthwise_constraint": None,
                   "pointwise_constraint": None})
    return params


def bn_params(epsilon=0.001, momentum=0.99):
    return {"axis": [3], "momentum": momentum, "epsilon": epsilon, "center": True, "scale": True,
            "beta_initializer": ZEROS, "gamma_initializer": ONES,
            "moving_mean_initializer": ZEROS, "moving_variance_initializer": ONES,
            "beta_regularizer": None, "gamma_regularizer": None, "beta_constraint": None,
            "gamma_constraint": None}


def pool_params(size, strides, padding="valid"):
    return {"pool_size": [size, size], "padding": padding, "strides": [strides, strides],
            "data_format": "channels_last"}


def pad_params(p):
    return {"padding": [[p, p], [p, p]], "data_format": "channels_last"}


def dense_params(units, activation):
    return {"units": units, "activation": activation, "use_bias": True,
            "kernel_initializer": GLOROT, "bias_initializer": ZEROS, "kernel_regularizer": None,
            "bias_regularizer": None, "activity_regularizer": None, "kernel_constraint": None,
            "bias_constraint": None}


GAP = {"data_format": "channels_last", "keepdims": False}
RELU = {"activation": "relu"}


def vgg(model_name, convs_per_block):
    b = Builder(model_name)
    x = b.input(224, 224, 3)
    for block, (filters, count) in enumerate(zip((64, 128, 256, 512, 512), convs_per_block), 1):
        for k in range(1, count + 1):
            x = b.add("Conv2D", conv_params(filters, 3, padding="same", activation="relu"), [x],
                      f"block{block}_conv{k}")
        x = b.add("MaxPooling2D", pool_params(2, 2), [x], f"block{block}_pool")
    x = b.add("Flatten", {"data_format": "channels_last"}, [x], "flatten")
    x = b.add("Dense", dense_params(4096, "relu"), [x], "fc1")
    x = b.add("Dense", dense_params(4096, "relu"), [x], "fc2")
    x = b.add("Dense", dense_params(1000, "softmax"), [x], "predictions")
    return b.document(x)


def resnet_block(b, x, filters, name, stride=1, conv_shortcut=True):
    eps = 1.001e-05
    if conv_shortcut:
        shortcut = b.add("Conv2D", conv_params(4 * filters, 1, stride), [x], name + "_0_conv")
        shortcut = b.add("BatchNormalization", bn_params(eps), [shortcut], name + "_0_bn")
    else:
        shortcut = x
    x = b.add("Conv2D", conv_params(filters, 1, stride), [x], name + "_1_conv")
    x = b.add("BatchNormalization", bn_params(eps), [x], name + "_1_bn")
    x = b.add("Activation", RELU, [x], name + "_1_relu")
    x = b.add("Conv2D", conv_params(filters, 3, padding="same"), [x], name + "_2_conv")
    x = b.add("BatchNormalization", bn_params(eps), [x], name + "_2_bn")
    x = b.add("Activation", RELU, [x], name + "_2_relu")
    x = b.add("Conv2D", conv_params(4 * filters, 1), [x], name + "_3_conv")
    x = b.add("BatchNormalization", bn_params(eps), [x], name + "_3_bn")
    x = b.add("Add", {}, [shortcut, x], name + "_add")
    return b.add("Activation", RELU, [x], name + "_out")


def resnet50():
    b = Builder("resnet50")
    x = b.input(224, 224, 3)
    x = b.add("ZeroPadding2D", pad_params(3), [x], "conv1_pad")
    x = b.add("Conv2D", conv_params(64, 7, 2), [x], "conv1_conv")
    x = b.add("BatchNormalization", bn_params(1.001e-05), [x], "conv1_bn")
    x = b.add("Activation", RELU, [x], "conv1_relu")
    x = b.add("ZeroPadding2D", pad_params(1), [x], "pool1_pad")
    x = b.add("MaxPooling2D", pool_params(3, 2), [x], "pool1_pool")
    for stage, filters, blocks, stride in ((2, 64, 3, 1), (3, 128, 4, 2), (4, 256, 6, 2), (5, 512, 3, 2)):
        x = resnet_block(b, x, filters, f"conv{stage}_block1", stride)
        for k in range(2, blocks + 1):
            x = resnet_block(b, x, filters, f"conv{stage}_block{k}", conv_shortcut=False)
    x = b.add("GlobalAveragePooling2D", GAP, [x], "avg_pool")
    x = b.add("Dense", dense_params(1000, "softmax"), [x], "predictions")
    return b.document(x)


def xception_entry_block(b, x, block, filters, first_act=True):
    residual = b.add("Conv2D", conv_params(filters, 1, 2, "same", use_bias=False), [x])
    residual = b.add("BatchNormalization", bn_params(), [residual])
    p = f"block{block}_"
    if first_act:
        x = b.add("Activation", RELU, [x], p + "sepconv1_act")
    x = b.add("SeparableConv2D", separable_params(filters), [x], p + "sepconv1")
    x = b.add("BatchNormalization", bn_params(), [x], p + "sepconv1_bn")
    x = b.add("Activation", RELU, [x], p + "sepconv2_act")
    x = b.add("SeparableConv2D", separable_params(filters), [x], p + "sepconv2")
    x = b.add("BatchNormalization", bn_params(), [x], p + "sepconv2_bn")
    x = b.add("MaxPooling2D", pool_params(3, 2, "same"), [x], p + "pool")
    return b.add("Add", {}, [x, residual])


def xception():
    b = Builder("xception")
    x = b.input(299, 299, 3)
    x = b.add("Conv2D", conv_params(32, 3, 2, use_bias=False), [x], "block1_conv1")
    x = b.add("BatchNormalization", bn_params(), [x], "block1_conv1_bn")
    x = b.add("Activation", RELU, [x], "block1_conv1_act")
    x = b.add("Conv2D", conv_params(64, 3, use_bias=False), [x], "block1_conv2")
    x = b.add("BatchNormalization", bn_params(), [x], "block1_conv2_bn")
    x = b.add("Activation", RELU, [x], "block1_conv2_act")
    x = xception_entry_block(b, x, 2, 128, first_act=False)
    x = xception_entry_block(b, x, 3, 256)
    x = xception_entry_block(b, x, 4, 728)
    for block in range(5, 13):
        residual = x
        for k in range(1, 4):
            x = b.add("Activation", RELU, [x], f"block{block}_sepconv{k}_act")
            x = b.add("SeparableConv2D", separable_params(728), [x], f"block{block}_sepconv{k}")
            x = b.add("BatchNormalization", bn_params(), [x], f"block{block}_sepconv{k}_bn")
        x = b.add("Add", {}, [x, residual])
    residual = b.add("Conv2D", conv_params(1024, 1, 2, "same", use_bias=False), [x])
    residual = b.add("BatchNormalization", bn_params(), [residual])
    for k, filters in ((1, 728), (2, 1024)):
        x = b.add("Activation", RELU, [x], f"block13_sepconv{k}_act")
        x = b.add("SeparableConv2D", separable_params(filters), [x], f"block13_sepconv{k}")
        x = b.add("BatchNormalization", bn_params(), [x], f"block13_sepconv{k}_bn")
    x = b.add("MaxPooling2D", pool_params(3, 2, "same"), [x], "block13_pool")
    x = b.add("Add", {}, [x, residual])
    for k, filters in ((1, 1536), (2, 2048)):
        x = b.add("SeparableConv2D", separable_params(filters), [x], f"block14_sepconv{k}")
        x = b.add("BatchNormalization", bn_params(), [x], f"block14_sepconv{k}_bn")
        x = b.add("Activation", RELU, [x], f"block14_sepconv{k}_act")
    x = b.add("GlobalAveragePooling2D", GAP, [x], "avg_pool")
    x = b.add("Dense", dense_params(1000, "softmax"), [x], "predictions")
    return b.document(x)


def custommodel():
    """The start network of a new custom model: two blocks of two 3x3 convolutions with ReLU
    (32 and 64 filters, each block halving the size) on 32x32 tiles, then a dense head of 128
    units with dropout, and two classes.

    Chosen by training candidates with the strategy form's defaults (batch size 4, Adam,
    mean_squared_error, 60/40 split) on 10,000 Fashion-MNIST images for 10 epochs
    (bench/bench_fashion_mnist.py). Batch normalisation after each convolution learned more
    slowly at batch size 4 (validation 0.82 against 0.87 after five epochs): statistics of
    four samples are too noisy. A third block of 128 filters, a wider head, no dropout and
    built-in flips and shifts were all measured and did no better within ten epochs."""
    b = Builder("custommodel")
    x = b.input(32, 32, 3)
    for block, filters in enumerate((32, 64), 1):
        for k in (1, 2):
            x = b.add("Conv2D", conv_params(filters, 3, padding="same", activation="relu"), [x],
                      f"block{block}_conv{k}")
        x = b.add("MaxPooling2D", pool_params(2, 2), [x], f"block{block}_pool")
    x = b.add("Flatten", {"data_format": "channels_last"}, [x], "flatten")
    x = b.add("Dense", dense_params(128, "relu"), [x], "fc1")
    x = b.add("Dropout", {"rate": 0.5, "noise_shape": None, "seed": None}, [x], "dropout")
    x = b.add("Dense", dense_params(2, "softmax"), [x], "predictions")
    return b.document(x)


def layertemplates():
    """A valid small graph holding one layer of each class the graph editor offers."""
    b = Builder("layertemplates")
    x = b.input(32, 32, 3)
    x = b.add("ZeroPadding2D", pad_params(1), [x], "zero_padding2d")
    x = b.add("Conv2D", conv_params(32, 3), [x], "conv2d")
    bn = b.add("BatchNormalization", bn_params(), [x], "batch_normalization")
    x = b.add("Activation", RELU, [bn], "activation")
    x = b.add("Add", {}, [x, bn], "add")
    x = b.add("MaxPooling2D", pool_params(2, 2), [x], "max_pooling2d")
    x = b.add("GlobalAveragePooling2D", GAP, [x], "global_average_pooling2d")
    x = b.add("Flatten", {"data_format": "channels_last"}, [x], "flatten")
    x = b.add("Dense", dense_params(2, "softmax"), [x], "predictions")
    return b.document(x)


ARCHITECTURES = {
    "resnet50.json": resnet50,
    "vgg16.json": lambda: vgg("vgg16", (2, 2, 3, 3, 3)),
    "vgg19.json": lambda: vgg("vgg19", (2, 2, 4, 4, 4)),
    "xception.json": xception,
    "custommodel.json": custommodel,
    "layertemplates.json": layertemplates,
}


def render(make):
    # Keras's to_json: json.dumps with the default separators, on one line.
    return json.dumps(make()) + "\n"


def main(argv=None):
    argv = sys.argv[1:] if argv is None else argv
    out = pathlib.Path(argv[0]) if argv else ROOT / "resources"
    out.mkdir(parents=True, exist_ok=True)
    for file_name, make in ARCHITECTURES.items():
        (out / file_name).write_text(render(make), encoding="utf-8")
        print(f"wrote {out / file_name}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
