"""The layer modules by Keras class name."""
from . import layers_augment, layers_conv, layers_core
from .catalog import SUPPORTED_CLASSES
from .errors import ModelError

LAYER_CLASSES = {
    name: getattr(module, name)
    for module in (layers_core, layers_conv, layers_augment)
    for name in SUPPORTED_CLASSES if hasattr(module, name)
}


def make_layer(record):
    """The module for one normalized layer record (weights are created by its build())."""
    cls = LAYER_CLASSES.get(record["class_name"])
    if cls is None:
        raise ModelError(f"unsupported layer class '{record['class_name']}'")
    module = cls(record["config"])
    module.layer_name = record["name"]
    module.class_name = record["class_name"]
    return module
