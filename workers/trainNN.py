"""trainNN.py: train a Keras-format image classifier, or only predict.

See kolvara_nn.training.args for the argument list. Progress goes to standard output in
Keras's format; bad input ends with one line on standard error and exit status 1.
"""
import ctypes
import sys

from kolvara_nn.errors import ModelError
from kolvara_nn.training import args as arguments, run
from kolvara_nn.training.samples import cpu_threads


M_TRIM_THRESHOLD = -1  # glibc's mallopt parameters
M_MMAP_THRESHOLD = -3
MMAP_THRESHOLD_BYTES = 16 * 1024 * 1024
TRIM_THRESHOLD_BYTES = 2 * MMAP_THRESHOLD_BYTES


def _say(text: str) -> None:
    print(text, flush=True)


def _steady_heap() -> None:
    """Fix glibc's threshold above which a freed block goes back to the system. By default it
    rises as large blocks are freed, up to 32 MB, and then serves the activations of a large
    network (ResNet50's are 25 MB at batch 8), freed and allocated again batch after batch,
    from a heap whose fragments keep growing with the number of batches (some 18 MB more for
    every three times as many). Blocks below the fixed threshold, as small networks have, are
    kept in the heap as before: mapping them afresh on every batch would cost a third of the
    throughput. Fixing one threshold also stops glibc raising the other, which says how much
    free memory at the top of the heap is given back: left at 128 KB, each batch's gradients
    and optimizer temporaries are returned and faulted in again, which made a step of the start
    network three times slower. It is raised to twice the mapping threshold."""
    try:
        libc = ctypes.CDLL(None)
        libc.mallopt(M_MMAP_THRESHOLD, MMAP_THRESHOLD_BYTES)
        libc.mallopt(M_TRIM_THRESHOLD, TRIM_THRESHOLD_BYTES)
    except (OSError, AttributeError):
        pass  # not glibc: its own policy stands


def _device():
    import torch
    if torch.cuda.is_available():
        return torch.device("cuda")
    torch.set_num_threads(cpu_threads())
    return torch.device("cpu")


def main(argv=None) -> int:
    args = sys.argv[1:] if argv is None else list(argv)
    if hasattr(sys.stdout, "reconfigure"):
        # a label text the pipe's encoding cannot carry must not end the run
        sys.stdout.reconfigure(errors="backslashreplace")
    _steady_heap()
    try:
        cfg = arguments.parse_args(args)
        arguments.check_paths(cfg)
        device = _device()
        if cfg.training:
            run.run_training(cfg, device, _say, sys.stdout)
        else:
            run.run_test(cfg, device, _say)
    except (ModelError, OSError, ValueError, RecursionError) as exc:
        sys.stdout.flush()
        print("trainNN: %s" % " ".join(str(exc).split()), file=sys.stderr, flush=True)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
