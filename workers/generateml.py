"""Build the network of an architecture document and print a Keras-style summary.

Usage: generateml.py MODEL_JSON
Exit status 0 with the summary on standard output; 1 with one line per problem on
standard error when the document cannot be built.
"""
import os
import sys

PROG = "generateml.py"


def _fail(lines):
    for line in lines:
        print(f"{PROG}: {line}", file=sys.stderr, flush=True)
    return 1


def main(argv=None):
    argv = sys.argv[1:] if argv is None else argv
    if len(argv) != 1:
        return _fail(["usage: generateml.py MODEL_JSON"])
    import torch

    from kolvara_nn.errors import ModelError
    from kolvara_nn.keras_json import load_document, problems
    from kolvara_nn.network import build_network, zero_inputs
    from kolvara_nn.summary import summary_lines

    torch.set_num_threads(os.cpu_count() or 1)
    try:
        doc = load_document(argv[0])
        found = problems(doc)
        if found:
            return _fail(found)
        net = build_network(doc)
        net.eval()
        with torch.no_grad():
            net(*zero_inputs(net))
    except (ModelError, OSError, ValueError, RuntimeError) as e:
        return _fail([str(e).splitlines()[0] if str(e) else type(e).__name__])
    for line in summary_lines(net):
        print(line, flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
