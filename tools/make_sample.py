#!/usr/bin/python3
"""Draws the walkthrough's sample image: a field crossed by a river, 8 x 6 tiles of 80 pixels.

Grass tiles are green speckle, water tiles blue ripples: two textures a small network tells apart
after a couple of epochs on a CPU. The picture is deterministic, so the committed file can be
checked against this script.
"""
import sys
from pathlib import Path

import numpy as np
from PIL import Image

TILE = 80
COLS, ROWS = 8, 6


def water_tiles():
    """(row from the bottom, column) of the river's tiles: it runs diagonally across the field."""
    tiles = set()
    for col in range(COLS):
        centre = (col * (ROWS - 1)) // (COLS - 1)
        tiles.add((centre, col))
        if col % 3 == 1 and centre + 1 < ROWS:
            tiles.add((centre + 1, col))
    return tiles


def grass(rng):
    base = np.array([70, 130, 45], dtype=np.float32)
    noise = rng.normal(0, 22, size=(TILE, TILE, 1)).astype(np.float32)
    blades = (rng.random((TILE, TILE, 1)) < 0.08) * np.array([30, 50, 10], dtype=np.float32)
    return base + noise * np.array([0.6, 1.0, 0.4]) + blades


def water(rng, phase):
    y, x = np.mgrid[0:TILE, 0:TILE].astype(np.float32)
    ripple = np.sin(y / 3.0 + phase + 0.4 * np.sin(x / 9.0))[..., None]
    base = np.array([35, 80, 165], dtype=np.float32)
    return base + ripple * np.array([12, 22, 35], dtype=np.float32) + rng.normal(0, 6, size=(TILE, TILE, 1))


def draw():
    rng = np.random.default_rng(7)
    river = water_tiles()
    picture = np.zeros((ROWS * TILE, COLS * TILE, 3), dtype=np.float32)
    for row in range(ROWS):
        for col in range(COLS):
            tile = water(rng, phase=row + col) if (row, col) in river else grass(rng)
            top = (ROWS - 1 - row) * TILE  # rows count from the bottom of the picture
            picture[top:top + TILE, col * TILE:(col + 1) * TILE] = tile
    return Image.fromarray(np.clip(picture, 0, 255).astype(np.uint8), "RGB")


def main(argv=None):
    args = sys.argv[1:] if argv is None else argv
    out = Path(args[0]) if args else Path(__file__).resolve().parent.parent / "resources" / "sample_fields.png"
    draw().save(out, optimize=True)
    print(f"{out}: {COLS} x {ROWS} tiles of {TILE} px, water tiles {sorted(water_tiles())}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
