"""Files the application waits for appear complete or not at all."""
import os
import stat

import pytest

from kolvara_nn.atomic import atomic_path, write_bytes_atomic


def test_write_replaces_the_file_with_normal_permissions(tmp_path):
    target = tmp_path / "out.json"
    target.write_text("old")
    write_bytes_atomic(target, "new text")
    assert target.read_text() == "new text"
    mask = os.umask(0)
    os.umask(mask)
    assert stat.S_IMODE(target.stat().st_mode) == 0o666 & ~mask
    assert os.listdir(tmp_path) == ["out.json"]


def test_failed_write_keeps_the_old_file_and_leaves_no_temporary(tmp_path):
    target = tmp_path / "model.h5"
    target.write_bytes(b"old")
    with pytest.raises(RuntimeError):
        with atomic_path(target) as tmp:
            with open(tmp, "wb") as f:
                f.write(b"half")
            assert not target.read_bytes() == b"half"
            raise RuntimeError("writer failed")
    assert target.read_bytes() == b"old"
    assert os.listdir(tmp_path) == ["model.h5"]
