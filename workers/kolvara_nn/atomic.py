"""Write files so that a reader never sees a half-written one (temporary name + rename)."""
import contextlib
import os
import tempfile


def _umask():
    mask = os.umask(0)
    os.umask(mask)
    return mask


@contextlib.contextmanager
def atomic_path(path):
    """Yield a temporary path in the folder of `path`; on success it is renamed to `path`.

    The block writes the temporary file (for example with h5py). On an exception the
    temporary file is removed and `path` is left as it was.
    """
    path = os.fspath(path)
    folder = os.path.dirname(os.path.abspath(path))
    # The app takes any workspace name holding ".hdf5" for a checkpoint and any holding
    # "my_model" for the trained model, so the temporary name carries no part of the final one.
    fd, tmp = tempfile.mkstemp(prefix=".partial-", suffix=".tmp", dir=folder)
    os.close(fd)
    try:
        yield tmp
        # mkstemp creates 0600; give the file the permissions a plain open() would.
        os.chmod(tmp, 0o666 & ~_umask())
        with open(tmp, "rb") as f:
            os.fsync(f.fileno())
        os.replace(tmp, path)
    except BaseException:
        with contextlib.suppress(FileNotFoundError):
            os.unlink(tmp)
        raise


def write_bytes_atomic(path, data):
    """Write `data` (bytes, or str as UTF-8) to `path` through a temporary file."""
    if isinstance(data, str):
        data = data.encode("utf-8")
    with atomic_path(path) as tmp:
        with open(tmp, "wb") as f:
            f.write(data)
