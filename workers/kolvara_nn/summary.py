"""Keras-style model summary text (the table `model.summary()` prints)."""
from .graph import Graph
from .layer_base import fmt_shape

WIDTHS = (33, 23, 10, 32)  # Layer (type), Output Shape, Param #, Connected to
RULE = sum(WIDTHS)


def _chunks(text, width):
    """Split text into pieces of at most width - 1 characters, preferring breaks after ", "."""
    pieces = []
    while len(text) > width - 1:
        cut = text.rfind(", ", 0, width - 1)
        cut = cut + 2 if cut > 0 else width - 1
        pieces.append(text[:cut].rstrip())
        text = text[cut:]
    pieces.append(text)
    return pieces


def _row(cells):
    columns = [_chunks(c, w) for c, w in zip(cells, WIDTHS)]
    lines = []
    for k in range(max(len(c) for c in columns)):
        parts = [(col[k] if k < len(col) else "").ljust(w) for col, w in zip(columns, WIDTHS)]
        lines.append((" " + "".join(parts)).rstrip())
    return lines


def _shape_text(net, name, is_input):
    shapes = [fmt_shape(s) for s in net.output_shapes(name)]
    if is_input:
        return "[" + ", ".join(shapes) + "]"
    return shapes[0] if len(shapes) == 1 else "[" + ", ".join(shapes) + "]"


def summary_lines(net):
    """The summary of a built KerasNetwork as a list of lines."""
    doc = net.document
    graph = Graph(doc)
    lines = [f'Model: "{doc["config"]["name"]}"', "_" * RULE]
    lines += _row(("Layer (type)", "Output Shape", "Param #", "Connected to"))
    lines.append("=" * RULE)
    for name in graph.keras_order():
        rec = graph.by_name[name]
        layer = net.layer(name)
        trainable, non = layer.param_counts()
        is_input = rec["class_name"] == "InputLayer"
        inbound = [] if is_input else [f"'{r[0]}[{r[1]}][{r[2]}]'" for node in rec["inbound_nodes"]
                                       for r in node]
        lines += _row((f"{name} ({rec['class_name']})", _shape_text(net, name, is_input),
                       str(trainable + non), "[" + ", ".join(inbound) + "]"))
        lines.append("")
    trainable, non = net.param_counts()
    lines[-1] = "=" * RULE
    lines += [f"Total params: {trainable + non:,}", f"Trainable params: {trainable:,}",
              f"Non-trainable params: {non:,}", "_" * RULE]
    return lines
