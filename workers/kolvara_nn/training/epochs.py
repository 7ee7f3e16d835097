"""Which epoch's weights a run keeps, and when it stops early, from the validation accuracy."""


class EpochChoice:
    """Fed each epoch's validation accuracy (None without validation data) in order.

    Kept: with `keep_best`, the epoch of the highest validation accuracy, the later one on
    a tie; otherwise, or without validation data, the last. Stopping: after `patience`
    epochs in a row that did not beat the best so far (0 never stops), as Keras's
    EarlyStopping(monitor="val_accuracy", patience=N) does."""

    def __init__(self, keep_best: bool = True, patience: int = 0):
        self.keep_best = keep_best
        self.patience = patience
        self.kept_epoch = None
        self.kept_accuracy = None
        self.epochs = 0
        self._best = float("-inf")
        self._waited = 0

    def after_epoch(self, epoch: int, val_accuracy) -> bool:
        """Record epoch `epoch`; True when its weights are now the ones to keep."""
        self.epochs = epoch
        keep = (not self.keep_best or val_accuracy is None or self.kept_accuracy is None
                or val_accuracy >= self.kept_accuracy)
        if keep:
            self.kept_epoch, self.kept_accuracy = epoch, val_accuracy
        if val_accuracy is not None:
            if val_accuracy > self._best:
                self._best, self._waited = val_accuracy, 0
            else:
                self._waited += 1
        return keep

    @property
    def stop(self) -> bool:
        return self.patience > 0 and self._waited >= self.patience

    def summary(self) -> str:
        """e.g. "kept epoch 14 of 15: validation accuracy 0.81"."""
        head = f"kept epoch {self.kept_epoch} of {self.epochs}"
        if self.kept_accuracy is None:
            return head + ": no validation data"
        return head + f": validation accuracy {self.kept_accuracy:.2f}"
