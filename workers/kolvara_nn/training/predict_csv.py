"""The prediction file: the label document with a leading 0-based row number and a
trailing `prediction` column, LF line ends, no quoting. Written row by row as predictions
arrive, to a temporary file renamed into place at the end."""
from ..atomic import atomic_path
from .data import LabelTable


def _kept_columns(header: list) -> list:
    """Columns of the original label document. A file this worker already rewrote
    (empty first header cell, a `prediction` column) is reduced to its original
    columns, so the tile row and column stay in fields 2 and 3."""
    keep = list(range(len(header)))
    if len(header) > 1 and header[0].strip() == "":
        keep = keep[1:]
    return [c for c in keep if header[c].strip() != "prediction"]


def write_predictions(path, table: LabelTable, batches) -> int:
    """Write the file from `batches`, an iterable of lists of predicted label texts for the
    table's records in order; returns the number of records written."""
    keep = _kept_columns(table.header)
    written = 0
    with atomic_path(path) as tmp:
        with open(tmp, "w", encoding="utf-8", newline="\n") as out:
            out.write(",".join([""] + [table.header[c] for c in keep] + ["prediction"]) + "\n")
            for predicted in batches:
                for label in predicted:
                    if written >= len(table.rows):
                        raise ValueError("one prediction per record is needed")
                    row = table.fields(written)
                    fields = [row[c] if c < len(row) else "" for c in keep]
                    out.write(",".join([str(written)] + fields + [str(label)]) + "\n")
                    written += 1
        if written != len(table.rows):
            raise ValueError("one prediction per record is needed")
    return written
