"""A torch module that runs a Keras functional document with Keras's numbers."""
import torch
from torch import nn

from .activations import activation_name
from .errors import ModelError
from .graph import Graph, output_dense
from .keras_json import checked
from .layer_base import to_internal, to_keras
from .layers import make_layer

# Layers whose backward pass needs neither their output nor keeps it, so a following
# activation may overwrite that output. Convolutions and Dense only without activation.
_MERGES = frozenset(("BatchNormalization", "Add", "Subtract", "Average", "Concatenate"))
_LINEAR_WHEN_NO_ACT = frozenset(("Conv2D", "DepthwiseConv2D", "SeparableConv2D", "Dense"))


def build_network(doc):
    """Build a KerasNetwork from any supported document shape (raises ModelError)."""
    return KerasNetwork(checked(doc))


def _named(name, error):
    return ModelError(f"layer '{name}': {error}")


def _first_line(error):
    text = str(error).strip()
    return text.splitlines()[0] if text else type(error).__name__


class KerasNetwork(nn.Module):
    """Inputs and outputs are in Keras layout (NHWC for images).

    forward(*xs) takes the inputs in the document's input_layers order and returns one
    tensor, or a list in output_layers order when the model has several outputs.
    """

    def __init__(self, doc):
        super().__init__()
        self.document = doc
        records = doc["config"]["layers"]
        self.layer_names = [r["name"] for r in records]
        self._index = {name: i for i, name in enumerate(self.layer_names)}
        modules = []
        for rec in records:
            try:
                modules.append(make_layer(rec))
            except (ModelError, ValueError, TypeError) as e:
                raise _named(rec["name"], e) from None
        self.layers = nn.ModuleList(modules)
        graph = Graph(doc)
        self.node_shapes = {}
        self._plan_graph(graph)
        first = self.node_shapes[(graph.inputs[0][0], graph.inputs[0][1])]
        self.input_shape = tuple(first)
        dense = output_dense(doc)
        self.output_units = int(dense["config"]["units"]) if dense else None

    def _plan_graph(self, graph):
        order = graph.walk()[0]
        slot = {node: i for i, node in enumerate(order)}
        built = {}
        steps = []
        for node in order:
            index = self._index[node[0]]
            parents = graph.parents(node)
            shapes = [self.node_shapes[p] for p in parents]
            self.node_shapes[node] = self._build_layer(index, shapes, built)
            if parents:
                steps.append((index, tuple(slot[p] for p in parents), slot[node]))
        self._inputs = [slot[(n, i)] for n, i, _ in graph.inputs]
        self._outputs = [slot[(n, i)] for n, i, _ in graph.outputs]
        self._slots = len(order)
        self._producer = {out: index for index, _, out in steps}
        for name, node, _ in graph.inputs:
            self._producer[slot[(name, node)]] = self._index[name]
        self._plan = self._with_releases(steps)
        self._allow_in_place(order, steps)

    def _build_layer(self, index, shapes, built):
        layer = self.layers[index]
        if index in built:
            if built[index][0] != shapes:
                raise _named(self.layer_names[index], "a shared layer called on inputs of "
                             "different shapes is not supported")
            return built[index][1]
        try:
            out = tuple(layer.build(shapes))
        except (ModelError, ValueError, TypeError) as e:
            raise _named(self.layer_names[index], e) from None
        except (RuntimeError, MemoryError) as e:
            # Absurd sizes: the weights cannot be allocated.
            raise _named(self.layer_names[index], f"cannot create the weights ({_first_line(e)})") from None
        built[index] = (shapes, out)
        return out

    def _with_releases(self, steps):
        """Add to each step the slots whose last reader it is, so memory is freed early."""
        last = {}
        for k, (_, ins, _) in enumerate(steps):
            for s in ins:
                last[s] = k
        keep = set(self._outputs)
        plan = []
        for k, (index, ins, out) in enumerate(steps):
            free = tuple(s for s in set(ins) if last[s] == k and s not in keep)
            plan.append((index, ins, out, free))
        return plan

    def _allow_in_place(self, order, steps):
        """Let an Activation or Add overwrite an input tensor that has no other use."""
        readers, calls, arity = {}, {}, {}
        for index, ins, out in steps:
            calls[index] = calls.get(index, 0) + 1
            arity[out] = len(ins)
            for s in ins:
                readers[s] = readers.get(s, 0) + 1
        fixed = set(self._inputs) | set(self._outputs)

        def disposable(source):
            if readers[source] != 1 or source in fixed:
                return False
            producer = self.layers[self._producer[source]]
            # A merge of a single input hands that input on instead of a new tensor.
            fresh = producer.class_name == "BatchNormalization" or arity.get(source, 0) > 1
            return (producer.class_name in _MERGES and fresh) or (
                producer.class_name in _LINEAR_WHEN_NO_ACT and producer.act is None)

        for index, ins, _ in steps:
            layer = self.layers[index]
            if calls[index] != 1 or layer.class_name not in ("Activation", "Add"):
                continue
            if layer.class_name == "Activation":
                if disposable(ins[0]):
                    layer.allow_in_place()
            elif len(ins) > 1 and len({self.node_shapes[order[s]] for s in ins}) == 1:
                target = next((k for k, s in enumerate(ins) if disposable(s)), None)
                if target is not None:
                    layer.allow_in_place(target)

    def _start(self, xs):
        if len(xs) != len(self._inputs):
            raise ModelError(f"the model takes {len(self._inputs)} inputs, got {len(xs)}")
        values = [None] * self._slots
        for s, x in zip(self._inputs, xs):
            # A contiguous NCHW copy: torch's convolutions are fastest on that layout.
            values[s] = to_internal(x).contiguous()
        return values

    def _finish(self, values):
        outs = [to_keras(values[s]) for s in self._outputs]
        return outs[0] if len(outs) == 1 else outs

    def forward(self, *xs):
        values = self._start(xs)
        layers = self.layers
        index = 0
        try:
            for index, ins, out, free in self._plan:
                values[out] = layers[index](*[values[s] for s in ins])
                for s in free:
                    values[s] = None
        except RuntimeError as e:
            # Inputs of another size than declared, or out of memory: say where.
            raise _named(self.layer_names[index], _first_line(e)) from e
        return self._finish(values)

    @property
    def output_activations(self):
        """The Keras activation applied last on each output ("softmax", "linear", ...)."""
        return [_final_activation(self.layers[self._producer[s]]) for s in self._outputs]

    def forward_logits(self, *xs):
        """forward() without the final softmax or sigmoid of each output.

        For losses computed from logits, as Keras does for a model ending in softmax or
        sigmoid; other outputs come out as forward() gives them.
        """
        values = self._start(xs)
        strip = {self._producer[s] for s in self._outputs}
        layers = self.layers
        index = 0
        try:
            for index, ins, out, free in self._plan:
                args = [values[s] for s in ins]
                layer = layers[index]
                if index in strip and _final_activation(layer) in ("softmax", "sigmoid"):
                    values[out] = _without_activation(layer, args)
                else:
                    values[out] = layer(*args)
                for s in free:
                    values[s] = None
        except RuntimeError as e:
            raise _named(self.layer_names[index], _first_line(e)) from e
        return self._finish(values)

    def layer(self, name):
        try:
            return self.layers[self._index[name]]
        except KeyError:
            raise ModelError(f"the model has no layer '{name}'") from None

    def keras_weights(self, name):
        """The layer's weights as [(keras_name, array)] in Keras order and layout."""
        return self.layer(name).keras_weights()

    def set_keras_weights(self, name, arrays):
        """Set the layer's weights from arrays in Keras order and layout."""
        try:
            self.layer(name).set_keras_weights(list(arrays))
        except ModelError as e:
            raise _named(name, e) from None

    def output_shapes(self, name):
        """Keras output shapes (without batch) of each call of the layer."""
        # Looked up by call index: a scan of every node per layer made the summary of a
        # 10,000-layer model take half a minute.
        calls = len(self.document["config"]["layers"][self._index[name]]["inbound_nodes"])
        return [self.node_shapes[(name, k)] for k in range(max(1, calls)) if (name, k) in self.node_shapes]

    def param_counts(self):
        """(trainable, non_trainable) totals over all layers."""
        totals = [layer.param_counts() for layer in self.layers]
        return sum(t for t, _ in totals), sum(n for _, n in totals)


def _final_activation(layer):
    if layer.class_name in ("Activation", "Softmax"):
        return "softmax" if layer.class_name == "Softmax" else activation_name(layer.config.get("activation"))
    if layer.class_name in _LINEAR_WHEN_NO_ACT:
        return activation_name(layer.config.get("activation"))
    return "linear"


def _without_activation(layer, args):
    if layer.class_name in ("Activation", "Softmax"):
        return args[0]
    act, layer.act = layer.act, None
    try:
        return layer(*args)
    finally:
        layer.act = act


def zero_inputs(net, batch=1, unknown=224):
    """Zero tensors of each input's declared shape; unknown sizes become `unknown`."""
    cfg = net.document["config"]
    return [torch.zeros((batch,) + tuple(unknown if d is None else d for d in net.node_shapes[(n, i)]))
            for n, i, _ in cfg["input_layers"]]
