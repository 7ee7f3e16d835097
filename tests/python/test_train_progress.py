"""Keras-style progress text: bar, counter, ETA and step-time formats, redraw bytes."""
import io

import pytest

from kolvara_nn.training.progress import Progbar, bar_text, format_eta, format_step_time, format_value


@pytest.mark.parametrize("current, target, text", [
    (9, 50, " 9/50 [====>.........................]"),
    (12, 50, "12/50 [======>.......................]"),
    (50, 50, "50/50 [==============================]"),
    (1, 50, " 1/50 [..............................]"),
    (7, 1875, "   7/1875 [..............................]"),
    (1, 1, "1/1 [==============================]"),
])
def test_bar(current, target, text):
    assert bar_text(current, target) == text


@pytest.mark.parametrize("seconds, text", [
    (0, "0s"), (5.9, "5s"), (60, "60s"), (65, "1:05"), (3600, "60:00"), (3723, "1:02:03"),
])
def test_eta(seconds, text):
    assert format_eta(seconds) == text


@pytest.mark.parametrize("seconds, text", [
    (0.262, "262ms/step"), (2.0, "2s/step"), (0, "0s/step"), (0.0004, "400us/step"),
])
def test_step_time(seconds, text):
    assert format_step_time(seconds) == text


@pytest.mark.parametrize("value, text", [(0.4123, " 0.4123"), (0.000123, " 1.2300e-04"),
                                         (-0.5, " -0.5000")])
def test_metric_value(value, text):
    assert format_value(value) == text


class Clock:
    def __init__(self):
        self.now = 100.0

    def __call__(self):
        return self.now


def test_epoch_redraws_then_final_line():
    out, clock = io.StringIO(), Clock()
    bar = Progbar(4, out, clock=clock)
    clock.now += 1.0
    bar.update(1, [("loss", 0.5), ("accuracy", 0.25)])
    first = out.getvalue()
    assert first == "\r1/4 [======>.......................] - ETA: 3s - loss: 0.5000 - accuracy: 0.2500"
    clock.now += 65.0  # step 2 took 65 s: two steps left -> 2:10
    bar.update(2, [("loss", 0.4), ("accuracy", 0.5)])
    second = out.getvalue()[len(first):]
    assert second.startswith("\b" * (len(first) - 1) + "\r2/4 [==============>")
    assert second.endswith("- ETA: 2:10 - loss: 0.4000 - accuracy: 0.5000")
    clock.now += 1.0
    bar.update(4, [("loss", 0.3), ("accuracy", 0.75), ("val_loss", 0.2), ("val_accuracy", 1.0)],
               finalize=True)
    last = out.getvalue().split("\r")[-1]
    assert last == ("4/4 [==============================] - 67s 22s/step - loss: 0.3000 - "
                    "accuracy: 0.7500 - val_loss: 0.2000 - val_accuracy: 1.0000\n")


def test_shorter_line_is_padded_over_the_previous_one():
    out, clock = io.StringIO(), Clock()
    bar = Progbar(2, out, clock=clock)
    bar.update(1, [("loss", 1234.5)])
    width = len(out.getvalue()) - 1
    clock.now += 1
    bar.update(2, [("loss", 1.0)])
    redraw = out.getvalue()[width + 1:]
    assert redraw.count("\b") == width and len(redraw.split("\r")[1]) == width


def test_updates_within_the_interval_are_skipped_but_final_is_not():
    out, clock = io.StringIO(), Clock()
    bar = Progbar(3, out, clock=clock)
    bar.update(1, [])
    clock.now += 0.01
    bar.update(2, lambda: pytest.fail("values computed for a skipped redraw"))
    bar.update(3, [("loss", 1.0)], finalize=True)
    assert out.getvalue().count("\r") == 2 and out.getvalue().endswith("\n")
