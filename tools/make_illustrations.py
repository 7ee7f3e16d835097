"""Draws the four augmentation illustrations of the training strategy form.

A sample of our own (two clearly different textures: diagonal stripes with a dotted disc on
top) is shifted, cropped, rotated and distorted; each picture shows the variants side by side.
Run with Debian's interpreter: /usr/bin/python3 tools/make_illustrations.py [OUTPUT_FOLDER]
"""
import math
import os
import random
import sys

from PIL import Image, ImageDraw

SAMPLE = 192
GAP = 4
BACKGROUND = (40, 40, 40, 255)


def stripes(size):
    """Texture one: blue and yellow diagonal stripes."""
    image = Image.new("RGBA", (size, size))
    pixels = image.load()
    for y in range(size):
        for x in range(size):
            band = ((x + y) // 12) % 2
            pixels[x, y] = (30, 70, 180, 255) if band else (240, 200, 40, 255)
    return image


def dots(size, rng):
    """Texture two: a green field with scattered dark and light dots."""
    image = Image.new("RGBA", (size, size), (60, 150, 60, 255))
    draw = ImageDraw.Draw(image)
    for _ in range(size * size // 90):
        x, y, r = rng.randrange(size), rng.randrange(size), rng.randrange(2, 5)
        shade = rng.choice([(20, 80, 20, 255), (170, 220, 120, 255), (110, 70, 30, 255)])
        draw.ellipse((x - r, y - r, x + r, y + r), fill=shade)
    return image


def sample_image(rng):
    """Stripes with a dotted disc off centre and a white corner mark, so orientation shows."""
    image = stripes(SAMPLE)
    mask = Image.new("L", (SAMPLE, SAMPLE), 0)
    ImageDraw.Draw(mask).ellipse((60, 30, 170, 140), fill=255)
    image.paste(dots(SAMPLE, rng), (0, 0), mask)
    ImageDraw.Draw(image).rectangle((8, 8, 40, 24), fill=(255, 255, 255, 255))
    return image


def strip(panels, width, height):
    """Panels side by side, centred in cells of equal width with a gap between them."""
    sheet = Image.new("RGBA", (width, height), BACKGROUND)
    cell = (width - GAP * (len(panels) - 1)) // len(panels)
    for k, panel in enumerate(panels):
        side = min(cell, height)
        fitted = panel.resize((side, side), Image.BILINEAR)
        x = k * (cell + GAP) + (cell - side) // 2
        sheet.paste(fitted, (x, (height - side) // 2))
    return sheet


def shifted(image, dx, dy):
    out = Image.new("RGBA", image.size, (0, 0, 0, 255))
    out.paste(image, (dx, dy))
    return out


def transfer_picture(sample):
    step = SAMPLE // 5
    moves = [(0, -step), (0, step), (-step, 0), (step, 0)]  # up, down, left, right
    return strip([shifted(sample, dx, dy) for dx, dy in moves], 640, 160)


def random_crops(sample, rng):
    crops = []
    for _ in range(4):
        side = rng.randrange(SAMPLE // 2, SAMPLE * 3 // 4)
        x, y = rng.randrange(SAMPLE - side), rng.randrange(SAMPLE - side)
        crops.append(sample.crop((x, y, x + side, y + side)))
    return strip(crops, 640, 160)


def rotate_picture(sample):
    turns = [sample.rotate(angle, expand=False) for angle in (90, 180, 270)]
    return strip(turns, 540, 200)


def distorted(image, a, b, d, e):
    """An affine distortion about the centre, keeping the sample's size."""
    c = SAMPLE / 2
    coeffs = (a, b, c - a * c - b * c, d, e, c - d * c - e * c)
    return image.transform(image.size, Image.AFFINE, coeffs, Image.BILINEAR, fillcolor=(0, 0, 0, 255))


def distort_picture(sample):
    shear = math.tan(math.radians(18))
    variants = [(1, shear, 0, 1), (1, 0, shear, 1), (1.25, 0, 0, 0.85), (0.85, -shear, 0, 1.2)]
    return strip([distorted(sample, *v) for v in variants], 640, 160)


def main(argv=None):
    args = sys.argv[1:] if argv is None else argv
    folder = args[0] if args else os.path.join(os.path.dirname(__file__), "..", "resources")
    rng = random.Random(20240611)
    sample = sample_image(rng)
    pictures = {
        "transferimg": transfer_picture(sample),
        "randomimg": random_crops(sample, rng),
        "rotateimg": rotate_picture(sample),
        "distortimg": distort_picture(sample),
    }
    os.makedirs(folder, exist_ok=True)
    for name, picture in pictures.items():
        picture.save(os.path.join(folder, name + ".png"), optimize=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
