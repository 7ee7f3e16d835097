"""Label documents, image loading, split and augmentation (the class order rules are in test_preprocess)."""
import numpy as np
import pytest
import torch

from kolvara_nn.training.augment import augment
from kolvara_nn.training.data import load_images, read_label_table, split_indices
from kolvara_nn.training.preprocess import input_spec


@pytest.mark.parametrize("text, files, labels", [
    ("index,i,j,filename,label\n1,0,0,field_00.png,0\n2,0,1,field_01.png,1\n",
     ["field_00.png", "field_01.png"], ["0", "1"]),
    # the worker's own rewritten file: leading row number column and a prediction column
    (",index,i,j,filename,label,prediction\n0,1,1,1,cat.1.png,cat,dog\n",
     ["cat.1.png"], ["cat"]),
    # Windows line ends, a byte order mark, blank lines, header padding
    ("\ufeffindex,i,j, filename ,label\r\n1,1,1,a.png,x\r\n\r\n2,2,2,b.png,y\r\n",
     ["a.png", "b.png"], ["x", "y"]),
    ("filename,label\nonly.png,7", ["only.png"], ["7"]),
])
def test_label_documents(tmp_path, text, files, labels):
    path = tmp_path / "labels.csv"
    path.write_bytes(text.encode("utf-8"))
    table = read_label_table(path)
    assert (table.filenames, table.labels) == (files, labels)


@pytest.mark.parametrize("text, message", [
    ("index,i,j,file,label\n1,0,0,a.png,0\n", "no 'filename' column"),
    ("index,i,j,filename\n1,0,0,a.png\n", "no 'label' column"),
    ("index,i,j,filename,label\n1,0,0,a.png\n", "line 2: 4 fields"),
    ("index,i,j,filename,label\n1,0,0,,1\n", "line 2: empty file name"),
    ("\n\n", "is empty"),
])
def test_bad_label_documents_name_the_problem(tmp_path, text, message):
    path = tmp_path / "labels.csv"
    path.write_text(text)
    with pytest.raises(ValueError, match=message):
        read_label_table(path)


@pytest.mark.parametrize("n, share, n_train, n_val", [
    (10, 0.6, 6, 4), (10, 1.0, 9, 1), (10, 0.0, 1, 9), (2, 0.6, 1, 1), (1, 0.6, 1, 0),
])
def test_split_sizes(n, share, n_train, n_val):
    train, val = split_indices(n, share, seed=7)
    assert (len(train), len(val)) == (n_train, n_val)
    assert sorted(train + val) == list(range(n))
    assert split_indices(50, 0.6, 1) == split_indices(50, 0.6, 1) != split_indices(50, 0.6, 2)


def test_an_image_that_does_not_load_is_named(tmp_path):
    (tmp_path / "empty.png").write_bytes(b"")
    with pytest.raises(ValueError, match="empty.png could not be loaded"):
        load_images(tmp_path, ["empty.png"], input_spec((4, 4, 3)))


def _ramp(n=2, h=10, w=10):
    x = torch.arange(h * w, dtype=torch.float32).reshape(1, h, w, 1) % 256
    return x.repeat(n, 1, 1, 3).to(torch.uint8)


@pytest.mark.parametrize("flags, copies", [
    ({}, 0), ({"shift": True}, 4), ({"crop": True}, 4), ({"rotate": True}, 3),
    ({"distort": True}, 4), ({"shift": True, "crop": True, "rotate": True, "distort": True}, 15),
])
def test_augmentation_counts(flags, copies):
    x, y = _ramp(), torch.tensor([0, 1])
    ax, ay = augment(x, y, seed=3, **flags)
    assert ax.shape == (2 * (1 + copies), 10, 10, 3) and ay.tolist() == [0, 1] * (1 + copies)
    assert torch.equal(ax[:2], x)


def test_shift_and_rotation_copies():
    x = _ramp(1)
    up, down, left, right = augment(x, torch.tensor([0]), shift=True)[0][1:]
    assert torch.equal(up[:9], x[0, 1:]) and torch.equal(up[9], x[0, 9])
    assert torch.equal(down[1:], x[0, :9]) and torch.equal(down[0], x[0, 0])
    assert torch.equal(left[:, :9], x[0, :, 1:]) and torch.equal(right[:, 1:], x[0, :, :9])
    for k, copy in enumerate(augment(x, torch.tensor([0]), rotate=True)[0][1:], 1):  # quarter turns
        assert torch.equal(copy, torch.rot90(x[0], k, dims=(0, 1)))


def test_random_copies_are_seeded_and_differ_from_the_original():
    x = _ramp(3)
    a = augment(x, torch.zeros(3), crop=True, distort=True, seed=5)[0]
    b = augment(x, torch.zeros(3), crop=True, distort=True, seed=5)[0]
    assert torch.equal(a, b)
    assert all(not torch.equal(a[i], x[i % 3]) for i in range(3, a.shape[0]))
