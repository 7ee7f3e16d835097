"""Label documents, image loading, split and augmentation (the class order rules are in test_preprocess,
the number of copies each augmentation adds in test_train_stream)."""
import pytest
import torch

from kolvara_nn.training.augment import AugmentPlan
from kolvara_nn.training.data import read_label_table, split_indices


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


def test_shift_and_rotation_copies():
    x = (torch.arange(100).reshape(10, 10, 1) % 256).repeat(1, 1, 3).to(torch.uint8)
    up, down, left, right = [AugmentPlan(1, shift=True).apply(x, 0, v) for v in range(1, 5)]
    assert torch.equal(up[:9], x[1:]) and torch.equal(up[9], x[9])
    assert torch.equal(down[1:], x[:9]) and torch.equal(down[0], x[0])
    assert torch.equal(left[:, :9], x[:, 1:]) and torch.equal(right[:, 1:], x[:, :9])
    plan = AugmentPlan(1, rotate=True)
    for k in (1, 2, 3):  # quarter turns
        assert torch.equal(plan.apply(x, 0, k), torch.rot90(x, k, dims=(0, 1)))
