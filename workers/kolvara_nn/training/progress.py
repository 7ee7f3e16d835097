"""Keras-style progress bar (tf.keras 2.x `Progbar`, verbose 1, dynamic display).

Each redraw is written as backspaces over the previous line, a carriage return and
the new text, then flushed, so a reader on a pipe sees every update as it happens.
"""
import math
import time


def format_eta(seconds: float) -> str:
    if seconds > 3600:
        return "%d:%02d:%02d" % (seconds // 3600, (seconds % 3600) // 60, seconds % 60)
    if seconds > 60:
        return "%d:%02d" % (seconds // 60, seconds % 60)
    return "%ds" % seconds


def format_step_time(seconds: float) -> str:
    if seconds >= 1 or seconds == 0:
        return "%.0fs/step" % seconds
    if seconds >= 1e-3:
        return "%.0fms/step" % (seconds * 1e3)
    return "%.0fus/step" % (seconds * 1e6)


def format_value(value: float) -> str:
    return " %.4f" % value if abs(value) > 1e-3 else " %.4e" % value


def bar_text(current: int, target: int, width: int = 30) -> str:
    digits = int(math.log10(target)) + 1
    filled = int(width * current / target)
    bar = ""
    if filled > 0:
        bar = "=" * (filled - 1) + (">" if current < target else "=")
    return "%*d/%d [%s%s]" % (digits, current, target, bar, "." * (width - filled))


class Progbar:
    """One epoch's bar over `target` steps, written to `stream`."""

    def __init__(self, target: int, stream, clock=time.monotonic, interval: float = 0.05):
        self.target = target
        self.stream = stream
        self.clock = clock
        self.interval = interval
        self._start = clock()
        self._last_update = float("-inf")
        self._after_first_step = None
        self._width = 0

    def _step_duration(self, current: int, now: float) -> float:
        if not current:
            return 0.0
        if self._after_first_step is not None and current > 1:
            per_step = (now - self._after_first_step) / (current - 1)
        else:
            per_step = (now - self._start) / current
        if current == 1:
            self._after_first_step = now
        return per_step

    def update(self, current: int, values, finalize: bool = False) -> None:
        """Redraw at step `current` with `values` (name, number) pairs, e.g. running means.

        `values` may be a callable returning the pairs, so callers skip computing them
        for throttled redraws."""
        now = self.clock()
        per_step = self._step_duration(current, now)
        if now - self._last_update < self.interval and not finalize:
            return
        line = bar_text(current, self.target)
        if finalize:
            line += " - %.0fs %s" % (now - self._start, format_step_time(per_step))
        else:
            line += " - ETA: %s" % format_eta(per_step * (self.target - current))
        pairs = values() if callable(values) else values
        for name, value in pairs:
            line += " - %s:%s" % (name, format_value(value))
        message = "\b" * self._width + "\r" + line
        if len(line) < self._width:
            message += " " * (self._width - len(line))
        self._width = len(line)
        if finalize:
            message += "\n"
        self.stream.write(message)
        self.stream.flush()
        self._last_update = now
