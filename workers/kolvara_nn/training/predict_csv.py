"""The prediction file: the label document with a leading 0-based row number and a
trailing `prediction` column, LF line ends, no quoting."""
from .data import LabelTable


def _kept_columns(header: list) -> list:
    """Columns of the original label document. A file this worker already rewrote
    (empty first header cell, a `prediction` column) is reduced to its original
    columns, so the tile row and column stay in fields 2 and 3."""
    keep = list(range(len(header)))
    if len(header) > 1 and header[0].strip() == "":
        keep = keep[1:]
    return [c for c in keep if header[c].strip() != "prediction"]


def prediction_text(table: LabelTable, predictions) -> str:
    if len(predictions) != len(table.rows):
        raise ValueError("one prediction per record is needed")
    keep = _kept_columns(table.header)
    lines = [",".join([""] + [table.header[c] for c in keep] + ["prediction"])]
    for n, (row, predicted) in enumerate(zip(table.rows, predictions)):
        fields = [row[c] if c < len(row) else "" for c in keep]
        lines.append(",".join([str(n)] + fields + [str(predicted)]))
    return "\n".join(lines) + "\n"
