"""The walkthrough's sample image is the one tools/make_sample.py draws."""
import importlib.util
from pathlib import Path

import numpy as np
from PIL import Image

ROOT = Path(__file__).resolve().parents[2]


def load_tool():
    spec = importlib.util.spec_from_file_location("make_sample", ROOT / "tools" / "make_sample.py")
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def test_committed_sample_matches_the_script():
    tool = load_tool()
    drawn = np.asarray(tool.draw())
    committed = np.asarray(Image.open(ROOT / "resources" / "sample_fields.png").convert("RGB"))
    assert committed.shape == (480, 640, 3)
    assert np.array_equal(drawn, committed)


def test_water_and_grass_tiles_differ_clearly():
    tool = load_tool()
    picture = np.asarray(tool.draw()).astype(float)
    water = tool.water_tiles()
    assert 5 <= len(water) <= 24
    for row in range(tool.ROWS):
        for col in range(tool.COLS):
            top = (tool.ROWS - 1 - row) * tool.TILE
            tile = picture[top:top + tool.TILE, col * tool.TILE:(col + 1) * tool.TILE]
            blue_over_green = tile[..., 2].mean() - tile[..., 1].mean()
            assert (blue_over_green > 40) == ((row, col) in water)
