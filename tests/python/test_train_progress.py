"""Keras-style progress text: bar, counter and ETA formats the app reads, redraw bytes."""
import io

import pytest

from kolvara_nn.training.progress import Progbar, bar_text, format_eta


@pytest.mark.parametrize("fn, args, text", [
    (bar_text, (9, 50), " 9/50 [====>.........................]"),
    (bar_text, (50, 50), "50/50 [==============================]"),
    (bar_text, (1, 50), " 1/50 [..............................]"),
    (bar_text, (7, 1875), "   7/1875 [..............................]"),
    (format_eta, (0,), "0s"), (format_eta, (5.9,), "5s"), (format_eta, (60,), "60s"), (format_eta, (65,), "1:05"),
    (format_eta, (3600,), "60:00"), (format_eta, (3723,), "1:02:03"),
])
def test_keras_texts(fn, args, text):
    assert fn(*args) == text


class Clock:
    now = 100.0

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


def test_updates_within_the_interval_are_skipped_but_final_is_not():
    out, clock = io.StringIO(), Clock()
    bar = Progbar(3, out, clock=clock)
    bar.update(1, [])
    clock.now += 0.01
    bar.update(2, lambda: pytest.fail("values computed for a skipped redraw"))
    bar.update(3, [("loss", 1.0)], finalize=True)
    assert out.getvalue().count("\r") == 2 and out.getvalue().endswith("\n")
