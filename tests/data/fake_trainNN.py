"""A stand-in for trainNN.py with the same arguments (17, then up to 5 optional ones) and the
same observable behaviour (progress redrawn with carriage returns, one checkpoint per epoch, an
early stop when asked for, the line naming the kept epoch, my_model.h5, the rewritten label
file, NNMetrics.png, the test summary lines), fast and without any numerical work.

Environment switches for tests:
  FAKE_TRAINNN_FAIL_AFTER=k   stop with an error on standard error after k checkpoints
  FAKE_TRAINNN_NO_MODEL=1     train every epoch but leave no my_model.h5
  FAKE_TRAINNN_SILENT=1       print nothing on standard output and stop at once
  FAKE_TRAINNN_QUIET=1        print nothing after the checkpoints (no "saving" lines)
  FAKE_TRAINNN_STOP_AFTER=k   with a patience (argument 21) above 0, stop early after epoch k
  FAKE_TRAINNN_STEPS=n        progress redraws per epoch (default 4)
  FAKE_TRAINNN_STEP_SECONDS=s pause per redraw (default 0.01)
  FAKE_TRAINNN_ARGS=path      write the arguments there, one per line
  FAKE_TRAINNN_TIMING=1       end standard error with "elapsed <seconds>" (its own run time)
"""
import os
import struct
import sys
import time
import zlib


def fail(text):
    sys.stdout.flush()
    print("trainNN: " + text, file=sys.stderr, flush=True)
    return 1


def write_atomic(path, data):
    # The app counts every name containing ".hdf5": the partial file's name must not.
    tmp = os.path.join(os.path.dirname(path), ".partial-%d" % os.getpid())
    with open(tmp, "wb") as out:
        out.write(data)
    os.replace(tmp, path)


def png_bytes(width, height, rgb):
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)
    row = b"\x00" + bytes(rgb) * width
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(row * height)) + chunk(b"IEND", b""))


def progress(out, step, steps, width, final):
    filled = int(30 * step / steps)
    bar = "=" * max(filled - 1, 0) + (">" if step < steps else "=") if filled else ""
    line = "%d/%d [%s%s]" % (step, steps, bar, "." * (30 - filled))
    line += " - 0s 3ms/step" if final else " - ETA: %ds" % (steps - step)
    line += " - loss: 0.2500 - accuracy: 0.7500"
    if final:
        line += " - val_loss: 0.3000 - val_accuracy: 0.6667"
    out.write("\b" * width + "\r" + line + ("\n" if final else ""))
    out.flush()
    return len(line)


def predictions(workspace, label_doc):
    path = os.path.join(workspace, label_doc)
    with open(path, encoding="utf-8") as f:
        lines = [line for line in f.read().split("\n") if line]
    out = ["," + lines[0] + ",prediction"]
    for n, line in enumerate(lines[1:]):
        label = line.split(",")[-1]  # predicts the given label
        out.append("%d,%s,%s" % (n, line, label))
    write_atomic(path, ("\n".join(out) + "\n").encode("utf-8"))


def train(a, env):
    workspace, epochs = a[2], int(a[7])
    steps = int(env.get("FAKE_TRAINNN_STEPS", "4"))
    pause = float(env.get("FAKE_TRAINNN_STEP_SECONDS", "0.01"))
    fail_after = int(env.get("FAKE_TRAINNN_FAIL_AFTER", "-1"))
    quiet = env.get("FAKE_TRAINNN_QUIET") == "1"
    patience = int(a[21]) if len(a) > 21 and a[21] else 0
    stop_after = int(env.get("FAKE_TRAINNN_STOP_AFTER", "0")) if patience else 0
    for epoch in range(1, epochs + 1):
        if epoch - 1 == fail_after:
            return fail("simulated failure in epoch %d: out of memory" % epoch)
        if not quiet:
            if epochs > 1:
                print("Epoch %d/%d" % (epoch, epochs), flush=True)
            width = 0
            for step in range(1, steps + 1):
                time.sleep(pause)
                width = progress(sys.stdout, step, steps, width, step == steps)
        else:
            time.sleep(pause * steps)
        name = "e%04d-%.4f-%.4f-weights.hdf5" % (epoch, min(0.5 + 0.1 * epoch, 1.0), min(0.6 + 0.1 * epoch, 1.0))
        write_atomic(os.path.join(workspace, name), b"checkpoint")
        if not quiet:
            print("Epoch %d: saving model to %s" % (epoch, os.path.join(workspace, name)), flush=True)
        if epoch == stop_after and epoch < epochs:
            print("Epoch %d: early stopping" % epoch, flush=True)
            break
    if not quiet:
        print("kept epoch %d of %d: validation accuracy %.2f" % (epoch, epoch, min(0.5 + 0.1 * epoch, 1.0)), flush=True)
    if env.get("FAKE_TRAINNN_NO_MODEL") == "1":
        return fail("could not save my_model.h5: disk full")
    write_atomic(os.path.join(workspace, "my_model.h5"), b"model")
    predictions(workspace, a[11])
    write_atomic(os.path.join(workspace, "NNMetrics.png"), png_bytes(60, 40, (30, 120, 200)))
    print("done", flush=True)
    return 0


def main(argv=None):
    started = time.monotonic()
    code = run(argv)
    if os.environ.get("FAKE_TRAINNN_TIMING") == "1":
        print("elapsed %.6f" % (time.monotonic() - started), file=sys.stderr, flush=True)
    return code


def run(argv=None):
    a = [""] + list(sys.argv[1:] if argv is None else argv)
    env = os.environ
    if not 18 <= len(a) <= 23:
        return fail("expected 17 to 22 arguments, got %d" % (len(a) - 1))
    if env.get("FAKE_TRAINNN_ARGS"):
        with open(env["FAKE_TRAINNN_ARGS"], "w", encoding="utf-8") as f:
            f.write("\n".join(a[1:]) + "\n")
    if env.get("FAKE_TRAINNN_SILENT") == "1":
        return fail("could not read the model document")
    print("warning: a line on standard error before training", file=sys.stderr, flush=True)
    if a[3]:
        return train(a, env)
    predictions(a[2], a[11])
    sys.stdout.write("1/1 [==============================] - ETA: 0s\r")
    print("Test summary: accuracy 100.00% (6 of 6 images)", flush=True)
    print("Test summary: class order assumed: sorted labels", flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
