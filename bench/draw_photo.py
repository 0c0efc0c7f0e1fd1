#!/usr/bin/python3
"""Draws a photo-like picture for the benchmarks: a sky graded from deep blue to a warm
horizon, a hazy sun, hills and fields whose colours drift smoothly (low-frequency noise),
a finer texture over the land, and grain on every pixel. Unlike the sample scene's 247
colours, it has the statistics of a photo: gradients everywhere, millions of colours, no
two neighbours alike. The same size always gives the same bytes (seeded noise, no fonts).

    /usr/bin/python3 bench/draw_photo.py --size 6000x4000 --output /tmp/photo.bmp
"""

import argparse
import random

from PIL import Image, ImageChops

SEED = 2026


def smooth_noise(rng, size, cells, mode="RGB"):
    """Random values on a coarse grid of cells, stretched smoothly over size."""
    width, height = max(2, size[0] // cells), max(2, size[1] // cells)
    bands = len(mode)
    coarse = Image.frombytes(mode, (width, height), rng.randbytes(width * height * bands))
    return coarse.resize(size, Image.BICUBIC)


def draw(width, height):
    rng = random.Random(SEED)
    horizon = height * 11 // 20
    # The sky, row by row: deep blue at the top to a pale orange at the horizon; the land
    # below it from olive to a dark green at the bottom.
    column = Image.new("RGB", (1, height))
    for y in range(height):
        if y < horizon:
            t = y / horizon
            column.putpixel((0, y), (int(30 + 215 * t ** 1.6), int(70 + 120 * t ** 2), int(160 - 40 * t)))
        else:
            t = (y - horizon) / (height - horizon)
            column.putpixel((0, y), (int(120 - 80 * t), int(130 - 60 * t), int(60 - 30 * t)))
    picture = column.resize((width, height), Image.NEAREST)

    # A hazy sun above the horizon.
    glow = Image.radial_gradient("L").resize((height // 2, height // 2), Image.BILINEAR)
    glow = ImageChops.invert(glow).point(lambda v: max(0, 2 * v - 255))
    mask = Image.new("L", (width, height), 0)
    mask.paste(glow, (width * 2 // 3 - height // 4, horizon - height // 3))
    picture.paste((255, 232, 170), mask=mask)

    # Hills and fields: colours drifting over large areas, a finer texture on top, both
    # stronger on the land than in the sky.
    land = Image.new("L", (width, height), 0)
    land.paste(255, (0, horizon, width, height))
    land = ImageChops.lighter(land, Image.new("L", (width, height), 40))
    drift = smooth_noise(rng, (width, height), max(8, width // 40))
    drift = Image.blend(drift, drift.convert("L").convert("RGB"), 0.5)  # nature's colours are muted
    picture = Image.composite(Image.blend(picture, drift, 0.35), picture, land)
    texture = smooth_noise(rng, (width, height), 6)
    picture = Image.composite(Image.blend(picture, texture, 0.12), picture, land)

    # Grain on every pixel, as a sensor leaves it.
    grain = Image.frombytes("RGB", (width, height), rng.randbytes(width * height * 3))
    return Image.blend(picture, grain, 0.06)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--size", default="6000x4000", help="WIDTHxHEIGHT (default: %(default)s)")
    parser.add_argument("--output", required=True, help="a .bmp or .png file")
    arguments = parser.parse_args()
    width, height = (int(n) for n in arguments.size.lower().split("x"))
    draw(width, height).save(arguments.output)


if __name__ == "__main__":
    main()
