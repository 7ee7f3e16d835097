"""Files the application waits for appear complete or not at all."""
import os
import stat

import pytest

from kolvara_nn.atomic import atomic_path, write_bytes_atomic


def test_write_replaces_the_file_and_a_failed_write_keeps_the_old_one(tmp_path):
    target = tmp_path / "out.json"
    target.write_text("old")
    write_bytes_atomic(target, "new text")
    assert target.read_text() == "new text"
    mask = os.umask(0)
    os.umask(mask)
    assert stat.S_IMODE(target.stat().st_mode) == 0o666 & ~mask
    with pytest.raises(RuntimeError):
        with atomic_path(target) as tmp:
            with open(tmp, "wb") as f:
                f.write(b"half")
            assert target.read_text() == "new text"
            raise RuntimeError("writer failed")
    assert target.read_text() == "new text" and os.listdir(tmp_path) == ["out.json"]
