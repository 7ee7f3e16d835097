"""Plays back a captured trainNN.py run (a folder with stdout.txt, stderr.txt, files.txt) as
a worker would: the same output in the same pieces, each checkpoint file created just before
the line that reports it, the final files at the end.

    replay_trainNN.py CAPTURE_DIR <the 17 trainNN.py arguments>
"""
import os
import re
import sys
import time


def pieces(text):
    """The writes of the worker: a redraw starts at its backspaces or carriage return, a
    printed line ends with its line feed."""
    return [p for p in re.split(r"(?<=\n)|(?<![\b])(?=[\b\r])", text) if p]


def touch(path):
    with open(path, "wb") as f:
        f.write(b"x")


def main(argv=None):
    args = sys.argv[1:] if argv is None else list(argv)
    capture, workspace = args[0], args[2]
    with open(os.path.join(capture, "stdout.txt"), encoding="utf-8", newline="") as f:
        out = f.read()
    with open(os.path.join(capture, "files.txt"), encoding="utf-8") as f:
        files = [n for n in f.read().split("\n") if n]
    checkpoints = sorted(n for n in files if ".hdf5" in n)
    for piece in pieces(out):
        if "saving model to" in piece and checkpoints:
            touch(os.path.join(workspace, checkpoints.pop(0)))
        sys.stdout.write(piece)
        sys.stdout.flush()
        time.sleep(0.02)  # long enough for the reader to see the pieces one by one
    for name in files:
        if ".hdf5" not in name:
            touch(os.path.join(workspace, name))
    with open(os.path.join(capture, "stderr.txt"), encoding="utf-8") as f:
        sys.stderr.write(f.read())
    return 0


if __name__ == "__main__":
    sys.exit(main())
