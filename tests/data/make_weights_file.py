"""Write a small weights-only Keras HDF5 file, laid out as Keras's published ImageNet weight
files are, with the workers' own writer: the shipped start network's weights.

    make_weights_file.py OUTPUT
"""
import pathlib
import sys

ROOT = pathlib.Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "workers"))


def main(argv=None):
    from kolvara_nn import h5io, keras_json
    from kolvara_nn.network import build_network
    out = (sys.argv[1:] if argv is None else argv)[0]
    net = build_network(keras_json.load_document(str(ROOT / "resources" / "custommodel.json")))
    h5io.save_weights(out, net)
    return 0


if __name__ == "__main__":
    sys.exit(main())
