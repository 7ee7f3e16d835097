"""The command line of trainNN.py, parsed and checked up front: 17 arguments, then optional
ones that a call may stop after (absent ones take their defaults)."""
from dataclasses import dataclass
from pathlib import Path
import re

from .losses import canonical_loss_name
from .optimizers import canonical_optimizer_name
from .preprocess import DEFAULT_SCALING, parse_class_names, scaling_name

PRETRAINED_NAMES = ("resnet50", "vgg16", "vgg19", "xception")

USAGE = ("usage: trainNN.py MODEL_JSON WORKSPACE TRAIN_FOLDER MODEL_NAME WEIGHTS BATCH EPOCHS "
         "OPTIMIZER LOSS PRETRAINED_JSON LABEL_CSV TRAIN_SHARE SHIFT CROP ROTATE DISTORT "
         "TRAIN_LABEL_CSV [INPUT_SCALING [CLASS_NAMES [KEEP_BEST [PATIENCE [NETWORK_MODE]]]]]")
REQUIRED = 17
OPTIONAL = 5
# What is trained: the network as documented; or its backbone under a new top, frozen ("top")
# or trained with it ("finetune").
NETWORK_MODES = ("full", "top", "finetune")


@dataclass(frozen=True)
class TrainConfig:
    model_doc: str
    workspace: Path
    train_folder: str          # empty: pure test
    model_name: str
    weights: str               # empty: start from fresh weights
    batch_size: int
    epochs: int
    optimizer: str             # canonical Keras name, lower case
    loss: str                  # canonical Keras name
    pretrained_doc: str
    label_doc: str             # file name inside the workspace
    train_share: float
    shift: bool
    crop: bool
    rotate: bool
    distort: bool
    train_label_doc: str
    input_scaling: str = DEFAULT_SCALING   # how pixels become the network's input
    class_names: tuple = ()                # output order given by the user; empty: none
    keep_best: bool = True     # my_model.h5 from the epoch of the best validation accuracy
    patience: int = 0          # epochs without improvement before stopping; 0: never stop early
    network_mode: str = "full"

    @property
    def training(self) -> bool:
        return self.train_folder != ""

    def network_document(self) -> Path:
        """The pre-trained architecture when one is named and given, else the edited one."""
        if self.pretrained_doc and self.model_name.strip().lower() in PRETRAINED_NAMES:
            return Path(self.pretrained_doc)
        return Path(self.model_doc)


def _whole(text: str, what: str) -> int:
    if not re.fullmatch(r"\s*\+?\d+\s*", text) or int(text) <= 0:
        raise ValueError(f"{what} must be a positive whole number, got '{text}'")
    return int(text)


def _share(text: str) -> float:
    try:
        value = float(text)
    except ValueError:
        value = float("nan")
    if not 0.0 <= value <= 1.0:  # also refuses nan
        raise ValueError(f"training share must be a number from 0 to 1, got '{text}'")
    return value


def _switch(text: str, what: str) -> bool:
    lowered = text.strip().lower()
    if lowered not in ("true", "false"):
        raise ValueError(f"{what} must be 'true' or 'false', got '{text}'")
    return lowered == "true"


def _patience(text: str) -> int:
    if not re.fullmatch(r"\s*\+?\d+\s*", text):
        raise ValueError(f"early-stopping patience must be a whole number of epochs, 0 or more, "
                         f"got '{text}'")
    return int(text)


def _network_mode(text: str) -> str:
    mode = text.strip().lower() or "full"
    if mode not in NETWORK_MODES:
        raise ValueError(f"network mode must be one of {', '.join(NETWORK_MODES)}, got '{text}'")
    return mode


def parse_args(argv: list) -> TrainConfig:
    """Parse the arguments after the script path; ValueError names the bad one."""
    if not REQUIRED <= len(argv) <= REQUIRED + OPTIONAL:
        raise ValueError(f"expected {REQUIRED} to {REQUIRED + OPTIONAL} arguments, "
                         f"got {len(argv)}; {USAGE}")
    a = [""] + list(argv) + [""] * (REQUIRED + OPTIONAL - len(argv))  # 1-based like the table
    return TrainConfig(
        model_doc=a[1], workspace=Path(a[2]), train_folder=a[3], model_name=a[4],
        weights=a[5], batch_size=_whole(a[6], "batch size"), epochs=_whole(a[7], "epochs"),
        optimizer=canonical_optimizer_name(a[8]), loss=canonical_loss_name(a[9]),
        pretrained_doc=a[10], label_doc=a[11], train_share=_share(a[12]),
        shift=_switch(a[13], "shift augmentation switch"),
        crop=_switch(a[14], "random-crop augmentation switch"),
        rotate=_switch(a[15], "rotation augmentation switch"),
        distort=_switch(a[16], "distortion augmentation switch"),
        train_label_doc=a[17],
        input_scaling=scaling_name(a[18]) if a[18].strip() else DEFAULT_SCALING,
        class_names=parse_class_names(a[19]),
        keep_best=_switch(a[20], "keep the best epoch") if a[20].strip() else True,
        patience=_patience(a[21]) if a[21].strip() else 0,
        network_mode=_network_mode(a[22]))


def check_paths(cfg: TrainConfig) -> None:
    """Refuse missing inputs before any work starts."""
    doc = cfg.network_document()
    if not doc.is_file():
        raise ValueError(f"model document not found: {doc}")
    if not cfg.workspace.is_dir():
        raise ValueError(f"workspace folder not found: {cfg.workspace}")
    if not cfg.label_doc:
        raise ValueError("no label document given")
    if not (cfg.workspace / cfg.label_doc).is_file():
        raise ValueError(f"label document not found: {cfg.workspace / cfg.label_doc}")
    if cfg.training and not Path(cfg.train_folder).is_dir():
        raise ValueError(f"training data folder not found: {cfg.train_folder}")
    if cfg.weights and not Path(cfg.weights).exists():
        raise ValueError(f"weights not found: {cfg.weights}")
