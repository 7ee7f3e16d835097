"""The call graph of a normalized Keras document: checks, execution order, Keras layer order."""
from .catalog import MODEL_CLASSES, REFUSED_CLASSES, SUPPORTED_CLASSES
from .errors import ModelError

# Layers that leave pixel values alone at inference, so a Rescaling after them still
# receives the raw image.
_PASS_THROUGH = frozenset(("RandomFlip", "RandomRotation", "RandomZoom", "RandomTranslation",
                           "RandomContrast", "RandomCrop", "Resizing", "CenterCrop"))
_SELF_SCALING = frozenset(("Rescaling", "Normalization"))


class Graph:
    """Nodes are (layer_name, node_index): one per call of a layer inside the model."""

    def __init__(self, doc):
        cfg = doc["config"]
        self.records = cfg["layers"]
        self.by_name = {}
        for rec in self.records:
            self.by_name.setdefault(rec["name"], rec)
        self.inputs = [tuple(e) for e in cfg["input_layers"]]
        self.outputs = [tuple(e) for e in cfg["output_layers"]]

    def refs(self, node):
        """Input references [layer, node, tensor, kwargs] of a node ([] for an input)."""
        rec = self.by_name[node[0]]
        if rec["class_name"] == "InputLayer":
            return []
        return rec["inbound_nodes"][node[1]]

    def parents(self, node):
        return [(r[0], r[1]) for r in self.refs(node)]

    def walk(self):
        """Depth-first walk from the outputs as Keras does it.

        Returns (finished, first_seen): the nodes in post-order (every node after its
        inputs, so also an execution order) and each layer's first-seen index.
        Raises ModelError naming a layer on a cycle.
        """
        finished, done, first_seen = [], set(), {}
        for out in self.outputs:
            self._walk_from((out[0], out[1]), finished, done, first_seen)
        return finished, first_seen

    def _walk_from(self, start, finished, done, first_seen):
        if start in done:
            return
        in_progress = {start}
        first_seen.setdefault(start[0], len(first_seen))
        stack = [(start, iter(self.parents(start)))]
        while stack:
            node, pending = stack[-1]
            nxt = next(pending, None)
            if nxt is None:
                stack.pop()
                in_progress.discard(node)
                done.add(node)
                finished.append(node)
            elif nxt in in_progress:
                raise ModelError(f"layer '{nxt[0]}' is part of a cycle")
            elif nxt not in done:
                first_seen.setdefault(nxt[0], len(first_seen))
                in_progress.add(nxt)
                stack.append((nxt, iter(self.parents(nxt))))

    def keras_order(self):
        """Layer names in the order Keras gives model.layers (depth descending, then first seen)."""
        finished, first_seen = self.walk()
        node_depth, layer_depth = {}, {}
        for node in reversed(finished):
            depth = max(node_depth.setdefault(node, 0), layer_depth.get(node[0], 0))
            layer_depth[node[0]] = depth
            node_depth[node] = depth
            for parent in self.parents(node):
                node_depth[parent] = max(depth + 1, node_depth.get(parent, 0))
        for name, _, _ in self.inputs:
            if name not in layer_depth:
                layer_depth[name] = 0
                first_seen[name] = -1
        return sorted(layer_depth, key=lambda n: (-layer_depth[n], first_seen[n]))


def problems(doc):
    """Everything wrong with the graph of a normalized document, one line per problem."""
    found = _record_problems(doc)
    if found:
        return found
    graph = Graph(doc)
    try:
        finished, _ = graph.walk()
    except ModelError as e:
        return [str(e)]
    used = {n for n, _ in finished}
    listed = {e[0] for e in graph.inputs}
    for rec in graph.records:
        name = rec["name"]
        if name not in used and not (rec["class_name"] == "InputLayer" and name in listed):
            found.append(f"layer '{name}' is not connected to any output layer")
        elif rec["class_name"] == "InputLayer" and name not in listed:
            found.append(f"layer '{name}': input layer missing from the model's input_layers")
    return found


def _record_problems(doc):
    cfg = doc["config"]
    records = cfg["layers"]
    found, seen = [], {}
    for rec in records:
        name, cls = rec["name"], rec["class_name"]
        if name in seen:
            found.append(f"layer '{name}': duplicate layer name")
        seen.setdefault(name, rec)
        found.extend(_class_problems(name, cls, rec))
    for rec in records:
        found.extend(_inbound_problems(rec, seen))
    for key, label in (("input_layers", "input"), ("output_layers", "output")):
        if not cfg[key]:
            found.append(f"the model has no {label} layer")
        for name, node, tensor in cfg[key]:
            rec = seen.get(name)
            if rec is None:
                found.append(f"{label} layer '{name}' does not exist")
            elif label == "input" and rec["class_name"] != "InputLayer":
                found.append(f"layer '{name}' is listed as a model input but is a {rec['class_name']}")
            elif node >= max(1, len(rec["inbound_nodes"])) or tensor != 0:
                found.append(f"{label} layer '{name}' has no output [{node}][{tensor}]")
    return found


def _class_problems(name, cls, rec):
    if cls in REFUSED_CLASSES:
        return [f"layer '{name}': {cls} layers run Python code stored in the model and are refused"]
    if cls in MODEL_CLASSES:
        return [f"layer '{name}': nested models ({cls}) are not supported"]
    if cls not in SUPPORTED_CLASSES:
        return [f"layer '{name}': unsupported layer class '{cls}'"]
    if cls == "InputLayer":
        shape = rec["config"].get("batch_input_shape")
        if not isinstance(shape, list) or len(shape) < 2:
            return [f"layer '{name}': the input layer declares no input shape"]
    elif not rec["inbound_nodes"] or not rec["inbound_nodes"][0]:
        return [f"layer '{name}' has no inbound layer"]
    return []


def _inbound_problems(rec, by_name):
    found = []
    name = rec["name"]
    for node in rec["inbound_nodes"] if rec["class_name"] != "InputLayer" else []:
        for ref_name, ref_node, ref_tensor, _ in node:
            src = by_name.get(ref_name)
            if src is None:
                found.append(f"layer '{name}': inbound layer '{ref_name}' does not exist")
            elif ref_node >= max(1, len(src["inbound_nodes"])) or ref_tensor != 0:
                found.append(f"layer '{name}': inbound layer '{ref_name}' has no output "
                             f"[{ref_node}][{ref_tensor}]")
    return found


def output_dense(doc):
    """The Dense layer record that produces the first model output, or None.

    Walks back from the output through single-input layers without weights
    (Activation, Dropout, Softmax ...), so Dense + Activation("softmax") is found too.
    """
    graph = Graph(doc)
    if not graph.outputs:
        return None
    rec = graph.by_name.get(graph.outputs[0][0])
    passthrough = {"Activation", "Softmax", "Dropout", "ReLU", "LeakyReLU", "GaussianNoise",
                   "GaussianDropout"}
    while rec is not None and rec["class_name"] in passthrough:
        nodes = rec["inbound_nodes"]
        if len(nodes) != 1 or len(nodes[0]) != 1:
            return None
        rec = graph.by_name.get(nodes[0][0][0])
    return rec if rec is not None and rec["class_name"] == "Dense" else None


def scales_own_input(doc) -> bool:
    """Whether the network's single input goes, past augmentation layers, straight into a
    Rescaling or Normalization layer: then it is fed 0..255 pixels."""
    cfg = doc["config"]
    if len(cfg["input_layers"]) != 1:
        return False
    readers = {}
    for rec in cfg["layers"]:
        for node in rec.get("inbound_nodes") or []:
            for ref in node:
                readers.setdefault(ref[0], []).append(rec)
    name, seen = cfg["input_layers"][0][0], set()
    while name not in seen:
        seen.add(name)
        following = readers.get(name, [])
        if len(following) != 1:
            return False
        rec = following[0]
        if rec["class_name"] in _SELF_SCALING:
            return True
        if rec["class_name"] not in _PASS_THROUGH:
            return False
        name = rec["name"]
    return False
