"""Shared pytest set-up for the worker tests: workers/ on sys.path, the real test files."""
import os
import pathlib
import sys

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
WORKERS = ROOT / "workers"
if str(WORKERS) not in sys.path:
    sys.path.insert(0, str(WORKERS))

# The real third-party model files live beside the repository, never inside it.
TESTDATA = pathlib.Path(os.environ.get("KOLVARA_TESTDATA", ROOT.parent / "shared" / "testdata"))


@pytest.fixture(scope="session")
def testdata():
    """Path of the shared test data folder; a test that needs it fails when it is absent."""
    if not TESTDATA.is_dir():
        pytest.fail(f"test data folder {TESTDATA} is missing (it sits beside the repository)")
    return TESTDATA


@pytest.fixture
def one_thread(monkeypatch):
    """Tiny test networks run fastest on one thread, and the machine is shared."""
    import torch
    threads = torch.get_num_threads()
    monkeypatch.setenv("OMP_NUM_THREADS", "1")
    yield
    torch.set_num_threads(threads)
