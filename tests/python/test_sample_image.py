"""The walkthrough's sample image is the one tools/make_sample.py draws."""
import importlib.util

import numpy as np
from PIL import Image

from conftest import ROOT


def test_committed_sample_matches_the_script_and_shows_water_tiles():
    spec = importlib.util.spec_from_file_location("make_sample", ROOT / "tools" / "make_sample.py")
    tool = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(tool)
    drawn = np.asarray(tool.draw())
    committed = np.asarray(Image.open(ROOT / "resources" / "sample_fields.png").convert("RGB"))
    assert committed.shape == (480, 640, 3) and np.array_equal(drawn, committed)
    water = tool.water_tiles()
    assert 5 <= len(water) <= 24
    for row in range(tool.ROWS):
        for col in range(tool.COLS):
            top = (tool.ROWS - 1 - row) * tool.TILE
            tile = drawn[top:top + tool.TILE, col * tool.TILE:(col + 1) * tool.TILE].astype(float)
            assert (tile[..., 2].mean() - tile[..., 1].mean() > 40) == ((row, col) in water)
