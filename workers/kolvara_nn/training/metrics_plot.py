"""NNMetrics.png: accuracy and loss per epoch (after training), the test confusion matrix
and per-class precision and recall, under the summary lines, drawn with Matplotlib's Agg
canvas (no display)."""
import io

import numpy as np
from matplotlib.backends.backend_agg import FigureCanvasAgg
from matplotlib.figure import Figure
from matplotlib.ticker import MaxNLocator

MAX_COUNTED_CLASSES = 30


def confusion_matrix(counts, classes) -> np.ndarray:
    """Rows: true class, columns: predicted class, both in `classes` order. `counts` maps
    (label, prediction) pairs to how often they occurred (a collections.Counter)."""
    index = {c: i for i, c in enumerate(classes)}
    matrix = np.zeros((len(classes), len(classes)), dtype=np.int64)
    for (t, p), count in counts.items():
        matrix[index[t], index[p]] += count
    return matrix


def precision_recall(matrix: np.ndarray):
    """Per class; 0 where a class was never predicted (precision) or never present (recall)."""
    hits = np.diag(matrix).astype(float)
    predicted = matrix.sum(axis=0)
    present = matrix.sum(axis=1)
    precision = np.divide(hits, predicted, out=np.zeros_like(hits), where=predicted > 0)
    recall = np.divide(hits, present, out=np.zeros_like(hits), where=present > 0)
    return precision, recall


def _curves(ax, history, key, title, kept):
    epochs = np.arange(1, len(history[key]) + 1)
    if kept:
        ax.axvline(kept, color="gray", linestyle="--", linewidth=1, label=f"kept epoch {kept}")
    ax.plot(epochs, history[key], "o-", label="training")
    if history.get("val_" + key):
        ax.plot(epochs, history["val_" + key], "o-", label="validation")
    ax.set_title(title)
    ax.set_xlabel("epoch")
    # Whole epochs only, as many as stay readable (every epoch of a long run would overlap).
    ax.xaxis.set_major_locator(MaxNLocator(nbins=10, integer=True, min_n_ticks=1))
    ax.legend()
    ax.grid(True, alpha=0.3)


def _matrix(ax, matrix, classes):
    ax.imshow(matrix, cmap="Blues")
    ax.set_title("Confusion matrix (test data)")
    ax.set_xlabel("predicted")
    ax.set_ylabel("label")
    ticks = np.arange(len(classes))
    ax.set_xticks(ticks, labels=classes, rotation=45 if len(classes) > 4 else 0)
    ax.set_yticks(ticks, labels=classes)
    if len(classes) > MAX_COUNTED_CLASSES:
        return  # the counts would not be readable, and drawing them takes long
    limit = matrix.max() / 2 if matrix.size else 0
    for (r, c), count in np.ndenumerate(matrix):
        ax.text(c, r, str(count), ha="center", va="center",
                color="white" if count > limit else "black")


def _bars(ax, classes, precision, recall):
    x = np.arange(len(classes))
    ax.bar(x - 0.2, precision, 0.4, label="precision")
    ax.bar(x + 0.2, recall, 0.4, label="recall")
    ax.set_xticks(x, labels=classes, rotation=45 if len(classes) > 4 else 0)
    ax.set_ylim(0, 1.05)
    ax.set_title("Precision and recall per class (test data)")
    ax.legend()


def metrics_png(history, counts, classes, notes=(), kept_epoch=None) -> bytes:
    """PNG bytes. `history` holds per-epoch lists: accuracy, loss, val_accuracy, val_loss;
    None for a test without training. `counts` holds the test predictions as
    confusion_matrix takes them; `notes` are lines shown above the plots (the epoch kept, the
    test summary) and `kept_epoch` is marked on the curves."""
    matrix = confusion_matrix(counts, classes)
    precision, recall = precision_recall(matrix)
    rows = 1 if history is None else 2
    # The constrained layout leaves room for the notes above the plots.
    fig = Figure(figsize=(12, 5 * rows + 0.25 * len(notes)), dpi=100, layout="constrained")
    FigureCanvasAgg(fig)
    axes = fig.subplots(rows, 2, squeeze=False)
    if history is not None:
        _curves(axes[0, 0], history, "accuracy", "Accuracy", kept_epoch)
        _curves(axes[0, 1], history, "loss", "Loss", kept_epoch)
    _matrix(axes[-1, 0], matrix, classes)
    _bars(axes[-1, 1], classes, precision, recall)
    if notes:
        fig.suptitle("\n".join(notes), fontsize=12)
    buffer = io.BytesIO()
    fig.savefig(buffer, format="png")
    return buffer.getvalue()
