"""Samples read from disk batch by batch: a Dataset over label-document rows and the
DataLoader that decodes the next batches in worker processes while the network runs."""
import os
from pathlib import Path

import numpy as np
import torch
from torch.utils.data import DataLoader, Dataset

from .augment import AugmentPlan
from .data import load_image
from .preprocess import InputSpec

# Below this many samples, starting decoding processes costs more than it saves.
SMALL_SET = 64


def cpu_threads() -> int:
    """All cores this process may use, unless OMP_NUM_THREADS asks for fewer."""
    wanted = os.environ.get("OMP_NUM_THREADS", "")
    if wanted.isdigit() and int(wanted) > 0:
        return int(wanted)
    try:
        return len(os.sched_getaffinity(0))
    except AttributeError:
        return os.cpu_count() or 1


def loader_workers(device, samples: int) -> int:
    """Decoding processes: on CUDA up to one per core; on the CPU, where the network needs the
    cores too, about half of them and at least one, so a batch decodes while the last trains."""
    if samples < SMALL_SET:
        return 0
    cores = cpu_threads()
    if device.type == "cuda":
        return max(1, min(cores, 8))
    return max(1, cores // 2)


class SampleSet(Dataset):
    """Images named by label-document rows, each loaded when asked for.

    Item i is variant i // n of sample i % n (n samples): all originals, then each kind of
    augmented copy for every sample. An item is (uint8 image (rows, cols, channels), class
    index or -1, "" or why the image could not be loaded)."""

    def __init__(self, folder, filenames, classes, spec: InputSpec, plan: AugmentPlan = None):
        # Arrays rather than lists of str: forked decoding processes then share these pages
        # instead of copying every object whose reference count they touch.
        self.folder = os.fsencode(Path(folder))
        self.names = np.array([os.fsencode(name) for name in filenames], dtype=np.bytes_)
        self.classes = (torch.full((len(filenames),), -1, dtype=torch.long) if classes is None
                        else torch.as_tensor(classes, dtype=torch.long))
        self.spec = spec
        self.size = tuple(spec.size)
        self.channels = spec.channels
        self.plan = plan

    @property
    def samples(self) -> int:
        return len(self.names)

    def __len__(self) -> int:
        return self.samples * (self.plan.variants if self.plan else 1)

    def path(self, sample: int) -> Path:
        return Path(os.fsdecode(os.path.join(self.folder, bytes(self.names[sample]))))

    def __getitem__(self, index: int):
        variant, sample = divmod(int(index), self.samples)
        try:
            image = torch.from_numpy(load_image(self.path(sample), self.spec))
        except ValueError as exc:
            # Raised in a decoding process it would reach the run wrapped in a traceback;
            # the batch carries the reason to the run instead.
            return torch.zeros(self.size + (self.channels,), dtype=torch.uint8), -1, str(exc)
        if variant:
            image = self.plan.apply(image, sample, variant)
        return image, int(self.classes[sample]), ""


class OrderedBatches:
    """Batches of indices in an order set before each pass (the whole set shuffled by the
    run's generator, or 0..n-1)."""

    def __init__(self, n: int, batch_size: int):
        self.n = n
        self.batch_size = batch_size
        self.order = torch.arange(n)

    def __len__(self) -> int:
        return -(-self.n // self.batch_size)

    def __iter__(self):
        for start in range(0, self.n, self.batch_size):
            yield self.order[start:start + self.batch_size].tolist()


def loader(samples: SampleSet, batch_size: int, device) -> DataLoader:
    """Batches (images, class indices, failures) of `samples` in `.batch_sampler.order`."""
    workers = loader_workers(device, len(samples))
    return DataLoader(samples, batch_sampler=OrderedBatches(len(samples), batch_size),
                      num_workers=workers, pin_memory=device.type == "cuda",
                      persistent_workers=workers > 0,
                      # its own generator, so starting a pass draws nothing from the seeded
                      # global one the network's own randomness uses
                      generator=torch.Generator().manual_seed(0))


def checked(batch):
    """(images, class indices) of a loaded batch; a failed image ends the run here."""
    images, classes, failures = batch
    for failure in failures:
        if failure:
            raise ValueError(failure)
    return images, classes


def first_images(samples: SampleSet, count: int):
    """The first `count` items' images as one uint8 batch, loaded here."""
    items = [samples[i] for i in range(min(count, len(samples)))]
    for _, _, failure in items:
        if failure:
            raise ValueError(failure)
    if not items:
        return torch.zeros((0,) + samples.size + (samples.channels,), dtype=torch.uint8)
    return torch.stack([image for image, _, _ in items])
