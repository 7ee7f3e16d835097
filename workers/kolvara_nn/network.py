"""A torch module that runs a Keras functional document with Keras's numbers."""
import torch
from torch import nn

from .errors import ModelError
from .graph import Graph, output_dense
from .keras_json import checked
from .layer_base import to_internal, to_keras
from .layers import make_layer


def build_network(doc):
    """Build a KerasNetwork from any supported document shape (raises ModelError)."""
    return KerasNetwork(checked(doc))


def _named(name, error):
    return ModelError(f"layer '{name}': {error}")


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
            except ModelError as e:
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
        self._plan = self._with_releases(steps)

    def _build_layer(self, index, shapes, built):
        layer = self.layers[index]
        if index in built:
            if built[index][0] != shapes:
                raise _named(self.layer_names[index], "a shared layer called on inputs of "
                             "different shapes is not supported")
            return built[index][1]
        try:
            out = tuple(layer.build(shapes))
        except ModelError as e:
            raise _named(self.layer_names[index], e) from None
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

    def forward(self, *xs):
        if len(xs) != len(self._inputs):
            raise ModelError(f"the model takes {len(self._inputs)} inputs, got {len(xs)}")
        values = [None] * self._slots
        for s, x in zip(self._inputs, xs):
            values[s] = to_internal(x)
        layers = self.layers
        for index, ins, out, free in self._plan:
            values[out] = layers[index](*[values[s] for s in ins])
            for s in free:
                values[s] = None
        outs = [to_keras(values[s]) for s in self._outputs]
        return outs[0] if len(outs) == 1 else outs

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
        return [shape for (n, _), shape in sorted(self.node_shapes.items(), key=lambda kv: kv[0][1])
                if n == name]

    def param_counts(self):
        """(trainable, non_trainable) totals over all layers."""
        totals = [layer.param_counts() for layer in self.layers]
        return sum(t for t, _ in totals), sum(n for _, n in totals)


def zero_inputs(net, batch=1):
    """Zero tensors of each input's declared shape (unknown sizes taken as 1)."""
    cfg = net.document["config"]
    return [torch.zeros((batch,) + tuple(d or 1 for d in net.node_shapes[(n, i)]))
            for n, i, _ in cfg["input_layers"]]
