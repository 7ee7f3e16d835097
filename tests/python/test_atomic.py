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


def test_a_file_being_written_is_not_taken_for_a_checkpoint_or_the_model(tmp_path):
    # The app follows a run by listing the workspace for names holding ".hdf5" or "my_model".
    for name in ("m-0.8125-0.9001-e03.hdf5", "my_model.h5"):
        folder = tmp_path / name.split(".")[0]
        folder.mkdir()
        with atomic_path(folder / name) as tmp:
            seen = os.listdir(folder)
            assert os.path.basename(tmp) in seen
            assert not any(".hdf5" in n or "my_model" in n for n in seen), seen
            open(tmp, "wb").close()
